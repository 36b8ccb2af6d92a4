#pragma once
// The two flags that cross between the main thread and the receive thread.

#include <atomic>

struct LinkFlags {
    // Set while the adapter library is not ready and again by the close-down; the receive thread
    // ends when it sees it.
    std::atomic<bool> stopRequested{true};
    // The adapter must be re-initialised; set by the receive thread and by the supervision.
    std::atomic<bool> linkLost{false};
};
