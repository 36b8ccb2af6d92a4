#pragma once
// Runs the Qt event loop of the test until a condition holds, bounded by a number of rounds and
// a deadline of a few seconds; never sleeps blindly.

#include <functional>

bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000);
