#pragma once
// What the application logic needs from the windows around it. The composition root implements it
// by forwarding to the main window and the secondary windows; tests implement it with recorders.

#include <string>

class ShellView {
  public:
    virtual ~ShellView() = default;
    // Both status labels (main window and service window).
    virtual void setStatus(const std::string& text) = 0;
    // The pump communication indicator: green when found, red when lost. The installer's two
    // download buttons follow it.
    virtual void setPumpCommunication(bool found) = 0;
    // Every pump read-out back to "?".
    virtual void clearPumpDisplay() = 0;
    // The pump is forgotten: the purge window closes (or the pending purge is dropped), the flow
    // test and the user calibration return to idle.
    virtual void resetWindowsPumpState() = 0;
    // A NOx sensor announced itself with Address Claimed.
    virtual void noxSensorClaimed(bool upstream) = 0;
    // The vehicle identification text arrived.
    virtual void showVin(const std::string& vin) = 0;
    // A failure caught at the boundary of an event handler or timer tick.
    virtual void showException(const std::string& text) = 0;
    // Activity indicators.
    virtual void rxStep() = 0;
    virtual void txStep() = 0;
    // The adapter library is ready: the scheduler timer starts.
    virtual void startScheduler() = 0;
    // The adapter library is missing: the application ends.
    virtual void terminateApplication() = 0;
    // The receive thread has ended: the main window closes.
    virtual void receiveThreadFinished() = 0;
};
