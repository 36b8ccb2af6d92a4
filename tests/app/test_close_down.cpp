// The close-down after the operator confirms closing, from normal mode, from test mode and with a
// purge pending.

#include <gtest/gtest.h>

#include "app/closing_down.h"
#include "event_loop.h"
#include "mainwindow/main_window.h"
#include "service_bench.h"
#include "tool_harness.h"

namespace {

class CloseDownTest : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        h.pumpClaims(61);
        h.core().queue().clear();
        h.clearWritten();
    }
    TForm1& form() { return h.mainWindow(); }
    CloseDownState state() { return h.app().closeDownState(); }
    // The pump reports its test mode: reply 1 (final test) or reply 0 (normal mode).
    void pumpInTestMode() {
        h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 1});
        ASSERT_EQ(h.app().service().testModeLevel(), 1);
    }
    void pumpInNormalMode() {
        h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 0});
    }
    bool closingShown() { return h.app().window("frmClosingApplication")->isVisible(); }
    void confirmClose() {
        h.dialogs.answers.push_back(true);
        EXPECT_FALSE(form().FormCloseQuery());
        ASSERT_EQ(h.dialogs.questions.size(), 1u);
        EXPECT_EQ(h.dialogs.questions.back().text, "Do you want to exit program?");
        EXPECT_EQ(h.dialogs.questions.back().icon, Dialogs::Icon::Warning);
    }
    ToolHarness h;
};

TEST_F(CloseDownTest, NoLeavesEverythingRunning) {
    h.core().sender().enqueueCommand(5, 0, 0, 0);
    h.dialogs.answers.push_back(false);
    EXPECT_FALSE(form().FormCloseQuery());
    EXPECT_FALSE(form().tmrCloseDown->isActive());
    EXPECT_EQ(h.core().queue().size(), 1u);
    EXPECT_FALSE(closingShown());
}

TEST_F(CloseDownTest, FromNormalModeGoesStraightToStoppingTheReceiveThread) {
    h.core().sender().enqueueCommand(5, 0, 0, 0);
    confirmClose();
    EXPECT_TRUE(form().tmrCloseDown->isActive());
    EXPECT_EQ(h.core().queue().size(), 0u) << "the transmit queue is emptied";
    EXPECT_TRUE(closingShown());
    EXPECT_FALSE(h.core().flags().stopRequested.load());
    form().tmrCloseDownTimer();
    EXPECT_EQ(state(), CloseDownState::StopReceiving);
    EXPECT_TRUE(h.core().flags().stopRequested.load());
    // With the timer running the close is allowed without a second question.
    EXPECT_TRUE(form().FormCloseQuery());
    EXPECT_EQ(h.dialogs.questions.size(), 1u);
}

TEST_F(CloseDownTest, FromTestModeResetsPumpAndWaitsForNormalModeAtMost101Ticks) {
    pumpInTestMode();
    confirmClose();
    form().tmrCloseDownTimer();  // 0 -> 1, nothing to stop
    form().tmrCloseDownTimer();  // 1 -> 2, no purge pending
    form().tmrCloseDownTimer();  // 2: reset
    EXPECT_EQ(state(), CloseDownState::WaitNormalMode);
    T_J1939_PROPERITARY_A t;
    ASSERT_TRUE(h.core().queue().take(t));
    EXPECT_EQ(t.data[7], 2) << "reset pump";
    h.core().queue().clear();

    int allPagesRequests = 0;
    for (int i = 0; i < 150 && state() == CloseDownState::WaitNormalMode; ++i) {
        form().tmrCloseDownTimer();
        if (h.core().queue().take(t) && t.data[7] == 200) {
            ++allPagesRequests;
        }
    }
    EXPECT_EQ(allPagesRequests, 101);
    EXPECT_EQ(state(), CloseDownState::StopReceiving);
    // The operator is told that the pump stays bypassed.
    ASSERT_FALSE(h.dialogs.shown.empty());
    EXPECT_EQ(h.dialogs.shown.back().text.toStdString(), CloseDown::kStillInTestMode);
    EXPECT_EQ(h.dialogs.shown.back().icon, Dialogs::Icon::Warning);
    EXPECT_EQ(h.dialogs.texts().count(QString(CloseDown::kStillInTestMode)), 1);
    EXPECT_FALSE(h.core().flags().stopRequested.load());
    form().tmrCloseDownTimer();
    EXPECT_TRUE(h.core().flags().stopRequested.load());
}

TEST_F(CloseDownTest, TheAllPagesRequestKeepsTheResetQueuedBeforeIt) {
    pumpInTestMode();
    confirmClose();
    for (int i = 0; i < 3; ++i) {
        form().tmrCloseDownTimer();  // ... 2: reset queued
    }
    h.core().sender().enqueueCommand(201, 0, 0, 0);  // a poll waiting in its lane
    form().tmrCloseDownTimer();                      // 3: all pages
    std::vector<int> queued;
    T_J1939_PROPERITARY_A t;
    while (h.core().queue().take(t)) {
        queued.push_back(t.data[7]);
    }
    EXPECT_EQ(queued, (std::vector<int>{2, 200})) << "the reset goes first, the poll is gone";
}

TEST_F(CloseDownTest, NormalModeReportedWhileWaitingEndsTheWait) {
    pumpInTestMode();
    confirmClose();
    for (int i = 0; i < 5; ++i) {
        form().tmrCloseDownTimer();
    }
    EXPECT_EQ(state(), CloseDownState::WaitNormalMode);
    pumpInNormalMode();
    form().tmrCloseDownTimer();
    EXPECT_TRUE(h.core().flags().stopRequested.load());
}

TEST_F(CloseDownTest, EndOfReceiveThreadClosesTheWindowAndTheAdapter) {
    confirmClose();
    form().tmrCloseDownTimer();  // normal mode: stop the receive thread
    ASSERT_TRUE(h.core().flags().stopRequested.load());
    // The thread ends, its termination handler closes the main window, which closes the adapter
    // and lets it go.
    EXPECT_TRUE(processEventsUntil([&] { return !h.core().link().ready(); }, 5000));
    EXPECT_FALSE(form().tmrTx->isActive());
    EXPECT_EQ(h.dialogs.questions.size(), 1u) << "no second question on the way out";
}

// The whole close-down against the simulated pump, with a nozzle test running.
TEST(CloseDownOnTheSimulatedPump, ARunningNozzleTestIsStoppedAndThePurgeAwaitedBeforeTheReset) {
    ServiceBench b;
    b.connect();
    b.window().btTestNozzleFlow->click();
    ASSERT_TRUE(b.runUntil([&] { return b.service().flowTest() == FlowTestState::Running; }, 5000));
    TForm1& form = b.h.app().mainWindow();
    b.h.clearSent();
    // Confirmed: the transmit queue is emptied and the close-down timer runs (the harness's bus
    // was opened without the receive thread, so its ticks are driven here).
    b.h.core().queue().clear();
    // The close-down ticks every 100 ms; the purge's window and the scheduler run on.
    uint64_t purgeEndedAt = 0;
    uint64_t resetAt = 0;
    for (int i = 0; i < 600 && !b.h.core().flags().stopRequested.load(); ++i) {
        form.tmrCloseDownTimer();
        b.run(100);
        if (purgeEndedAt == 0 && b.service().purgePending() == false) {
            purgeEndedAt = b.h.elapsedMs();
        }
        const auto codes = b.commands();
        if (resetAt == 0 && std::count(codes.begin(), codes.end(), 2) > 0) {
            resetAt = b.h.elapsedMs();
        }
    }
    EXPECT_TRUE(b.h.core().flags().stopRequested.load());
    EXPECT_EQ(b.pump().testModeLevel, 0) << "the reset reached the pump";
    EXPECT_FALSE(b.pump().valveOpen && b.pump().testModeLevel != 0);
    const auto codes = b.commands();
    // Stop, the purge opens and closes the valve, then the reset.
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 4), (std::vector<int>{4, 13, 13, 2}));
    EXPECT_GT(purgeEndedAt, 29000u);
    EXPECT_GE(resetAt, purgeEndedAt);
    EXPECT_TRUE(b.h.dialogs.shown.empty()) << b.h.dialogs.texts().join(" | ").toStdString();
}

TEST(CloseDownWithoutAdapter, ToolThatNeverOpenedAnAdapterClosesWithoutQuestion) {
    ToolHarness h(FakeLibrary::LoadResult::FunctionMissing);
    h.start();
    EXPECT_TRUE(h.dialogs.texts().contains("Can not initialize CAN"));
    EXPECT_TRUE(h.mainWindow().FormCloseQuery());
    EXPECT_TRUE(h.dialogs.questions.empty());
}

TEST(CloseDownWithoutAdapter, AdapterThatWillNotOpenShowsErrorAndClosingAsksNothing) {
    ToolHarness h;
    h.library().initResult = kCanError;
    h.start();
    ASSERT_FALSE(h.dialogs.shown.empty());
    EXPECT_EQ(h.dialogs.shown[0].text, "Error connecting to CAN-USB");
    EXPECT_EQ(h.dialogs.shown[0].caption, "CAN-USB");
    EXPECT_FALSE(h.core().link().opened());
    EXPECT_EQ(h.driver().closeCalls(), 1);
    EXPECT_TRUE(h.mainWindow().FormCloseQuery());
    EXPECT_TRUE(h.dialogs.questions.empty());
}

TEST(CloseDownWithoutAdapter, MissingLibraryTerminatesAfterItsMessage) {
    ToolHarness h(FakeLibrary::LoadResult::LibraryMissing);
    h.start();
    ASSERT_FALSE(h.dialogs.shown.empty());
    EXPECT_EQ(h.dialogs.shown[0].text, "Can not load DLL. Program will be terminated.");
    EXPECT_EQ(h.dialogs.shown[0].caption, "Dll error");
    EXPECT_EQ(h.dialogs.shown[0].icon, Dialogs::Icon::Error);
    EXPECT_TRUE(h.terminated);
}

}  // namespace
