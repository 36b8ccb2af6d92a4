#pragma once
// Field access over an untrusted page or telegram body: every read says whether the body holds the
// field, so that a short body decodes only the fields it carries and nothing is read past its end.
// Bytes past the announced size are not looked at.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "pump/service_telegram.h"

class BodyReader {
  public:
    BodyReader(std::span<const uint8_t> body, std::size_t size)
        : body_(body.first(std::min(body.size(), size))), complete_(body.size() >= size) {}

    // The body held every byte of its size.
    bool complete() const { return complete_; }
    std::span<const uint8_t> bytes() const { return body_; }

    std::optional<uint8_t> u8(std::size_t offset) const {
        if (!holds(offset, 1)) {
            return std::nullopt;
        }
        return body_[offset];
    }
    std::optional<int8_t> s8(std::size_t offset) const {
        if (auto v = u8(offset)) {
            return static_cast<int8_t>(*v);
        }
        return std::nullopt;
    }
    std::optional<uint16_t> u16(std::size_t offset) const {
        if (!holds(offset, 2)) {
            return std::nullopt;
        }
        return service_telegram::readLe16(body_, offset);
    }
    std::optional<int16_t> s16(std::size_t offset) const {
        if (auto v = u16(offset)) {
            return static_cast<int16_t>(*v);
        }
        return std::nullopt;
    }
    std::optional<uint32_t> u24(std::size_t offset) const {
        if (!holds(offset, 3)) {
            return std::nullopt;
        }
        return service_telegram::readLe24(body_, offset);
    }
    std::optional<uint32_t> u32(std::size_t offset) const {
        if (!holds(offset, 4)) {
            return std::nullopt;
        }
        return service_telegram::readLe32(body_, offset);
    }

  private:
    bool holds(std::size_t offset, std::size_t width) const {
        return offset <= body_.size() && width <= body_.size() - offset;
    }

    std::span<const uint8_t> body_;
    bool complete_;
};
