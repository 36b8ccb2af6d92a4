#include "tool/tool_application.h"

#include <QFileInfo>

#include "app/about.h"
#include "app/paint_pacer.h"
#include "comm/qt_can_driver.h"
#include "mainwindow/main_window.h"
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
                                                     std::shared_ptr<SimBus>& simulatorBus,
                                                     TraceReplayDriver::Clock replayClock) {
    if (adapter.compare(kSimulatorAdapter, Qt::CaseInsensitive) == 0) {
        simulatorBus = SimBus::create();
        return std::make_unique<SimulatorLibrary>(simulatorBus);
    }
    if (auto replay = parseReplayAdapter(adapter.toStdString())) {
        return std::make_unique<TraceReplayLibrary>(std::move(*replay), std::move(replayClock));
    }
    return std::make_unique<QtCanDriverLibrary>(adapter);
}

ToolApplication::ToolApplication(const ToolOptions& options, Dialogs& dialogs)
    : settings_(options.settingsPath.toStdString()) {
    CanDriverLibrary* library = options.library;
    if (!library) {
        ownLibrary_ = makeAdapterLibrary(options.adapter, simulatorBus_, options.replayClock);
        library = ownLibrary_.get();
    }
    // Every frame the adapter reads or takes passes the bus trace's tap.
    tracingLibrary_ = std::make_unique<TracingLibrary>(*library, busTrace_);
    core_ = std::make_unique<ToolCore>(*tracingLibrary_, settings_, dialogs, options.clock);
    Dialogs& shown = core_->dialogs();

    // One registration line a family.
    main_ = std::make_unique<MainWindowModule>(*core_, shown);
    service_ = std::make_unique<ServiceModule>(*core_);
    installer_ = std::make_unique<InstallerModule>(*core_, *service_);
    diagnostics_ = std::make_unique<DiagnosticsModule>(*core_);
    for (ToolModule* m : std::initializer_list<ToolModule*>{main_.get(), service_.get(),
                                                            installer_.get(), diagnostics_.get()}) {
        registerModule(*m);
    }
    registerModule(*(trends_ = std::make_unique<TrendsModule>(*core_)));

    // What one family offers another.
    CloseDown::Hooks hooks;
    // The reset queued just before must not be thrown away with the polls.
    hooks.requestAllPages = [this] { core_->scheduler().requestAllPages(true); };
    hooks.stopRequested = [this] { return core_->flags().stopRequested.load(); };
    hooks.stopReceiving = [this] { core_->stopReceiving(); };
    hooks.showException = [this](const std::string& text) { core_->showException(text); };
    hooks.warnOperator = [this](const std::string& text) {
        core_->dialogs().message(QString::fromStdString(text), kToolTitle, Dialogs::Icon::Warning);
    };
    closeDown_ = std::make_unique<CloseDown>(*service_, std::move(hooks));
    main_->setCloseDown(closeDown_.get());
    installer_->setUserCalibrationOpener(service_.get());
    main_->window().onFormShow = [this] { installer_->resetAccess(); };
    QList<QWidget*> secondary = windows();
    secondary.removeAll(&main_->window());
    main_->setSecondaryWindows(secondary);

    main_->setBusTrace(busTrace_);
    if (auto* replay = dynamic_cast<TraceReplayLibrary*>(ownLibrary_.get())) {
        // Read when the adapter is loaded (FormShow): what is wrong with the file is told then.
        replay->onProblem = [this](const std::string& text) {
            core_->dialogs().message(QString::fromStdString(text), "Bus trace replay",
                                     Dialogs::Icon::Warning);
        };
        main_->window().setWindowTitle(
            QString(kToolTitle) + " - replay of " +
            QFileInfo(QString::fromStdString(replay->adapter().path)).fileName());
    }
    if (!options.tracePath.isEmpty()) {
        main_->startBusTrace(options.tracePath);
    }

    if (usesSimulator()) {
        // Nobody must take the simulated pump for a real one.
        main_->window().setWindowTitle(QString(kToolTitle) + " - simulated pump");
        simulator_ = sim::SimulatorNode::onBus(simulatorBus_, options.simulatedPump);
        simulator_->start();
    }
}

ToolApplication::~ToolApplication() {
    // The receive thread must be gone before the windows its hand-offs reach.
    core_->link().close();
    // Every frame has passed the tap now: the trace is complete.
    busTrace_->stop();
    busTrace_->onWriteError = nullptr;
    simulator_.reset();
    trends_.reset();
    diagnostics_.reset();
    installer_.reset();
    service_.reset();
    main_.reset();
}

void ToolApplication::registerModule(ToolModule& module) {
    modules_.push_back(&module);
    core_->registerModule(module);
    module.bindMenu(*main_);
    // Read-outs change with every reply; the windows repaint at a steady pace instead.
    for (QWidget* w : module.windows()) {
        if (qobject_cast<QDialog*>(w) == nullptr) {
            new PaintPacer(w);
        }
    }
}

QList<QWidget*> ToolApplication::windows() const {
    QList<QWidget*> all;
    for (ToolModule* m : modules_) {
        all += m->windows();
    }
    return all;
}

QWidget* ToolApplication::window(const QString& formName) const {
    for (QWidget* w : windows()) {
        if (w->objectName() == formName) {
            return w;
        }
    }
    return nullptr;
}

void ToolApplication::show() {
    main_->window().show();
}
