#include "timer_driver.h"

void TimerDriver::add(QTimer* timer, std::function<void()> handler) {
    entries_.push_back({timer, std::move(handler)});
}

bool TimerDriver::restarted(const Entry& e) {
    return e.timer->timerId() != e.timerId || e.timer->interval() != e.intervalMs;
}

void TimerDriver::see(Entry& e) {
    e.timerId = e.timer->isActive() ? e.timer->timerId() : -1;
    e.intervalMs = e.timer->interval();
    e.elapsedMs = 0;
}

void TimerDriver::arm() {
    for (Entry& e : entries_) {
        if (e.timer->isActive() && restarted(e)) {
            see(e);
        }
    }
}

void TimerDriver::arm(QTimer* timer) {
    for (Entry& e : entries_) {
        if (e.timer == timer) {
            see(e);
        }
    }
}

void TimerDriver::advance(int ms) {
    for (int t = 0; t < ms; t += 10) {
        step(10);
    }
}

void TimerDriver::step(int ms) {
    for (Entry& e : entries_) {
        if (!e.timer->isActive()) {
            e.timerId = -1;
            continue;
        }
        if (restarted(e)) {
            see(e);  // started during this step: its period begins now
            continue;
        }
        e.elapsedMs += ms;
        if (e.elapsedMs >= e.intervalMs) {
            e.handler();
            // The handler may have stopped the timer, started it again or changed its interval.
            see(e);
        }
    }
}
