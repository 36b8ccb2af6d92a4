#pragma once
// The user calibration and purge windows.

#include <QLabel>

#include "app/tool_window.h"

class TfUserCalibration : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfUserCalibration(QWidget* parent = nullptr);
    QLabel* lUserCalibration = nullptr;
};

class TfPurge : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfPurge(QWidget* parent = nullptr);
};
