// The receive path of the whole tool: frames go from an adapter driver through the receive thread
// and the hand-off into the tool's own receive entry, the dispatch, the transport-protocol
// reassembly, the reply decoder and the status-page decoders into the real main window, shown
// (offscreen) with its extended data. The traffic is what a polled pump and its two NOx sensors
// put on the bus: all-pages replies, single page replies, short replies, sensor frames, claims.
//
//   bench-rx [--frames N]
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

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::size_t frameCount = 300000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0) {
            frameCount = std::max<std::size_t>(1000, std::strtoull(argv[i + 1], nullptr, 10));
        }
    }

    Traffic traffic;
    sim::PumpState state;
    while (traffic.frames.size() < frameCount) {
        traffic.round(state);
    }

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

    ReplayDriver driver(traffic.frames);
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
    QTimer::singleShot(300000, &app, [&] {
        std::fprintf(stderr, "bench-rx: timed out\n");
        flags.stopRequested = true;
        thread.wake();
        QCoreApplication::exit(1);
    });

    clock.start();
    thread.resume();
    app.exec();
    if (elapsedNs == 0) {
        elapsedNs = clock.nsecsElapsed();
    }

    const double seconds = double(elapsedNs) / 1e9;
    const uint64_t frames = traffic.frames.size();
    const uint64_t lostFrames = frames > sink.seen ? frames - sink.seen : 0;
    uint64_t missingReplies = 0;
    std::printf("bench-rx: %llu frames through the whole tool in %.3f s\n",
                (unsigned long long)frames, seconds);
    for (const auto& [code, count] : traffic.replies) {
        const int handled = int(tool.core().replyDecoder().decodedCount(uint8_t(code)));
        std::printf("  reply %3d: sent %7d, decoded %7d\n", code, count, handled);
        if (handled < count) {
            missingReplies += uint64_t(count - handled);
        }
    }
    const double perSecond = seconds > 0 ? double(sink.seen) / seconds : 0.0;
    std::printf("  frames/s %.0f, us/frame %.3f, main window shows pump state \"%s\"\n", perSecond,
                sink.seen ? seconds * 1e6 / double(sink.seen) : 0.0,
                qPrintable(tool.mainWindow().valueLabel("lPumpState")->text()));
    std::printf(
        "rx-path: %.0f frames/s, %.0fx a saturated 250 kbit/s bus, lost %llu, out of order "
        "%llu\n",
        perSecond, perSecond / kSaturatedBusFramesPerSecond,
        (unsigned long long)(lostFrames + missingReplies), (unsigned long long)sink.outOfOrder);
    return (lostFrames + missingReplies + sink.outOfOrder) == 0 ? 0 : 1;
}
