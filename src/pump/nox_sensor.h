#pragma once
// The NOx sensor monitor without its window: the two sensors' own gas messages and the pump's
// records of what it made of them (pages 209 and 210) turned into the texts of the four sensor
// data frames and the side labels, the rule which messages are our sensors', and the per-sensor
// watchdog and indicator.
//
// A window shows a result like this:
//
//     if (auto m = decodeSensorMessage(data, format)) {
//         watch[side].onMessage();
//         const NoxSideNames& n = noxSideNames(side);
//         for (const NamedText& t : frameLabels(m->frame)) frame(n.sensorFrame)->set(t);
//         label(n.sensorNoxPpm)->setText(m->noxPpm);
//         label(n.sensorO2Percent)->setText(m->o2Percent);
//     }

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pump/indicator_state.h"
#include "pump/number_format.h"

enum class NoxSide { Upstream, Downstream };
const char* toString(NoxSide side);

// A read-out by object name and its new text.
struct NamedText {
    const char* objectName;
    std::string text;
};

namespace nox_texts {
// The hidden drop-down lists of the window carry these items; the decoding reads the same texts.
using StatusList = std::array<std::string_view, 4>;
inline constexpr StatusList SensorSupplyTexts = {"not in range", "in range", "error",
                                                 "not available"};
inline constexpr StatusList SensorTemperatureTexts = {
    "not at temperature", "at operating temperature", "error", "not available"};
// NOx signal and oxygen signal.
inline constexpr StatusList SignalTexts = {"not valid", "valid", "error", "not available"};
inline constexpr StatusList HeaterModeTexts = {"automatic mode", "heatup slope 3 or 4",
                                               "heatup slope 1 or 2", "off / preheating mode"};
// FMI 3, 5 and 31, in this order.
inline constexpr std::array<std::string_view, 3> FmiErrorTexts = {"short circuit", "open wire",
                                                                  "no error"};

// One hidden list: its combo box and its items, in the group that holds it.
struct HiddenList {
    const char* group;  // "Status" or "Error"
    const char* comboName;
    std::span<const std::string_view> items;
};
inline constexpr std::array<HiddenList, 8> kHiddenLists = {{
    {"Status", "cbNOxStatusSensorSupply", SensorSupplyTexts},
    {"Status", "cbNOxStatusNOxSignal", SignalTexts},
    {"Status", "cbNOxStatusOxSignal", SignalTexts},
    {"Status", "cbNOxStatusSensorTemperature", SensorTemperatureTexts},
    {"Status", "cbHeaterModeStatus", HeaterModeTexts},
    {"Error", "cbHeaterError", FmiErrorTexts},
    {"Error", "cbNOxError", FmiErrorTexts},
    {"Error", "cbOxError", FmiErrorTexts},
}};

// The text of a five-bit FMI: its entry for 3, 5 and 31, "Invalid value: n" for every other.
std::string fmiText(uint8_t fmi);
}  // namespace nox_texts

// The read-outs of one sensor data frame (`TfNOxData`), in the order the frame shows them.
struct NoxFrameTexts {
    std::string noxValue;           // lNOxValue, the raw NOx
    std::string o2;                 // lO2, the raw O2
    std::string sensorSupply;       // lNOxStatusSensorSupply
    std::string noxSignal;          // lNOxStatusNOxSignal
    std::string oxygenSignal;       // lNOxStatusOxygenSignal
    std::string sensorTemperature;  // lNOxStatusSensorTemperature
    std::string heaterMode;         // lStatusHeaterMode
    std::string noxError;           // lNOxError
    std::string o2Error;            // lOxError
    std::string heaterError;        // lHeaterError
};

namespace nox_frame {
// A frame's read-outs: object name and caption, in the order of NoxFrameTexts. Each shows "0" when
// the window is built and "?" after its sensor's watchdog expired (and, for the pump frames, after
// a display clear).
struct Readout {
    const char* objectName;
    const char* caption;
    const char* group;  // "" for the frame itself, or its "Status" or "FMI errors" group
};
inline constexpr std::array<Readout, 10> kReadouts = {{
    {"lNOxValue", "NOx consentration [raw]", ""},
    {"lO2", "Oxidation factor [raw]", ""},
    {"lNOxStatusSensorSupply", "Sensor supply", "Status"},
    {"lNOxStatusNOxSignal", "NOx-signal", "Status"},
    {"lNOxStatusOxygenSignal", "Oxygen-signal", "Status"},
    {"lNOxStatusSensorTemperature", "Sensor temperature", "Status"},
    {"lStatusHeaterMode", "Status Heater Mode", "Status"},
    {"lNOxError", "NOx error", "FMI errors"},
    {"lOxError", "O2 error", "FMI errors"},
    {"lHeaterError", "Heater error", "FMI errors"},
}};
inline constexpr const char* kDesignText = "0";
inline constexpr const char* kUnknownText = "?";
}  // namespace nox_frame

// The texts paired with their object names, for a loop over the frame's labels.
std::array<NamedText, 10> frameLabels(const NoxFrameTexts& texts);

// Every control of one side of the window by name.
struct NoxSideNames {
    const char* sensorFrame;          // frUpstreamSensorData
    const char* sensorFrameCaption;   // "Upstream sensor data"
    const char* pumpFrame;            // frUpstreamDataFromPump
    const char* pumpFrameCaption;     // "Upstream pump data"
    const char* sensorNoxPpm;         // lNOxppmUpstreamSensor
    const char* sensorNoxPpmCaption;  // "Upstream nox [ppm]"
    const char* sensorO2Percent;      // lO2percentUpstreamSensor
    const char* sensorO2PercentCaption;
    const char* pumpNoxPpm;  // lNOxppmUpstreamPump
    const char* pumpNoxPpmCaption;
    const char* pumpO2Percent;  // lO2percentUpstreamPump
    const char* pumpO2PercentCaption;
    const char* pumpO2Lin;  // lO2linUpstreamPump
    const char* pumpO2LinCaption;
    const char* mainWindowNox;         // lNOxUp in the main window
    const char* mainWindowNoxCaption;  // "Upstream NOx [ppm]"
    const char* indicator;             // shUpstreamConnected
    const char* indicatorCaption;      // "Upstream sensor communication:"
    const char* watchdog;              // tmrUpstreamNOxSensorWatchdog
};
const NoxSideNames& noxSideNames(NoxSide side);

// Which sensor a received message is: the intake gas group from address 81 is the upstream
// sensor, the outlet gas group from 82 the downstream one. Anything else (other nodes of the
// vehicle send the same groups) is no sensor of ours.
std::optional<NoxSide> sensorSideOf(uint32_t pgn, uint8_t sourceAddress);
// Which sensor an Address Claimed comes from: 81 upstream, 82 downstream.
std::optional<NoxSide> sensorSideOfAddress(uint8_t sourceAddress);

// The conversions of the sensor message.
// NOx [ppm] = raw * 0.05 - 200, truncated toward zero (3999 and 4001 both give 0).
int32_t noxPpmFromRaw(uint16_t raw);
// O2 [%] = raw * 0.000514 - 12 with two decimals, computed exactly (raw 0 gives -12.00).
std::string o2PercentText(uint16_t raw, const DisplayFormat& format);

// The 8 bytes of a sensor message decoded into a frame's texts.
NoxFrameTexts decodeNoxFrame(std::span<const uint8_t, 8> message);

// A sensor's own message: the frame and the two side labels. Nothing for a message of fewer than
// 8 bytes (no such message comes from a working sensor, so it does not restart the watchdog
// either); bytes past 8 are ignored.
struct SensorMessageTexts {
    NoxFrameTexts frame;
    std::string noxPpm;     // lNOxppm...Sensor, signed integer
    std::string o2Percent;  // lO2percent...Sensor, fixed 2
};
std::optional<SensorMessageTexts> decodeSensorMessage(std::span<const uint8_t> message,
                                                      const DisplayFormat& format);

// A pump record of page 209 or 210 (or the same record inside reply 200). A short record decodes
// only the fields it holds whole; the others stay empty and keep their labels' last texts.
struct PumpSensorRecordTexts {
    std::optional<NoxFrameTexts> frame;    // bytes 8-15, the pump frame
    std::optional<std::string> noxPpm;     // lNOxppm...Pump and the main window's lNOxUp/lNOxDown
    std::optional<std::string> o2Lin;      // lO2lin...Pump
    std::optional<std::string> o2Percent;  // lO2percent...Pump, fixed 2 of 7 significant digits
    bool complete = false;
};
PumpSensorRecordTexts decodePumpSensorRecord(std::span<const uint8_t> record,
                                             const DisplayFormat& format);

// Fixed-point text of a value first rounded to `precision` significant digits, with exactly
// `decimals` decimals; a value whose integer part needs more digits than that is written as
// mantissa and exponent ("1.234568E+07"). Not-a-number and infinities show "NAN", "INF", "-INF".
// The decimal figure of the significant digits is rounded, half away from zero (21.685 has the
// digits 2168500 and shows 21.69). Precision 1 to 15, decimals 0 to 3.
std::string formatFixedSignificant(double value, int precision, int decimals,
                                   const DisplayFormat& format);

// The supervision of one sensor: its watchdog and its indicator. At start-up the watchdog runs
// with 1 ms, so both sides show "?" at once; every expiry stops it and sets 1000 ms for the next
// run; a message restarts it. Only the sensor's address claim turns the indicator green, only an
// expiry red. Drive it by the window's timer (onExpiry) or by a fake clock (advance).
class NoxSensorWatch {
  public:
    static constexpr uint32_t kFirstIntervalMs = 1;
    static constexpr uint32_t kIntervalMs = 1000;

    // A message of this sensor arrived: the watchdog starts again with its current interval.
    void onMessage();
    // The sensor claimed its address.
    void onAddressClaim() { indicator_ = IndicatorState::Green; }
    // The watchdog fired: the window sets the frame's read-outs and the two sensor labels to "?".
    void onExpiry();
    // Moves the clock on; true when the watchdog expired within (onExpiry has then been done).
    bool advance(uint32_t ms);

    bool running() const { return running_; }
    uint32_t intervalMs() const { return intervalMs_; }
    IndicatorState indicator() const { return indicator_; }

  private:
    bool running_ = true;
    uint32_t intervalMs_ = kFirstIntervalMs;
    uint64_t elapsedMs_ = 0;
    IndicatorState indicator_ = IndicatorState::Red;
};
