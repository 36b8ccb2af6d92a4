#pragma once
// The close-down sequence that runs every 100 ms once the operator has confirmed closing: stop a
// running test, wait for the purge, return the pump to normal mode and wait until its status pages
// say so, then stop the receive thread (whose end closes the main window).

#include <functional>
#include <string>

// The service window's test-mode bookkeeping that the close-down reads and drives.
class ServiceTestControl {
  public:
    virtual ~ServiceTestControl() = default;
    virtual int testModeLevel() const = 0;
    virtual bool flowTestIdle() const = 0;
    // A purge holds the dosing valve open; the close-down waits for it.
    virtual bool purgePending() const = 0;
    virtual void stopPump() = 0;
    virtual void resetPump() = 0;
    // Queues the request for the pump's test mode while it is in normal mode.
    virtual void enterTestMode() = 0;
    // The operator's hand is off every button: press-and-hold tests stop and switch their
    // actuators off (a tool that closes never sees the release).
    virtual void releaseHoldTests() = 0;
};

enum class CloseDownState {
    StopTest = 0,
    WaitPurge = 1,
    ResetPump = 2,
    WaitNormalMode = 3,
    Idle = 4,
    StopReceiving = 5
};
const char* toString(CloseDownState state);

class CloseDown {
  public:
    struct Hooks {
        std::function<void()> requestAllPages;
        std::function<bool()> stopRequested;
        // Sets the stop flag and wakes the receive thread.
        std::function<void()> stopReceiving;
        std::function<void(const std::string&)> showException;
        // Tells the operator something before the tool goes (a warning box).
        std::function<void(const std::string&)> warnOperator;
    };

    static constexpr int kMaxNormalModeWaits = 100;
    // Said when the pump has not confirmed normal mode by the end of the wait.
    static constexpr const char* kStillInTestMode =
        "The pump has not confirmed that it left 'Test Mode'.\nAll automatic SCR functionality "
        "stays bypassed until the pump is reset or powered off.";

    CloseDown(ServiceTestControl& service, Hooks hooks)
        : service_(service), hooks_(std::move(hooks)) {}

    // The tmrCloseDown tick.
    void tick();

    CloseDownState state() const { return closeDownState; }

  private:
    CloseDownState closeDownState = CloseDownState::StopTest;
    int closeDownCount = 0;
    bool handsReleased_ = false;
    ServiceTestControl& service_;
    Hooks hooks_;
};
