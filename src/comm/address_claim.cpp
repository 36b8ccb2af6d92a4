#include "comm/address_claim.h"

uint64_t nameOf(const J1939Message& claim) {
    uint64_t name = 0;
    for (int i = 0; i < 8 && i < claim.length; ++i) {
        name |= uint64_t(claim.data[i]) << (8 * i);
    }
    return name;
}

J1939Frame addressClaimFrame(uint8_t source, uint64_t name) {
    J1939Frame f;
    f.priority = kJ1939Priority;
    f.source = source;
    f.destination = kGlobalAddress;
    f.pgn = pgn::kAddressClaimed;
    f.length = 8;
    for (int i = 0; i < 8; ++i) {
        f.data[i] = static_cast<uint8_t>(name >> (8 * i));
    }
    return f;
}

J1939Frame AddressClaim::claim() {
    for (std::size_t i = 0; i < kAddresses.size(); ++i) {
        if (!held_[i] || !beats(*held_[i])) {
            state_ = State::Claimed;
            address_ = kAddresses[i];
            return currentClaim();
        }
    }
    state_ = State::CannotClaim;
    address_ = kNullAddress;
    return currentClaim();
}

void AddressClaim::reset() {
    held_ = {};
    state_ = State::Unclaimed;
    address_ = kToolAddress;
}

std::optional<J1939Frame> AddressClaim::onClaim(const J1939Message& m) {
    for (std::size_t i = 0; i < kAddresses.size(); ++i) {
        if (m.source == kAddresses[i]) {
            held_[i] = nameOf(m);
        }
    }
    if (state_ != State::Claimed || m.source != address_) {
        return std::nullopt;  // not the address the tool holds
    }
    if (!beats(nameOf(m))) {
        return currentClaim();  // the tool keeps its address and says so again
    }
    return claim();  // the next address, or Cannot Claim
}
