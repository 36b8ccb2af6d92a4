#pragma once
// The service family: the service test window, the user calibration and the purge. The module owns
// their state (test mode, flow test, calibration step, purge) and answers the replies that drive
// them. The close-down and the installer reach it through ServiceTestControl.

#include <QObject>
#include <cstdint>
#include <string>

#include "app/close_down.h"
#include "app/tool_core.h"
#include "app/tool_module.h"
#include "pump/reply_decoder.h"

class TfServiceTool;
class TfUserCalibration;
class TfPurge;

// The flow-test sequence; the numbers are the steps the reply decoder advances.
enum class FlowTestState : uint8_t {
    SettingValve = flow_test_step::kSettingValve,
    Starting = flow_test_step::kStarting,
    SettingFlow = flow_test_step::kSettingFlow,
    Running = flow_test_step::kRunning,
    Idle = flow_test_step::kIdle,
};
const char* toString(FlowTestState state);

class ServiceModule : public QObject,
                      public ToolModule,
                      public ServiceTestControl,
                      private ServiceReplies,
                      private CalibrationReplies,
                      private PageObserver {
    Q_OBJECT
  public:
    explicit ServiceModule(ToolCore& core);
    ~ServiceModule() override;

    // ServiceTestControl
    int testModeLevel() const override { return testModeLevel_; }
    bool flowTestIdle() const override { return flowTestState_ == FlowTestState::Idle; }
    bool purgePending() const override { return purgePending_; }
    void stopPump() override;
    void resetPump() override;

    void enterTestMode() override;
    FlowTestState flowTest() const { return flowTestState_; }

    // ToolModule
    QList<QWidget*> windows() const override;
    void bindMenu(ToolMenu& menu) override;
    void clearPumpDisplay() override;
    void pumpForgotten() override;
    QWidget* readoutWindow(ReadoutWindow window) const override;
    void attachReplies(ReplyRouter& router) override;

  private:
    void queueCommand(uint8_t code, uint32_t longArg = 0, uint16_t wordArg = 0,
                      uint8_t byteArg = 0);

    // ServiceReplies
    void setTestModeLevel(uint8_t level) override { testModeLevel_ = level; }
    uint8_t flowTestState() const override { return static_cast<uint8_t>(flowTestState_); }
    uint32_t flowSetting() const override { return flowSetting_; }
    void advanceFlowTest(uint8_t step) override;
    uint8_t heaterUnderTest() const override { return heaterUnderTest_; }
    void setServiceLabel(std::string_view objectName, std::string_view text) override;
    std::string serviceLabelText(std::string_view objectName) const override;
    bool readAllActive() const override { return readAllActive_; }
    void setReadAllActive(bool active) override { readAllActive_ = active; }
    std::string eepromDumpFileName() const override { return eepromDumpFileName_; }
    void sendEepromRead(uint32_t address) override;

    // CalibrationReplies
    uint8_t calibrationStep() const override { return calibrationStep_; }
    void userCalibrationStep(int step) override;
    std::string userCalibrationVolumeText() const override { return {}; }
    void showUserCalibration(std::string_view text) override;

    // PageObserver: page 207 reports the pump's test mode.
    void onPage207(const Page207Result& page) override;

    ToolCore& core_;
    TfServiceTool* service_;
    TfUserCalibration* calibration_;
    TfPurge* purge_;

    uint8_t testModeLevel_ = 0;
    FlowTestState flowTestState_ = FlowTestState::Idle;
    uint32_t flowSetting_ = 0;
    uint32_t appliedFlow_ = 1;
    uint8_t calibrationStep_ = user_calibration::kIdle;
    uint8_t heaterUnderTest_ = 2;
    bool purgePending_ = false;
    bool readAllActive_ = false;
    std::string eepromDumpFileName_;
};
