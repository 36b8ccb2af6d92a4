#pragma once
// J1939 transport protocol, reduced to what the pump needs: every TP.CM from the pump starts a new
// reception that TP.DT frames fill in strict sequence (the tool never answers with CTS, ACK or
// Abort), and a long telegram leaves as a broadcast-style announcement addressed to the pump,
// followed at once by all of its data packets.

#include <cstdint>
#include <functional>

#include "comm/j1939.h"

class TJ1939TransportProtocol {
  public:
    // Clock in whole seconds; only the stall detection of a reception reads it.
    using Clock = std::function<uint32_t()>;

    explicit TJ1939TransportProtocol(Clock clock = {});

    // Receive side.
    void feedFrame(const J1939Frame& frame);
    bool takeCompleted(J1939Message& out);
    bool receiving();

    // Send side: startSend once, then nextFrame until it returns false.
    void startSend(const J1939Message& message);
    bool nextFrame(J1939Frame& out);

    // Read-only views for tests and diagnostics.
    bool rxActive() const { return rxActive_; }
    int32_t rxCount() const { return rxCount_; }
    uint32_t announcedSize() const { return announce_[1] + 256u * announce_[2]; }

  private:
    static uint32_t systemSeconds();

    Clock clock_;
    // Receive side.
    uint32_t lastPacketTime_ = 0;
    uint8_t announce_[8] = {};
    uint8_t lastPacket_[8] = {};
    J1939Message rxMessage_;
    int32_t rxCount_ = INT32_MAX;
    bool rxActive_ = false;
    // Send side.
    J1939Message txMessage_;
    int32_t txPosition_ = INT32_MAX;
    bool txAnnounced_ = false;
};
