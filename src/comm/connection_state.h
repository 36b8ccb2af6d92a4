#pragma once
// Addresses and the silence counter that the receive path, the transmit side and the connection
// supervision share. One instance lives in the application; each stage holds a reference.

#include <cstdint>

#include "comm/j1939.h"

inline constexpr uint8_t kToolAddress = 249;
inline constexpr uint8_t kNoPumpAddress = 255;
inline constexpr int kDefaultPumpAddress = 61;
inline constexpr uint8_t kUpstreamNoxAddress = 81;
inline constexpr uint8_t kDownstreamNoxAddress = 82;

struct ConnectionState {
    uint8_t ownAddress = kToolAddress;     // 0 after the tool gave way in an address claim
    uint8_t alternateAddress = 0;          // second accepted own address; always 0
    uint8_t pumpAddress = kNoPumpAddress;  // learnt from the pump's Address Claimed
    int supervisionCount = 0;              // seconds since a message was last dispatched
};

// Where the receive path learns the configured pump address, consulted for every received frame.
class PumpAddressSource {
  public:
    virtual ~PumpAddressSource() = default;
    virtual int configuredPumpAddress() = 0;
};

// Anything that puts one J1939 frame on the bus at once.
class FrameWriter {
  public:
    virtual ~FrameWriter() = default;
    virtual void write(const J1939Frame& frame) = 0;
};
