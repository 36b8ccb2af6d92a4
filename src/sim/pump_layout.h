#pragma once
// The simulated pump's own view of every byte it puts on the bus or takes from it: service codes,
// the status pages, the configuration images, the parameter identifiers, the error-log record and
// the NOx sensors' message. Written from the pump's side; the tool's decoders are not consulted, so
// a slip on either side shows up when the two meet on the bus.

#include <cstddef>
#include <cstdint>

namespace sim::layout {

// Service telegram header, both directions. Multi-byte fields little-endian.
inline constexpr std::size_t kLongArg = 0;  // bytes 0-3
inline constexpr std::size_t kWordArg = 4;  // bytes 4-5
inline constexpr std::size_t kByteArg = 6;
inline constexpr std::size_t kCode = 7;
inline constexpr std::size_t kHeaderSize = 8;  // a page body starts here
inline constexpr std::size_t kMaxTelegram = 1309;

namespace code {
inline constexpr uint8_t kNormalMode = 0;
inline constexpr uint8_t kTestMode = 1;
inline constexpr uint8_t kReset = 2;
inline constexpr uint8_t kStartPump = 3;
inline constexpr uint8_t kStopPump = 4;
inline constexpr uint8_t kSetFlow = 5;
inline constexpr uint8_t kValve = 13;
inline constexpr uint8_t kHeaterTest = 101;
inline constexpr uint8_t kHeaterOutputs = 102;
inline constexpr uint8_t kLamps = 103;
inline constexpr uint8_t kUserCalibrationRun = 109;
inline constexpr uint8_t kUserCalibration = 128;
inline constexpr uint8_t kErrorLogRecord = 141;
inline constexpr uint8_t kEepromWord = 146;
inline constexpr uint8_t kConfigOld = 147;
inline constexpr uint8_t kDiagnosticClear = 148;
inline constexpr uint8_t kConfigNew = 163;
inline constexpr uint8_t kMiMasks = 164;
inline constexpr uint8_t kReadMiMasks = 165;
inline constexpr uint8_t kDm1Support = 166;
inline constexpr uint8_t kReadDm1Support = 167;
inline constexpr uint8_t kObdActionWord = 168;
inline constexpr uint8_t kReadObdActionWord = 169;
inline constexpr uint8_t kAirUnitMask = 170;
inline constexpr uint8_t kReadAirUnitMask = 171;
inline constexpr uint8_t kParameterWrite = 172;
inline constexpr uint8_t kParameterRead = 173;
inline constexpr uint8_t kAllPages = 200;
inline constexpr uint8_t kFirstPage = 201;
inline constexpr uint8_t kLastPage = 212;
inline constexpr uint8_t kInstallerPage = 216;
inline constexpr uint8_t kNotSupported = 254;
inline constexpr uint8_t kNotAcknowledged = 255;
}  // namespace code

// Diagnostic clear on the next reset: the only argument the pump acknowledges.
inline constexpr uint32_t kDiagnosticClearArg = 128;

// Status page body sizes. Reply 200 carries pages 201..212 back to back after the header.
inline constexpr std::size_t kPageSize[] = {
    5,   // 201 component OBD states
    32,  // 202 reserved
    34,  // 203 identity and calibration
    33,  // 204 installation, application type, software version
    15,  // 205 flow and pump state
    46,  // 206 counters and extremes
    4,   // 207 digital inputs and outputs
    3,   // 208 torque limiter causes
    16,  // 209 upstream NOx sensor as the pump sees it
    16,  // 210 downstream NOx sensor as the pump sees it
    30,  // 211 analog values and alarm
    5,   // 212 conversion ratio settings
};
inline constexpr std::size_t kInstallerPageSize = 9;  // 216

constexpr std::size_t pageSize(uint8_t page) {
    if (page >= code::kFirstPage && page <= code::kLastPage) {
        return kPageSize[page - code::kFirstPage];
    }
    return page == code::kInstallerPage ? kInstallerPageSize : 0;
}

constexpr std::size_t allPagesSize() {
    std::size_t n = kHeaderSize;
    for (std::size_t s : kPageSize) {
        n += s;
    }
    return n;
}
inline constexpr std::size_t kAllPagesSize = allPagesSize();
static_assert(kAllPagesSize == 247);

// Page 201, component OBD states: bit positions of each field (bit 0 = lsb of body byte 0).
namespace p201 {
inline constexpr int kEeprom = 0;                // 1 bit
inline constexpr int kDriveUnit = 1;             // 1 bit
inline constexpr int kUpstreamNox = 2;           // 2 bits, sensor link
inline constexpr int kDownstreamNox = 4;         // 2 bits, sensor link
inline constexpr int kMaf = 6;                   // 2 bits, range
inline constexpr int kCatInTemp = 8;             // 2 bits, range
inline constexpr int kCatOutTemp = 10;           // 2 bits, range
inline constexpr int kDosingValve = 12;          // 2 bits, output
inline constexpr int kAirAndUrea = 14;           // 1 bit
inline constexpr int kNozzle = 15;               // 1 bit, blocked
inline constexpr int kPumpHeadTemp = 16;         // 2 bits, range
inline constexpr int kTankHeater = 18;           // 2 bits, output
inline constexpr int kLineHeater = 20;           // 2 bits, output
inline constexpr int kPumpFrozen = 22;           // 1 bit
inline constexpr int kReturnLine = 23;           // 1 bit, blocked
inline constexpr int kScrEfficiency = 24;        // 2 bits
inline constexpr int kLevelSensor = 26;          // 2 bits, range
inline constexpr int kUreaTankTempSensor = 28;   // 2 bits, range
inline constexpr int kUreaTankLevel = 30;        // 2 bits: 0 full, 1 low, 2 empty
inline constexpr int kInternalHeater = 32;       // 1 bit
inline constexpr int kEngineSpeed = 33;          // 2 bits: 0 ok, 1 missing
inline constexpr int kEcmCommunication = 35;     // 1 bit
inline constexpr int kUreaTankTemperature = 36;  // 2 bits, range
inline constexpr uint8_t kLinkCommunicationError = 2;
inline constexpr uint8_t kLevelLow = 1;
inline constexpr uint8_t kLevelEmpty = 2;
}  // namespace p201

namespace p203 {
inline constexpr std::size_t kFactoryCalibration = 0;  // 16-bit, 0.01 ml
inline constexpr std::size_t kConversionGain = 3;      // 16-bit, x 10000
inline constexpr std::size_t kMafFactor = 5;           // 16-bit
inline constexpr std::size_t kCatalystVolume = 7;      // 16-bit, 0.1 l
inline constexpr std::size_t kCatalystLength = 9;      // 16-bit, 0.1 mm
inline constexpr std::size_t kHeaterLowerLimit = 13;   // signed 8-bit
inline constexpr std::size_t kHeaterUpperLimit = 14;   // signed 8-bit
inline constexpr std::size_t kDefreezeLimit = 15;      // signed 8-bit
inline constexpr std::size_t kProductionDate = 17;     // 16-bit: year-2000 bits 0-6, week 7-12
inline constexpr std::size_t kSerial = 19;             // 32-bit
inline constexpr std::size_t kTypeNumberHigh = 23;     // 16-bit, first half
inline constexpr std::size_t kTypeNumberLow = 25;      // 16-bit, second half
inline constexpr std::size_t kPumpSize = 29;
inline constexpr std::size_t kMinimumMaf = 30;  // 16-bit
}  // namespace p203

namespace p204 {
inline constexpr std::size_t kInstallDate = 0;  // 16-bit packed date
inline constexpr std::size_t kDashboard = 2;    // 32-bit
inline constexpr std::size_t kHeaterBits = 6;   // bit 0 external, 1 monitor tank, 2 monitor line
inline constexpr std::size_t kBlockedNozzleRestart = 10;
inline constexpr std::size_t kUserCalibration = 11;  // 16-bit, g
inline constexpr std::size_t kEcmAddress = 22;
inline constexpr std::size_t kApplicationType = 24;
inline constexpr std::size_t kSoftwareMajor = 25;
inline constexpr std::size_t kSoftwareMinor = 26;
inline constexpr std::size_t kTlOutputSetup = 27;
inline constexpr std::size_t kLevelLowLimit = 28;    // 16-bit converter count
inline constexpr std::size_t kLevelEmptyLimit = 30;  // 16-bit converter count
inline constexpr std::size_t kLevelSensorSetup = 32;
}  // namespace p204

namespace p205 {
inline constexpr std::size_t kPumpState = 1;  // signed 8-bit
inline constexpr std::size_t kFlow = 3;       // 32-bit, 0.01 ml/h
}  // namespace p205

namespace p206 {
inline constexpr std::size_t kDosingTimeMinutes = 0;  // 2-minute units
inline constexpr std::size_t kRunningTimeMinutes = 1;
inline constexpr std::size_t kRunningTimeHours = 2;  // 16-bit, 2-hour units
inline constexpr std::size_t kPowerOns = 4;          // 32-bit
inline constexpr std::size_t kTotalStrokes = 8;      // 32-bit
inline constexpr std::size_t kMinimumFlow = 16;      // 32-bit, 0.01 ml/h
inline constexpr std::size_t kMaximumFlow = 20;      // 32-bit, 0.01 ml/h
inline constexpr std::size_t kMaxPcbTemp = 24;       // signed
inline constexpr std::size_t kMinPcbTemp = 25;       // signed
inline constexpr std::size_t kDosingCount = 28;      // 32-bit
inline constexpr std::size_t kDosingTimeHours = 32;  // 16-bit, 2-hour units
inline constexpr std::size_t kObdTimeHours = 34;     // 16-bit, 2-hour units
inline constexpr std::size_t kObdTimeMinutes = 37;   // 2-minute units
inline constexpr std::size_t kRemainingMilOn = 38;   // 24-bit, s
inline constexpr std::size_t kRemainingSequences = 41;
}  // namespace p206

namespace p207 {
// Byte 0
inline constexpr uint8_t kLowLevelSwitch = 0x01;
inline constexpr uint8_t kEmptyLevelSwitch = 0x02;
inline constexpr uint8_t kPressureSwitch = 0x08;
inline constexpr uint8_t kKeySwitch = 0x10;
inline constexpr uint8_t kTankHeater = 0x20;
inline constexpr uint8_t kLineHeater = 0x40;
inline constexpr uint8_t kDosingValve = 0x80;
// Byte 1
inline constexpr uint8_t kMilLamp = 0x01;
inline constexpr uint8_t kUreaLamp = 0x02;
inline constexpr uint8_t kLamp3 = 0x04;
inline constexpr uint8_t kLamp4 = 0x08;
inline constexpr uint8_t kTorqueLimiter = 0x10;
// Byte 2: test mode in bits 3-4; byte 3: internal heater bits 2-3, purge readiness bits 5-6.
inline constexpr int kTestModeShift = 3;
inline constexpr int kInternalHeaterShift = 2;
inline constexpr int kPurgeReadinessShift = 5;
}  // namespace p207

// Page 208: torque limiter causes, bit n of the 24-bit little-endian field.
namespace p208 {
inline constexpr int kEeprom = 0;
inline constexpr int kDriveUnit = 1;
inline constexpr int kNoxIn = 2;
inline constexpr int kMaf = 3;
inline constexpr int kCatInTemp = 4;
inline constexpr int kCatOutTemp = 5;
inline constexpr int kDosingValveOpen = 6;
inline constexpr int kDosingValveClosed = 7;
inline constexpr int kPumpHeadTemp = 8;
inline constexpr int kNozzle = 9;
inline constexpr int kScrEfficiency = 10;
inline constexpr int kInternalHeater = 11;
inline constexpr int kLevelSensor = 12;
inline constexpr int kAirUrea = 13;
inline constexpr int kUreaLevel = 14;
inline constexpr int kNoxOut = 15;
inline constexpr int kEcmCommunication = 16;
}  // namespace p208

// Pages 209 and 210: one NOx sensor as the pump sees it.
namespace p209 {
inline constexpr std::size_t kNoxPpm = 0;         // signed 16-bit
inline constexpr std::size_t kO2Lin = 2;          // signed 16-bit
inline constexpr std::size_t kO2Percent = 4;      // IEEE float
inline constexpr std::size_t kSensorMessage = 8;  // 8 bytes as received
}  // namespace p209

namespace p211 {
inline constexpr std::size_t kPumpHeadTemp = 0;          // signed 16-bit, 0.1 degC
inline constexpr std::size_t kPcbTemp = 2;               // signed 8-bit
inline constexpr std::size_t kCatInTemp = 3;             // signed 16-bit
inline constexpr std::size_t kCatOutTemp = 5;            // signed 16-bit
inline constexpr std::size_t kUreaTankTemp = 7;          // signed 8-bit
inline constexpr std::size_t kBattery = 8;               // 0.25 V
inline constexpr std::size_t kMaf = 9;                   // 16-bit, kg/h
inline constexpr std::size_t kConversionRatio = 11;      // 16-bit, x 100
inline constexpr std::size_t kTheoreticalNox = 13;       // signed 16-bit, ppm
inline constexpr std::size_t kAlternatorFrequency = 15;  // 16-bit, Hz
inline constexpr std::size_t kLevelSensorCount = 17;     // 16-bit
inline constexpr std::size_t kAlarmCode = 21;            // signed 8-bit
inline constexpr std::size_t kCountdown5s = 24;          // 16-bit
inline constexpr std::size_t kCountdown45s = 26;         // 16-bit
}  // namespace p211

namespace alarm {
inline constexpr int8_t kNone = 0;
inline constexpr int8_t kUreaLow = 1;
inline constexpr int8_t kUreaEmpty = 2;
inline constexpr int8_t kCanTimeout = 3;
}  // namespace alarm

namespace p212 {
inline constexpr std::size_t kReduced = 0;    // 16-bit, x 100
inline constexpr std::size_t kThreshold = 2;  // 16-bit, x 100
inline constexpr std::size_t kAveragePeriod = 4;
}  // namespace p212

// Page 216, the installer settings block (also telegram bytes 65-73 of configuration 163).
namespace p216 {
inline constexpr std::size_t kPurgeSequencesMinus1 = 0;
inline constexpr std::size_t kValveOpenTime = 1;
inline constexpr std::size_t kValveCloseTime = 2;
inline constexpr std::size_t kSelections = 3;  // bit layout below
inline constexpr std::size_t kSelections2 = 4;
inline constexpr std::size_t kIdleThreshold = 5;  // 16-bit count
inline constexpr std::size_t kDivider = 7;        // 16-bit
// Byte 3
inline constexpr uint8_t kDownstreamNoxBit = 0x01;
inline constexpr uint8_t kUdsLowBit = 0x02;
inline constexpr uint8_t kMafSignalBit = 0x04;
inline constexpr uint8_t kConversionRatioBit = 0x08;
inline constexpr uint8_t kRepeatingPrimeBit = 0x10;
inline constexpr int kUreaTankTempShift = 5;  // 2 bits
inline constexpr uint8_t kUdsHighBit = 0x80;
// Byte 4
inline constexpr int kEngineSpeedShift = 0;      // 2 bits
inline constexpr int kUreaTankTempObdShift = 2;  // 2 bits
}  // namespace p216

// Configuration download, old layout (code 147): telegram offsets.
namespace c147 {
inline constexpr std::size_t kSize = 55;
inline constexpr std::size_t kMafFactor = 8;
inline constexpr std::size_t kWriteDate = 10;
inline constexpr std::size_t kDate = 11;
inline constexpr std::size_t kWriteDashboard = 13;
inline constexpr std::size_t kDashboard = 14;
inline constexpr std::size_t kExternalHeater = 18;
inline constexpr std::size_t kHeaterUpper = 19;
inline constexpr std::size_t kHeaterLower = 20;
inline constexpr std::size_t kReduced = 21;
inline constexpr std::size_t kThreshold = 23;
inline constexpr std::size_t kAveragePeriod = 25;
inline constexpr std::size_t kConversionGain = 26;
inline constexpr std::size_t kBlockedNozzleRestart = 28;
inline constexpr std::size_t kCatalystVolume = 29;
inline constexpr std::size_t kCatalystLength = 31;
inline constexpr std::size_t kVinLength = 33;
inline constexpr std::size_t kVin = 34;
inline constexpr std::size_t kMaxVin = 21;
}  // namespace c147

// Configuration download, new layout (code 163): telegram offsets.
namespace c163 {
inline constexpr std::size_t kSize = 74;
inline constexpr std::size_t kWriteDate = 8;
inline constexpr std::size_t kDate = 9;
inline constexpr std::size_t kWriteDashboard = 11;
inline constexpr std::size_t kDashboard = 12;
inline constexpr std::size_t kVinLength = 16;
inline constexpr std::size_t kVin = 17;
inline constexpr std::size_t kMaxVin = 21;
inline constexpr std::size_t kHeaterBits = 38;
inline constexpr std::size_t kHeaterUpper = 39;
inline constexpr std::size_t kHeaterLower = 40;
inline constexpr std::size_t kDefreeze = 41;
inline constexpr std::size_t kReduced = 42;
inline constexpr std::size_t kThreshold = 44;
inline constexpr std::size_t kAveragePeriod = 46;
inline constexpr std::size_t kBlockedNozzleRestart = 47;
inline constexpr std::size_t kConversionGain = 48;
inline constexpr std::size_t kCatalystVolume = 50;
inline constexpr std::size_t kCatalystLength = 52;
inline constexpr std::size_t kMafFactor = 54;
inline constexpr std::size_t kEcmAddress = 56;
inline constexpr std::size_t kMinimumMaf = 57;
inline constexpr std::size_t kLevelLowLimit = 59;
inline constexpr std::size_t kLevelEmptyLimit = 61;
inline constexpr std::size_t kLevelSensorSetup = 63;
inline constexpr std::size_t kTlOutputSetup = 64;
inline constexpr std::size_t kInstallerBlock = 65;  // page 216 layout, 9 bytes
}  // namespace c163

// Parameter telegram (codes 172 and 173): identifier in bytes 0-1, values from byte 2.
namespace param {
inline constexpr std::size_t kId = 0;
inline constexpr std::size_t kValue = 2;
inline constexpr uint16_t kUreaTankHighLimits = 0;
inline constexpr uint16_t kUreaTankLowLimits = 1;
inline constexpr uint16_t kDownstreamNox = 2;
inline constexpr uint16_t kMafSignal = 3;
inline constexpr uint16_t kConversionRatioSelection = 4;
inline constexpr uint16_t kIdleThreshold = 5;
inline constexpr uint16_t kSpeedSignalDivider = 6;
inline constexpr uint16_t kUreaTankTempSetup = 7;
inline constexpr uint16_t kRepeatingPrime = 8;
inline constexpr uint16_t kPurge = 9;
inline constexpr uint16_t kUdsSurveillance = 10;
inline constexpr uint16_t kOnOffMask = 11;
inline constexpr uint16_t kImmSeqMask = 12;
inline constexpr uint16_t kEngineSpeedSetup = 13;
inline constexpr uint16_t kUreaTankTempObd = 14;
inline constexpr uint16_t kVinCharacter = 15;  // byte 2 position, 3 character, 4 length
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
inline constexpr uint16_t kEcmAddress = 27;
inline constexpr uint16_t kMinimumMaf = 28;
inline constexpr uint16_t kLevelSensor = 29;
inline constexpr uint16_t kDm1Support = 30;
inline constexpr uint16_t kObdActionWord = 31;
inline constexpr uint16_t kAirUnitMask = 32;
inline constexpr uint16_t kLast = 32;
}  // namespace param

// Masks as the pump stores them: the fixed bits are forced.
namespace mask {
inline constexpr uint32_t kMiValid = 0x07FFFFFE;  // rows 1..26
inline constexpr uint64_t kObdActionValid = 0x003FFFFFFFFFFFFFull;
inline constexpr uint64_t kObdActionFixed = 0x3;
inline constexpr uint32_t kAirUnitValid = 0x07FFFFFE;
inline constexpr uint32_t kAirUnitFixed = 0x1;
}  // namespace mask

// Error-log record (reply 141): telegram offsets.
namespace elog {
inline constexpr std::size_t kRecordNumber = 0;  // 16-bit, from 1
inline constexpr std::size_t kFlags = 2;
inline constexpr std::size_t kRecordCount = 3;   // 16-bit
inline constexpr std::size_t kEngineSpeed = 15;  // 16-bit, 0.125 rpm
inline constexpr std::size_t kTimeStamp = 21;    // 32-bit, 2-minute units
inline constexpr std::size_t kErrorTime = 25;    // 32-bit, s
inline constexpr std::size_t kErrorCode = 29;    // 16-bit: component index, bit 15 log full
inline constexpr std::size_t kPumpHeadTemp = 31;
inline constexpr std::size_t kNoxIn = 33;
inline constexpr std::size_t kNoxOut = 35;
inline constexpr std::size_t kCatInTemp = 37;
inline constexpr std::size_t kCatOutTemp = 39;
inline constexpr std::size_t kMaf = 41;
inline constexpr std::size_t kUreaFlow = 43;  // 32-bit, 0.01 ml/h
inline constexpr std::size_t kAverageConversionRatio = 47;
inline constexpr std::size_t kStateWord = 49;  // 32-bit
inline constexpr std::size_t kStateByte = 53;
inline constexpr std::size_t kRecordSize = 54;
inline constexpr uint8_t kFlagNotReady = 0x01;
inline constexpr uint8_t kFlagRecord = 0x02;
inline constexpr uint16_t kLogFull = 0x8000;
inline constexpr std::size_t kCapacity = 1500;  // records the pump's log can hold
inline constexpr std::size_t kDefaultRecords = 40;
}  // namespace elog

// EEPROM: 192 words, addresses 0..191.
inline constexpr std::size_t kEepromWords = 192;

// User calibration (command 128): the mass of water a 10-minute run at 6000 ml/h pumps, in g; a
// pump calibrated with 1000 g doses as delivered.
inline constexpr uint16_t kDefaultUserCalibration = 1000;
inline constexpr uint16_t kMinUserCalibration = 500;
inline constexpr uint16_t kMaxUserCalibration = 2047;

// NOx sensor message (AT1IG1 / AT1OG1), zero-based byte offsets of the 8 data bytes.
namespace nox {
inline constexpr std::size_t kNoxRaw = 0;    // 16-bit: ppm = raw * 0.05 - 200
inline constexpr std::size_t kO2Raw = 2;     // 16-bit: % = raw * 0.000514 - 12
inline constexpr std::size_t kStatus = 4;    // supply 0-1, temperature 2-3, NOx 4-5, O2 6-7
inline constexpr std::size_t kHeater = 5;    // FMI bits 0-4, heater mode bits 5-6
inline constexpr std::size_t kNoxError = 6;  // FMI bits 0-4
inline constexpr std::size_t kO2Error = 7;   // FMI bits 0-4
inline constexpr uint8_t kFmiNoError = 31;
inline constexpr uint8_t kAllValid = 0x55;  // in range, at temperature, both signals valid
}  // namespace nox

}  // namespace sim::layout
