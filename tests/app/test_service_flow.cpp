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
        return s().flowTest() == FlowTestState::Running &&
               b.h.core().scheduler().awaitingReply() == false;
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

TEST_F(FlowTest, ReturnLineTestClosesTheValveFirstAndPurgesNothing) {
    startAndRun(w().btTestReturnFlow, 750);
    EXPECT_EQ(b.commands(), (std::vector<int>{1, 13, 3, 5, 5}));
    EXPECT_EQ(b.h.sentTelegrams()[0][7], 1);
    EXPECT_EQ(b.lastSent(13)[6], 0) << "valve closed";
    EXPECT_FALSE(b.pump().valveOpen);
    EXPECT_TRUE(b.pump().pumpRunning);
    EXPECT_FALSE(s().purgePending());

    b.h.clearSent();
    w().btStopPump->click();
    ASSERT_TRUE(b.runUntil([&] { return s().flowTest() == FlowTestState::Idle; }, 2000));
    b.run(500);
    EXPECT_EQ(b.commands(), (std::vector<int>{4, 13}));
    EXPECT_EQ(b.lastSent(13)[6], 0);
    EXPECT_FALSE(s().purgeShown());
    b.openQueuedModals();
    EXPECT_FALSE(b.h.dialogs.modals.contains("fPurge"));
    EXPECT_FALSE(b.pump().pumpRunning);
    EXPECT_EQ(b.h.label("fServiceTool", "lStatus"), "Pump stopped");
}

TEST_F(FlowTest, MovingTheTrackbarWhileRunningSendsTheNewFlowWithinHalfASecond) {
    startAndRun(w().btTestReturnFlow, 750);
    // Moved while the test is set up: nothing until it runs. Here it runs: the next monitor tick
    // applies the new position.
    b.h.clearSent();
    w().tbCapacity->setValue(12345);
    bool passedSettingFlow = false;
    const uint64_t movedAt = b.h.elapsedMs();
    ASSERT_TRUE(b.runUntil(
        [&] {
            passedSettingFlow |= s().flowTest() == FlowTestState::SettingFlow;
            return b.pump().setFlow == 123450;
        },
        1000));
    EXPECT_LE(b.h.elapsedMs() - movedAt, 600u);
    EXPECT_TRUE(passedSettingFlow);
    EXPECT_EQ(flowsSent(b.h), std::vector<uint32_t>{123450});
    EXPECT_EQ(b.h.label("fServiceTool", "lFlowTestDoseml"), "1234.50");
    EXPECT_EQ(s().appliedFlow(), 123450u);
    ASSERT_TRUE(b.runUntil([&] { return running(); }, 1000));
    b.run(2000);
    EXPECT_EQ(flowsSent(b.h).size(), 1u) << "an unchanged trackbar sends nothing more";
}

TEST_F(FlowTest, AClickOnAnotherTestAsksTheRunningTestsQuestion) {
    startAndRun(w().btTestNozzleFlow, 750);
    b.h.clearSent();
    // The running test's own button does nothing more.
    w().btTestNozzleFlow->click();
    EXPECT_TRUE(b.h.dialogs.questions.empty());
    b.h.dialogs.answers = {false};
    w().btTestReturnFlow->click();
    ASSERT_EQ(b.h.dialogs.questions.size(), 1u);
    EXPECT_EQ(b.h.dialogs.questions[0].text, "Do you want to end nozzle flow test?");
    EXPECT_EQ(b.h.dialogs.questions[0].icon, Dialogs::Icon::Warning);
    b.run(500);
    EXPECT_EQ(b.commands(), std::vector<int>{}) << "No leaves the test running";
    EXPECT_TRUE(s().flowTestActive(FlowTestKind::Nozzle));
    EXPECT_FALSE(s().flowTestActive(FlowTestKind::ReturnLine));

    b.h.dialogs.answers = {true};
    w().btTestReturnFlow->click();
    ASSERT_TRUE(b.runUntil([&] { return s().flowTest() == FlowTestState::Idle; }, 2000));
    EXPECT_EQ(b.commands(), std::vector<int>{4});
    EXPECT_FALSE(b.pump().pumpRunning);
}

TEST_F(FlowTest, WithoutTheFlowEchoTheFourthMonitorTickCountsTheTestAsRunning) {
    // Echoes of the flow come back with a bit flipped: the decoder never takes them.
    sim::PumpOptions options;
    options.setFault(sim::Fault::CorruptEcho);
    ServiceBench c(options);
    c.connect();
    // The bench's own monitor ticks stay out of the count.
    c.timers = TimerDriver();
    c.window().btTestReturnFlow->click();
    ASSERT_TRUE(
        c.runUntil([&] { return c.service().flowTest() == FlowTestState::SettingFlow; }, 3000));
    for (int tick = 1; tick <= 3; ++tick) {
        c.service().flowMonitorTick();
        EXPECT_EQ(c.service().flowTest(), FlowTestState::SettingFlow) << tick;
        EXPECT_EQ(c.service().appliedFlow(), 1u) << "not running yet: the trackbar waits";
    }
    // Running: at once the monitor applies the trackbar's flow (the first test sent 0).
    c.service().flowMonitorTick();
    EXPECT_EQ(c.service().appliedFlow(), 750u);
    EXPECT_EQ(c.service().flowTest(), FlowTestState::SettingFlow);
}

TEST_F(FlowTest, ClosingTheWindowWhileRunningAsksToEndTheTestThenAboutTestMode) {
    startAndRun(w().btTestReturnFlow, 750);
    QAction* item = b.h.app().mainWindow().Service1;
    item->trigger();
    ASSERT_TRUE(w().isVisible());

    b.h.dialogs.answers = {false};
    w().close();
    EXPECT_TRUE(w().isVisible()) << "No keeps the window open";
    EXPECT_TRUE(item->isChecked());
    // The tab cannot change either while the test runs.
    b.h.dialogs.answers = {false};
    w().pcService->setCurrentIndex(2);
    EXPECT_EQ(w().pcService->currentIndex(), 0);
    ASSERT_EQ(b.h.dialogs.questions.size(), 2u);
    EXPECT_EQ(b.h.dialogs.questions[1].text, "Do you want to end return line flow test?");

    b.h.clearSent();
    b.h.dialogs.answers = {true, true};  // end the test; the pump stays in test mode
    w().close();
    EXPECT_FALSE(w().isVisible());
    EXPECT_FALSE(item->isChecked());
    ASSERT_EQ(b.h.dialogs.questions.size(), 4u);
    EXPECT_EQ(b.h.dialogs.questions[3].text,
              "The pump is currently in 'Test Mode'.\nPlease note that all automatic SCR\n"
              "functionality is bypassed in 'Test Mode'.\n\nShall the pump stay in 'Test Mode'?");
    ASSERT_TRUE(b.runUntil([&] { return s().flowTest() == FlowTestState::Idle; }, 2000));
    b.run(300);
    EXPECT_EQ(b.commands(), (std::vector<int>{4, 13}));
    EXPECT_EQ(b.pump().testModeLevel, 1);
}

TEST_F(FlowTest, ClosingWithTheResetWaitsForThePurgeOfTheEndingNozzleTest) {
    startAndRun(w().btTestNozzleFlow, 750);
    w().show();
    b.h.clearSent();
    b.h.dialogs.answers = {true, false};  // end the test; do not stay in test mode
    w().close();
    ASSERT_TRUE(b.runUntil([&] { return s().purgeShown(); }, 2000));
    ASSERT_TRUE(b.runUntil([&] { return !s().purgeShown(); }, 30000));
    ASSERT_TRUE(b.runUntil([&] { return b.pump().testModeLevel == 0; }, 1000));
    // Stop, the purge's open and close, then the reset: the pump never left the purge early.
    EXPECT_EQ(b.commands(), (std::vector<int>{4, 13, 13, 2}));
    w().hide();
}

// "Stop pump" while the test is still being set up: the reply on its way must not start the
// pump or set its flow after the 4; the pump's reply 4 ends the test.
TEST(FlowTestStop, StopWhileSettingUpGoesNoFurther) {
    for (FlowTestState at :
         {FlowTestState::SettingValve, FlowTestState::Starting, FlowTestState::SettingFlow}) {
        SCOPED_TRACE(toString(at));
        ServiceBench b;
        b.connect();
        b.window().btTestReturnFlow->click();
        ASSERT_TRUE(b.runUntil([&] { return b.service().flowTest() == at; }, 3000));
        b.window().btStopPump->click();
        ASSERT_TRUE(
            b.runUntil([&] { return b.service().flowTest() == FlowTestState::Idle; }, 3000));
        b.run(1000);
        const std::vector<int> codes = b.commands();
        const auto stop = std::find(codes.begin(), codes.end(), 4);
        ASSERT_NE(stop, codes.end());
        EXPECT_EQ(std::count(stop, codes.end(), 3), 0);
        EXPECT_EQ(std::count(stop, codes.end(), 5), 0);
        EXPECT_FALSE(b.pump().pumpRunning);
        EXPECT_FALSE(b.h.core().scheduler().awaitingReply());
        EXPECT_TRUE(b.window().btReset->isEnabled());
    }
}

TEST(FlowTestValve, AValveThatKeepsAnsweringWrongEndsTheTestAfterAFewRetries) {
    sim::PumpOptions options;
    options.setFault(sim::Fault::ValveStuck);  // stuck open: the return line never closes
    ServiceBench b(options);
    b.connect();
    b.window().btTestReturnFlow->click();
    ASSERT_TRUE(b.runUntil([&] { return b.service().flowTest() == FlowTestState::Idle; }, 5000));
    b.run(500);
    const std::vector<int> codes = b.commands();
    // The first valve command and three retries; the test's end closes the valve once more.
    EXPECT_EQ(codes, (std::vector<int>{1, 13, 13, 13, 13, 13}));
    EXPECT_EQ(b.h.dialogs.texts(), QStringList{"Value NOT downloaded correctly"});
    EXPECT_FALSE(b.pump().pumpRunning);
    EXPECT_TRUE(b.h.core().queue().commandLaneEmpty());
    // The status polls go on.
    b.h.clearSent();
    b.run(4000);
    EXPECT_GE(b.h.sentCodes().size(), 8u);
}

TEST(FlowTestPumpLoss, LosingThePumpPutsTheWindowBackToIdleWithoutSending) {
    ServiceBench b;
    b.connect();
    b.window().btTestNozzleFlow->click();
    ASSERT_TRUE(b.runUntil([&] { return b.service().flowTest() == FlowTestState::Running; }, 5000));
    b.h.setPumpAlive(false);
    ASSERT_TRUE(b.runUntil(
        [&] { return b.h.label("fServiceTool", "lStatus") == "Pump not connected"; }, 10000));
    b.h.clearSent();
    EXPECT_EQ(b.service().flowTest(), FlowTestState::Idle);
    EXPECT_TRUE(b.window().btReset->isEnabled());
    EXPECT_TRUE(b.window().btTestDosingValve->isEnabled());
    EXPECT_FALSE(b.service().flowTestActive(FlowTestKind::Nozzle));
    EXPECT_FALSE(b.window().tmrFlowtestMonitor->isActive());
    EXPECT_FALSE(b.service().purgePending());
    b.run(3000);
    EXPECT_EQ(b.commands(), std::vector<int>{});
    // A new test can start at once.
    b.h.setPumpAlive(true);
    b.window().btTestReturnFlow->click();
    EXPECT_TRUE(b.service().flowTestActive(FlowTestKind::ReturnLine));
    EXPECT_EQ(b.service().flowTest(), FlowTestState::SettingValve);
}

}  // namespace
