// The receive path of the whole tool: frames go from an adapter driver through the receive thread
// and the hand-off into the tool's own receive entry, the dispatch, the transport-protocol
// reassembly, the reply decoder and the status-page decoders into the real main window, shown
// (offscreen) with its extended data. The traffic is what a polled pump and its two NOx sensors
// put on the bus: all-pages replies, single page replies, short replies, sensor frames, claims.
//
//   bench-rx [--frames N] [--trace FILE [--runs N]]
//
// With --trace the same traffic also runs with every frame recorded into FILE (the candump log
// the tool writes with "Record bus trace..."), passes without and with recording in turns; the
// ratio of the two figures is what recording costs the receive path.
//
// The hand-off checks every frame against the generated array (order), and the decoder's
// per-code counters must show every reply of the traffic (nothing lost).

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "app/dialogs.h"
#include "comm/receive_thread.h"
#include "comm/trace_recorder.h"
#include "mainwindow/main_window.h"
#include "replay.h"
#include "sim/pump_pages.h"
#include "sim/simulator_node.h"
#include "tool/tool_application.h"

namespace {

using bench::frameOf;
using bench::idOf;
using bench::kSaturatedBusFramesPerSecond;
using bench::ReplayDriver;

constexpr uint8_t kPump = 61;

struct Traffic {
    std::vector<AdapterFrame> frames;
    std::map<int, int> replies;  // code -> how many the traffic carries
    uint32_t rng = 4711;

    uint32_t random(uint32_t n) {
        rng = rng * 1103515245u + 12345u;
        return (rng >> 16) % n;
    }

    void sensors() {
        const uint8_t up[8] = {0x40, 0x1F, 0x80, 0x3E, 0x55, 0x1F, 0x1F, 0x1F};
        frames.push_back(frameOf(idOf(6, pgn::kIntakeGas, 255, kUpstreamNoxAddress), up, 8));
        frames.push_back(frameOf(idOf(6, pgn::kOutletGas, 255, kDownstreamNoxAddress), up, 8));
    }

    void reply(const sim::Bytes& telegram) {
        ++replies[telegram.at(7)];
        if (telegram.size() <= 8) {
            frames.push_back(
                frameOf(idOf(6, pgn::kProprietaryA, kToolAddress, kPump), telegram.data(), 8));
            return;
        }
        const auto size = uint16_t(telegram.size());
        const auto packets = uint8_t((size + 6) / 7);
        const uint8_t cm[8] = {32, uint8_t(size), uint8_t(size >> 8), packets, 0xFF, 0, 0xEF, 0};
        frames.push_back(frameOf(idOf(7, pgn::kTpCm, kToolAddress, kPump), cm, 8));
        for (uint8_t p = 1; p <= packets; ++p) {
            uint8_t dt[8] = {p, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
            for (int i = 0; i < 7 && (p - 1) * 7 + i < size; ++i) {
                dt[1 + i] = telegram[(p - 1) * 7 + i];
            }
            frames.push_back(frameOf(idOf(7, pgn::kTpDt, kToolAddress, kPump), dt, 8));
            if (random(6) == 0) {
                sensors();
            }
        }
    }

    // One poll round of a pump whose values move.
    void round(sim::PumpState& state) {
        state.totalStrokes += 17;
        state.maf = uint16_t(400 + random(50));
        state.battery = uint8_t(54 + random(3));
        state.pumpHeadTemp = int16_t(250 + random(9));
        const sim::PageContext context{state, sim::SoftwareVersion{0, 11}};
        const uint8_t header[7] = {0, 0, 0, 0, 0, 0, 0};
        const uint8_t second[7] = {1, 0, 0, 0, 0, 0, 0};
        reply(sim::buildAllPages(context, header));
        for (uint8_t page : {205, 207, 209, 210, 211}) {
            sensors();
            reply(sim::buildPageReply(page, context, header));
        }
        for (uint8_t page : {203, 204, 206}) {
            reply(sim::buildPageReply(page, context, second));
        }
        const uint8_t nack[8] = {0, 0, 0, 0, 0, 0, 0, 255};
        reply(sim::Bytes(nack, nack + 8));
        if (random(8) == 0) {
            const uint8_t name[8] = {1, 2, 3, 4, 5, 6, 7, 8};
            frames.push_back(frameOf(idOf(6, pgn::kAddressClaimed, 255, kPump), name, 8));
        }
    }
};

// Checks the order of every frame, then hands it to the tool as its own receive thread would.
class CheckingSink : public ReceiveSink {
  public:
    CheckingSink(const Traffic& traffic, ToolCore& core) : traffic_(traffic), core_(core) {}
    void framesReceived(std::span<const AdapterFrame> frames) override {
        for (const AdapterFrame& f : frames) {
            const AdapterFrame& expected =
                traffic_.frames[std::min(seen, traffic_.frames.size() - 1)];
            if (seen >= traffic_.frames.size() || !bench::sameFrame(f, expected)) {
                ++outOfOrder;
            }
            ++seen;
        }
        core_.framesReceived(frames);
        core_.handOffFinished();
        if (seen >= traffic_.frames.size() && onAllSeen) {
            onAllSeen();
        }
    }
    void linkLostDeclared() override {}
    std::function<void()> onAllSeen;
    std::size_t seen = 0;
    uint64_t outOfOrder = 0;

  private:
    const Traffic& traffic_;
    ToolCore& core_;
};

class QuietDialogs : public QtDialogs {
  public:
    void message(const QString&, const QString&, Icon) override { ++shown; }
    int shown = 0;
};

// One pass of the traffic through a fresh tool; with `tracePath`, recording every frame into it.
struct PassResult {
    double seconds = 0.0;
    std::size_t seen = 0;
    uint64_t outOfOrder = 0;
    uint64_t missingReplies = 0;
    std::map<int, int> decoded;
    QString pumpState;
    BusTrace::Summary trace;
    bool timedOut = false;

    double framesPerSecond() const { return seconds > 0 ? double(seen) / seconds : 0.0; }
};

PassResult runPass(QApplication& app, const Traffic& traffic, const std::string& tracePath) {
    QTemporaryDir dir;
    QuietDialogs dialogs;
    ToolOptions options;
    options.adapter = "simulator";  // the adapter itself is replaced below
    options.settingsPath = dir.filePath("tool.ini");
    ToolApplication tool(options, dialogs);
    if (tool.simulator()) {
        tool.simulator()->stop();
    }
    if (!qEnvironmentVariableIsSet("BENCH_HIDDEN"))
        tool.show();
    tool.mainWindow().Extendeddata1->trigger();
    QApplication::processEvents();
    // Only the replayed traffic moves the tool: no scheduler, no simulated pump.
    tool.mainWindow().tmrTx->stop();

    PassResult result;
    // The recording tap sits where the tool puts it: on the adapter driver, in front of the
    // receive thread.
    auto trace = std::make_shared<BusTrace>();
    TracingDriver driver(std::make_unique<ReplayDriver>(traffic.frames), trace);
    if (!tracePath.empty()) {
        std::string error;
        if (!trace->start(tracePath, error)) {
            std::fprintf(stderr, "bench-rx: cannot write %s: %s\n", tracePath.c_str(),
                         error.c_str());
            std::exit(2);
        }
    }
    LinkFlags flags;
    flags.stopRequested = false;
    CheckingSink sink(traffic, tool.core());
    QElapsedTimer clock;
    qint64 elapsedNs = 0;
    TreadThread thread(driver, flags, sink, tool.core().mainThreadContext(),
                       [] { QCoreApplication::exit(0); });
    sink.onAllSeen = [&] {
        if (elapsedNs == 0) {
            elapsedNs = clock.nsecsElapsed();
            flags.stopRequested = true;
            thread.wake();
        }
    };
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &app, [&] {
        std::fprintf(stderr, "bench-rx: timed out\n");
        result.timedOut = true;
        flags.stopRequested = true;
        thread.wake();
        QCoreApplication::exit(1);
    });
    timeout.start(300000);

    clock.start();
    thread.resume();
    app.exec();
    timeout.stop();
    if (elapsedNs == 0) {
        elapsedNs = clock.nsecsElapsed();
    }
    // The writer's last batch is written after the clock stopped: recording never held up the
    // receive path, and what was left to write is no part of it.
    result.trace = trace->stop();

    result.seconds = double(elapsedNs) / 1e9;
    result.seen = sink.seen;
    result.outOfOrder = sink.outOfOrder;
    for (const auto& [code, count] : traffic.replies) {
        const int handled = int(tool.core().replyDecoder().decodedCount(uint8_t(code)));
        result.decoded[code] = handled;
        if (handled < count) {
            result.missingReplies += uint64_t(count - handled);
        }
    }
    result.pumpState = tool.mainWindow().valueLabel("lPumpState")->text();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::size_t frameCount = 300000;
    std::string tracePath;
    int runs = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0) {
            frameCount = std::max<std::size_t>(1000, std::strtoull(argv[i + 1], nullptr, 10));
        } else if (std::strcmp(argv[i], "--trace") == 0) {
            tracePath = argv[i + 1];
        } else if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    // With recording, passes without and with it take turns, so that a machine whose load
    // changes meanwhile weighs on both alike; the best pass of each counts.
    if (runs == 0) {
        runs = tracePath.empty() ? 1 : 5;
    }

    Traffic traffic;
    sim::PumpState state;
    while (traffic.frames.size() < frameCount) {
        traffic.round(state);
    }
    const uint64_t frames = traffic.frames.size();

    std::vector<PassResult> plain;
    std::vector<PassResult> recording;
    for (int r = 0; r < runs; ++r) {
        plain.push_back(runPass(app, traffic, {}));
        if (!tracePath.empty()) {
            recording.push_back(runPass(app, traffic, tracePath));
        }
    }
    auto best = [](const std::vector<PassResult>& passes) {
        return *std::max_element(passes.begin(), passes.end(),
                                 [](const PassResult& a, const PassResult& b) {
                                     return a.framesPerSecond() < b.framesPerSecond();
                                 });
    };

    uint64_t failures = 0;
    auto lostOf = [frames](const PassResult& p) {
        return (frames > p.seen ? frames - p.seen : 0) + p.missingReplies;
    };
    for (const auto& passes : {plain, recording}) {
        for (const PassResult& p : passes) {
            failures += lostOf(p) + p.outOfOrder + (p.timedOut ? 1 : 0);
        }
    }

    const PassResult base = best(plain);
    std::printf("bench-rx: %llu frames through the whole tool in %.3f s\n",
                (unsigned long long)frames, base.seconds);
    for (const auto& [code, count] : traffic.replies) {
        std::printf("  reply %3d: sent %7d, decoded %7d\n", code, count, base.decoded.at(code));
    }
    std::printf("  frames/s %.0f, us/frame %.3f, main window shows pump state \"%s\"\n",
                base.framesPerSecond(), base.seen ? base.seconds * 1e6 / double(base.seen) : 0.0,
                qPrintable(base.pumpState));
    std::printf(
        "rx-path: %.0f frames/s, %.0fx a saturated 250 kbit/s bus, lost %llu, out of order "
        "%llu\n",
        base.framesPerSecond(), base.framesPerSecond() / kSaturatedBusFramesPerSecond,
        (unsigned long long)lostOf(base), (unsigned long long)base.outOfOrder);

    if (!tracePath.empty()) {
        const PassResult traced = best(recording);
        for (const PassResult& p : recording) {
            // Every frame of the traffic must be in the trace: a dropped one would flatter the
            // figure.
            if (p.trace.written != frames || p.trace.dropped != 0 || !p.trace.error.empty()) {
                ++failures;
            }
        }
        for (int r = 0; r < runs; ++r) {
            std::printf("  pass %d: %.0f frames/s without recording, %.0f with\n", r + 1,
                        plain[std::size_t(r)].framesPerSecond(),
                        recording[std::size_t(r)].framesPerSecond());
        }
        const double ratio = traced.framesPerSecond() / base.framesPerSecond();
        std::printf(
            "rx-path recording: %.0f frames/s with recording into %s (written %llu, dropped "
            "%llu%s%s), %.0f frames/s without\n",
            traced.framesPerSecond(), tracePath.c_str(), (unsigned long long)traced.trace.written,
            (unsigned long long)traced.trace.dropped, traced.trace.error.empty() ? "" : ", ",
            traced.trace.error.c_str(), base.framesPerSecond());
        std::printf("recording ratio: %.3f (%.1f %% lost to recording; goal: at most 10 %%)\n",
                    ratio, (1.0 - ratio) * 100.0);
    }
    return failures == 0 ? 0 : 1;
}
