// The Proprietary A transmit queue and how its telegrams leave for the pump.
#include <gtest/gtest.h>

#include <vector>

#include "comm/proprietary_queue.h"
#include "frame_script.h"

using namespace script;

namespace {

T_J1939_PROPERITARY_A record(uint8_t code, uint8_t byte0, uint8_t tag = 0) {
    T_J1939_PROPERITARY_A t;
    t.data[0] = byte0;
    t.data[7] = code;
    t.data[8] = tag;  // tells records with the same code apart
    t.length = 9;
    return t;
}

// (code, data byte 0, tag) of everything take() hands out, in order.
std::vector<std::vector<int>> drain(TProperitaryQueue& q) {
    std::vector<std::vector<int>> out;
    T_J1939_PROPERITARY_A t;
    while (q.take(t)) {
        out.push_back({t.data[7], t.data[0], t.data[8]});
    }
    return out;
}

TEST(ProprietaryQueue, CommandsOvertakePollsAndLanesKeepTheirOrder) {
    struct Case {
        const char* what;
        std::vector<std::vector<int>> pushed;  // code, byte 0, tag
        std::vector<std::vector<int>> taken;
    };
    const std::vector<Case> cases = {
        {"command before both poll lanes",
         {{201, 0, 0}, {5, 0, 0}, {203, 1, 0}},
         {{5, 0, 0}, {201, 0, 0}, {203, 1, 0}}},
        {"first in, first out within each lane",
         {{210, 1, 1}, {200, 0, 1}, {3, 9, 1}, {210, 1, 2}, {200, 0, 2}, {3, 9, 2}},
         {{3, 9, 1}, {3, 9, 2}, {200, 0, 1}, {200, 0, 2}, {210, 1, 1}, {210, 1, 2}}},
        {"199 is a command whatever byte 0 holds; 200 goes by byte 0",
         {{200, 1, 0}, {200, 0, 0}, {199, 1, 0}, {199, 0, 0}},
         {{199, 1, 0}, {199, 0, 0}, {200, 0, 0}, {200, 1, 0}}},
        {"255 with any non-zero byte 0 is a second-lane poll",
         {{255, 0xFF, 0}, {0, 0, 0}},
         {{0, 0, 0}, {255, 0xFF, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TProperitaryQueue q;
        for (const auto& p : c.pushed) {
            q.push(record(uint8_t(p[0]), uint8_t(p[1]), uint8_t(p[2])));
        }
        EXPECT_EQ(drain(q), c.taken);
        EXPECT_EQ(q.size(), 0u);
    }
}

TEST(ProprietaryQueue, LaneEmptinessAndClear) {
    TProperitaryQueue q;
    T_J1939_PROPERITARY_A t = record(42, 7, 3);
    const T_J1939_PROPERITARY_A before = t;
    EXPECT_FALSE(q.take(t));
    EXPECT_EQ(std::vector<uint8_t>(t.data, t.data + 9),
              std::vector<uint8_t>(before.data, before.data + 9));  // untouched

    q.push(record(200, 0));
    EXPECT_FALSE(q.firstPollLaneEmpty());
    EXPECT_TRUE(q.secondPollLaneEmpty());
    q.push(record(216, 2));
    EXPECT_FALSE(q.secondPollLaneEmpty());
    q.push(record(1, 0));
    q.clear();
    EXPECT_TRUE(q.firstPollLaneEmpty());
    EXPECT_TRUE(q.secondPollLaneEmpty());
    EXPECT_FALSE(q.take(t));
}

class Sender : public ::testing::Test {
  protected:
    void takeAndSend() {
        T_J1939_PROPERITARY_A t;
        ASSERT_TRUE(queue.take(t));
        sender.send(t);
    }

    ConnectionState state;
    TProperitaryQueue queue;
    TJ1939TransportProtocol tp{[] { return 0u; }};
    RecordingFrameWriter writer;
    ProprietarySender sender{queue, state, tp, writer};
};

TEST_F(Sender, CommandTelegramLeavesAsOneFrame) {
    sender.enqueueCommand(13, 0x04030201, 0x0605, 0x07);
    takeAndSend();
    EXPECT_TRUE(writtenAsScripted(
        writer.encoded, {{Tx, 0x18EF3DF9, {1, 2, 3, 4, 5, 6, 7, 13}, "valve command, one frame"}}));
}

TEST_F(Sender, FiftyFiveByteTelegramLeavesAsAnnouncementAndEightPackets) {
    uint8_t block[kTelegramCapacity] = {};
    for (std::size_t i = 0; i < kTelegramCapacity; ++i) {
        block[i] = uint8_t(i);
    }
    block[7] = 147;
    sender.enqueueTelegram(block, 55);
    takeAndSend();
    FrameScript expected = {
        {Tx, 0x18EC3DF9, {32, 55, 0, 8, 0, 0x00, 0xEF, 0}, "TP.CM, 55 bytes in 8 packets"}};
    for (int seq = 1; seq <= 8; ++seq) {
        std::vector<uint8_t> bytes{uint8_t(seq)};
        for (int i = 0; i < 7 && (seq - 1) * 7 + i < 55; ++i) {
            bytes.push_back(block[(seq - 1) * 7 + i]);
        }
        expected.push_back({Tx, 0x18EB3DF9, bytes, "TP.DT"});
    }
    EXPECT_TRUE(writtenAsScripted(writer.encoded, expected));
}

TEST_F(Sender, TelegramsGoToTheConfiguredPumpFromTheToolsAddressAtSendingTime) {
    // Whether or not a pump has claimed yet, service telegrams never go to everybody: a pump that
    // claimed before the tool was plugged in answers at its configured address.
    struct Case {
        uint8_t ownAtSending;
        uint8_t configured;
        uint8_t known;  // the pump's claimed address, 255 for none
        uint32_t id;
    };
    for (const Case c : {Case{249, 61, 255, 0x18EF3DF9}, Case{249, 61, 61, 0x18EF3DF9},
                         Case{250, 61, 61, 0x18EF3DFA}, Case{249, 70, 255, 0x18EF46F9}}) {
        state.ownAddress = 249;
        state.configuredPumpAddress = c.configured;
        state.pumpAddress = c.known;
        sender.enqueueCommand(200, 0, 0, 0);
        T_J1939_PROPERITARY_A t;
        ASSERT_TRUE(queue.take(t));
        EXPECT_EQ(t.priority, 6);
        EXPECT_EQ(t.pgn, 0xEF00u);
        EXPECT_EQ(t.length, 8);
        // The tool moved to another address after the telegram was queued.
        state.ownAddress = c.ownAtSending;
        writer.encoded.clear();
        sender.send(t);
        ASSERT_EQ(writer.encoded.size(), 1u);
        EXPECT_EQ(writer.encoded[0].id, c.id);
    }
}

TEST_F(Sender, EnqueueTelegramKeepsTheWholeBlock) {
    uint8_t block[kTelegramCapacity];
    for (std::size_t i = 0; i < kTelegramCapacity; ++i) {
        block[i] = uint8_t(0xFF - i);
    }
    block[7] = 2;
    sender.enqueueTelegram(block, 8);
    T_J1939_PROPERITARY_A t;
    ASSERT_TRUE(queue.take(t));
    EXPECT_EQ(t.length, 8);
    EXPECT_EQ(std::vector<uint8_t>(t.data, t.data + kTelegramCapacity),
              std::vector<uint8_t>(block, block + kTelegramCapacity));
}

TEST_F(Sender, LengthsUpToEightGoAsOneFrameOfThatLength) {
    for (uint16_t length : {uint16_t(0), uint16_t(1), uint16_t(8)}) {
        writer.encoded.clear();
        T_J1939_PROPERITARY_A t = record(5, 0);
        t.length = length;
        sender.send(t);
        ASSERT_EQ(writer.encoded.size(), 1u);
        EXPECT_EQ(writer.encoded[0].len, length);
    }
}

}  // namespace
