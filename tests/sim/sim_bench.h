#pragma once
// The tool's side of the bus around one simulated pump: Requests and service telegrams built with
// the tool's own transmit path (long ones through its transport packer), replies taken apart with
// the tool's own reassembler, simulated time moved by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "comm/proprietary_queue.h"
#include "comm/sim_bus.h"
#include "comm/transport_protocol.h"
#include "sim/pump_layout.h"
#include "sim/simulated_pump.h"

namespace sim_test {

using namespace sim;

inline constexpr uint8_t kPump = 61;
inline constexpr uint8_t kTool = 249;

// The tool's side of the bus around one simulated pump.
class Bench : public FrameWriter {
  public:
    explicit Bench(PumpOptions options = {})
        : pump_(options, [this](const AdapterFrame& f) { onPumpFrame(f); }),
          sender_(queue_, connection_, txTp_, *this),
          rxTp_([this] { return uint32_t(pump_.nowMs() / 1000); }) {
        connection_.pumpAddress = options.address;
    }

    SimulatedPump& pump() { return pump_; }
    std::vector<J1939Frame>& frames() { return frames_; }

    // FrameWriter: what the tool writes reaches the pump.
    void write(const J1939Frame& frame) override {
        auto af = encodeFrame(frame);
        ASSERT_TRUE(af.has_value());
        pump_.onFrame(*af);
    }

    void request(uint32_t group, uint8_t destination = kPump, uint8_t source = kTool) {
        J1939Frame f;
        f.source = source;
        f.destination = destination;
        f.pgn = pgn::kRequest;
        f.length = 3;
        f.data[0] = group & 0xFF;
        f.data[1] = (group >> 8) & 0xFF;
        f.data[2] = (group >> 16) & 0xFF;
        write(f);
    }

    void claim(uint8_t source, uint64_t name) {
        J1939Frame f;
        f.source = source;
        f.pgn = pgn::kAddressClaimed;
        f.length = 8;
        for (int i = 0; i < 8; ++i) {
            f.data[i] = static_cast<uint8_t>(name >> (8 * i));
        }
        write(f);
    }

    // A service telegram, through the tool's queue and sender.
    void send(const Bytes& telegram) {
        uint8_t block[kTelegramCapacity] = {};
        std::memcpy(block, telegram.data(), std::min(telegram.size(), sizeof block));
        sender_.enqueueTelegram(block, static_cast<uint16_t>(telegram.size()));
        T_J1939_PROPERITARY_A record;
        ASSERT_TRUE(queue_.take(record));
        sender_.sendMessage(record);
    }

    // The whole messages from the pump to the tool since the last call, reassembled as the tool
    // does: single Proprietary A frames and transport sessions from the pump's address.
    std::vector<J1939Message> messages() {
        std::vector<J1939Message> out;
        for (; scanned_ < frames_.size(); ++scanned_) {
            const J1939Frame& f = frames_[scanned_];
            const uint32_t pf = pduFormatOf(f.pgn);
            if (isPdu2(f.pgn) || f.source != connection_.pumpAddress) {
                continue;
            }
            if (f.destination != kTool && f.destination != kGlobalAddress && f.destination != 0) {
                continue;
            }
            if (pf == pgn::kTpCm || pf == pgn::kTpDt) {
                rxTp_.feedFrame(f);
                if (pf == pgn::kTpCm) {
                    taken_ = false;
                }
                J1939Message m;
                if (!taken_ && rxTp_.takeCompleted(m)) {
                    taken_ = true;
                    out.push_back(m);
                }
            } else if (pf == pgn::kProprietaryA) {
                out.push_back(messageFromFrame(f));
            }
        }
        return out;
    }

    // Command, Request for 0xEF00, and the reply once it has been paced out (or nothing).
    std::optional<Bytes> ask(const Bytes& telegram, uint32_t waitMs = 400) {
        send(telegram);
        return poll(waitMs);
    }
    // Waits no longer than the reply takes to come out whole, so that live values do not move on
    // behind the test's back.
    std::optional<Bytes> poll(uint32_t waitMs = 400) {
        messages();
        request(pgn::kProprietaryA);
        for (uint32_t waited = 0;; ++waited) {
            for (const auto& m : messages()) {
                if (pduFormatOf(m.pgn) == pgn::kProprietaryA) {
                    return Bytes(m.data, m.data + m.length);
                }
            }
            if (waited >= waitMs) {
                return std::nullopt;
            }
            pump_.advance(1);
        }
    }

    std::vector<J1939Frame> framesWith(uint32_t group) const {
        std::vector<J1939Frame> out;
        for (const auto& f : frames_) {
            if ((isPdu2(f.pgn) ? (f.pgn & 0xFFFF) : pduFormatOf(f.pgn)) == group) {
                out.push_back(f);
            }
        }
        return out;
    }

  private:
    void onPumpFrame(const AdapterFrame& f) {
        auto decoded = decodeFrame(f);
        ASSERT_TRUE(decoded.has_value());
        frames_.push_back(*decoded);
    }

    SimulatedPump pump_;
    ConnectionState connection_;
    TProperitaryQueue queue_;
    TJ1939TransportProtocol txTp_;
    ProprietarySender sender_;
    TJ1939TransportProtocol rxTp_;
    std::vector<J1939Frame> frames_;
    std::size_t scanned_ = 0;
    bool taken_ = false;
};

inline Bytes command(uint8_t code, uint32_t longArg = 0, uint16_t wordArg = 0,
                     uint8_t byteArg = 0) {
    Bytes t(8, 0);
    for (int i = 0; i < 4; ++i) {
        t[i] = static_cast<uint8_t>(longArg >> (8 * i));
    }
    t[4] = wordArg & 0xFF;
    t[5] = wordArg >> 8;
    t[6] = byteArg;
    t[7] = code;
    return t;
}

inline PumpOptions withSoftware(uint8_t major, uint8_t minor) {
    PumpOptions o;
    o.software = {major, minor};
    return o;
}

// A pump in test mode, its frames so far forgotten.
inline Bench& inTestMode(Bench& bench) {
    auto r = bench.ask(command(layout::code::kTestMode));
    EXPECT_TRUE(r.has_value());
    bench.messages();
    return bench;
}

inline Bytes pageBody(Bench& bench, uint8_t page) {
    auto r = bench.ask(command(page));
    EXPECT_TRUE(r.has_value());
    if (!r) {
        return {};
    }
    EXPECT_EQ((*r)[7], page);
    return Bytes(r->begin() + 8, r->end());
}

}  // namespace sim_test
