#include "app/close_down.h"

#include <exception>

const char* toString(CloseDownState state) {
    switch (state) {
        case CloseDownState::StopTest:
            return "StopTest";
        case CloseDownState::WaitPurge:
            return "WaitPurge";
        case CloseDownState::ResetPump:
            return "ResetPump";
        case CloseDownState::WaitNormalMode:
            return "WaitNormalMode";
        case CloseDownState::Idle:
            return "Idle";
        case CloseDownState::StopReceiving:
            return "StopReceiving";
    }
    return "?";
}

void CloseDown::tick() {
    try {
        if (!handsReleased_) {
            handsReleased_ = true;
            service_.releaseHoldTests();
        }
        if (service_.testModeLevel() == 0) {
            closeDownState = CloseDownState::StopReceiving;
        }
        switch (closeDownState) {
            case CloseDownState::StopTest:
                closeDownState = CloseDownState::WaitPurge;
                if (service_.purgePending() && !service_.flowTestIdle()) {
                    service_.stopPump();
                }
                break;
            case CloseDownState::WaitPurge:
                if (!service_.purgePending()) {
                    closeDownState = CloseDownState::ResetPump;
                }
                break;
            case CloseDownState::ResetPump:
                if (service_.testModeLevel() != 0) {
                    service_.resetPump();
                    closeDownCount = 0;
                    closeDownState = CloseDownState::WaitNormalMode;
                } else {
                    closeDownState = CloseDownState::StopReceiving;
                }
                break;
            case CloseDownState::WaitNormalMode:
                hooks_.requestAllPages();
                if (service_.testModeLevel() != 0) {
                    const int noted = closeDownCount++;
                    if (noted >= kMaxNormalModeWaits) {
                        // The operator must know that the pump stays bypassed.
                        if (hooks_.warnOperator) {
                            hooks_.warnOperator(kStillInTestMode);
                        }
                        closeDownState = CloseDownState::StopReceiving;
                    }
                } else {
                    closeDownState = CloseDownState::StopReceiving;
                }
                break;
            case CloseDownState::Idle:
                break;
            case CloseDownState::StopReceiving:
                if (!hooks_.stopRequested()) {
                    hooks_.stopReceiving();
                }
                break;
        }
    } catch (const std::exception& e) {
        hooks_.showException(e.what());
    }
}
