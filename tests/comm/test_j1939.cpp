// The identifier codec between adapter frames and J1939 records.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "comm/j1939.h"
#include "frame_script.h"

using script::adapterFrame;
using script::bytesOf;
using script::describe;

namespace {

struct DecodeCase {
    uint32_t id;
    uint8_t msgType;
    std::vector<uint8_t> bytes;
    uint8_t priority;
    uint32_t pgn;
    uint8_t destination;
    uint8_t source;
};

TEST(J1939Codec, DecodesExtendedDataFrames) {
    const std::vector<DecodeCase> cases = {
        // Software Identification from the pump: PDU2, always global.
        {0x18FEDA3D, 2, {1, 2, 3, 4, 5, 6, 7, 8}, 6, 0xFEDA, 255, 61},
        // Proprietary A from the pump to the tool.
        {0x18EFF93D, 2, {9, 8, 7}, 6, 0xEF00, 249, 61},
        // Data page 1 is part of the group number.
        {0x19FEDA3D, 2, {0}, 6, 0x1FEDA, 255, 61},
        // The extended-data-page bit (25) enters no field.
        {0x1AEF003D, 2, {}, 6, 0xEF00, 0, 61},
        // Nor do bits 29-31 of a garbled identifier.
        {0xF8EFF93D, 2, {}, 6, 0xEF00, 249, 61},
        // Priority 0 and 7, PDU1 to the global address.
        {0x00EAFF00, 2, {0x00, 0xEE, 0x00}, 0, 0xEA00, 255, 0},
        {0x1CECFF52, 2, {32}, 7, 0xEC00, 255, 82},
        // PF 0xF0 is the first PDU2 format: PS is group extension, not a destination.
        {0x18F00E51, 2, {1}, 6, 0xF00E, 255, 81},
        // PF 0xEF is the last PDU1 format.
        {0x18EFFFFE, 2, {1}, 6, 0xEF00, 255, 254},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.id, c.bytes));
        const auto f = decodeFrame(adapterFrame(c.id, c.bytes, c.msgType));
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->priority, c.priority);
        EXPECT_EQ(f->pgn, c.pgn);
        EXPECT_EQ(f->destination, c.destination);
        EXPECT_EQ(f->source, c.source);
        EXPECT_EQ(bytesOf(*f), c.bytes);
    }
}

TEST(J1939Codec, DropsEverythingButExtendedDataFrames) {
    for (uint8_t type :
         {kMsgTypeStandard, kMsgTypeRemote, uint8_t(kMsgTypeExtended | kMsgTypeRemote),
          kMsgTypeStatus, uint8_t(0x82), uint8_t(0xFF)}) {
        SCOPED_TRACE(int(type));
        EXPECT_FALSE(decodeFrame(adapterFrame(0x18EFF93D, {1, 2, 3}, type)).has_value());
    }
}

TEST(J1939Codec, LengthByteBeyondEightIsClampedToTheFrame) {
    AdapterFrame in = adapterFrame(0x18EFF93D, {1, 2, 3, 4, 5, 6, 7, 8});
    for (uint8_t len : {uint8_t(9), uint8_t(15), uint8_t(255)}) {
        in.len = len;
        const auto f = decodeFrame(in);
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->length, 8);
        EXPECT_EQ(messageFromFrame(*f).length, 8);
    }
}

struct EncodeCase {
    J1939Frame frame;
    std::optional<uint32_t> id;
};

J1939Frame makeFrame(uint8_t priority, uint8_t source, uint8_t destination, uint32_t pgn,
                     std::vector<uint8_t> bytes) {
    J1939Frame f;
    f.priority = priority;
    f.source = source;
    f.destination = destination;
    f.pgn = pgn;
    f.length = static_cast<uint8_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), f.data);
    return f;
}

TEST(J1939Codec, EncodesOrRefusesByThePduRule) {
    const std::vector<EncodeCase> cases = {
        // Request for Software Identification to the pump.
        {makeFrame(6, 249, 61, 0xEA00, {0xDA, 0xFE, 0x00}), 0x18EA3DF9},
        // Address Claimed probe from the null address.
        {makeFrame(6, 255, 255, 0xEE00, {}), 0x18EEFFFF},
        // PDU2 to the global address; data page 1.
        {makeFrame(6, 249, 255, 0xFEDA, {1}), 0x18FEDAF9},
        {makeFrame(3, 249, 255, 0x1FEDA, {1}), 0x0DFEDAF9},
        // PDU1 with a non-zero low byte: the destination would be ambiguous.
        {makeFrame(6, 249, 61, 0xEF3D, {1}), std::nullopt},
        // PDU2 for one node only does not exist.
        {makeFrame(6, 249, 61, 0xFEDA, {1}), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.id.value_or(0), bytesOf(c.frame)));
        const auto out = encodeFrame(c.frame);
        ASSERT_EQ(out.has_value(), c.id.has_value());
        if (out) {
            EXPECT_EQ(out->id, *c.id);
            EXPECT_EQ(out->msgType, kMsgTypeExtended);
            EXPECT_EQ(bytesOf(*out), bytesOf(c.frame));
        }
    }
}

TEST(J1939Codec, RefusesARecordLongerThanAFrame) {
    J1939Frame f = makeFrame(6, 249, 61, 0xEF00, {1, 2, 3, 4, 5, 6, 7, 8});
    f.length = 9;
    EXPECT_FALSE(encodeFrame(f).has_value());
}

TEST(J1939Codec, EncodeThenDecodeGivesTheRecordBack) {
    const std::vector<J1939Frame> frames = {
        makeFrame(6, 249, 61, 0xEF00, {1, 2, 3, 4, 5, 6, 7, 8}),
        makeFrame(6, 249, 61, 0xEC00, {32, 55, 0, 8, 0, 0x00, 0xEF, 0}),
        makeFrame(7, 61, 255, 0xFEEC, {}),
        makeFrame(0, 0, 249, 0x1EF00, {0xAA}),
    };
    for (const auto& f : frames) {
        const auto out = encodeFrame(f);
        ASSERT_TRUE(out.has_value());
        const auto back = decodeFrame(*out);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->priority, f.priority);
        EXPECT_EQ(back->source, f.source);
        EXPECT_EQ(back->destination, f.destination);
        EXPECT_EQ(back->pgn, f.pgn);
        EXPECT_EQ(bytesOf(*back), bytesOf(f));
    }
}

TEST(J1939Codec, GroupHelpersLookAtTheLowSixteenBitsOnly) {
    struct Case {
        uint32_t pgn;
        bool pdu2;
        uint32_t format;
    };
    const std::vector<Case> cases = {
        {0xEF00, false, 0xEF00}, {0xEFFF, false, 0xEF00}, {0xF000, true, 0xF000},
        {0xFEDA, true, 0xFE00},  {0x1FEDA, true, 0xFE00}, {0x1EF00, false, 0xEF00},
        {0x0000, false, 0x0000}, {0xEB00, false, 0xEB00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pgn);
        EXPECT_EQ(isPdu2(c.pgn), c.pdu2);
        EXPECT_EQ(pduFormatOf(c.pgn), c.format);
    }
}

TEST(J1939Codec, MessageFromFrameCopiesHeaderAndValidBytesOnly) {
    J1939Frame f = makeFrame(5, 61, 249, 0xEF00, {1, 2, 3});
    f.data[3] = 0xEE;  // beyond the length: must not reach the message
    const J1939Message m = messageFromFrame(f);
    EXPECT_EQ(m.priority, 5);
    EXPECT_EQ(m.source, 61);
    EXPECT_EQ(m.destination, 249);
    EXPECT_EQ(m.pgn, 0xEF00u);
    EXPECT_EQ(bytesOf(m), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(m.data[3], 0);
}

}  // namespace
