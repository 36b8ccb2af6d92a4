#include "mainwindow/main_window_module.h"

#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStandardPaths>
#include <QTimer>

#include "app/about.h"
#include "app/closing_down.h"
#include "app/tool_window.h"
#include "mainwindow/main_window.h"

MainWindowModule::MainWindowModule(ToolCore& core, Dialogs& dialogs)
    : core_(core),
      dialogs_(dialogs),
      form_(new TForm1(core, dialogs)),
      about_(new TfrmAboutBox),
      closing_(new TfrmClosingApplication) {
    about_->setAttribute(Qt::WA_QuitOnClose, false);
    closing_->setAttribute(Qt::WA_QuitOnClose, false);
    form_->setClosingWindow(closing_);
    core_.setMainWindow(*this);
}

MainWindowModule::~MainWindowModule() {
    delete closing_;
    delete about_;
    delete form_;
}

void MainWindowModule::setCloseDown(CloseDown* closeDown) {
    form_->setCloseDown(closeDown);
}

QList<QWidget*> MainWindowModule::windows() const {
    return {form_, about_, closing_};
}

void MainWindowModule::bindMenu(ToolMenu&) {
    connect(form_->About1, &QAction::triggered, this, [this] { showAbout(); });
    connect(form_->Close1, &QAction::triggered, this, [this] { closeActiveWindow(); });
    connect(form_->RecordBusTrace1, &QAction::triggered, this, [this] { recordBusTraceClicked(); });
}

void MainWindowModule::clearPumpDisplay() {
    form_->clearPumpDisplay();
}

QWidget* MainWindowModule::readoutWindow(ReadoutWindow window) const {
    return window == ReadoutWindow::Main ? form_ : nullptr;
}

void MainWindowModule::attachReplies(ReplyRouter& router) {
    router.addStatusLabel(form_->lStatus, true);
    router.onVin([this](const QString& vin) { form_->showVin(vin); });
    router.onPumpCommunication([this](bool found) { form_->setPumpCommunication(found); });
}

QAction* MainWindowModule::action(const char* objectName) const {
    return form_->findChild<QAction*>(objectName);
}

void MainWindowModule::bindToggle(const char* objectName, QWidget* window, bool autoSize) {
    QAction* item = action(objectName);
    if (!item || !window) {
        return;
    }
    connect(item, &QAction::triggered, window, [item, window, autoSize](bool) {
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

void MainWindowModule::showAbout() {
    about_->prepare(QString::fromStdString(core_.link().versionText()));
    dialogs_.execModal(*about_);
}

void MainWindowModule::closeActiveWindow() {
    for (QWidget* w : secondary_) {
        if (w->isActiveWindow() && w->isVisible()) {
            w->close();
            return;
        }
    }
}

void MainWindowModule::rxStep() {
    form_->rxStep();
}

void MainWindowModule::txStep() {
    form_->txStep();
}

void MainWindowModule::txFailed() {
    form_->txFailed();
}

void MainWindowModule::startScheduler() {
    form_->tmrTx->start();
}

void MainWindowModule::receiveThreadFinished() {
    form_->close();
}

void MainWindowModule::pauseScheduler() {
    if (schedulerPauses_++ == 0) {
        schedulerWasRunning_ = form_->tmrTx->isActive();
        form_->tmrTx->stop();
    }
}

void MainWindowModule::resumeScheduler() {
    if (schedulerPauses_ == 0) {
        return;
    }
    if (--schedulerPauses_ == 0 && schedulerWasRunning_) {
        form_->tmrTx->start();
    }
}
void MainWindowModule::setBusTrace(std::shared_ptr<BusTrace> trace) {
    trace_ = std::move(trace);
    if (trace_) {
        trace_->onWriteError = [this](const std::string& error) {
            // Called on the trace's writer thread: the operator hears of it on the main thread.
            QMetaObject::invokeMethod(
                this, [this, text = QString::fromStdString(error)] { busTraceFailed(text); },
                Qt::QueuedConnection);
        };
    }
    showBusTraceState();
}

bool MainWindowModule::startBusTrace(const QString& path) {
    if (!trace_) {
        return false;
    }
    std::string error;
    if (!trace_->start(path.toStdString(), error, traceOptions)) {
        showBusTraceState();
        dialogs_.message(QString("The bus trace \"%1\" cannot be written: %2.")
                             .arg(QDir::toNativeSeparators(path), QString::fromStdString(error)),
                         kBusTraceCaption, Dialogs::Icon::Error);
        return false;
    }
    showBusTraceState();
    return true;
}

void MainWindowModule::stopBusTrace() {
    if (!trace_) {
        return;
    }
    const BusTrace::Summary summary = trace_->stop();
    showBusTraceState();
    if (summary.path.empty()) {
        return;
    }
    const QString path = QDir::toNativeSeparators(QString::fromStdString(summary.path));
    if (!summary.error.empty()) {
        dialogs_.message(QString("The bus trace \"%1\" could not be written on: %2. The "
                                 "recording has stopped; %3 frames reached the file.")
                             .arg(path, QString::fromStdString(summary.error))
                             .arg(summary.written),
                         kBusTraceCaption, Dialogs::Icon::Error);
    } else if (summary.dropped > 0) {
        dialogs_.message(QString("%1 frames could not be recorded in \"%2\": the disk did not "
                                 "keep up with the bus.")
                             .arg(summary.dropped)
                             .arg(path),
                         kBusTraceCaption, Dialogs::Icon::Warning);
    }
}

void MainWindowModule::recordBusTraceClicked() {
    if (trace_ && trace_->recording()) {
        stopBusTrace();
        return;
    }
    const QString executable = QCoreApplication::applicationDirPath();
    const bool writable = ::access(QFile::encodeName(executable).constData(), W_OK) == 0;
    const QString folder = busTraceFolder(
        executable, writable, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    QDir().mkpath(folder);
    const QString path =
        dialogs_.saveFileName(kBusTraceCaption, "Bus traces (*.log);;All files (*)",
                              QDir(folder).filePath(busTraceFileName(now())));
    if (path.isEmpty()) {
        showBusTraceState();
        return;
    }
    startBusTrace(path);
}

void MainWindowModule::busTraceFailed(const QString&) {
    // Still open: stopping closes it and tells the operator what the file holds.
    if (trace_ && !trace_->path().empty()) {
        stopBusTrace();
    }
}

void MainWindowModule::showBusTraceState() {
    QAction* item = form_->RecordBusTrace1;
    const bool recording = trace_ && trace_->recording();
    item->setChecked(recording);
    const QString tip =
        recording
            ? "Recording to " + QDir::toNativeSeparators(QString::fromStdString(trace_->path()))
            : QString();
    item->setToolTip(tip);
    item->setStatusTip(tip);
}

QString busTraceFolder(const QString& executableFolder, bool executableFolderWritable,
                       const QString& documentsFolder) {
    if (executableFolderWritable && !executableFolder.isEmpty()) {
        return QDir(executableFolder).filePath("log");
    }
    return documentsFolder.isEmpty() ? QDir::homePath() : documentsFolder;
}

QString busTraceFileName(const QDateTime& when) {
    return "trace-" + when.toString("yyyyMMdd-HHmmss") + ".log";
}
