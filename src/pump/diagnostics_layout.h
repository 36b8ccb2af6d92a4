#pragma once
// Where the sensors and the pump put the diagnostic values: the NOx sensors' gas messages, the
// pump's sensor records (pages 209 and 210), the component OBD states (page 201), the torque
// limiter causes (page 208) and the error-log record (reply 141). Offsets are zero-based bytes;
// bit 0 is the least significant bit. Multi-byte fields are little-endian and unaligned.

#include <cstddef>
#include <cstdint>

// The NOx sensors' own broadcast: upstream of the catalyst the intake gas message, downstream the
// outlet gas message, 8 data bytes each.
namespace nox_message {
inline constexpr uint32_t kIntakeGasPgn = 61454;  // 0xF00E, the upstream sensor
inline constexpr uint32_t kOutletGasPgn = 61455;  // 0xF00F, the downstream sensor
// Other nodes of a vehicle send the same groups; only these two addresses are our sensors.
inline constexpr uint8_t kUpstreamAddress = 81;    // 0x51
inline constexpr uint8_t kDownstreamAddress = 82;  // 0x52
inline constexpr std::size_t kSize = 8;

inline constexpr std::size_t kNoxRaw = 0;  // 16-bit: ppm = raw * 0.05 - 200, toward zero
inline constexpr std::size_t kO2Raw = 2;   // 16-bit: % = raw * 0.000514 - 12
inline constexpr std::size_t kStatus = 4;  // four two-bit fields
inline constexpr unsigned kSensorSupplyShift = 0;
inline constexpr unsigned kSensorTemperatureShift = 2;
inline constexpr unsigned kNoxSignalShift = 4;
inline constexpr unsigned kOxygenSignalShift = 6;
inline constexpr uint8_t kTwoBitMask = 0x03;
inline constexpr std::size_t kHeater = 5;  // FMI bits 0-4, heater mode bits 5-6, bit 7 unused
inline constexpr unsigned kHeaterModeShift = 5;
inline constexpr std::size_t kNoxError = 6;  // FMI bits 0-4
inline constexpr std::size_t kO2Error = 7;   // FMI bits 0-4
inline constexpr uint8_t kFmiMask = 0x1F;

// The conversions in exact integer arithmetic: NOx in 1/100 ppm, O2 in millionths of a percent.
inline constexpr int64_t kNoxHundredthsPerRaw = 5;
inline constexpr int64_t kNoxOffsetHundredths = 20000;
inline constexpr int64_t kO2MillionthsPerRaw = 514;
inline constexpr int64_t kO2OffsetMillionths = 12000000;

// FMI values with a text of their own.
inline constexpr uint8_t kFmiShortCircuit = 3;
inline constexpr uint8_t kFmiOpenWire = 5;
inline constexpr uint8_t kFmiNoError = 31;
}  // namespace nox_message

// The pump's view of one sensor: the body of page 209 (upstream) or 210 (downstream), and the same
// records inside reply 200.
namespace sensor_record {
inline constexpr std::size_t kSize = 16;
inline constexpr std::size_t kNoxPpm = 0;         // signed 16-bit
inline constexpr std::size_t kO2Lin = 2;          // signed 16-bit
inline constexpr std::size_t kO2Percent = 4;      // 32-bit IEEE float
inline constexpr std::size_t kSensorMessage = 8;  // the sensor's 8 bytes as the pump received them
}  // namespace sensor_record

// Page 201: the component OBD states, 5 bytes. Each field names its byte, its shift and its width.
namespace page201 {
inline constexpr std::size_t kSize = 5;
struct Field {
    std::size_t byte;
    unsigned shift;
    uint8_t mask;  // after the shift
};
inline constexpr uint8_t kOneBit = 0x01;
inline constexpr uint8_t kTwoBits = 0x03;
inline constexpr Field kEeprom{0, 0, kOneBit};
inline constexpr Field kDriveUnit{0, 1, kOneBit};
inline constexpr Field kUpstreamNox{0, 2, kTwoBits};
inline constexpr Field kDownstreamNox{0, 4, kTwoBits};
inline constexpr Field kMafSensor{0, 6, kTwoBits};
inline constexpr Field kUpstreamCatTemp{1, 0, kTwoBits};
inline constexpr Field kDownstreamCatTemp{1, 2, kTwoBits};
inline constexpr Field kDosingValve{1, 4, kTwoBits};
inline constexpr Field kAirAndUrea{1, 6, kOneBit};
inline constexpr Field kNozzle{1, 7, kOneBit};
inline constexpr Field kPumpHeadTemp{2, 0, kTwoBits};
inline constexpr Field kTankHeaterOutput{2, 2, kTwoBits};
inline constexpr Field kLineHeaterOutput{2, 4, kTwoBits};
inline constexpr Field kPumpFrozen{2, 6, kOneBit};
inline constexpr Field kReturnLine{2, 7, kOneBit};
inline constexpr Field kScrEfficiency{3, 0, kTwoBits};
inline constexpr Field kLevelSensor{3, 2, kTwoBits};
inline constexpr Field kUreaTankTempSensor{3, 4, kTwoBits};
inline constexpr Field kUreaTankLevel{3, 6, kTwoBits};
inline constexpr Field kInternalHeater{4, 0, kOneBit};
inline constexpr Field kEngineSpeed{4, 1, kTwoBits};
inline constexpr Field kEcmCommunication{4, 3, kOneBit};
inline constexpr Field kUreaTankTemperature{4, 4, kTwoBits};
}  // namespace page201

// Page 208: the torque limiter causes, 3 bytes; bits 1-7 of byte 2 are not read.
namespace page208 {
inline constexpr std::size_t kSize = 3;
}  // namespace page208

// Page 211 carries the two torque limiter count-downs (see status_page::page211).

// Reply 141: one error-log record, offsets into the whole telegram (header included).
namespace error_log_record {
inline constexpr std::size_t kRecordNumber = 0;  // 16-bit, from 1
inline constexpr std::size_t kFlags = 2;
inline constexpr uint8_t kFlagNotReady = 0x01;   // bit 0: the pump is still fetching the record
inline constexpr uint8_t kFlagHasRecord = 0x02;  // bit 1: the telegram carries a record
inline constexpr std::size_t kRecordCount = 3;   // 16-bit
inline constexpr std::size_t kEngineSpeed = 15;  // 16-bit, 0.125 rpm
inline constexpr std::size_t kTimeStamp = 21;    // 32-bit, 2-minute units of operating time
inline constexpr std::size_t kErrorTime = 25;    // 32-bit, s
inline constexpr std::size_t kErrorCode = 29;    // 16-bit: component index bits 0-14
inline constexpr uint16_t kComponentMask = 0x7FFF;
inline constexpr uint16_t kLogFullBit = 0x8000;        // bit 15: the log is full
inline constexpr std::size_t kPumpHeadTemp = 31;       // signed 16-bit, 0.1 deg C
inline constexpr std::size_t kNoxIn = 33;              // signed 16-bit, ppm
inline constexpr std::size_t kNoxOut = 35;             // signed 16-bit, ppm
inline constexpr std::size_t kCatInTemp = 37;          // signed 16-bit, deg C
inline constexpr std::size_t kCatOutTemp = 39;         // signed 16-bit, deg C
inline constexpr std::size_t kMaf = 41;                // signed 16-bit, kg/h
inline constexpr std::size_t kUreaFlowRate = 43;       // 32-bit, 0.01 ml/h
inline constexpr std::size_t kAverageConversion = 47;  // 16-bit, 0.01
inline constexpr std::size_t kStateWord = 49;          // 32-bit component states
inline constexpr std::size_t kStateByte = 53;          // further component states
inline constexpr uint8_t kStateByteHexMask = 0x07;     // the bits the "OBD (hex)" column shows
inline constexpr std::size_t kSize = 54;
inline constexpr uint16_t kEmptyComponent = 0;  // a record of component 0 is empty
inline constexpr int kEngineSpeedDivisor = 8;   // 0.125 rpm per bit

// The bit fields of the component states. In the state word unless `inStateByte`.
struct StateField {
    bool inStateByte;
    unsigned shift;
    uint32_t mask;  // after the shift
};
}  // namespace error_log_record
