#include "app/pump_connection.h"

#include <cstring>
#include <exception>
#include <vector>

#include "pump/service_codes.h"

namespace {
constexpr const char* kCannotClaimStatus = "No J1939 address free for the tool: it sends nothing";
constexpr const char* kCannotClaimMessage =
    "Other nodes on this bus hold both service tool addresses (249 and 250) with higher "
    "priority.\nThe tool sends nothing until it can claim an address again.";
}  // namespace

PumpConnection::PumpConnection(ConnectionState& state, LinkFlags& flags, CanLink& link,
                               TProperitaryQueue& queue, TJ1939TransportProtocol& tp,
                               ShellView& view)
    : state_(state),
      flags_(flags),
      link_(link),
      queue_(queue),
      tp_(tp),
      view_(view),
      sender_(queue, state, tp, *this) {}

bool PumpConnection::write(const J1939Frame& frame) {
    if (!claim_.mayTransmit() && frame.source != kNullAddress) {
        return false;
    }
    return link_.write(frame);
}

void PumpConnection::sendClaim(const J1939Frame& claim) {
    state_.ownAddress = claim_.address();
    write(claim);
    if (claim_.state() == AddressClaim::State::CannotClaim) {
        view_.setStatus(kCannotClaimStatus);
        if (!cannotClaimShown_) {
            cannotClaimShown_ = true;
            view_.notifyOperator(kCannotClaimMessage);
        }
    } else {
        cannotClaimShown_ = false;
    }
}

void PumpConnection::schedulerTick() {
    try {
        tickCount_ += kTickMs;
        const bool duty50 = tickCount_ % 50 == 0;
        if (duty50 && flags_.linkLost.load()) {
            link_.reinitialise();
        }
        // The tool claims its address before it sends anything else, and again once it has
        // been reset; a link that is down gets the claim when it is back.
        if (claim_.state() == AddressClaim::State::Unclaimed && !flags_.linkLost.load()) {
            sendClaim(claim_.claim());
        }

        if (duty50) {
            if (awaitingReply_ && pumpConnected_) {
                // A long reply is on its way: neither ask again nor count the wait.
                if (!tp_.receiving(state_.configuredPumpAddress, state_.ownAddress)) {
                    ++replyRetryCount_;
                    if (replyRetryCount_ >= kReplyRetryLimit) {
                        awaitingReply_ = false;
                    } else {
                        requestPgn(state_.configuredPumpAddress, pgn::kProprietaryA);
                    }
                }
            } else if (claim_.mayTransmit()) {
                // Without an address the telegrams wait in the queue rather than go nowhere.
                replyRetryCount_ = 0;
                T_J1939_PROPERITARY_A telegram;
                if (queue_.take(telegram)) {
                    sender_.send(telegram);
                    std::memcpy(lastSentTelegram_, telegram.data, kTelegramCapacity);
                    awaitingReply_ = true;
                    requestPgn(state_.configuredPumpAddress, pgn::kProprietaryA);
                }
            }
        }

        if (tickCount_ % 100 == 0) {
            if (!state_.pumpKnown()) {
                probeAddressClaim();
            } else if (!softwareIdReceived_) {
                requestPgn(state_.pumpAddress, pgn::kSoftwareId);
            } else if (!serviceReplyReceived_ && vinRequestDue_) {
                vinRequestDue_ = false;
                requestAllPages();
                requestPgn(state_.pumpAddress, pgn::kVehicleId);
            }
        }

        if (tickCount_ % 1000 == 0) {
            if (!serviceReplyReceived_ && !vinRequestDue_) {
                vinRequestDue_ = true;
            }
            const int silence = state_.supervisionCount;
            ++state_.supervisionCount;
            if (silence >= kSilenceLimitSeconds) {
                flags_.linkLost = true;
                resetPumpState();
                view_.setStatus("Pump not connected");
                view_.setPumpCommunication(false);
                pumpConnected_ = false;
                view_.clearPumpDisplay();
            } else {
                pumpConnected_ = true;
            }
        }

        if (pumpConnected_ && tickCount_ % 3000 == 0) {
            pollStatusPages();
        }

        tickCount_ %= kTickCycleMs;
    } catch (const std::exception& e) {
        view_.showException(e.what());
    }
}

void PumpConnection::resetPumpState() {
    try {
        // The tool keeps the address it won: it belongs to the tool's presence on the bus, not
        // to the pump. Having won none, it tries again from 249 at its next tick.
        if (claim_.state() == AddressClaim::State::CannotClaim) {
            claim_.reset();
            state_.ownAddress = claim_.address();
        }
        state_.pumpAddress = kNoPumpAddress;
        awaitingReply_ = false;
        softwareIdReceived_ = false;
        serviceReplyReceived_ = false;
        pumpConnected_ = false;
        view_.resetWindowsPumpState();
    } catch (const std::exception& e) {
        view_.showException(e.what());
    }
}

void PumpConnection::setConfiguredPumpAddress(uint8_t address) {
    if (address == state_.configuredPumpAddress) {
        return;
    }
    const bool wasKnown = state_.pumpKnown();
    state_.configuredPumpAddress = address;
    if (wasKnown) {
        resetPumpState();
        view_.setStatus("Pump not connected");
        view_.setPumpCommunication(false);
        view_.clearPumpDisplay();
    }
}

void PumpConnection::requestPgn(uint8_t destination, uint32_t requested) {
    J1939Frame f;
    f.priority = kJ1939Priority;
    f.source = state_.ownAddress;
    f.destination = destination;
    f.pgn = pgn::kRequest;
    f.length = 3;
    f.data[0] = requested & 0xFF;
    f.data[1] = (requested >> 8) & 0xFF;
    f.data[2] = 0;
    write(f);
}

void PumpConnection::probeAddressClaim() {
    // Everybody on the bus answers with its own claim; the pump among them.
    write(addressClaimFrame(kGlobalAddress, 0));
}

void PumpConnection::onAddressClaimed(const J1939Message& m) {
    if (auto answer = claim_.onClaim(m)) {
        sendClaim(*answer);
        return;
    }
    if (m.source == kUpstreamNoxAddress) {
        view_.noxSensorClaimed(true);
    } else if (m.source == kDownstreamNoxAddress) {
        view_.noxSensorClaimed(false);
    } else if (m.source == state_.configuredPumpAddress) {
        state_.pumpAddress = m.source;
        softwareIdReceived_ = false;
        view_.setStatus("Pump connected");
        view_.setPumpCommunication(true);
        requestAllPages();
        requestPgn(state_.pumpAddress, pgn::kVehicleId);
        pumpSoftwareVersion_ = PumpSoftwareVersion::unknownPump();
    }
    // Any other ECU's claim is none of the tool's business.
}

void PumpConnection::onRequest(const J1939Message& m) {
    if (m.length < 3) {
        return;
    }
    const uint32_t requested = m.data[0] | (m.data[1] << 8) | (uint32_t(m.data[2]) << 16);
    if (requested == pgn::kAddressClaimed && claim_.state() != AddressClaim::State::Unclaimed) {
        write(claim_.currentClaim());
    }
}

void PumpConnection::requestAllPages(bool keepCommands) {
    if (keepCommands) {
        std::vector<T_J1939_PROPERITARY_A> commands;
        T_J1939_PROPERITARY_A telegram;
        while (queue_.take(telegram)) {
            if (telegram.data[7] < kFirstPollCode) {
                commands.push_back(telegram);
            }
        }
        for (const T_J1939_PROPERITARY_A& command : commands) {
            queue_.push(command);
        }
    } else {
        queue_.clear();
    }
    sender_.enqueueCommand(service_code::kAllPages, 0, 0, 0);
}

void PumpConnection::enqueuePoll(uint8_t code, uint8_t byte0, uint8_t byte1) {
    uint8_t block[kTelegramCapacity] = {};
    block[0] = byte0;
    block[1] = byte1;
    block[7] = code;
    sender_.enqueueTelegram(block, 8);
}

void PumpConnection::pollStatusPages() {
    using namespace service_code;
    if (queue_.firstPollLaneEmpty()) {
        if (nameMasksDue_) {
            nameMasksDue_ = false;
            if (pumpSoftwareVersion_.page216()) {
                enqueuePoll(kPage216, 0);
                enqueuePoll(kRequestMiMasks, 0);
            }
        }
        for (uint8_t code :
             {kPage201, kPage202, kPage205, kPage207, kPage208, kPage209, kPage210, kPage211}) {
            enqueuePoll(code, 0);
        }
    }
    if (queue_.secondPollLaneEmpty()) {
        for (uint8_t code : {kPage203, kPage204, kPage206, kPage212}) {
            enqueuePoll(code, 1);
        }
        if (pumpSoftwareVersion_.page216()) {
            enqueuePoll(kPage216, 1);
        }
        if (pumpSoftwareVersion_.parameterReadout()) {
            enqueuePoll(kParameterRead, 0, 0);
            enqueuePoll(kParameterRead, 1, 0);
        }
    }
}
