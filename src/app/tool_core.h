#pragma once
// The tool's protocol side in one place: link flags, addresses, transport protocol, transmit queue,
// adapter link, receive dispatch, scheduler, reply decoder, status-page display and operator
// messages; and the registry of the window families (modules) it serves. Nothing here knows a
// window except through the module seam (tool_module.h) and the main window's hooks.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/page_display.h"
#include "app/pump_connection.h"
#include "app/shell_view.h"
#include "app/tool_module.h"
#include "app/tool_settings.h"
#include "comm/can_link.h"
#include "comm/connection_state.h"
#include "comm/link_flags.h"
#include "comm/proprietary_queue.h"
#include "comm/receive_dispatch.h"
#include "comm/receive_thread.h"
#include "comm/transport_protocol.h"
#include "pump/reply_decoder.h"

class QLabel;

// What the shell needs of the main window beyond its read-outs.
class MainWindowHooks {
  public:
    virtual ~MainWindowHooks() = default;
    virtual void rxStep() = 0;
    virtual void txStep() = 0;
    virtual void txFailed() = 0;
    // The adapter library is ready: the scheduler timer starts.
    virtual void startScheduler() = 0;
    // The receive thread has ended: the main window closes.
    virtual void receiveThreadFinished() = 0;
    // The scheduler timer stops until the matching resume (pauses nest); a timer that was not
    // running stays stopped.
    virtual void pauseScheduler() = 0;
    virtual void resumeScheduler() = 0;
};

// Dialogs that wait while a receive hand-off runs: a message box opened from inside one would
// hold the receive thread (and the adapter's frames) for as long as it stays open. Their messages
// are shown, in order, as soon as the hand-off has returned. Questions and file dialogs are never
// asked from a hand-off and pass straight through.
class DeferringDialogs : public Dialogs {
  public:
    explicit DeferringDialogs(Dialogs& dialogs) : dialogs_(dialogs) {}

    void message(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption, Icon icon) override {
        return dialogs_.askYesNo(text, caption, icon);
    }
    QString openFileName(const QString& caption, const QString& filter,
                         const QString& defaultName) override {
        return dialogs_.openFileName(caption, filter, defaultName);
    }
    QString saveFileName(const QString& caption, const QString& filter,
                         const QString& defaultName) override {
        return dialogs_.saveFileName(caption, filter, defaultName);
    }
    int execModal(QDialog& dialog) override { return dialogs_.execModal(dialog); }

    void beginHandOff() { ++handOffDepth_; }
    void endHandOff() { --handOffDepth_; }
    // Shows what waited; messages that come up meanwhile (a hand-off runs while a box is open)
    // join the end of the line.
    void flush();

  private:
    struct Pending {
        QString text;
        QString caption;
        Icon icon;
    };
    Dialogs& dialogs_;
    int handOffDepth_ = 0;
    bool flushing_ = false;
    std::vector<Pending> pending_;
};

class ToolCore : public ReceiveSink,
                 public ReplyRouter,
                 private ReplyBookkeeping,
                 private ShellView,
                 private CanLinkHost {
  public:
    ToolCore(CanDriverLibrary& library, ToolSettings& settings, Dialogs& dialogs,
             TJ1939TransportProtocol::Clock clock = {});
    ~ToolCore() override;

    // --- Modules ---
    void setMainWindow(MainWindowHooks& hooks) { mainWindow_ = &hooks; }
    // Plugs a module's replies in and keeps it for the display clears and read-out targets.
    void registerModule(ToolModule& module);
    QWidget* readoutWindow(ReadoutWindow window) const;
    // What the application does when the adapter library is missing (tests replace the exit).
    std::function<void()> onTerminate;

    // --- ReceiveSink: runs on the main thread inside the receive thread's hand-off ---
    void framesReceived(std::span<const AdapterFrame> frames) override;
    void linkLostDeclared() override { flags_.linkLost = true; }
    void handOffFinished() override { dialogs_.flush(); }
    // One hand-off as the receive thread makes it (tests and benchmarks feed frames here).
    void handOver(std::span<const AdapterFrame> frames);

    // --- What the windows use ---
    Dialogs& dialogs() { return dialogs_; }
    // Both status labels (ShellView and ReplyBookkeeping alike).
    void setStatus(std::string_view text) override;
    // Ends the wait for the current reply; shows the dialog for every code but 0.
    void operatorMessage(int code, int number = 0);
    ProprietarySender& sender() { return scheduler_.sender(); }
    // Holds the scheduler timer while a window builds a sequence that must leave whole: nothing
    // is sent and no reply is chased until resumeScheduler().
    void pauseScheduler();
    void resumeScheduler();
    PumpConnection& scheduler() { return scheduler_; }
    const PumpConnection& scheduler() const { return scheduler_; }
    TProperitaryQueue& queue() { return queue_; }
    CanLink& link() { return link_; }
    LinkFlags& flags() { return flags_; }
    const ConnectionState& connection() const { return connection_; }
    ReplyDecoder& replyDecoder() { return decoder_; }
    PumpPageDisplay& pageDisplay() { return pages_; }
    // Every pump read-out of every window back to "?".
    void clearPumpDisplay() override;
    // A failure caught at a handler's boundary, in the framework's error box.
    void showException(const std::string& text) override;

    // Opens the adapter library and the adapter (FormShow's steps).
    void openAdapter();
    // Asks the receive thread to end (the close-down's last step).
    void stopReceiving();
    // The object on the main thread through whose event loop the hand-offs run.
    QObject* mainThreadContext() { return &context_; }

    // --- ReplyRouter ---
    void attach(ServiceReplies& replies) override { decoder_.attach(replies); }
    void attach(CalibrationReplies& replies) override { decoder_.attach(replies); }
    void attach(InstallerReplies& replies) override { decoder_.attach(replies); }
    void attach(DiagnosticsReplies& replies) override { decoder_.attach(replies); }
    void addPageObserver(PageObserver& observer) override { pages_.addObserver(observer); }
    void setInstallerView(const InstallerViewSource& source) override {
        pages_.setInstallerView(source);
    }
    void addStatusLabel(QLabel* label, bool mainOnly) override;
    void onVin(std::function<void(const QString&)> handler) override {
        vinHandlers_.push_back(std::move(handler));
    }
    void onSensorClaimed(std::function<void(bool upstream)> handler) override {
        sensorClaimHandlers_.push_back(std::move(handler));
    }
    void onSensorData(std::function<void(bool upstream, const J1939Message&)> handler) override {
        sensorDataHandlers_.push_back(std::move(handler));
    }
    void onPumpCommunication(std::function<void(bool found)> handler) override {
        pumpCommunicationHandlers_.push_back(std::move(handler));
    }

  private:
    void onAdapterFrame(const AdapterFrame& frame);
    void setupRoutes();

    // ReplyBookkeeping
    void clearAwaitingReply() override { scheduler_.endReplyWait(); }
    void setServiceReplyReceived() override { scheduler_.replyAccepted(); }
    PumpSoftwareVersion pumpSoftwareVersion() const override {
        return scheduler_.pumpSoftwareVersion();
    }
    void setMainStatusOnly(std::string_view text) override;
    void operatorMessage(int code, long long number) override {
        operatorMessage(code, static_cast<int>(number));
    }
    void stepReceiveIndicator() override;

    // ShellView (the scheduler's view of the windows)
    void setPumpCommunication(bool found) override;
    void resetWindowsPumpState() override;
    void noxSensorClaimed(bool upstream) override;
    void notifyOperator(const std::string& text) override;
    void showVin(const std::string& vin);

    // CanLinkHost
    void showLinkError(const std::string& text, const std::string& caption) override;
    void terminateApplication() override;
    void linkReady() override;
    void txStep() override;
    void txFailed() override;
    void receiveThreadFinished() override;

    ToolSettings& settings_;
    DeferringDialogs dialogs_;
    LinkFlags flags_;
    ConnectionState connection_;
    TJ1939TransportProtocol tp_;
    TProperitaryQueue queue_;
    CanLink link_;
    PumpConnection scheduler_;
    ReceiveDispatch dispatch_;
    ReplyDecoder decoder_;
    PumpPageDisplay pages_;
    QObject context_;

    MainWindowHooks* mainWindow_ = nullptr;
    std::vector<ToolModule*> modules_;
    std::vector<std::pair<QLabel*, bool>> statusLabels_;
    std::vector<std::function<void(const QString&)>> vinHandlers_;
    std::vector<std::function<void(bool)>> sensorClaimHandlers_;
    std::vector<std::function<void(bool, const J1939Message&)>> sensorDataHandlers_;
    std::vector<std::function<void(bool)>> pumpCommunicationHandlers_;
};
