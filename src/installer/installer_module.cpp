#include "installer/installer_module.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "installer/installer.h"
#include "pump/service_codes.h"

InstallerModule::InstallerModule(ToolCore& core)
    : core_(core), installer_(new TfInstaller), password_(new TPasswordDlg) {
    installer_->setAttribute(Qt::WA_QuitOnClose, false);
    password_->setAttribute(Qt::WA_QuitOnClose, false);
    connect(installer_->btShowCalibrate, &QPushButton::clicked, this, [this] {
        if (calibrationOpener_) {
            calibrationOpener_->openUserCalibration();
        }
    });
}

InstallerModule::~InstallerModule() {
    delete password_;
    delete installer_;
}

QList<QWidget*> InstallerModule::windows() const {
    return {installer_, password_};
}

void InstallerModule::bindMenu(ToolMenu& menu) {
    menu.bindToggle("Installer1", installer_);
}

void InstallerModule::clearPumpDisplay() {
    installer_->clearReadouts();
}

QWidget* InstallerModule::readoutWindow(ReadoutWindow window) const {
    return window == ReadoutWindow::Installer ? installer_ : nullptr;
}

void InstallerModule::attachReplies(ReplyRouter& router) {
    router.attach(static_cast<InstallerReplies&>(*this));
    router.setInstallerView(*this);
    router.addPageObserver(*this);
    router.onVin([this](const QString& vin) { installer_->showVin(vin); });
    router.onPumpCommunication([this](bool found) { installer_->setDownloadEnabled(found); });
}

InstallerView InstallerModule::installerView() const {
    InstallerView view;
    view.accessLevel = accessLevel_;
    view.extendedConfigVisible = !installer_->gbExtendedConfig->isHidden();
    if (auto* g = installer_->findChild<QWidget*>("gbMonitorExtHeaters")) {
        view.monitorExtHeatersVisible = !g->isHidden();
    }
    view.alt2EngineSpeedSignalRatio = installer_->lAlt2EngineSpeedSignalRatio->text().toStdString();
    return view;
}

void InstallerModule::onPage204(const Page204Result& page) {
    if (page.initialHeaterSelection) {
        installer_->cbExternalHeaterSelection->setEnabled(false);
        installer_->cbExternalHeaterSelection->setCurrentIndex(*page.initialHeaterSelection);
    }
}

void InstallerModule::showDm1Status(std::string_view text) {
    (void)text;  // the DM1 tab comes with the mask configuration
}

ReplyAcceptance InstallerModule::onConfigurationEcho(uint8_t, std::span<const uint8_t>) {
    // No configuration has been sent from this tool yet, so no echo can match.
    return ReplyAcceptance::NotAccepted;
}

ReplyAcceptance InstallerModule::onMasks(uint8_t code, std::span<const uint8_t>) {
    return code == service_code::kRequestMiMasks ? ReplyAcceptance::Accepted
                                                 : ReplyAcceptance::NotAccepted;
}

ReplyAcceptance InstallerModule::onObdActionMaskWord(uint8_t code, uint32_t, uint8_t) {
    return code == service_code::kRequestObdActionMaskWord ? ReplyAcceptance::Accepted
                                                           : ReplyAcceptance::NotAccepted;
}

ReplyAcceptance InstallerModule::onAirUnitMask(uint8_t code, uint32_t) {
    return code == service_code::kRequestAirUnitMask ? ReplyAcceptance::Accepted
                                                     : ReplyAcceptance::NotAccepted;
}

ReplyAcceptance InstallerModule::onParameterReadout(std::span<const uint8_t>, bool isWrite) {
    return isWrite ? ReplyAcceptance::NotAccepted : ReplyAcceptance::Accepted;
}
