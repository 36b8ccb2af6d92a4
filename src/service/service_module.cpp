#include "service/service_module.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTimer>

#include "pump/number_format.h"
#include "pump/service_codes.h"
#include "service/secondary_windows.h"
#include "service/service_layout.h"
#include "service/service_tool.h"

namespace {

// The instruction texts of the user calibration, by situation.
namespace instruction {
constexpr const char* kWindowShown =
    "Place a bucket of demineralized water on the scale and put the suction line into the "
    "water. \nPress Start Prime to remove all air bubbles in the suction line.";
constexpr const char* kPrimingStarted =
    "Let the pump prime until there is no air bubbles in the suction line then press Prime OK.";
constexpr const char* kPrimingEnded =
    "Make sure that there is at least 1.5l of water in the bucket, then reset the scale and press "
    "Start Calibration or Verify Calibration.";
constexpr const char* kCalibrationStarted =
    "The pump will now run for 10 minutes please wait. \nPress Abort if you want to abort "
    "calibration.";
constexpr const char* kVerificationStarted =
    "The pump will now run for 10 minutes please wait. \nPress Abort to stop the pump.";
constexpr const char* kCalibrationAborted = "Calibration aborted.";
constexpr const char* kVerificationAborted = "Verify aborted.";
constexpr const char* kCalibrationCompleted =
    "Calibration completed. \nEnter the mass of water that has been pumped in the text field New "
    "Value and press Download user calibration";
constexpr const char* kVerificationCompleted =
    "Verify complete. \nIf the pump has pumped 1000g (+/- 10g) of water the calibration is "
    "correct, otherwise you should perform the calibration again";
constexpr const char* kCalibrationStored =
    "Calibration factor changed! \nTo verify the calibration refill the bucket, reset the scale "
    "and press Verify Calibration.";
}  // namespace instruction

constexpr const char* kEndNozzleTest = "Do you want to end nozzle flow test?";
constexpr const char* kEndReturnTest = "Do you want to end return line flow test?";
constexpr const char* kStayInTestMode =
    "The pump is currently in 'Test Mode'.\nPlease note that all automatic SCR\nfunctionality is "
    "bypassed in 'Test Mode'.\n\nShall the pump stay in 'Test Mode'?";
constexpr const char* kAbortCalibration = "Do you want to abort calbration?";

QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// "9:59": minutes without a leading zero, seconds with two digits.
QString minutesSeconds(int seconds) {
    const int s = std::max(0, seconds);
    return QString("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
}

}  // namespace

const char* toString(FlowTestState state) {
    switch (state) {
        case FlowTestState::SettingValve:
            return "SettingValve";
        case FlowTestState::Starting:
            return "Starting";
        case FlowTestState::SettingFlow:
            return "SettingFlow";
        case FlowTestState::Running:
            return "Running";
        case FlowTestState::Idle:
            return "Idle";
    }
    return "?";
}

const char* toString(FlowTestKind kind) {
    return kind == FlowTestKind::Nozzle ? "Nozzle" : "ReturnLine";
}

const char* toString(HoldTest test) {
    switch (test) {
        case HoldTest::DosingValve:
            return "DosingValve";
        case HoldTest::TankHeater:
            return "TankHeater";
        case HoldTest::LineHeater:
            return "LineHeater";
        case HoldTest::MiLamp:
            return "MiLamp";
        case HoldTest::UreaLamp:
            return "UreaLamp";
    }
    return "?";
}

const char* toString(CalibrationStep step) {
    switch (step) {
        case CalibrationStep::SettingValve:
            return "SettingValve";
        case CalibrationStep::Starting:
            return "Starting";
        case CalibrationStep::SettingFlow:
            return "SettingFlow";
        case CalibrationStep::Running:
            return "Running";
        case CalibrationStep::Stopping:
            return "Stopping";
        case CalibrationStep::Idle:
            return "Idle";
    }
    return "?";
}

ServiceModule::ServiceModule(ToolCore& core)
    : core_(core),
      service_(new TfServiceTool),
      calibration_(new TfUserCalibration),
      purge_(new TfPurge),
      logFolder_(defaultLogFolder()) {
    for (QWidget* w : windows()) {
        w->setAttribute(Qt::WA_QuitOnClose, false);
    }
    connectServiceWindow();
    connectCalibrationWindow();
    connectPurgeWindow();
}

ServiceModule::~ServiceModule() {
    delete purge_;
    delete calibration_;
    delete service_;
}

QString ServiceModule::defaultLogFolder() {
    const QString beside = QCoreApplication::applicationDirPath();
    if (!beside.isEmpty() && ::access(QFile::encodeName(beside).constData(), W_OK) == 0) {
        return QDir(beside).filePath(eeprom_readout::kLogFolder);
    }
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(eeprom_readout::kLogFolder);
}

void ServiceModule::connectServiceWindow() {
    TfServiceTool& w = *service_;
    connect(w.btReset, &QPushButton::clicked, this, [this] { resetPump(); });
    connect(w.btTestNozzleFlow, &QPushButton::clicked, this,
            [this] { flowTestClicked(FlowTestKind::Nozzle); });
    connect(w.btTestReturnFlow, &QPushButton::clicked, this,
            [this] { flowTestClicked(FlowTestKind::ReturnLine); });
    connect(w.btStopPump, &QPushButton::clicked, this, [this] { stopPump(); });
    connect(w.btReadAllPROM, &QPushButton::clicked, this, [this] { readAllEeprom(); });
    connect(w.btOpenDosingValve, &QPushButton::clicked, this, [this] { valveButton(true); });
    connect(w.btCloseDosingValve, &QPushButton::clicked, this, [this] { valveButton(false); });
    connect(w.btLamp3On, &QPushButton::clicked, this,
            [this] { lampButton(output_test::kMiLamp, true); });
    connect(w.btLamp3Off, &QPushButton::clicked, this,
            [this] { lampButton(output_test::kMiLamp, false); });
    connect(w.btLamp4On, &QPushButton::clicked, this,
            [this] { lampButton(output_test::kUreaLamp, true); });
    connect(w.btLamp4Off, &QPushButton::clicked, this,
            [this] { lampButton(output_test::kUreaLamp, false); });
    connect(w.tmrFlowtestMonitor, &QTimer::timeout, this, [this] { flowMonitorTick(); });
    connect(w.tmrEepromWatch, &QTimer::timeout, this, [this] { eepromWatchTick(); });

    struct HoldWiring {
        HoldTest test;
        QPushButton* button;
        QTimer* timer;
    };
    const HoldWiring holds[] = {
        {HoldTest::DosingValve, w.btTestDosingValve, w.tmrValveTest},
        {HoldTest::TankHeater, w.btTestTankHeater, w.tmrTankHeaterTest},
        {HoldTest::LineHeater, w.btTestLineHeater, w.tmrLineHeaterTest},
        {HoldTest::MiLamp, w.btLamp3Test, w.tmrMI_Lamp},
        {HoldTest::UreaLamp, w.btLamp4Test, w.tmrUreaLamp},
    };
    for (const HoldWiring& h : holds) {
        Hold& hold = holds_[static_cast<int>(h.test)];
        hold.button = h.button;
        hold.timer = h.timer;
        const HoldTest test = h.test;
        connect(h.button, &QPushButton::pressed, this, [this, test] { holdPress(test); });
        connect(h.button, &QPushButton::released, this, [this, test] { holdRelease(test); });
        connect(h.timer, &QTimer::timeout, this, [this, test] { holdTick(test); });
    }

    // The read-out shows the trackbar's initial flow.
    w.lFlowTestDoseml->setText(QString::fromStdString(
        formatFixed(w.tbCapacity->value() / 10.0, 2, DisplayFormat::system())));
    w.closeQuery = [this] { return serviceCloseQuery(); };
    w.onClosed = [this] { serviceWindowClosed(); };
    w.onHandsOff = [this] { releaseHoldTests(); };
}

void ServiceModule::connectCalibrationWindow() {
    TfUserCalibration& w = *calibration_;
    connect(w.btStartPrime, &QPushButton::clicked, this,
            [this] { calibrationStart(CalibrationRun::Prime); });
    connect(w.btStartPump, &QPushButton::clicked, this,
            [this] { calibrationStart(CalibrationRun::Calibration); });
    connect(w.btVerify, &QPushButton::clicked, this,
            [this] { calibrationStart(CalibrationRun::Verify); });
    connect(w.btStopPump, &QPushButton::clicked, this,
            [this] { calibrationEnd(CalibrationEnd::Abort); });
    connect(w.btPrimeOK, &QPushButton::clicked, this,
            [this] { calibrationEnd(CalibrationEnd::PrimeOk); });
    connect(w.btDlUserCalib, &QPushButton::clicked, this, [this] { downloadUserCalibration(); });
    connect(w.btRestoreDefaultUserCalib, &QPushButton::clicked, this,
            [this] { restoreDefaultUserCalibration(); });
    connect(w.Timer1, &QTimer::timeout, this, [this] { calibrationTick(); });
    w.closeQuery = [this] { return calibrationCloseQuery(); };
    w.onClosed = [this] { calibrationClosed(); };
}

void ServiceModule::connectPurgeWindow() {
    connect(purge_->Timer1, &QTimer::timeout, this, [this] { purgeTick(); });
    purge_->closeQuery = [this] { return purgeCloseQuery(); };
    purge_->onClosed = [this] { purgeClosed(); };
    purge_->onTimeClicked = [this] { purgeTimeClicked(); };
}

QList<QWidget*> ServiceModule::windows() const {
    return {service_, calibration_, purge_};
}

void ServiceModule::bindMenu(ToolMenu& menu) {
    menu.bindToggle("Service1", service_);
}

void ServiceModule::clearPumpDisplay() {
    calibration_->lUserCalibration->setText("?");
    service_->clearServiceDisplay();
}

void ServiceModule::pumpForgotten() {
    // Nothing here sends a command of the sequences: the pump is gone. Switching off what a
    // held button had on is the exception: a pump that comes back must not keep it on.
    resetAfterPurge_ = false;
    releaseHoldTests();
    if (purgeShown_) {
        purge_->closeWithResult(QDialog::Accepted);
    } else {
        purgePending_ = false;
        purge_->Timer1->stop();
    }
    flowTestState_ = FlowTestState::Idle;
    flowTestIdleOnScreen();
    calibrationIdleOnScreen();
    if (readAllActive_) {
        endEepromReadOut("EEPROM data NOT read");
    }
}

QWidget* ServiceModule::readoutWindow(ReadoutWindow window) const {
    switch (window) {
        case ReadoutWindow::ServiceTest:
            return service_;
        case ReadoutWindow::UserCalibration:
            return calibration_;
        default:
            return nullptr;
    }
}

void ServiceModule::attachReplies(ReplyRouter& router) {
    router.attach(static_cast<ServiceReplies&>(*this));
    router.attach(static_cast<CalibrationReplies&>(*this));
    router.addPageObserver(*this);
    router.addStatusLabel(service_->statusLabel(), false);
}

// --- Commands ---

void ServiceModule::queueCommand(uint8_t code, uint32_t longArg, uint16_t wordArg,
                                 uint8_t byteArg) {
    core_.sender().enqueueCommand(code, longArg, wordArg, byteArg);
    core_.setStatus("-");
}

void ServiceModule::queueBytes(uint8_t code, const std::array<uint8_t, 7>& bytes) {
    uint8_t block[kTelegramCapacity] = {};
    std::copy(bytes.begin(), bytes.end(), block);
    block[7] = code;
    core_.sender().enqueueTelegram(block, service_length::kShortTelegram);
    core_.setStatus("-");
}

void ServiceModule::setValveReplyContext(ValveReplyContext context) {
    core_.replyDecoder().valveReplyContext = static_cast<uint8_t>(context);
}

void ServiceModule::sendValveCommand(bool open) {
    queueCommand(service_code::kSetDosingValve, 0, 0,
                 open ? service_arg::kValveOpen : service_arg::kValveClosed);
}

bool ServiceModule::purgeUnderWay() const {
    return purgeShown_ || purge_->Timer1->isActive();
}

void ServiceModule::closeValveUnlessPurging() {
    if (purgeUnderWay()) {
        return;
    }
    setValveReplyContext(ValveReplyContext::ExpectClosed);
    sendValveCommand(false);
}

void ServiceModule::enterTestMode() {
    if (testModeLevel_ != 0) {
        return;
    }
    // Older pump software wants all three arguments at 1.
    const uint8_t arg = core_.scheduler().pumpSoftwareVersion().customerAccess() ? 0 : 1;
    queueCommand(service_code::kEnterTestMode, arg, arg, arg);
}

void ServiceModule::resetPump() {
    // Normal mode would take the valve from the purge: the reset follows the purge, also one
    // that comes with the end of a nozzle test still running.
    if (purgeUnderWay() || (purgePending_ && flowTestState_ != FlowTestState::Idle)) {
        resetAfterPurge_ = true;
        return;
    }
    enterTestMode();
    queueCommand(service_code::kResetPump);
}

// --- Flow tests ---

bool ServiceModule::flowTestActive(FlowTestKind kind) const {
    return kind == FlowTestKind::Nozzle ? nozzleActive_ : returnActive_;
}

void ServiceModule::flowTestClicked(FlowTestKind kind) {
    enterTestMode();
    service_->tmrFlowtestMonitor->start();
    bool& active = kind == FlowTestKind::Nozzle ? nozzleActive_ : returnActive_;
    if (active) {
        return;
    }
    if (flowTestState_ == FlowTestState::Idle) {
        active = true;
        service_->btReset->setEnabled(false);
        service_->btTestDosingValve->setEnabled(false);
        stopRequested_ = false;
        valveRetries_ = 0;
        flowMonitorWaitCount_ = 0;
        advanceFlowTest(flow_test_step::kSettingValve);
        return;
    }
    // Another test is in progress: the running test's question; Yes stops it.
    serviceCloseQuery();
}

bool ServiceModule::serviceCloseQuery() {
    if (flowTestState_ == FlowTestState::Idle) {
        return true;
    }
    if (!core_.dialogs().askYesNo(nozzleActive_ ? kEndNozzleTest : kEndReturnTest, "Warning",
                                  Dialogs::Icon::Warning)) {
        return false;
    }
    stopPump();
    return true;
}

void ServiceModule::serviceWindowClosed() {
    releaseHoldTests();
    if (testModeLevel_ != 0 &&
        !core_.dialogs().askYesNo(kStayInTestMode, "Confirm", Dialogs::Icon::Question)) {
        resetPump();
    }
}

void ServiceModule::stopPump() {
    queueCommand(service_code::kStopPump);
    appliedFlow_ = flowSetting_ == 0 ? flow_test::kNoFlowApplied : 0;
    if (flowTestState_ == FlowTestState::Idle) {
        service_->tmrFlowtestMonitor->stop();
        return;
    }
    // The sequence goes no further: the reply already on its way must not start the pump or set
    // its flow after the 4. The test now only waits for the pump's reply 4, which ends it.
    stopRequested_ = true;
    switch (flowTestState_) {
        case FlowTestState::SettingValve:
        case FlowTestState::Starting:
            flowTestState_ = FlowTestState::Running;
            service_->tmrFlowtestMonitor->stop();
            break;
        case FlowTestState::SettingFlow:
            // The flow echo on its way is still taken (it moves the test to Running); should it
            // never come, the monitor moves the test on as it always does.
            break;
        default:
            service_->tmrFlowtestMonitor->stop();
            break;
    }
}

void ServiceModule::giveUpValve() {
    // A valve that keeps answering the wrong state would keep the command lane busy for ever.
    core_.operatorMessage(service_message::kValueNotDownloaded);
    advanceFlowTest(flow_test_step::kIdle);
}

void ServiceModule::advanceFlowTest(uint8_t step) {
    using namespace flow_test_step;
    if (stopRequested_ && step != kIdle && step != kRunning) {
        flowTestState_ = FlowTestState::Running;
        return;
    }
    switch (step) {
        case kSettingValve:
            if (flowTestState_ == FlowTestState::SettingValve &&
                ++valveRetries_ > flow_test::kValveRetryLimit) {
                giveUpValve();
                return;
            }
            if (returnActive_) {
                sendValveCommand(false);
                setValveReplyContext(ValveReplyContext::ExpectClosed);
                flowTestState_ = FlowTestState::SettingValve;
            } else if (nozzleActive_) {
                sendValveCommand(true);
                setValveReplyContext(ValveReplyContext::ExpectOpen);
                flowTestState_ = FlowTestState::SettingValve;
                purgePending_ = true;
            }
            break;
        case kStarting:
            if (nozzleActive_ || returnActive_) {
                queueCommand(service_code::kStartPump);
                flowTestState_ = FlowTestState::Starting;
            }
            break;
        case kSettingFlow:
            queueCommand(service_code::kSetFlow, flowSetting_);
            flowTestState_ = FlowTestState::SettingFlow;
            break;
        case kRunning:
            flowTestState_ = FlowTestState::Running;
            break;
        case kIdle:
            if (purgePending_) {
                // The purge opens the valve and closes it when it ends.
                startPurge();
            } else {
                closeValveUnlessPurging();
            }
            flowTestState_ = FlowTestState::Idle;
            flowTestIdleOnScreen();
            break;
        default:
            break;
    }
}

void ServiceModule::flowTestIdleOnScreen() {
    service_->btReset->setEnabled(true);
    service_->btTestDosingValve->setEnabled(true);
    service_->tbCapacity->setEnabled(true);
    service_->tmrFlowtestMonitor->stop();
    nozzleActive_ = false;
    returnActive_ = false;
    stopRequested_ = false;
    valveRetries_ = 0;
}

void ServiceModule::flowMonitorTick() {
    if (flowTestState_ == FlowTestState::SettingFlow &&
        ++flowMonitorWaitCount_ > flow_test::kFlowEchoWaitTicks) {
        // The flow echo has not come: the test counts as running.
        flowMonitorWaitCount_ = 0;
        flowTestState_ = FlowTestState::Running;
    }
    if (flowTestState_ != FlowTestState::Running) {
        return;
    }
    if (stopRequested_) {
        service_->tmrFlowtestMonitor->stop();
        return;
    }
    const int position = service_->tbCapacity->value();
    const uint32_t flow = static_cast<uint32_t>(position) * flow_test::kTrackbarToFlow;
    if (flow == appliedFlow_) {
        return;
    }
    flowMonitorWaitCount_ = 0;
    service_->lFlowTestDoseml->setText(
        QString::fromStdString(formatFixed(position / 10.0, 2, DisplayFormat::system())));
    flowSetting_ = flow;
    appliedFlow_ = flow;
    advanceFlowTest(flow_test_step::kSettingFlow);
}

// --- Valve, heater and lamp tests ---

bool ServiceModule::holdRunning(HoldTest test) const {
    return holds_[static_cast<int>(test)].timer->isActive();
}

uint8_t ServiceModule::holdToggle(HoldTest test) const {
    return test == HoldTest::DosingValve ? valveToggle_ : holds_[static_cast<int>(test)].toggle;
}

void ServiceModule::sendLamps(int lamp, uint8_t value) {
    enterTestMode();
    // One lamp a command; the other three outputs are not addressed.
    std::array<uint8_t, 7> bytes{};
    for (int i = 0; i < output_test::kLampBytes; ++i) {
        bytes[i] = output_test::kNotAddressed;
    }
    bytes[lamp] = value;
    queueBytes(service_code::kLampOutputs, bytes);
}

void ServiceModule::sendHoldCommand(HoldTest test, uint8_t value) {
    using namespace output_test;
    switch (test) {
        case HoldTest::DosingValve:
            sendValveCommand(value != 0);
            break;
        case HoldTest::TankHeater:
            queueBytes(service_code::kHeaterOutputs, {value, kNotAddressed});
            break;
        case HoldTest::LineHeater:
            queueBytes(service_code::kHeaterOutputs, {kNotAddressed, value});
            break;
        case HoldTest::MiLamp:
            sendLamps(kMiLamp, value);
            break;
        case HoldTest::UreaLamp:
            sendLamps(kUreaLamp, value);
            break;
    }
}

void ServiceModule::holdPress(HoldTest test) {
    Hold& hold = holds_[static_cast<int>(test)];
    switch (test) {
        case HoldTest::DosingValve:
            enterTestMode();
            if (flowTestState_ == FlowTestState::Running) {
                return;
            }
            setValveReplyContext(ValveReplyContext::Manual);
            if (hold.timer->isActive()) {
                return;
            }
            // valveToggle keeps its phase from the last test.
            hold.timer->start();
            sendValveCommand(true);
            return;
        case HoldTest::TankHeater:
        case HoldTest::LineHeater:
            enterTestMode();
            if (hold.timer->isActive()) {
                return;
            }
            hold.toggle = output_test::kOn;
            queueCommand(service_code::kHeaterTest, 0, 0, service_arg::kHeaterTestBegin);
            heaterUnderTest_ =
                test == HoldTest::TankHeater ? output_test::kTankHeater : output_test::kLineHeater;
            hold.timer->start();
            sendHoldCommand(test, output_test::kOn);
            return;
        case HoldTest::MiLamp:
        case HoldTest::UreaLamp:
            if (hold.timer->isActive()) {
                return;
            }
            hold.toggle = output_test::kOn;
            hold.timer->start();
            sendHoldCommand(test, output_test::kOn);
            return;
    }
}

void ServiceModule::holdTick(HoldTest test) {
    Hold& hold = holds_[static_cast<int>(test)];
    if (!hold.timer->isActive()) {
        return;
    }
    uint8_t& toggle = test == HoldTest::DosingValve ? valveToggle_ : hold.toggle;
    toggle = toggle == output_test::kOn ? output_test::kOff : output_test::kOn;
    sendHoldCommand(test, toggle);
}

void ServiceModule::holdRelease(HoldTest test) {
    Hold& hold = holds_[static_cast<int>(test)];
    if (test == HoldTest::DosingValve && flowTestState_ == FlowTestState::Running) {
        return;
    }
    if (!hold.timer->isActive()) {
        return;
    }
    hold.timer->stop();
    sendHoldCommand(test, output_test::kOff);
    switch (test) {
        case HoldTest::TankHeater:
        case HoldTest::LineHeater:
            queueCommand(service_code::kHeaterTest, 0, 0, service_arg::kHeaterTestEnd);
            break;
        case HoldTest::MiLamp:
        case HoldTest::UreaLamp:
            hold.toggle = output_test::kOff;
            break;
        case HoldTest::DosingValve:
            break;
    }
}

void ServiceModule::releaseHoldTests() {
    for (int i = 0; i < kHoldTestCount; ++i) {
        const auto test = static_cast<HoldTest>(i);
        if (holdRunning(test)) {
            holdRelease(test);
            // A valve test cannot outlive its button either, whatever the flow test does.
            if (holdRunning(test)) {
                holds_[i].timer->stop();
                sendHoldCommand(test, output_test::kOff);
            }
        }
    }
}

void ServiceModule::valveButton(bool open) {
    if (flowTestState_ == FlowTestState::Running) {
        return;
    }
    enterTestMode();
    setValveReplyContext(ValveReplyContext::Manual);
    sendValveCommand(open);
}

void ServiceModule::lampButton(int lamp, bool on) {
    sendLamps(lamp, on ? output_test::kOn : output_test::kOff);
}

void ServiceModule::onPage204(const Page204Result& page) {
    if (heaterUnderTest_ == output_test::kHeaterNone && page.externalHeaterPresent) {
        service_->setHeaterTabVisible(*page.externalHeaterPresent);
    }
}

void ServiceModule::onPage207(const Page207Result& page) {
    if (page.testModeLevel) {
        testModeLevel_ = *page.testModeLevel;
    }
}

// --- EEPROM read-out ---

void ServiceModule::readAllEeprom() {
    Dialogs& dialogs = core_.dialogs();
    if (dialogFolder_.isEmpty()) {
        if (!QDir().mkpath(logFolder_)) {
            dialogs.message("Cannot create", QDir::toNativeSeparators(logFolder_),
                            Dialogs::Icon::Error);
            return;
        }
        dialogFolder_ = logFolder_;
    }
    QString name =
        dialogs.saveFileName("Save EEPROM data", eeprom_readout::kFilter,
                             QDir(dialogFolder_).filePath(eeprom_readout::kDumpFileName));
    if (name.isEmpty()) {
        // Cancelled: a read-out already running goes on into its own file.
        return;
    }
    if (QFileInfo(name).suffix().isEmpty()) {
        name += QString(".") + eeprom_readout::kDefaultSuffix;
    }
    // The file is created empty now, so that a file that cannot be written is known before
    // anything is asked of the pump.
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        dialogs.message(
            QString("Cannot create the EEPROM dump file\n%1").arg(QDir::toNativeSeparators(name)),
            "EEPROM", Dialogs::Icon::Error);
        return;
    }
    file.close();
    dialogFolder_ = QFileInfo(name).absolutePath();

    enterTestMode();
    eepromDumpFileName_ = QFile::encodeName(QFileInfo(name).absoluteFilePath()).toStdString();
    core_.replyDecoder().eepromMismatchCount = 0;
    setServiceLabel("lEEPROMReadAdr", "0");
    readAllActive_ = true;
    eepromWordInFlight_ = false;
    queueCommand(service_code::kReadEepromWord, 0);
    service_->tmrEepromWatch->start();
}

void ServiceModule::sendEepromRead(uint32_t address) {
    eepromWordInFlight_ = false;
    core_.sender().enqueueCommand(service_code::kReadEepromWord, address, 0, 0);
}

void ServiceModule::setReadAllActive(bool active) {
    readAllActive_ = active;
    if (!active) {
        service_->tmrEepromWatch->stop();
        eepromWordInFlight_ = false;
    }
}

void ServiceModule::endEepromReadOut(const char* status) {
    setReadAllActive(false);
    core_.setStatus(status);
}

void ServiceModule::eepromWatchTick() {
    if (!readAllActive_) {
        service_->tmrEepromWatch->stop();
        return;
    }
    // The word being read is the one the address read-out shows.
    const auto address = parseInteger(serviceLabelText("lEEPROMReadAdr"));
    const PumpConnection& scheduler = core_.scheduler();
    const uint8_t* sent = scheduler.lastSentTelegram();
    const uint32_t sentAddress = uint32_t(sent[0]) | uint32_t(sent[1]) << 8 |
                                 uint32_t(sent[2]) << 16 | uint32_t(sent[3]) << 24;
    const bool ours = address && sent[7] == service_code::kReadEepromWord &&
                      sentAddress == static_cast<uint32_t>(*address);
    if (ours && scheduler.awaitingReply()) {
        eepromWordInFlight_ = true;
        return;
    }
    if (eepromWordInFlight_) {
        // The scheduler stopped waiting without the word: nobody will ask for it again.
        endEepromReadOut("EEPROM data NOT read");
    }
}

// --- Purge ---

void ServiceModule::startPurge() {
    purgeCountdown_ = purge::kNotShown;
    purge_->Timer1->setInterval(service_timing::kPurgeStartMs);
    purge_->Timer1->start();
}

void ServiceModule::purgeTick() {
    if (!core_.scheduler().pumpConnected()) {
        purgeCountdown_ = 1;
    }
    if (purgeCountdown_ == purge::kNotShown) {
        purgeCountdown_ = purge::kFirstCount;
        showPurgeWindow();
        // The modal window runs its own event loop; opened from here it would hold this timer,
        // whose ticks count it down. It opens once this tick has returned.
        QTimer::singleShot(0, purge_, [this] {
            if (purgeShown_ && !purge_->isVisible()) {
                core_.dialogs().execModal(*purge_);
            }
        });
        return;
    }
    --purgeCountdown_;
    if (purgeCountdown_ == 0) {
        if (purgeShown_) {
            purge_->closeWithResult(QDialog::Accepted);
        }
        return;
    }
    purge_->lPurgeTime->setText(QString("%1 sec").arg(purgeCountdown_));
}

void ServiceModule::showPurgeWindow() {
    purgeShown_ = true;
    setValveReplyContext(ValveReplyContext::Manual);
    sendValveCommand(true);
    purge_->Timer1->setInterval(service_timing::kPurgeTickMs);
    purge_->lPurgeTime->setText(QString("%1 sec").arg(purge::kShownSeconds));
}

void ServiceModule::purgeTimeClicked() {
    if (purgeShown_) {
        showPurgeWindow();
    }
}

bool ServiceModule::purgeCloseQuery() const {
    return !(purgeCountdown_ > 0 && core_.scheduler().pumpConnected());
}

void ServiceModule::purgeClosed() {
    if (!purgeShown_) {
        return;
    }
    purgeShown_ = false;
    purge_->Timer1->stop();
    setValveReplyContext(ValveReplyContext::ExpectClosed);
    sendValveCommand(false);
    purgePending_ = false;
    if (resetAfterPurge_) {
        resetAfterPurge_ = false;
        resetPump();
    }
}

// --- User calibration ---

void ServiceModule::openUserCalibration() {
    if (flowTestState_ != FlowTestState::Idle) {
        if (!core_.dialogs().askYesNo(nozzleActive_ ? kEndNozzleTest : kEndReturnTest, "Warning",
                                      Dialogs::Icon::Warning)) {
            return;
        }
        stopPump();
    }
    showUserCalibrationWindow();
    core_.dialogs().execModal(*calibration_);
}

void ServiceModule::showUserCalibrationWindow() {
    calibrationIdleOnScreen();
    setInstruction(instruction::kWindowShown);
    calibration_->lTime->setText(minutesSeconds(user_calibration_run::kRunSeconds));
    calibration_->btStartPrime->setFocus();
}

void ServiceModule::setInstruction(const char* text) {
    calibration_->Memo1->setPlainText(text);
}

void ServiceModule::enableCalibrationButtons(QPushButton* only) {
    for (QPushButton* b : calibration_->buttons()) {
        b->setEnabled(only == nullptr || b == only);
    }
}

void ServiceModule::setStartButtonsEnabled(bool enabled) {
    for (QPushButton* b :
         {calibration_->btStartPrime, calibration_->btStartPump, calibration_->btVerify}) {
        b->setEnabled(enabled);
    }
}

void ServiceModule::calibrationIdleOnScreen() {
    enableCalibrationButtons();
    calibration_->Timer1->stop();
    primeActive_ = calibrationActive_ = verifyActive_ = false;
    abortEnded_ = primeOkEnded_ = countdownEnded_ = false;
    calibrationStep_ = user_calibration::kIdle;
}

void ServiceModule::calibrationStart(CalibrationRun run) {
    // One run at a time: another start while one is being set up would mix the two.
    if (calibrationStep_ != user_calibration::kIdle) {
        return;
    }
    primeActive_ = run == CalibrationRun::Prime;
    calibrationActive_ = run == CalibrationRun::Calibration;
    verifyActive_ = run == CalibrationRun::Verify;
    enterTestMode();
    setStartButtonsEnabled(false);
    if (calibrationActive_ || verifyActive_) {
        sendValveCommand(true);
        setValveReplyContext(ValveReplyContext::ExpectOpen);
        purgePending_ = true;
    } else {
        sendValveCommand(false);
        setValveReplyContext(ValveReplyContext::ExpectClosed);
    }
    calibrationStep_ = user_calibration::kSettingValve;
}

void ServiceModule::userCalibrationStep(int step) {
    using namespace user_calibration;
    switch (step) {
        case kStepSetFlow:
            queueCommand(service_code::kSetFlow, service_arg::kCalibrationFlow);
            calibrationStep_ = kSettingFlow;
            break;
        case kStepStartRun:
            if (verifyActive_) {
                queueCommand(service_code::kStartPump);
                setInstruction(instruction::kVerificationStarted);
                enableCalibrationButtons(calibration_->btStopPump);
                calibrationCountdown_ = user_calibration_run::kRunSeconds;
                calibration_->Timer1->start();
            } else if (primeActive_) {
                queueCommand(service_code::kStartPump);
                primeActive_ = false;
                setInstruction(instruction::kPrimingStarted);
                enableCalibrationButtons(calibration_->btPrimeOK);
            } else if (calibrationActive_) {
                queueCommand(service_code::kStartUserCalibration);
                setInstruction(instruction::kCalibrationStarted);
                enableCalibrationButtons(calibration_->btStopPump);
                calibrationCountdown_ = user_calibration_run::kRunSeconds;
                calibration_->Timer1->start();
            }
            calibrationStep_ = kStarting;
            break;
        case kStepRunning:
            calibrationStep_ = kRunning;
            break;
        case kStepFinishRun:
            finishCalibrationRun();
            break;
        case kStepCalibrationStored:
            calibrationStep_ = kIdle;
            setInstruction(instruction::kCalibrationStored);
            break;
        default:
            break;
    }
}

void ServiceModule::calibrationEnd(CalibrationEnd end) {
    abortEnded_ = end == CalibrationEnd::Abort;
    primeOkEnded_ = end == CalibrationEnd::PrimeOk;
    countdownEnded_ = end == CalibrationEnd::Countdown;
    stopPump();
    calibrationStep_ = user_calibration::kStopping;
}

void ServiceModule::calibrationTick() {
    --calibrationCountdown_;
    calibration_->lTime->setText(minutesSeconds(calibrationCountdown_));
    if (calibrationCountdown_ <= 0) {
        calibrationEnd(CalibrationEnd::Countdown);
        calibration_->Timer1->stop();
    }
}

void ServiceModule::finishCalibrationRun() {
    enableCalibrationButtons();
    calibration_->Timer1->stop();
    if (abortEnded_) {
        abortEnded_ = false;
        closeValveUnlessPurging();
        calibrationStep_ = user_calibration::kIdle;
        if (verifyActive_) {
            setInstruction(instruction::kVerificationAborted);
        } else if (calibrationActive_) {
            setInstruction(instruction::kCalibrationAborted);
        }
    } else if (primeOkEnded_) {
        primeOkEnded_ = false;
        setValveReplyContext(ValveReplyContext::ExpectOpen);
        sendValveCommand(true);
        calibrationStep_ = user_calibration::kIdle;
        setInstruction(instruction::kPrimingEnded);
    } else if (countdownEnded_) {
        countdownEnded_ = false;
        closeValveUnlessPurging();
        calibrationStep_ = user_calibration::kIdle;
        setInstruction(verifyActive_ ? instruction::kVerificationCompleted
                                     : instruction::kCalibrationCompleted);
    } else {
        setInstruction(instruction::kWindowShown);
    }
    // A run ends with all of its marks: a prime aborted before it started does not turn the next
    // run into a prime.
    primeActive_ = calibrationActive_ = verifyActive_ = false;
}

void ServiceModule::downloadUserCalibration() {
    if (calibrationStep_ != user_calibration::kIdle) {
        return;
    }
    const QString text = calibration_->eVolume->text();
    const auto mass = parseInteger(text.toStdString());
    if (!mass) {
        core_.showException(QString("'%1' is not a valid integer value").arg(text).toStdString());
        return;
    }
    // The whole number is judged: 66036 g is no 500 g.
    if (*mass < user_calibration_run::kMinMassGrams ||
        *mass > user_calibration_run::kMaxMassGrams) {
        core_.operatorMessage(user_calibration_run::kInvalidMassMessage);
        calibration_->eVolume->setFocus();
        return;
    }
    enterTestMode();
    queueCommand(service_code::kDownloadUserCalibration, static_cast<uint32_t>(*mass));
}

void ServiceModule::restoreDefaultUserCalibration() {
    calibration_->eVolume->setText(user_calibration_run::kDefaultMass);
    downloadUserCalibration();
}

bool ServiceModule::calibrationCloseQuery() {
    using namespace user_calibration;
    switch (calibrationStep_) {
        case kSettingValve:
        case kSettingFlow:
        case kStarting:
        case kRunning:
            // A run being set up would go on unseen (priming at 6000 ml/h with no timer to end
            // it): closing aborts it in every step.
            if (!core_.dialogs().askYesNo(kAbortCalibration, "Warning", Dialogs::Icon::Warning)) {
                return false;
            }
            calibrationEnd(CalibrationEnd::Abort);
            return true;
        default:
            return true;
    }
}

void ServiceModule::calibrationClosed() {
    if (testModeLevel_ == 0) {
        return;
    }
    if (purgePending_) {
        startPurge();
    }
    closeValveUnlessPurging();
}

std::string ServiceModule::userCalibrationVolumeText() const {
    return calibration_->eVolume->text().toStdString();
}

void ServiceModule::showUserCalibration(std::string_view text) {
    calibration_->lUserCalibration->setText(qt(text));
}

// --- Read-outs the decoder names ---

void ServiceModule::setServiceLabel(std::string_view objectName, std::string_view text) {
    if (auto* label = service_->findChild<QLabel*>(qt(objectName))) {
        label->setText(qt(text));
    }
}

std::string ServiceModule::serviceLabelText(std::string_view objectName) const {
    if (auto* label = service_->findChild<QLabel*>(qt(objectName))) {
        return label->text().toStdString();
    }
    return {};
}
