#pragma once
// How the installer window reaches the user calibration, which belongs to the service family:
// "Special user calibration..." opens it (after ending a flow test that still runs, if the
// operator agrees).

class UserCalibrationOpener {
  public:
    virtual ~UserCalibrationOpener() = default;
    virtual void openUserCalibration() = 0;
};
