#pragma once
// The service test window: test mode, flow tests, EEPROM read-out and the pump reset. It also keeps
// the test-mode bookkeeping that the calibration, the purge, the installer and the close-down
// share.

#include <QLabel>
#include <cstdint>
#include <string>

#include "app/close_down.h"
#include "app/tool_window.h"
#include "pump/reply_decoder.h"

class ToolCore;

// The flow-test sequence; the numbers are the steps the reply decoder advances.
enum class FlowTestState : uint8_t {
    SettingValve = flow_test_step::kSettingValve,
    Starting = flow_test_step::kStarting,
    SettingFlow = flow_test_step::kSettingFlow,
    Running = flow_test_step::kRunning,
    Idle = flow_test_step::kIdle,
};
const char* toString(FlowTestState state);

class TfServiceTool : public ToolWindow, public ServiceTestControl {
    Q_OBJECT
  public:
    explicit TfServiceTool(ToolCore& core, QWidget* parent = nullptr);

    // ServiceTestControl
    int testModeLevel() const override { return testModeLevel_; }
    bool flowTestIdle() const override { return flowTestState == FlowTestState::Idle; }
    void stopPump() override;
    void resetPump() override;

    void setTestModeLevel(uint8_t level) { testModeLevel_ = level; }
    // Queues the request for the pump's test mode while it is in normal mode.
    void enterTestMode();
    void clearServiceDisplay();
    QLabel* statusLabel() const { return lStatus_; }

    FlowTestState flowTestState = FlowTestState::Idle;
    uint32_t flowSetting = 0;
    uint32_t appliedFlow = 1;

  private:
    void queueCommand(uint8_t code, uint32_t longArg = 0, uint16_t wordArg = 0,
                      uint8_t byteArg = 0);

    ToolCore& core_;
    uint8_t testModeLevel_ = 0;
    QLabel* lStatus_ = nullptr;
};
