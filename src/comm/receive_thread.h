#pragma once
// The tool's only worker thread: it wakes every 5 ms (or at once when signalled), drains everything
// the adapter holds and hands the frames over to the main thread synchronously, in arrival order,
// blocking until they have been processed. It also decides when the adapter link counts as lost.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "comm/can_driver.h"
#include "comm/link_flags.h"

// Receives the hand-offs; runs on the main thread.
class ReceiveSink {
  public:
    virtual ~ReceiveSink() = default;
    // The frames of one drain, in arrival order. They stay valid during the call whatever the
    // handlers do (a handler may even tear the link down).
    virtual void framesReceived(std::span<const AdapterFrame> frames) = 0;
    virtual void linkLostDeclared() = 0;
    // The receive thread has been released from a hand-off: what must not hold it up (a message
    // box for the operator) runs from here.
    virtual void handOffFinished() {}
};

// How frames reach the main thread. The production hand-off blocks the receive thread until the
// main thread has run the sink; tests call the sink directly.
class ReceiveHandOff {
  public:
    virtual ~ReceiveHandOff() = default;
    // Takes the frames over: they belong to the hand-off from here on.
    virtual void handOver(std::vector<AdapterFrame>&& frames) = 0;
    virtual void declareLinkLost() = 0;
};

// One drain of the adapter, the body of the thread between two waits.
class ReceiveLoop {
  public:
    // Frames read in one drain are handed over together, at most this many per hand-off.
    static constexpr std::size_t kMaxBatch = 256;
    static constexpr int kErrorLimit = 10;

    ReceiveLoop(CanDriver& driver, LinkFlags& flags, ReceiveHandOff& handOff);
    // Reads until the adapter reports an empty queue or a stop is requested.
    void drain();
    int errorCount() const { return errorCount_; }

  private:
    void flush();

    CanDriver& driver_;
    LinkFlags& flags_;
    ReceiveHandOff& handOff_;
    int errorCount_ = 0;
    std::vector<AdapterFrame> batch_;
};

// An auto-reset event with a timed wait.
class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool signalled) : signalled_(signalled) {}
    void set();
    void reset();
    // Returns true when signalled within the timeout (and resets the event).
    bool wait(std::chrono::milliseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
};

class QObject;

// The thread itself. Created suspended; resume() starts it. When its body returns, onFinished runs
// on the main thread (the close-down closes the main window from there).
class TreadThread {
  public:
    // `mainThread` is an object living on the main thread through whose event loop the hand-offs
    // run. `sink` must outlive the thread.
    TreadThread(CanDriver& driver, LinkFlags& flags, ReceiveSink& sink, QObject* mainThread,
                std::function<void()> onFinished);
    ~TreadThread();

    void resume();
    void wake() { event_.set(); }
    bool running() const;
    bool started() const { return thread_.joinable(); }

  private:
    class BlockingHandOff;
    void execute();

    CanDriver& driver_;
    LinkFlags& flags_;
    AutoResetEvent event_{true};
    std::unique_ptr<BlockingHandOff> handOff_;
    std::unique_ptr<ReceiveLoop> loop_;
    std::function<void()> onFinished_;
    QObject* mainThread_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> destroying_{false};
};
