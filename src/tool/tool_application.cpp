#include "tool/tool_application.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>

#include "app/paint_pacer.h"
#include "comm/qt_can_driver.h"
#include "pump/text_tables.h"
#include "sim/simulator_node.h"

namespace {
// The simulator bus behaves like an adapter library that is always present.
class SimulatorLibrary : public CanDriverLibrary {
  public:
    explicit SimulatorLibrary(std::shared_ptr<SimBus> bus) : bus_(std::move(bus)) {}
    LoadResult load(std::unique_ptr<CanDriver>& driver) override {
        driver = std::make_unique<SimBusDriver>(bus_);
        return LoadResult::Ok;
    }

  private:
    std::shared_ptr<SimBus> bus_;
};
}  // namespace

std::unique_ptr<CanDriverLibrary> makeAdapterLibrary(const QString& adapter,
                                                     std::shared_ptr<SimBus>& simulatorBus) {
    if (adapter.compare(kSimulatorAdapter, Qt::CaseInsensitive) == 0) {
        simulatorBus = SimBus::create();
        return std::make_unique<SimulatorLibrary>(simulatorBus);
    }
    return std::make_unique<QtCanDriverLibrary>(adapter);
}

ToolApplication::ToolApplication(const ToolOptions& options, Dialogs& dialogs)
    : settings(options.settingsPath.toStdString()), dialogs_(dialogs) {
    CanDriverLibrary* library = options.library;
    if (!library) {
        ownLibrary = makeAdapterLibrary(options.adapter, simulatorBus_);
        library = ownLibrary.get();
    }
    core = std::make_unique<ToolCore>(*library, settings, dialogs_, *this, options.clock);

    Form1 = new TForm1(*core, dialogs_);
    fServiceTool = new TfServiceTool(*core);
    fInstaller = new TfInstaller;
    PasswordDlg = new TPasswordDlg;
    fUserCalibration = new TfUserCalibration;
    fPurge = new TfPurge;
    fNOxSensor = new TfNOxSensor;
    fOBD = new TfOBD;
    frmAboutBox = new TfrmAboutBox;
    frmClosingApplication = new TfrmClosingApplication;
    fUdsErrorLog = new TfUdsErrorLog;
    frmTorqueLimiter = new TfrmTorqueLimiter;
    for (QWidget* w : secondaryWindows()) {
        w->setAttribute(Qt::WA_QuitOnClose, false);
    }
    // Read-outs change with every reply; the windows repaint at a steady pace instead.
    for (QWidget* w : {static_cast<QWidget*>(Form1), static_cast<QWidget*>(fServiceTool),
                       static_cast<QWidget*>(fInstaller), static_cast<QWidget*>(fNOxSensor),
                       static_cast<QWidget*>(fOBD), static_cast<QWidget*>(fUdsErrorLog),
                       static_cast<QWidget*>(frmTorqueLimiter)}) {
        new PaintPacer(w);
    }

    CloseDown::Hooks hooks;
    hooks.purgePending = [this] { return core->purgePending; };
    hooks.requestAllPages = [this] { core->scheduler.requestAllPages(); };
    hooks.stopRequested = [this] { return core->flags.stopRequested.load(); };
    hooks.stopReceiving = [this] { core->stopReceiving(); };
    hooks.showException = [this](const std::string& text) { showException(text); };
    closeDown = std::make_unique<CloseDown>(*fServiceTool, std::move(hooks));
    Form1->setCloseDown(closeDown.get());
    Form1->setClosingWindow(frmClosingApplication);
    Form1->onFormShow = [this] { fInstaller->accessLevel = 10; };
    Form1->onClearOtherDisplays = [this] {
        fInstaller->clearReadouts();
        fUserCalibration->lUserCalibration->setText("?");
        fOBD->clearObdStates();
        fServiceTool->clearServiceDisplay();
        fNOxSensor->clearNoxPumpDisplay();
        fUdsErrorLog->clearErrorLogDisplay();
        frmTorqueLimiter->clearTorqueLimiterDisplay();
    };
    bindMenu();

    replyHost = std::make_unique<ToolReplyHost>(*this);
    replyDecoder = std::make_unique<ReplyDecoder>(*replyHost);
    core->dispatch.setRoute(pgn::kProprietaryA,
                            [this](const J1939Message& m) { replyDecoder->decodeServiceReply(m); });
    core->setNotDownloadedTexts(
        [](int n) { return std::string(text_tables::notDownloadedText(n).value_or("")); });

    if (usesSimulator()) {
        // Nobody must take the simulated pump for a real one.
        Form1->setWindowTitle(QString(kToolTitle) + " - simulated pump");
        simulator_ = sim::SimulatorNode::onBus(simulatorBus_, sim::PumpOptions{});
        simulator_->start();
    }
}

ToolApplication::~ToolApplication() {
    // The receive thread must be gone before the windows its hand-offs reach.
    core->link.close();
    simulator_.reset();
    for (QWidget* w : secondaryWindows()) {
        delete w;
    }
    delete Form1;
}

QList<QWidget*> ToolApplication::secondaryWindows() const {
    return {fServiceTool,    fInstaller, PasswordDlg, fUserCalibration,      fPurge,
            fNOxSensor,      fOBD,       frmAboutBox, frmClosingApplication, fUdsErrorLog,
            frmTorqueLimiter};
}

void ToolApplication::bindToggle(QAction* item, QWidget* window, bool autoSize) {
    connect(item, &QAction::triggered, this, [item, window, autoSize](bool) {
        // The item's check mark mirrors the window: the click has already flipped it.
        if (window->isVisible()) {
            item->setChecked(false);
            window->close();
        } else {
            item->setChecked(true);
            if (autoSize) {
                window->adjustSize();
            }
            window->show();
            window->raise();
        }
    });
    if (auto* toolWindow = qobject_cast<ToolWindow*>(window)) {
        connect(toolWindow, &ToolWindow::closed, item, [item] { item->setChecked(false); });
    }
}

void ToolApplication::bindMenu() {
    bindToggle(Form1->NOxSensors1, fNOxSensor, true);
    bindToggle(Form1->UdsErrorlog, fUdsErrorLog);
    bindToggle(Form1->OBD1, fOBD);
    bindToggle(Form1->TorqueLimiter, frmTorqueLimiter);
    bindToggle(Form1->Service1, fServiceTool);
    bindToggle(Form1->Installer1, fInstaller);
    connect(Form1->About1, &QAction::triggered, this, [this] { showAbout(); });
    connect(Form1->Close1, &QAction::triggered, this, [this] { closeActiveWindow(); });
}

void ToolApplication::closeActiveWindow() {
    for (QWidget* w : secondaryWindows()) {
        if (w->isActiveWindow() && w->isVisible()) {
            w->close();
            return;
        }
    }
}

void ToolApplication::showAbout() {
    frmAboutBox->prepare(QString::fromStdString(core->link.versionText()));
    dialogs_.execModal(*frmAboutBox);
}

void ToolApplication::show() {
    Form1->show();
}

void ToolApplication::setStatus(const std::string& text) {
    const QString t = QString::fromStdString(text);
    Form1->setStatusText(t);
    fServiceTool->statusLabel()->setText(t);
}

void ToolApplication::setPumpCommunication(bool found) {
    Form1->setPumpCommunication(found);
    fInstaller->setDownloadEnabled(found);
}

void ToolApplication::clearPumpDisplay() {
    Form1->clearPumpDisplay();
}

void ToolApplication::resetWindowsPumpState() {
    if (fPurge->isVisible()) {
        fPurge->close();
    } else {
        core->purgePending = false;
    }
    fServiceTool->flowTestState = FlowTestState::Idle;
    fUserCalibration->calibrationStep = user_calibration::kIdle;
}

void ToolApplication::noxSensorClaimed(bool upstream) {
    fNOxSensor->sensorClaimed(upstream);
}

void ToolApplication::showVin(const std::string& vin) {
    const QString text = QString::fromLatin1(vin.data(), qsizetype(vin.size()));
    Form1->showVin(text);
    fUdsErrorLog->showVin(text);
    fInstaller->showVin(text);
}

void ToolApplication::showException(const std::string& text) {
    dialogs_.message(QString::fromStdString(text), QApplication::applicationName(),
                     Dialogs::Icon::Error);
}

void ToolApplication::rxStep() {
    Form1->rxStep();
}
void ToolApplication::txStep() {
    Form1->txStep();
}
void ToolApplication::startScheduler() {
    Form1->tmrTx->start();
}

void ToolApplication::terminateApplication() {
    if (onTerminate) {
        onTerminate();
        return;
    }
    std::exit(1);
}

void ToolApplication::receiveThreadFinished() {
    Form1->close();
}
