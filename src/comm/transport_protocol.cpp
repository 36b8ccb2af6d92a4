#include "comm/transport_protocol.h"

#include <algorithm>
#include <cstring>
#include <ctime>

uint32_t TJ1939TransportProtocol::systemSeconds() {
    return static_cast<uint32_t>(std::time(nullptr));
}

TJ1939TransportProtocol::TJ1939TransportProtocol(Clock clock)
    : clock_(clock ? std::move(clock) : Clock(&TJ1939TransportProtocol::systemSeconds)) {}

void TJ1939TransportProtocol::feedFrame(const J1939Frame& frame) {
    const uint32_t pf = pduFormatOf(frame.pgn);
    if (pf == pgn::kTpCm) {
        // Whatever the control byte: a new announcement abandons any reception in progress.
        std::memset(announce_, 0, sizeof announce_);
        std::memcpy(announce_, frame.data, std::min<uint8_t>(frame.length, 8));
        rxMessage_.priority = frame.priority;
        rxMessage_.source = frame.source;
        rxMessage_.destination = frame.destination;
        rxMessage_.pgn = frame.pgn;
        rxMessage_.length = 0;
        rxCount_ = 0;
        lastPacket_[0] = 0;
        rxActive_ = true;
        return;
    }
    if (pf != pgn::kTpDt) {
        return;
    }
    const uint32_t total = announcedSize();
    lastPacketTime_ = clock_();
    if (frame.length < 1 || int(frame.data[0]) != int(lastPacket_[0]) + 1) {
        return;  // repeated, early or late packet
    }
    if (total > kMaxMessageData) {
        return;  // more than the buffer holds: the session can never complete
    }
    // A TP.DT without any TP.CM is stored but appends nothing: rxCount_ still holds its start
    // value, which is above every size an announcement can give.
    std::memset(lastPacket_, 0, sizeof lastPacket_);
    std::memcpy(lastPacket_, frame.data, std::min<uint8_t>(frame.length, 8));
    // Short last packets carry fewer than 7 bytes: the unsent part reads as zero, as a bus frame
    // padded by the sender would.
    for (int i = 1; i <= 7 && rxCount_ >= 0 && uint32_t(rxCount_) < total; ++i) {
        rxMessage_.data[rxCount_] = lastPacket_[i];
        ++rxCount_;
    }
    if (uint32_t(rxCount_) == total) {
        rxActive_ = false;
    }
}

bool TJ1939TransportProtocol::takeCompleted(J1939Message& out) {
    if (rxCount_ < 0 || uint32_t(rxCount_) != announcedSize()) {
        return false;
    }
    rxMessage_.pgn = announce_[5] + 256u * announce_[6];
    rxMessage_.length = static_cast<uint16_t>(rxCount_);
    out = rxMessage_;
    return true;
}

bool TJ1939TransportProtocol::receiving() {
    if (int64_t(clock_()) - int64_t(lastPacketTime_) > 2) {
        rxActive_ = false;
    }
    return rxActive_;
}

void TJ1939TransportProtocol::startSend(const J1939Message& message) {
    txAnnounced_ = false;
    txPosition_ = 0;
    txMessage_ = message;
    txMessage_.length = std::min<uint16_t>(txMessage_.length, kMaxMessageData);
}

bool TJ1939TransportProtocol::nextFrame(J1939Frame& out) {
    out = J1939Frame{};
    out.priority = txMessage_.priority;
    out.source = txMessage_.source;
    out.destination = txMessage_.destination;
    const int32_t length = txMessage_.length;
    if (!txAnnounced_) {
        if (txPosition_ != 0) {
            return false;
        }
        txAnnounced_ = true;
        out.pgn = pgn::kTpCm;
        out.length = 8;
        out.data[0] = 32;
        out.data[1] = length & 0xFF;
        out.data[2] = (length >> 8) & 0xFF;
        out.data[3] = static_cast<uint8_t>((length + 6) / 7);
        out.data[4] = 0;
        out.data[5] = txMessage_.pgn & 0xFF;
        out.data[6] = (txMessage_.pgn >> 8) & 0xFF;
        out.data[7] = 0;
        return true;
    }
    if (txPosition_ >= length) {
        return false;
    }
    out.pgn = pgn::kTpDt;
    out.data[0] = static_cast<uint8_t>(txPosition_ / 7 + 1);
    int n = 0;
    while (n < 7 && txPosition_ < length) {
        out.data[1 + n] = txMessage_.data[txPosition_];
        ++n;
        ++txPosition_;
    }
    out.length = static_cast<uint8_t>(1 + n);
    return true;
}
