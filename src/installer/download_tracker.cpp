#include "installer/download_tracker.h"

#include <algorithm>

void DownloadTracker::begin(std::vector<std::vector<uint8_t>> telegrams) {
    expected_.assign(std::make_move_iterator(telegrams.begin()),
                     std::make_move_iterator(telegrams.end()));
    skipped_ = false;
    state_ = expected_.empty() ? State::Complete : State::Pending;
}

void DownloadTracker::confirm(std::span<const uint8_t> telegram) {
    const auto it = std::find_if(expected_.begin(), expected_.end(), [&](const auto& t) {
        return std::equal(t.begin(), t.end(), telegram.begin(), telegram.end());
    });
    if (it == expected_.end()) {
        return;
    }
    if (it != expected_.begin()) {
        skipped_ = true;
    }
    expected_.erase(expected_.begin(), it + 1);
    if (expected_.empty()) {
        state_ = skipped_ ? State::Incomplete : State::Complete;
    }
}

const char* toString(DownloadTracker::State state) {
    switch (state) {
        case DownloadTracker::State::Idle:
            return "Idle";
        case DownloadTracker::State::Pending:
            return "Pending";
        case DownloadTracker::State::Complete:
            return "Complete";
        case DownloadTracker::State::Incomplete:
            return "Incomplete";
    }
    return "?";
}
