#pragma once
// The main window's family: the main window itself, with its menu that the other families bind
// their items to, and the About and closing windows of the shell.

#include <QObject>

#include "app/tool_core.h"
#include "app/tool_module.h"

class TForm1;
class TfrmAboutBox;
class TfrmClosingApplication;
class CloseDown;

class MainWindowModule : public QObject,
                         public ToolModule,
                         public ToolMenu,
                         private MainWindowHooks {
    Q_OBJECT
  public:
    MainWindowModule(ToolCore& core, Dialogs& dialogs);
    ~MainWindowModule() override;

    TForm1& window() const { return *form_; }
    void setCloseDown(CloseDown* closeDown);
    // "About": the About box with the adapter driver's version text.
    void showAbout();
    // The windows of all families, in creation order, for the "Close" menu item.
    void setSecondaryWindows(QList<QWidget*> windows) { secondary_ = std::move(windows); }

    // ToolModule
    QList<QWidget*> windows() const override;
    void bindMenu(ToolMenu& menu) override;
    void clearPumpDisplay() override;
    QWidget* readoutWindow(ReadoutWindow window) const override;
    void attachReplies(ReplyRouter& router) override;

    // ToolMenu
    QAction* action(const char* objectName) const override;
    void bindToggle(const char* objectName, QWidget* window, bool autoSize = false) override;

  private:
    // MainWindowHooks
    void rxStep() override;
    void txStep() override;
    void txFailed() override;
    void startScheduler() override;
    void receiveThreadFinished() override;
    void pauseScheduler() override;
    void resumeScheduler() override;

    // "Close": the first secondary window that is active, in creation order.
    void closeActiveWindow();

    ToolCore& core_;
    Dialogs& dialogs_;
    TForm1* form_;
    TfrmAboutBox* about_;
    TfrmClosingApplication* closing_;
    QList<QWidget*> secondary_;
    int schedulerPauses_ = 0;
    bool schedulerWasRunning_ = false;
};
