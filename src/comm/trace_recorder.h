#pragma once
// Recording a bus trace: every frame the tool reads (receive thread) and writes (main thread)
// passes a TracingDriver, which stamps it and hands it to BusTrace's bounded queue. A writer
// thread of its own turns the queue into candump lines and flushes the file at least every
// kFlushInterval, so a crash of the tool loses less than a second. Recording never waits for the
// disk: a frame that finds the queue full is counted as dropped, not waited for.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/can_driver.h"
#include "comm/trace_format.h"

class BusTrace {
  public:
    // Microseconds since the epoch.
    using Clock = std::function<int64_t()>;

    static constexpr std::chrono::milliseconds kFlushInterval{250};
    // Frames that may wait for the writer: at a saturated bus about half a minute of traffic.
    static constexpr std::size_t kDefaultCapacity = 65536;

    struct Options {
        std::string channel = std::string(kDefaultTraceChannel);
        std::size_t capacity = kDefaultCapacity;
        // Null: the wall clock at the start, moved on by the steady clock, so that the times of
        // one trace never step back when the system clock is set.
        Clock clock;
        // Tests: no writer thread; writePending() writes what waits.
        bool manualWriter = false;
    };

    // What one recording did, when it stops.
    struct Summary {
        std::string path;
        uint64_t written = 0;
        uint64_t dropped = 0;
        std::string error;  // empty when every line reached the file
    };

    BusTrace() = default;
    ~BusTrace();
    BusTrace(const BusTrace&) = delete;
    BusTrace& operator=(const BusTrace&) = delete;

    // Creates (or empties) the file and starts recording; a recording already running is stopped
    // first. False with the reason in `error` when the file cannot be written.
    bool start(const std::string& path, std::string& error, Options options);
    bool start(const std::string& path, std::string& error) {
        return start(path, error, Options{});
    }
    // Writes what waits, closes the file and says how it went. Nothing when not recording.
    Summary stop();
    bool recording() const { return active_.load(std::memory_order_acquire); }
    std::string path() const;

    // Any thread. Costs one flag test while not recording.
    void record(const AdapterFrame& frame, TraceDirection direction) {
        if (active_.load(std::memory_order_relaxed)) {
            enqueue(frame, direction);
        }
    }

    // Manual writer: writes and flushes what waits; false after a write error.
    bool writePending();
    uint64_t dropped() const;

    // A write failed (disk full, medium removed): called once, on the writer thread. The
    // recording is over; stop() still has to be called to close the file.
    std::function<void(const std::string& error)> onWriteError;

  private:
    void enqueue(const AdapterFrame& frame, TraceDirection direction);
    void writerLoop();
    // Formats and writes one batch; false when the file refused it.
    bool writeBatch(const std::vector<TraceRecord>& batch);
    void fail(const std::string& error);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> active_{false};
    // Guarded by mutex_.
    bool accepting_ = false;
    bool stopping_ = false;
    std::vector<TraceRecord> pending_;
    std::size_t capacity_ = kDefaultCapacity;
    uint64_t dropped_ = 0;
    Clock clock_;
    std::string path_;

    // Writer side (the writer thread, or the caller of writePending).
    std::FILE* file_ = nullptr;
    std::string channel_;
    std::vector<TraceRecord> batch_;
    std::string text_;
    uint64_t written_ = 0;
    std::string error_;
    std::thread writer_;
};

// A CanDriver that hands every frame it reads or writes successfully to a bus trace; everything
// else passes straight through.
class TracingDriver : public CanDriver {
  public:
    TracingDriver(std::unique_ptr<CanDriver> inner, std::shared_ptr<BusTrace> trace)
        : inner_(std::move(inner)), trace_(std::move(trace)) {}

    uint32_t init() override { return inner_->init(); }
    void close() override { inner_->close(); }
    uint32_t status() override { return inner_->status(); }
    uint32_t write(const AdapterFrame& frame) override {
        const uint32_t result = inner_->write(frame);
        if (result == kCanOk && isTraceableFrame(frame)) {
            trace_->record(frame, TraceDirection::Sent);
        }
        return result;
    }
    uint32_t read(AdapterFrame& frame) override {
        const uint32_t result = inner_->read(frame);
        if (result == kCanOk && isTraceableFrame(frame)) {
            trace_->record(frame, TraceDirection::Received);
        }
        return result;
    }
    std::string versionInfo() override { return inner_->versionInfo(); }

    CanDriver& inner() { return *inner_; }

  private:
    std::unique_ptr<CanDriver> inner_;
    std::shared_ptr<BusTrace> trace_;
};

// Puts every driver another library loads behind a TracingDriver on one trace.
class TracingLibrary : public CanDriverLibrary {
  public:
    TracingLibrary(CanDriverLibrary& inner, std::shared_ptr<BusTrace> trace)
        : inner_(inner), trace_(std::move(trace)) {}
    LoadResult load(std::unique_ptr<CanDriver>& driver) override {
        const LoadResult result = inner_.load(driver);
        if (driver) {
            driver = std::make_unique<TracingDriver>(std::move(driver), trace_);
        }
        return result;
    }
    void unload() override { inner_.unload(); }

  private:
    CanDriverLibrary& inner_;
    std::shared_ptr<BusTrace> trace_;
};
