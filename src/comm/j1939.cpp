#include "comm/j1939.h"

#include <algorithm>
#include <cstring>

std::optional<J1939Frame> decodeFrame(const AdapterFrame& in) {
    if (in.msgType != kMsgTypeExtended) {
        return std::nullopt;
    }
    J1939Frame f;
    f.source = in.id & 0xFF;
    f.priority = (in.id >> 26) & 0x7;
    if (((in.id >> 20) & 0xF) == 0xF) {
        f.pgn = (in.id >> 8) & 0x1FFFF;
        f.destination = kGlobalAddress;
    } else {
        f.pgn = (in.id >> 8) & 0x1FF00;
        f.destination = (in.id >> 8) & 0xFF;
    }
    // A driver never hands out more than 8 bytes, but the length byte is the bus's word: clamp it.
    f.length = std::min<uint8_t>(in.len, 8);
    std::memcpy(f.data, in.data, f.length);
    return f;
}

std::optional<AdapterFrame> encodeFrame(const J1939Frame& f) {
    AdapterFrame out;
    out.id = (uint32_t(f.priority & 0x7) << 26) | ((f.pgn & 0x1FFFF) << 8) | f.source;
    out.msgType = kMsgTypeExtended;
    if ((f.pgn & 0xF000) != 0xF000) {
        if ((f.pgn & 0xFF) != 0) {
            return std::nullopt;
        }
        out.id |= uint32_t(f.destination) << 8;
    } else if (f.destination != kGlobalAddress) {
        return std::nullopt;
    }
    if (f.length > 8) {
        return std::nullopt;
    }
    out.len = f.length;
    std::memcpy(out.data, f.data, f.length);
    return out;
}

J1939Message messageFromFrame(const J1939Frame& f) {
    J1939Message m;
    m.priority = f.priority;
    m.source = f.source;
    m.destination = f.destination;
    m.pgn = f.pgn;
    m.length = std::min<uint8_t>(f.length, 8);
    std::memcpy(m.data, f.data, m.length);
    return m;
}
