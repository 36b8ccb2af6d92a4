#pragma once
// The code vocabulary of the service telegrams between the tool and the pump, in both directions,
// and the fixed arguments and lengths that go with the codes. A reply repeats its command's code,
// so one constant names both directions. Every other code is an illegal reply, and so is a reply 2.

#include <cstddef>
#include <cstdint>

namespace service_code {

// --- Test mode, pump and valve ---
inline constexpr uint8_t kNormalMode = 0;     // reply only: the pump is back in normal mode
inline constexpr uint8_t kEnterTestMode = 1;  // reply byteArg: kFinalTest or kCustomerAccess
inline constexpr uint8_t kResetPump = 2;      // command only; a reply 2 is illegal
inline constexpr uint8_t kStartPump = 3;
inline constexpr uint8_t kStopPump = 4;
inline constexpr uint8_t kSetFlow = 5;          // longArg = flow in 0.01 ml/h, echoed
inline constexpr uint8_t kAcknowledge6 = 6;     // not sent; accepted without further effect
inline constexpr uint8_t kAcknowledge7 = 7;     // not sent; accepted without further effect
inline constexpr uint8_t kSetDosingValve = 13;  // byteArg kValveOpen / kValveClosed
inline constexpr uint8_t kAcknowledge14 = 14;   // 14 to 17: not sent, accepted without effect
inline constexpr uint8_t kAcknowledge15 = 15;
inline constexpr uint8_t kAcknowledge16 = 16;
inline constexpr uint8_t kAcknowledge17 = 17;
inline constexpr uint8_t kIgnored41 = 41;      // reply only; never accepted
inline constexpr uint8_t kAcknowledge43 = 43;  // reply only; accepted without effect
inline constexpr uint8_t kAcknowledge61 = 61;  // not sent; accepted without further effect

// --- Actuator, heater and lamp tests ---
inline constexpr uint8_t kHeaterTest = 101;     // byteArg kHeaterTestBegin / kHeaterTestEnd
inline constexpr uint8_t kHeaterOutputs = 102;  // byte 0 tank heater, byte 1 line heater
inline constexpr uint8_t kLampOutputs = 103;    // bytes 0 to 3, one lamp each

// --- User calibration ---
inline constexpr uint8_t kStartUserCalibration = 109;
inline constexpr uint8_t kDownloadUserCalibration = 128;  // bytes 0-1 = water mass in g, echoed

// --- Error log and EEPROM ---
inline constexpr uint8_t kErrorLogRecord = 141;  // bytes 0-1 = record number, from 1
inline constexpr uint8_t kAcknowledge143 = 143;  // not sent; accepted without further effect
inline constexpr uint8_t kReadEepromWord = 146;  // longArg address; reply wordArg data, byteArg 1

// --- Installer configuration ---
inline constexpr uint8_t kConfigDownloadOld = 147;     // old layout, echoed whole
inline constexpr uint8_t kDiagnosticClearReset = 148;  // not sent; reply longArg = 128
inline constexpr uint8_t kConfigDownloadNew = 163;     // new layout, echoed whole
inline constexpr uint8_t kSetMiMasks = 164;            // ON/OFF and IMM/SEQ masks in the body
inline constexpr uint8_t kRequestMiMasks = 165;
inline constexpr uint8_t kSetDm1Support = 166;  // byteArg 1 enable, 0 disable
inline constexpr uint8_t kRequestDm1Support = 167;
inline constexpr uint8_t kSetObdActionMaskWord = 168;  // wordArg low byte = word index 0/1
inline constexpr uint8_t kRequestObdActionMaskWord = 169;
inline constexpr uint8_t kSetAirUnitMask = 170;  // longArg = mask
inline constexpr uint8_t kRequestAirUnitMask = 171;
inline constexpr uint8_t kParameterWrite = 172;  // bytes 0-1 parameter number, value from 2
inline constexpr uint8_t kParameterRead = 173;   // bytes 0-1 readout number

// --- Status pages ---
inline constexpr uint8_t kAllPages = 200;  // pages 201 to 212 in one telegram
inline constexpr uint8_t kPage201 = 201;   // component OBD states
inline constexpr uint8_t kPage202 = 202;   // not decoded, accepted only
inline constexpr uint8_t kPage203 = 203;   // identity and calibration
inline constexpr uint8_t kPage204 = 204;   // installation, application type, software version
inline constexpr uint8_t kPage205 = 205;   // flow and pump state
inline constexpr uint8_t kPage206 = 206;   // counters and extremes
inline constexpr uint8_t kPage207 = 207;   // digital inputs and outputs
inline constexpr uint8_t kPage208 = 208;   // torque limiter causes
inline constexpr uint8_t kPage209 = 209;   // upstream NOx sensor
inline constexpr uint8_t kPage210 = 210;   // downstream NOx sensor
inline constexpr uint8_t kPage211 = 211;   // analog values and alarm
inline constexpr uint8_t kPage212 = 212;   // conversion ratio settings
inline constexpr uint8_t kPage216 = 216;   // installer settings block; never part of reply 200
inline constexpr uint8_t kFirstPage = kPage201;
inline constexpr uint8_t kLastAllPagesPage = kPage212;

// --- Refusals ---
inline constexpr uint8_t kNotSupported = 254;  // longArg low byte = the refused code
inline constexpr uint8_t kNotAcknowledged = 255;

}  // namespace service_code

// Fixed arguments of some codes.
namespace service_arg {
inline constexpr uint8_t kFinalTest = 0;       // reply 1 byteArg
inline constexpr uint8_t kCustomerAccess = 1;  // reply 1 byteArg
inline constexpr uint8_t kValveClosed = 0;     // command 13 byteArg; any nonzero reply = open
inline constexpr uint8_t kValveOpen = 1;
inline constexpr uint8_t kHeaterTestBegin = 0;  // command 101 byteArg
inline constexpr uint8_t kHeaterTestEnd = 1;
inline constexpr uint8_t kEepromWordValid = 1;        // reply 146 byteArg
inline constexpr uint32_t kDiagnosticClearArg = 128;  // reply 148 longArg
inline constexpr uint8_t kDm1Enabled = 1;             // commands/replies 166, 167 byteArg
inline constexpr uint8_t kDm1Disabled = 0;
inline constexpr uint32_t kCalibrationFlow = 600000;  // flow echo of a user calibration run
// Status-page requests carry the poll lane in the low byte of longArg.
inline constexpr uint32_t kFirstPollLane = 0;
inline constexpr uint32_t kSecondPollLane = 1;
}  // namespace service_arg

// Telegram lengths in bytes, header included.
namespace service_length {
inline constexpr std::size_t kShortTelegram = 8;     // every command unless listed here
inline constexpr std::size_t kConfigOldLayout = 55;  // command and echo 147
inline constexpr std::size_t kConfigNewLayout = 74;  // command and echo 163
inline constexpr std::size_t kMiMasks = 16;          // command and echo 164
inline constexpr std::size_t kAllPagesReply = 247;   // reply 200, the longest reply
inline constexpr std::size_t kWorkingCopy = 251;     // the decoder looks at no more than this
}  // namespace service_length
