#pragma once
// The service test window: test mode, flow tests, EEPROM read-out and the pump reset. Its state
// and sequences belong to the service module; the window holds the controls.

#include <QLabel>
#include <QPushButton>

#include "app/tool_window.h"

class TfServiceTool : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfServiceTool(QWidget* parent = nullptr);

    // Read-outs that go back to "?" when the pump is lost.
    void clearServiceDisplay();
    QLabel* statusLabel() const { return lStatus_; }
    QPushButton* btReset = nullptr;

  private:
    QLabel* lStatus_ = nullptr;
};
