#include "pump/installer_controls.h"

#include "pump/text_tables.h"

namespace items = installer_items;
namespace pid = parameter_id;
using G = InstallerGroup;
using K = ControlKind;
using V = EditValue;
using R = InstallerRange;

namespace {

// One row; the designated fields the rows do not all share default to "not used".
constexpr InstallerControl row(std::string_view caption, const char* control,
                               const char* actualValue, ControlKind kind, InstallerGroup group) {
    InstallerControl c{};
    c.caption = caption;
    c.control = control;
    c.actualValue = actualValue;
    c.kind = kind;
    c.group = group;
    return c;
}

constexpr InstallerControl edit(std::string_view caption, const char* control,
                                const char* actualValue, InstallerGroup group, EditValue value,
                                std::optional<InstallerRange> range, int message, int paramId) {
    InstallerControl c = row(caption, control, actualValue, K::Edit, group);
    c.value = value;
    c.range = range;
    c.message = message;
    c.paramId = paramId;
    return c;
}

constexpr InstallerControl combo(std::string_view caption, const char* control,
                                 const char* actualValue, InstallerGroup group,
                                 std::span<const std::string_view> items, int message,
                                 int paramId) {
    InstallerControl c = row(caption, control, actualValue, K::Combo, group);
    c.items = items;
    c.message = message;
    c.paramId = paramId;
    return c;
}

constexpr InstallerControl withFixedCaption(InstallerControl c, std::string_view caption) {
    c.fixedRangeCaption = caption;
    return c;
}

constexpr InstallerControl withGeneratedCaption(InstallerControl c, const char* label,
                                                double factor, int decimals) {
    c.rangeCaption = label;
    c.captionFactor = factor;
    c.captionDecimals = decimals;
    return c;
}

constexpr InstallerControl withScale(InstallerControl c, int scale) {
    c.scale = scale;
    return c;
}

constexpr InstallerControl withStart(InstallerControl c, int index) {
    c.startIndex = index;
    return c;
}

constexpr InstallerControl withStartText(InstallerControl c, std::string_view text) {
    c.startText = text;
    return c;
}

constexpr InstallerControl withRowLabels(InstallerControl c, const char* caption,
                                         const char* actualCaption, const char* newCaption,
                                         const char* rangeLabel = nullptr) {
    c.captionLabel = caption;
    c.actualCaptionLabel = actualCaption;
    c.newCaptionLabel = newCaption;
    if (rangeLabel) {
        c.rangeCaption = rangeLabel;
    }
    return c;
}

constexpr InstallerControl withMaxLength(InstallerControl c, std::size_t length) {
    c.maxLength = length;
    return c;
}

}  // namespace

const std::array<InstallerControl, 40> kInstallerControls = {{
    // --- Setup page ---
    withMaxLength(edit("Vehicle identification number (VIN)", "eVIN", "lVIN", G::Setup, V::Text,
                       std::nullopt, 25, pid::kVin),
                  kMaxVinLength),
    [] {
        InstallerControl c = row("Installation date", "dtpZovar_InstallDate", "lInstallDate",
                                 K::DatePicker, G::Setup);
        c.paramId = pid::kInstallDate;
        return c;
    }(),
    edit("Dashboard at installation [km / miles]", "eZovar_Dashboard", "lDashboard", G::Setup,
         V::Integer, R::Dashboard, 12, pid::kDashboard),
    withGeneratedCaption(edit("Blocked nozzle restart [min]", "eZovar_BlockedNozzleSetupRestart",
                              "lBlockedNozzleSetupRestart", G::Setup, V::Integer,
                              R::BlockedNozzleRestart, 29, pid::kBlockedNozzleRestart),
                         "lZovar_BlockedNozzleSetupRestartRange", 1.0, 0),
    withStart(combo("External heater configuration", "cbExternalHeaterSelection",
                    "lExternalHeaterSelection", G::Setup, items::kDisabledEnabled, 0,
                    pid::kHeaterSelection),
              0),
    withStartText(withFixedCaption(edit("Ext. heater upper limit [C]", "eZovar_TankUpper",
                                        "lTankUpperLimit", G::ExtHeaterConfig, V::Integer,
                                        R::HeaterUpperLimit, 13, pid::kHeaterLimits),
                                   "(-40..40)"),
                  "5"),
    withStartText(withFixedCaption(edit("Ext. heater lower limit [C]", "eZovar_TankLower",
                                        "lTankLowerLimit", G::ExtHeaterConfig, V::Integer,
                                        R::HeaterLowerLimit, 14, pid::kHeaterLimits),
                                   "(-40..40)"),
                  "0"),
    withStartText(
        withFixedCaption(edit("Ext. heater defreeze limit [C]", "eExtHeaterConfig_Defreeze",
                              "lExtHeater_DefreezeLimit_Value", G::ExtHeaterConfig, V::Integer,
                              R::HeaterDefreezeLimit, 15, pid::kHeaterLimits),
                         "(-40..40)"),
        "-5"),
    withFixedCaption(
        withScale(edit("Catalyst volume [l]", "eZovar_CatalystVolume", "lCatalystVolume", G::Setup,
                       V::Decimal, R::CatalystVolume, 9, pid::kCatalystVolume),
                  10),
        "(5..500)"),
    withFixedCaption(
        withScale(edit("Catalyst length [mm]", "eZovar_CatalystLength", "lCatalystLength", G::Setup,
                       V::Decimal, R::CatalystLength, 10, pid::kCatalystLength),
                  10),
        "(50..750)"),
    withGeneratedCaption(
        withScale(edit("Conversion gain", "eZovar_ConversionGain", "lConversionGain", G::Setup,
                       V::Decimal, R::ConversionGain, 11, pid::kConversionGain),
                  10000),
        "lZovar_ConversionGainRange", 0.0001, 2),
    withRowLabels(withGeneratedCaption(edit("MAF factor", "eZovar_MafFactor", "lMafFactor",
                                            G::Setup, V::Integer, R::MafFactor, 8, pid::kMafFactor),
                                       "lZovar_MafFactorRange", 1.0, 0),
                  "lMafFactor_heading", "lMafFactor_ActValue", "lMafFactor_NewValue"),
    withRowLabels(withGeneratedCaption(
                      withScale(edit("Conversion ratio reduced ", "eZovar_ConversionRatioReduced",
                                     "lConversionRatioReduced", G::Setup, V::Decimal,
                                     R::ConversionRatioReduced, 26, pid::kConversionRatio),
                                100),
                      "lZovar_ConversionRatioReducedRange", 0.01, 2),
                  "lConvRatioReduced", "LCR_reducedValue", "LCR_reducedNewValue"),
    withRowLabels(
        withGeneratedCaption(
            withScale(edit("Conversion ratio threshold", "eZovar_ConversionRatioThreshold",
                           "lConversionRatioThreshold", G::Setup, V::Decimal,
                           R::ConversionRatioThreshold, 27, pid::kConversionRatio),
                      100),
            "lZovar_ConversionRatioThresholdRange", 0.01, 2),
        "lConvRatioThreshold", "LCR_ratioValue", "LCR_ratioNewValue"),
    withRowLabels(withGeneratedCaption(
                      edit("Conversion ratio averaging period [min]",
                           "eZovar_ConversionRatioAvaragePeriod", "lConversionRatioAvaragePeriod",
                           G::Setup, V::Integer, R::AveragingPeriod, 28, pid::kConversionRatio),
                      "lZovar_ConversionRatioAvaragePeriodRange", 1.0, 0),
                  "lConvRatioAvg", "LCR_ratioAvgValue", "LCR_ratioAvgNewValue"),

    // --- gbExtendedConfig ---
    combo("Downstream NOx configuration", "cbDownstreamNOxSelection", "lDownstreamNOxSelection",
          G::ExtendedConfig, items::kDownstreamNox, 37, pid::kDownstreamNox),
    combo("Torque Limiter ouput functionality", "cbTLoutputSetup", "lTLoutputSetup",
          G::ExtendedConfig, items::kTlOutput, 37, pid::kTlOutputSetup),
    withRowLabels(combo("Engine Speed signal configuration", "cbEngineSpeedSetup",
                        "lEngineSpeedSignalConfig_Value", G::ExtendedConfig, items::kEngineSpeed,
                        37, pid::kEngineSpeedSetup),
                  "lEngineSpeedSignalConfig", "lEngineSpeedSignalConfig_ActValue",
                  "lEngineSpeedSignalConfig_NewValue"),
    combo("MAF signal configuration", "cbMAFsignalSetup", "lMAFconfiguration", G::ExtendedConfig,
          items::kMafSignal, 37, pid::kMafSignal),
    withFixedCaption(edit("ECM CAN address", "eECMcanAdrConfiguration", "lECMcanAdrConfiguration",
                          G::ExtendedConfig, V::Integer, R::EcmCanAddress, 30, pid::kEcmCanAddress),
                     "(0..253)"),
    combo("Conversion ratio configuration", "cbConversionRatioSelection",
          "lConversionRatioSelection", G::ExtendedConfig, items::kEnabledDisabled, 37,
          pid::kConversionRatioSelection),
    // Message 31 had no check of its own; the download checks the edit in its table place.
    withFixedCaption(
        edit("Minimum MAF @ engine running [kg/h]", "eMAFatIdleSpeed", "lMAFatIdleSpeed",
             G::ExtendedConfig, V::Integer, R::MinimumMaf, 31, pid::kMinimumMaf),
        "(10..500)"),
    withFixedCaption(
        edit("Engine speed idle threshold [rpm]", "eEngineSpeedIdleThr", "lEngineSpeedIdleThr",
             G::ExtendedConfig, V::Integer, R::IdleThreshold, 38, pid::kIdleThreshold),
        "(10..1000)"),
    withFixedCaption(edit("Alternator to Engine speed signal divider",
                          "eAlt2EngineSpeedSignalRatio", "lAlt2EngineSpeedSignalRatio",
                          G::ExtendedConfig, V::Integer, R::Divider, 39, pid::kSpeedSignalDivider),
                     "(30..3000)"),
    combo("Urea tank temp. sensor config.", "cbUreaTankTempSetup", "lUreaTankTempSetup",
          G::ExtendedConfig, items::kUreaTankTempSensor, 37, pid::kUreaTankTempSetup),
    combo("Urea tank level sensor config.", "cbUreaTankLevelSensorSetup",
          "lUreaTankLevelSensorSetup", G::ExtendedConfig, items::kLevelSensor, 37,
          pid::kLevelSensor),
    withRowLabels(
        withFixedCaption(edit("Level sensor low limit [ohm]", "eLevelSensor_LowLimit_NewValue",
                              "lLevelSensor_LowLimit_Value", G::ExtendedConfig, V::Integer,
                              R::LevelLowLimit, 32, pid::kLevelSensor),
                         "(46..24k)"),
        "lLevelSensor_LowLimit", "lLevelSensor_LowLimit_ActValue", "lLevelSensor_LowLimit_NewValue",
        "lLevelSensor_LowLimit_NewValueRange"),
    withRowLabels(
        withFixedCaption(edit("Level sensor empty limit [ohm]", "eLevelSensor_EmptyLimit_NewValue",
                              "lLevelSensor_EmptyLimit_Value", G::ExtendedConfig, V::Integer,
                              R::LevelEmptyLimit, 33, pid::kLevelSensor),
                         "(46..24k)"),
        "lLevelSensor_EmptyLimit", "lLevelSensor_EmptyLimit_ActValue",
        "lLevelSensor_EmptyLimit_NewValue", "lLevelSensor_EmptyLimit_NewValueRange"),
    combo("Repeating Prime sequence config.", "cbRepeatingPrimeSeq_NewValue",
          "lRepeatingPrimeSeq_Value", G::ExtendedConfig, items::kRepeatingPrime, 37,
          pid::kRepeatingPrime),
    withFixedCaption(edit("Valve open time @ purge", "eValveOpenTimeAtPurge_Value",
                          "lValveOpenTimeAtPurge_Value", G::ExtendedConfig, V::Integer,
                          R::ValveOpenTime, 34, pid::kPurge),
                     "(1..100) s"),
    withFixedCaption(edit("Valve close time @ purge", "eValveCloseTimeAtPurge_Value",
                          "lValveCloseTimeAtPurge_Value", G::ExtendedConfig, V::Integer,
                          R::ValveCloseTime, 35, pid::kPurge),
                     "(0..100) s"),
    withFixedCaption(
        edit("No. of purge sequences", "eNoOfRepAtPurge_Value", "lNoOfRepAtPurge_Value",
             G::ExtendedConfig, V::Integer, R::PurgeSequences, 36, pid::kPurge),
        "(1..100)"),
    combo("UDS surveillance @ pin32", "cbUDSsurveillanceAtPin32", "lUDSsurveillanceAtPin32_Value",
          G::ExtendedConfig, items::kUdsSurveillance, 37, pid::kUdsSurveillance),
    combo("Urea Tank temperature OBD", "cbUreaTankTemperatureOBD", "lUreaTankTemperatureOBD",
          G::UreaTankTemperatureSettings, items::kDisabledEnabled, 37, pid::kUreaTankTempObd),
    withFixedCaption(
        edit("High stop temperature", "eUreaTankMaxStop", "lUreaTankMaxStop", G::UreaTempLimits,
             V::Integer, R::UreaTankTemperature, 40, pid::kUreaTankHighLimits),
        "(-40...120 C)"),
    edit("High restart temperature", "eUreaTankMaxRestart", "lUreaTankMaxRestart",
         G::UreaTempLimits, V::Integer, R::UreaTankTemperature, 40, pid::kUreaTankHighLimits),
    edit("Low stop temperature", "eUreaTankMinStop", "lUreaTankMinStop", G::UreaTempLimits,
         V::Integer, R::UreaTankTemperature, 40, pid::kUreaTankLowLimits),
    edit("Low restart temperature", "eUreaTankMinRestart", "lUreaTankMinRestart", G::UreaTempLimits,
         V::Integer, R::UreaTankTemperature, 40, pid::kUreaTankLowLimits),
    withStart(combo("Monitor Tank heater", "cbMonitorTankHeater", "lMonitorTankHeater",
                    G::MonitorExtHeaters, items::kNoYes, 0, pid::kHeaterSelection),
              1),
    withStart(combo("Monitor Line heater", "cbMonitorLineHeater", "lMonitorLineHeater",
                    G::MonitorExtHeaters, items::kNoYes, 0, pid::kHeaterSelection),
              1),
}};

const InstallerContainer& containerOf(InstallerGroup group) {
    for (const InstallerContainer& c : kInstallerContainers) {
        if (c.group == group) {
            return c;
        }
    }
    return kInstallerContainers[0];
}

const InstallerControl* findInstallerControl(std::string_view objectName) {
    for (const InstallerControl& c : kInstallerControls) {
        if (objectName == c.control || objectName == c.actualValue) {
            return &c;
        }
    }
    return nullptr;
}

std::optional<std::string_view> comboItem(std::string_view comboName, long long index) {
    const InstallerControl* c = findInstallerControl(comboName);
    if (!c || c->kind != K::Combo) {
        return std::nullopt;
    }
    return text_tables::tableText(c->items, index);
}

std::string comboItemText(std::string_view comboName, long long index) {
    if (auto item = comboItem(comboName, index)) {
        return std::string(*item);
    }
    return text_tables::invalidValueText(index);
}

bool holdsItem(std::string_view comboName, long long index) {
    return comboItem(comboName, index).has_value();
}

std::string rangeCaptionText(const InstallerControl& row, const DisplayFormat& format) {
    if (!row.fixedRangeCaption.empty()) {
        return std::string(row.fixedRangeCaption);
    }
    if (!row.rangeCaption || !row.range) {
        return {};
    }
    const IntegerRange& range = rangeOf(*row.range);
    auto bound = [&](int32_t v) {
        return row.captionDecimals == 0
                   ? formatSigned(v)
                   : formatFixed(v * row.captionFactor, row.captionDecimals, format);
    };
    return "(" + bound(range.minimum) + ".." + bound(range.maximum) + ")";
}

std::vector<RangeCaption> rangeCaptions(const DisplayFormat& format) {
    std::vector<RangeCaption> out;
    for (const InstallerControl& c : kInstallerControls) {
        if (c.rangeCaption && c.fixedRangeCaption.empty()) {
            out.push_back({c.rangeCaption, rangeCaptionText(c, format)});
        }
    }
    return out;
}

// --- Enable rules ---

namespace {

// The six names of a row in the order the rules list them: caption, "Actual value" caption,
// actual value, "New value" caption, the control, its range caption.
void appendRow(std::vector<const char*>& names, std::string_view control) {
    const InstallerControl* c = findInstallerControl(control);
    if (!c) {
        return;
    }
    for (const char* name : {c->captionLabel, c->actualCaptionLabel, c->actualValue,
                             c->newCaptionLabel, c->control, c->rangeCaption}) {
        if (name) {
            names.push_back(name);
        }
    }
}

EnableChange switchBlock(const std::vector<const char*>& block, bool on) {
    EnableChange change;
    for (const char* name : block) {
        change.controls.push_back({name, on});
    }
    return change;
}

}  // namespace

std::vector<const char*> conversionRatioBlock() {
    std::vector<const char*> names;
    appendRow(names, "eZovar_ConversionRatioReduced");
    appendRow(names, "eZovar_ConversionRatioThreshold");
    appendRow(names, "eZovar_ConversionRatioAvaragePeriod");
    return names;
}

std::vector<const char*> mafFactorBlock() {
    std::vector<const char*> names;
    appendRow(names, "eZovar_MafFactor");
    return names;
}

std::vector<const char*> levelLimitBlock() {
    std::vector<const char*> names;
    appendRow(names, "eLevelSensor_LowLimit_NewValue");
    appendRow(names, "eLevelSensor_EmptyLimit_NewValue");
    return names;
}

std::vector<const char*> engineSpeedBlock() {
    std::vector<const char*> names;
    appendRow(names, "cbEngineSpeedSetup");
    return names;
}

EnableChange conversionRatioRule(int selection) {
    return switchBlock(conversionRatioBlock(),
                       selection != installer_index::kConversionRatioDisabled);
}

EnableChange mafSignalRule(int selection) {
    return switchBlock(mafFactorBlock(), selection == installer_index::kMafFromSensor);
}

EnableChange levelSensorRule(int selection) {
    return switchBlock(levelLimitBlock(), selection == installer_index::kLevelSensorAnalogue);
}

EnableChange tlOutputRule(int tlSelection, int engineSpeedSelection) {
    const bool normal = tlSelection == installer_index::kTlNormal;
    EnableChange change = switchBlock(engineSpeedBlock(), normal);
    if (normal && engineSpeedSelection == installer_index::kEngineSpeedDisabled) {
        change.messages.emplace_back(installer_text::kTlForcesEngineSpeed);
        change.engineSpeedSelection = installer_index::kEngineSpeedFromSensor;
    }
    if (tlSelection == installer_index::kTlDisabled) {
        change.messages.emplace_back(installer_text::kTlDisablesEngineSpeed);
        change.engineSpeedSelection = installer_index::kEngineSpeedDisabled;
    }
    return change;
}

EnableChange externalHeaterRule(int heaterSelection, int ureaTankTemperatureObdSelection) {
    EnableChange change;
    if (ureaTankTemperatureObdSelection == installer_index::kUreaObdEnabled) {
        change.containers.push_back({containerOf(G::UreaTempLimits).objectName, true});
    }
    const bool on = heaterSelection != installer_index::kHeaterDisabled;
    change.containers.push_back({containerOf(G::MonitorExtHeaters).objectName, on});
    change.containers.push_back({containerOf(G::ExtHeaterConfig).objectName, on});
    change.heaterGroupNavy = on;
    return change;
}

EnableChange ureaTankTemperatureObdRule(int obdSelection) {
    EnableChange change;
    change.containers.push_back({containerOf(G::UreaTempLimits).objectName,
                                 obdSelection == installer_index::kUreaObdEnabled});
    return change;
}

std::optional<std::string_view> closeQuestion(uint8_t testModeLevel) {
    if (testModeLevel == 0) {
        return std::nullopt;
    }
    return installer_text::kResetOnClose;
}

std::optional<std::string_view> userCalibrationQuestion(bool flowTestIdle,
                                                        bool nozzleFlowTestActive) {
    if (flowTestIdle) {
        return std::nullopt;
    }
    return nozzleFlowTestActive ? installer_text::kEndNozzleFlowTest
                                : installer_text::kEndReturnLineFlowTest;
}
