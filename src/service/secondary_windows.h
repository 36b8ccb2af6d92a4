#pragma once
// The user calibration and purge windows.

#include <QLabel>
#include <cstdint>

#include "tool_window.h"


class TfUserCalibration : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfUserCalibration(QWidget* parent = nullptr);
    uint8_t calibrationStep = 5;  // Idle
    QLabel* lUserCalibration = nullptr;
};

class TfPurge : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfPurge(QWidget* parent = nullptr);
};
