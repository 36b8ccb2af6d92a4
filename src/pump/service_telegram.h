#pragma once
// The common layout of every Proprietary A message between the tool and the pump: three arguments,
// the code and, in long telegrams, a body. Received telegrams are untrusted: the view refuses
// anything shorter than the 8-byte header and never reads past the bytes it was given.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace service_telegram {
inline constexpr std::size_t kLongArgOffset = 0;  // 32-bit, little-endian
inline constexpr std::size_t kWordArgOffset = 4;  // 16-bit, little-endian
inline constexpr std::size_t kByteArgOffset = 6;
inline constexpr std::size_t kCodeOffset = 7;
inline constexpr std::size_t kBodyOffset = 8;
inline constexpr std::size_t kHeaderSize = 8;

// Little-endian readers over a span; the caller has checked the bounds.
inline uint16_t readLe16(std::span<const uint8_t> bytes, std::size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}
inline uint32_t readLe24(std::span<const uint8_t> bytes, std::size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16);
}
inline uint32_t readLe32(std::span<const uint8_t> bytes, std::size_t offset) {
    return readLe24(bytes, offset) | (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

}  // namespace service_telegram

// A read-only view of one received telegram. Build it with parse(); the accessors need no checks.
class ServiceTelegramView {
  public:
    // Nothing for fewer than 8 bytes: such a message has no code.
    static std::optional<ServiceTelegramView> parse(std::span<const uint8_t> bytes);

    uint32_t longArg() const {
        return service_telegram::readLe32(bytes_, service_telegram::kLongArgOffset);
    }
    uint16_t wordArg() const {
        return service_telegram::readLe16(bytes_, service_telegram::kWordArgOffset);
    }
    uint8_t byteArg() const { return bytes_[service_telegram::kByteArgOffset]; }
    uint8_t code() const { return bytes_[service_telegram::kCodeOffset]; }
    // Bytes from 8 on; empty for an 8-byte telegram.
    std::span<const uint8_t> body() const { return bytes_.subspan(service_telegram::kBodyOffset); }
    // The whole telegram, header included.
    std::span<const uint8_t> bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

  private:
    explicit ServiceTelegramView(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    std::span<const uint8_t> bytes_;
};

// The header of an outgoing command. Arguments a command does not use stay 0.
struct ServiceTelegram {
    uint32_t longArg = 0;
    uint16_t wordArg = 0;
    uint8_t byteArg = 0;
    uint8_t code = 0;

    std::array<uint8_t, service_telegram::kHeaderSize> encode() const;
    // Writes the header into the first 8 bytes of out; false (nothing written) when out is shorter.
    bool encodeInto(std::span<uint8_t> out) const;
};
