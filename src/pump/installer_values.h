#pragma once
// The conversions every installer value goes through on its way between an operator's text and
// the pump's bytes: decimal text in the operator's separator, the pump's rounding, the packed
// installation date and the level-sensor converter counts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pump/number_format.h"

// round(x) as the pump's tools have always computed it: x + 0.5 truncated toward zero, in double
// precision (so -0.7 rounds to 0, not to -1).
double roundHalfUp(double x);

// Floating-point text as an operator types it with the given decimal separator: optional blanks,
// an optional sign, digits with at most one separator, an optional exponent, optional blanks.
// Nothing for anything else; with a point separator "0,1" is no number, and with a comma "0.1"
// is none either.
std::optional<double> parseDecimal(std::string_view text, char decimalPoint);

// round(x * scale) when the result is a finite whole number a 64-bit integer holds; nothing for
// infinities, not-a-number and magnitudes no counter of the pump could hold.
std::optional<int64_t> scaledCount(double x, double scale);

// --- Installation date ---
struct InstallDate {
    int year = 2000;
    int month = 1;
    int day = 1;
    friend bool operator==(const InstallDate&, const InstallDate&) = default;
};
bool isValidDate(const InstallDate& date);
// Bits 0-6 year - 2000, bits 7-10 month, bits 11-15 day. Nothing for a date the 16 bits cannot
// hold (before 2000, after 2127) or a day the month does not have.
std::optional<uint16_t> packInstallDate(const InstallDate& date);
// Nothing for a combination that is no date (month 13, 30 February, day 0).
std::optional<InstallDate> unpackInstallDate(uint16_t packed);
// The date in the system's short date format (DisplayFormat::shortDateFormat, strftime style).
std::string formatInstallDate(const InstallDate& date, const DisplayFormat& format);

// --- Urea tank level sensor limits ---
// Converter count to ohm: round(count * 1000 / (1023 - count)). A count of 1023 or more (an open
// input, or more than the 10-bit converter gives) has no resistance: nothing.
std::optional<int64_t> levelLimitOhm(uint16_t count);
// Ohm to converter count, in single precision as the pump computes it:
// round(R * 1023 / (R + 1000)). Nothing for a negative resistance.
std::optional<uint16_t> levelLimitCount(double ohm);
