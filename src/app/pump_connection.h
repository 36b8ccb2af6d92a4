#pragma once
// The scheduler tick and the connection supervision: every 50 ms the next queued telegram goes out
// and its reply is chased, every 100 ms the pump is searched for and asked for its identification,
// every second the silence is counted, every 3 s the status pages are polled. Main thread only.

#include <cstdint>
#include <functional>

#include "app/shell_view.h"
#include "comm/can_link.h"
#include "comm/connection_state.h"
#include "comm/proprietary_queue.h"
#include "comm/transport_protocol.h"
#include "pump/software_version.h"

inline constexpr int kReplyRetryLimit = 60;
inline constexpr int kSilenceLimitSeconds = 6;
inline constexpr int kTickMs = 10;
inline constexpr uint32_t kTickCycleMs = 10000;

// The tool's own J1939 NAME: identity number 100000, ECU instance 2.
inline constexpr uint8_t kToolName[8] = {0xA0, 0x86, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00};

class PumpConnection {
  public:
    PumpConnection(ConnectionState& state, LinkFlags& flags, CanLink& link,
                   TProperitaryQueue& queue, ProprietarySender& sender, TJ1939TransportProtocol& tp,
                   ShellView& view);

    void schedulerTick();
    void resetPumpState();
    void requestPgn(uint8_t destination, uint32_t pgn);
    void probeAddressClaim();
    void claimOwnAddress();
    void onAddressClaimed(const J1939Message& message);
    void onSoftwareIdentification() { softwareIdReceived = true; }
    void requestAllPages();
    void pollStatusPages();

    // State (names as the tool's other parts know them).
    uint32_t tickCount = 0;
    bool softwareIdReceived = false;
    bool vinRequestDue = true;
    bool awaitingReply = false;
    bool serviceReplyReceived = false;
    int replyRetryCount = 0;
    uint8_t lastSentTelegram[kTelegramCapacity] = {};
    bool pumpConnected = false;
    uint8_t toolName[8] = {};
    bool nameMasksDue = true;
    PumpSoftwareVersion pumpSoftwareVersion;

    ConnectionState& connection() { return state_; }

  private:
    void enqueuePoll(uint8_t code, uint8_t byte0, uint8_t byte1 = 0);
    void sendAddressClaim(uint8_t source);

    ConnectionState& state_;
    LinkFlags& flags_;
    CanLink& link_;
    TProperitaryQueue& queue_;
    ProprietarySender& sender_;
    TJ1939TransportProtocol& tp_;
    ShellView& view_;
};
