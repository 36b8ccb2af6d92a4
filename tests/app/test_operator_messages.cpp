// Operator messages and the status line.

#include <gtest/gtest.h>

#include "app/operator_messages.h"
#include "event_loop.h"
#include "frame_script.h"
#include "service/service_tool.h"
#include "tool_harness.h"

namespace {

TEST(OperatorMessages, NumberedTextsAreCompleted) {
    auto notDownloaded = [](int n) {
        return n == 2 ? std::string("Catalyst volume NOT downloaded") : std::string("other");
    };
    struct Case {
        int code, number;
        const char* text;
    } cases[] = {
        {20, 99, "Illegal command received: 99!"},
        {19, 0, "The pump does not support command: 0!"},
        {16, 2, "Error downloading Configuration! \nCatalyst volume NOT downloaded"},
        {4, 7, "Value NOT downloaded correctly"},
        {40, 0, "Temperature is out side valid range -40 - 120"},
        {41, 0, ""},
        {-1, 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(operatorMessageText(c.code, c.number, notDownloaded), c.text) << c.code;
    }
}

// A pump in service with a command out: the tool waits for its reply.
void awaitingAReply(ToolHarness& h) {
    h.start();
    h.pumpClaims(61);  // queues the all-pages request
    h.tick(5);
    ASSERT_TRUE(h.core().scheduler().awaitingReply());
    h.dialogs.shown.clear();
}

TEST(OperatorMessages, EveryMessageEndsTheWaitAndOnlyCodeZeroShowsNothing) {
    ToolHarness h;
    awaitingAReply(h);
    h.core().operatorMessage(0, 5);
    EXPECT_FALSE(h.core().scheduler().awaitingReply());
    EXPECT_TRUE(h.dialogs.shown.empty());

    h.core().sender().enqueueCommand(4, 0, 0, 0);
    h.tick(5);
    ASSERT_TRUE(h.core().scheduler().awaitingReply());
    h.core().setStatus("kept");
    h.core().operatorMessage(20, 99);
    EXPECT_FALSE(h.core().scheduler().awaitingReply());
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].text, "Illegal command received: 99!");
    EXPECT_EQ(h.dialogs.shown[0].icon, Dialogs::Icon::Error);
    EXPECT_EQ(h.status(), "kept") << "the status line is not changed by a message";
}

TEST(OperatorMessages, MessagesFromAHandOffComeAfterItInTheirOrder) {
    ToolHarness h;
    awaitingAReply(h);
    std::vector<AdapterFrame> batch = {
        script::adapterFrame(0x18EFF93D, {42, 0, 0, 0, 0, 0, 0, 254}),  // not supported
        script::adapterFrame(0x18EFF93D, {0, 0, 0, 0, 0, 0, 0, 2}),     // illegal
    };
    h.core().framesReceived(batch);
    EXPECT_TRUE(h.dialogs.shown.empty()) << "nothing is shown inside the hand-off";
    EXPECT_FALSE(h.core().scheduler().awaitingReply()) << "but the wait ends at once";
    h.core().handOffFinished();
    EXPECT_EQ(h.dialogs.texts(), (QStringList{"The pump does not support command: 42!",
                                              "Illegal command received: 2!"}));
}

TEST(OperatorMessages, AnOpenMessageBoxLetsTheReceivePathAndTheSupervisionRunOn) {
    // The receive thread runs for real here, on the recording adapter.
    ToolHarness h;
    awaitingAReply(h);
    bool vinArrived = false;
    bool pumpLost = false;
    h.dialogs.onMessage = [&] {
        // The box stays open for 8 s, during which the pump goes on talking.
        h.driver().queueFrame(script::adapterFrame(0x18FEEC3D, {'V', 'I', 'N'}));
        vinArrived = processEventsUntil([&] { return h.label("lVIN") == "VIN"; }, 5000);
        for (int t = 0; t < 800 && vinArrived; ++t) {
            if (t % 50 == 0) {
                h.driver().queueFrame(script::adapterFrame(0x18FEDA3D, {'1', '*'}));
                const int reads = h.driver().readCalls();
                processEventsUntil([&] { return h.driver().readCalls() > reads + 1; }, 5000);
            }
            h.tick();
            pumpLost = pumpLost || h.status() == "Pump not connected";
        }
    };
    h.driver().queueFrame(script::adapterFrame(0x18EFF93D, {0, 0, 0, 0, 0, 0, 0, 2}));
    ASSERT_TRUE(processEventsUntil([&] { return !h.dialogs.shown.empty(); }, 5000));
    EXPECT_EQ(h.dialogs.shown[0].text, "Illegal command received: 2!");
    EXPECT_TRUE(vinArrived) << "the receive thread was held while the box was open";
    EXPECT_FALSE(pumpLost);
}

TEST(StatusLine, BothLabelsShowTheSameTextEvenWhenEmpty) {
    ToolHarness h;
    EXPECT_EQ(h.status(), "?");
    h.core().setStatus("Pump connected");
    EXPECT_EQ(h.label("fServiceTool", "lStatus"), "Pump connected");
    h.core().setStatus("");
    EXPECT_EQ(h.status(), "");
    EXPECT_EQ(h.label("fServiceTool", "lStatus"), "");
}

}  // namespace
