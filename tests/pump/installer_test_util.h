#pragma once
// Small readers over the installer decoders' results, shared by the installer tests.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "pump/number_format.h"
#include "pump/status_pages.h"

namespace installer_test {

inline const DisplayFormat kPoint{'.', "%Y-%m-%d"};
inline const DisplayFormat kComma{',', "%d.%m.%Y"};

// The last text written to a label (the last write wins, as on the label).
template <typename T>
std::optional<std::string> textOf(const std::vector<T>& texts, const char* name,
                                  ReadoutWindow window = ReadoutWindow::Installer) {
    std::optional<std::string> found;
    for (const auto& t : texts) {
        if (t.window == window && std::strcmp(t.objectName, name) == 0) {
            found = t.text;
        }
    }
    return found;
}

inline std::optional<int> selectionOf(const std::vector<ComboSelection>& selections,
                                      const char* combo) {
    std::optional<int> found;
    for (const auto& s : selections) {
        if (std::strcmp(s.comboName, combo) == 0) {
            found = s.index;
        }
    }
    return found;
}

inline std::optional<bool> flagOf(const std::vector<WidgetFlag>& flags, const char* name) {
    std::optional<bool> found;
    for (const auto& f : flags) {
        if (std::strcmp(f.objectName, name) == 0) {
            found = f.on;
        }
    }
    return found;
}

// Bytes built field by field, little-endian.
struct Bytes {
    explicit Bytes(std::size_t size, uint8_t fill = 0) : bytes(size, fill) {}
    Bytes& u8(std::size_t offset, uint8_t v) {
        bytes.at(offset) = v;
        return *this;
    }
    Bytes& u16(std::size_t offset, uint16_t v) {
        u8(offset, static_cast<uint8_t>(v));
        return u8(offset + 1, static_cast<uint8_t>(v >> 8));
    }
    Bytes& u32(std::size_t offset, uint32_t v) {
        u16(offset, static_cast<uint16_t>(v));
        return u16(offset + 2, static_cast<uint16_t>(v >> 16));
    }
    Bytes& text(std::size_t offset, const std::string& s) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            u8(offset + i, static_cast<uint8_t>(s[i]));
        }
        return *this;
    }
    std::vector<uint8_t> bytes;
};

}  // namespace installer_test
