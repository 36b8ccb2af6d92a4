#include "comm/proprietary_queue.h"

#include <algorithm>
#include <cstring>

J1939Message toMessage(const T_J1939_PROPERITARY_A& t) {
    J1939Message m;
    m.priority = t.priority;
    m.source = t.source;
    m.destination = t.destination;
    m.pgn = t.pgn;
    m.length = std::min<uint16_t>(t.length, kTelegramCapacity);
    std::memcpy(m.data, t.data, kTelegramCapacity);
    return m;
}

void TProperitaryQueue::push(const T_J1939_PROPERITARY_A& record) {
    if (record.data[7] < kFirstPollCode) {
        commands_.push_back(record);
    } else if (record.data[0] == 0) {
        firstPoll_.push_back(record);
    } else {
        secondPoll_.push_back(record);
    }
}

bool TProperitaryQueue::take(T_J1939_PROPERITARY_A& out) {
    for (auto* lane : {&commands_, &firstPoll_, &secondPoll_}) {
        if (!lane->empty()) {
            out = lane->front();
            lane->pop_front();
            return true;
        }
    }
    return false;
}

void TProperitaryQueue::clear() {
    commands_.clear();
    firstPoll_.clear();
    secondPoll_.clear();
}

T_J1939_PROPERITARY_A ProprietarySender::header() const {
    T_J1939_PROPERITARY_A t;
    t.priority = kJ1939Priority;
    t.source = state_.ownAddress;
    t.destination = state_.configuredPumpAddress;
    t.pgn = pgn::kProprietaryA;
    return t;
}

void ProprietarySender::enqueueTelegram(const uint8_t (&block)[kTelegramCapacity],
                                        uint16_t length) {
    T_J1939_PROPERITARY_A t = header();
    std::memcpy(t.data, block, kTelegramCapacity);
    t.length = length;
    queue_.push(t);
}

void ProprietarySender::enqueueCommand(uint8_t code, uint32_t longArg, uint16_t wordArg,
                                       uint8_t byteArg) {
    T_J1939_PROPERITARY_A t = header();
    t.data[0] = longArg & 0xFF;
    t.data[1] = (longArg >> 8) & 0xFF;
    t.data[2] = (longArg >> 16) & 0xFF;
    t.data[3] = (longArg >> 24) & 0xFF;
    t.data[4] = wordArg & 0xFF;
    t.data[5] = (wordArg >> 8) & 0xFF;
    t.data[6] = byteArg;
    t.data[7] = code;
    t.length = 8;
    queue_.push(t);
}

void ProprietarySender::send(const T_J1939_PROPERITARY_A& telegram) {
    // Addressed as things stand when it leaves: the tool may have moved to another address, or
    // the pump's address may have been changed, since it was queued.
    J1939Message message = toMessage(telegram);
    message.source = state_.ownAddress;
    message.destination = state_.configuredPumpAddress;
    sendMessage(message);
}

void ProprietarySender::sendMessage(const J1939Message& message) {
    if (message.length <= 8) {
        J1939Frame f;
        f.priority = message.priority;
        f.source = message.source;
        f.destination = message.destination;
        f.pgn = message.pgn;
        f.length = static_cast<uint8_t>(message.length);
        std::memcpy(f.data, message.data, f.length);
        writer_.write(f);
        return;
    }
    tp_.startSend(message);
    J1939Frame f;
    while (tp_.nextFrame(f)) {
        writer_.write(f);
    }
}
