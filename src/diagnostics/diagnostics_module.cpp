#include "diagnostics/diagnostics_module.h"

#include <QLabel>

#include "diagnostics/diagnostic_windows.h"
#include "pump/service_codes.h"

DiagnosticsModule::DiagnosticsModule(ToolCore& core)
    : core_(core),
      nox_(new TfNOxSensor),
      obd_(new TfOBD),
      errorLog_(new TfUdsErrorLog),
      torqueLimiter_(new TfrmTorqueLimiter) {
    for (QWidget* w : windows()) {
        w->setAttribute(Qt::WA_QuitOnClose, false);
    }
}

DiagnosticsModule::~DiagnosticsModule() {
    delete torqueLimiter_;
    delete errorLog_;
    delete obd_;
    delete nox_;
}

QList<QWidget*> DiagnosticsModule::windows() const {
    return {nox_, obd_, errorLog_, torqueLimiter_};
}

void DiagnosticsModule::bindMenu(ToolMenu& menu) {
    menu.bindToggle("NOxSensors1", nox_, true);
    menu.bindToggle("UdsErrorlog", errorLog_);
    menu.bindToggle("OBD1", obd_);
    menu.bindToggle("TorqueLimiter", torqueLimiter_);
}

void DiagnosticsModule::clearPumpDisplay() {
    obd_->clearObdStates();
    nox_->clearNoxPumpDisplay();
    errorLog_->clearErrorLogDisplay();
    torqueLimiter_->clearTorqueLimiterDisplay();
}

QWidget* DiagnosticsModule::readoutWindow(ReadoutWindow window) const {
    return window == ReadoutWindow::ErrorLog ? errorLog_ : nullptr;
}

void DiagnosticsModule::attachReplies(ReplyRouter& router) {
    router.attach(static_cast<DiagnosticsReplies&>(*this));
    router.addPageObserver(*this);
    router.onVin([this](const QString& vin) { errorLog_->showVin(vin); });
    router.onSensorClaimed([this](bool upstream) { nox_->sensorClaimed(upstream); });
}

ReplyAcceptance DiagnosticsModule::onErrorLogRecord(std::span<const uint8_t>) {
    return ReplyAcceptance::Accepted;
}

void DiagnosticsModule::onRawPage(uint8_t code, std::span<const uint8_t> body) {
    if (code != service_code::kPage209 && code != service_code::kPage210) {
        return;
    }
    // The pump's own NOx figure of the sensor: a signed 16-bit number in the record's first bytes.
    if (body.size() < 2) {
        return;
    }
    const int16_t ppm = static_cast<int16_t>(body[0] | (body[1] << 8));
    if (QWidget* main = core_.readoutWindow(ReadoutWindow::Main)) {
        if (auto* label =
                main->findChild<QLabel*>(code == service_code::kPage209 ? "lNOxUp" : "lNOxDown")) {
            label->setText(QString::number(ppm));
        }
    }
}
