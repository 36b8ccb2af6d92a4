#pragma once
// Fixed-point texts of values the pump sends as exact integers in hundredths or tenths: written
// digit by digit from the integer, so no binary fraction ever rounds a figure the wrong way.

#include <cstdint>
#include <string>

#include "pump/number_format.h"

// value / 10^decimals with exactly `decimals` decimals in the operator's decimal separator
// (-35 with 1 decimal shows -3.5, 152000 with 2 shows 1520.00, -5 with 1 shows -0.5).
inline std::string formatScaled(int64_t value, int decimals, const DisplayFormat& format) {
    uint64_t divisor = 1;
    for (int i = 0; i < decimals; ++i) {
        divisor *= 10;
    }
    const uint64_t magnitude =
        value < 0 ? -static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::string text = value < 0 ? "-" : "";
    text += std::to_string(magnitude / divisor);
    if (decimals > 0) {
        text += format.decimalPoint;
        text += formatZeroPadded(static_cast<int64_t>(magnitude % divisor), decimals);
    }
    return text;
}
