#include "app/tool_core.h"

#include <QApplication>
#include <QLabel>
#include <cstdlib>

#include "app/operator_messages.h"
#include "pump/text_tables.h"

// --- DeferringDialogs ---

void DeferringDialogs::message(const QString& text, const QString& caption, Icon icon) {
    if (handOffDepth_ > 0 || flushing_) {
        pending_.push_back({text, caption, icon});
        return;
    }
    dialogs_.message(text, caption, icon);
}

void DeferringDialogs::flush() {
    if (flushing_ || handOffDepth_ > 0) {
        return;  // the outer flush shows them
    }
    flushing_ = true;
    // A box lets the event loop run: hand-offs (and their messages) go on while it is open.
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        const Pending p = pending_[i];
        dialogs_.message(p.text, p.caption, p.icon);
    }
    pending_.clear();
    flushing_ = false;
}

// --- ToolCore ---

ToolCore::ToolCore(CanDriverLibrary& library, ToolSettings& settings, Dialogs& dialogs,
                   TJ1939TransportProtocol::Clock clock)
    : settings_(settings),
      dialogs_(dialogs),
      tp_(std::move(clock)),
      link_(library, flags_, *this),
      scheduler_(connection_, flags_, link_, queue_, tp_, *this),
      dispatch_(connection_, tp_),
      decoder_(*this),
      pages_(PumpPageDisplay::Targets{
          [this](ReadoutWindow w) { return readoutWindow(w); },
          [this](PumpSoftwareVersion v) { scheduler_.setPumpSoftwareVersion(v); }}) {
    decoder_.attach(pages_);
    settings_.onProblem = [this](const std::string& text) { notifyOperator(text); };
    connection_.configuredPumpAddress = settings_.reload();
    QObject::connect(&settings_, &ToolSettings::pumpAddressChanged, &context_, [this](int address) {
        scheduler_.setConfiguredPumpAddress(static_cast<uint8_t>(address));
    });
    setupRoutes();
}

ToolCore::~ToolCore() = default;

void ToolCore::setupRoutes() {
    dispatch_.setRxStep([this] {
        if (mainWindow_) {
            mainWindow_->rxStep();
        }
    });
    dispatch_.setErrorHandler([this](const std::string& text) { showException(text); });
    dispatch_.setRoute(pgn::kRequest, RouteFilter::fromAnyone(),
                       [this](const J1939Message& m) { scheduler_.onRequest(m); });
    dispatch_.setRoute(pgn::kAddressClaimed, RouteFilter::fromAnyone(),
                       [this](const J1939Message& m) { scheduler_.onAddressClaimed(m); });
    dispatch_.setRoute(pgn::kProprietaryA, RouteFilter::replyFromPump(),
                       [this](const J1939Message& m) { decoder_.decodeServiceReply(m); });
    dispatch_.setRoute(pgn::kSoftwareId, RouteFilter::fromPump(),
                       [this](const J1939Message&) { scheduler_.onSoftwareIdentification(); });
    dispatch_.setRoute(pgn::kVehicleId, RouteFilter::fromPump(), [this](const J1939Message& m) {
        // One character per data byte, nothing stripped: the "*" delimiter stays.
        showVin(std::string(reinterpret_cast<const char*>(m.data), m.length));
    });
    // Other nodes on a vehicle send the same gas groups: only the sensors' addresses count.
    const auto sensor = [this](bool upstream) {
        return [this, upstream](const J1939Message& m) {
            for (const auto& handler : sensorDataHandlers_) {
                handler(upstream, m);
            }
        };
    };
    dispatch_.setRoute(pgn::kIntakeGas, RouteFilter::fromAddress(kUpstreamNoxAddress),
                       sensor(true));
    dispatch_.setRoute(pgn::kOutletGas, RouteFilter::fromAddress(kDownstreamNoxAddress),
                       sensor(false));
}

void ToolCore::registerModule(ToolModule& module) {
    modules_.push_back(&module);
    module.attachReplies(*this);
}

QWidget* ToolCore::readoutWindow(ReadoutWindow window) const {
    for (ToolModule* m : modules_) {
        if (QWidget* w = m->readoutWindow(window)) {
            return w;
        }
    }
    return nullptr;
}

void ToolCore::framesReceived(std::span<const AdapterFrame> frames) {
    dialogs_.beginHandOff();
    for (const AdapterFrame& frame : frames) {
        onAdapterFrame(frame);
    }
    dialogs_.endHandOff();
}

void ToolCore::handOver(std::span<const AdapterFrame> frames) {
    framesReceived(frames);
    handOffFinished();
}

void ToolCore::onAdapterFrame(const AdapterFrame& frame) {
    if (auto decoded = decodeFrame(frame)) {
        dispatch_.onFrameReceived(*decoded);
    }
}

void ToolCore::setStatus(std::string_view text) {
    const QString t = QString::fromUtf8(text.data(), qsizetype(text.size()));
    for (const auto& [label, mainOnly] : statusLabels_) {
        (void)mainOnly;
        label->setText(t);
    }
}

void ToolCore::setMainStatusOnly(std::string_view text) {
    const QString t = QString::fromUtf8(text.data(), qsizetype(text.size()));
    for (const auto& [label, mainOnly] : statusLabels_) {
        if (mainOnly) {
            label->setText(t);
        }
    }
}

void ToolCore::addStatusLabel(QLabel* label, bool mainOnly) {
    statusLabels_.emplace_back(label, mainOnly);
}

void ToolCore::operatorMessage(int code, int number) {
    scheduler_.endReplyWait();
    if (code == 0) {
        return;
    }
    const std::string text = operatorMessageText(code, number, [](int n) {
        return std::string(text_tables::notDownloadedText(n).value_or(""));
    });
    dialogs_.message(QString::fromStdString(text), QStringLiteral("Error"), Dialogs::Icon::Error);
}

void ToolCore::stepReceiveIndicator() {
    if (mainWindow_) {
        mainWindow_->rxStep();
    }
}

void ToolCore::clearPumpDisplay() {
    for (ToolModule* m : modules_) {
        m->clearPumpDisplay();
    }
}

void ToolCore::setPumpCommunication(bool found) {
    for (const auto& handler : pumpCommunicationHandlers_) {
        handler(found);
    }
}

void ToolCore::resetWindowsPumpState() {
    for (ToolModule* m : modules_) {
        m->pumpForgotten();
    }
}

void ToolCore::noxSensorClaimed(bool upstream) {
    for (const auto& handler : sensorClaimHandlers_) {
        handler(upstream);
    }
}

void ToolCore::showVin(const std::string& vin) {
    const QString text = QString::fromLatin1(vin.data(), qsizetype(vin.size()));
    for (const auto& handler : vinHandlers_) {
        handler(text);
    }
}

void ToolCore::showException(const std::string& text) {
    dialogs_.message(QString::fromStdString(text), QApplication::applicationName(),
                     Dialogs::Icon::Error);
}

void ToolCore::notifyOperator(const std::string& text) {
    dialogs_.message(QString::fromStdString(text), QApplication::applicationName(),
                     Dialogs::Icon::Warning);
}

void ToolCore::showLinkError(const std::string& text, const std::string& caption) {
    dialogs_.message(QString::fromStdString(text), QString::fromStdString(caption),
                     Dialogs::Icon::Error);
}

void ToolCore::terminateApplication() {
    if (onTerminate) {
        onTerminate();
        return;
    }
    std::exit(1);
}

void ToolCore::linkReady() {
    settings_.watch();
    if (mainWindow_) {
        mainWindow_->startScheduler();
    }
}

void ToolCore::txStep() {
    if (mainWindow_) {
        mainWindow_->txStep();
    }
}

void ToolCore::txFailed() {
    if (mainWindow_) {
        mainWindow_->txFailed();
    }
}

void ToolCore::pauseScheduler() {
    if (mainWindow_) {
        mainWindow_->pauseScheduler();
    }
}

void ToolCore::resumeScheduler() {
    if (mainWindow_) {
        mainWindow_->resumeScheduler();
    }
}

void ToolCore::receiveThreadFinished() {
    if (mainWindow_) {
        mainWindow_->receiveThreadFinished();
    }
}

void ToolCore::openAdapter() {
    if (!link_.loaded()) {
        link_.load();
    }
    link_.connect(*this, &context_);
}

void ToolCore::stopReceiving() {
    flags_.stopRequested = true;
    link_.wakeReceiveThread();
}
