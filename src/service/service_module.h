#pragma once
// The service family: the service test window, the actuator tests, the user calibration and the
// purge. The module owns their state (test mode, flow test, press-and-hold tests, calibration
// step, purge, EEPROM read-out) and answers the replies that drive them; the windows only hold the
// controls. The close-down reaches it through ServiceTestControl, the installer through
// UserCalibrationOpener.
//
// Every timer handler is a public operation, so that a test drives time by calling it.

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

#include "app/close_down.h"
#include "app/tool_core.h"
#include "app/tool_module.h"
#include "app/user_calibration_opener.h"
#include "pump/reply_decoder.h"

class QPushButton;
class QTimer;
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

// Urea through the nozzle (valve open, the line purged afterwards) or back through the return
// line (valve closed).
enum class FlowTestKind { Nozzle, ReturnLine };
const char* toString(FlowTestKind kind);

// The five press-and-hold tests.
enum class HoldTest : uint8_t { DosingValve, TankHeater, LineHeater, MiLamp, UreaLamp };
const char* toString(HoldTest test);
inline constexpr int kHoldTestCount = 5;

// The user calibration's steps, as the reply decoder reads them.
enum class CalibrationStep : uint8_t {
    SettingValve = user_calibration::kSettingValve,
    Starting = user_calibration::kStarting,
    SettingFlow = user_calibration::kSettingFlow,
    Running = user_calibration::kRunning,
    Stopping = user_calibration::kStopping,
    Idle = user_calibration::kIdle,
};
const char* toString(CalibrationStep step);

// The three runs of a user calibration, by the button that starts them.
enum class CalibrationRun { Prime, Calibration, Verify };
// What ended a run: "Abort", "Prime OK" or the end of the 10-minute count-down.
enum class CalibrationEnd { Abort, PrimeOk, Countdown };

class ServiceModule : public QObject,
                      public ToolModule,
                      public ServiceTestControl,
                      public UserCalibrationOpener,
                      private ServiceReplies,
                      private CalibrationReplies,
                      private PageObserver {
    Q_OBJECT
  public:
    explicit ServiceModule(ToolCore& core);
    ~ServiceModule() override;

    // --- ServiceTestControl ---
    int testModeLevel() const override { return testModeLevel_; }
    bool flowTestIdle() const override { return flowTestState_ == FlowTestState::Idle; }
    bool purgePending() const override { return purgePending_; }
    // "Stop pump": code 4. A test still being set up goes no further; the pump's reply ends it.
    void stopPump() override;
    // "&Reset Pump": back to normal mode. Asked for while a purge holds the valve open, the reset
    // follows the purge.
    void resetPump() override;
    void releaseHoldTests() override;

    // --- Test mode and flow tests ---
    // Queues the request for the pump's test mode while it is in normal mode.
    void enterTestMode() override;
    // "Nozzle" and "Return line".
    void flowTestClicked(FlowTestKind kind);
    // tmrFlowtestMonitor, every 500 ms while enabled.
    void flowMonitorTick();
    // The question of a running test before another tab is shown or the window closes; true
    // allows.
    bool serviceCloseQuery();
    // The service window has closed: a pump left in test mode is asked about.
    void serviceWindowClosed();
    FlowTestState flowTest() const { return flowTestState_; }
    bool flowTestActive(FlowTestKind kind) const;
    uint32_t appliedFlow() const { return appliedFlow_; }

    // --- Valve, heater and lamp tests ---
    void holdPress(HoldTest test);
    void holdTick(HoldTest test);
    void holdRelease(HoldTest test);
    bool holdRunning(HoldTest test) const;
    uint8_t holdToggle(HoldTest test) const;
    // "Open" / "Close" of the dosing valve.
    void valveButton(bool open);
    // "Turn on" / "Turn off" of the MI lamp (0) or the urea lamp (1).
    void lampButton(int lamp, bool on);

    // --- EEPROM read-out ---
    // "Read E2PROM...".
    void readAllEeprom();
    // tmrEepromWatch: a read-out whose word the scheduler stopped waiting for ends.
    void eepromWatchTick();
    // The folder the save dialog starts in the first time (tests point it elsewhere).
    void setLogFolder(const QString& folder) { logFolder_ = folder; }
    QString logFolder() const { return logFolder_; }
    // "log" beside the executable when that folder is writable, else in the documents folder.
    static QString defaultLogFolder();
    bool eepromReadOutRunning() const { return readAllActive_; }

    // --- Purge ---
    void startPurge();
    // The purge window's Timer1.
    void purgeTick();
    // A click on the time left.
    void purgeTimeClicked();
    int purgeCountdown() const { return purgeCountdown_; }
    bool purgeShown() const { return purgeShown_; }

    // --- User calibration ---
    // UserCalibrationOpener: "Special user calibration...".
    void openUserCalibration() override;
    void calibrationStart(CalibrationRun run);
    void calibrationEnd(CalibrationEnd end);
    // The calibration window's Timer1, every second of a calibration or verification run.
    void calibrationTick();
    void downloadUserCalibration();
    void restoreDefaultUserCalibration();
    CalibrationStep calibration() const { return static_cast<CalibrationStep>(calibrationStep_); }
    int calibrationCountdown() const { return calibrationCountdown_; }

    // --- ToolModule ---
    QList<QWidget*> windows() const override;
    void bindMenu(ToolMenu& menu) override;
    void clearPumpDisplay() override;
    void pumpForgotten() override;
    QWidget* readoutWindow(ReadoutWindow window) const override;
    void attachReplies(ReplyRouter& router) override;

  private:
    struct Hold {
        QTimer* timer = nullptr;
        QPushButton* button = nullptr;
        uint8_t toggle = 1;
    };

    void connectServiceWindow();
    void connectCalibrationWindow();
    void connectPurgeWindow();

    void queueCommand(uint8_t code, uint32_t longArg = 0, uint16_t wordArg = 0,
                      uint8_t byteArg = 0);
    void queueBytes(uint8_t code, const std::array<uint8_t, 7>& bytes);
    void setValveReplyContext(ValveReplyContext context);
    void sendValveCommand(bool open);
    // A closing command at the end of a run, unless a purge holds the valve open and closes it
    // itself when it ends.
    void closeValveUnlessPurging();
    bool purgeUnderWay() const;
    // Queues the command of a press-and-hold test with the given phase.
    void sendHoldCommand(HoldTest test, uint8_t value);
    void sendLamps(int lamp, uint8_t value);
    void setFlowState(FlowTestState state) { flowTestState_ = state; }
    // The flow test back to Idle on screen: buttons enabled, active flags cleared.
    void flowTestIdleOnScreen();
    void giveUpValve();

    // Calibration.
    void showUserCalibrationWindow();
    void setInstruction(const char* text);
    // Enables only `only` (or every button when null).
    void enableCalibrationButtons(QPushButton* only = nullptr);
    void setStartButtonsEnabled(bool enabled);
    void finishCalibrationRun();
    void calibrationIdleOnScreen();
    bool calibrationCloseQuery();
    void calibrationClosed();
    void showCountdown();

    // Purge.
    void showPurgeWindow();
    bool purgeCloseQuery() const;
    void purgeClosed();

    // EEPROM.
    void endEepromReadOut(const char* status);

    // ServiceReplies
    void setTestModeLevel(uint8_t level) override { testModeLevel_ = level; }
    uint8_t flowTestState() const override { return static_cast<uint8_t>(flowTestState_); }
    uint32_t flowSetting() const override { return flowSetting_; }
    void advanceFlowTest(uint8_t step) override;
    uint8_t heaterUnderTest() const override { return heaterUnderTest_; }
    void setServiceLabel(std::string_view objectName, std::string_view text) override;
    std::string serviceLabelText(std::string_view objectName) const override;
    bool readAllActive() const override { return readAllActive_; }
    void setReadAllActive(bool active) override;
    std::string eepromDumpFileName() const override { return eepromDumpFileName_; }
    void sendEepromRead(uint32_t address) override;

    // CalibrationReplies
    uint8_t calibrationStep() const override { return calibrationStep_; }
    void userCalibrationStep(int step) override;
    std::string userCalibrationVolumeText() const override;
    void showUserCalibration(std::string_view text) override;

    // PageObserver: page 207 reports the pump's test mode, page 204 whether it has an external
    // heater.
    void onPage204(const Page204Result& page) override;
    void onPage207(const Page207Result& page) override;

    ToolCore& core_;
    TfServiceTool* service_;
    TfUserCalibration* calibration_;
    TfPurge* purge_;

    // Test mode and flow test.
    uint8_t testModeLevel_ = 0;
    FlowTestState flowTestState_ = FlowTestState::Idle;
    uint32_t flowSetting_ = 0;
    uint32_t appliedFlow_ = 1;
    bool nozzleActive_ = false;
    bool returnActive_ = false;
    int flowMonitorWaitCount_ = 0;
    // "Stop pump" was pressed while the test was still being set up or running.
    bool stopRequested_ = false;
    int valveRetries_ = 0;
    bool resetAfterPurge_ = false;

    // Press-and-hold tests.
    std::array<Hold, kHoldTestCount> holds_{};
    uint8_t valveToggle_ = 0;
    uint8_t heaterUnderTest_ = 2;

    // EEPROM read-out.
    bool readAllActive_ = false;
    std::string eepromDumpFileName_;
    QString logFolder_;
    QString dialogFolder_;
    // The word being read has gone out and its reply is awaited.
    bool eepromWordInFlight_ = false;

    // Purge.
    bool purgePending_ = false;
    int purgeCountdown_ = -1;
    bool purgeShown_ = false;

    // User calibration.
    uint8_t calibrationStep_ = user_calibration::kIdle;
    int calibrationCountdown_ = 0;
    bool primeActive_ = false;
    bool calibrationActive_ = false;
    bool verifyActive_ = false;
    bool abortEnded_ = false;
    bool primeOkEnded_ = false;
    bool countdownEnded_ = false;
};
