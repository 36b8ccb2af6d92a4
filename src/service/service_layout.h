#pragma once
// The numbers of the service family in one place: timer periods, the flow trackbar, the press-and-
// hold output bytes, the user calibration's run and mass range, the purge's count-down and the
// EEPROM read-out.

#include <cstdint>

namespace service_timing {
inline constexpr int kFlowMonitorMs = 500;
inline constexpr int kValveTestMs = 1000;
inline constexpr int kHeaterTestMs = 1500;
inline constexpr int kLampTestMs = 1200;
inline constexpr int kCalibrationTickMs = 1000;
inline constexpr int kPurgeStartMs = 10;
inline constexpr int kPurgeTickMs = 1000;
inline constexpr int kEepromWatchMs = 100;
}  // namespace service_timing

namespace flow_test {
// The trackbar counts in 0.1 ml/h; code 5 carries 0.01 ml/h.
inline constexpr int kTrackbarMin = 75;
inline constexpr int kTrackbarMax = 75000;
inline constexpr int kTrackbarPage = 100;
inline constexpr int kTrackbarTicks = 5000;
inline constexpr uint32_t kTrackbarToFlow = 10;
// The flow the monitor has applied before the first test: no trackbar position gives it.
inline constexpr uint32_t kNoFlowApplied = 1;
// Monitor ticks in SettingFlow without the flow echo before the test counts as running.
inline constexpr int kFlowEchoWaitTicks = 3;
// Valve commands sent again for a valve that keeps answering the wrong state, before the test
// is given up.
inline constexpr int kValveRetryLimit = 3;
}  // namespace flow_test

namespace output_test {
// Bytes of the heater (102) and lamp (103) commands.
inline constexpr uint8_t kOff = 0;
inline constexpr uint8_t kOn = 1;
inline constexpr uint8_t kNotAddressed = 2;
inline constexpr int kLampBytes = 4;  // MI lamp, urea lamp, two further lamp outputs
inline constexpr int kMiLamp = 0;
inline constexpr int kUreaLamp = 1;
inline constexpr uint8_t kHeaterNone = 2;  // heaterUnderTest before the first heater test
inline constexpr uint8_t kTankHeater = 0;
inline constexpr uint8_t kLineHeater = 1;
}  // namespace output_test

namespace user_calibration_run {
inline constexpr int kRunSeconds = 600;
inline constexpr int kMinMassGrams = 500;
inline constexpr int kMaxMassGrams = 2047;
inline constexpr const char* kDefaultMass = "1000";
inline constexpr int kInvalidMassMessage = 17;
}  // namespace user_calibration_run

namespace purge {
// -1: started, the window not shown yet; then the seconds left.
inline constexpr int kNotShown = -1;
inline constexpr int kFirstCount = 29;
inline constexpr int kShownSeconds = 30;
}  // namespace purge

namespace eeprom_readout {
inline constexpr const char* kLogFolder = "log";
inline constexpr const char* kDumpFileName = "eepromdata.csv";
inline constexpr const char* kDefaultSuffix = "csv";
inline constexpr const char* kFilter =
    "Comma separated file (*.csv);;Text Files (*.txt);;All files (*.*)";
}  // namespace eeprom_readout

// Operator messages the family raises.
namespace service_message {
inline constexpr int kValueNotDownloaded = 4;
}  // namespace service_message
