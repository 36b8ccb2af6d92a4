// Service replies through the whole receive path: frames from the pump, the dispatch, the
// transport-protocol reassembly, the reply decoder and the windows' read-outs.

#include <gtest/gtest.h>

#include "frame_script.h"
#include "sim/pump_pages.h"
#include "tool_harness.h"

namespace {

class ReplyPath : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        h.pumpClaims(61);  // queues the all-pages request
        h.tick(5);
        ASSERT_TRUE(h.core().scheduler().awaitingReply());
        h.dialogs.shown.clear();
    }
    // A reply from the pump to the tool; long ones through the transport protocol.
    void reply(const std::vector<uint8_t>& telegram) {
        if (telegram.size() <= 8) {
            h.receive(0x18EFF93D, telegram);
            return;
        }
        const auto n = uint16_t(telegram.size());
        h.receive(0x18ECF93D, {32, uint8_t(n & 0xFF), uint8_t(n >> 8), uint8_t((n + 6) / 7), 0xFF,
                               0x00, 0xEF, 0x00});
        for (std::size_t at = 0, seq = 1; at < telegram.size(); at += 7, ++seq) {
            std::vector<uint8_t> dt{uint8_t(seq)};
            for (std::size_t i = at; i < at + 7 && i < telegram.size(); ++i) {
                dt.push_back(telegram[i]);
            }
            h.receive(0x18EBF93D, dt);
        }
    }
    static std::vector<uint8_t> command(uint8_t code, uint32_t longArg = 0, uint8_t byteArg = 0) {
        return {uint8_t(longArg),
                uint8_t(longArg >> 8),
                uint8_t(longArg >> 16),
                uint8_t(longArg >> 24),
                0,
                0,
                byteArg,
                code};
    }
    ToolHarness h;
};

TEST_F(ReplyPath, AllPagesOfTheSimulatedPumpFillTheMainWindow) {
    sim::PumpState state;
    state.serial = 987654;
    state.powerOns = 4321;
    state.battery = 55;  // 13.75 V
    state.maxPcbTemp = 71;
    state.minPcbTemp = -25;
    state.productionDate = 24 | (7 << 7);  // 2024, week 7
    sim::PageContext context{state, sim::SoftwareVersion{0, 11}};
    const uint8_t header[7] = {0, 0, 0, 0, 0, 0, 0};
    const sim::Bytes telegram = sim::buildAllPages(context, header);
    ASSERT_EQ(telegram.size(), 247u);

    reply(telegram);
    EXPECT_FALSE(h.core().scheduler().awaitingReply());
    EXPECT_TRUE(h.core().scheduler().serviceReplyReceived());
    struct Expect {
        const char* label;
        const char* text;
    } expected[] = {
        {"lSerial", "987654"},       {"lPowerOns", "4321"},    {"lBatteryVoltageV", "13.75"},
        {"lMaxTemp", "71"},          {"lMinTemp", "-25"},      {"lSWRev", "0.11"},
        {"lProductionYear", "2024"}, {"lProductionWeek", "7"},
    };
    for (const Expect& e : expected) {
        EXPECT_EQ(h.label(e.label), e.text) << e.label;
    }
    EXPECT_EQ(h.core().scheduler().pumpSoftwareVersion().minor, 11);
}

TEST_F(ReplyPath, RepliesHandledInTheDecoderReachStatusAndDialogs) {
    reply(command(1));
    EXPECT_EQ(h.app().service().testModeLevel(), 1);
    reply(command(0));
    EXPECT_EQ(h.status(), "Normal mode recieved");
    EXPECT_EQ(h.app().service().testModeLevel(), 0);
    EXPECT_FALSE(h.core().scheduler().awaitingReply());

    reply(command(254, 42));
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].text, "The pump does not support command: 42!");

    reply(command(2));
    ASSERT_EQ(h.dialogs.shown.size(), 2u);
    EXPECT_EQ(h.dialogs.shown[1].text, "Illegal command received: 2!");
}

TEST_F(ReplyPath, ShortMessageIsIgnoredAndOthersReachTheirWindows) {
    h.receive(0x18EFF93D, {0, 0, 0});  // no code at all
    EXPECT_TRUE(h.core().scheduler().awaitingReply());
    std::vector<uint8_t> record = command(141, 1);
    record.resize(60, 0);
    reply(record);
    EXPECT_EQ(h.core().replyDecoder().decodedCount(141), 1u);
    EXPECT_FALSE(h.core().scheduler().awaitingReply());
    reply(command(173));
    EXPECT_EQ(h.core().replyDecoder().decodedCount(173), 1u);
}

}  // namespace
