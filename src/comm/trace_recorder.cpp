#include "comm/trace_recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Lines are collected in memory and reach the file in large writes.
constexpr std::size_t kFileBuffer = 1 << 18;

BusTrace::Clock steadyWallClock() {
    using namespace std::chrono;
    const int64_t wallStart =
        duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    const auto steadyStart = steady_clock::now();
    return [wallStart, steadyStart] {
        return wallStart + duration_cast<microseconds>(steady_clock::now() - steadyStart).count();
    };
}

std::string errnoText() {
    return std::strerror(errno);
}

}  // namespace

BusTrace::~BusTrace() {
    stop();
}

bool BusTrace::start(const std::string& path, std::string& error, Options options) {
    stop();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = errnoText();
        return false;
    }
    std::setvbuf(file, nullptr, _IOFBF, kFileBuffer);
    file_ = file;
    channel_ = options.channel.substr(0, kMaxTraceChannel);
    written_ = 0;
    error_.clear();
    {
        std::lock_guard lock(mutex_);
        capacity_ = std::max<std::size_t>(options.capacity, 2);
        pending_.clear();
        pending_.reserve(capacity_);
        batch_.clear();
        batch_.reserve(capacity_);
        dropped_ = 0;
        clock_ = options.clock ? std::move(options.clock) : steadyWallClock();
        path_ = path;
        accepting_ = true;
        stopping_ = false;
    }
    active_.store(true, std::memory_order_release);
    if (!options.manualWriter) {
        writer_ = std::thread([this] { writerLoop(); });
    }
    return true;
}

BusTrace::Summary BusTrace::stop() {
    if (file_ == nullptr) {
        return {};
    }
    active_.store(false, std::memory_order_release);
    {
        std::lock_guard lock(mutex_);
        // Whatever was accepted up to here is in pending_ and gets written below.
        accepting_ = false;
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) {
        writer_.join();
    } else {
        writePending();
    }
    if (std::fclose(file_) != 0 && error_.empty()) {
        error_ = errnoText();
    }
    file_ = nullptr;
    Summary summary;
    {
        std::lock_guard lock(mutex_);
        summary.path = path_;
        summary.dropped = dropped_;
        path_.clear();
        pending_.clear();
    }
    summary.written = written_;
    summary.error = error_;
    return summary;
}

std::string BusTrace::path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

uint64_t BusTrace::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void BusTrace::enqueue(const AdapterFrame& frame, TraceDirection direction) {
    bool wakeWriter = false;
    {
        std::lock_guard lock(mutex_);
        if (!accepting_) {
            return;
        }
        if (pending_.size() >= capacity_) {
            ++dropped_;
            return;
        }
        // Stamped under the lock: the file's lines are in time order whichever thread comes.
        pending_.push_back(TraceRecord{clock_(), frame, direction});
        wakeWriter = pending_.size() == capacity_ / 2;
    }
    if (wakeWriter) {
        wake_.notify_one();
    }
}

bool BusTrace::writePending() {
    if (file_ == nullptr) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        batch_.swap(pending_);
    }
    const bool ok = writeBatch(batch_);
    batch_.clear();
    return ok;
}

void BusTrace::writerLoop() {
    for (;;) {
        bool last = false;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, kFlushInterval,
                           [this] { return stopping_ || pending_.size() >= capacity_ / 2; });
            batch_.swap(pending_);
            last = stopping_;
        }
        writeBatch(batch_);
        batch_.clear();
        if (last) {
            return;
        }
    }
}

bool BusTrace::writeBatch(const std::vector<TraceRecord>& batch) {
    if (!error_.empty()) {
        return false;
    }
    if (batch.empty()) {
        return true;
    }
    text_.resize(batch.size() * kMaxTraceLine);
    std::size_t used = 0;
    for (const TraceRecord& record : batch) {
        used += formatTraceLine(record, channel_, text_.data() + used);
    }
    // Flushed with every batch: what the tool has seen is in the file a quarter of a second
    // later, whatever happens to the tool.
    if (std::fwrite(text_.data(), 1, used, file_) != used || std::fflush(file_) != 0) {
        fail(errnoText());
        return false;
    }
    written_ += batch.size();
    return true;
}

void BusTrace::fail(const std::string& error) {
    error_ = error.empty() ? "write error" : error;
    active_.store(false, std::memory_order_release);
    {
        std::lock_guard lock(mutex_);
        accepting_ = false;
    }
    if (onWriteError) {
        onWriteError(error_);
    }
}
