#pragma once
// The user calibration and purge windows.

#include <QLabel>
#include <cstdint>

#include "reply_decoder.h"
#include "tool_window.h"

class TfUserCalibration : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfUserCalibration(QWidget* parent = nullptr);
    uint8_t calibrationStep = user_calibration::kIdle;
    QLabel* lUserCalibration = nullptr;
};

class TfPurge : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfPurge(QWidget* parent = nullptr);
};
