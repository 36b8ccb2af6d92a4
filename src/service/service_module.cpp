#include "service/service_module.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>

#include "pump/service_codes.h"
#include "service/secondary_windows.h"
#include "service/service_tool.h"

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

ServiceModule::ServiceModule(ToolCore& core)
    : core_(core),
      service_(new TfServiceTool),
      calibration_(new TfUserCalibration),
      purge_(new TfPurge) {
    for (QWidget* w : windows()) {
        w->setAttribute(Qt::WA_QuitOnClose, false);
    }
    connect(service_->btReset, &QPushButton::clicked, this, [this] { resetPump(); });
    // The EEPROM dump goes to "log/eepromdata.csv" beside the application until the operator
    // chooses another file.
    eepromDumpFileName_ =
        QDir(QCoreApplication::applicationDirPath()).filePath("log/eepromdata.csv").toStdString();
}

ServiceModule::~ServiceModule() {
    delete purge_;
    delete calibration_;
    delete service_;
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
    if (purge_->isVisible()) {
        purge_->close();
    } else {
        purgePending_ = false;
    }
    flowTestState_ = FlowTestState::Idle;
    calibrationStep_ = user_calibration::kIdle;
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

void ServiceModule::queueCommand(uint8_t code, uint32_t longArg, uint16_t wordArg,
                                 uint8_t byteArg) {
    core_.sender().enqueueCommand(code, longArg, wordArg, byteArg);
    core_.setStatus("-");
}

void ServiceModule::enterTestMode() {
    if (testModeLevel_ != 0) {
        return;
    }
    // Older pump software wants all three arguments at 1.
    const uint8_t arg = core_.scheduler().pumpSoftwareVersion().customerAccess() ? 0 : 1;
    queueCommand(service_code::kEnterTestMode, arg, arg, arg);
}

void ServiceModule::stopPump() {
    queueCommand(service_code::kStopPump);
    appliedFlow_ = flowSetting_ == 0 ? 1 : 0;
}

void ServiceModule::resetPump() {
    enterTestMode();
    queueCommand(service_code::kResetPump);
}

void ServiceModule::advanceFlowTest(uint8_t) {
    // The flow-test sequence comes with the flow test controls.
}

void ServiceModule::setServiceLabel(std::string_view objectName, std::string_view text) {
    if (auto* label = service_->findChild<QLabel*>(
            QString::fromUtf8(objectName.data(), qsizetype(objectName.size())))) {
        label->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    }
}

std::string ServiceModule::serviceLabelText(std::string_view objectName) const {
    if (auto* label = service_->findChild<QLabel*>(
            QString::fromUtf8(objectName.data(), qsizetype(objectName.size())))) {
        return label->text().toStdString();
    }
    return {};
}

void ServiceModule::sendEepromRead(uint32_t address) {
    core_.sender().enqueueCommand(service_code::kReadEepromWord, address, 0, 0);
}

void ServiceModule::userCalibrationStep(int) {
    // The calibration steps come with the user calibration window.
}

void ServiceModule::showUserCalibration(std::string_view text) {
    calibration_->lUserCalibration->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void ServiceModule::onPage207(const Page207Result& page) {
    if (page.testModeLevel) {
        testModeLevel_ = *page.testModeLevel;
    }
}
