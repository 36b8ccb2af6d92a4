#pragma once
// The installer window's parameter controls as data: one row per parameter with its caption, the
// object names of its controls, its range, scaling, operator message, combo items and starting
// value, and the identifier it travels under in a parameter write. The window builds its rows
// from kInstallerControls; the validation of a download reads the same ranges, and the decoders of
// the pump's read-backs read the same combo items, so a caption, a range and an item text exist
// exactly once.
//
// The enable rules (which controls a combo box switches on and off, and the forcing of the engine
// speed setting by the torque limiter output) are pure functions over combo indexes, so the
// window only applies what they return.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pump/installer_layout.h"
#include "pump/number_format.h"
#include "pump/status_pages.h"

// --- The range table: every accepted range, in one table, in this order ---
enum class InstallerRange : uint8_t {
    MafFactor,
    Dashboard,
    HeaterUpperLimit,
    HeaterLowerLimit,
    HeaterDefreezeLimit,
    ConversionRatioReduced,
    ConversionRatioThreshold,
    AveragingPeriod,
    ConversionGain,
    BlockedNozzleRestart,
    CatalystVolume,
    CatalystLength,
    EcmCanAddress,
    MinimumMaf,
    LevelLowLimit,
    LevelEmptyLimit,
    ValveOpenTime,
    ValveCloseTime,
    PurgeSequences,
    IdleThreshold,
    Divider,
    UreaTankTemperature,
};
inline constexpr std::size_t kInstallerRangeCount = 22;

// Inclusive at both ends, in the units the check compares: a decimal parameter's range holds the
// scaled count (catalyst volume 50..5000 is 5.0..500.0 l).
struct IntegerRange {
    int32_t minimum;
    int32_t maximum;
    constexpr bool holds(int64_t value) const { return value >= minimum && value <= maximum; }
};
inline constexpr std::array<IntegerRange, kInstallerRangeCount> kInstallerRanges = {{
    {50, 3000},     // MAF factor
    {0, 10000000},  // dashboard
    {-40, 40},      // heater upper limit
    {-40, 40},      // heater lower limit
    {-40, 40},      // heater defreeze limit
    {1, 1000},      // conversion ratio reduced x 100
    {1, 1000},      // conversion ratio threshold x 100
    {1, 100},       // averaging period
    {1000, 20000},  // conversion gain x 10000
    {0, 255},       // blocked-nozzle restart
    {50, 5000},     // catalyst volume x 10
    {500, 7500},    // catalyst length x 10
    {0, 253},       // ECM CAN address
    {10, 500},      // minimum MAF
    {46, 24000},    // level-sensor low limit, ohm
    {46, 24000},    // level-sensor empty limit, ohm
    {1, 100},       // valve open time
    {0, 100},       // valve close time
    {1, 100},       // purge sequences
    {10, 1000},     // idle threshold, rpm
    {30, 3000},     // divider
    {-40, 120},     // urea tank temperatures
}};
constexpr const IntegerRange& rangeOf(InstallerRange range) {
    return kInstallerRanges[static_cast<std::size_t>(range)];
}

// --- Where a control sits: the window's containers ---
enum class InstallerGroup : uint8_t {
    Setup,                        // tsZovar, always checked
    ExtHeaterConfig,              // pExtHeaterConfig on the Setup page
    ExtendedConfig,               // gbExtendedConfig
    UreaTankTemperatureSettings,  // pUreaTankTemperatureSettings in gbExtendedConfig
    UreaTempLimits,               // gbUreaTempLimits in pUreaTankTemperatureSettings
    MonitorExtHeaters,            // gbMonitorExtHeaters in gbExtendedConfig
};
struct InstallerContainer {
    InstallerGroup group;
    const char* objectName;
    std::string_view caption;  // empty for a panel without a caption
    InstallerGroup parent;
};
inline constexpr std::array<InstallerContainer, 6> kInstallerContainers = {{
    {InstallerGroup::Setup, "tsZovar", "Setup", InstallerGroup::Setup},
    {InstallerGroup::ExtHeaterConfig, "pExtHeaterConfig", "", InstallerGroup::Setup},
    {InstallerGroup::ExtendedConfig, "gbExtendedConfig",
     "Extended configuration parameters - not applicable for all applications",
     InstallerGroup::Setup},
    {InstallerGroup::UreaTankTemperatureSettings, "pUreaTankTemperatureSettings", "",
     InstallerGroup::ExtendedConfig},
    {InstallerGroup::UreaTempLimits, "gbUreaTempLimits", "Urea tank temperature limits",
     InstallerGroup::UreaTankTemperatureSettings},
    {InstallerGroup::MonitorExtHeaters, "gbMonitorExtHeaters", "Monitor external heaters",
     InstallerGroup::ExtendedConfig},
}};
const InstallerContainer& containerOf(InstallerGroup group);

// --- Combo box items ---
namespace installer_items {
inline constexpr std::array<std::string_view, 2> kDisabledEnabled = {"Disabled", "Enabled"};
inline constexpr std::array<std::string_view, 2> kDownstreamNox = {"Bypass OBD", "Normal OBD"};
inline constexpr std::array<std::string_view, 2> kTlOutput = {"Disabled", "Normal TL"};
inline constexpr std::array<std::string_view, 3> kEngineSpeed = {"Disabled", "From sensor",
                                                                 "From ECM"};
inline constexpr std::array<std::string_view, 2> kMafSignal = {"From sensor", "From ECM"};
inline constexpr std::array<std::string_view, 2> kEnabledDisabled = {"Enabled", "Disabled"};
inline constexpr std::array<std::string_view, 3> kUreaTankTempSensor = {"Disabled", "NTC 3k3",
                                                                        "NTC 1k0"};
inline constexpr std::array<std::string_view, 3> kLevelSensor = {"Disabled", "Digital", "Analouge"};
inline constexpr std::array<std::string_view, 2> kRepeatingPrime = {"Repeating", "One try"};
inline constexpr std::array<std::string_view, 3> kUdsSurveillance = {"Disabled", "Normal",
                                                                     "OBD only"};
inline constexpr std::array<std::string_view, 2> kNoYes = {"NO", "YES"};
}  // namespace installer_items

// Indexes the rules and the download test for.
namespace installer_index {
inline constexpr int kNone = -1;  // a combo box with nothing selected
inline constexpr int kHeaterDisabled = 0;
inline constexpr int kConversionRatioDisabled = 1;
inline constexpr int kMafFromSensor = 0;
inline constexpr int kLevelSensorAnalogue = 2;
inline constexpr int kTlDisabled = 0;
inline constexpr int kTlNormal = 1;
inline constexpr int kEngineSpeedDisabled = 0;
inline constexpr int kEngineSpeedFromSensor = 1;
inline constexpr int kUreaObdEnabled = 1;
}  // namespace installer_index

// --- The parameter rows ---
enum class ControlKind : uint8_t { Edit, Combo, DatePicker };
// How an edit's text is read: as decimal integer text, or as floating-point text with the
// operator's decimal separator whose scaled count round(x * scale) is checked and sent.
enum class EditValue : uint8_t { None, Text, Integer, Decimal };

struct InstallerControl {
    std::string_view caption;
    const char* control;      // the new-value control
    const char* actualValue;  // the "Actual value" label
    ControlKind kind;
    InstallerGroup group;
    EditValue value = EditValue::None;
    std::optional<InstallerRange> range;  // nothing: not checked
    int scale = 1;                        // decimals: the count is round(x * scale)
    int message = 0;                      // operator message of a failed check, 0 none
    std::span<const std::string_view> items;
    int startIndex = installer_index::kNone;  // combo boxes
    std::string_view startText;               // edits
    std::size_t maxLength = 0;                // edits, 0 = no limit
    // The text beside the edit: fixed, or generated from the range table (see rangeCaptions()).
    std::string_view fixedRangeCaption;
    const char* rangeCaption = nullptr;  // object name of the range caption label, where named
    double captionFactor = 1.0;          // generated captions: range x factor ...
    int captionDecimals = 0;             // ... with this many decimals
    int paramId = -1;                    // parameter_id, -1 for none
    // The row's caption labels where the enable rules name them.
    const char* captionLabel = nullptr;
    const char* actualCaptionLabel = nullptr;  // "Actual value"
    const char* newCaptionLabel = nullptr;     // "New value"
};

extern const std::array<InstallerControl, 40> kInstallerControls;

// The row of a new-value control or of an actual-value label; nullptr for any other name.
const InstallerControl* findInstallerControl(std::string_view objectName);

// The combo box's item at index; nothing for an index it does not hold.
std::optional<std::string_view> comboItem(std::string_view comboName, long long index);
// The item text, or "Invalid value: n" for an index past the items (never an item of its own).
std::string comboItemText(std::string_view comboName, long long index);
// A combo index that names an item of that combo box.
bool holdsItem(std::string_view comboName, long long index);

// --- Generated range captions ---
struct RangeCaption {
    const char* objectName;
    std::string text;
};
// "(" + minimum + ".." + maximum + ")" from the range table, scaled and with the operator's
// decimal separator: (50..3000), (0.01..10.00), (0.01..10.00), (1..100), (0.10..2.00), (0..255)
// with a point; (0,10..2,00) for the gain with a comma.
std::vector<RangeCaption> rangeCaptions(const DisplayFormat& format = DisplayFormat::system());
// The caption beside one row's edit: its generated or fixed text, empty where it has none.
std::string rangeCaptionText(const InstallerControl& row,
                             const DisplayFormat& format = DisplayFormat::system());

// --- Enable rules ---
// What one rule changes. Labels are part of the blocks, so a disabled block is drawn greyed.
struct EnableChange {
    std::vector<WidgetFlag> controls;    // these widgets
    std::vector<WidgetFlag> containers;  // every control inside these containers
    // Information messages (one "OK" button), shown in this order before the selection below.
    std::vector<std::string> messages;
    std::optional<int> engineSpeedSelection;  // cbEngineSpeedSetup set to this index
    // gbMonitorExtHeaters' font colour: navy (true) or the system's grey-text colour (false).
    std::optional<bool> heaterGroupNavy;
};

// The blocks the rules switch, as the rows name them.
std::vector<const char*> conversionRatioBlock();  // 18 controls
std::vector<const char*> mafFactorBlock();        // 6
std::vector<const char*> levelLimitBlock();       // 12
std::vector<const char*> engineSpeedBlock();      // 5

// cbConversionRatioSelection: "Disabled" disables its block, any other index enables it.
EnableChange conversionRatioRule(int selection);
// cbMAFsignalSetup: "From sensor" enables the MAF factor, any other index disables it.
EnableChange mafSignalRule(int selection);
// cbUreaTankLevelSensorSetup: "Analouge" enables the two limits, any other index disables them.
EnableChange levelSensorRule(int selection);
// cbTLoutputSetup: "Normal TL" enables the engine speed setting and forces it from "Disabled" to
// "From sensor" with a message; "Disabled" forces the engine speed to "Disabled" with another.
EnableChange tlOutputRule(int tlSelection, int engineSpeedSelection);
// cbExternalHeaterSelection (also run by the first page 204 of a run).
EnableChange externalHeaterRule(int heaterSelection, int ureaTankTemperatureObdSelection);
// cbUreaTankTemperatureOBD and the two monitor combo boxes: "Enabled" enables the four limits.
EnableChange ureaTankTemperatureObdRule(int obdSelection);

namespace installer_text {
inline constexpr std::string_view kWindowCaption = "Configure System";
inline constexpr std::string_view kDownloadButton = "&Download  new installation data";
inline constexpr std::string_view kUserCalibrationButton = "Special user calibration...";
inline constexpr std::string_view kMiTab = "MI configuration";  // tsMIconfig
inline constexpr std::string_view kDmTab = "DM configuration";  // tsDM1config
inline constexpr std::string_view kTlForcesEngineSpeed =
    "When TL is enabled the Engine Speed functionality\nmust be enabled. The setting is now forced "
    "from 'Disabled'\nto 'From Sensor'. If an ECM is intended for this instead,\nplease make sure "
    "to change the Engine Speed setting!";
inline constexpr std::string_view kTlDisablesEngineSpeed =
    "\nBe aware of when 'Disable' TL is chosen,\nthe Engine Speed signal configuration "
    "will\nautomatically be forced to \"Disabled\"!\n";
inline constexpr std::string_view kResetOnClose =
    "The pump is currently in 'Test Mode'.\nPlease note that all automatic SCR\nfunctionality is "
    "disabled in 'Test Mode'.\n\nShall the pump be reset to       \n'Automatic SCR functionality'?";
inline constexpr std::string_view kEndNozzleFlowTest = "Do you want to end nozzle flow test?";
inline constexpr std::string_view kEndReturnLineFlowTest =
    "Do you want to end return line flow test?";
}  // namespace installer_text

// Closing the window while the pump is in test mode asks whether to reset it ("Yes": resetPump);
// nothing to ask in normal mode. The window closes either way.
std::optional<std::string_view> closeQuestion(uint8_t testModeLevel);
// "Special user calibration...": nothing to ask while no flow test runs (the calibration window
// opens at once); otherwise the question whose "Yes" stops the pump before it opens.
std::optional<std::string_view> userCalibrationQuestion(bool flowTestIdle,
                                                        bool nozzleFlowTestActive);
