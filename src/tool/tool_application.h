#pragma once
// The composition root: creates the protocol side and the window families (modules), registers
// each module with the shell, and wires the few interfaces one family offers another. The one
// place that knows every module.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "app/close_down.h"
#include "app/dialogs.h"
#include "app/tool_core.h"
#include "app/tool_settings.h"
#include "comm/replay_driver.h"
#include "comm/sim_bus.h"
#include "comm/trace_recorder.h"
#include "diagnostics/diagnostics_module.h"
#include "installer/installer_module.h"
#include "mainwindow/main_window_module.h"
#include "service/service_module.h"
#include "sim/pump_model.h"
#include "trends/trends_module.h"

class TForm1;

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
    // Millisecond clock of the transport protocol (tests).
    TJ1939TransportProtocol::Clock clock;
    // The built-in simulated pump, when the adapter is "simulator".
    sim::PumpOptions simulatedPump;
    // Record every frame into this file from the start (--trace).
    QString tracePath;
    // Steady microsecond clock of a replay adapter (tests).
    TraceReplayDriver::Clock replayClock;
};

class ToolApplication {
  public:
    ToolApplication(const ToolOptions& options, Dialogs& dialogs);
    ~ToolApplication();

    // Shows the main window (FormShow runs from there).
    void show();

    ToolCore& core() { return *core_; }
    TForm1& mainWindow() { return main_->window(); }
    MainWindowModule& mainModule() { return *main_; }
    ServiceModule& service() { return *service_; }
    InstallerModule& installer() { return *installer_; }
    DiagnosticsModule& diagnostics() { return *diagnostics_; }
    TrendsModule& trends() { return *trends_; }
    CloseDownState closeDownState() const { return closeDown_->state(); }
    // Every window of every family, in creation order.
    QList<QWidget*> windows() const;
    // A window by its form name ("fServiceTool"), null when no family has it.
    QWidget* window(const QString& formName) const;

    // The bus trace every adapter driver of the tool reports its frames to.
    BusTrace& busTrace() { return *busTrace_; }
    bool usesSimulator() const { return simulatorBus_ != nullptr; }
    std::shared_ptr<SimBus> simulatorBus() const { return simulatorBus_; }
    sim::SimulatorNode* simulator() const { return simulator_.get(); }

  private:
    void registerModule(ToolModule& module);

    ToolSettings settings_;
    std::shared_ptr<BusTrace> busTrace_ = std::make_shared<BusTrace>();
    std::unique_ptr<CanDriverLibrary> ownLibrary_;
    std::unique_ptr<TracingLibrary> tracingLibrary_;
    std::shared_ptr<SimBus> simulatorBus_;
    std::unique_ptr<ToolCore> core_;
    std::unique_ptr<MainWindowModule> main_;
    std::unique_ptr<ServiceModule> service_;
    std::unique_ptr<InstallerModule> installer_;
    std::unique_ptr<DiagnosticsModule> diagnostics_;
    std::unique_ptr<TrendsModule> trends_;
    std::vector<ToolModule*> modules_;
    std::unique_ptr<CloseDown> closeDown_;
    // The built-in simulated pump and sensors, when the adapter is "simulator".
    std::unique_ptr<sim::SimulatorNode> simulator_;
};

// The library behind the adapter text: the in-process simulator bus, a bus trace replay
// ("replay:FILE", "replay:FILE@10x") or a QtSerialBus plugin.
std::unique_ptr<CanDriverLibrary> makeAdapterLibrary(const QString& adapter,
                                                     std::shared_ptr<SimBus>& simulatorBus,
                                                     TraceReplayDriver::Clock replayClock = {});
