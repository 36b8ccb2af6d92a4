#include "installer/installer_module.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <exception>

#include "app/operator_messages.h"
#include "installer/installer.h"
#include "installer/password_dialog.h"
#include "pump/installer_access.h"
#include "pump/service_codes.h"
#include "pump/text_tables.h"

namespace {

QString qtext(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// Message box captions by kind, as the tool's other boxes have them.
constexpr const char* kWarningCaption = "Warning";
constexpr const char* kErrorCaption = "Error";
constexpr const char* kInformationCaption = "Information";
constexpr const char* kConfirmCaption = "Confirm";
constexpr const char* kSoftwareUnknown =
    "Nothing was downloaded: the pump has not reported its software version and installer "
    "settings yet, so the configuration it takes is not known.\nPlease wait for the pump's status "
    "pages and try again.";

// Holds the scheduler timer for as long as it lives.
class SchedulerPause {
  public:
    explicit SchedulerPause(ToolCore& core) : core_(core) { core_.pauseScheduler(); }
    ~SchedulerPause() { core_.resumeScheduler(); }
    SchedulerPause(const SchedulerPause&) = delete;
    SchedulerPause& operator=(const SchedulerPause&) = delete;

  private:
    ToolCore& core_;
};

template <typename T>
std::vector<uint8_t> bytesOf(const T& telegram) {
    return std::vector<uint8_t>(telegram.begin(), telegram.end());
}

}  // namespace

InstallerModule::InstallerModule(ToolCore& core, ServiceTestControl& service)
    : core_(core),
      service_(service),
      installer_(new TfInstaller(core.pageDisplay().format)),
      password_(new TPasswordDlg) {
    installer_->setAttribute(Qt::WA_QuitOnClose, false);
    password_->setAttribute(Qt::WA_QuitOnClose, false);
    connect(installer_->btZovar_DownloadConfiguration, &QPushButton::clicked, this,
            [this] { downloadConfiguration(); });
    connect(installer_, &TfInstaller::comboChosen, this, &InstallerModule::onComboChosen);
    connect(installer_->btShowCalibrate, &QPushButton::clicked, this, [this] {
        if (calibrationOpener_) {
            calibrationOpener_->openUserCalibration();
        }
    });
    connect(installer_, &ToolWindow::closed, this, [this] { onWindowClosed(); });
}

InstallerModule::~InstallerModule() {
    delete password_;
    delete installer_;
}

QList<QWidget*> InstallerModule::windows() const {
    return {installer_, password_};
}

void InstallerModule::bindMenu(ToolMenu& menu) {
    installer1_ = menu.action("Installer1");
    loadConfiguration_ = menu.action("LoadConfiguration1");
    if (installer1_) {
        connect(installer1_, &QAction::triggered, this, [this] { configure(); });
        // The main menu bar, reached through the menu that holds "Configure".
        for (QObject* o : installer1_->associatedObjects()) {
            if (auto* m = qobject_cast<QMenu*>(o)) {
                if (auto* bar = qobject_cast<QMenuBar*>(m->parentWidget())) {
                    installer_->mergeMenu(bar->actions());
                    break;
                }
            }
        }
    }
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
    router.onPumpCommunication([this](bool found) { onPumpCommunication(found); });
}

void InstallerModule::showMessage(std::string_view text, const char* caption, Dialogs::Icon icon) {
    core_.dialogs().message(qtext(text), caption, icon);
}

// --- "Configure" ---

PasswordDialogResult InstallerModule::askPassword() {
    password_->prepare();
    const int result = core_.dialogs().execModal(*password_);
    password_->forget();
    switch (result) {
        case static_cast<int>(PasswordDialogResult::Installer):
            return PasswordDialogResult::Installer;
        case static_cast<int>(PasswordDialogResult::Extended):
            return PasswordDialogResult::Extended;
        case static_cast<int>(PasswordDialogResult::WrongPassword):
            return PasswordDialogResult::WrongPassword;
        default:
            return PasswordDialogResult::Cancelled;
    }
}

void InstallerModule::configure() {
    try {
        const ConfigureOutcome outcome = configureCommand(
            accessLevel_, installer_->isVisible(), [this] { return askPassword(); },
            [this] {
                showMessage(access_text::kWrongPassword, kErrorCaption, Dialogs::Icon::Error);
            });
        accessLevel_ = outcome.accessLevel;
        if (outcome.closeInstaller) {
            if (installer1_) {
                installer1_->setChecked(false);
            }
            installer_->close();
            return;
        }
        if (!outcome.openInstaller) {
            if (installer1_) {
                installer1_->setChecked(false);  // the click had checked it
            }
            return;
        }
        if (installer1_) {
            installer1_->setChecked(true);
        }
        if (loadConfiguration_) {
            loadConfiguration_->setEnabled(true);
        }
        // A pump that has told its software keeps what it cannot take hidden at once, rather
        // than until its next page 204.
        const PumpSoftwareVersion version = core_.scheduler().pumpSoftwareVersion();
        const bool oldPump = softwareKnown_ && version.oldConfigurationLayout();
        installer_->setExtendedVisible(outcome.extendedVisible && !oldPump);
        if (outcome.extendedVisible && softwareKnown_ && !oldPump) {
            // As the pump's next page 204 would leave them.
            installer_->cbExternalHeaterSelection->setEnabled(true);
            const bool ureaTank = version.combined() > 8;
            installer_->pUreaTankTemperatureSettings->setVisible(ureaTank);
            installer_->gbMonitorExtHeaters->setVisible(ureaTank);
        }
        installer_->show();
        installer_->raise();
    } catch (const std::exception& e) {
        core_.showException(e.what());
    }
}

void InstallerModule::onWindowClosed() {
    if (installer1_) {
        installer1_->setChecked(false);
    }
    if (auto question = closeQuestion(static_cast<uint8_t>(service_.testModeLevel()))) {
        if (core_.dialogs().askYesNo(qtext(*question), kConfirmCaption, Dialogs::Icon::Question)) {
            service_.resetPump();
        }
    }
}

void InstallerModule::onPumpCommunication(bool found) {
    installer_->setDownloadEnabled(found);
    // A pump found anew reports its software again before anything is written to it.
    softwareKnown_ = false;
    settingsKnown_ = false;
}

// --- Enable rules on the operator's changes ---

void InstallerModule::onComboChosen(const QString& comboName) {
    const std::optional<EnableChange> change = installer_->ruleFor(comboName);
    if (!change) {
        return;
    }
    installer_->applyEnableChange(*change, false);
    for (const std::string& message : change->messages) {
        showMessage(message, kInformationCaption, Dialogs::Icon::Information);
    }
    installer_->applyEnableChange(*change, true);
}

// --- Download ---

void InstallerModule::queue(std::span<const uint8_t> telegram) {
    uint8_t block[kTelegramCapacity] = {};
    const std::size_t n = std::min(telegram.size(), kTelegramCapacity);
    std::copy_n(telegram.begin(), n, block);
    core_.sender().enqueueTelegram(block, static_cast<uint16_t>(n));
}

void InstallerModule::refuse(const DownloadRefusal& refusal) {
    showMessage(refusal.text, kErrorCaption, Dialogs::Icon::Error);
    if (refusal.focus) {
        installer_->focusControl(refusal.focus);
    }
}

OverwriteAnswers InstallerModule::askOverwrite() {
    return askOverwriteQuestions(installDateKnown_, dashboardKnown_, [this](OverwriteQuestion q) {
        return core_.dialogs().askYesNo(qtext(questionText(q)), kWarningCaption,
                                        Dialogs::Icon::Warning);
    });
}

void InstallerModule::downloadConfiguration() {
    try {
        showMessage(download_text::kTestModeWarning, kWarningCaption, Dialogs::Icon::Warning);

        ConfigurationInput input = installer_->configurationInput();
        input.pumpSoftware = core_.scheduler().pumpSoftwareVersion();
        input.pumpTlOutputSetup = pumpTlOutputSetup_;
        input.pumpLevelSensorSetup = pumpLevelSensorSetup_;
        const ValidationResult checked = validateConfiguration(input, format());
        if (const auto* failure = std::get_if<ValidationFailure>(&checked)) {
            // The message alone: a refused entry must not end the wait for a reply the
            // scheduler is chasing (a download already under way would lose an echo).
            const std::string text = operatorMessageText(failure->message, 0, [](int n) {
                return std::string(text_tables::notDownloadedText(n).value_or(""));
            });
            showMessage(text, kErrorCaption, Dialogs::Icon::Error);
            installer_->focusControl(failure->focus);
            return;
        }
        if (!softwareKnown_ || (input.pumpSoftware.page216() && !settingsKnown_)) {
            showMessage(kSoftwareUnknown, kErrorCaption, Dialogs::Icon::Error);
            return;
        }
        const auto& config = std::get<InstallerConfiguration>(checked);
        switch (layoutFor(config.pumpSoftware)) {
            case ConfigurationLayout::Old147:
                download147(config);
                break;
            case ConfigurationLayout::New163:
                download163(config);
                break;
            case ConfigurationLayout::ParameterWrites172:
                download172(config);
                break;
        }
    } catch (const std::exception& e) {
        core_.showException(e.what());
    }
}

void InstallerModule::download147(const InstallerConfiguration& config) {
    const OverwriteAnswers answers = askOverwrite();
    const auto built = encodeConfig147(config, answers);
    if (const auto* refusal = std::get_if<DownloadRefusal>(&built)) {
        refuse(*refusal);
        return;
    }
    const auto& telegram = std::get<Config147Telegram>(built);
    service_.enterTestMode();
    lastImage_ = bytesOf(telegram);
    parameterWritesFollow_ = false;
    tracker_.begin({lastImage_});
    queue(telegram);
    core_.setStatus(download_text::kQueued);
}

void InstallerModule::download163(const InstallerConfiguration& config) {
    const OverwriteAnswers answers = askOverwrite();
    const auto built = encodeConfig163(config, answers, image163_);
    if (const auto* refusal = std::get_if<DownloadRefusal>(&built)) {
        refuse(*refusal);
        return;
    }
    const auto& download = std::get<Config163Download>(built);
    service_.enterTestMode();
    image163_ = download.telegram;
    lastImage_ = bytesOf(download.telegram);
    parameterWritesFollow_ = !download.parameterWrites.empty();
    std::vector<std::vector<uint8_t>> steps{lastImage_};
    for (const auto& write : download.parameterWrites) {
        steps.push_back(bytesOf(write));
    }
    tracker_.begin(std::move(steps));
    queue(download.telegram);
    core_.setStatus(download_text::kQueued);
    for (const auto& write : download.parameterWrites) {
        queue(write);
    }
    if (download.bookkeeping) {
        bookkeeping_ = *download.bookkeeping;
    }
}

void InstallerModule::download172(const InstallerConfiguration& config) {
    // Nothing of the sequence leaves, and no echo of it is chased, until all of it is queued and
    // its bookkeeping is set, even while a question below is open.
    const SchedulerPause pause(core_);
    const OverwriteAnswers answers = askOverwrite();
    const auto built = buildParameterSequence(config, answers);
    if (const auto* refusal = std::get_if<DownloadRefusal>(&built)) {
        refuse(*refusal);
        return;
    }
    const auto& sequence = std::get<ParameterSequence>(built);
    service_.enterTestMode();
    std::vector<std::vector<uint8_t>> steps;
    for (const auto& telegram : sequence.telegrams) {
        steps.push_back(bytesOf(telegram));
        queue(telegram);
    }
    tracker_.begin(std::move(steps));
    core_.setStatus(download_text::kQueued);
    bookkeeping_ = sequence.bookkeeping;
}

void InstallerModule::beginParameterSequence(const std::vector<ParameterTelegramBytes>& telegrams) {
    if (telegrams.empty()) {
        return;
    }
    std::vector<std::vector<uint8_t>> steps;
    for (const auto& telegram : telegrams) {
        steps.push_back(bytesOf(telegram));
    }
    tracker_.begin(std::move(steps));
    bookkeeping_ =
        DownloadBookkeeping{static_cast<uint8_t>(parameterIdOf(telegrams.back())), false};
}

// --- Decoder output on screen ---

void InstallerModule::applyTexts(const std::vector<LabelText>& texts) {
    for (const LabelText& t : texts) {
        QWidget* window = core_.readoutWindow(t.window);
        if (auto* label = window ? window->findChild<QLabel*>(t.objectName) : nullptr) {
            label->setText(QString::fromStdString(t.text));
        }
    }
}

void InstallerModule::applyEdits(const std::vector<EditText>& edits) {
    for (const EditText& e : edits) {
        if (auto* edit = installer_->edit(e.objectName)) {
            edit->setText(QString::fromStdString(e.text));
        }
    }
}

void InstallerModule::applySelections(const std::vector<ComboSelection>& selections) {
    for (const ComboSelection& s : selections) {
        if (auto* combo = installer_->combo(s.comboName)) {
            combo->setCurrentIndex(s.index);
        }
    }
}

// --- Pages ---

InstallerView InstallerModule::installerView() const {
    InstallerView view;
    view.accessLevel = accessLevel_;
    view.extendedConfigVisible = !installer_->gbExtendedConfig->isHidden();
    view.monitorExtHeatersVisible = !installer_->gbMonitorExtHeaters->isHidden();
    view.alt2EngineSpeedSignalRatio = installer_->lAlt2EngineSpeedSignalRatio->text().toStdString();
    return view;
}

void InstallerModule::onPage204(const Page204Result& page) {
    // The page's texts, presets, visibility and enabled states are on screen already; the tabs
    // are shown as tabs, the presets bring their rules along.
    for (const WidgetFlag& f : page.visibility) {
        const std::string_view name = f.objectName;
        if (name == "tsMIconfig") {
            installer_->setTabShown(installer_->tsMIconfig, f.on);
        } else if (name == "tsDM1config") {
            installer_->setTabShown(installer_->tsDM1config, f.on);
        }
    }
    if (page.pumpSoftwareVersion) {
        softwareKnown_ = true;
    }
    if (page.installDateKnown) {
        installDateKnown_ = *page.installDateKnown;
    }
    if (page.dashboardKnown) {
        dashboardKnown_ = *page.dashboardKnown;
    }
    if (page.pumpTlOutputSetup) {
        pumpTlOutputSetup_ = *page.pumpTlOutputSetup;
    }
    if (page.pumpLevelSensorSetup) {
        pumpLevelSensorSetup_ = *page.pumpLevelSensorSetup;
    }
    if (page.initialHeaterSelection) {
        installer_->cbExternalHeaterSelection->setEnabled(false);
        installer_->cbExternalHeaterSelection->setCurrentIndex(*page.initialHeaterSelection);
    }
    installer_->refreshEnableRules();
}

void InstallerModule::onRawPage(uint8_t code, std::span<const uint8_t> body) {
    try {
        if (code == service_code::kPage212) {
            applyTexts(decodePage212(body, format()).texts);
            return;
        }
        if (code != service_code::kPage216) {
            return;
        }
        Page216Context context;
        context.firstPageOfRun = page216Armed_;
        context.extendedConfigVisible = !installer_->gbExtendedConfig->isHidden();
        context.conversionRatioReduced =
            installer_->labelText("lConversionRatioReduced").toStdString();
        context.conversionRatioThreshold =
            installer_->labelText("lConversionRatioThreshold").toStdString();
        context.averagingPeriod =
            installer_->labelText("lConversionRatioAvaragePeriod").toStdString();
        const Page216Result page = decodePage216(body, context, format());
        if (page.onceStepDone) {
            page216Armed_ = false;
        }
        if (page.installerSettings) {
            pumpInstallerSettings_ = *page.installerSettings;
            settingsKnown_ = true;
        }
        applyTexts(page.texts);
        applySelections(page.comboSelections);
        for (const WidgetFlag& f : page.enabled) {
            if (QWidget* w = installer_->widget(f.objectName)) {
                w->setEnabled(f.on);
            }
        }
        applyEdits(page.edits);
        installer_->refreshEnableRules();
    } catch (const std::exception& e) {
        core_.showException(e.what());
    }
}

// --- Replies ---

void InstallerModule::showDm1Status(std::string_view text) {
    (void)text;  // the DM1 tab comes with the mask configuration
}

ReplyAcceptance InstallerModule::onConfigurationEcho(uint8_t code, std::span<const uint8_t> body) {
    if (lastImage_.empty()) {
        return ReplyAcceptance::NotAccepted;  // nothing of this kind was sent
    }
    ConfigEchoContext context;
    context.sentTelegram = lastImage_;
    context.monitorExtHeatersVisible = !installer_->gbMonitorExtHeaters->isHidden();
    context.parameterWritesFollow = parameterWritesFollow_;
    const ConfigEchoResult echo = decodeConfigEcho(code, body, context, format());
    if (echo.acceptance != ReplyAcceptance::Accepted) {
        return echo.acceptance;
    }
    applyTexts(echo.texts);
    if (echo.installDateKnown) {
        installDateKnown_ = *echo.installDateKnown;
    }
    if (echo.pumpTlOutputSetup) {
        pumpTlOutputSetup_ = *echo.pumpTlOutputSetup;
    }
    if (echo.pumpLevelSensorSetup) {
        pumpLevelSensorSetup_ = *echo.pumpLevelSensorSetup;
    }
    if (echo.installerSettings) {
        pumpInstallerSettings_ = *echo.installerSettings;
    }
    tracker_.confirm(lastImage_);
    if (echo.status && tracker_.mayReportDone()) {
        core_.setStatus(*echo.status);
    }
    return ReplyAcceptance::Accepted;
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

ReplyAcceptance InstallerModule::onParameterReadout(std::span<const uint8_t> telegram,
                                                    bool isWrite) {
    ParameterReadoutContext context;
    const auto& sent = core_.scheduler().lastSentTelegram();
    ParameterTelegramBytes last{};
    std::copy_n(sent, last.size(), last.begin());
    context.lastSent = last;
    context.retryCount = core_.scheduler().replyRetryCount();
    context.bookkeeping = bookkeeping_;
    context.idleThresholdCount = idleThresholdCount_;
    context.speedSignalDivider = speedSignalDivider_;
    context.vinText = installer_->lVIN->text().toLatin1().toStdString();
    context.monitorExtHeatersVisible = !installer_->gbMonitorExtHeaters->isHidden();
    const ParameterReadoutResult r = decodeParameterReply(telegram, isWrite, context, format());
    if (r.acceptance == ReplyAcceptance::NotAccepted) {
        return r.acceptance;
    }
    applyTexts(r.texts);
    if (r.idleThresholdCount) {
        idleThresholdCount_ = *r.idleThresholdCount;
    }
    if (r.speedSignalDivider) {
        speedSignalDivider_ = *r.speedSignalDivider;
    }
    if (r.pumpTlOutputSetup) {
        pumpTlOutputSetup_ = *r.pumpTlOutputSetup;
    }
    if (r.pumpLevelSensorSetup) {
        pumpLevelSensorSetup_ = *r.pumpLevelSensorSetup;
    }
    if (r.installDateKnown) {
        installDateKnown_ = *r.installDateKnown;
    }
    if (r.bookkeeping) {
        bookkeeping_ = *r.bookkeeping;
    }
    // The mask words (r.mask) and the DM1 state are the mask tabs' to show.
    bool showStatus = r.status.has_value();
    if (isWrite && r.acceptance == ReplyAcceptance::Accepted) {
        tracker_.confirm(telegram.first(parameter_telegram::kSize));
        // Done only when every telegram of the download has been confirmed.
        showStatus = showStatus && tracker_.mayReportDone();
    }
    if (showStatus) {
        core_.setStatus(*r.status);
    }
    return r.acceptance;
}
