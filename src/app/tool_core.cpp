#include "app/tool_core.h"

#include <QString>

#include "app/operator_messages.h"

ToolCore::ToolCore(CanDriverLibrary& library, PumpAddressSource& pumpAddress, Dialogs& dialogs,
                   ShellView& view, TJ1939TransportProtocol::Clock clock)
    : tp(std::move(clock)),
      link(library, flags, *this),
      sender(queue, connection, tp, link),
      dispatch(connection, tp, pumpAddress),
      scheduler(connection, flags, link, queue, sender, tp, view),
      dialogs_(dialogs),
      view_(view) {
    dispatch.setRxStep([this] { view_.rxStep(); });
    dispatch.setErrorHandler([this](const std::string& text) { view_.showException(text); });
    dispatch.setRoute(pgn::kRequest, {});
    dispatch.setRoute(pgn::kAddressClaimed,
                      [this](const J1939Message& m) { scheduler.onAddressClaimed(m); });
    dispatch.setRoute(pgn::kSoftwareId,
                      [this](const J1939Message&) { scheduler.onSoftwareIdentification(); });
    dispatch.setRoute(pgn::kVehicleId, [this](const J1939Message& m) {
        // One character per data byte, nothing stripped: the "*" delimiter stays.
        view_.showVin(std::string(reinterpret_cast<const char*>(m.data), m.length));
    });
}

ToolCore::~ToolCore() = default;

void ToolCore::framesReceived(std::span<const AdapterFrame> frames) {
    for (const AdapterFrame& frame : frames) {
        onAdapterFrame(frame);
    }
}

void ToolCore::onAdapterFrame(const AdapterFrame& frame) {
    if (auto decoded = decodeFrame(frame)) {
        dispatch.onFrameReceived(*decoded);
    }
}

void ToolCore::operatorMessage(int code, int number) {
    scheduler.awaitingReply = false;
    if (code == 0) {
        return;
    }
    const std::string text = operatorMessageText(code, number, notDownloadedText_);
    dialogs_.message(QString::fromStdString(text), QStringLiteral("Error"), Dialogs::Icon::Error);
}

void ToolCore::openAdapter() {
    if (!link.loaded()) {
        link.load();
    }
    link.connect(*this, &context_);
}

void ToolCore::stopReceiving() {
    flags.stopRequested = true;
    link.wakeReceiveThread();
}

void ToolCore::showLinkError(const std::string& text, const std::string& caption) {
    dialogs_.message(QString::fromStdString(text), QString::fromStdString(caption),
                     Dialogs::Icon::Error);
}
