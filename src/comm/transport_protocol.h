#pragma once
// J1939 transport protocol, reduced to what the pump needs. Receiving: a BAM-style or RTS
// announcement (TP.CM) opens a session for its sender and receiver, numbered packets (TP.DT) fill
// it in strict sequence, and the completed message is handed out exactly once. The tool never
// answers with CTS, ACK or Abort. Sessions are kept per (source, destination), so a broadcast from
// the pump (a DM1 with several faults, its VIN) never disturbs a reply being transferred to the
// tool. Sending: a long telegram leaves as a broadcast-style announcement addressed to the pump,
// followed at once by all of its data packets.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "comm/j1939.h"

// Control bytes of a TP.CM.
namespace tp_control {
inline constexpr uint8_t kRts = 16;
inline constexpr uint8_t kCts = 17;
inline constexpr uint8_t kEndOfMsgAck = 19;
inline constexpr uint8_t kBam = 32;
inline constexpr uint8_t kAbort = 255;
}  // namespace tp_control

class TJ1939TransportProtocol {
  public:
    // Monotonic milliseconds; only the in-progress window of a reception reads it.
    using Clock = std::function<uint64_t()>;
    // A reception counts as in progress for this long after its announcement or its last packet:
    // J1939 allows gaps of up to 200 ms between packets, and a pump may pause longer before its
    // first one.
    static constexpr uint64_t kInProgressMs = 2000;
    // Sessions held at once; a new sender/receiver pair beyond them replaces the stalest one.
    static constexpr std::size_t kMaxSessions = 4;

    explicit TJ1939TransportProtocol(Clock clock = {});
    ~TJ1939TransportProtocol();

    // Receive side. feedFrame takes TP.CM and TP.DT frames; after each, takeCompleted hands out
    // the message that frame completed, once.
    void feedFrame(const J1939Frame& frame);
    bool takeCompleted(J1939Message& out);
    // A reception from `source` to `destination` is in progress: announced or fed within the
    // window above and not yet complete.
    bool receiving(uint8_t source, uint8_t destination);

    // Send side: startSend once, then nextFrame until it returns false.
    void startSend(const J1939Message& message);
    bool nextFrame(J1939Frame& out);

    // Read-only views for tests and diagnostics.
    std::size_t sessionCount() const;
    // Bytes received so far by the session of a pair; -1 when there is none.
    int32_t rxCount(uint8_t source, uint8_t destination) const;

  private:
    struct Session;
    Session* find(uint8_t source, uint8_t destination) const;
    Session& open(uint8_t source, uint8_t destination);
    void onAnnouncement(const J1939Frame& frame);
    void onPacket(const J1939Frame& frame);

    Clock clock_;
    std::array<std::unique_ptr<Session>, kMaxSessions> sessions_;
    // The session the last packet completed, until takeCompleted hands it out.
    Session* completed_ = nullptr;
    // Send side.
    std::unique_ptr<J1939Message> txMessage_;
    int32_t txPosition_ = INT32_MAX;
    bool txAnnounced_ = false;
};
