#pragma once
// The user calibration and purge windows.

#include <QLabel>
#include <cstdint>

#include "app/tool_window.h"
#include "pump/reply_decoder.h"

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
