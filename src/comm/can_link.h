#pragma once
// The adapter link: the only place that touches the CAN adapter. Everything runs on the main thread
// except the adapter reads of the receive thread.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "comm/can_driver.h"
#include "comm/connection_state.h"
#include "comm/link_flags.h"
#include "comm/receive_thread.h"

inline constexpr int kTxProgressMax = 20;

// What the link needs from the application around it.
class CanLinkHost {
  public:
    virtual ~CanLinkHost() = default;
    // An error message box with the error icon.
    virtual void showLinkError(const std::string& text, const std::string& caption) = 0;
    // The adapter library is missing: the application ends after the message.
    virtual void terminateApplication() = 0;
    // The adapter library is ready: the scheduler timer starts.
    virtual void linkReady() = 0;
    virtual void setStatus(std::string_view text) = 0;
    // The Tx progress indicator advances one step for a frame the adapter took; a frame it
    // refused shows as a failure there.
    virtual void txStep() = 0;
    virtual void txFailed() = 0;
    // The receive thread has ended (the main window closes from here).
    virtual void receiveThreadFinished() = 0;
};

class CanLink : public FrameWriter {
  public:
    CanLink(CanDriverLibrary& library, LinkFlags& flags, CanLinkHost& host);
    ~CanLink() override;

    bool loaded() const { return loaded_; }
    bool ready() const { return driver_ != nullptr; }
    bool opened() const { return opened_; }

    void load();
    // `sink` receives the frames; `mainThread` is the object whose event loop runs the hand-offs.
    void connect(ReceiveSink& sink, QObject* mainThread);
    // False when the frame did not reach the adapter. Consecutive refused writes lose the link as
    // consecutive failed reads do: ten of them, or a bus-off at once.
    bool write(const J1939Frame& frame) override;
    // Re-opens the adapter after a link loss; the link stays lost while the adapter does not
    // come back.
    void reinitialise();
    std::string versionText();
    void close();

    // Asks the receive thread to look at its flags now (the close-down's stop).
    void wakeReceiveThread();
    TreadThread* receiveThread() { return thread_.get(); }
    CanDriver* driver() { return driver_.get(); }

  private:
    CanDriverLibrary& library_;
    LinkFlags& flags_;
    CanLinkHost& host_;
    std::unique_ptr<CanDriver> driver_;
    std::unique_ptr<TreadThread> thread_;
    bool loaded_ = false;
    bool opened_ = false;
    int writeErrors_ = 0;
};
