#include "app/pump_connection.h"

#include <cstring>
#include <exception>

PumpConnection::PumpConnection(ConnectionState& state, LinkFlags& flags, CanLink& link,
                               TProperitaryQueue& queue, ProprietarySender& sender,
                               TJ1939TransportProtocol& tp, ShellView& view)
    : state_(state),
      flags_(flags),
      link_(link),
      queue_(queue),
      sender_(sender),
      tp_(tp),
      view_(view) {}

void PumpConnection::schedulerTick() {
    try {
        tickCount += kTickMs;

        if (tickCount % 50 == 0) {
            if (flags_.linkLost.load()) {
                link_.reinitialise();
            }
            if (awaitingReply && pumpConnected) {
                // A long reply is on its way: neither ask again nor count the wait.
                if (!tp_.receiving()) {
                    ++replyRetryCount;
                    if (replyRetryCount >= kReplyRetryLimit) {
                        awaitingReply = false;
                    } else {
                        requestPgn(state_.pumpAddress, pgn::kProprietaryA);
                    }
                }
            } else {
                replyRetryCount = 0;
                T_J1939_PROPERITARY_A telegram;
                if (queue_.take(telegram)) {
                    sender_.sendMessage(telegram);
                    std::memcpy(lastSentTelegram, telegram.data, kTelegramCapacity);
                    awaitingReply = true;
                    requestPgn(state_.pumpAddress, pgn::kProprietaryA);
                }
            }
        }

        if (tickCount % 100 == 0) {
            if (state_.pumpAddress == kNoPumpAddress) {
                probeAddressClaim();
            } else if (!softwareIdReceived) {
                requestPgn(state_.pumpAddress, pgn::kSoftwareId);
            } else if (!serviceReplyReceived && vinRequestDue) {
                vinRequestDue = false;
                requestAllPages();
                requestPgn(state_.pumpAddress, pgn::kVehicleId);
            }
        }

        if (tickCount % 1000 == 0) {
            if (!serviceReplyReceived && !vinRequestDue) {
                vinRequestDue = true;
            }
            const int silence = state_.supervisionCount;
            ++state_.supervisionCount;
            if (silence >= kSilenceLimitSeconds) {
                flags_.linkLost = true;
                resetPumpState();
                view_.setStatus("Pump not connected");
                view_.setPumpCommunication(false);
                pumpConnected = false;
                view_.clearPumpDisplay();
            } else {
                pumpConnected = true;
            }
        }

        if (pumpConnected && tickCount % 3000 == 0) {
            pollStatusPages();
        }

        tickCount %= kTickCycleMs;
    } catch (const std::exception& e) {
        view_.showException(e.what());
    }
}

void PumpConnection::resetPumpState() {
    try {
        state_.alternateAddress = 0;
        state_.ownAddress = kToolAddress;
        state_.pumpAddress = kNoPumpAddress;
        awaitingReply = false;
        softwareIdReceived = false;
        serviceReplyReceived = false;
        pumpConnected = false;
        view_.resetWindowsPumpState();
    } catch (const std::exception& e) {
        view_.showException(e.what());
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
    link_.write(f);
}

void PumpConnection::sendAddressClaim(uint8_t source) {
    J1939Frame f;
    f.priority = kJ1939Priority;
    f.source = source;
    f.destination = kGlobalAddress;
    f.pgn = pgn::kAddressClaimed;
    f.length = 8;
    std::memcpy(f.data, toolName, 8);
    link_.write(f);
}

void PumpConnection::probeAddressClaim() {
    std::memset(toolName, 0, sizeof toolName);
    sendAddressClaim(kGlobalAddress);
}

void PumpConnection::claimOwnAddress() {
    std::memcpy(toolName, kToolName, sizeof toolName);
    sendAddressClaim(state_.alternateAddress);
}

void PumpConnection::onAddressClaimed(const J1939Message& m) {
    if (m.source == state_.alternateAddress || m.source == state_.ownAddress) {
        // Another node claims one of our addresses: the lower NAME wins, compared from the most
        // significant byte down.
        const int n = m.length < 8 ? m.length : 8;
        for (int i = 0; i < n; ++i) {
            if (toolName[7 - i] > m.data[7 - i]) {
                state_.ownAddress = 0;
                state_.alternateAddress = 0;
                break;
            }
        }
        if (state_.alternateAddress == 0 || state_.ownAddress == 0) {
            claimOwnAddress();
        }
    } else if (m.source == kUpstreamNoxAddress) {
        view_.noxSensorClaimed(true);
    } else if (m.source == kDownstreamNoxAddress) {
        view_.noxSensorClaimed(false);
    } else {
        state_.pumpAddress = m.source;
        softwareIdReceived = false;
        view_.setStatus("Pump connected");
        view_.setPumpCommunication(true);
        requestAllPages();
        requestPgn(state_.pumpAddress, pgn::kVehicleId);
        pumpSoftwareVersion = PumpSoftwareVersion::unknownPump();
    }
}

void PumpConnection::requestAllPages() {
    queue_.clear();
    sender_.enqueueCommand(200, 0, 0, 0);
}

void PumpConnection::enqueuePoll(uint8_t code, uint8_t byte0, uint8_t byte1) {
    uint8_t block[kTelegramCapacity] = {};
    block[0] = byte0;
    block[1] = byte1;
    block[7] = code;
    sender_.enqueueTelegram(block, 8);
}

void PumpConnection::pollStatusPages() {
    const bool newLayout = pumpSoftwareVersion.atLeast(0, 6);
    if (queue_.firstPollLaneEmpty()) {
        if (nameMasksDue) {
            nameMasksDue = false;
            if (newLayout) {
                enqueuePoll(216, 0);
                enqueuePoll(165, 0);
            }
        }
        for (uint8_t code : {201, 202, 205, 207, 208, 209, 210, 211}) {
            enqueuePoll(code, 0);
        }
    }
    if (queue_.secondPollLaneEmpty()) {
        for (uint8_t code : {203, 204, 206, 212}) {
            enqueuePoll(code, 1);
        }
        if (newLayout) {
            enqueuePoll(216, 1);
        }
        if (pumpSoftwareVersion.major * 100 + pumpSoftwareVersion.minor >= 9) {
            enqueuePoll(173, 0, 0);
            enqueuePoll(173, 1, 0);
        }
    }
}
