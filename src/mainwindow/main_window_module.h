#pragma once
// The main window's family: the main window itself, with its menu that the other families bind
// their items to, and the About and closing windows of the shell.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "app/tool_core.h"
#include "app/tool_module.h"
#include "comm/trace_recorder.h"

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

    // "File > Record bus trace...": every frame the tool receives and sends, with its time, in a
    // candump log. The trace is the one every adapter driver of the tool reports to.
    void setBusTrace(std::shared_ptr<BusTrace> trace);
    // Starts recording into `path` and checks the menu item; false (after telling the operator
    // why) when the file cannot be written.
    bool startBusTrace(const QString& path);
    // Ends the recording; the operator hears of frames that did not make it into the file.
    void stopBusTrace();
    // The menu item: asks for a file and starts, or stops.
    void recordBusTraceClicked();
    // How a recording started from here stamps its frames (tests give a fake clock).
    BusTrace::Options traceOptions;
    // The time the proposed file name carries.
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

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
    // The writer could not write on (main thread).
    void busTraceFailed(const QString& error);
    void showBusTraceState();

    ToolCore& core_;
    Dialogs& dialogs_;
    TForm1* form_;
    TfrmAboutBox* about_;
    TfrmClosingApplication* closing_;
    QList<QWidget*> secondary_;
    int schedulerPauses_ = 0;
    bool schedulerWasRunning_ = false;
    std::shared_ptr<BusTrace> trace_;
};

// Where "Record bus trace..." proposes to put a trace: the "log" folder beside the executable
// when that folder can be written, otherwise the user's documents folder.
QString busTraceFolder(const QString& executableFolder, bool executableFolderWritable,
                       const QString& documentsFolder);
// "trace-YYYYMMDD-HHMMSS.log" for the moment the recording starts.
QString busTraceFileName(const QDateTime& when);
inline constexpr const char* kBusTraceCaption = "Record bus trace";
