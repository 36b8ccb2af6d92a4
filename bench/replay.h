#pragma once
// What the receive-path benchmarks share: frame builders and a driver that replays a
// pregenerated bus as fast as the receive thread reads it.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "comm/can_driver.h"
#include "comm/j1939.h"

namespace bench {

// A saturated 250 kbit/s bus carries about this many 29-bit frames with 8 data bytes a second.
inline constexpr double kSaturatedBusFramesPerSecond = 1900.0;

inline uint32_t idOf(uint8_t priority, uint32_t pgn, uint8_t destination, uint8_t source) {
    uint32_t id = uint32_t(priority) << 26 | (pgn & 0x1FFFF) << 8 | source;
    if ((pgn & 0xF000) != 0xF000) {
        id |= uint32_t(destination) << 8;
    }
    return id;
}

inline AdapterFrame frameOf(uint32_t id, const uint8_t* bytes, uint8_t len) {
    AdapterFrame f;
    f.id = id;
    f.msgType = kMsgTypeExtended;
    f.len = len;
    std::memcpy(f.data, bytes, len);
    return f;
}

inline bool sameFrame(const AdapterFrame& a, const AdapterFrame& b) {
    return a.id == b.id && a.msgType == b.msgType && a.len == b.len &&
           std::memcmp(a.data, b.data, a.len) == 0;
}

// Hands out the pregenerated frames as fast as the receive thread asks; the receive thread alone
// reads it.
class ReplayDriver : public CanDriver {
  public:
    explicit ReplayDriver(const std::vector<AdapterFrame>& frames) : frames_(frames) {}
    uint32_t init() override { return kCanOk; }
    void close() override {}
    uint32_t status() override { return kCanOk; }
    uint32_t write(const AdapterFrame&) override { return kCanOk; }
    uint32_t read(AdapterFrame& frame) override {
        if (position_ >= frames_.size()) {
            return kCanQueueEmpty;
        }
        frame = frames_[position_++];
        return kCanOk;
    }
    std::string versionInfo() override { return "replay"; }

  private:
    const std::vector<AdapterFrame>& frames_;
    std::size_t position_ = 0;
};

}  // namespace bench
