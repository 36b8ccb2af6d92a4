#include "pump/number_format.h"

#include <langinfo.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <ctime>
#include <string_view>

DisplayFormat DisplayFormat::system() {
    DisplayFormat format;
    if (const std::lconv* conv = std::localeconv();
        conv && conv->decimal_point && conv->decimal_point[0] && !conv->decimal_point[1]) {
        format.decimalPoint = conv->decimal_point[0];
    }
    if (const char* pattern = nl_langinfo(D_FMT); pattern && *pattern) {
        format.shortDateFormat = pattern;
    }
    return format;
}

std::string formatUnsigned(uint64_t value) {
    return std::to_string(value);
}

std::string formatSigned(int64_t value) {
    return std::to_string(value);
}

std::string formatZeroPadded(int64_t value, int width) {
    std::string digits =
        std::to_string(value < 0 ? -static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
    if (static_cast<int>(digits.size()) < width - (value < 0 ? 1 : 0)) {
        digits.insert(0, static_cast<std::size_t>(width - (value < 0 ? 1 : 0)) - digits.size(),
                      '0');
    }
    return value < 0 ? "-" + digits : digits;
}

namespace {

// Enough fractional digits to write any double exactly (the smallest subnormal has 1074).
constexpr int kExactFractionDigits = 1100;

std::string nonFiniteText(double value) {
    if (std::isnan(value)) {
        return "NAN";
    }
    return value < 0 ? "-INF" : "INF";
}

// Rounds a plain decimal text ("123.456", no sign) up by one unit of its last digit.
void incrementDecimal(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it == '.') {
            continue;
        }
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

}  // namespace

std::string formatFixed(double value, int decimals, const DisplayFormat& format) {
    if (!std::isfinite(value)) {
        return nonFiniteText(value);
    }
    if (decimals < 0) {
        decimals = 0;
    }
    // Write the binary value exactly, then round that decimal text half away from zero.
    char buffer[1 + 310 + 1 + kExactFractionDigits];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::fixed, kExactFractionDigits);
    std::string_view exact(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t point = exact.find('.');
    std::string text(exact.substr(0, point + 1 + static_cast<std::size_t>(decimals)));
    if (decimals == 0) {
        text.pop_back();  // the point itself
    }
    if (exact[point + 1 + static_cast<std::size_t>(decimals)] >= '5') {
        incrementDecimal(text);
    }
    const bool isZero = text.find_first_not_of("0.") == std::string::npos;
    if (std::signbit(value) && !isZero) {
        text.insert(text.begin(), '-');
    }
    if (const auto dot = text.find('.'); dot != std::string::npos) {
        text[dot] = format.decimalPoint;
    }
    return text;
}

std::string formatLeftJustified(double value, int width, int decimals,
                                const DisplayFormat& format) {
    std::string text = formatFixed(value, decimals, format);
    if (static_cast<int>(text.size()) < width) {
        text.append(static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

std::string formatGeneral(double value, const DisplayFormat& format) {
    if (!std::isfinite(value)) {
        return nonFiniteText(value);
    }
    if (value == 0.0) {
        return "0";
    }
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    if (const auto dot = text.find('.'); dot != std::string::npos) {
        text[dot] = format.decimalPoint;
    }
    return text;
}

std::string formatDuration(uint16_t twoHourUnits, uint8_t twoMinuteUnits) {
    const int64_t hours = 2 * static_cast<int64_t>(twoHourUnits) + twoMinuteUnits / 30;
    const int64_t minutes = 2 * (twoMinuteUnits % 30);
    return formatZeroPadded(hours, 2) + ":" + formatZeroPadded(minutes, 2);
}

std::string formatSoftwareVersion(uint8_t major, uint8_t minor) {
    return std::to_string(major) + "." + std::to_string(minor / 10) + std::to_string(minor % 10);
}

float levelSensorResistance(uint16_t count) {
    constexpr uint16_t kOpenInput = 1023;
    if (count == kOpenInput) {
        return 0.0f;
    }
    const float c = static_cast<float>(count);
    const float r = c * -1.0f * 1000.0f / (c - 1023.0f);
    return r > 0.0f ? r : 0.0f;
}

std::string formatLevelSensorResistance(uint16_t count, const DisplayFormat& format) {
    return formatFixed(static_cast<double>(levelSensorResistance(count)), 2, format);
}

int32_t levelLimitResistance(uint16_t count) {
    constexpr uint16_t kOpenInput = 1023;
    if (count == kOpenInput) {
        return 0;
    }
    const double c = count;
    return static_cast<int32_t>(std::trunc(c * -1000.0 / (c - 1023.0) + 0.5));
}

std::string formatDosedUrea(uint32_t dosingCount, uint16_t factoryCalibration,
                            const DisplayFormat& format) {
    // litres = product / 10^7; to two decimals that is product / 10^5 rounded half up.
    const uint64_t product = static_cast<uint64_t>(dosingCount) * factoryCalibration;
    const uint64_t hundredths = (product + 50000) / 100000;
    return std::to_string(hundredths / 100) + format.decimalPoint +
           formatZeroPadded(static_cast<int64_t>(hundredths % 100), 2);
}

std::optional<int32_t> parseInteger(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > int64_t(INT32_MAX) + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

namespace {
// Day of the week, 0 = Sunday, for date patterns that name it.
int weekday(int year, int month, int day) {
    static constexpr int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) {
        --year;
    }
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}
}  // namespace

std::string formatShortDate(int year, int month, int day, const DisplayFormat& format) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_wday = weekday(year, month, day);
    int yday = day - 1;
    for (int m = 1; m < month; ++m) {
        yday += daysInMonth(year, m);
    }
    tm.tm_yday = yday;
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format.shortDateFormat.c_str(), &tm);
    return std::string(buffer, n);
}
