#include "comm/replay_driver.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

int64_t steadyMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string speedText(double speed) {
    std::ostringstream out;
    out << speed << "x";
    return out.str();
}

}  // namespace

TraceFile parseTrace(std::string_view text) {
    TraceFile out;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        ParsedTraceLine parsed = parseTraceLine(line);
        switch (parsed.kind) {
            case ParsedTraceLine::Kind::Frame:
                out.records.push_back(parsed.record);
                break;
            case ParsedTraceLine::Kind::Malformed:
                ++out.malformedLines;
                if (out.problems.size() < TraceFile::kMaxListedProblems) {
                    out.problems.push_back("line " + std::to_string(lineNumber) + ": " +
                                           parsed.problem);
                }
                break;
            case ParsedTraceLine::Kind::Empty:
            case ParsedTraceLine::Kind::ErrorFrame:
                break;
        }
    }
    return out;
}

bool readTraceFile(const std::string& path, TraceFile& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        error = "read error";
        return false;
    }
    out = parseTrace(content.view());
    return true;
}

std::optional<ReplayAdapter> parseReplayAdapter(std::string_view adapter) {
    if (!startsWithNoCase(adapter, kReplayAdapterPrefix)) {
        return std::nullopt;
    }
    ReplayAdapter out;
    std::string_view path = adapter.substr(kReplayAdapterPrefix.size());
    const std::size_t at = path.rfind('@');
    if (at != std::string_view::npos && path.size() >= at + 3 &&
        (path.back() == 'x' || path.back() == 'X')) {
        const std::string_view number = path.substr(at + 1, path.size() - at - 2);
        double speed = 0.0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), speed,
                                               std::chars_format::fixed);
        if (ec == std::errc() && end == number.data() + number.size() && std::isfinite(speed) &&
            speed > 0.0 && speed <= kMaxReplaySpeed) {
            out.speed = speed;
            path = path.substr(0, at);
        }
    }
    out.path = std::string(path);
    return out;
}

TraceReplayDriver::TraceReplayDriver(const std::vector<TraceRecord>& records, double speed,
                                     Clock clock, std::string description)
    : clock_(clock ? std::move(clock) : Clock(steadyMicros)), description_(std::move(description)) {
    if (!(speed > 0.0)) {
        speed = 1.0;
    }
    bool haveFirst = false;
    int64_t first = 0;
    for (const TraceRecord& r : records) {
        if (r.direction != TraceDirection::Received) {
            continue;
        }
        if (!haveFirst) {
            first = r.micros;
            haveFirst = true;
        }
        // A trace stitched together from two may step back: such frames are simply due at once.
        const double offset = double(r.micros - first) / speed;
        frames_.push_back(Due{int64_t(std::llround(offset)), r.frame});
    }
}

uint32_t TraceReplayDriver::init() {
    // Opened again after a link loss: the replay goes on where it was.
    if (!started_.load()) {
        startMicros_.store(clock_());
        started_.store(true);
    }
    return kCanOk;
}

uint32_t TraceReplayDriver::read(AdapterFrame& frame) {
    const std::size_t position = position_.load(std::memory_order_relaxed);
    if (!started_.load() || position >= frames_.size()) {
        return kCanQueueEmpty;
    }
    const Due& next = frames_[position];
    if (clock_() - startMicros_.load() < next.offsetMicros) {
        return kCanQueueEmpty;
    }
    frame = next.frame;
    position_.store(position + 1);
    return kCanOk;
}

TraceReplayLibrary::TraceReplayLibrary(ReplayAdapter adapter, TraceReplayDriver::Clock clock)
    : adapter_(std::move(adapter)), clock_(std::move(clock)) {}

void TraceReplayLibrary::report(const std::string& text) const {
    if (onProblem) {
        onProblem(text);
    }
}

CanDriverLibrary::LoadResult TraceReplayLibrary::load(std::unique_ptr<CanDriver>& driver) {
    TraceFile trace;
    std::string error;
    if (adapter_.path.empty()) {
        report("The replay adapter names no bus trace: write replay:FILE or replay:FILE@10x.");
        return LoadResult::FunctionMissing;
    }
    if (!readTraceFile(adapter_.path, trace, error)) {
        report("The bus trace \"" + adapter_.path + "\" cannot be read: " + error + ".");
        return LoadResult::FunctionMissing;
    }
    if (const std::string message = malformedLinesMessage(adapter_.path, trace); !message.empty()) {
        report(message);
    }
    auto replay = std::make_unique<TraceReplayDriver>(
        trace.records, adapter_.speed, clock_,
        "Bus trace replay of " + adapter_.path + " at " + speedText(adapter_.speed));
    if (replay->frameCount() == 0) {
        report("The bus trace \"" + adapter_.path + "\" holds no received frame to replay.");
    }
    driver = std::move(replay);
    return LoadResult::Ok;
}

std::string malformedLinesMessage(const std::string& path, const TraceFile& trace) {
    if (trace.malformedLines == 0) {
        return {};
    }
    std::string text = "The bus trace \"" + path + "\" has " +
                       std::to_string(trace.malformedLines) +
                       (trace.malformedLines == 1 ? " line that is" : " lines that are") +
                       " no CAN frame. The replay skips " +
                       (trace.malformedLines == 1 ? "it" : "them") + " and goes on with the next:";
    for (const std::string& problem : trace.problems) {
        text += "\n" + problem;
    }
    if (trace.malformedLines > trace.problems.size()) {
        text += "\n(and " + std::to_string(trace.malformedLines - trace.problems.size()) + " more)";
    }
    return text;
}
