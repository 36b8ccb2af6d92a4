#include "pump/service_telegram.h"

std::optional<ServiceTelegramView> ServiceTelegramView::parse(std::span<const uint8_t> bytes) {
    if (bytes.size() < service_telegram::kHeaderSize) {
        return std::nullopt;
    }
    return ServiceTelegramView(bytes);
}

std::array<uint8_t, service_telegram::kHeaderSize> ServiceTelegram::encode() const {
    std::array<uint8_t, service_telegram::kHeaderSize> out{};
    encodeInto(out);
    return out;
}

bool ServiceTelegram::encodeInto(std::span<uint8_t> out) const {
    if (out.size() < service_telegram::kHeaderSize) {
        return false;
    }
    using namespace service_telegram;
    for (std::size_t i = 0; i < 4; ++i) {
        out[kLongArgOffset + i] = static_cast<uint8_t>(longArg >> (8 * i));
    }
    out[kWordArgOffset] = static_cast<uint8_t>(wordArg);
    out[kWordArgOffset + 1] = static_cast<uint8_t>(wordArg >> 8);
    out[kByteArgOffset] = byteArg;
    out[kCodeOffset] = code;
    return true;
}
