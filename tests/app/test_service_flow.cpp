// Flow tests of the service window against the simulated pump: the sequence of commands, the flow
// monitor, stopping, the purge that follows a nozzle test, and what a closing window asks.

#include <gtest/gtest.h>

#include <QSlider>

#include "mainwindow/main_window.h"
#include "service_bench.h"

namespace {

uint32_t longArg(const std::vector<uint8_t>& t) {
    return t.size() < 4 ? 0xFFFFFFFF : t[0] | t[1] << 8 | t[2] << 16 | uint32_t(t[3]) << 24;
}

// Every code 5 the tool sent, by its flow.
std::vector<uint32_t> flowsSent(const SimHarness& h) {
    std::vector<uint32_t> flows;
    for (const auto& t : h.sentTelegrams()) {
        if (t.size() >= 8 && t[7] == service_code::kSetFlow) {
            flows.push_back(longArg(t));
        }
    }
    return flows;
}

class FlowTest : public ::testing::Test {
  protected:
    void SetUp() override { b.connect(); }
    ServiceModule& s() { return b.service(); }
    TfServiceTool& w() { return b.window(); }
    bool running() {
        return s().flowTest() == FlowTestState::Running && b.h.core().scheduler().awaitingReply() == false;
    }
    // A test started and running at the trackbar's flow.
    void startAndRun(QPushButton* button, uint32_t flow) {
        button->click();
        ASSERT_TRUE(b.runUntil([&] { return running() && b.pump().setFlow == flow; }, 5000))
            << toString(s().flowTest()) << " flow " << b.pump().setFlow;
    }
    ServiceBench b;
};

TEST_F(FlowTest, NozzleTestEndToEndWithItsPurge) {
    startAndRun(w().btTestNozzleFlow, 750);
    // Test mode, the valve opened, the pump started, first with the flow of no test yet (0), then
    // with the trackbar's.
    EXPECT_EQ(b.commands(), (std::vector<int>{1, 13, 3, 5, 5}));
    EXPECT_EQ(flowsSent(b.h), (std::vector<uint32_t>{0, 750}));
    EXPECT_EQ(b.lastSent(13)[6], 1) << "valve open";
    EXPECT_EQ(b.h.label("fServiceTool", "lStatus"), "Flow Test Running");
    EXPECT_EQ(b.h.label("fServiceTool", "lFlowTestDoseml"), "7.50");
    EXPECT_EQ(b.pump().testModeLevel, 1);
    EXPECT_TRUE(b.pump().valveOpen);
    EXPECT_TRUE(b.pump().pumpRunning);
    EXPECT_EQ(b.pump().flow, 750u);
    EXPECT_FALSE(w().btReset->isEnabled());
    EXPECT_FALSE(w().btTestDosingValve->isEnabled());
    EXPECT_TRUE(s().purgePending());

    b.h.clearSent();
    w().btStopPump->click();
    ASSERT_TRUE(b.runUntil([&] { return s().purgeShown(); }, 2000));
    EXPECT_EQ(s().flowTest(), FlowTestState::Idle);
    EXPECT_FALSE(b.pump().pumpRunning);
    EXPECT_TRUE(w().btReset->isEnabled());
    EXPECT_TRUE(w().btTestDosingValve->isEnabled());
    EXPECT_FALSE(s().flowTestActive(FlowTestKind::Nozzle));
    b.openQueuedModals();
    EXPECT_TRUE(b.h.dialogs.modals.contains("fPurge"));
    EXPECT_EQ(b.h.label("fPurge", "lPurgeTime"), "30 sec");

    // The valve stays open for 29 s: 30 sec, then 28 sec ... 1 sec.
    const uint64_t shownAt = b.h.elapsedMs();
    ASSERT_TRUE(b.runUntil([&] { return b.pump().valveOpen; }, 500));
    b.run(1000 - int(b.h.elapsedMs() - shownAt));
    EXPECT_EQ(b.h.label("fPurge", "lPurgeTime"), "28 sec");
    b.run(27000);
    EXPECT_EQ(b.h.label("fPurge", "lPurgeTime"), "1 sec");
    EXPECT_TRUE(s().purgeShown());
    EXPECT_TRUE(b.pump().valveOpen);
    ASSERT_TRUE(b.runUntil([&] { return !s().purgeShown(); }, 2000));
    EXPECT_EQ(b.h.elapsedMs() - shownAt, 29000u);
    ASSERT_TRUE(b.runUntil([&] { return !b.pump().valveOpen; }, 500));
    EXPECT_FALSE(s().purgePending());
    EXPECT_EQ(b.commands(), (std::vector<int>{4, 13, 13}));
    EXPECT_EQ(b.lastSent(13)[6], 0) << "closed when the purge ends";
    EXPECT_TRUE(b.h.dialogs.shown.empty()) << b.h.dialogs.texts().join(" | ").toStdString();
}

}  // namespace
