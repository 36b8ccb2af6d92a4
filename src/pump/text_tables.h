#pragma once
// The display texts the pump's small integers turn into: pump states, alarms, sizes, application
// variants, the two-state texts, component names and the "NOT downloaded" texts. The tables are
// compile-time constants, so they exist before any window and never change. A table never decides
// what an index it does not hold looks like: the xxxText() functions below apply each value's own
// fallback, and tableText() leaves the fallback to the caller.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace text_tables {

// Indexed by the application-type byte of page 204. Entry 11 is left empty on purpose: the pump
// has no variant 11 and the label shows nothing for it.
inline constexpr std::array<std::string_view, 36> ApplicationTypeNames = {
    "Undefined",
    "Truck",
    "Bus",
    "City bus",
    "Coach",
    "Refuse truck",
    "Tractor unit",
    "Construction machine",
    "Wheel loader",
    "Excavator",
    "Forklift",
    "",
    "Marine main engine",
    "Marine auxiliary engine",
    "Genset",
    "Genset, standby",
    "Rail vehicle",
    "Locomotive",
    "Mining truck",
    "Agricultural tractor",
    "Harvester",
    "Mobile crane",
    "Fire truck",
    "Airport vehicle",
    "Municipal vehicle",
    "Road sweeper",
    "Delivery van",
    "Pick-up",
    "Off-road, general",
    "Stationary engine",
    "Pump drive",
    "Compressor drive",
    "Test bench",
    "Retrofit, truck",
    "Retrofit, bus",
    "Retrofit, other",
};

// Indexed by the pump-size code of page 203; codes other than 1 to 3 show entry 0.
inline constexpr std::array<std::string_view, 4> PumpSizeNames = {
    "UNDEFINED",
    "2.50 l/h",
    "7.50 l/h",
    "12.0 l/h",
};

// Indexed by the pump-state byte of page 205.
inline constexpr std::array<std::string_view, 9> PumpStateNames = {
    "Initialising",
    "Pump off",
    "Priming",
    "Dosing",
    "Purging",
    "Override mode",
    "Override mode final test",
    "Prepare Calibration",
    "Calibrating",
};

// Indexed by the alarm-code byte of page 211. The blank after "CANBUS timeout" is the pump's own.
inline constexpr std::array<std::string_view, 6> AlarmCodeNames = {
    "No alarm",        "Urea tank level low", "Urea tank level empty",
    "CANBUS timeout ", "Missing Origo",       "EEPROM error",
};

// Two-state texts: entries 0 and 1 are the two states, entry 2 is "Undetermined" everywhere. Most
// users index them with one status bit; two-bit fields can reach entry 2 (and 3, see
// twoStateText).
using TwoStateTable = std::array<std::string_view, 3>;
inline constexpr TwoStateTable ReadinessTexts = {"Complete", "Incomplete", "Undetermined"};
inline constexpr TwoStateTable NotActiveActiveTexts = {"Not Active", "Active", "Undetermined"};
inline constexpr TwoStateTable ActiveNotActiveTexts = {"Active", "Not Active", "Undetermined"};
inline constexpr TwoStateTable OffOnTexts = {"Off", "On", "Undetermined"};
inline constexpr TwoStateTable InactiveActiveTexts = {"Inactive", "Active", "Undetermined"};
inline constexpr TwoStateTable ClosedOpenTexts = {"Closed", "Open", "Undetermined"};

// Used 1-based (n = 1 to 6) after "Error downloading Configuration! \n"; see notDownloadedText().
inline constexpr std::array<std::string_view, 6> NotDownloadedTexts = {
    "MAF factor NOT downloaded",        "Catalyst volume NOT downloaded",
    "Catalyst length NOT downloaded",   "Conversion gain NOT downloaded",
    "Installation date NOT downloaded", "Dashboard odometer value NOT downloaded",
};

// Indexed by the row of the OBD window; row 0 is the grid's title row and has no name.
inline constexpr std::array<std::string_view, 27> ObdComponentNames = {
    "",
    "EEPROM",
    "Air detection",
    "Purge",
    "Urea detection",
    "Drive unit",
    "Upstream NOx sensor",
    "MAF sensor",
    "Upstream cat. temp",
    "Downstream cat. temp",
    "Dosing valve",
    "Tank heater output",
    "Line heater output",
    "Internal heater",
    "Urea tank temp. sensor",
    "Pump head temp.",
    "Pump frozen",
    "SCR efficiency",
    "Nozzle",
    "Level sensor",
    "Urea tank level",
    "Air and urea",
    "Return line",
    "Downstream NOx sensor",
    "Engine speed",
    "ECM communication",
    "Urea Tank Temperature",
};
inline constexpr std::string_view ObdTitleText = "On Board Diagnostics";
inline constexpr std::string_view ObdStateTitleText = "Current state";

// Indexed by the 15-bit component field of an error-log record. Worded and numbered differently
// from ObdComponentNames on purpose: the error log has its own numbering.
inline constexpr std::array<std::string_view, 27> ErrorLogComponentNames = {
    "Empty record",
    "ECU",
    "Drive unit",
    "NOx in sensor",
    "MAF",
    "Cat. in temp.",
    "Cat. out temp.",
    "Dosing valve",
    "Tank heater",
    "Line heater",
    "Int. heater",
    "Urea tank temp.",
    "Pump head temp.",
    "Pump frozen",
    "SCR efficiency-threshold exceeded",
    "SCR efficiency reduced",
    "Blocked nozzle",
    "Level sensor",
    "Urea tank empty",
    "Missing Air/urea",
    "Blocked return line",
    "NOx out sensor",
    "Missing engine speed",
    "Urea Tank frozen",
    "Urea Line frozen",
    "ECM communication",
    "Urea Tank temperature",
};

// Fallback prefixes.
inline constexpr std::string_view kInvalidValuePrefix = "Invalid value: ";
inline constexpr std::string_view kInvalidIndexText = "Invalid index";

// The entry at index, or nothing when the table does not hold it (negative or too large).
std::optional<std::string_view> tableText(std::span<const std::string_view> table, long long index);

// "Invalid value: " followed by the number in decimal.
std::string invalidValueText(long long value);

// Application type byte: its entry, or "Unknown application type (n)" above 35.
std::string applicationTypeText(unsigned value);
// Pump-size code: its entry for 1 to 3, "UNDEFINED" for every other code.
std::string pumpSizeText(unsigned code);
// Pump-state and alarm-code bytes are read as signed 8-bit values: 0xC8 is "Invalid value: -56".
std::string pumpStateText(uint8_t raw);
std::string alarmCodeText(uint8_t raw);
// A two-state table at a one- or two-bit value; the unused value 3 of a two-bit field shows
// "Invalid value: 3" like every other code without a text.
std::string twoStateText(const TwoStateTable& table, unsigned value);
// Error-log component: its entry, or "Invalid index" above 26.
std::string errorLogComponentText(unsigned index);
// NotDownloadedTexts 1-based; nothing outside 1 to 6.
std::optional<std::string_view> notDownloadedText(int n);

}  // namespace text_tables
