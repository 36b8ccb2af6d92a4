#pragma once
// What the scheduler and the connection supervision need from the windows around them. The shell
// implements it over the registered window families; tests implement it with recorders.

#include <string>
#include <string_view>

class ShellView {
  public:
    virtual ~ShellView() = default;
    // Both status labels (main window and service window).
    virtual void setStatus(std::string_view text) = 0;
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
    // A failure caught at the boundary of an event handler or timer tick.
    virtual void showException(const std::string& text) = 0;
    // Something the operator must know that no numbered operator message covers.
    virtual void notifyOperator(const std::string& text) = 0;
};
