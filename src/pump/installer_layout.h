#pragma once
// Where the pump keeps each installation setting in the telegrams of the installer: the two long
// configuration images (code 147 for pumps up to 0.05, code 163 up to 0.10) in both directions,
// status pages 212 and 216, and the single-parameter telegrams (code 172 write and its echo,
// code 173 read and its answer) with their identifiers 0 to 32.
//
// Configuration offsets count from the start of the telegram (the code is byte 7); page offsets
// count from the start of the page body (telegram byte 8). An echo of a configuration image is the
// image itself, so its body offsets are the telegram offsets minus 8. Multi-byte fields are
// little-endian and unaligned.

#include <cstddef>
#include <cstdint>

#include "pump/service_codes.h"
#include "pump/service_telegram.h"
#include "pump/status_page_layout.h"

// Installation date, packed into 16 bits wherever the pump stores it.
namespace packed_date {
inline constexpr uint16_t kYearMask = 0x7F;  // bits 0-6, year - 2000
inline constexpr int kBaseYear = 2000;
inline constexpr int kLastYear = kBaseYear + kYearMask;
inline constexpr unsigned kMonthShift = 7;  // bits 7-10
inline constexpr uint16_t kMonthMask = 0x0F;
inline constexpr unsigned kDayShift = 11;  // bits 11-15
inline constexpr uint16_t kDayMask = 0x1F;
}  // namespace packed_date

// The urea tank level sensor is read by a 10-bit converter against a 1000 ohm reference.
namespace level_sensor {
inline constexpr uint16_t kFullScaleCount = 1023;  // an open input; no resistance to show
inline constexpr float kReferenceOhm = 1000.0f;
}  // namespace level_sensor

// The longest VIN any generation carries.
inline constexpr std::size_t kMaxVinLength = 21;

// --- Status page 212: conversion ratio settings ---
namespace status_page::page212 {
inline constexpr std::size_t kConversionRatioReduced = 0;    // 16-bit, x 100
inline constexpr std::size_t kConversionRatioThreshold = 2;  // 16-bit, x 100
inline constexpr std::size_t kAveragingPeriod = 4;           // 8-bit, min
}  // namespace status_page::page212

// --- Status page 216: the installer settings block (also bytes 65-73 of image 163) ---
namespace status_page::page216 {
inline constexpr std::size_t kPurgeSequencesMinus1 = 0;
inline constexpr std::size_t kValveOpenTime = 1;   // s
inline constexpr std::size_t kValveCloseTime = 2;  // s
inline constexpr std::size_t kSelections = 3;      // bits below
inline constexpr uint8_t kDownstreamNoxBit = 0x01;
inline constexpr uint8_t kUdsLowBit = 0x02;  // UDS surveillance index bit 0
inline constexpr uint8_t kMafSignalBit = 0x04;
inline constexpr uint8_t kConversionRatioBit = 0x08;  // set: "Disabled"
inline constexpr uint8_t kRepeatingPrimeBit = 0x10;
inline constexpr unsigned kUreaTankTempShift = 5;  // bits 5-6
inline constexpr uint8_t kTwoBitMask = 0x03;
inline constexpr uint8_t kUdsHighBit = 0x80;  // UDS surveillance index bit 1
inline constexpr std::size_t kSelections2 = 4;
inline constexpr unsigned kEngineSpeedShift = 0;       // bits 0-1
inline constexpr unsigned kUreaTankTempObdShift = 2;   // bits 2-3
inline constexpr std::size_t kIdleThresholdCount = 5;  // 16-bit
inline constexpr std::size_t kSpeedSignalDivider = 7;  // 16-bit
}  // namespace status_page::page216

// --- Configuration image, old layout (code 147, 55 bytes) ---
namespace config147 {
inline constexpr std::size_t kSize = service_length::kConfigOldLayout;
inline constexpr std::size_t kBodySize = kSize - service_telegram::kBodyOffset;
inline constexpr std::size_t kMafFactor = 8;                  // 16-bit
inline constexpr std::size_t kWriteDate = 10;                 // 1 write, 0 keep the pump's
inline constexpr std::size_t kInstallDate = 11;               // packed
inline constexpr std::size_t kWriteDashboard = 13;            // 1 write, 0 keep the pump's
inline constexpr std::size_t kDashboard = 14;                 // 32-bit
inline constexpr std::size_t kExternalHeater = 18;            // combo index
inline constexpr std::size_t kHeaterUpperLimit = 19;          // signed
inline constexpr std::size_t kHeaterLowerLimit = 20;          // signed
inline constexpr std::size_t kConversionRatioReduced = 21;    // 16-bit, x 100
inline constexpr std::size_t kConversionRatioThreshold = 23;  // 16-bit, x 100
inline constexpr std::size_t kAveragingPeriod = 25;
inline constexpr std::size_t kConversionGain = 26;  // 16-bit, x 10000
inline constexpr std::size_t kBlockedNozzleRestart = 28;
inline constexpr std::size_t kCatalystVolume = 29;  // 16-bit, x 10
inline constexpr std::size_t kCatalystLength = 31;  // 16-bit, x 10
inline constexpr std::size_t kVinLength = 33;
inline constexpr std::size_t kVin = 34;  // up to 21 characters
// Sent while the conversion ratio block is disabled: the pump's factory settings.
inline constexpr uint16_t kDefaultConversionRatioReduced = 500;
inline constexpr uint16_t kDefaultConversionRatioThreshold = 700;
inline constexpr uint8_t kDefaultAveragingPeriod = 20;
}  // namespace config147

// --- Configuration image, new layout (code 163, 74 bytes) ---
namespace config163 {
inline constexpr std::size_t kSize = service_length::kConfigNewLayout;
inline constexpr std::size_t kBodySize = kSize - service_telegram::kBodyOffset;
inline constexpr std::size_t kWriteDate = 8;
inline constexpr std::size_t kInstallDate = 9;  // packed
inline constexpr std::size_t kWriteDashboard = 11;
inline constexpr std::size_t kDashboard = 12;  // 32-bit
inline constexpr std::size_t kVinLength = 16;
inline constexpr std::size_t kVin = 17;         // up to 21 characters
inline constexpr std::size_t kHeaterBits = 38;  // bits below
inline constexpr uint8_t kExternalHeaterBit = 0x01;
inline constexpr uint8_t kMonitorTankHeaterBit = 0x02;
inline constexpr uint8_t kMonitorLineHeaterBit = 0x04;
inline constexpr std::size_t kHeaterUpperLimit = 39;          // signed
inline constexpr std::size_t kHeaterLowerLimit = 40;          // signed
inline constexpr std::size_t kHeaterDefreezeLimit = 41;       // signed
inline constexpr std::size_t kConversionRatioReduced = 42;    // 16-bit, x 100
inline constexpr std::size_t kConversionRatioThreshold = 44;  // 16-bit, x 100
inline constexpr std::size_t kAveragingPeriod = 46;
inline constexpr std::size_t kBlockedNozzleRestart = 47;
inline constexpr std::size_t kConversionGain = 48;  // 16-bit, x 10000
inline constexpr std::size_t kCatalystVolume = 50;  // 16-bit, x 10
inline constexpr std::size_t kCatalystLength = 52;  // 16-bit, x 10
inline constexpr std::size_t kMafFactor = 54;       // 16-bit
inline constexpr std::size_t kEcmCanAddress = 56;
inline constexpr std::size_t kMinimumMaf = 57;       // 16-bit, kg/h
inline constexpr std::size_t kLevelLowLimit = 59;    // 16-bit converter count
inline constexpr std::size_t kLevelEmptyLimit = 61;  // 16-bit converter count
inline constexpr std::size_t kLevelSensorSetup = 63;
inline constexpr std::size_t kTlOutputSetup = 64;  // 2 = circuit breaker, no combo item
inline constexpr uint8_t kTlCircuitBreaker = 2;
// The installer settings block, in the layout of page 216.
inline constexpr std::size_t kInstallerBlock = 65;
inline constexpr std::size_t kPurgeSequencesMinus1 =
    kInstallerBlock + status_page::page216::kPurgeSequencesMinus1;
inline constexpr std::size_t kValveOpenTime =
    kInstallerBlock + status_page::page216::kValveOpenTime;
inline constexpr std::size_t kValveCloseTime =
    kInstallerBlock + status_page::page216::kValveCloseTime;
inline constexpr std::size_t kSelections = kInstallerBlock + status_page::page216::kSelections;
inline constexpr std::size_t kSelections2 = kInstallerBlock + status_page::page216::kSelections2;
inline constexpr std::size_t kIdleThresholdCount =
    kInstallerBlock + status_page::page216::kIdleThresholdCount;
inline constexpr std::size_t kSpeedSignalDivider =
    kInstallerBlock + status_page::page216::kSpeedSignalDivider;
static_assert(kSpeedSignalDivider + 2 == kSize);
static_assert(status_page::kPage216Size == kSize - kInstallerBlock);
}  // namespace config163

// --- Parameter telegrams (code 172 write and echo, code 173 read and answer, 8 bytes) ---
namespace parameter_id {
inline constexpr uint16_t kUreaTankHighLimits = 0;  // stop, restart, signed degC
inline constexpr uint16_t kUreaTankLowLimits = 1;   // stop, restart, signed degC
inline constexpr uint16_t kDownstreamNox = 2;
inline constexpr uint16_t kMafSignal = 3;
inline constexpr uint16_t kConversionRatioSelection = 4;
inline constexpr uint16_t kIdleThreshold = 5;       // 16-bit count
inline constexpr uint16_t kSpeedSignalDivider = 6;  // 16-bit
inline constexpr uint16_t kUreaTankTempSetup = 7;
inline constexpr uint16_t kRepeatingPrime = 8;
inline constexpr uint16_t kPurge = 9;
inline constexpr uint16_t kUdsSurveillance = 10;
inline constexpr uint16_t kOnOffMask = 11;   // 32-bit, mask grid column 1
inline constexpr uint16_t kImmSeqMask = 12;  // 32-bit, mask grid column 2
inline constexpr uint16_t kEngineSpeedSetup = 13;
inline constexpr uint16_t kUreaTankTempObd = 14;
inline constexpr uint16_t kVin = 15;  // one character per telegram
inline constexpr uint16_t kInstallDate = 16;
inline constexpr uint16_t kDashboard = 17;
inline constexpr uint16_t kBlockedNozzleRestart = 18;
inline constexpr uint16_t kHeaterSelection = 19;
inline constexpr uint16_t kHeaterLimits = 20;
inline constexpr uint16_t kCatalystVolume = 21;
inline constexpr uint16_t kCatalystLength = 22;
inline constexpr uint16_t kConversionGain = 23;
inline constexpr uint16_t kMafFactor = 24;
inline constexpr uint16_t kConversionRatio = 25;
inline constexpr uint16_t kTlOutputSetup = 26;
inline constexpr uint16_t kEcmCanAddress = 27;
inline constexpr uint16_t kMinimumMaf = 28;
inline constexpr uint16_t kLevelSensor = 29;
inline constexpr uint16_t kDm1Support = 30;
inline constexpr uint16_t kObdActionMaskWord = 31;  // 32-bit word, then its index
inline constexpr uint16_t kAirUnitMask = 32;        // 32-bit, mask grid column 4
inline constexpr uint16_t kLast = kAirUnitMask;
}  // namespace parameter_id

// Telegram offsets of a parameter telegram and of each identifier's values.
namespace parameter_telegram {
inline constexpr std::size_t kSize = service_length::kShortTelegram;
inline constexpr std::size_t kId = 0;     // 16-bit, the low half of longArg
inline constexpr std::size_t kValue = 2;  // first value byte; bytes 2-6 carry the values
inline constexpr std::size_t kValueEnd = 7;

// 0 and 1: urea tank temperature limits
inline constexpr std::size_t kStopTemperature = 2;     // signed
inline constexpr std::size_t kRestartTemperature = 3;  // signed
// 2, 3, 4, 7, 8, 13, 14, 26: one combo index
inline constexpr std::size_t kIndex = 2;
// 5 and 6: 16-bit values
inline constexpr std::size_t kWord = 2;
// 9: purge
inline constexpr std::size_t kValveOpenTime = 2;
inline constexpr std::size_t kValveCloseTime = 3;
inline constexpr std::size_t kPurgeSequencesMinus1 = 4;
// 10: UDS surveillance
inline constexpr std::size_t kUdsEnable = 2;   // index bit 0
inline constexpr std::size_t kUdsObdOnly = 3;  // index bit 1
// 11, 12, 17, 31, 32: 32-bit values
inline constexpr std::size_t kLong = 2;
inline constexpr std::size_t kMaskWordIndex = 6;  // 31: which word of the OBD action mask
// 15: VIN
inline constexpr std::size_t kVinPosition = 2;  // 0 = first character
inline constexpr std::size_t kVinCharacter = 3;
inline constexpr std::size_t kVinLength = 4;
// 16: packed installation date
inline constexpr std::size_t kDate = 2;
// 18, 27, 30: one byte
inline constexpr std::size_t kByte = 2;
// 19: heater selection bits, as byte 38 of image 163
inline constexpr std::size_t kHeaterBits = 2;
// 20: external heater limits, signed
inline constexpr std::size_t kHeaterUpperLimit = 2;
inline constexpr std::size_t kHeaterLowerLimit = 3;
inline constexpr std::size_t kHeaterDefreezeLimit = 4;
// 25: conversion ratio
inline constexpr std::size_t kConversionRatioReduced = 2;    // 16-bit, x 100
inline constexpr std::size_t kConversionRatioThreshold = 4;  // 16-bit, x 100
inline constexpr std::size_t kAveragingPeriod = 6;
// 29: level sensor
inline constexpr std::size_t kLevelSensorSetup = 2;
inline constexpr std::size_t kLevelLowLimit = 3;    // 16-bit converter count, unaligned
inline constexpr std::size_t kLevelEmptyLimit = 5;  // 16-bit converter count, unaligned
inline constexpr uint8_t kTlCircuitBreaker = 2;     // 26: no combo item
inline constexpr uint8_t kDm1Enabled = 1;           // 30
}  // namespace parameter_telegram
