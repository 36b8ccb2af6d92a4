#pragma once
// The installer family: the installer window and its password dialog. The module owns the access
// level, the pump's installer values as they were last reported, the download in progress and its
// bookkeeping; it runs the "Configure" command and the download command, applies the read-back
// pages 212 and 216 and the pump's answers (echoes 147 and 163, parameter telegrams 172 and 173),
// and follows the presets of pages 203 and 204.

#include <QObject>
#include <optional>
#include <vector>

#include "app/close_down.h"
#include "app/tool_core.h"
#include "app/tool_module.h"
#include "app/user_calibration_opener.h"
#include "installer/download_tracker.h"
#include "pump/config_download.h"
#include "pump/installer_access.h"
#include "pump/installer_pages.h"
#include "pump/installer_parameters.h"
#include "pump/reply_decoder.h"

class QAction;
class TfInstaller;
class TPasswordDlg;

class InstallerModule : public QObject,
                        public ToolModule,
                        private InstallerReplies,
                        private InstallerViewSource,
                        private PageObserver {
    Q_OBJECT
  public:
    InstallerModule(ToolCore& core, ServiceTestControl& service);
    // Where "Special user calibration..." leads.
    void setUserCalibrationOpener(UserCalibrationOpener* opener) { calibrationOpener_ = opener; }
    ~InstallerModule() override;

    TfInstaller& window() const { return *installer_; }
    TPasswordDlg& passwordDialog() const { return *password_; }

    // `AccessLevel`: 10 none yet, 11 installer, 12 extended.
    int accessLevel() const { return accessLevel_; }
    // No access granted (the main window shows itself).
    void resetAccess() { accessLevel_ = kAccessLevelNone; }

    // The main window's "Configure" (Installer1): asks for the password while no level is
    // granted, then opens the window; with the window open, closes it.
    void configure();
    // btZovar_DownloadConfiguration: warning, checks, overwrite questions, and the telegrams of
    // the pump's generation.
    void downloadConfiguration();

    // What the pump has told the installer (the snapshot files read these).
    bool installDateKnown() const { return installDateKnown_; }
    bool dashboardKnown() const { return dashboardKnown_; }
    std::optional<uint8_t> pumpTlOutputSetup() const { return pumpTlOutputSetup_; }
    std::optional<uint8_t> pumpLevelSensorSetup() const { return pumpLevelSensorSetup_; }
    std::optional<InstallerSettingsBlock> pumpInstallerSettings() const {
        return pumpInstallerSettings_;
    }
    // `LastDownloadId` and `DownloadFailed`.
    const DownloadBookkeeping& bookkeeping() const { return bookkeeping_; }
    // A sequence of parameter writes another installer command has queued (the masks): its
    // echoes are followed like a download's, and `LastDownloadId` becomes its last identifier.
    void beginParameterSequence(const std::vector<ParameterTelegramBytes>& telegrams);

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

    // PageObserver
    void onPage204(const Page204Result& page) override;
    void onRawPage(uint8_t code, std::span<const uint8_t> body) override;

    PasswordDialogResult askPassword();
    // A combo box the operator changed: its rule, with its messages and forcing.
    void onComboChosen(const QString& comboName);
    // The window closed by any means: Installer1 loses its check; a pump in test mode may be reset.
    void onWindowClosed();
    void onPumpCommunication(bool found);

    // The download's steps after the checks.
    void download147(const InstallerConfiguration& config);
    void download163(const InstallerConfiguration& config);
    void download172(const InstallerConfiguration& config);
    OverwriteAnswers askOverwrite();
    void refuse(const DownloadRefusal& refusal);
    void queue(std::span<const uint8_t> telegram);

    // Decoder output on screen: each text in the window it names.
    void applyTexts(const std::vector<LabelText>& texts);
    void applyEdits(const std::vector<EditText>& edits);
    void applySelections(const std::vector<ComboSelection>& selections);
    DisplayFormat format() const { return core_.pageDisplay().format; }
    void showMessage(std::string_view text, const char* caption, Dialogs::Icon icon);

    ToolCore& core_;
    ServiceTestControl& service_;
    UserCalibrationOpener* calibrationOpener_ = nullptr;
    TfInstaller* installer_;
    TPasswordDlg* password_;
    QAction* installer1_ = nullptr;
    QAction* loadConfiguration_ = nullptr;

    int accessLevel_ = kAccessLevelNone;
    uint8_t lastDm1SettingSent_ = 0;
    // The pump's software version is known once its page 204 has arrived since it was found.
    bool softwareKnown_ = false;
    // Its installer settings block (page 216) likewise, for a pump that has one: until then the
    // settings below the extended level may still be another pump's.
    bool settingsKnown_ = false;
    bool installDateKnown_ = false;
    bool dashboardKnown_ = false;
    std::optional<uint8_t> pumpTlOutputSetup_;
    std::optional<uint8_t> pumpLevelSensorSetup_;
    std::optional<InstallerSettingsBlock> pumpInstallerSettings_;
    bool page216Armed_ = true;  // the once-per-run step of page 216
    double idleThresholdCount_ = 1.0;
    double speedSignalDivider_ = 1.0;

    // The download in progress.
    DownloadBookkeeping bookkeeping_;
    DownloadTracker tracker_;
    // The long configuration telegram queued last (its echo must repeat it), and the window's
    // image 163 buffer, kept between downloads.
    std::vector<uint8_t> lastImage_;
    Config163Telegram image163_{};
    bool parameterWritesFollow_ = false;
};
