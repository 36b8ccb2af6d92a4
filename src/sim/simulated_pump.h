#pragma once
// The simulated dosing-pump controller and its two NOx sensors, as one bus-agnostic node: frames go
// in through onFrame, frames come out through the output callback, and simulated time moves only
// by advance(). No wall clock, no threads; the drifting values come from a seeded generator, so a
// run is the same every time.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "comm/j1939.h"
#include "comm/transport_protocol.h"
#include "sim/pump_model.h"
#include "sim/pump_pages.h"

namespace sim {

inline constexpr uint8_t kUpstreamSensorAddress = 81;
inline constexpr uint8_t kDownstreamSensorAddress = 82;
inline constexpr uint8_t kCannotClaimAddress = 254;
inline constexpr uint8_t kToolAddress = 249;
inline constexpr uint32_t kSensorPeriodMs = 100;
inline constexpr uint32_t kSensorTimeoutMs = 1000;  // the pump's view of a silent sensor

// Small deterministic generator (xorshift64*), the same on every platform.
class Prng {
  public:
    explicit Prng(uint64_t seed) : state_(seed ? seed * 0x9E3779B97F4A7C15ull : 0x1234567ull) {}
    uint32_t next();
    // Uniform in [-span, span].
    int32_t step(int32_t span);

  private:
    uint64_t state_;
};

class SimulatedPump {
  public:
    using Output = std::function<void(const AdapterFrame&)>;

    explicit SimulatedPump(PumpOptions options = {}, Output output = {});

    void setOutput(Output output) { output_ = std::move(output); }
    // Power on: the pump and its sensors claim their addresses.
    void start();
    void onFrame(const AdapterFrame& frame);
    void advance(uint32_t ms);

    void setFault(Fault fault, bool on);
    bool fault(Fault fault) const { return options_.fault(fault); }

    const PumpOptions& options() const { return options_; }
    const PumpState& state() const { return state_; }
    // For tests that need the pump in a particular situation.
    PumpState& mutableState() { return state_; }
    uint64_t nowMs() const { return nowMs_; }

    // What the pump would report now.
    PageContext pageContext() const;
    uint64_t obdStates() const;
    uint32_t torqueLimiterCauses() const;
    int8_t alarmCode() const;
    // The reply a Request for 0xEF00 gets now; empty while there is none.
    const Bytes& currentReply() const;
    Bytes softwareIdentification() const;
    Bytes vehicleIdentification() const;

    uint64_t pumpName() const;
    uint64_t sensorName(int side) const;
    // The NAME claimed for the tool's address under ClaimToolAddress: it beats the tool's own.
    static constexpr uint64_t kImpostorName = 0x0000000100000000ull;

  private:
    struct Scheduled {
        uint64_t dueMs = 0;
        J1939Frame frame;
        uint8_t destination = kGlobalAddress;
    };

    // Bus side.
    void emitFrame(const J1939Frame& frame);
    void emitPump(const J1939Frame& frame);
    void sendMessage(uint8_t source, uint8_t destination, uint32_t pgn, const Bytes& data,
                     bool stall);
    bool sessionPending(uint8_t destination) const;
    void claimPump();
    void claimSensor(int side);
    void claimToolAddress();
    void onAddressClaimed(const J1939Frame& frame);
    void onRequest(const J1939Frame& frame);
    void onTransport(const J1939Frame& frame);
    void answerReplyRequest(uint8_t requester);
    void refreshReply();

    // Service telegrams.
    void onTelegram(const Bytes& telegram);
    Bytes handleTelegram(const Bytes& t);
    Bytes handleParameterWrite(const Bytes& t);
    Bytes handleConfigOld(const Bytes& t);
    Bytes handleConfigNew(const Bytes& t);
    void corruptEcho(uint8_t code, Bytes& reply) const;
    void enterNormalMode();
    void stopOutputs();

    // Simulated world.
    void runUntil(uint64_t target);
    void onSecond();
    void onDrift();
    void sendSensorMessage(int side);
    void updateFlow();
    void fillBucket(uint32_t ms);
    void addErrorLogEntry(uint16_t component);
    void initialiseImage();
    bool sensorLinkLost(int side) const;

    PumpOptions options_;
    Output output_;
    PumpState state_;
    Prng prng_;
    uint64_t nowMs_ = 0;
    uint64_t nextSecondMs_ = 1000;
    uint64_t nextDriftMs_ = 100;
    std::array<uint64_t, 2> nextSensorMs_{0, 50};
    std::array<uint16_t, 2> sensorNoxRaw_{20000, 6400};
    std::array<uint16_t, 2> sensorO2Raw_{42800, 43000};
    uint64_t strokeVolume_ = 0;  // accumulated flow x ms not yet a whole stroke

    // Reply buffer and its faults.
    Bytes reply_;
    Bytes previousReply_;
    uint64_t replyTimeMs_ = 0;
    uint32_t replySerial_ = 0;
    uint32_t droppedSerial_ = 0;
    uint32_t stalledSerial_ = 0;
    uint64_t errorLogReadyMs_ = 0;
    uint16_t errorLogRequested_ = 0;

    std::deque<Scheduled> scheduled_;
    std::map<uint8_t, std::unique_ptr<TJ1939TransportProtocol>> reassembly_;
    std::array<bool, 2> sensorLost_{};
    std::array<bool, 2> sensorLogged_{};
};

}  // namespace sim
