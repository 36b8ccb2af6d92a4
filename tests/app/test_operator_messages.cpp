// Operator messages and the status line.

#include <gtest/gtest.h>

#include "app/operator_messages.h"
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

TEST(OperatorMessages, EveryMessageEndsTheWaitAndOnlyCodeZeroShowsNothing) {
    ToolHarness h;
    h.dialogs.shown.clear();
    h.core().scheduler.awaitingReply = true;
    h.core().operatorMessage(0, 5);
    EXPECT_FALSE(h.core().scheduler.awaitingReply);
    EXPECT_TRUE(h.dialogs.shown.empty());

    h.core().scheduler.awaitingReply = true;
    h.app().setStatus("kept");
    h.core().operatorMessage(20, 99);
    EXPECT_FALSE(h.core().scheduler.awaitingReply);
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].text, "Illegal command received: 99!");
    EXPECT_EQ(h.dialogs.shown[0].icon, Dialogs::Icon::Error);
    EXPECT_EQ(h.status(), "kept") << "the status line is not changed by a message";
}

TEST(StatusLine, BothLabelsShowTheSameTextEvenWhenEmpty) {
    ToolHarness h;
    EXPECT_EQ(h.status(), "?");
    h.app().setStatus("Pump connected");
    EXPECT_EQ(h.app().fServiceTool->statusLabel()->text(), "Pump connected");
    h.app().setStatus("");
    EXPECT_EQ(h.status(), "");
    EXPECT_EQ(h.app().fServiceTool->statusLabel()->text(), "");
}

}  // namespace
