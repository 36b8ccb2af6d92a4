// The simulated pump driven the way the tool drives a pump: Requests and service telegrams built
// with the tool's own transmit path (long ones through its transport packer), replies taken apart
// with the tool's own reassembler. Offsets below are written out from the pump's byte tables.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "comm/proprietary_queue.h"
#include "comm/sim_bus.h"
#include "comm/transport_protocol.h"
#include "sim/pump_layout.h"
#include "sim/simulated_pump.h"
#include "sim/simulator_node.h"

#include "pump_bench.h"

using namespace pump_bench;

// ---------------------------------------------------------------------------------------------
// Address claim and identification

TEST(PumpAddressClaim, ClaimsAtStartOnProbeAndOnRequest) {
    Bench bench;
    bench.pump().start();
    auto claims = bench.framesWith(pgn::kAddressClaimed);
    ASSERT_EQ(claims.size(), 3u);  // pump, upstream sensor, downstream sensor
    EXPECT_EQ(claims[0].source, kPump);
    EXPECT_EQ(claims[1].source, 81);
    EXPECT_EQ(claims[2].source, 82);
    for (const auto& c : claims) {
        EXPECT_EQ(c.destination, kGlobalAddress);
        EXPECT_EQ(c.length, 8);
        EXPECT_EQ(c.priority, 6);
    }
    uint64_t name = 0;
    for (int i = 0; i < 8; ++i) {
        name |= uint64_t(claims[0].data[i]) << (8 * i);
    }
    EXPECT_EQ(name, bench.pump().pumpName());
    EXPECT_NE(name, bench.pump().sensorName(0));

    // The tool's probe: Address Claimed with an all-zero NAME from 255.
    bench.frames().clear();
    bench.claim(255, 0);
    EXPECT_EQ(bench.framesWith(pgn::kAddressClaimed).size(), 3u);

    // A Request for 0xEE00 to the pump answers for the pump alone; a global one for everybody.
    bench.frames().clear();
    bench.request(pgn::kAddressClaimed, kPump);
    ASSERT_EQ(bench.framesWith(pgn::kAddressClaimed).size(), 1u);
    EXPECT_EQ(bench.frames()[0].source, kPump);
    bench.frames().clear();
    bench.request(pgn::kAddressClaimed, kGlobalAddress);
    EXPECT_EQ(bench.framesWith(pgn::kAddressClaimed).size(), 3u);
}

TEST(PumpAddressClaim, ContestForItsAddressIsDecidedByTheName) {
    Bench bench;
    bench.pump().start();
    const uint64_t ours = bench.pump().pumpName();

    bench.frames().clear();
    bench.claim(kPump, ours + 1);  // a weaker NAME: the pump defends its address
    auto claims = bench.framesWith(pgn::kAddressClaimed);
    ASSERT_EQ(claims.size(), 1u);
    EXPECT_EQ(claims[0].source, kPump);

    bench.frames().clear();
    bench.claim(kPump, ours - 1);  // a stronger NAME: the pump cannot claim and falls silent
    claims = bench.framesWith(pgn::kAddressClaimed);
    ASSERT_EQ(claims.size(), 1u);
    EXPECT_EQ(claims[0].source, 254);
    EXPECT_TRUE(bench.pump().state().addressLost);
    bench.frames().clear();
    EXPECT_FALSE(bench.ask(command(layout::code::kTestMode)).has_value());
    bench.claim(255, 0);
    for (const auto& f : bench.frames()) {
        EXPECT_NE(f.source, kPump);
    }
}

TEST(PumpIdentification, SoftwareIdAndVinGoOutAsPacedBroadcasts) {
    PumpOptions options;
    options.tpGapMs = 50;
    Bench bench(options);
    bench.request(pgn::kSoftwareId);
    // Only the announcement leaves at once; each packet follows one gap later.
    ASSERT_EQ(bench.frames().size(), 1u);
    const J1939Frame cm = bench.frames()[0];
    EXPECT_EQ(pduFormatOf(cm.pgn), pgn::kTpCm);
    EXPECT_EQ(cm.destination, kGlobalAddress);
    EXPECT_EQ(cm.data[0], 32);
    EXPECT_EQ(cm.data[5] | (cm.data[6] << 8), int(pgn::kSoftwareId));
    const Bytes id = bench.pump().softwareIdentification();
    EXPECT_EQ(cm.data[1] | (cm.data[2] << 8), int(id.size()));
    bench.pump().advance(49);
    EXPECT_EQ(bench.framesWith(pgn::kTpDt).size(), 0u);
    bench.pump().advance(1);
    EXPECT_EQ(bench.framesWith(pgn::kTpDt).size(), 1u);
    bench.pump().advance(500);
    auto messages = bench.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].pgn, pgn::kSoftwareId);
    const std::string text(messages[0].data + 1, messages[0].data + messages[0].length);
    EXPECT_EQ(messages[0].data[0], 1);  // one field
    EXPECT_EQ(text, "DOSARIS SCR 0.11*");

    bench.request(pgn::kVehicleId);
    bench.pump().advance(500);
    messages = bench.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].pgn, pgn::kVehicleId);
    EXPECT_EQ(std::string(messages[0].data, messages[0].data + messages[0].length),
              "DSRSIM12345678901*");
}

// ---------------------------------------------------------------------------------------------
// Command and reply

TEST(PumpReplies, EveryRequestGetsTheCurrentReplyBuffer) {
    Bench bench;
    bench.request(pgn::kProprietaryA);
    bench.pump().advance(100);
    EXPECT_TRUE(bench.messages().empty());  // nothing asked, nothing to answer

    auto r = bench.ask(command(layout::code::kTestMode));
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->size(), 8u);
    EXPECT_EQ((*r)[7], 1);
    EXPECT_EQ(bench.pump().state().testModeLevel, 1);
    const J1939Frame last = bench.framesWith(pgn::kProprietaryA).back();
    EXPECT_EQ(last.source, kPump);
    EXPECT_EQ(last.destination, kTool);
    EXPECT_EQ(pduFormatOf(last.pgn), pgn::kProprietaryA);

    // Asked again, the pump repeats the same reply.
    auto again = bench.poll();
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, *r);

    // Reset has no reply of its own: the pump reports normal mode.
    r = bench.ask(command(layout::code::kReset));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ((*r)[7], 0);
    EXPECT_EQ(bench.pump().state().testModeLevel, 0);
}

TEST(PumpReplies, RequestFromAnotherAddressIsAnsweredToThatAddress) {
    Bench bench;
    bench.send(command(layout::code::kReadDm1Support));
    bench.request(pgn::kProprietaryA, kPump, 0);
    ASSERT_FALSE(bench.frames().empty());
    EXPECT_EQ(bench.frames().back().destination, 0);
}

struct TestModeCase {
    SoftwareVersion software;
    bool customerAccess;
    uint8_t byteArg;
    uint8_t level;
};

class PumpTestModeReply : public testing::TestWithParam<TestModeCase> {};

TEST_P(PumpTestModeReply, ReplyByteFollowsSoftwareVersion) {
    const auto& c = GetParam();
    PumpOptions options;
    options.software = c.software;
    options.customerAccessMode = c.customerAccess;
    Bench bench(options);
    auto r = bench.ask(command(layout::code::kTestMode, 1, 1, 1));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ((*r)[6], c.byteArg);
    EXPECT_EQ(bench.pump().state().testModeLevel, c.level);
    // Page 207 byte 2 bits 3-4 carry the test mode.
    const Bytes p207 = pageBody(bench, 207);
    EXPECT_EQ((p207.at(2) >> 3) & 3, c.level);
}

INSTANTIATE_TEST_SUITE_P(Versions, PumpTestModeReply,
                         testing::Values(TestModeCase{{0, 10}, true, 0, 1},
                                         TestModeCase{{0, 11}, false, 0, 1},
                                         TestModeCase{{0, 11}, true, 1, 2},
                                         TestModeCase{{1, 2}, true, 1, 2}));

TEST(PumpReplies, UnknownAndGatedCodesAreRefusedWithTheCode) {
    struct Case {
        SoftwareVersion software;
        uint8_t code;
    };
    const Case cases[] = {
        {{0, 11}, 42}, {{0, 11}, 0},  {{0, 11}, 143}, {{0, 11}, 147},
        {{0, 5}, 163}, {{0, 5}, 172}, {{0, 5}, 173},  {{0, 5}, 216},
    };
    for (const auto& c : cases) {
        PumpOptions options;
        options.software = c.software;
        Bench bench(options);
        inTestMode(bench);
        Bytes t = command(c.code);
        t.resize(c.code == 147 ? 55 : c.code == 163 ? 74 : 8, 0);
        auto r = bench.ask(t);
        ASSERT_TRUE(r.has_value()) << int(c.code);
        EXPECT_EQ((*r)[7], 254) << int(c.code);
        EXPECT_EQ((*r)[0], c.code);
    }
}

TEST(PumpReplies, OutputCommandsOutsideTestModeAreNotAcknowledged) {
    for (uint8_t code : {3, 5, 13, 101, 102, 103, 109, 128}) {
        Bench bench;
        auto r = bench.ask(command(code, 600, 0, 1));
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ((*r)[7], 255) << int(code);
    }
    Bench bench;
    EXPECT_TRUE(bench.pump().state().valveOpen);  // dosing on its own
    bench.ask(command(layout::code::kValve, 0, 0, 0));
    EXPECT_TRUE(bench.pump().state().valveOpen);
}

// ---------------------------------------------------------------------------------------------
// Long replies and long commands through the transport protocol

TEST(PumpTransport, LongReplyIsAnnouncedToTheRequesterAndPacedByTheGap) {
    PumpOptions options;
    options.tpGapMs = 7;
    Bench bench(options);
    bench.send(command(layout::code::kAllPages));
    bench.request(pgn::kProprietaryA);
    auto frames = bench.frames();
    ASSERT_EQ(frames.size(), 1u);
    const J1939Frame& cm = frames[0];
    EXPECT_EQ(pduFormatOf(cm.pgn), pgn::kTpCm);
    EXPECT_EQ(cm.destination, kTool);
    const uint8_t expected[8] = {32, 247, 0, 36, 0, 0x00, 0xEF, 0};
    EXPECT_EQ(0, std::memcmp(cm.data, expected, 8));

    // A Request while the session runs does not start another one.
    bench.request(pgn::kProprietaryA);
    EXPECT_EQ(bench.frames().size(), 1u);

    bench.pump().advance(7 * 35);
    EXPECT_EQ(bench.framesWith(pgn::kTpDt).size(), 35u);
    bench.pump().advance(7);
    auto dts = bench.framesWith(pgn::kTpDt);
    ASSERT_EQ(dts.size(), 36u);
    EXPECT_EQ(dts.back().data[0], 36);
    EXPECT_EQ(dts.back().length, 1 + 247 - 35 * 7);
    auto messages = bench.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].length, 247);
    EXPECT_EQ(messages[0].data[7], 200);
}

TEST(PumpTransport, ZeroGapSendsTheWholeSessionAtOnce) {
    PumpOptions options;
    options.tpGapMs = 0;
    Bench bench(options);
    bench.send(command(layout::code::kAllPages));
    bench.request(pgn::kProprietaryA);
    EXPECT_EQ(bench.frames().size(), 37u);
}

TEST(PumpTransport, BroadcastAndReplySessionsDoNotInterleave) {
    PumpOptions options;
    options.tpGapMs = 5;
    Bench bench(options);
    bench.send(command(layout::code::kAllPages));
    bench.request(pgn::kVehicleId);
    bench.request(pgn::kProprietaryA);
    bench.pump().advance(1000);
    // The tool has one reassembler for the pump: both messages must come out whole.
    auto messages = bench.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].pgn, pgn::kVehicleId);
    EXPECT_EQ(messages[1].length, 247);
}

TEST(PumpTransport, MalformedInputChangesNothing) {
    Bench bench;
    inTestMode(bench);
    const auto before = bench.pump().currentReply();
    // A packet without announcement, a short telegram, an abort, an unknown TP.CM control byte.
    J1939Frame dt;
    dt.source = kTool;
    dt.destination = kPump;
    dt.pgn = pgn::kTpDt;
    dt.length = 8;
    dt.data[0] = 1;
    bench.write(dt);
    J1939Frame shortTelegram;
    shortTelegram.source = kTool;
    shortTelegram.destination = kPump;
    shortTelegram.pgn = pgn::kProprietaryA;
    shortTelegram.length = 3;
    shortTelegram.data[2] = 200;
    bench.write(shortTelegram);
    J1939Frame cm = dt;
    cm.pgn = pgn::kTpCm;
    cm.data[0] = 32;
    cm.data[1] = 20;
    cm.data[3] = 3;
    cm.data[6] = 0xEF;
    bench.write(cm);
    cm.data[0] = 255;  // abort
    bench.write(cm);
    dt.data[0] = 1;
    bench.write(dt);
    dt.data[0] = 2;
    bench.write(dt);
    dt.data[0] = 3;
    bench.write(dt);
    cm.data[0] = 17;  // CTS from the tool makes no session
    bench.write(cm);
    AdapterFrame standard;
    standard.msgType = kMsgTypeStandard;
    standard.id = 0x123;
    bench.pump().onFrame(standard);
    EXPECT_EQ(bench.pump().currentReply(), before);
}

// ---------------------------------------------------------------------------------------------
// Status pages

TEST(PumpPages, AllPagesTelegramHoldsEveryPageAtItsOffset) {
    // Without a packet gap every page is read at one instant: live values cannot drift between.
    PumpOptions options;
    options.tpGapMs = 0;
    Bench b(options);
    b.pump().advance(2000);
    auto reply = b.ask(command(layout::code::kAllPages), 0);
    ASSERT_TRUE(reply.has_value());
    ASSERT_EQ(reply->size(), 247u);
    EXPECT_EQ((*reply)[7], 200);
    const std::size_t offsets[] = {8, 13, 45, 79, 112, 127, 173, 177, 180, 196, 212, 242, 247};
    for (uint8_t page = 201; page <= 212; ++page) {
        const std::size_t from = offsets[page - 201];
        const std::size_t to = offsets[page - 200];
        const Bytes body = pageBody(b, page);
        EXPECT_EQ(body.size(), to - from) << int(page);
        EXPECT_EQ(body, Bytes(reply->begin() + from, reply->begin() + to)) << int(page);
    }
    // Fields that anchor the slices: the software version in page 204, the serial in page 203.
    EXPECT_EQ((*reply)[79 + 25], 0);
    EXPECT_EQ((*reply)[79 + 26], 11);
    EXPECT_EQ(u32(*reply, 45 + 19), b.pump().state().serial);
    EXPECT_EQ(pageBody(b, 216).size(), 9u);
}

TEST(PumpPages, TestOutputsShowInPage207AndFlowInPage205) {
    Bench bench;
    inTestMode(bench);
    ASSERT_EQ(bench.ask(command(13, 0, 0, 1))->at(6), 1);  // valve open
    auto heaters = bench.ask(Bytes{1, 2, 0, 0, 0, 0, 0, 102});
    ASSERT_TRUE(heaters.has_value());
    EXPECT_EQ((*heaters)[0], 1);
    EXPECT_EQ((*heaters)[1], 0);
    heaters = bench.ask(Bytes{2, 1, 0, 0, 0, 0, 0, 102});  // 2 leaves the tank heater as it is
    EXPECT_EQ((*heaters)[0], 1);
    EXPECT_EQ((*heaters)[1], 1);
    auto lamps = bench.ask(Bytes{1, 2, 2, 2, 0, 0, 0, 103});
    ASSERT_TRUE(lamps.has_value());
    EXPECT_EQ(Bytes(lamps->begin(), lamps->begin() + 4), (Bytes{1, 0, 0, 0}));
    lamps = bench.ask(Bytes{2, 1, 2, 2, 0, 0, 0, 103});
    EXPECT_EQ(Bytes(lamps->begin(), lamps->begin() + 4), (Bytes{1, 1, 0, 0}));

    Bytes p207 = pageBody(bench, 207);
    EXPECT_EQ(p207[0] & 0xE0, 0x80 | 0x40 | 0x20);  // valve, line heater, tank heater
    EXPECT_EQ(p207[1] & 0x0F, 0x03);                // MI lamp, urea lamp

    // End of the heater test switches both heaters off.
    bench.ask(command(101, 0, 0, 1));
    p207 = pageBody(bench, 207);
    EXPECT_EQ(p207[0] & 0x60, 0);

    ASSERT_EQ(bench.ask(command(3))->at(7), 3);
    auto flow = bench.ask(command(5, 600000));
    ASSERT_TRUE(flow.has_value());
    EXPECT_EQ(u32(*flow, 0), 600000u);
    Bytes p205 = pageBody(bench, 205);
    EXPECT_EQ(u32(p205, 3), 600000u);
    EXPECT_EQ(int8_t(p205[1]), 6);  // override mode final test
    ASSERT_EQ(bench.ask(command(4))->at(7), 4);
    p205 = pageBody(bench, 205);
    EXPECT_EQ(u32(p205, 3), 0u);
}

TEST(PumpPages, RunningPumpAdvancesTheCounters) {
    Bench bench;
    inTestMode(bench);
    bench.ask(command(3));
    bench.ask(command(5, 600000));
    const Bytes before = pageBody(bench, 206);
    bench.pump().advance(600 * 1000);
    const Bytes after = pageBody(bench, 206);
    // Ten minutes at 6000 ml/h with 0.1234 ml strokes: 1000 ml / 0.1234 ml.
    const double strokes = 6000.0 / 6 / 0.1234;
    EXPECT_NEAR(double(u32(after, 8) - u32(before, 8)), strokes, 2.0);
    EXPECT_EQ(u32(after, 28) - u32(before, 28), u32(after, 8) - u32(before, 8));
    // Running time in 2-hour and 2-minute units: ten minutes is five 2-minute units.
    const int minutesBefore = u16(before, 2) * 60 + before[1];
    const int minutesAfter = u16(after, 2) * 60 + after[1];
    EXPECT_EQ(minutesAfter - minutesBefore, 5);
}

TEST(PumpPages, LiveValuesDriftDeterministically) {
    auto run = [](uint32_t seed) {
        PumpOptions options;
        options.seed = seed;
        options.tpGapMs = 0;
        Bench bench(options);
        std::vector<Bytes> pages;
        for (int i = 0; i < 5; ++i) {
            bench.pump().advance(3000);
            pages.push_back(pageBody(bench, 211));
        }
        return pages;
    };
    const auto a = run(7);
    EXPECT_EQ(a, run(7));
    EXPECT_NE(a, run(8));
    EXPECT_NE(a.front(), a.back());  // the values move
    for (const Bytes& p : a) {
        const double headTemp = int16_t(u16(p, 0)) * 0.1;
        EXPECT_GT(headTemp, 15.0);
        EXPECT_LT(headTemp, 35.0);
        EXPECT_GE(p[8] * 0.25, 13.0);  // battery
        EXPECT_LE(p[8] * 0.25, 14.5);
    }
}

// ---------------------------------------------------------------------------------------------
// Configuration downloads

TEST(PumpConfiguration, OldLayoutRoundTrip) {
    Bench bench(withSoftware(0, 5));
    inTestMode(bench);
    Bytes t(55, 0);
    t[7] = 147;
    t[8] = 0x34, t[9] = 0x01;    // MAF factor 308
    t[10] = 1;                   // write the date
    t[11] = 0x17, t[12] = 0x5B;  // packed date
    t[13] = 0;                   // keep the dashboard
    t[14] = 0x11, t[15] = 0x22, t[16] = 0x33, t[17] = 0x00;
    t[18] = 1;
    t[19] = 25;
    t[20] = uint8_t(-7);
    t[21] = 0xF4, t[22] = 0x01;  // 500
    t[23] = 0xBC, t[24] = 0x02;  // 700
    t[25] = 30;
    t[26] = 0xE8, t[27] = 0x03;  // gain 1000
    t[28] = 15;
    t[29] = 0x2C, t[30] = 0x01;  // volume 300
    t[31] = 0xD0, t[32] = 0x07;  // length 2000
    const std::string vin = "ABCDEFGHJK1234567";
    t[33] = static_cast<uint8_t>(vin.size());
    std::copy(vin.begin(), vin.end(), t.begin() + 34);
    const uint32_t dashboardBefore = bench.pump().state().config.dashboard;

    auto echo = bench.ask(t);
    ASSERT_TRUE(echo.has_value());
    EXPECT_EQ(*echo, t);  // byte for byte

    const Bytes p203 = pageBody(bench, 203);
    EXPECT_EQ(u16(p203, 5), 308);
    EXPECT_EQ(u16(p203, 3), 1000);
    EXPECT_EQ(u16(p203, 7), 300);
    EXPECT_EQ(u16(p203, 9), 2000);
    EXPECT_EQ(p203[14], 25);
    EXPECT_EQ(int8_t(p203[13]), -7);
    const Bytes p204 = pageBody(bench, 204);
    EXPECT_EQ(u16(p204, 0), 0x5B17);
    EXPECT_EQ(u32(p204, 2), dashboardBefore);  // flag 0 keeps the pump's value
    EXPECT_EQ(p204[6] & 1, 1);
    EXPECT_EQ(p204[10], 15);
    const Bytes p212 = pageBody(bench, 212);
    EXPECT_EQ(p212, (Bytes{0xF4, 0x01, 0xBC, 0x02, 30}));
    bench.request(pgn::kVehicleId);
    bench.pump().advance(500);
    auto messages = bench.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(std::string(messages[0].data, messages[0].data + messages[0].length), vin + "*");
}

TEST(PumpConfiguration, NewLayoutRoundTripThroughTransport) {
    Bench bench(withSoftware(0, 9));
    inTestMode(bench);
    Bytes t(74, 0);
    for (std::size_t i = 8; i < t.size(); ++i) {
        t[i] = static_cast<uint8_t>(i * 7 + 3);  // every byte distinct from its neighbours
    }
    t[7] = 163;
    t[8] = 1;
    t[11] = 1;
    t[16] = 5;  // VIN length
    const Bytes sent = t;

    auto echo = bench.ask(t);
    ASSERT_TRUE(echo.has_value());
    EXPECT_EQ(*echo, sent);

    const Bytes p204 = pageBody(bench, 204);
    EXPECT_EQ(u16(p204, 0), u16(sent, 9));
    EXPECT_EQ(u32(p204, 2), u32(sent, 12));
    EXPECT_EQ(p204[6], sent[38] & 7);
    EXPECT_EQ(p204[10], sent[47]);
    EXPECT_EQ(p204[22], sent[56]);
    EXPECT_EQ(p204[27], sent[64]);
    EXPECT_EQ(u16(p204, 28), u16(sent, 59));
    EXPECT_EQ(u16(p204, 30), u16(sent, 61));
    EXPECT_EQ(p204[32], sent[63]);
    const Bytes p203 = pageBody(bench, 203);
    EXPECT_EQ(p203[14], sent[39]);
    EXPECT_EQ(p203[13], sent[40]);
    EXPECT_EQ(p203[15], sent[41]);
    EXPECT_EQ(u16(p203, 3), u16(sent, 48));
    EXPECT_EQ(u16(p203, 7), u16(sent, 50));
    EXPECT_EQ(u16(p203, 9), u16(sent, 52));
    EXPECT_EQ(u16(p203, 5), u16(sent, 54));
    EXPECT_EQ(u16(p203, 30), u16(sent, 57));
    EXPECT_EQ(pageBody(bench, 212), Bytes(sent.begin() + 42, sent.begin() + 47));
    // The installer block reads back as sent, except bits the pump does not keep.
    const Bytes p216 = pageBody(bench, 216);
    EXPECT_EQ(Bytes(p216.begin(), p216.begin() + 3), Bytes(sent.begin() + 65, sent.begin() + 68));
    EXPECT_EQ(p216[3], sent[68]);
    EXPECT_EQ(p216[4], sent[69] & 0x0F);
    EXPECT_EQ(Bytes(p216.begin() + 5, p216.end()), Bytes(sent.begin() + 70, sent.end()));
    EXPECT_EQ(bench.pump().state().config.vin, std::string(sent.begin() + 17, sent.begin() + 22));

    // From 0.09 the urea tank limits travel as parameter writes; other parameters do not.
    Bytes p0 = {0, 0, 85, 75, 0, 0, 0, 172};
    auto r = bench.ask(p0);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, p0);
    auto read = bench.ask(Bytes{0, 0, 0, 0, 0, 0, 0, 173});
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ((*read)[2], 85);
    EXPECT_EQ((*read)[3], 75);
    r = bench.ask(Bytes{2, 0, 1, 0, 0, 0, 0, 172});
    EXPECT_EQ(r->at(7), 255);
}

TEST(PumpConfiguration, ShortConfigurationImageIsNotAcknowledged) {
    Bench bench(withSoftware(0, 9));
    inTestMode(bench);
    const auto before = bench.pump().state().config.dashboard;
    Bytes t(40, 1);
    t[7] = 163;
    auto r = bench.ask(t);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ((*r)[7], 255);
    EXPECT_EQ(bench.pump().state().config.dashboard, before);
}

struct ParameterCase {
    uint16_t id;
    Bytes values;  // bytes 2.. of the write, as many as the identifier uses
};

TEST(PumpConfiguration, EveryParameterWriteEchoesAndReadsBack) {
    const ParameterCase cases[] = {
        {0, {90, 80}},
        {1, {uint8_t(-20), uint8_t(-15)}},
        {2, {0}},
        {3, {1}},
        {4, {0}},
        {5, {0x2C, 0x01}},
        {6, {0xE8, 0x03}},
        {7, {2}},
        {8, {1}},
        {9, {6, 4, 3}},
        {10, {0, 1}},
        {11, {0xFE, 0x7F, 0x7F, 0x02}},
        {12, {0xFE, 0x1F, 0x09, 0x00}},
        {13, {2}},
        {14, {1}},
        {15, {0, 'W', 17}},
        {16, {0x17, 0x5B}},
        {17, {0x40, 0xE2, 0x01, 0x00}},
        {18, {20}},
        {19, {5}},
        {20, {30, uint8_t(-10), uint8_t(-20)}},
        {21, {0x32, 0x00}},
        {22, {0xA0, 0x0F}},
        {23, {0x10, 0x27}},
        {24, {0x64, 0x00}},
        {25, {0xF4, 0x01, 0xBC, 0x02, 25}},
        {26, {2}},
        {27, {0}},
        {28, {0x32, 0x00}},
        {29, {1, 0x00, 0x02, 0x85, 0x00}},
        {30, {1}},
        {31, {0x51, 0x05, 0x24, 0x00, 1}},
        {32, {0x03, 0x00, 0x00, 0x00}},
    };
    Bench bench;
    inTestMode(bench);
    for (const auto& c : cases) {
        Bytes t(8, 0);
        t[0] = c.id & 0xFF;
        t[1] = c.id >> 8;
        std::copy(c.values.begin(), c.values.end(), t.begin() + 2);
        t[7] = 172;
        auto echo = bench.ask(t);
        ASSERT_TRUE(echo.has_value()) << c.id;
        EXPECT_EQ(*echo, t) << c.id;
        Bytes read = t;
        read[7] = 173;
        auto answer = bench.ask(read);
        ASSERT_TRUE(answer.has_value()) << c.id;
        EXPECT_EQ((*answer)[7], 173) << c.id;
        EXPECT_EQ(u16(*answer, 0), c.id);
        EXPECT_EQ(Bytes(answer->begin() + 2, answer->begin() + 2 + c.values.size()), c.values)
            << c.id;
    }
    // What the writes changed shows in the pages too.
    const Bytes p216 = pageBody(bench, 216);
    EXPECT_EQ(p216[0], 3);
    EXPECT_EQ(p216[1], 6);
    EXPECT_EQ(p216[2], 4);
    EXPECT_EQ(u16(p216, 5), 300);
    EXPECT_EQ(u16(p216, 7), 1000);
    const Bytes p204 = pageBody(bench, 204);
    EXPECT_EQ(u32(p204, 2), 0x01E240u);
    EXPECT_EQ(p204[27], 2);
    EXPECT_EQ(u16(p204, 28), 0x200);
    EXPECT_EQ(bench.pump().state().config.vin.substr(0, 1), "W");
    EXPECT_EQ(bench.pump().state().config.vin.size(), 17u);
    EXPECT_TRUE(bench.pump().state().config.dm1Support);

    auto unknown = bench.ask(Bytes{33, 0, 0, 0, 0, 0, 0, 172});
    EXPECT_EQ(unknown->at(7), 255);
    auto badIndex = bench.ask(Bytes{31, 0, 0, 0, 0, 0, 2, 172});
    EXPECT_EQ(badIndex->at(7), 255);
}

TEST(PumpConfiguration, VinWrittenCharacterByCharacter) {
    Bench bench;
    inTestMode(bench);
    const std::string vin = "XY7";
    for (std::size_t p = 0; p < vin.size(); ++p) {
        auto r =
            bench.ask(Bytes{15, 0, uint8_t(p), uint8_t(vin[p]), uint8_t(vin.size()), 0, 0, 172});
        ASSERT_EQ(r->at(7), 172);
    }
    EXPECT_EQ(bench.pump().state().config.vin, vin);
    EXPECT_EQ(bench.pump().vehicleIdentification(), (Bytes{'X', 'Y', '7', '*'}));
}

TEST(PumpMasks, DedicatedCodesStoreAndReadBack) {
    Bench bench(withSoftware(0, 8));
    inTestMode(bench);
    Bytes t(16, 0);
    t[7] = 164;
    const uint32_t onOff = 0x0200000F | 0x1;  // bit 0 is not a component: the pump drops it
    const uint32_t immSeq = 0x00001FFE;
    for (int i = 0; i < 4; ++i) {
        t[8 + i] = uint8_t(onOff >> (8 * i));
        t[12 + i] = uint8_t(immSeq >> (8 * i));
    }
    auto r = bench.ask(t);
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->size(), 16u);
    EXPECT_EQ(u32(*r, 8), onOff & ~1u);
    EXPECT_EQ(u32(*r, 12), immSeq);
    r = bench.ask(command(165));
    EXPECT_EQ(u32(*r, 8), onOff & ~1u);
    EXPECT_EQ(u32(*r, 12), immSeq);

    EXPECT_EQ(bench.ask(command(166, 0, 0, 1))->at(6), 1);
    EXPECT_EQ(bench.ask(command(167))->at(6), 1);
    EXPECT_EQ(bench.ask(command(166, 0, 0, 0))->at(6), 0);

    auto w0 = bench.ask(command(168, 0x0515555B, 0));
    EXPECT_EQ(u32(*w0, 0), 0x0515555Bu);
    auto w1 = bench.ask(command(168, 0xFFC00551, 1));  // bits 54-63 are not components
    EXPECT_EQ(u32(*w1, 0), 0x00000551u);
    EXPECT_EQ(u16(*w1, 4), 1);
    auto read1 = bench.ask(command(169, 0, 1));
    EXPECT_EQ(u32(*read1, 0), 0x00000551u);
    EXPECT_EQ((*read1)[4], 1);
    EXPECT_EQ(bench.ask(command(169, 0, 2))->at(7), 255);

    EXPECT_EQ(u32(*bench.ask(command(170, 0x00000006)), 0), 0x00000007u);  // bit 0 always set
    EXPECT_EQ(u32(*bench.ask(command(171)), 0), 0x00000007u);

    // The DM1 state reads back on every software version.
    Bench old(withSoftware(0, 5));
    EXPECT_EQ(old.ask(command(167))->at(7), 167);
}

TEST(PumpCalibration, UserCalibrationEchoAndRange) {
    Bench bench;
    inTestMode(bench);
    auto r = bench.ask(command(128, 987));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(u16(*r, 0), 987);
    EXPECT_EQ(u16(pageBody(bench, 204), 11), 987);
    for (uint32_t mass : {499u, 2048u}) {
        EXPECT_EQ(bench.ask(command(128, mass))->at(7), 255) << mass;
    }
    EXPECT_EQ(bench.pump().state().config.userCalibration, 987);

    // The calibration run: pump started by 109 at the set flow, state "Calibrating".
    bench.ask(command(5, 600000));
    EXPECT_EQ(bench.ask(command(109))->at(7), 109);
    const Bytes p205 = pageBody(bench, 205);
    EXPECT_EQ(int8_t(p205[1]), 8);
    EXPECT_EQ(u32(p205, 3), 600000u);
}

// The bucket under the nozzle: 10 minutes at 6000 ml/h are 1000 ml asked. Uncalibrated, this pump
// delivers 4 % more; calibrated with what the bucket then held, it delivers what is asked.
TEST(PumpCalibration, BucketFillsByTheRunAndTheStoredCalibration) {
    Bench bench;
    inTestMode(bench);
    EXPECT_EQ(bench.ask(command(13, 0, 0, 1))->at(6), 1);  // valve open
    bench.ask(command(5, 600000));
    bench.ask(command(109));
    bench.pump().advance(600000);
    bench.ask(command(4));
    const double calibrationRun = bench.pump().state().bucketGrams;
    EXPECT_NEAR(calibrationRun, 1040.0, 1.0);
    bench.pump().advance(5000);
    EXPECT_EQ(bench.pump().state().bucketGrams, calibrationRun) << "stopped: nothing more";

    bench.ask(command(128, 1040));
    bench.ask(command(3));
    EXPECT_EQ(bench.pump().state().bucketGrams, 0.0) << "a new run starts with an empty bucket";
    bench.pump().advance(600000);
    bench.ask(command(4));
    EXPECT_NEAR(bench.pump().state().bucketGrams, 1000.0, 1.0);

    // Through the return line (valve closed) the bucket stays empty.
    bench.ask(command(13, 0, 0, 0));
    bench.ask(command(3));
    bench.pump().advance(60000);
    EXPECT_EQ(bench.pump().state().bucketGrams, 0.0);
}

TEST(PumpEeprom, WordsZeroTo191AreValid) {
    Bench bench;
    for (uint32_t address : {0u, 1u, 100u, 191u}) {
        auto r = bench.ask(command(146, address));
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(u32(*r, 0), address);
        EXPECT_EQ(u16(*r, 4), bench.pump().state().eeprom[address]);
        EXPECT_EQ((*r)[6], 1);
    }
    EXPECT_EQ(u16(*bench.ask(command(146, 0)), 4), bench.pump().state().serial & 0xFFFF);
    auto beyond = bench.ask(command(146, 192));
    EXPECT_EQ((*beyond)[6], 0);
    EXPECT_EQ(u32(*beyond, 0), 192u);
}

TEST(PumpErrorLog, RecordsComeThroughTransportAndEndCleanly) {
    Bench bench;
    const std::size_t count = bench.pump().state().errorLog.size();
    ASSERT_GE(count, 1u);
    for (uint16_t n = 1; n <= count; ++n) {
        auto r = bench.ask(command(141, n));
        ASSERT_TRUE(r.has_value());
        ASSERT_EQ(r->size(), 54u);
        EXPECT_EQ(u16(*r, 0), n);
        EXPECT_EQ((*r)[2], 0x02);
        EXPECT_EQ(u16(*r, 3), count);
        EXPECT_EQ(u16(*r, 29) & 0x7FFF, bench.pump().state().errorLog[n - 1].component);
    }
    auto past = bench.ask(command(141, uint32_t(count + 1)));
    ASSERT_TRUE(past.has_value());
    EXPECT_EQ(past->size(), 8u);
    EXPECT_EQ((*past)[2], 0);

    // Diagnostic clear: acknowledged with 128, carried out at the next reset.
    EXPECT_EQ(bench.ask(command(148, 127))->at(7), 255);
    auto ack = bench.ask(command(148, 128));
    EXPECT_EQ((*ack)[7], 148);
    EXPECT_EQ(u32(*ack, 0), 128u);
    EXPECT_EQ(bench.pump().state().errorLog.size(), count);
    bench.ask(command(2));
    EXPECT_TRUE(bench.pump().state().errorLog.empty());
    EXPECT_EQ(u16(*bench.ask(command(141, 1)), 3), 0);
}

// ---------------------------------------------------------------------------------------------
// NOx sensors

TEST(PumpSensors, SensorsSendEvery100msAndThePumpReportsWhatItReceived) {
    PumpOptions options;
    options.tpGapMs = 0;
    Bench bench(options);
    bench.pump().advance(999);
    const auto up = bench.framesWith(pgn::kIntakeGas);
    const auto down = bench.framesWith(pgn::kOutletGas);
    ASSERT_EQ(up.size(), 10u);
    ASSERT_EQ(down.size(), 10u);
    for (const auto& f : up) {
        EXPECT_EQ(f.source, 81);
        EXPECT_EQ(f.length, 8);
        EXPECT_EQ(f.data[4], 0x55);
        EXPECT_EQ(f.data[5] & 0x1F, 31);
    }
    EXPECT_EQ(down[0].source, 82);
    const Bytes p209 = pageBody(bench, 209);
    ASSERT_EQ(p209.size(), 16u);
    EXPECT_EQ(Bytes(p209.begin() + 8, p209.end()), Bytes(up.back().data, up.back().data + 8));
    const int raw = up.back().data[0] | (up.back().data[1] << 8);
    EXPECT_EQ(int16_t(u16(p209, 0)), int(std::trunc(raw * 0.05 - 200)));
    float o2 = 0;
    const uint32_t bits = u32(p209, 4);
    std::memcpy(&o2, &bits, 4);
    const int o2raw = up.back().data[2] | (up.back().data[3] << 8);
    EXPECT_NEAR(o2, o2raw * 0.000514 - 12, 1e-3);
    const Bytes p210 = pageBody(bench, 210);
    EXPECT_EQ(Bytes(p210.begin() + 8, p210.end()), Bytes(down.back().data, down.back().data + 8));
    EXPECT_EQ(pageBody(bench, 201)[0] & 0x3C, 0);  // both links fine
}

TEST(PumpSensors, WithoutSensorsThePumpReportsCommunicationErrors) {
    PumpOptions options;
    options.sensors = false;
    Bench bench(options);
    bench.pump().start();
    EXPECT_EQ(bench.framesWith(pgn::kAddressClaimed).size(), 1u);
    bench.pump().advance(1500);
    EXPECT_TRUE(bench.framesWith(pgn::kIntakeGas).empty());
    const Bytes p201 = pageBody(bench, 201);
    EXPECT_EQ((p201[0] >> 2) & 3, 2);
    EXPECT_EQ((p201[0] >> 4) & 3, 2);
    const Bytes p209 = pageBody(bench, 209);
    EXPECT_EQ(Bytes(p209.begin() + 8, p209.end()), Bytes(8, 0xFF));
}

// ---------------------------------------------------------------------------------------------
// Faults

TEST(PumpFaults, SilencePutsNothingOnTheBus) {
    PumpOptions options;
    options.setFault(Fault::Silence);
    options.sensors = false;
    Bench bench(options);
    bench.pump().start();
    bench.claim(255, 0);
    bench.request(pgn::kSoftwareId);
    EXPECT_FALSE(bench.ask(command(1)).has_value());
    EXPECT_TRUE(bench.frames().empty());
    // The pump still works inside: lifting the fault brings the reply back.
    bench.pump().setFault(Fault::Silence, false);
    EXPECT_TRUE(bench.poll().has_value());
}

TEST(PumpFaults, DroppedReplyComesOnTheNextRequest) {
    PumpOptions options;
    options.setFault(Fault::DropReplies);
    Bench bench(options);
    EXPECT_FALSE(bench.ask(command(1)).has_value());
    auto r = bench.poll();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ((*r)[7], 1);
}

TEST(PumpFaults, StaleReplyUntilTheBufferCatchesUp) {
    PumpOptions options;
    options.setFault(Fault::StaleReplies);
    options.staleReplyMs = 300;
    Bench bench(options);
    EXPECT_FALSE(bench.ask(command(1), 100).has_value());  // nothing older to repeat
    bench.pump().advance(300);
    ASSERT_EQ(bench.poll(10)->at(7), 1);
    auto stale = bench.ask(command(167), 10);
    ASSERT_TRUE(stale.has_value());
    EXPECT_EQ((*stale)[7], 1);
    bench.pump().advance(300);
    EXPECT_EQ(bench.poll(10)->at(7), 167);
}

TEST(PumpFaults, CorruptedEchoDiffersInOneBit) {
    PumpOptions options;
    options.setFault(Fault::CorruptEcho);
    Bench bench(options);
    inTestMode(bench);
    const Bytes t = {18, 0, 20, 0, 0, 0, 0, 172};
    auto echo = bench.ask(t);
    ASSERT_TRUE(echo.has_value());
    Bytes expected = t;
    expected[2] ^= 1;
    EXPECT_EQ(*echo, expected);
    EXPECT_EQ(bench.pump().state().config.blockedNozzleRestart, 20);  // stored right
    EXPECT_EQ(u32(*bench.ask(command(5, 1000)), 0), 1001u);
}

TEST(PumpFaults, StalledSessionStopsHalfWayThenCompletesOnRetry) {
    PumpOptions options;
    options.setFault(Fault::TpStall);
    Bench bench(options);
    EXPECT_FALSE(bench.ask(command(200), 3000).has_value());
    EXPECT_EQ(bench.framesWith(pgn::kTpCm).size(), 1u);
    EXPECT_EQ(bench.framesWith(pgn::kTpDt).size(), 18u);
    auto r = bench.poll();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->size(), 247u);
}

TEST(PumpFaults, ClaimForTheToolsAddressBeatsTheToolsName) {
    PumpOptions options;
    options.setFault(Fault::ClaimToolAddress);
    Bench bench(options);
    bench.claim(255, 0);
    J1939Frame impostor;
    bool found = false;
    for (const auto& f : bench.framesWith(pgn::kAddressClaimed)) {
        if (f.source == kTool) {
            impostor = f;
            found = true;
        }
    }
    ASSERT_TRUE(found);
    // The tool's own NAME: A0 86 01 00 02 00 00 00. Compared from the most significant byte the
    // impostor's byte 4 is lower, so the tool gives way.
    const uint8_t toolName[8] = {0xA0, 0x86, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00};
    bool toolGivesWay = false;
    for (int i = 0; i < 8; ++i) {
        if (toolName[7 - i] > impostor.data[7 - i]) {
            toolGivesWay = true;
            break;
        }
    }
    EXPECT_TRUE(toolGivesWay);
}

TEST(PumpFaults, Reply255RefusesEveryCommandAndChangesNothing) {
    PumpOptions options;
    options.setFault(Fault::Reply255);
    Bench bench(options);
    auto r = bench.ask(command(1));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ((*r)[7], 255);
    EXPECT_EQ(bench.pump().state().testModeLevel, 0);
}

TEST(PumpFaults, StuckValveAnswersWhereItIsStuck) {
    PumpOptions options;
    options.setFault(Fault::ValveStuck);
    Bench bench(options);
    inTestMode(bench);
    ASSERT_TRUE(bench.pump().state().valveOpen) << "stuck open, as it dosed in normal mode";
    for (uint8_t asked : {0, 1, 0}) {
        EXPECT_EQ(bench.ask(command(13, 0, 0, asked))->at(6), 1) << int(asked);
    }
    EXPECT_TRUE(bench.pump().state().valveOpen);
}

TEST(PumpFaults, ErrorLogNotReadyFirst) {
    PumpOptions options;
    options.setFault(Fault::ErrorLogNotReady);
    options.errorLogNotReadyMs = 150;
    Bench bench(options);
    auto r = bench.ask(command(141, 1));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->size(), 8u);
    EXPECT_EQ((*r)[2], 0x01);
    bench.pump().advance(149);
    r = bench.poll();
    EXPECT_EQ((*r)[2], 0x01);
    bench.pump().advance(1);
    r = bench.poll();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ((*r)[2], 0x02);
    EXPECT_EQ(r->size(), 54u);
}

TEST(PumpFaults, SilentSensorTurnsIntoOBDStateAndTorqueLimiter) {
    PumpOptions options;
    options.tpGapMs = 0;
    Bench bench(options);
    bench.pump().advance(2000);
    bench.pump().setFault(Fault::UpstreamSilent, true);
    bench.frames().clear();
    bench.pump().advance(1000);
    EXPECT_TRUE(bench.framesWith(pgn::kIntakeGas).empty());
    EXPECT_EQ(bench.framesWith(pgn::kOutletGas).size(), 10u);
    bench.pump().advance(2000);
    EXPECT_EQ((pageBody(bench, 201)[0] >> 2) & 3, 2);
    EXPECT_EQ(pageBody(bench, 208)[0], 0x04);  // NOx in
    const Bytes p211 = pageBody(bench, 211);
    EXPECT_LT(u16(p211, 24), 5);
    EXPECT_EQ(u16(p211, 26), 45);
    bench.pump().advance(60 * 1000);
    const Bytes later = pageBody(bench, 211);
    EXPECT_EQ(u16(later, 24), 0);
    EXPECT_EQ(u16(later, 26), 0);
    EXPECT_TRUE(pageBody(bench, 207)[1] & 0x10);  // torque limiter output
    EXPECT_TRUE(pageBody(bench, 207)[1] & 0x01);  // MI lamp: row 3 is in the ON/OFF mask
    EXPECT_EQ(bench.pump().state().errorLog.back().component, 3);

    // The sensor back: the limiter releases.
    bench.pump().setFault(Fault::UpstreamSilent, false);
    bench.pump().advance(2000);
    EXPECT_EQ(pageBody(bench, 208)[0], 0);
    EXPECT_FALSE(pageBody(bench, 207)[1] & 0x10);
}

TEST(PumpFaults, ComponentFaultsShowInPagesAndLog) {
    struct Case {
        Fault fault;
        std::size_t obdByte;
        uint8_t obdMask;
        uint32_t tlBit;
        int8_t alarm;
        uint16_t logComponent;
    };
    const Case cases[] = {
        {Fault::NozzleBlocked, 1, 0x80, 1u << 9, 0, 16},
        {Fault::UreaEmpty, 3, 0x80, 1u << 14, 2, 18},
        {Fault::EcmTimeout, 4, 0x08, 1u << 16, 3, 25},
    };
    for (const auto& c : cases) {
        PumpOptions options;
        options.tpGapMs = 0;
        Bench bench(options);
        bench.pump().advance(500);
        const std::size_t logBefore = bench.pump().state().errorLog.size();
        bench.pump().setFault(c.fault, true);
        bench.pump().advance(500);
        EXPECT_EQ(pageBody(bench, 201)[c.obdByte] & c.obdMask, c.obdMask) << faultName(c.fault);
        const Bytes p208 = pageBody(bench, 208);
        EXPECT_EQ(p208[0] | (p208[1] << 8) | (p208[2] << 16), int(c.tlBit)) << faultName(c.fault);
        EXPECT_EQ(int8_t(pageBody(bench, 211)[21]), c.alarm) << faultName(c.fault);
        ASSERT_EQ(bench.pump().state().errorLog.size(), logBefore + 1);
        EXPECT_EQ(bench.pump().state().errorLog.back().component, c.logComponent);
    }
    // An empty tank stops the dosing and trips both level switches.
    PumpOptions options;
    options.setFault(Fault::UreaEmpty);
    Bench bench(options);
    bench.pump().advance(200);
    EXPECT_EQ(u32(pageBody(bench, 205), 3), 0u);
    EXPECT_EQ(pageBody(bench, 207)[0] & 0x03, 0x03);
}

// ---------------------------------------------------------------------------------------------
// The node that runs the pump on the in-process bus

TEST(SimulatorNodeOnBus, AnswersTheToolsEndpoint) {
    auto bus = SimBus::create();
    auto tool = bus->attach();
    PumpOptions options;
    options.tpGapMs = 0;
    auto node = SimulatorNode::onBus(bus, options);
    node->powerOn(20);
    node->tick();
    EXPECT_EQ(tool->pending(), 0u);  // still powering up
    node->tick();
    AdapterFrame f;
    ASSERT_TRUE(tool->read(f));
    auto claim = decodeFrame(f);
    ASSERT_TRUE(claim.has_value());
    EXPECT_EQ(claim->source, kPump);
    EXPECT_EQ(claim->pgn, pgn::kAddressClaimed);
    while (tool->read(f)) {
    }

    // A command and its Request, written by the tool, answered at the next tick.
    J1939Frame cmd;
    cmd.source = kTool;
    cmd.destination = kPump;
    cmd.pgn = pgn::kProprietaryA;
    cmd.length = 8;
    cmd.data[7] = 167;
    tool->write(*encodeFrame(cmd));
    J1939Frame req;
    req.source = kTool;
    req.destination = kPump;
    req.pgn = pgn::kRequest;
    req.length = 3;
    req.data[1] = 0xEF;
    tool->write(*encodeFrame(req));
    node->tick();
    bool replied = false;
    while (tool->read(f)) {
        auto j = decodeFrame(f);
        if (j && pduFormatOf(j->pgn) == pgn::kProprietaryA) {
            EXPECT_EQ(j->destination, kTool);
            EXPECT_EQ(j->data[7], 167);
            replied = true;
        }
    }
    EXPECT_TRUE(replied);
    EXPECT_EQ(node->pump().nowMs(), 10u);  // the pump's time starts at power-on
}

TEST(PumpOptionsParsing, SoftwareVersionsAndFaultNames) {
    EXPECT_EQ(parseSoftwareVersion("0.11")->minor, 11);
    EXPECT_EQ(parseSoftwareVersion("1.02")->major, 1);
    EXPECT_EQ(parseSoftwareVersion("1.02")->minor, 2);
    EXPECT_EQ(parseSoftwareVersion("0.05")->minor, 5);
    for (const char* bad : {"", "1", ".5", "1.", "a.b", "1.2.3", "300.1"}) {
        EXPECT_FALSE(parseSoftwareVersion(bad).has_value()) << bad;
    }
    for (auto name : faultNames()) {
        auto fault = faultFromName(name);
        ASSERT_TRUE(fault.has_value()) << name;
        EXPECT_EQ(faultName(*fault), name);
    }
    EXPECT_FALSE(faultFromName("no-such-fault").has_value());
}
