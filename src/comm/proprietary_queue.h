#pragma once
// The Proprietary A transmit queue. Windows never put service telegrams on the bus themselves: they
// queue them here and the scheduler sends one at a time, waiting for the pump's reply in between.
// Operator commands (codes below 200) overtake the two lanes of periodic status polls.

#include <cstdint>
#include <deque>

#include "comm/connection_state.h"
#include "comm/j1939.h"
#include "comm/transport_protocol.h"

inline constexpr std::size_t kTelegramCapacity = 249;
inline constexpr uint8_t kFirstPollCode = 200;

struct T_J1939_PROPERITARY_A {
    uint8_t priority = kJ1939Priority;
    uint8_t source = kToolAddress;
    uint8_t destination = kNoPumpAddress;
    uint32_t pgn = pgn::kProprietaryA;
    uint16_t length = 0;
    uint8_t data[kTelegramCapacity] = {};
};

J1939Message toMessage(const T_J1939_PROPERITARY_A& telegram);

class TProperitaryQueue {
  public:
    void push(const T_J1939_PROPERITARY_A& record);
    bool take(T_J1939_PROPERITARY_A& out);
    bool firstPollLaneEmpty() const { return firstPoll_.empty(); }
    bool secondPollLaneEmpty() const { return secondPoll_.empty(); }
    bool commandLaneEmpty() const { return commands_.empty(); }
    void clear();
    std::size_t size() const { return commands_.size() + firstPoll_.size() + secondPoll_.size(); }

  private:
    std::deque<T_J1939_PROPERITARY_A> commands_;
    std::deque<T_J1939_PROPERITARY_A> firstPoll_;
    std::deque<T_J1939_PROPERITARY_A> secondPoll_;
};

// Builds telegrams addressed from the tool to the pump as they stand now, queues them, and puts
// taken telegrams on the bus (long ones through the transport protocol, back to back).
class ProprietarySender {
  public:
    ProprietarySender(TProperitaryQueue& queue, const ConnectionState& state,
                      TJ1939TransportProtocol& tp, FrameWriter& writer)
        : queue_(queue), state_(state), tp_(tp), writer_(writer) {}

    void enqueueTelegram(const uint8_t (&block)[kTelegramCapacity], uint16_t length);
    void enqueueCommand(uint8_t code, uint32_t longArg, uint16_t wordArg, uint8_t byteArg);
    // A telegram taken from the queue, from the tool's current address to the pump.
    void send(const T_J1939_PROPERITARY_A& telegram);
    void sendMessage(const J1939Message& message);

    TProperitaryQueue& queue() { return queue_; }

  private:
    T_J1939_PROPERITARY_A header() const;

    TProperitaryQueue& queue_;
    const ConnectionState& state_;
    TJ1939TransportProtocol& tp_;
    FrameWriter& writer_;
};
