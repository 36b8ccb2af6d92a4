#pragma once
// J1939 frame and message records and the identifier codec between them and the adapter's frames.

#include <cstddef>
#include <cstdint>
#include <optional>

// Message types of an adapter frame. Only extended data frames carry J1939.
inline constexpr uint8_t kMsgTypeStandard = 0;
inline constexpr uint8_t kMsgTypeRemote = 1;
inline constexpr uint8_t kMsgTypeExtended = 2;
inline constexpr uint8_t kMsgTypeStatus = 0x80;

// One frame as the adapter driver reads and writes it.
struct AdapterFrame {
    uint32_t id = 0;
    uint8_t msgType = kMsgTypeExtended;
    uint8_t len = 0;
    uint8_t data[8] = {};
};

inline constexpr uint8_t kGlobalAddress = 255;
inline constexpr uint8_t kJ1939Priority = 6;
inline constexpr std::size_t kMaxMessageData = 1309;

// Parameter groups the tool uses.
namespace pgn {
inline constexpr uint32_t kRequest = 0xEA00;
inline constexpr uint32_t kAddressClaimed = 0xEE00;
inline constexpr uint32_t kProprietaryA = 0xEF00;
inline constexpr uint32_t kTpDt = 0xEB00;
inline constexpr uint32_t kTpCm = 0xEC00;
inline constexpr uint32_t kIntakeGas = 0xF00E;   // 61454, upstream NOx sensor
inline constexpr uint32_t kOutletGas = 0xF00F;   // 61455, downstream NOx sensor
inline constexpr uint32_t kSoftwareId = 0xFEDA;  // 65242
inline constexpr uint32_t kVehicleId = 0xFEEC;   // 65260
}  // namespace pgn

struct J1939Frame {
    uint8_t priority = kJ1939Priority;
    uint8_t source = 0;
    uint8_t destination = kGlobalAddress;
    uint32_t pgn = 0;
    uint8_t data[8] = {};
    uint8_t length = 0;
};

struct J1939Message {
    uint8_t priority = kJ1939Priority;
    uint8_t source = 0;
    uint8_t destination = kGlobalAddress;
    uint32_t pgn = 0;
    uint16_t length = 0;
    uint8_t data[kMaxMessageData] = {};
};

std::optional<J1939Frame> decodeFrame(const AdapterFrame& frame);
std::optional<AdapterFrame> encodeFrame(const J1939Frame& frame);

// True for PDU2 groups (PF >= 240); the data page bit takes no part.
constexpr bool isPdu2(uint32_t pgn) {
    return (pgn & 0xFFFF) >= 0xF000;
}
// PF x 256 of a group: 0xEF00 for every Proprietary A message.
constexpr uint32_t pduFormatOf(uint32_t pgn) {
    return pgn & 0xFF00;
}

J1939Message messageFromFrame(const J1939Frame& frame);
