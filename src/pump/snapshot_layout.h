#pragma once
// The configuration snapshot record (.nox files): 90 bytes, multi-byte fields little-endian and
// unaligned, no header, version or checksum. Offsets count from the first record byte.
//
// Fields are filled and applied under one of three conditions: always; extended (the installer's
// extended group `gbExtendedConfig` is visible); urea tank (its `pUreaTankTemperatureSettings` is
// visible, and when loading `gbExtendedConfig` as well).
//
// Values the tool does not hold. A snapshot must never make the tool download a value nobody
// read from a pump. Where the tool holds no value for a conditional field when saving (a label
// still showing "?" while its group is hidden, a mask the pump has not reported yet), the field is
// written with its "not known" marker below. Each marker is a value the pump never reports and the
// installer would refuse to download (an ECM address of 255, a minimum MAF or level limit of
// 65535, a temperature of 127, a mask with every bit set, a settings block of nine 0xFF bytes), so
// a load that finds it leaves its entry field or selection boxes as they are.

#include <cstddef>
#include <cstdint>

namespace snapshot {

inline constexpr std::size_t kRecordSize = 90;

// Bytes 0-29 are not used; they are written as 0.
inline constexpr std::size_t kUnusedSize = 30;

// --- Always ---
inline constexpr std::size_t kHeaterSelections = 30;          // bits of the three selection boxes
inline constexpr uint8_t kExternalHeaterBit = 0x01;           // `cbExternalHeaterSelection`
inline constexpr uint8_t kMonitorTankHeaterBit = 0x02;        // `cbMonitorTankHeater`
inline constexpr uint8_t kMonitorLineHeaterBit = 0x04;        // `cbMonitorLineHeater`
inline constexpr std::size_t kTankUpperLimit = 31;            // signed 8-bit, deg C
inline constexpr std::size_t kTankLowerLimit = 32;            // signed 8-bit, deg C
inline constexpr std::size_t kDefreezeLimit = 33;             // signed 8-bit, deg C
inline constexpr std::size_t kConversionRatioReduced = 34;    // 16-bit, x 100
inline constexpr std::size_t kConversionRatioThreshold = 36;  // 16-bit, x 100
inline constexpr std::size_t kConversionRatioPeriod = 38;     // 8-bit, min
inline constexpr std::size_t kBlockedNozzleRestart = 39;      // 8-bit, min
inline constexpr std::size_t kConversionGain = 40;            // 16-bit, x 10000
inline constexpr std::size_t kCatalystVolume = 42;            // 16-bit, x 10
inline constexpr std::size_t kCatalystLength = 44;            // 16-bit, x 10
inline constexpr std::size_t kMafFactor = 46;                 // 16-bit

// --- Extended ---
inline constexpr std::size_t kEcmCanAddress = 48;      // 8-bit
inline constexpr std::size_t kMafAtIdleSpeed = 49;     // 16-bit, kg/h
inline constexpr std::size_t kLevelLowLimit = 51;      // 16-bit, ohm
inline constexpr std::size_t kLevelEmptyLimit = 53;    // 16-bit, ohm
inline constexpr std::size_t kLevelSensorSetup = 55;   // `PumpLevelSensorSetup`
inline constexpr std::size_t kTlOutputSetup = 56;      // `PumpTlOutputSetup`
inline constexpr std::size_t kInstallerSettings = 57;  // `PumpInstallerSettings`, page 216 layout
inline constexpr std::size_t kInstallerSettingsSize = 9;
inline constexpr std::size_t kOnOffMask = 66;       // `PumpMiMasks`, 32-bit
inline constexpr std::size_t kImmSeqMask = 70;      // 32-bit
inline constexpr std::size_t kObdActionWord0 = 78;  // `PumpObdActionMasks`, low word first
inline constexpr std::size_t kObdActionWord1 = 82;
inline constexpr std::size_t kAirUnitMask = 86;  // `PumpAirUnitMask`, 32-bit

// --- Urea tank ---
inline constexpr std::size_t kUreaTankMaxStop = 74;  // signed 8-bit, deg C, each
inline constexpr std::size_t kUreaTankMaxRestart = 75;
inline constexpr std::size_t kUreaTankMinStop = 76;
inline constexpr std::size_t kUreaTankMinRestart = 77;

// --- The installer settings block, offsets into its nine bytes (page 216 layout) ---
namespace installer_settings {
inline constexpr std::size_t kPurgeSequencesMinus1 = 0;
inline constexpr std::size_t kValveOpenTime = 1;
inline constexpr std::size_t kValveCloseTime = 2;
inline constexpr std::size_t kSelections = 3;
inline constexpr uint8_t kDownstreamNoxBit = 0x01;
inline constexpr uint8_t kUdsLowBit = 0x02;
inline constexpr uint8_t kMafSignalBit = 0x04;
inline constexpr uint8_t kConversionRatioBit = 0x08;
inline constexpr uint8_t kRepeatingPrimeBit = 0x10;
inline constexpr unsigned kUreaTankTempSetupShift = 5;  // 2 bits
inline constexpr uint8_t kUdsHighBit = 0x80;
inline constexpr std::size_t kSelections2 = 4;
inline constexpr unsigned kEngineSpeedSetupShift = 0;  // 2 bits
inline constexpr unsigned kUreaTankTempObdShift = 2;   // 2 bits
inline constexpr uint8_t kTwoBits = 0x03;
inline constexpr std::size_t kIdleThresholdCount = 5;  // 16-bit
inline constexpr std::size_t kSpeedSignalDivider = 7;  // 16-bit
}  // namespace installer_settings

// --- "Not known" markers ---
inline constexpr uint8_t kUnknownByte = 0xFF;
inline constexpr uint16_t kUnknown16 = 0xFFFF;
inline constexpr int8_t kUnknownTemperature = 0x7F;
inline constexpr uint32_t kUnknownMask = 0xFFFFFFFF;

// Below software 0.09 the pump has no heater monitoring: both monitor bits are saved as 1, and a
// load sets both monitor boxes to "YES".
inline constexpr int kHeaterMonitoringVersion = 9;  // major x 100 + minor

}  // namespace snapshot
