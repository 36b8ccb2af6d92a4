// When a download counts as done: every telegram confirmed, in order, the last one last.

#include <gtest/gtest.h>

#include "installer/download_tracker.h"

namespace {

using T = std::vector<uint8_t>;
using S = DownloadTracker::State;

TEST(DownloadTracker, DoneOnlyWhenEveryTelegramWasConfirmed) {
    const T a{1, 0, 5}, b{2, 0, 6}, c{3, 0, 7}, stray{14, 0, 0};
    const struct {
        const char* name;
        std::vector<T> echoes;
        S state;
    } cases[] = {
        {"all in order", {a, b, c}, S::Complete},
        {"the last still to come", {a, b}, S::Pending},
        {"the first never confirmed", {b, c}, S::Incomplete},
        {"one in the middle never confirmed", {a, c}, S::Incomplete},
        {"echoes of another download change nothing", {stray, a, stray, b, c}, S::Complete},
        {"a repeated echo changes nothing", {a, a, b, c, c}, S::Complete},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        DownloadTracker tracker;
        EXPECT_TRUE(tracker.mayReportDone());  // nothing tracked
        tracker.begin({a, b, c});
        EXPECT_FALSE(tracker.mayReportDone());
        for (const T& echo : k.echoes) {
            tracker.confirm(echo);
        }
        EXPECT_EQ(tracker.state(), k.state) << toString(tracker.state());
        EXPECT_EQ(tracker.mayReportDone(), k.state == S::Complete);
    }
}

TEST(DownloadTracker, ANewDownloadForgetsTheOneBefore) {
    DownloadTracker tracker;
    tracker.begin({{1}, {2}});
    tracker.confirm(T{2});  // the first was skipped
    ASSERT_EQ(tracker.state(), S::Incomplete);
    tracker.begin({{3}});
    EXPECT_EQ(tracker.state(), S::Pending);
    tracker.confirm(T{3});
    EXPECT_EQ(tracker.state(), S::Complete);
}

}  // namespace
