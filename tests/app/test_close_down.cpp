// The close-down after the operator confirms closing, from normal mode, from test mode and with a
// purge pending.

#include <gtest/gtest.h>

#include "event_loop.h"
#include "tool_harness.h"

namespace {

class CloseDownTest : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        h.pumpClaims(61);
        h.core().queue.clear();
        h.clearWritten();
    }
    TForm1& form() { return *h.app().Form1; }
    CloseDown& closeDown() { return *h.app().closeDown; }
    TfServiceTool& service() { return *h.app().fServiceTool; }
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
    h.core().sender.enqueueCommand(5, 0, 0, 0);
    h.dialogs.answers.push_back(false);
    EXPECT_FALSE(form().FormCloseQuery());
    EXPECT_FALSE(form().tmrCloseDown->isActive());
    EXPECT_EQ(h.core().queue.size(), 1u);
    EXPECT_FALSE(h.app().frmClosingApplication->isVisible());
}

TEST_F(CloseDownTest, FromNormalModeGoesStraightToStoppingTheReceiveThread) {
    h.core().sender.enqueueCommand(5, 0, 0, 0);
    confirmClose();
    EXPECT_TRUE(form().tmrCloseDown->isActive());
    EXPECT_EQ(h.core().queue.size(), 0u) << "the transmit queue is emptied";
    EXPECT_TRUE(h.app().frmClosingApplication->isVisible());
    EXPECT_FALSE(h.core().flags.stopRequested.load());
    form().tmrCloseDownTimer();
    EXPECT_EQ(closeDown().closeDownState, CloseDownState::StopReceiving);
    EXPECT_TRUE(h.core().flags.stopRequested.load());
    // With the timer running the close is allowed without a second question.
    EXPECT_TRUE(form().FormCloseQuery());
    EXPECT_EQ(h.dialogs.questions.size(), 1u);
}

TEST_F(CloseDownTest, FromTestModeResetsPumpAndWaitsForNormalModeAtMost101Ticks) {
    service().setTestModeLevel(1);
    confirmClose();
    form().tmrCloseDownTimer();  // 0 -> 1, nothing to stop
    form().tmrCloseDownTimer();  // 1 -> 2, no purge pending
    form().tmrCloseDownTimer();  // 2: reset
    EXPECT_EQ(closeDown().closeDownState, CloseDownState::WaitNormalMode);
    T_J1939_PROPERITARY_A t;
    ASSERT_TRUE(h.core().queue.take(t));
    EXPECT_EQ(t.data[7], 2) << "reset pump";
    h.core().queue.clear();

    int allPagesRequests = 0;
    for (int i = 0; i < 150 && closeDown().closeDownState == CloseDownState::WaitNormalMode; ++i) {
        form().tmrCloseDownTimer();
        if (h.core().queue.take(t) && t.data[7] == 200) {
            ++allPagesRequests;
        }
    }
    EXPECT_EQ(allPagesRequests, 101);
    EXPECT_EQ(closeDown().closeDownState, CloseDownState::StopReceiving);
    EXPECT_FALSE(h.core().flags.stopRequested.load());
    form().tmrCloseDownTimer();
    EXPECT_TRUE(h.core().flags.stopRequested.load());
}

TEST_F(CloseDownTest, NormalModeReportedWhileWaitingEndsTheWait) {
    service().setTestModeLevel(1);
    confirmClose();
    for (int i = 0; i < 5; ++i) {
        form().tmrCloseDownTimer();
    }
    EXPECT_EQ(closeDown().closeDownState, CloseDownState::WaitNormalMode);
    service().setTestModeLevel(0);  // page 207 reports normal mode
    form().tmrCloseDownTimer();
    EXPECT_TRUE(h.core().flags.stopRequested.load());
}

TEST_F(CloseDownTest, RunningNozzleTestIsStoppedAndPurgeAwaitedBeforeReset) {
    service().setTestModeLevel(1);
    service().flowTestState = FlowTestState::Running;
    h.core().purgePending = true;
    confirmClose();
    form().tmrCloseDownTimer();
    T_J1939_PROPERITARY_A t;
    ASSERT_TRUE(h.core().queue.take(t));
    EXPECT_EQ(t.data[7], 4) << "stop pump";
    for (int i = 0; i < 20; ++i) {
        form().tmrCloseDownTimer();
        EXPECT_EQ(closeDown().closeDownState, CloseDownState::WaitPurge);
    }
    h.core().purgePending = false;  // the purge window closed
    form().tmrCloseDownTimer();
    form().tmrCloseDownTimer();
    EXPECT_EQ(closeDown().closeDownState, CloseDownState::WaitNormalMode);
}

TEST_F(CloseDownTest, EndOfReceiveThreadClosesTheWindowAndTheAdapter) {
    confirmClose();
    form().tmrCloseDownTimer();  // normal mode: stop the receive thread
    ASSERT_TRUE(h.core().flags.stopRequested.load());
    // The thread ends, its termination handler closes the main window, which closes the adapter
    // and lets it go.
    EXPECT_TRUE(processEventsUntil([&] { return !h.core().link.ready(); }, 5000));
    EXPECT_FALSE(form().tmrTx->isActive());
    EXPECT_EQ(h.dialogs.questions.size(), 1u) << "no second question on the way out";
}

TEST(CloseDownWithoutAdapter, ToolThatNeverOpenedAnAdapterClosesWithoutQuestion) {
    ToolHarness h(FakeLibrary::LoadResult::FunctionMissing);
    h.start();
    EXPECT_TRUE(h.dialogs.texts().contains("Can not initialize CAN"));
    EXPECT_TRUE(h.app().Form1->FormCloseQuery());
    EXPECT_TRUE(h.dialogs.questions.empty());
}

TEST(CloseDownWithoutAdapter, AdapterThatWillNotOpenShowsErrorAndClosingAsksNothing) {
    ToolHarness h;
    h.library().initResult = kCanError;
    h.start();
    ASSERT_FALSE(h.dialogs.shown.empty());
    EXPECT_EQ(h.dialogs.shown[0].text, "Error connecting to CAN-USB");
    EXPECT_EQ(h.dialogs.shown[0].caption, "CAN-USB");
    EXPECT_FALSE(h.core().link.opened());
    EXPECT_EQ(h.driver().closeCalls(), 1);
    EXPECT_TRUE(h.app().Form1->FormCloseQuery());
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
