#include "pump/installer_controls.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "installer_test_util.h"

using namespace installer_test;

namespace {

std::vector<std::string> names(const std::vector<const char*>& list) {
    return {list.begin(), list.end()};
}

std::vector<std::string> switched(const EnableChange& change, bool on) {
    std::vector<std::string> out;
    for (const auto& f : change.controls) {
        EXPECT_EQ(f.on, on) << f.objectName;
        out.emplace_back(f.objectName);
    }
    return out;
}

TEST(InstallerControls, EveryNameIsUniqueAndEveryCheckHasItsRangeAndMessage) {
    std::set<std::string> seen;
    for (const InstallerControl& c : kInstallerControls) {
        for (const char* name : {c.control, c.actualValue}) {
            EXPECT_TRUE(seen.insert(name).second) << "twice: " << name;
        }
        if (c.value == EditValue::Integer || c.value == EditValue::Decimal) {
            EXPECT_TRUE(c.range.has_value()) << c.control;
            EXPECT_NE(c.message, 0) << c.control;
        }
        if (c.kind == ControlKind::Combo) {
            EXPECT_FALSE(c.items.empty()) << c.control;
            EXPECT_TRUE(c.startIndex == installer_index::kNone ||
                        holdsItem(c.control, c.startIndex))
                << c.control;
        }
        // Every row can be found by either of its names.
        EXPECT_EQ(findInstallerControl(c.control), &c);
        EXPECT_EQ(findInstallerControl(c.actualValue), &c);
    }
    EXPECT_EQ(findInstallerControl("lNoSuchLabel"), nullptr);
}

TEST(InstallerControls, RangeCaptionsFromTheOneRangeTable) {
    const auto point = rangeCaptions(kPoint);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"lZovar_BlockedNozzleSetupRestartRange", "(0..255)"},
        {"lZovar_ConversionGainRange", "(0.10..2.00)"},
        {"lZovar_MafFactorRange", "(50..3000)"},
        {"lZovar_ConversionRatioReducedRange", "(0.01..10.00)"},
        {"lZovar_ConversionRatioThresholdRange", "(0.01..10.00)"},
        {"lZovar_ConversionRatioAvaragePeriodRange", "(1..100)"},
    };
    ASSERT_EQ(point.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(point[i].objectName, expected[i].first);
        EXPECT_EQ(point[i].text, expected[i].second);
    }
    // With a comma separator the decimal captions follow it; the integer ones do not change.
    const auto comma = rangeCaptions(kComma);
    ASSERT_EQ(comma.size(), expected.size());
    EXPECT_EQ(comma[1].text, "(0,10..2,00)");
    EXPECT_EQ(comma[3].text, "(0,01..10,00)");
    EXPECT_EQ(comma[2].text, "(50..3000)");
    // Fixed captions stay as they are.
    EXPECT_EQ(rangeCaptionText(*findInstallerControl("eZovar_CatalystVolume"), kComma), "(5..500)");
    EXPECT_EQ(rangeCaptionText(*findInstallerControl("eZovar_Dashboard"), kPoint), "");
}

TEST(InstallerControls, ComboItemTextsAndIndexesPastTheItems) {
    const struct {
        const char* combo;
        long long index;
        const char* text;
    } cases[] = {
        {"cbUDSsurveillanceAtPin32", 2, "OBD only"},
        {"cbUDSsurveillanceAtPin32", 3, "Invalid value: 3"},
        {"cbUreaTankLevelSensorSetup", 2, "Analouge"},
        {"cbConversionRatioSelection", 1, "Disabled"},
        {"cbTLoutputSetup", 2, "Invalid value: 2"},
        {"cbEngineSpeedSetup", -1, "Invalid value: -1"},
        {"cbMonitorLineHeater", 1, "YES"},
        {"eZovar_Dashboard", 0, "Invalid value: 0"},  // an edit has no items
    };
    for (const auto& c : cases) {
        EXPECT_EQ(comboItemText(c.combo, c.index), c.text) << c.combo << " " << c.index;
    }
}

TEST(InstallerEnableRules, ConversionRatioBlockOfEighteenControls) {
    const std::vector<std::string> block = {
        "lConvRatioReduced",
        "LCR_reducedValue",
        "lConversionRatioReduced",
        "LCR_reducedNewValue",
        "eZovar_ConversionRatioReduced",
        "lZovar_ConversionRatioReducedRange",
        "lConvRatioThreshold",
        "LCR_ratioValue",
        "lConversionRatioThreshold",
        "LCR_ratioNewValue",
        "eZovar_ConversionRatioThreshold",
        "lZovar_ConversionRatioThresholdRange",
        "lConvRatioAvg",
        "LCR_ratioAvgValue",
        "lConversionRatioAvaragePeriod",
        "LCR_ratioAvgNewValue",
        "eZovar_ConversionRatioAvaragePeriod",
        "lZovar_ConversionRatioAvaragePeriodRange",
    };
    EXPECT_EQ(names(conversionRatioBlock()), block);
    EXPECT_EQ(switched(conversionRatioRule(1), false), block);  // "Disabled"
    EXPECT_EQ(switched(conversionRatioRule(0), true), block);
    EXPECT_EQ(switched(conversionRatioRule(installer_index::kNone), true), block);
}

TEST(InstallerEnableRules, MafFactorAndLevelLimitBlocks) {
    const std::vector<std::string> maf = {"lMafFactor_heading", "lMafFactor_ActValue",
                                          "lMafFactor",         "lMafFactor_NewValue",
                                          "eZovar_MafFactor",   "lZovar_MafFactorRange"};
    EXPECT_EQ(switched(mafSignalRule(0), true), maf);  // "From sensor"
    EXPECT_EQ(switched(mafSignalRule(1), false), maf);
    EXPECT_EQ(switched(mafSignalRule(installer_index::kNone), false), maf);

    const std::vector<std::string> level = {
        "lLevelSensor_LowLimit",
        "lLevelSensor_LowLimit_ActValue",
        "lLevelSensor_LowLimit_Value",
        "lLevelSensor_LowLimit_NewValue",
        "eLevelSensor_LowLimit_NewValue",
        "lLevelSensor_LowLimit_NewValueRange",
        "lLevelSensor_EmptyLimit",
        "lLevelSensor_EmptyLimit_ActValue",
        "lLevelSensor_EmptyLimit_Value",
        "lLevelSensor_EmptyLimit_NewValue",
        "eLevelSensor_EmptyLimit_NewValue",
        "lLevelSensor_EmptyLimit_NewValueRange",
    };
    EXPECT_EQ(switched(levelSensorRule(2), true), level);  // "Analouge"
    EXPECT_EQ(switched(levelSensorRule(1), false), level);
    EXPECT_EQ(switched(levelSensorRule(0), false), level);
}

TEST(InstallerEnableRules, TorqueLimiterForcesTheEngineSpeedSetting) {
    const struct {
        int tl, engineSpeed;
        bool enabled;
        std::vector<std::string_view> messages;
        std::optional<int> forced;
    } cases[] = {
        // "Normal TL" while the engine speed is "Disabled": forced to "From sensor".
        {1, 0, true, {installer_text::kTlForcesEngineSpeed}, 1},
        {1, 2, true, {}, std::nullopt},  // "From ECM" stays
        {1, 1, true, {}, std::nullopt},
        // "Disabled": forced to "Disabled", with the second message.
        {0, 1, false, {installer_text::kTlDisablesEngineSpeed}, 0},
        {0, 0, false, {installer_text::kTlDisablesEngineSpeed}, 0},
        {installer_index::kNone, 1, false, {}, std::nullopt},
    };
    const std::vector<std::string> block = {
        "lEngineSpeedSignalConfig", "lEngineSpeedSignalConfig_ActValue",
        "lEngineSpeedSignalConfig_Value", "lEngineSpeedSignalConfig_NewValue",
        "cbEngineSpeedSetup"};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.tl) + "/" + std::to_string(c.engineSpeed));
        const EnableChange change = tlOutputRule(c.tl, c.engineSpeed);
        EXPECT_EQ(switched(change, c.enabled), block);
        ASSERT_EQ(change.messages.size(), c.messages.size());
        for (std::size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_EQ(change.messages[i], c.messages[i]);
        }
        EXPECT_EQ(change.engineSpeedSelection, c.forced);
    }
}

TEST(InstallerEnableRules, ExternalHeaterAndUreaTankTemperatureLimits) {
    auto heater = externalHeaterRule(1, 1);
    EXPECT_EQ(flagOf(heater.containers, "gbUreaTempLimits"), true);
    EXPECT_EQ(flagOf(heater.containers, "gbMonitorExtHeaters"), true);
    EXPECT_EQ(flagOf(heater.containers, "pExtHeaterConfig"), true);
    EXPECT_EQ(heater.heaterGroupNavy, true);

    heater = externalHeaterRule(0, 0);
    EXPECT_EQ(flagOf(heater.containers, "gbUreaTempLimits"), std::nullopt);  // left as it is
    EXPECT_EQ(flagOf(heater.containers, "gbMonitorExtHeaters"), false);
    EXPECT_EQ(flagOf(heater.containers, "pExtHeaterConfig"), false);
    EXPECT_EQ(heater.heaterGroupNavy, false);

    EXPECT_EQ(flagOf(ureaTankTemperatureObdRule(1).containers, "gbUreaTempLimits"), true);
    EXPECT_EQ(flagOf(ureaTankTemperatureObdRule(0).containers, "gbUreaTempLimits"), false);
    EXPECT_EQ(
        flagOf(ureaTankTemperatureObdRule(installer_index::kNone).containers, "gbUreaTempLimits"),
        false);
}

TEST(InstallerQuestions, ClosingAndTheUserCalibrationButton) {
    EXPECT_EQ(closeQuestion(0), std::nullopt);
    EXPECT_EQ(closeQuestion(1), installer_text::kResetOnClose);
    EXPECT_EQ(closeQuestion(2), installer_text::kResetOnClose);
    EXPECT_NE(installer_text::kResetOnClose.find("reset to       \n'Automatic"), std::string::npos);

    EXPECT_EQ(userCalibrationQuestion(true, true), std::nullopt);
    EXPECT_EQ(userCalibrationQuestion(false, true), "Do you want to end nozzle flow test?");
    EXPECT_EQ(userCalibrationQuestion(false, false), "Do you want to end return line flow test?");
}

}  // namespace
