#pragma once
// The composition root: creates the protocol side and every window in start-up order, and hands
// each the references it needs. It also stands between the protocol side and the windows.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "app/about.h"
#include "app/close_down.h"
#include "app/closing_down.h"
#include "app/dialogs.h"
#include "app/shell_view.h"
#include "app/tool_core.h"
#include "app/tool_settings.h"
#include "comm/sim_bus.h"
#include "diagnostics/diagnostic_windows.h"
#include "installer/installer.h"
#include "mainwindow/main_window.h"
#include "pump/reply_decoder.h"
#include "service/secondary_windows.h"
#include "service/service_tool.h"
#include "tool/reply_host.h"

namespace sim {
class SimulatorNode;
}

struct ToolOptions {
    // "plugin:interface" or "simulator".
    QString adapter;
    // Where "tool.ini" lives.
    QString settingsPath;
    // Library to use instead of the one the adapter text names (tests).
    CanDriverLibrary* library = nullptr;
    // Seconds clock of the transport protocol (tests).
    TJ1939TransportProtocol::Clock clock;
};

class ToolApplication : public QObject, public ShellView {
    Q_OBJECT
  public:
    ToolApplication(const ToolOptions& options, Dialogs& dialogs);
    ~ToolApplication() override;

    void showAbout();
    // Shows the main window (FormShow runs from there).
    void show();

    // ShellView
    void setStatus(const std::string& text) override;
    void setPumpCommunication(bool found) override;
    void clearPumpDisplay() override;
    void resetWindowsPumpState() override;
    void noxSensorClaimed(bool upstream) override;
    void showVin(const std::string& vin) override;
    void showException(const std::string& text) override;
    void rxStep() override;
    void txStep() override;
    void startScheduler() override;
    void terminateApplication() override;
    void receiveThreadFinished() override;

    bool usesSimulator() const { return simulatorBus_ != nullptr; }
    std::shared_ptr<SimBus> simulatorBus() const { return simulatorBus_; }
    sim::SimulatorNode* simulator() const { return simulator_.get(); }
    // Called when terminateApplication runs (tests replace the default exit).
    std::function<void()> onTerminate;

    ToolSettings settings;
    std::unique_ptr<CanDriverLibrary> ownLibrary;
    std::unique_ptr<ToolCore> core;
    // Windows in the order they are created.
    TForm1* Form1 = nullptr;
    TfServiceTool* fServiceTool = nullptr;
    TfInstaller* fInstaller = nullptr;
    TPasswordDlg* PasswordDlg = nullptr;
    TfUserCalibration* fUserCalibration = nullptr;
    TfPurge* fPurge = nullptr;
    TfNOxSensor* fNOxSensor = nullptr;
    TfOBD* fOBD = nullptr;
    TfrmAboutBox* frmAboutBox = nullptr;
    TfrmClosingApplication* frmClosingApplication = nullptr;
    TfUdsErrorLog* fUdsErrorLog = nullptr;
    TfrmTorqueLimiter* frmTorqueLimiter = nullptr;
    std::unique_ptr<CloseDown> closeDown;
    std::unique_ptr<ToolReplyHost> replyHost;
    std::unique_ptr<ReplyDecoder> replyDecoder;

  private:
    void bindMenu();
    void bindToggle(QAction* item, QWidget* window, bool autoSize = false);
    // "Close": the first secondary window that is active, in creation order.
    void closeActiveWindow();
    QList<QWidget*> secondaryWindows() const;

    Dialogs& dialogs_;
    std::shared_ptr<SimBus> simulatorBus_;
    // The built-in simulated pump and sensors, when the adapter is "simulator".
    std::unique_ptr<sim::SimulatorNode> simulator_;
};

// The library behind the adapter text: the in-process simulator bus or a QtSerialBus plugin.
std::unique_ptr<CanDriverLibrary> makeAdapterLibrary(const QString& adapter,
                                                     std::shared_ptr<SimBus>& simulatorBus);
