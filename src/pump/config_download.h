#pragma once
// The configuration download: what the installer window's controls hold goes in, is checked in
// the one order the operator messages follow, is converted with the operator's decimal separator
// and comes out as the telegrams of the generation the pump's software calls for: one 55-byte
// image (code 147, up to 0.05), one 74-byte image and up to two parameter writes (code 163, up to
// 0.10), or one parameter write per setting (code 172).
//
// Nothing invented ever reaches the pump. A setting whose present value the tool has not
// received and that the installer has not set (a combo box with nothing selected, an empty or
// unreadable edit) refuses a download that must carry it, with a message naming it; a sequence of
// parameter writes leaves such a setting out, so the pump keeps what it has.
//
// The window's part, in order: show kTestModeWarning; validate (a failure shows its operator
// message and focuses its control); ask the overwrite questions; build the telegrams for the
// layout; then enterTestMode, queue them, set the status line to "-", and for a sequence of writes
// take over its bookkeeping. All telegrams are built before the first is queued, so the transmit
// timer never sees half a sequence, whatever question is open.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "pump/installer_controls.h"
#include "pump/installer_layout.h"
#include "pump/installer_parameters.h"
#include "pump/installer_values.h"
#include "pump/number_format.h"
#include "pump/software_version.h"

// What the controls hold: edit texts as typed, combo indexes (installer_index::kNone when nothing
// is selected), the date picker's date, the enabled state the enable rules left the edits in, and
// the visibility of the groups that decide what is checked and sent.
struct ConfigurationInput {
    // --- Setup page ---
    std::string vin;                         // eVIN, as bytes (Latin-1)
    InstallDate installDate;                 // dtpZovar_InstallDate
    std::string dashboard;                   // eZovar_Dashboard
    std::string blockedNozzleRestart;        // eZovar_BlockedNozzleSetupRestart
    int externalHeater = 0;                  // cbExternalHeaterSelection
    std::string heaterUpperLimit = "5";      // eZovar_TankUpper
    std::string heaterLowerLimit = "0";      // eZovar_TankLower
    std::string heaterDefreezeLimit = "-5";  // eExtHeaterConfig_Defreeze
    std::string catalystVolume;              // eZovar_CatalystVolume, decimal
    std::string catalystLength;              // eZovar_CatalystLength, decimal
    std::string conversionGain;              // eZovar_ConversionGain, decimal
    std::string mafFactor;                   // eZovar_MafFactor
    std::string conversionRatioReduced;      // eZovar_ConversionRatioReduced, decimal
    std::string conversionRatioThreshold;    // eZovar_ConversionRatioThreshold, decimal
    std::string averagingPeriod;             // eZovar_ConversionRatioAvaragePeriod
    bool heaterLimitsEnabled = false;        // pExtHeaterConfig's edits
    bool mafFactorEnabled = true;            // eZovar_MafFactor
    bool conversionRatioEnabled = true;      // eZovar_ConversionRatioReduced and the two below it

    // --- gbExtendedConfig ---
    int downstreamNox = installer_index::kNone;             // cbDownstreamNOxSelection
    int tlOutput = installer_index::kNone;                  // cbTLoutputSetup
    int engineSpeed = installer_index::kNone;               // cbEngineSpeedSetup
    int mafSignal = installer_index::kNone;                 // cbMAFsignalSetup
    std::string ecmCanAddress;                              // eECMcanAdrConfiguration
    int conversionRatioSelection = installer_index::kNone;  // cbConversionRatioSelection
    std::string minimumMaf;                                 // eMAFatIdleSpeed
    std::string idleThreshold;                              // eEngineSpeedIdleThr, rpm
    std::string divider;                                    // eAlt2EngineSpeedSignalRatio
    int ureaTankTempSensor = installer_index::kNone;        // cbUreaTankTempSetup
    int levelSensor = installer_index::kNone;               // cbUreaTankLevelSensorSetup
    std::string levelLowLimit;                              // eLevelSensor_LowLimit_NewValue, ohm
    std::string levelEmptyLimit;                            // eLevelSensor_EmptyLimit_NewValue
    bool levelLimitsEnabled = true;
    int repeatingPrime = installer_index::kNone;          // cbRepeatingPrimeSeq_NewValue
    std::string valveOpenTime;                            // eValveOpenTimeAtPurge_Value
    std::string valveCloseTime;                           // eValveCloseTimeAtPurge_Value
    std::string purgeSequences;                           // eNoOfRepAtPurge_Value
    int udsSurveillance = installer_index::kNone;         // cbUDSsurveillanceAtPin32
    int ureaTankTemperatureObd = installer_index::kNone;  // cbUreaTankTemperatureOBD
    std::string ureaHighStop;                             // eUreaTankMaxStop
    std::string ureaHighRestart;                          // eUreaTankMaxRestart
    std::string ureaLowStop;                              // eUreaTankMinStop
    std::string ureaLowRestart;                           // eUreaTankMinRestart
    int monitorTankHeater = 1;                            // cbMonitorTankHeater
    int monitorLineHeater = 1;                            // cbMonitorLineHeater

    // --- The pump's present values, as the actual-value labels show them ("?" before) ---
    // Sent where a setting is switched off and its new values are not (the level limits of a
    // sensor that is not analogue, a disabled heater's limits, ...), so that the pump keeps them.
    std::string heaterUpperLimitActual = "?";          // lTankUpperLimit
    std::string heaterLowerLimitActual = "?";          // lTankLowerLimit
    std::string heaterDefreezeLimitActual = "?";       // lExtHeater_DefreezeLimit_Value
    std::string mafFactorActual = "?";                 // lMafFactor
    std::string conversionRatioReducedActual = "?";    // lConversionRatioReduced, decimal
    std::string conversionRatioThresholdActual = "?";  // lConversionRatioThreshold, decimal
    std::string averagingPeriodActual = "?";           // lConversionRatioAvaragePeriod
    std::string levelLowLimitActual = "?";             // lLevelSensor_LowLimit_Value, ohm
    std::string levelEmptyLimitActual = "?";           // lLevelSensor_EmptyLimit_Value, ohm

    // --- What decides what is checked and sent ---
    bool extendedConfigVisible = false;  // gbExtendedConfig
    bool ureaTankPanelVisible = false;   // pUreaTankTemperatureSettings, as the operator sees it
    PumpSoftwareVersion pumpSoftware;    // `PumpSoftwareVersion`
    // The settings the pump reported whose values can lie past the combo items (the circuit
    // breaker of the torque limiter output): `PumpTlOutputSetup` and `PumpLevelSensorSetup`, or
    // nothing before the pump has reported them. Used only while gbExtendedConfig is hidden and
    // its combo box holds no selection, so a download writes the pump's own setting back.
    std::optional<uint8_t> pumpTlOutputSetup;
    std::optional<uint8_t> pumpLevelSensorSetup;
};

// A failed check: the operator message to show and the control to focus; nothing is sent.
struct ValidationFailure {
    int message = 0;
    const char* focus = nullptr;
    friend bool operator==(const ValidationFailure&, const ValidationFailure&) = default;
};

// The checked and converted configuration. Values a download may need but that are unset or
// unreadable are nothing; the layouts decide what that means.
struct InstallerConfiguration {
    std::string vin;
    InstallDate installDate;
    uint32_t dashboard = 0;
    uint8_t blockedNozzleRestart = 0;
    std::optional<uint8_t> externalHeater;
    std::optional<int8_t> heaterUpperLimit, heaterLowerLimit, heaterDefreezeLimit;
    uint16_t catalystVolume = 0;  // x 10
    uint16_t catalystLength = 0;  // x 10
    uint16_t conversionGain = 0;  // x 10000
    std::optional<uint16_t> mafFactor;
    std::optional<uint16_t> conversionRatioReduced, conversionRatioThreshold;  // x 100
    std::optional<uint8_t> averagingPeriod;
    bool mafFactorEnabled = true;
    bool conversionRatioEnabled = true;

    std::optional<uint8_t> downstreamNox, tlOutput, engineSpeed, mafSignal, ecmCanAddress,
        conversionRatioSelection;
    std::optional<uint16_t> minimumMaf;
    std::optional<double> idleThresholdRpm;  // decimal, for the count
    std::optional<double> dividerValue;      // decimal, for the count
    std::optional<uint16_t> divider;         // integer, sent as such
    std::optional<uint8_t> ureaTankTempSensor, levelSensor;
    std::optional<uint16_t> levelLowCount, levelEmptyCount;  // from the new values
    std::optional<uint8_t> repeatingPrime, valveOpenTime, valveCloseTime, purgeSequencesMinus1,
        udsSurveillance;
    // The pump has urea tank temperature and heater monitoring settings to write: the panel is
    // shown, or the extended group is hidden on a pump of 0.09 or later (its controls then follow
    // the pump). Otherwise their bits go out as 0.
    bool ureaTankSettings = false;
    std::optional<uint8_t> ureaTankTemperatureObd, monitorTankHeater, monitorLineHeater;
    // The panel is shown and its OBD setting is "Enabled": parameter writes 0 and 1 follow.
    bool ureaLimitWrites = false;
    std::optional<int8_t> ureaHighStop, ureaHighRestart, ureaLowStop, ureaLowRestart;
    PumpSoftwareVersion pumpSoftware;

    // What the pump holds now, where its labels say so.
    struct Present {
        std::optional<int8_t> heaterUpperLimit, heaterLowerLimit, heaterDefreezeLimit;
        std::optional<uint16_t> mafFactor, conversionRatioReduced, conversionRatioThreshold;
        std::optional<uint8_t> averagingPeriod;
        std::optional<uint16_t> levelLowCount, levelEmptyCount;
    } present;
};

using ValidationResult = std::variant<ValidationFailure, InstallerConfiguration>;

// The checks in their order, stopping at the first failure (operator messages 8-15, 25-40):
//  1. VIN not empty, at most 21 printable ASCII characters (25)
//  2. dashboard (12), blocked-nozzle restart (29)
//  3. heater upper, lower, defreeze limits while enabled (13, 14, 15)
//  4. catalyst volume (9), length (10), conversion gain (11)
//  5. MAF factor while enabled (8); conversion ratio reduced, threshold, period while enabled
//     (26, 27, 28)
//  6. with gbExtendedConfig hidden: done
//  7. downstream NOx, torque limiter output, engine speed, MAF signal selected (37)
//  8. ECM CAN address (30); conversion ratio configuration selected (37); minimum MAF (31);
//     idle threshold (38); divider (39)
//  9. urea tank temperature sensor and level sensor selected (37); low and empty limit while
//     enabled (32, 33)
// 10. repeating prime selected (37); valve open (34) and close time (35), purge sequences (36)
// 11. urea tank temperature OBD selected, while its panel is shown; UDS surveillance selected (37)
// 12. with the panel shown and its OBD "Enabled": the four urea tank temperatures (40)
ValidationResult validateConfiguration(const ConfigurationInput& input,
                                       const DisplayFormat& format = DisplayFormat::system());

// --- Layout by software version ---
enum class ConfigurationLayout : uint8_t { Old147, New163, ParameterWrites172 };
const char* toString(ConfigurationLayout layout);
ConfigurationLayout layoutFor(const PumpSoftwareVersion& version);

// --- Overwrite questions ---
// A value the pump has reported is overwritten only on "Yes"; one it has not reported is written
// without asking.
enum class OverwriteQuestion : uint8_t { InstallDate, Dashboard };
std::string_view questionText(OverwriteQuestion question);
// The questions to ask, in this order (warning icon, "Yes" and "No").
std::vector<OverwriteQuestion> overwriteQuestions(bool installDateKnown, bool dashboardKnown);

// What the answers change: in images 147 and 163 the write flag of the field (1 write, 0 keep the
// pump's; the field itself still carries the picker's date and the typed dashboard value); in a
// sequence of writes whether identifiers 16 and 17 are sent at all.
struct OverwriteAnswers {
    bool writeInstallDate = true;
    bool writeDashboard = true;
    friend bool operator==(const OverwriteAnswers&, const OverwriteAnswers&) = default;
};
// Asks each question that applies through askYesNo (true = "Yes").
OverwriteAnswers askOverwriteQuestions(bool installDateKnown, bool dashboardKnown,
                                       const std::function<bool(OverwriteQuestion)>& askYesNo);

// --- Telegrams ---
// A download that cannot go out because a value it must carry is missing; nothing was queued.
struct DownloadRefusal {
    std::string text;             // shown to the operator in an error box
    const char* focus = nullptr;  // the control that holds (or should hold) the value
};

using Config147Telegram = std::array<uint8_t, config147::kSize>;
using Config163Telegram = std::array<uint8_t, config163::kSize>;

// Image 147.
std::variant<DownloadRefusal, Config147Telegram> encodeConfig147(
    const InstallerConfiguration& config, const OverwriteAnswers& answers);

// Image 163 and the parameter writes behind it. A field written only under a condition carries,
// while the condition is false, the pump's present value where its label shows one, and otherwise
// keeps what the window's buffer (previous: the image built last, zeros at first) held there.
struct Config163Download {
    Config163Telegram telegram{};
    std::vector<ParameterTelegramBytes> parameterWrites;  // 0 then 1, or none
    // With parameter writes the download ends with the echo of the last one: take this over as
    // `LastDownloadId` / `DownloadFailed`, and let the image's echo show no status.
    std::optional<DownloadBookkeeping> bookkeeping;
};
std::variant<DownloadRefusal, Config163Download> encodeConfig163(
    const InstallerConfiguration& config, const OverwriteAnswers& answers,
    const Config163Telegram& previous = {});

// The whole sequence of parameter writes, in the pump's order. A setting with nothing to send is
// left out, so the last identifier is 1 (urea tank limits follow), 14, or the last one present.
struct ParameterSequence {
    std::vector<ParameterTelegramBytes> telegrams;
    DownloadBookkeeping bookkeeping;  // last identifier, failure cleared
};
std::variant<DownloadRefusal, ParameterSequence> buildParameterSequence(
    const InstallerConfiguration& config, const OverwriteAnswers& answers);

namespace download_text {
inline constexpr std::string_view kTestModeWarning =
    "In order to download data\nthe pump will be in 'Test Mode'.\nPlease note that in 'Test "
    "Mode'\nnormal SCR functionality is disabled!   ";
inline constexpr std::string_view kOverwriteInstallDate =
    "Do you want to overwrite installation date?";
inline constexpr std::string_view kOverwriteDashboard = "Do you want to overwrite dashboard?";
inline constexpr std::string_view kQueued = "-";  // the status line after queueing
}  // namespace download_text
