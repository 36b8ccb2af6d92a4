#pragma once
// Where the pump puts each value in its status pages: body sizes, body offsets and bit positions.
// Offsets count from the start of the page body (telegram byte 8). Multi-byte fields are
// little-endian and unaligned. Bytes not named here are not read by the tool.

#include <array>
#include <cstddef>
#include <cstdint>

#include "pump/service_codes.h"

namespace status_page {

inline constexpr std::size_t kPage201Size = 5;   // component OBD states
inline constexpr std::size_t kPage202Size = 32;  // not decoded
inline constexpr std::size_t kPage203Size = 34;
inline constexpr std::size_t kPage204Size = 33;
inline constexpr std::size_t kPage205Size = 15;
inline constexpr std::size_t kPage206Size = 46;
inline constexpr std::size_t kPage207Size = 4;
inline constexpr std::size_t kPage208Size = 3;   // torque limiter causes
inline constexpr std::size_t kPage209Size = 16;  // upstream NOx sensor
inline constexpr std::size_t kPage210Size = 16;  // downstream NOx sensor
inline constexpr std::size_t kPage211Size = 30;
inline constexpr std::size_t kPage212Size = 5;  // conversion ratio settings
inline constexpr std::size_t kPage216Size = 9;  // installer settings block

// Reply 200: the 8-byte header, then pages 201 to 212 back to back in this order.
struct AllPagesEntry {
    uint8_t code;
    std::size_t telegramOffset;
    std::size_t size;
};
inline constexpr std::array<AllPagesEntry, 12> kAllPagesLayout = {{
    {service_code::kPage201, 8, kPage201Size},
    {service_code::kPage202, 13, kPage202Size},
    {service_code::kPage203, 45, kPage203Size},
    {service_code::kPage204, 79, kPage204Size},
    {service_code::kPage205, 112, kPage205Size},
    {service_code::kPage206, 127, kPage206Size},
    {service_code::kPage207, 173, kPage207Size},
    {service_code::kPage208, 177, kPage208Size},
    {service_code::kPage209, 180, kPage209Size},
    {service_code::kPage210, 196, kPage210Size},
    {service_code::kPage211, 212, kPage211Size},
    {service_code::kPage212, 242, kPage212Size},
}};
inline constexpr std::size_t kAllPagesTelegramSize = 247;

// Body size of a page code, 0 for a code that is no status page.
constexpr std::size_t pageSize(uint8_t code) {
    for (const auto& entry : kAllPagesLayout) {
        if (entry.code == code) {
            return entry.size;
        }
    }
    return code == service_code::kPage216 ? kPage216Size : 0;
}

// Production and installation dates share one packing of the year.
inline constexpr uint16_t kDateYearMask = 0x7F;  // bits 0-6, year - 2000
inline constexpr int kDateBaseYear = 2000;

namespace page203 {
inline constexpr std::size_t kFactoryCalibration = 0;  // 16-bit, 0.01 ml
inline constexpr std::size_t kConversionGain = 3;      // 16-bit, x 10000
inline constexpr std::size_t kMafFactor = 5;           // 16-bit
inline constexpr std::size_t kCatalystVolume = 7;      // 16-bit, 0.1 l
inline constexpr std::size_t kCatalystLength = 9;      // 16-bit, 0.1 mm
inline constexpr std::size_t kTankLowerLimit = 13;     // signed 8-bit, deg C
inline constexpr std::size_t kTankUpperLimit = 14;     // signed 8-bit, deg C
inline constexpr std::size_t kDefreezeLimit = 15;      // signed 8-bit, deg C
inline constexpr std::size_t kProductionDate = 17;     // 16-bit: bits 0-6 year, 7-12 week
inline constexpr unsigned kProductionWeekShift = 7;
inline constexpr uint16_t kProductionWeekMask = 0x3F;
inline constexpr std::size_t kSerialNumber = 19;       // 32-bit
inline constexpr std::size_t kTypeNumberHigh = 23;     // 16-bit, first half of the type number
inline constexpr std::size_t kTypeNumberLow = 25;      // 16-bit, second half
inline constexpr std::size_t kPumpSize = 29;           // 8-bit code
inline constexpr std::size_t kMinimumMafRunning = 30;  // 16-bit, kg/h
}  // namespace page203

namespace page204 {
inline constexpr std::size_t kInstallDate = 0;  // 16-bit: bits 0-6 year, 7-10 month, 11-15 day
inline constexpr unsigned kInstallMonthShift = 7;
inline constexpr uint16_t kInstallMonthMask = 0x0F;
inline constexpr unsigned kInstallDayShift = 11;
inline constexpr uint16_t kInstallDayMask = 0x1F;
inline constexpr std::size_t kDashboardOdometer = 2;  // 32-bit
inline constexpr uint32_t kDashboardOdometerMax = 10000000;
inline constexpr std::size_t kHeaterBits = 6;
inline constexpr uint8_t kExternalHeaterBit = 0x01;
inline constexpr uint8_t kMonitorTankHeaterBit = 0x02;
inline constexpr uint8_t kMonitorLineHeaterBit = 0x04;
inline constexpr std::size_t kBlockedNozzleRestart = 10;  // 8-bit
inline constexpr std::size_t kUserCalibration = 11;       // 16-bit, g
inline constexpr std::size_t kEcmCanAddress = 22;         // 8-bit
inline constexpr std::size_t kApplicationType = 24;       // 8-bit
inline constexpr std::size_t kSoftwareMajor = 25;
inline constexpr std::size_t kSoftwareMinor = 26;
inline constexpr std::size_t kTlOutputSetup = 27;  // 8-bit; kTlCircuitBreaker has no combo item
inline constexpr uint8_t kTlCircuitBreaker = 2;
inline constexpr std::size_t kLevelLowLimit = 28;     // 16-bit converter count
inline constexpr std::size_t kLevelEmptyLimit = 30;   // 16-bit converter count
inline constexpr std::size_t kLevelSensorSetup = 32;  // 8-bit combo index
}  // namespace page204

namespace page205 {
inline constexpr std::size_t kPumpState = 1;  // signed 8-bit
inline constexpr std::size_t kFlow = 3;       // 32-bit, 0.01 ml/h
}  // namespace page205

namespace page206 {
// Durations: a = 16-bit count of 2-hour units, b = 8-bit count of 2-minute units.
inline constexpr std::size_t kDosingTimeMinutes = 0;               // b
inline constexpr std::size_t kDosingTimeHours = 32;                // a
inline constexpr std::size_t kRunningTimeMinutes = 1;              // b
inline constexpr std::size_t kRunningTimeHours = 2;                // a
inline constexpr std::size_t kPowerOns = 4;                        // 32-bit
inline constexpr std::size_t kTotalStrokes = 8;                    // 32-bit
inline constexpr std::size_t kMinimumFlow = 16;                    // 32-bit, 0.01 ml/h
inline constexpr std::size_t kMaximumFlow = 20;                    // 32-bit, 0.01 ml/h
inline constexpr std::size_t kMaxPcbTemperature = 24;              // signed 8-bit
inline constexpr std::size_t kMinPcbTemperature = 25;              // signed 8-bit
inline constexpr std::size_t kDosingCount = 28;                    // 32-bit
inline constexpr std::size_t kObdTimeHours = 34;                   // a
inline constexpr std::size_t kObdTimeMinutes = 37;                 // b
inline constexpr std::size_t kRemainingMilOnPeriod = 38;           // 24-bit, s
inline constexpr std::size_t kRemainingOperationalSequences = 41;  // 8-bit
}  // namespace page206

namespace page207 {
inline constexpr std::size_t kInputs = 0;
inline constexpr uint8_t kUreaLowLevelBit = 0x01;
inline constexpr uint8_t kUreaEmptyLevelBit = 0x02;
inline constexpr uint8_t kPressureSwitchBit = 0x08;
inline constexpr uint8_t kKeySwitchBit = 0x10;
inline constexpr uint8_t kTankHeaterBit = 0x20;
inline constexpr uint8_t kLineHeaterBit = 0x40;
inline constexpr uint8_t kDosingValveBit = 0x80;
inline constexpr std::size_t kLamps = 1;
inline constexpr uint8_t kMilLampBit = 0x01;
inline constexpr uint8_t kUreaLampBit = 0x02;
inline constexpr uint8_t kLamp3Bit = 0x04;
inline constexpr uint8_t kLamp4Bit = 0x08;
inline constexpr uint8_t kTorqueLimiterBit = 0x10;
inline constexpr std::size_t kTestMode = 2;  // bits 3-4
inline constexpr unsigned kTestModeShift = 3;
inline constexpr std::size_t kStates = 3;
inline constexpr unsigned kInternalHeaterShift = 2;  // bits 2-3
inline constexpr unsigned kPurgeReadinessShift = 5;  // bits 5-6
inline constexpr uint8_t kTwoBitMask = 0x03;
inline constexpr int kPurgeObdRow = 3;  // row of the OBD window
}  // namespace page207

namespace page211 {
inline constexpr std::size_t kPumpHeadTemperature = 0;       // signed 16-bit, 0.1 deg C
inline constexpr std::size_t kPcbTemperature = 2;            // signed 8-bit
inline constexpr std::size_t kCatalystInTemperature = 3;     // signed 16-bit
inline constexpr std::size_t kCatalystOutTemperature = 5;    // signed 16-bit
inline constexpr std::size_t kUreaTankTemperature = 7;       // signed 8-bit
inline constexpr std::size_t kBatteryVoltage = 8;            // 8-bit, 0.25 V
inline constexpr std::size_t kMaf = 9;                       // 16-bit, kg/h
inline constexpr std::size_t kConversionRatio = 11;          // 16-bit, x 100
inline constexpr std::size_t kTheoreticalNox = 13;           // signed 16-bit, ppm
inline constexpr std::size_t kAlternatorFrequency = 15;      // 16-bit, Hz
inline constexpr std::size_t kLevelSensor = 17;              // 16-bit converter count
inline constexpr std::size_t kAlarmCode = 21;                // signed 8-bit
inline constexpr std::size_t kTorqueLimiterCountdown1 = 24;  // 16-bit
inline constexpr std::size_t kTorqueLimiterCountdown2 = 26;  // 16-bit
}  // namespace page211

}  // namespace status_page
