#pragma once
// The scheduler tick and the connection supervision: every 50 ms the next queued telegram goes out
// and its reply is chased, every 100 ms the pump is searched for and asked for its identification,
// every second the silence is counted, every 3 s the status pages are polled. It also holds the
// tool's own address (won by address claim) and lets nothing out that the tool may not send.
// Main thread only.

#include <cstdint>

#include "app/shell_view.h"
#include "comm/address_claim.h"
#include "comm/can_link.h"
#include "comm/connection_state.h"
#include "comm/proprietary_queue.h"
#include "comm/transport_protocol.h"
#include "pump/software_version.h"

inline constexpr int kReplyRetryLimit = 60;
inline constexpr int kSilenceLimitSeconds = 6;
inline constexpr int kTickMs = 10;
inline constexpr uint32_t kTickCycleMs = 10000;

class PumpConnection : public FrameWriter {
  public:
    PumpConnection(ConnectionState& state, LinkFlags& flags, CanLink& link,
                   TProperitaryQueue& queue, TJ1939TransportProtocol& tp, ShellView& view);

    // The sender of the service telegrams, writing through this connection's gate.
    ProprietarySender& sender() { return sender_; }

    // FrameWriter: every frame the tool sends passes here. While the tool holds no address only
    // its Cannot Claim Address goes out.
    bool write(const J1939Frame& frame) override;

    void schedulerTick();
    void resetPumpState();
    void requestPgn(uint8_t destination, uint32_t pgn);
    void probeAddressClaim();
    void onAddressClaimed(const J1939Message& message);
    // A Request: one for Address Claimed, to everybody or to the tool, is answered.
    void onRequest(const J1939Message& message);
    void onSoftwareIdentification() { softwareIdReceived_ = true; }
    // Empties the transmit queue and asks for all status pages. `keepCommands` empties only the
    // two poll lanes: operator commands already queued (the close-down's reset) still go out,
    // before the request.
    void requestAllPages(bool keepCommands = false);
    void pollStatusPages();
    // The configured pump address changed ("tool.ini" was edited): a pump known at the old one is
    // forgotten and searched for again.
    void setConfiguredPumpAddress(uint8_t address);

    // Reply bookkeeping (the reply decoder and the operator messages end the wait).
    void replyAccepted() {
        awaitingReply_ = false;
        serviceReplyReceived_ = true;
    }
    void endReplyWait() { awaitingReply_ = false; }
    bool awaitingReply() const { return awaitingReply_; }
    bool serviceReplyReceived() const { return serviceReplyReceived_; }
    int replyRetryCount() const { return replyRetryCount_; }
    const uint8_t (&lastSentTelegram() const)[kTelegramCapacity] { return lastSentTelegram_; }

    bool pumpConnected() const { return pumpConnected_; }
    bool softwareIdReceived() const { return softwareIdReceived_; }
    PumpSoftwareVersion pumpSoftwareVersion() const { return pumpSoftwareVersion_; }
    void setPumpSoftwareVersion(PumpSoftwareVersion version) { pumpSoftwareVersion_ = version; }
    // The start of the silence count (the main window's creation).
    void resetSupervision() { state_.supervisionCount = 0; }
    uint32_t tickCount() const { return tickCount_; }

    const AddressClaim& addressClaim() const { return claim_; }
    const ConnectionState& connection() const { return state_; }

  private:
    void enqueuePoll(uint8_t code, uint8_t byte0, uint8_t byte1 = 0);
    // Sends a claim frame the address claim produced and follows its outcome.
    void sendClaim(const J1939Frame& claim);

    ConnectionState& state_;
    LinkFlags& flags_;
    CanLink& link_;
    TProperitaryQueue& queue_;
    TJ1939TransportProtocol& tp_;
    ShellView& view_;
    ProprietarySender sender_;
    AddressClaim claim_;

    uint32_t tickCount_ = 0;
    bool softwareIdReceived_ = false;
    bool vinRequestDue_ = true;
    bool awaitingReply_ = false;
    bool serviceReplyReceived_ = false;
    int replyRetryCount_ = 0;
    uint8_t lastSentTelegram_[kTelegramCapacity] = {};
    bool pumpConnected_ = false;
    bool nameMasksDue_ = true;
    // Told the operator that no address could be claimed; again only after one was won.
    bool cannotClaimShown_ = false;
    PumpSoftwareVersion pumpSoftwareVersion_;
};
