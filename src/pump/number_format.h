#pragma once
// Number texts of the pump read-outs. Every decimal fraction is written with the operator's decimal
// separator, which the caller passes in a DisplayFormat: DisplayFormat::system() takes it from the
// process locale (a Qt application has set that from the user's settings by the time a window
// exists); tests pin '.' or ','. The digits themselves never depend on the locale: the helpers
// build them with std::to_chars, not printf.
//
// Rounding: fixed-point texts round the exact binary value half away from zero, the way an
// operator rounds (0.125 shows 0.13 with two decimals), not to even as printf does.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct DisplayFormat {
    char decimalPoint = '.';
    // strftime pattern of the short date, e.g. "%d.%m.%Y".
    std::string shortDateFormat = "%Y-%m-%d";

    // The process locale's decimal point (falls back to '.' when the locale's is not one byte) and
    // its short date pattern.
    static DisplayFormat system();
};

// "%u", "%hu", "%lu", "%i", "%hd": plain decimal.
std::string formatUnsigned(uint64_t value);
std::string formatSigned(int64_t value);
// "%02d", "%04d": at least width digits, zero-padded after the sign.
std::string formatZeroPadded(int64_t value, int width);

// Exactly `decimals` decimals ("fixed n"). Not-a-number and infinities show "NAN", "INF", "-INF".
std::string formatFixed(double value, int decimals, const DisplayFormat& format);
// "%-5.1f", "%-05.2f": fixed, then padded with blanks on the right to width characters (a '-'
// flag wins over '0' in these formats, so there is never zero padding).
std::string formatLeftJustified(double value, int width, int decimals, const DisplayFormat& format);
// "general": the shortest text with up to 15 significant digits (12.3, 100, 0.5).
std::string formatGeneral(double value, const DisplayFormat& format);

// A duration held as a count of 2-hour units and a count of 2-minute units: hours = 2a + b div 30,
// minutes = 2 (b mod 30), "%02d:%02d" (a = 700, b = 45 shows 1401:30).
std::string formatDuration(uint16_t twoHourUnits, uint8_t twoMinuteUnits);

// The days of a month of the Gregorian calendar.
int daysInMonth(int year, int month);
// A valid date in the operator's short date pattern (DisplayFormat::shortDateFormat).
std::string formatShortDate(int year, int month, int day, const DisplayFormat& format);

// Software revision: major, '.', minor div 10, minor mod 10 (1.05, 0.07, 1.123). The point is a
// fixed character, not the decimal separator.
std::string formatSoftwareVersion(uint8_t major, uint8_t minor);

// Urea tank level sensor, converter count to ohm, in single precision as the pump's firmware
// defines it. A count of 1023 (open input) and counts above it give 0.
float levelSensorResistance(uint16_t count);
// The same, fixed 2 (512 shows 1001.96).
std::string formatLevelSensorResistance(uint16_t count, const DisplayFormat& format);
// The installer's level limits: trunc(c * -1000 / (c - 1023) + 0.5) ohm. The count 1023 would
// divide by zero; it shows 0, as the live level does.
int32_t levelLimitResistance(uint16_t count);

// Dosed urea in litres: dosing count * factory calibration (0.01 ml) * 1e-7, fixed 2. Computed in
// 64-bit integers, so the figure is exact however many strokes the pump has made.
std::string formatDosedUrea(uint32_t dosingCount, uint16_t factoryCalibration,
                            const DisplayFormat& format);

// The integer a label or entry text holds, as the tool reads every number an operator or a read-out
// shows: optional blanks, an optional sign, decimal digits, optional blanks, within 32 bits.
// Nothing for anything else ("", "?", "12a", "0x10", "+-1", "2147483648").
std::optional<int32_t> parseInteger(std::string_view text);
