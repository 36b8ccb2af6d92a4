#include "diagnostics/diagnostics_module.h"

#include <QLabel>
#include <array>

#include "diagnostics/nox_sensor_window.h"
#include "diagnostics/obd_window.h"
#include "diagnostics/torque_limiter_window.h"
#include "diagnostics/uds_error_log.h"
#include "pump/nox_sensor.h"
#include "pump/service_codes.h"

namespace {

QString labelText(const QWidget* window, const char* objectName) {
    const auto* label = window ? window->findChild<QLabel*>(objectName) : nullptr;
    return label ? label->text() : QStringLiteral("?");
}

}  // namespace

DiagnosticsModule::DiagnosticsModule(ToolCore& core) : core_(core) {
    // Created in the tool's order; the OBD window takes the software version known now (the start
    // version, before any pump has reported one).
    nox_ = new TfNOxSensor;
    obd_ = new TfOBD(core_.scheduler().pumpSoftwareVersion());
    ErrorLogHooks hooks;
    hooks.queueTelegram = [this](const ServiceTelegram& telegram) {
        uint8_t block[kTelegramCapacity] = {};
        telegram.encodeInto(block);
        core_.sender().enqueueTelegram(block, service_telegram::kHeaderSize);
    };
    hooks.logWritten = [this] {
        // The main window's status line alone says it.
        if (QWidget* main = core_.readoutWindow(ReadoutWindow::Main)) {
            if (auto* status = main->findChild<QLabel*>("lStatus")) {
                status->setText(error_log_export::kWrittenStatus);
            }
        }
    };
    errorLog_ = new TfUdsErrorLog(core_.dialogs(), std::move(hooks));
    torqueLimiter_ = new TfrmTorqueLimiter;
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
    errorLog_->clearErrorLog();
    torqueLimiter_->clearTorqueLimiterDisplay();
}

void DiagnosticsModule::pumpForgotten() {
    errorLog_->endRead();
}

QWidget* DiagnosticsModule::readoutWindow(ReadoutWindow window) const {
    return window == ReadoutWindow::ErrorLog ? errorLog_ : nullptr;
}

void DiagnosticsModule::attachReplies(ReplyRouter& router) {
    router.attach(static_cast<DiagnosticsReplies&>(*this));
    router.addPageObserver(*this);
    router.onVin([this](const QString& vin) { errorLog_->showVin(vin); });
    router.onSensorClaimed([this](bool upstream) {
        nox_->onSensorAddressClaimed(upstream ? NoxSide::Upstream : NoxSide::Downstream);
    });
    // The dispatch lets only the upstream sensor's intake gas and the downstream sensor's outlet
    // gas through.
    router.onSensorData([this](bool upstream, const J1939Message& message) {
        nox_->onSensorMessage(upstream ? NoxSide::Upstream : NoxSide::Downstream,
                              std::span<const uint8_t>(message.data, message.length));
    });
}

ReplyAcceptance DiagnosticsModule::onErrorLogRecord(std::span<const uint8_t> telegram) {
    return errorLog_->onErrorLogRecord(telegram);
}

InstallerReadback DiagnosticsModule::installerReadback() const {
    const QWidget* installer = core_.readoutWindow(ReadoutWindow::Installer);
    InstallerReadback r;
    r.monitorTankHeater = labelText(installer, "lMonitorTankHeater").toStdString();
    r.monitorLineHeater = labelText(installer, "lMonitorLineHeater").toStdString();
    r.conversionRatioSelection = labelText(installer, "lConversionRatioSelection").toStdString();
    r.ureaTankLevelSensorSetup = labelText(installer, "lUreaTankLevelSensorSetup").toStdString();
    r.ureaTankTempSetup = labelText(installer, "lUreaTankTempSetup").toStdString();
    r.engineSpeedSignalConfig =
        labelText(installer, "lEngineSpeedSignalConfig_Value").toStdString();
    r.ureaTankTemperatureObd = labelText(installer, "lUreaTankTemperatureOBD").toStdString();
    return r;
}

void DiagnosticsModule::onRawPage(uint8_t code, std::span<const uint8_t> body) {
    using namespace service_code;
    switch (code) {
        case kPage201:
            onPage201(body);
            break;
        case kPage208:
            torqueLimiter_->showTorqueLimiterCauses(body);
            break;
        case kPage209:
        case kPage210: {
            const bool upstream = code == kPage209;
            if (auto nox = nox_->onPumpSensorRecord(
                    upstream ? NoxSide::Upstream : NoxSide::Downstream, body)) {
                showMainWindowNox(upstream, *nox);
            }
            break;
        }
        default:
            break;
    }
}

void DiagnosticsModule::onPage201(std::span<const uint8_t> body) {
    const Page201Result result = decodePage201(
        body, core_.pageDisplay().values().externalHeaterPresent, installerReadback());
    obd_->applyObdStates(result.states);
    // The service window shows three of the states beside its outputs.
    QWidget* service = core_.readoutWindow(ReadoutWindow::ServiceTest);
    for (const LabelText& copy : result.serviceCopies) {
        if (auto* label = service ? service->findChild<QLabel*>(copy.objectName) : nullptr) {
            label->setText(QString::fromStdString(copy.text));
        }
    }
}

void DiagnosticsModule::onPage207(const Page207Result& result) {
    obd_->applyObdStates(result.obdStates);
}

void DiagnosticsModule::onPage211(const Page211Result& result) {
    if (result.torqueLimiterCountdowns) {
        torqueLimiter_->showTorqueLimiterCountdowns(*result.torqueLimiterCountdowns);
    }
}

void DiagnosticsModule::showMainWindowNox(bool upstream, const QString& text) {
    const NoxSideNames& names = noxSideNames(upstream ? NoxSide::Upstream : NoxSide::Downstream);
    if (QWidget* main = core_.readoutWindow(ReadoutWindow::Main)) {
        if (auto* label = main->findChild<QLabel*>(names.mainWindowNox)) {
            label->setText(text);
        }
    }
}
