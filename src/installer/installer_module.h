#pragma once
// The installer family: the installer window and its password dialog. The module owns the access
// level and answers the replies of the installer's configuration.

#include <QObject>

#include "app/tool_core.h"
#include "app/tool_module.h"
#include "app/user_calibration_opener.h"
#include "pump/reply_decoder.h"

class TfInstaller;
class TPasswordDlg;

class InstallerModule : public QObject,
                        public ToolModule,
                        private InstallerReplies,
                        private InstallerViewSource,
                        private PageObserver {
    Q_OBJECT
  public:
    explicit InstallerModule(ToolCore& core);
    ~InstallerModule() override;

    int accessLevel() const { return accessLevel_; }
    // No access granted (the main window shows itself).
    void resetAccess() { accessLevel_ = kAccessLevelNone; }
    // Where "Special user calibration..." leads.
    void setUserCalibrationOpener(UserCalibrationOpener* opener) { calibrationOpener_ = opener; }

    // ToolModule
    QList<QWidget*> windows() const override;
    void bindMenu(ToolMenu& menu) override;
    void clearPumpDisplay() override;
    QWidget* readoutWindow(ReadoutWindow window) const override;
    void attachReplies(ReplyRouter& router) override;

  private:
    // InstallerReplies
    uint8_t lastDm1SettingSent() const override { return lastDm1SettingSent_; }
    void showDm1Status(std::string_view text) override;
    ReplyAcceptance onConfigurationEcho(uint8_t code, std::span<const uint8_t> body) override;
    ReplyAcceptance onMasks(uint8_t code, std::span<const uint8_t> body) override;
    ReplyAcceptance onObdActionMaskWord(uint8_t code, uint32_t word, uint8_t index) override;
    ReplyAcceptance onAirUnitMask(uint8_t code, uint32_t mask) override;
    ReplyAcceptance onParameterReadout(std::span<const uint8_t> telegram, bool isWrite) override;

    // InstallerViewSource
    InstallerView installerView() const override;

    // PageObserver: the first page 204 of a run presets the heater selection.
    void onPage204(const Page204Result& page) override;

    ToolCore& core_;
    TfInstaller* installer_;
    TPasswordDlg* password_;
    int accessLevel_ = kAccessLevelNone;
    uint8_t lastDm1SettingSent_ = 0;
    UserCalibrationOpener* calibrationOpener_ = nullptr;
};
