#pragma once
// The tool's protocol side in one place: link flags, addresses, transport protocol, transmit queue,
// adapter link, receive dispatch, scheduler and operator messages. The windows see it through
// references handed out by the composition root; nothing here knows a window except through
// ShellView and Dialogs.

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "app/dialogs.h"
#include "app/pump_connection.h"
#include "app/shell_view.h"
#include "app/tool_settings.h"
#include "comm/can_link.h"
#include "comm/connection_state.h"
#include "comm/link_flags.h"
#include "comm/proprietary_queue.h"
#include "comm/receive_dispatch.h"
#include "comm/receive_thread.h"
#include "comm/transport_protocol.h"

class ToolCore : public ReceiveSink, private CanLinkHost {
  public:
    ToolCore(CanDriverLibrary& library, PumpAddressSource& pumpAddress, Dialogs& dialogs,
             ShellView& view, TJ1939TransportProtocol::Clock clock = {});
    ~ToolCore() override;

    // ReceiveSink: runs on the main thread inside the receive thread's hand-off.
    void framesReceived(std::span<const AdapterFrame> frames) override;
    void linkLostDeclared() override { flags.linkLost = true; }

    // One received adapter frame, as the hand-off delivers it.
    void onAdapterFrame(const AdapterFrame& frame);

    // Status line and numbered operator messages.
    void setStatus(const std::string& text) override { view_.setStatus(text); }
    // Ends the wait for the current reply; shows the dialog for every code but 0.
    void operatorMessage(int code, int number = 0);
    void setNotDownloadedTexts(std::function<std::string(int)> lookup) {
        notDownloadedText_ = std::move(lookup);
    }

    // Opens the adapter library and the adapter (FormShow's steps).
    void openAdapter();
    // Asks the receive thread to end (the close-down's last step).
    void stopReceiving();

    // The object on the main thread through whose event loop the hand-offs run.
    QObject* mainThreadContext() { return &context_; }

    LinkFlags flags;
    ConnectionState connection;
    TJ1939TransportProtocol tp;
    TProperitaryQueue queue;
    CanLink link;
    ProprietarySender sender;
    ReceiveDispatch dispatch;
    PumpConnection scheduler;
    bool purgePending = false;

  private:
    // CanLinkHost
    void showLinkError(const std::string& text, const std::string& caption) override;
    void terminateApplication() override { view_.terminateApplication(); }
    void linkReady() override { view_.startScheduler(); }
    void txStep() override { view_.txStep(); }
    void receiveThreadFinished() override { view_.receiveThreadFinished(); }

    Dialogs& dialogs_;
    ShellView& view_;
    QObject context_;
    std::function<std::string(int)> notDownloadedText_;
};
