#pragma once
// Replaying a bus trace into the tool: an adapter driver that hands out the received frames of a
// candump log at their recorded pace (or N times faster), so that a trace from the field can be
// looked at in the tool's own windows. The frames the recording tool sent itself (flag " T") are
// left out: the replaying tool sends its own, and the adapter swallows them.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comm/can_driver.h"
#include "comm/trace_format.h"

// A trace file read whole.
struct TraceFile {
    std::vector<TraceRecord> records;  // every frame line in file order, both directions
    std::size_t malformedLines = 0;
    // "line 7: ..." for the first kMaxListedProblems malformed lines.
    std::vector<std::string> problems;
    static constexpr std::size_t kMaxListedProblems = 10;
};

// Reads a trace from text; every line is looked at, none stops the reading.
TraceFile parseTrace(std::string_view text);
// False (with the system's reason in `error`) when the file cannot be read.
bool readTraceFile(const std::string& path, TraceFile& out, std::string& error);

// "replay:FILE" and "replay:FILE@10x" (the speed-up: a positive decimal number, then x).
struct ReplayAdapter {
    std::string path;
    double speed = 1.0;
};
inline constexpr std::string_view kReplayAdapterPrefix = "replay:";
inline constexpr double kMaxReplaySpeed = 1000.0;
// Nothing for an adapter text that is no replay. A speed suffix that is no positive number up to
// kMaxReplaySpeed is taken as part of the file name.
std::optional<ReplayAdapter> parseReplayAdapter(std::string_view adapter);

class TraceReplayDriver : public CanDriver {
  public:
    // Microseconds of a steady clock.
    using Clock = std::function<int64_t()>;

    // Keeps the received frames of `records`. The replay starts with the first init().
    TraceReplayDriver(const std::vector<TraceRecord>& records, double speed, Clock clock,
                      std::string description);

    uint32_t init() override;
    void close() override {}
    uint32_t status() override { return kCanOk; }
    // The trace holds the pump's answers already: what the tool sends goes nowhere.
    uint32_t write(const AdapterFrame&) override { return kCanOk; }
    // The next frame once its time has come, else an empty queue.
    uint32_t read(AdapterFrame& frame) override;
    std::string versionInfo() override { return description_; }

    std::size_t frameCount() const { return frames_.size(); }
    std::size_t replayed() const { return position_.load(); }
    bool finished() const { return replayed() >= frames_.size(); }

  private:
    struct Due {
        int64_t offsetMicros;  // after the first frame, already divided by the speed
        AdapterFrame frame;
    };
    std::vector<Due> frames_;
    Clock clock_;
    std::string description_;
    std::atomic<bool> started_{false};
    std::atomic<int64_t> startMicros_{0};
    std::atomic<std::size_t> position_{0};  // written by the receive thread alone
};

// The "library" behind a replay adapter: reads the trace when the tool loads its adapter.
class TraceReplayLibrary : public CanDriverLibrary {
  public:
    explicit TraceReplayLibrary(ReplayAdapter adapter, TraceReplayDriver::Clock clock = {});
    // A file that cannot be read leaves the tool without an adapter ("function missing"); a
    // trace with malformed lines replays the others. Both are told through onProblem.
    LoadResult load(std::unique_ptr<CanDriver>& driver) override;

    std::function<void(const std::string&)> onProblem;
    const ReplayAdapter& adapter() const { return adapter_; }

  private:
    void report(const std::string& text) const;

    ReplayAdapter adapter_;
    TraceReplayDriver::Clock clock_;
};

// The operator's message about the malformed lines of a trace; empty when there are none.
std::string malformedLinesMessage(const std::string& path, const TraceFile& trace);
