#include "pump/installer_values.h"

#include <charconv>
#include <cmath>
#include <ctime>

#include "pump/installer_layout.h"

double roundHalfUp(double x) {
    return std::trunc(x + 0.5);
}

std::optional<double> parseDecimal(std::string_view text, char decimalPoint) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    // Rewrite into the form std::from_chars reads, refusing every character an operator's
    // number cannot hold (a point under a comma separator among them).
    std::string plain;
    plain.reserve(text.size());
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') {
            plain.push_back('-');
        }
        ++i;
    }
    bool digits = false;
    bool separator = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            plain.push_back(c);
        } else if (c == decimalPoint && !separator) {
            separator = true;
            plain.push_back('.');
        } else {
            break;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain.push_back('e');
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            plain.push_back(text[i]);
            ++i;
        }
        bool exponentDigits = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            exponentDigits = true;
            plain.push_back(text[i]);
        }
        if (!exponentDigits) {
            return std::nullopt;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int64_t> scaledCount(double x, double scale) {
    const double count = roundHalfUp(x * scale);
    // Far beyond any field of the pump, and still exact in a double.
    constexpr double kLimit = 9007199254740992.0;  // 2^53
    if (!std::isfinite(count) || count > kLimit || count < -kLimit) {
        return std::nullopt;
    }
    return static_cast<int64_t>(count);
}

bool isValidDate(const InstallDate& date) {
    return date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= daysInMonth(date.year, date.month);
}

std::optional<uint16_t> packInstallDate(const InstallDate& date) {
    using namespace packed_date;
    if (!isValidDate(date) || date.year < kBaseYear || date.year > kLastYear) {
        return std::nullopt;
    }
    return static_cast<uint16_t>((date.year - kBaseYear) | (date.month << kMonthShift) |
                                 (date.day << kDayShift));
}

std::optional<InstallDate> unpackInstallDate(uint16_t packed) {
    using namespace packed_date;
    const InstallDate date{kBaseYear + (packed & kYearMask), (packed >> kMonthShift) & kMonthMask,
                           (packed >> kDayShift) & kDayMask};
    if (!isValidDate(date)) {
        return std::nullopt;
    }
    return date;
}

std::string formatInstallDate(const InstallDate& date, const DisplayFormat& format) {
    if (!isValidDate(date)) {
        return {};
    }
    return formatShortDate(date.year, date.month, date.day, format);
}

std::optional<int64_t> levelLimitOhm(uint16_t count) {
    if (count >= level_sensor::kFullScaleCount) {
        return std::nullopt;
    }
    const double c = count;
    return static_cast<int64_t>(roundHalfUp(c * 1000.0 / (1023.0 - c)));
}

std::optional<uint16_t> levelLimitCount(double ohm) {
    if (!(ohm >= 0.0) || !std::isfinite(ohm)) {
        return std::nullopt;
    }
    const float r = static_cast<float>(ohm);
    const float count = std::trunc(r * 1023.0f / (r + level_sensor::kReferenceOhm) + 0.5f);
    if (!(count >= 0.0f && count <= 1023.0f)) {
        return std::nullopt;  // a resistance so large that single precision overflows
    }
    return static_cast<uint16_t>(count);
}
