#pragma once
// The tool's own J1939 address, won by address claim (J1939-81). NAMEs compare as 64-bit numbers:
// the lower one wins. The tool claims 249; when a node with a lower NAME holds it, the tool moves
// to 250; when it loses that too, it says so with Cannot Claim Address (source 254) and falls
// silent. It never uses address 0 (the engine's) or any address it has not claimed. Pure logic: the
// caller puts the frames it returns on the bus.

#include <array>
#include <cstdint>
#include <optional>

#include "comm/connection_state.h"
#include "comm/j1939.h"

// The tool's NAME: identity number 100000, ECU instance 2, every other field 0.
inline constexpr uint64_t kToolName = 0x00000002000186A0ull;

uint64_t nameOf(const J1939Message& claim);
// An Address Claimed (or, from kNullAddress, a Cannot Claim Address) frame.
J1939Frame addressClaimFrame(uint8_t source, uint64_t name);

class AddressClaim {
  public:
    enum class State { Unclaimed, Claimed, CannotClaim };

    explicit AddressClaim(uint64_t name = kToolName) : name_(name) {}

    State state() const { return state_; }
    // The address the tool sends from; kNullAddress when it could claim none.
    uint8_t address() const { return address_; }
    uint64_t name() const { return name_; }
    bool mayTransmit() const { return state_ != State::CannotClaim; }

    // Claims the first address no node with a lower NAME is known to hold; the frame to send.
    J1939Frame claim();
    // Forgets what it learnt of other nodes; the next claim starts from 249 again.
    void reset();
    // The answer to a Request for Address Claimed: the claim, or Cannot Claim.
    J1939Frame currentClaim() const { return addressClaimFrame(address_, name_); }

    // Another node's Address Claimed. Returns the frame the tool must send in answer, if any:
    // its own claim when it keeps its address (or moved to another), Cannot Claim when it lost
    // its last one.
    std::optional<J1939Frame> onClaim(const J1939Message& claim);

  private:
    static constexpr std::array<uint8_t, 2> kAddresses = {kToolAddress, kSecondToolAddress};
    // Lower NAMEs win; an identical NAME (a second tool of the same kind) wins too, so that two
    // tools on one bus never both transmit from the same address.
    bool beats(uint64_t theirs) const { return theirs <= name_; }

    uint64_t name_;
    State state_ = State::Unclaimed;
    uint8_t address_ = kToolAddress;
    // The NAMEs other nodes claimed our candidate addresses with.
    std::array<std::optional<uint64_t>, kAddresses.size()> held_{};
};
