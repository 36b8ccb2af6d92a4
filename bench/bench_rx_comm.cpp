// How fast the receive path runs: frames go from an adapter driver through the receive thread, the
// hand-off to the main thread's event loop, the decoder, the dispatch (with the settings file
// consulted for every frame) and the transport-protocol reassembly to counting handlers. The
// adapter hands out a pregenerated mix of bus traffic as fast as it is read.
//
//   bench-rx-comm [--frames N]
//
// Every message that reaches a handler carries a sequence number in its first four data bytes;
// the handlers check that they arrive in the order the bus carried them, and the hand-off checks
// every frame against the generated array.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "comm/connection_state.h"
#include "comm/j1939.h"
#include "comm/link_flags.h"
#include "comm/receive_dispatch.h"
#include "comm/receive_thread.h"
#include "comm/transport_protocol.h"
#include "replay.h"

namespace {

using bench::frameOf;
using bench::idOf;
using bench::kSaturatedBusFramesPerSecond;
using bench::ReplayDriver;

constexpr uint8_t kPump = 61;
constexpr uint8_t kOtherNode = 0x80;
constexpr uint8_t kEngine = 0x00;

void putSequence(uint8_t* at, uint32_t seq) {
    at[0] = seq & 0xFF;
    at[1] = (seq >> 8) & 0xFF;
    at[2] = (seq >> 16) & 0xFF;
    at[3] = (seq >> 24) & 0xFF;
}

uint32_t sequenceOf(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

enum Kind { kPumpSingle, kPumpTp247, kPumpTp55, kUpstream, kDownstream, kClaim, kKinds };
const char* const kKindNames[kKinds] = {"pump single-frame replies", "pump 247-byte sessions",
                                        "pump 55-byte sessions",     "upstream NOx frames",
                                        "downstream NOx frames",     "pump address claims"};

// The bus traffic of the benchmark, and the order in which its messages must reach the handlers.
struct Traffic {
    std::vector<AdapterFrame> frames;
    std::vector<uint32_t> handlerOrder;  // sequence numbers in the order they complete
    uint64_t expected[kKinds] = {};
    uint32_t nextSequence = 1;
    uint32_t rng = 12345;

    uint32_t random(uint32_t n) {
        rng = rng * 1103515245u + 12345u;
        return (rng >> 16) % n;
    }

    void single(Kind kind, uint32_t id) {
        uint8_t data[8] = {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44};
        const uint32_t seq = nextSequence++;
        putSequence(data, seq);
        frames.push_back(frameOf(id, data, 8));
        handlerOrder.push_back(seq);
        ++expected[kind];
    }

    // Frames of other nodes that the tool drops or dispatches to nobody.
    void otherTraffic() {
        const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        switch (random(3)) {
            case 0:  // engine speed, to everybody; no handler in the tool
                frames.push_back(frameOf(idOf(3, 0xF004, 255, kEngine), data, 8));
                break;
            case 1:  // Proprietary A between two other nodes: dropped by destination
                frames.push_back(frameOf(idOf(6, 0xEF00, kPump, kOtherNode), data, 8));
                break;
            default:  // a transport packet from a node that is not the pump: dropped
                frames.push_back(frameOf(idOf(7, 0xEB00, 255, kOtherNode), data, 8));
                break;
        }
    }

    void noxFrames() {
        single(kUpstream, idOf(6, pgn::kIntakeGas, 255, kUpstreamNoxAddress));
        single(kDownstream, idOf(6, pgn::kOutletGas, 255, kDownstreamNoxAddress));
    }

    // A long reply of the pump, with the sensors' frames and other traffic in between its
    // packets as they share the bus.
    void session(Kind kind, uint16_t size) {
        std::vector<uint8_t> body(size);
        for (std::size_t i = 0; i < size; ++i) {
            body[i] = uint8_t(i * 7);
        }
        const uint32_t seq = nextSequence++;
        putSequence(body.data(), seq);
        const uint8_t packets = uint8_t((size + 6) / 7);
        const uint8_t cm[8] = {
            32, uint8_t(size & 0xFF), uint8_t(size >> 8), packets, 0xFF, 0x00, 0xEF, 0x00};
        frames.push_back(frameOf(idOf(7, pgn::kTpCm, kToolAddress, kPump), cm, 8));
        for (uint8_t p = 1; p <= packets; ++p) {
            uint8_t dt[8] = {p, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
            for (int i = 0; i < 7 && (p - 1) * 7 + i < size; ++i) {
                dt[1 + i] = body[(p - 1) * 7 + i];
            }
            frames.push_back(frameOf(idOf(7, pgn::kTpDt, kToolAddress, kPump), dt, 8));
            if (p == packets) {
                handlerOrder.push_back(seq);
                ++expected[kind];
            } else if (random(8) == 0) {
                noxFrames();
            } else if (random(8) == 0) {
                otherTraffic();
            }
        }
    }

    // One round of traffic as a pump under polling produces it, with both sensors reporting.
    void round() {
        for (int i = 0; i < 4; ++i) {
            noxFrames();
            otherTraffic();
        }
        single(kPumpSingle, idOf(6, pgn::kProprietaryA, kToolAddress, kPump));
        session(kPumpTp247, 247);
        noxFrames();
        session(kPumpTp55, 55);
        single(kPumpSingle, idOf(6, pgn::kProprietaryA, kToolAddress, kPump));
        if (random(16) == 0) {
            single(kClaim, idOf(6, pgn::kAddressClaimed, 255, kPump));
        }
    }
};

class CountingSink : public ReceiveSink {
  public:
    CountingSink(const Traffic& traffic, ReceiveDispatch& dispatch)
        : traffic_(traffic), dispatch_(dispatch) {}

    void framesReceived(std::span<const AdapterFrame> frames) override {
        for (const AdapterFrame& f : frames) {
            if (seen >= traffic_.frames.size() || !bench::sameFrame(f, traffic_.frames[seen])) {
                ++outOfOrder;
            }
            ++seen;
            if (const auto decoded = decodeFrame(f)) {
                dispatch_.onFrameReceived(*decoded);
            }
        }
        if (seen >= traffic_.frames.size() && onAllSeen) {
            onAllSeen();
        }
    }
    void linkLostDeclared() override { ++linkLosses; }

    // A handler: the message must be the next one the bus completed.
    void handled(Kind kind, const J1939Message& m) {
        ++handledCount[kind];
        const uint32_t seq = m.length >= 4 ? sequenceOf(m.data) : 0;
        if (nextMessage >= traffic_.handlerOrder.size() ||
            traffic_.handlerOrder[nextMessage] != seq) {
            ++outOfOrder;
        }
        ++nextMessage;
    }

    std::function<void()> onAllSeen;
    uint64_t seen = 0;
    uint64_t outOfOrder = 0;
    uint64_t linkLosses = 0;
    uint64_t handledCount[kKinds] = {};
    std::size_t nextMessage = 0;

  private:
    const Traffic& traffic_;
    ReceiveDispatch& dispatch_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::size_t frameCount = 1000000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0) {
            frameCount = std::max<std::size_t>(1000, std::strtoull(argv[i + 1], nullptr, 10));
        }
    }

    Traffic traffic;
    while (traffic.frames.size() < frameCount) {
        traffic.round();
    }

    ConnectionState state;
    TJ1939TransportProtocol tp;
    ReceiveDispatch dispatch(state, tp);
    CountingSink sink(traffic, dispatch);
    const auto route = [&](uint16_t key, Kind kind) {
        dispatch.setRoute(key, RouteFilter::fromAnyone(),
                          [&sink, kind](const J1939Message& m) { sink.handled(kind, m); });
    };
    dispatch.setRoute(
        pgn::kProprietaryA, RouteFilter::replyFromPump(), [&sink](const J1939Message& m) {
            sink.handled(m.length > 8 ? (m.length == 247 ? kPumpTp247 : kPumpTp55) : kPumpSingle,
                         m);
        });
    route(pgn::kIntakeGas, kUpstream);
    route(pgn::kOutletGas, kDownstream);
    route(pgn::kAddressClaimed, kClaim);

    ReplayDriver driver(traffic.frames);
    LinkFlags flags;
    flags.stopRequested = false;
    QObject mainThread;
    QElapsedTimer clock;
    qint64 elapsedNs = 0;
    TreadThread thread(driver, flags, sink, &mainThread, [&app] { app.quit(); });
    sink.onAllSeen = [&] {
        if (elapsedNs == 0) {
            elapsedNs = clock.nsecsElapsed();
            flags.stopRequested = true;
            thread.wake();
        }
    };
    // A receive path that stalls must not hang the benchmark.
    QTimer::singleShot(120000, &app, [&] {
        std::fprintf(stderr, "bench-rx: timed out\n");
        flags.stopRequested = true;
        thread.wake();
        app.quit();
    });

    clock.start();
    thread.resume();
    app.exec();
    if (elapsedNs == 0) {
        elapsedNs = clock.nsecsElapsed();
    }

    const double seconds = double(elapsedNs) / 1e9;
    const uint64_t frames = traffic.frames.size();
    const uint64_t lost = frames > sink.seen ? frames - sink.seen : 0;
    uint64_t missingMessages = 0;
    std::printf("bench-rx: %llu frames in %.3f s (%zu messages for the handlers)\n",
                (unsigned long long)frames, seconds, traffic.handlerOrder.size());
    for (int k = 0; k < kKinds; ++k) {
        std::printf("  %-26s expected %8llu, handled %8llu\n", kKindNames[k],
                    (unsigned long long)traffic.expected[k],
                    (unsigned long long)sink.handledCount[k]);
        if (sink.handledCount[k] < traffic.expected[k]) {
            missingMessages += traffic.expected[k] - sink.handledCount[k];
        }
    }
    const double perSecond = seconds > 0 ? double(sink.seen) / seconds : 0.0;
    std::printf("  frames/s %.0f, us/frame %.3f, link losses %llu, messages missing %llu\n",
                perSecond, sink.seen ? seconds * 1e6 / double(sink.seen) : 0.0,
                (unsigned long long)sink.linkLosses, (unsigned long long)missingMessages);
    std::printf(
        "rx-path: %.0f frames/s, %.0fx a saturated 250 kbit/s bus, lost %llu, out of order "
        "%llu\n",
        perSecond, perSecond / kSaturatedBusFramesPerSecond,
        (unsigned long long)(lost + missingMessages), (unsigned long long)sink.outOfOrder);
    return (lost + missingMessages + sink.outOfOrder) == 0 ? 0 : 1;
}
