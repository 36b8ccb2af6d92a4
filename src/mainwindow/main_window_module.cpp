#include "mainwindow/main_window_module.h"

#include <QAction>
#include <QLabel>
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
