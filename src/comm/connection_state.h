#pragma once
// Addresses and the silence counter that the receive path, the transmit side and the connection
// supervision share. One instance lives in the application; each stage holds a reference.

#include <cstdint>

#include "comm/j1939.h"

// The two addresses J1939 sets aside for off-board service tools; the tool takes the first it
// can win.
inline constexpr uint8_t kToolAddress = 249;
inline constexpr uint8_t kSecondToolAddress = 250;
// The source of a Cannot Claim Address message.
inline constexpr uint8_t kNullAddress = 254;
inline constexpr uint8_t kNoPumpAddress = 255;
inline constexpr int kDefaultPumpAddress = 61;
inline constexpr uint8_t kUpstreamNoxAddress = 81;
inline constexpr uint8_t kDownstreamNoxAddress = 82;

struct ConnectionState {
    // The address the tool transmits from: 249, 250 after another node won 249, kNullAddress when
    // it could win neither (it then sends nothing).
    uint8_t ownAddress = kToolAddress;
    // The pump's address from "tool.ini": the one identity of the pump. Service telegrams go to
    // it, and only its messages count as the pump's.
    uint8_t configuredPumpAddress = kDefaultPumpAddress;
    // The configured address once the pump has claimed it; 255 while no pump is known.
    uint8_t pumpAddress = kNoPumpAddress;
    // Seconds since the pump was last heard.
    int supervisionCount = 0;

    bool pumpKnown() const { return pumpAddress != kNoPumpAddress; }
    // A frame to this destination is the tool's: its own address or everybody.
    bool addressedToTool(uint8_t destination) const {
        return destination == kGlobalAddress ||
               (destination == ownAddress && ownAddress != kNullAddress);
    }
};

// Anything that puts one J1939 frame on the bus at once. Returns false when the frame did not go
// out (not encodable, the adapter refused it, or the tool may not transmit now).
class FrameWriter {
  public:
    virtual ~FrameWriter() = default;
    virtual bool write(const J1939Frame& frame) = 0;
};
