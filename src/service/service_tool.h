#pragma once
// The service test window: test mode, flow tests, valve, heater and lamp tests, EEPROM read-out
// and the pump reset. Its state and sequences belong to the service module; the window holds the
// controls, built from tables, and tells the module about closing, page changes and a hand that
// may have left a press-and-hold button unseen.

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <functional>

#include "app/tool_window.h"

class TfServiceTool : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfServiceTool(QWidget* parent = nullptr);

    // Read-outs that go back to "?" when the pump is lost.
    void clearServiceDisplay();
    QLabel* statusLabel() const { return lStatus_; }
    // Shows or hides the "Heater test" tab.
    void setHeaterTabVisible(bool visible);
    bool heaterTabVisible() const;

    // Asked before the window closes and before another tab is shown; false refuses.
    std::function<bool()> closeQuery;
    // The window has closed.
    std::function<void()> onClosed;
    // The window was hidden or lost the mouse (a dialog came up): a button held down may be
    // released without the window seeing it.
    std::function<void()> onHandsOff;

    QTabWidget* pcService = nullptr;
    QWidget* tsHeater = nullptr;
    QPushButton* btReset = nullptr;
    QPushButton* btTestNozzleFlow = nullptr;
    QPushButton* btTestReturnFlow = nullptr;
    QPushButton* btStopPump = nullptr;
    QSlider* tbCapacity = nullptr;
    QLabel* lFlowTestDoseml = nullptr;
    QPushButton* btReadAllPROM = nullptr;
    QPushButton* btTestDosingValve = nullptr;
    QPushButton* btOpenDosingValve = nullptr;
    QPushButton* btCloseDosingValve = nullptr;
    QPushButton* btTestTankHeater = nullptr;
    QPushButton* btTestLineHeater = nullptr;
    QPushButton* btLamp3On = nullptr;
    QPushButton* btLamp3Off = nullptr;
    QPushButton* btLamp4On = nullptr;
    QPushButton* btLamp4Off = nullptr;
    QPushButton* btLamp3Test = nullptr;
    QPushButton* btLamp4Test = nullptr;

    QTimer* tmrFlowtestMonitor = nullptr;
    QTimer* tmrValveTest = nullptr;
    QTimer* tmrTankHeaterTest = nullptr;
    QTimer* tmrLineHeaterTest = nullptr;
    QTimer* tmrMI_Lamp = nullptr;
    QTimer* tmrUreaLamp = nullptr;
    // Watches an EEPROM read-out for a reply the scheduler stopped waiting for.
    QTimer* tmrEepromWatch = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // pcService's request to change the page, answered after the fact: a refused change goes
    // back to the page that was shown.
    void pcServiceChanging(int index);

    QLabel* lStatus_ = nullptr;
    int shownPage_ = 0;
    bool revertingPage_ = false;
};
