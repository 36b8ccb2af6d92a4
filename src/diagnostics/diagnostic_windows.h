#pragma once
// The passive display windows: NOx sensors, OBD states, UDS error log, torque limiter.

#include <QLabel>
#include <QWidget>

#include "app/indicator.h"
#include "app/tool_window.h"

class TfNOxSensor : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfNOxSensor(QWidget* parent = nullptr);
    void clearNoxPumpDisplay() {}
    // A sensor's Address Claimed turns its indicator green.
    void sensorClaimed(bool upstream);
    QLabel* shUpstreamConnected = nullptr;
    QLabel* shDownstreamConnected = nullptr;
};

class TfOBD : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfOBD(QWidget* parent = nullptr)
        : ToolWindow("fOBD", "On Board Diagnostics", parent) {}
    void clearObdStates() {}
};

class TfUdsErrorLog : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfUdsErrorLog(QWidget* parent = nullptr);
    void clearErrorLogDisplay() {}
    void showVin(const QString& vin) { lVIN->setText(vin); }
    QLabel* lVIN = nullptr;
    QLabel* lSerial = nullptr;
};

class TfrmTorqueLimiter : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfrmTorqueLimiter(QWidget* parent = nullptr)
        : ToolWindow("frmTorqueLimiter", "Torque limiter", parent) {}
    void clearTorqueLimiterDisplay() {}
};
