#pragma once
// Runs window timers on the test's hand-driven time instead of the event loop: each timer that is
// active has its handler called once its interval has passed since it was started, last fired or
// had its interval changed. A timer stopped and started again counts afresh. A timer first seen
// at the end of a step was started during it, and counts from the next step; a test that starts
// one itself (a button press) calls arm() to count from that moment.

#include <QTimer>
#include <functional>
#include <vector>

class TimerDriver {
  public:
    // `handler` is what the timer's timeout runs (the window's own operation).
    void add(QTimer* timer, std::function<void()> handler);
    // Lets `ms` pass, in steps of 10 ms.
    void advance(int ms);
    // Timers started since the last step count from now.
    void arm();
    // This timer was just started (again): it counts from now. Needed where it was stopped and
    // started between two steps, which its id may not show.
    void arm(QTimer* timer);

  private:
    struct Entry {
        QTimer* timer;
        std::function<void()> handler;
        int elapsedMs = 0;
        int timerId = -1;
        int intervalMs = 0;
    };
    void step(int ms);
    // True when the timer was started again or its interval changed since it was last seen.
    static bool restarted(const Entry& e);
    static void see(Entry& e);
    std::vector<Entry> entries_;
};
