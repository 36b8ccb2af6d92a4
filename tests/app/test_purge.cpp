// The purge window on its own: the count-down, the close query, a pump that is not (or no
// longer) connected, and a click on the time left.

#include <gtest/gtest.h>

#include "service/secondary_windows.h"
#include "service/service_module.h"
#include "tool_harness.h"

namespace {

class PurgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        h.pumpClaims(61);
        h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 1});  // test mode
    }
    ServiceModule& s() { return h.app().service(); }
    TfPurge& w() { return *qobject_cast<TfPurge*>(h.app().window("fPurge")); }
    // The pump speaks for a second: the supervision counts it as connected.
    void connectPump() {
        for (int i = 0; i < 100; ++i) {
            h.tick();
            if (i % 50 == 0) {
                h.pumpSpeaks();
            }
        }
        ASSERT_TRUE(h.core().scheduler().pumpConnected());
    }
    // The valve commands queued since the last call: 1 open, 0 closed.
    std::vector<int> valveCommands() {
        std::vector<int> out;
        T_J1939_PROPERITARY_A t;
        while (h.core().queue().take(t)) {
            if (t.data[7] == 13) {
                out.push_back(t.data[6]);
            }
        }
        return out;
    }
    ToolHarness h;
};

TEST_F(PurgeTest, StartedWithoutThePumpItWaitsAndThenRunsItsFull29Seconds) {
    ASSERT_FALSE(h.core().scheduler().pumpConnected());
    s().startPurge();
    EXPECT_EQ(w().Timer1->interval(), 10);
    for (int i = 0; i < 5; ++i) {
        s().purgeTick();
        EXPECT_FALSE(s().purgeShown());
        EXPECT_EQ(s().purgeCountdown(), 0) << "1, then 0, which closes nothing";
    }
    EXPECT_EQ(valveCommands(), std::vector<int>{});
    connectPump();
    s().purgeTick();  // 0 -> -1
    EXPECT_FALSE(s().purgeShown());
    s().purgeTick();  // -1: shown
    ASSERT_TRUE(s().purgeShown());
    EXPECT_EQ(s().purgeCountdown(), 29);
    EXPECT_EQ(w().Timer1->interval(), 1000);
    EXPECT_EQ(w().lPurgeTime->text(), "30 sec");
    EXPECT_EQ(h.core().replyDecoder().valveReplyContext, uint8_t(ValveReplyContext::Manual));
    EXPECT_EQ(valveCommands(), std::vector<int>{1});
    int ticks = 0;
    while (s().purgeShown() && ticks < 40) {
        s().purgeTick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 29);
    EXPECT_EQ(valveCommands(), std::vector<int>{0});
    EXPECT_EQ(h.core().replyDecoder().valveReplyContext, uint8_t(ValveReplyContext::ExpectClosed));
    EXPECT_FALSE(w().Timer1->isActive());
}

TEST_F(PurgeTest, TheWindowStaysWhileThePumpIsConnectedAndClosesWhenItIsLost) {
    connectPump();
    s().startPurge();
    s().purgeTick();
    ASSERT_TRUE(s().purgeShown());
    valveCommands();
    s().purgeTick();
    EXPECT_EQ(w().lPurgeTime->text(), "28 sec");
    // The technician cannot close it early.
    w().show();
    w().close();
    EXPECT_TRUE(w().isVisible());
    w().reject();  // Escape
    EXPECT_TRUE(s().purgeShown());
    // A click on the time left opens the valve again; the count goes on.
    s().purgeTimeClicked();
    EXPECT_EQ(valveCommands(), std::vector<int>{1});
    EXPECT_EQ(w().lPurgeTime->text(), "30 sec");
    s().purgeTick();
    EXPECT_EQ(w().lPurgeTime->text(), "27 sec");
    // The pump falls silent: losing it closes the window, and the closing still closes the
    // valve.
    for (int i = 0; i < 800 && h.core().scheduler().pumpConnected(); ++i) {
        h.tick();
    }
    ASSERT_FALSE(h.core().scheduler().pumpConnected());
    EXPECT_FALSE(s().purgeShown());
    EXPECT_FALSE(w().isVisible());
    EXPECT_FALSE(s().purgePending());
    EXPECT_FALSE(w().Timer1->isActive());
    EXPECT_EQ(h.core().replyDecoder().valveReplyContext, uint8_t(ValveReplyContext::ExpectClosed));
}

}  // namespace
