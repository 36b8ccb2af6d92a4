#include "comm/receive_thread.h"

#include <QMetaObject>
#include <QObject>

ReceiveLoop::ReceiveLoop(CanDriver& driver, LinkFlags& flags, ReceiveHandOff& handOff)
    : driver_(driver), flags_(flags), handOff_(handOff) {
    batch_.reserve(kMaxBatch);
}

void ReceiveLoop::flush() {
    if (!batch_.empty()) {
        handOff_.handOver(std::move(batch_));
        batch_ = {};
        batch_.reserve(kMaxBatch);
    }
}

void ReceiveLoop::drain() {
    for (;;) {
        AdapterFrame frame;
        uint32_t result = driver_.read(frame);
        if (result == kCanOk) {
            batch_.push_back(frame);
            if (batch_.size() >= kMaxBatch) {
                flush();
            }
            errorCount_ = 0;
        } else if (result == kCanQueueEmpty) {
            errorCount_ = 0;
        } else {
            if (result == kCanBusOff) {
                errorCount_ = kErrorLimit;  // a bus-off loses the link on this read
            } else {
                ++errorCount_;
            }
            if (errorCount_ >= kErrorLimit) {
                // What was read before the failure still reaches the main thread first.
                flush();
                handOff_.declareLinkLost();
                errorCount_ = 0;
                // A failing adapter is not read on without pause: the thread waits until the
                // scheduler has opened the link again.
                break;
            }
        }
        if (result == kCanQueueEmpty || flags_.stopRequested.load()) {
            break;
        }
    }
    flush();
}

void AutoResetEvent::set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

void AutoResetEvent::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool AutoResetEvent::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    bool got = cv_.wait_for(lock, timeout, [this] { return signalled_; });
    signalled_ = false;
    return got;
}

// Runs the sink on the main thread and blocks until it has finished. A plain blocking queued call
// would deadlock when the main thread waits for this thread to end (at exit) while a hand-off is
// pending, so the wait here can be abandoned.
class TreadThread::BlockingHandOff : public ReceiveHandOff {
  public:
    BlockingHandOff(ReceiveSink& sink, QObject* mainThread)
        : sink_(sink), mainThread_(mainThread) {}

    // The batch travels inside the call: it lives until the main thread is done with it, even
    // when a handler tears the link (and with it this thread's buffers) down mid-batch.
    void handOver(std::vector<AdapterFrame>&& frames) override {
        run([sink = &sink_, frames = std::move(frames)] { sink->framesReceived(frames); });
    }
    void declareLinkLost() override {
        run([sink = &sink_] { sink->linkLostDeclared(); });
    }

    void abandon() {
        std::lock_guard lock(state_->mutex);
        state_->abandoned = true;
        state_->cv.notify_all();
    }

  private:
    // Shared with every call posted to the main thread: a call that runs after the thread object
    // is gone (torn down with a hand-off pending, or from inside one) finds it abandoned.
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = true;
        bool abandoned = false;
    };

    template <typename Work>
    void run(Work work) {
        {
            std::lock_guard lock(state_->mutex);
            if (state_->abandoned) {
                return;
            }
            state_->done = false;
        }
        QMetaObject::invokeMethod(
            mainThread_,
            [state = state_, sink = &sink_, work = std::move(work)] {
                {
                    std::lock_guard lock(state->mutex);
                    if (state->abandoned) {
                        return;
                    }
                }
                work();
                {
                    std::lock_guard lock(state->mutex);
                    state->done = true;
                    state->cv.notify_all();
                }
                // The sink ran this call, so it is still there even if the thread is not.
                sink->handOffFinished();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(state_->mutex);
        state_->cv.wait(lock, [this] { return state_->done || state_->abandoned; });
    }

    ReceiveSink& sink_;
    QObject* mainThread_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TreadThread::TreadThread(CanDriver& driver, LinkFlags& flags, ReceiveSink& sink,
                         QObject* mainThread, std::function<void()> onFinished)
    : driver_(driver),
      flags_(flags),
      handOff_(std::make_unique<BlockingHandOff>(sink, mainThread)),
      loop_(std::make_unique<ReceiveLoop>(driver, flags, *handOff_)),
      onFinished_(std::move(onFinished)),
      mainThread_(mainThread) {}

TreadThread::~TreadThread() {
    if (thread_.joinable()) {
        destroying_ = true;
        flags_.stopRequested = true;
        handOff_->abandon();
        event_.set();
        thread_.join();
    }
}

void TreadThread::resume() {
    if (thread_.joinable()) {
        return;
    }
    running_ = true;
    thread_ = std::thread([this] { execute(); });
}

bool TreadThread::running() const {
    return running_.load();
}

void TreadThread::execute() {
    for (;;) {
        event_.reset();
        event_.wait(std::chrono::milliseconds(5));
        if (flags_.stopRequested.load()) {
            break;
        }
        if (!flags_.linkLost.load()) {
            loop_->drain();
        }
        if (flags_.stopRequested.load()) {
            break;
        }
    }
    running_ = false;
    // The termination handler runs on the main thread once this body has returned; not when the
    // thread is being torn down with its owner.
    if (!destroying_.load() && onFinished_) {
        QMetaObject::invokeMethod(mainThread_, onFinished_, Qt::QueuedConnection);
    }
}
