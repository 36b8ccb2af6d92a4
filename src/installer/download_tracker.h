#pragma once
// Which telegrams of the download in progress the pump has confirmed. A download counts as done
// only when its last telegram's echo has arrived and every telegram before it was confirmed too:
// an image 163 whose echo never came, or a write the pump never answered (the scheduler gives up
// without a word), leaves the download unconfirmed even if the later echoes match. Echoes of
// telegrams that belong to no tracked download (an earlier download still in the queue) are told
// apart, so they can neither end nor spoil the one in progress.

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

class DownloadTracker {
  public:
    enum class State {
        Idle,        // nothing tracked yet
        Pending,     // telegrams still to be confirmed
        Complete,    // the last one confirmed, and every one before it
        Incomplete,  // the last one confirmed, but an earlier one never was
    };

    // A new download: its telegrams in the order they are queued. Forgets the one before.
    void begin(std::vector<std::vector<uint8_t>> telegrams);
    State state() const { return state_; }
    // Nothing tracked, or the tracked download is done: a "downloaded" text may be shown.
    bool mayReportDone() const { return state_ == State::Idle || state_ == State::Complete; }

    // An accepted echo of `telegram` (compared whole). Telegrams between the last confirmed one
    // and this one were not confirmed: the download can no longer complete. An echo of none of
    // the download's telegrams changes nothing.
    void confirm(std::span<const uint8_t> telegram);

  private:
    std::deque<std::vector<uint8_t>> expected_;
    bool skipped_ = false;
    State state_ = State::Idle;
};

const char* toString(DownloadTracker::State state);
