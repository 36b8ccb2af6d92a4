#pragma once
// The torque limiter status without its window: the cause bytes of page 208 (and of reply 200)
// turned into the states of the 17 indicators, and the two count-downs of page 211 into texts.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "pump/indicator_state.h"

namespace torque_limiter {

// One indicator: its shape, its caption, and the cause bit that drives it.
struct Indicator {
    const char* objectName;
    const char* caption;
    std::size_t byte;
    unsigned bit;
};
inline constexpr int kIndicatorCount = 17;
inline constexpr std::array<Indicator, kIndicatorCount> kIndicators = {{
    {"shTL_ECU", "EEPROM", 0, 0},
    {"shTL_DriveUnit", "Drive unit", 0, 1},
    {"shTL_NOxIn", "NOx in ", 0, 2},
    {"shTL_MAF", "MAF", 0, 3},
    {"shTL_CatInTemp", "CAT in temp.", 0, 4},
    {"dshTL_CatOutTemp", "CAT out temp.", 0, 5},
    {"shTL_DosingValveOpen", "Dosing valve open", 0, 6},
    {"shTL_DosingValveClosed", "Dosing valve closed", 0, 7},
    {"shTL_PumpHeadTemp", "Pump head temp.", 1, 0},
    {"shTL_Nozzle", "Nozzle", 1, 1},
    {"shTL_ConversionRate", "SCR efficiency", 1, 2},
    {"shTL_InternalHeater", "Internal heater", 1, 3},
    {"shTL_LevelSensor", "Level sensor", 1, 4},
    {"shTL_AirUrea", "Air urea", 1, 5},
    {"shTL_UreaLevel", "Urea level", 1, 6},
    {"shTL_NOxOut", "NOx out", 1, 7},
    {"shTL_ECMcom", "ECM communication", 2, 0},
}};

// The two count-down read-outs: shown as the pump sends them, in seconds.
inline constexpr const char* kCountDown5SecName = "lCoutDown5Sec";
inline constexpr const char* kCountDown5SecCaption = "Count down 5 sec";
inline constexpr const char* kCountDown45SecName = "lCoutDown45Sec";
inline constexpr const char* kCountDown45SecCaption = "Count down 45 sec";
inline constexpr const char* kUnknownText = "?";

}  // namespace torque_limiter

// The indicators in the order of kIndicators: a set bit asks for the torque limitation (red), a
// clear bit does not (green). A short page leaves the indicators of its missing bytes out
// (they keep their colours) and `complete` is false; bytes past 3 are ignored.
struct TorqueLimiterCauses {
    std::array<std::optional<IndicatorState>, torque_limiter::kIndicatorCount> states{};
    bool complete = false;
};
TorqueLimiterCauses decodeTorqueLimiterCauses(std::span<const uint8_t> causes);

struct TorqueLimiterCountdowns {
    std::string countDown5Sec;   // lCoutDown5Sec
    std::string countDown45Sec;  // lCoutDown45Sec
};
// The two values of page 211 (Page211Result::torqueLimiterCountdowns), in decimal.
TorqueLimiterCountdowns torqueLimiterCountdownTexts(const std::pair<uint16_t, uint16_t>& values);

// What a display clear leaves: every indicator red, the "ECM communication" one too (nothing is
// known of a pump that is not there), and both count-downs "?".
struct TorqueLimiterDisplay {
    std::array<IndicatorState, torque_limiter::kIndicatorCount> states{};
    TorqueLimiterCountdowns countdowns;
};
TorqueLimiterDisplay clearedTorqueLimiterDisplay();
