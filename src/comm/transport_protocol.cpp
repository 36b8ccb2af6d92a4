#include "comm/transport_protocol.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {
uint64_t monotonicMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

struct TJ1939TransportProtocol::Session {
    uint8_t source = 0;
    uint8_t destination = 0;
    uint8_t announce[8] = {};
    uint8_t lastSequence = 0;
    uint32_t total = 0;
    int32_t rxCount = 0;
    uint64_t lastMs = 0;  // the announcement or the most recent packet
    bool active = false;  // counts as in progress (until complete or stale)
    bool complete = false;
    J1939Message message;
};

TJ1939TransportProtocol::TJ1939TransportProtocol(Clock clock)
    : clock_(clock ? std::move(clock) : Clock(&monotonicMs)) {}

TJ1939TransportProtocol::~TJ1939TransportProtocol() = default;

TJ1939TransportProtocol::Session* TJ1939TransportProtocol::find(uint8_t source,
                                                                uint8_t destination) const {
    for (const auto& s : sessions_) {
        if (s && s->source == source && s->destination == destination) {
            return s.get();
        }
    }
    return nullptr;
}

TJ1939TransportProtocol::Session& TJ1939TransportProtocol::open(uint8_t source,
                                                                uint8_t destination) {
    if (Session* s = find(source, destination)) {
        return *s;
    }
    // A free slot, else the one least worth keeping: finished sessions first, then the stalest.
    std::unique_ptr<Session>* slot = nullptr;
    for (auto& s : sessions_) {
        if (!s) {
            slot = &s;
            break;
        }
        if (!slot || ((*slot)->active && !s->active) ||
            ((*slot)->active == s->active && s->lastMs < (*slot)->lastMs)) {
            slot = &s;
        }
    }
    if (*slot && completed_ == slot->get()) {
        completed_ = nullptr;
    }
    *slot = std::make_unique<Session>();
    (*slot)->source = source;
    (*slot)->destination = destination;
    return **slot;
}

void TJ1939TransportProtocol::feedFrame(const J1939Frame& frame) {
    const uint32_t pf = pduFormatOf(frame.pgn);
    if (pf == pgn::kTpCm) {
        onAnnouncement(frame);
    } else if (pf == pgn::kTpDt) {
        onPacket(frame);
    }
}

void TJ1939TransportProtocol::onAnnouncement(const J1939Frame& frame) {
    const uint8_t control = frame.length > 0 ? frame.data[0] : 0;
    if (control == tp_control::kAbort) {
        // The sender gives the session up: what it had sent so far is not a message.
        for (auto& s : sessions_) {
            if (s && s->source == frame.source && s->destination == frame.destination) {
                if (completed_ == s.get()) {
                    completed_ = nullptr;
                }
                s.reset();
            }
        }
        return;
    }
    if (control != tp_control::kBam && control != tp_control::kRts) {
        return;  // CTS and acknowledgements belong to sessions the tool would send; it sends none
    }
    // A new announcement abandons any reception in progress between the same two nodes.
    Session& s = open(frame.source, frame.destination);
    if (completed_ == &s) {
        completed_ = nullptr;
    }
    std::memset(s.announce, 0, sizeof s.announce);
    std::memcpy(s.announce, frame.data, std::min<uint8_t>(frame.length, 8));
    s.total = s.announce[1] + 256u * s.announce[2];
    s.lastSequence = 0;
    s.rxCount = 0;
    s.lastMs = clock_();
    s.complete = false;
    s.active = true;
    s.message = J1939Message{};
    s.message.priority = frame.priority;
    s.message.source = frame.source;
    s.message.destination = frame.destination;
    if (s.total == 0) {
        // Nothing to wait for: the empty message is complete at once.
        s.active = false;
        s.complete = true;
        completed_ = &s;
    }
}

void TJ1939TransportProtocol::onPacket(const J1939Frame& frame) {
    Session* s = find(frame.source, frame.destination);
    if (!s) {
        return;  // packets without an announcement
    }
    s->lastMs = clock_();
    if (s->complete || frame.length < 1 || frame.data[0] != uint8_t(s->lastSequence + 1)) {
        return;  // repeated, early or late packet, or one after the message was complete
    }
    if (s->total > kMaxMessageData) {
        return;  // more than the buffer holds: the session can never complete
    }
    s->lastSequence = frame.data[0];
    // Short last packets carry fewer than 7 bytes: the unsent part reads as zero, as a bus frame
    // padded by the sender would.
    uint8_t packet[8] = {};
    std::memcpy(packet, frame.data, std::min<uint8_t>(frame.length, 8));
    for (int i = 1; i <= 7 && uint32_t(s->rxCount) < s->total; ++i) {
        s->message.data[s->rxCount++] = packet[i];
    }
    if (uint32_t(s->rxCount) == s->total) {
        s->active = false;
        s->complete = true;
        completed_ = s;
    }
}

bool TJ1939TransportProtocol::takeCompleted(J1939Message& out) {
    if (!completed_) {
        return false;
    }
    Session& s = *completed_;
    completed_ = nullptr;
    // The PGN's third announcement byte (the data page) is not used.
    s.message.pgn = s.announce[5] + 256u * s.announce[6];
    s.message.length = static_cast<uint16_t>(s.rxCount);
    out = s.message;
    return true;
}

bool TJ1939TransportProtocol::receiving(uint8_t source, uint8_t destination) {
    Session* s = find(source, destination);
    if (!s || !s->active) {
        return false;
    }
    const uint64_t now = clock_();
    if (now > s->lastMs && now - s->lastMs > kInProgressMs) {
        s->active = false;  // stalled: only a new announcement counts as in progress again
    }
    return s->active;
}

std::size_t TJ1939TransportProtocol::sessionCount() const {
    return std::size_t(std::count_if(sessions_.begin(), sessions_.end(),
                                     [](const auto& s) { return s != nullptr; }));
}

int32_t TJ1939TransportProtocol::rxCount(uint8_t source, uint8_t destination) const {
    const Session* s = find(source, destination);
    return s ? s->rxCount : -1;
}

void TJ1939TransportProtocol::startSend(const J1939Message& message) {
    txAnnounced_ = false;
    txPosition_ = 0;
    txMessage_ = std::make_unique<J1939Message>(message);
    txMessage_->length = std::min<uint16_t>(txMessage_->length, kMaxMessageData);
}

bool TJ1939TransportProtocol::nextFrame(J1939Frame& out) {
    out = J1939Frame{};
    if (!txMessage_) {
        return false;
    }
    const J1939Message& tx = *txMessage_;
    out.priority = tx.priority;
    out.source = tx.source;
    out.destination = tx.destination;
    const int32_t length = tx.length;
    if (!txAnnounced_) {
        if (txPosition_ != 0) {
            return false;
        }
        txAnnounced_ = true;
        out.pgn = pgn::kTpCm;
        out.length = 8;
        out.data[0] = tp_control::kBam;
        out.data[1] = length & 0xFF;
        out.data[2] = (length >> 8) & 0xFF;
        out.data[3] = static_cast<uint8_t>((length + 6) / 7);
        out.data[4] = 0;
        out.data[5] = tx.pgn & 0xFF;
        out.data[6] = (tx.pgn >> 8) & 0xFF;
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
        out.data[1 + n] = tx.data[txPosition_];
        ++n;
        ++txPosition_;
    }
    out.length = static_cast<uint8_t>(1 + n);
    return true;
}
