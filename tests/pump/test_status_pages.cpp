#include "pump/status_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pump/service_codes.h"

using namespace status_page;

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};
const DisplayFormat kComma{',', "%d.%m.%Y"};

// A page body built field by field, little-endian.
struct Body {
    explicit Body(std::size_t size) : bytes(size, 0) {}
    Body& u8(std::size_t offset, uint8_t v) {
        bytes.at(offset) = v;
        return *this;
    }
    Body& u16(std::size_t offset, uint16_t v) {
        u8(offset, static_cast<uint8_t>(v));
        return u8(offset + 1, static_cast<uint8_t>(v >> 8));
    }
    Body& u32(std::size_t offset, uint32_t v) {
        u16(offset, static_cast<uint16_t>(v));
        return u16(offset + 2, static_cast<uint16_t>(v >> 16));
    }
    std::vector<uint8_t> bytes;
};

template <typename T>
std::optional<std::string> textOf(const std::vector<T>& texts, ReadoutWindow window,
                                  const char* name) {
    std::optional<std::string> found;
    for (const auto& t : texts) {
        if (t.window == window && std::strcmp(t.objectName, name) == 0) {
            found = t.text;  // the last write wins, as on the label
        }
    }
    return found;
}

std::optional<std::string> mainText(const std::vector<LabelText>& texts, const char* name) {
    return textOf(texts, ReadoutWindow::Main, name);
}

std::optional<int> comboIndex(const std::vector<ComboItemText>& items, ReadoutWindow window,
                              const char* label, const char* combo) {
    for (const auto& item : items) {
        if (item.window == window && std::strcmp(item.objectName, label) == 0 &&
            std::strcmp(item.comboName, combo) == 0) {
            return item.index;
        }
    }
    return std::nullopt;
}

std::optional<bool> flagOf(const std::vector<WidgetFlag>& flags, const char* name) {
    std::optional<bool> found;
    for (const auto& f : flags) {
        if (std::strcmp(f.objectName, name) == 0) {
            found = f.on;
        }
    }
    return found;
}

InstallerView installerAt(int level, bool extendedVisible = false, bool monitorVisible = false) {
    InstallerView view;
    view.accessLevel = level;
    view.extendedConfigVisible = extendedVisible;
    view.monitorExtHeatersVisible = monitorVisible;
    return view;
}

}  // namespace

// --- Page 203 ---

Body samplePage203() {
    Body b(kPage203Size);
    b.u16(page203::kFactoryCalibration, 1234)
        .u16(page203::kConversionGain, 12500)
        .u16(page203::kMafFactor, 321)
        .u16(page203::kCatalystVolume, 123)
        .u16(page203::kCatalystLength, 4567)
        .u8(page203::kTankLowerLimit, 0xFB)  // -5
        .u8(page203::kTankUpperLimit, 10)
        .u8(page203::kDefreezeLimit, 0x80)  // -128
        .u16(page203::kProductionDate, 21 | (37 << 7))
        .u32(page203::kSerialNumber, 4000000000u)
        .u16(page203::kTypeNumberHigh, 12)
        .u16(page203::kTypeNumberLow, 3456)
        .u8(page203::kPumpSize, 2)
        .u16(page203::kMinimumMafRunning, 700);
    return b;
}

TEST(Page203, IdentityAndCalibrationTexts) {
    const auto page = decodePage203(samplePage203().bytes, installerAt(11), kPoint);
    EXPECT_TRUE(page.complete);
    EXPECT_EQ(page.factoryCalibration, 1234);
    const struct {
        ReadoutWindow window;
        const char* name;
        const char* text;
    } expected[] = {
        {ReadoutWindow::Main, "lFactoryCalibml", "1234"},
        {ReadoutWindow::Main, "lConversionGain", "1.25"},
        {ReadoutWindow::Main, "lMafFactor", "321"},
        {ReadoutWindow::Main, "lCatalystVolume", "12.3"},
        {ReadoutWindow::Main, "lCatalystLength", "456.7"},
        {ReadoutWindow::Installer, "lTankLowerLimit", "-5"},
        {ReadoutWindow::Installer, "lTankUpperLimit", "10"},
        {ReadoutWindow::Installer, "lExtHeater_DefreezeLimit_Value", "-128"},
        {ReadoutWindow::Main, "lProductionYear", "2021"},
        {ReadoutWindow::Main, "lProductionWeek", "37"},
        {ReadoutWindow::Main, "lSerial", "4000000000"},
        {ReadoutWindow::ErrorLog, "lSerial", "4000000000"},
        {ReadoutWindow::Main, "lPONumber", "00123456"},
        {ReadoutWindow::Main, "lPumpSize", "7.50 l/h"},
        {ReadoutWindow::Installer, "lMAFatIdleSpeed", "700"},
        {ReadoutWindow::Installer, "lMafFactor", "321"},
        {ReadoutWindow::Installer, "lCatalystVolume", "12.3"},
        {ReadoutWindow::Installer, "lCatalystLength", "456.7"},
        {ReadoutWindow::Installer, "lConversionGain", "1.25"},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(textOf(page.texts, e.window, e.name), e.text)
            << toString(e.window) << " " << e.name;
    }
    EXPECT_EQ(page.texts.size(), std::size(expected));
}

TEST(Page203, DecimalSeparatorPumpSizeZeroAndIdleMafPreset) {
    Body b = samplePage203();
    b.u8(page203::kPumpSize, 0);
    const auto hidden = decodePage203(b.bytes, installerAt(11, false), kComma);
    EXPECT_EQ(mainText(hidden.texts, "lConversionGain"), "1,25");
    EXPECT_EQ(mainText(hidden.texts, "lCatalystLength"), "456,7");
    EXPECT_EQ(mainText(hidden.texts, "lPumpSize"), "UNDEFINED");
    EXPECT_EQ(textOf(hidden.edits, ReadoutWindow::Installer, "eMAFatIdleSpeed"), "700");

    // At the extended level the installer's own entry is the operator's, not the pump's.
    const auto shown = decodePage203(b.bytes, installerAt(12, true), kComma);
    EXPECT_TRUE(shown.edits.empty());
}

// --- Page 204 ---

Body samplePage204(uint8_t major, uint8_t minor) {
    Body b(kPage204Size);
    b.u16(page204::kInstallDate, 24 | (2 << 7) | (29 << 11))  // 29 Feb 2024
        .u32(page204::kDashboardOdometer, 123456)
        .u8(page204::kHeaterBits, page204::kExternalHeaterBit | page204::kMonitorLineHeaterBit)
        .u8(page204::kBlockedNozzleRestart, 30)
        .u16(page204::kUserCalibration, 2500)
        .u8(page204::kEcmCanAddress, 0)
        .u8(page204::kApplicationType, 14)
        .u8(page204::kSoftwareMajor, major)
        .u8(page204::kSoftwareMinor, minor)
        .u8(page204::kTlOutputSetup, 1)
        .u16(page204::kLevelLowLimit, 512)
        .u16(page204::kLevelEmptyLimit, 1023)
        .u8(page204::kLevelSensorSetup, 2);
    return b;
}

TEST(Page204, FieldsAndTexts) {
    const auto page = decodePage204(samplePage204(1, 5).bytes, installerAt(11), false, kComma);
    EXPECT_TRUE(page.complete);
    EXPECT_EQ(mainText(page.texts, "lUserCalibration"), "2500");
    EXPECT_EQ(textOf(page.texts, ReadoutWindow::UserCalibration, "lUserCalibration"), "2500");
    EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lECMcanAdrConfiguration"), "0");
    EXPECT_EQ(mainText(page.texts, "lApplicationType"), "Genset");
    EXPECT_EQ(mainText(page.texts, "lSWRev"), "1.05");  // a fixed point, not the separator
    EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lDashboard"), "123456");
    EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lBlockedNozzleSetupRestart"), "30");
    EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lLevelSensor_LowLimit_Value"), "1002");
    // An open input has no resistance.
    EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lLevelSensor_EmptyLimit_Value"), "?");
    EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lInstallDate"), "29.02.2024");
    EXPECT_EQ(page.pumpSoftwareVersion, (PumpSoftwareVersion{1, 5}));
    EXPECT_EQ(page.externalHeaterPresent, true);
    EXPECT_EQ(page.pumpLevelSensorSetup, 2);
    EXPECT_EQ(page.pumpTlOutputSetup, 1);
    EXPECT_EQ(page.installDateKnown, true);
    EXPECT_EQ(page.installDate, (Page204Result::Date{2024, 2, 29}));
    EXPECT_EQ(page.dashboardKnown, true);
    EXPECT_EQ(comboIndex(page.comboItems, ReadoutWindow::Installer, "lExternalHeaterSelection",
                         "cbExternalHeaterSelection"),
              1);
    EXPECT_EQ(comboIndex(page.comboItems, ReadoutWindow::Main, "lHeaterAlgorithm",
                         "cbExternalHeaterSelection"),
              1);
    EXPECT_EQ(comboIndex(page.comboItems, ReadoutWindow::Installer, "lUreaTankLevelSensorSetup",
                         "cbUreaTankLevelSensorSetup"),
              2);
    EXPECT_EQ(
        comboIndex(page.comboItems, ReadoutWindow::Installer, "lTLoutputSetup", "cbTLoutputSetup"),
        1);
}

TEST(Page204, PumpSoftwareVersionTexts) {
    const struct {
        uint8_t major, minor;
        const char* text;
    } cases[] = {
        {0, 7, "0.07"}, {1, 5, "1.05"}, {1, 123, "1.123"}, {0, 11, "0.11"}, {2, 0, "2.00"}};
    for (const auto& c : cases) {
        const auto page =
            decodePage204(samplePage204(c.major, c.minor).bytes, installerAt(11), false, kPoint);
        EXPECT_EQ(mainText(page.texts, "lSWRev"), c.text);
    }
}

TEST(Page204, InstallerVisibilityBySoftwareAndAccessLevel) {
    const struct {
        uint8_t major, minor;
        int level;
        std::optional<bool> extended;  // gbExtendedConfig and both tabs
        std::optional<bool> ureaTank;  // pUreaTankTemperatureSettings and gbMonitorExtHeaters
        bool enablesHeaterSelection;
    } cases[] = {
        {0, 5, 12, false, false, false},  // old layout hides whatever the level
        {0, 5, 11, false, false, false},
        {0, 0, 10, false, false, false},
        {0, 6, 12, true, false, true},
        {0, 8, 12, true, false, true},
        {0, 9, 12, true, true, true},
        {1, 0, 12, true, true, true},
        {0, 9, 11, std::nullopt, std::nullopt, false},  // installer level: nothing changes
        {0, 9, 10, std::nullopt, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + " level " +
                     std::to_string(c.level));
        const auto page = decodePage204(samplePage204(c.major, c.minor).bytes, installerAt(c.level),
                                        false, kPoint);
        EXPECT_EQ(flagOf(page.visibility, "gbExtendedConfig"), c.extended);
        EXPECT_EQ(flagOf(page.visibility, "tsMIconfig"), c.extended);
        EXPECT_EQ(flagOf(page.visibility, "tsDM1config"), c.extended);
        EXPECT_EQ(flagOf(page.visibility, "pUreaTankTemperatureSettings"), c.ureaTank);
        EXPECT_EQ(flagOf(page.visibility, "gbMonitorExtHeaters"), c.ureaTank);
        EXPECT_EQ(flagOf(page.enabled, "cbExternalHeaterSelection") == true,
                  c.enablesHeaterSelection);
    }
}

TEST(Page204, MonitorLabelsFollowTheGroupAsThePageLeavesIt) {
    // Shown by this page: the monitor selections are read.
    auto page = decodePage204(samplePage204(0, 9).bytes, installerAt(12), false, kPoint);
    EXPECT_EQ(comboIndex(page.comboItems, ReadoutWindow::Installer, "lMonitorTankHeater",
                         "cbMonitorTankHeater"),
              0);
    EXPECT_EQ(comboIndex(page.comboItems, ReadoutWindow::Installer, "lMonitorLineHeater",
                         "cbMonitorLineHeater"),
              1);

    // Visible before, hidden by an old pump: not read.
    page = decodePage204(samplePage204(0, 5).bytes, installerAt(12, true, true), false, kPoint);
    EXPECT_EQ(comboIndex(page.comboItems, ReadoutWindow::Installer, "lMonitorTankHeater",
                         "cbMonitorTankHeater"),
              std::nullopt);

    // Left alone at the installer level: as it was.
    page = decodePage204(samplePage204(0, 9).bytes, installerAt(11, false, true), false, kPoint);
    EXPECT_TRUE(comboIndex(page.comboItems, ReadoutWindow::Installer, "lMonitorLineHeater",
                           "cbMonitorLineHeater"));
}

TEST(Page204, NewValuePresetsOnlyWhileExtendedConfigIsHidden) {
    // Extended group visible before, hidden by an old pump: presets are written.
    auto page = decodePage204(samplePage204(0, 5).bytes, installerAt(12, true), false, kPoint);
    EXPECT_EQ(textOf(page.edits, ReadoutWindow::Installer, "eLevelSensor_LowLimit_NewValue"),
              "1002");
    EXPECT_EQ(textOf(page.edits, ReadoutWindow::Installer, "eLevelSensor_EmptyLimit_NewValue"),
              "?");
    EXPECT_EQ(textOf(page.edits, ReadoutWindow::Installer, "eECMcanAdrConfiguration"), "0");
    // The heater monitoring too (byte 6: tank heater not monitored, line heater monitored).
    ASSERT_EQ(page.comboSelections.size(), 4u);
    EXPECT_STREQ(page.comboSelections[0].comboName, "cbTLoutputSetup");
    EXPECT_EQ(page.comboSelections[0].index, 1);
    EXPECT_STREQ(page.comboSelections[1].comboName, "cbUreaTankLevelSensorSetup");
    EXPECT_EQ(page.comboSelections[1].index, 2);
    EXPECT_STREQ(page.comboSelections[2].comboName, "cbMonitorTankHeater");
    EXPECT_EQ(page.comboSelections[2].index, 0);
    EXPECT_STREQ(page.comboSelections[3].comboName, "cbMonitorLineHeater");
    EXPECT_EQ(page.comboSelections[3].index, 1);

    // Shown by this page: the operator's entries stay.
    page = decodePage204(samplePage204(0, 9).bytes, installerAt(12), false, kPoint);
    EXPECT_TRUE(page.edits.empty());
    EXPECT_TRUE(page.comboSelections.empty());
}

// Settings the pump reports past the items of their combo boxes, and level limits without a
// resistance: the raw value in the read-out, no item, and no preset of an index the combo box does
// not hold (it is emptied, so a download writes the pump's own value back).
TEST(Page204, SettingsPastTheItemsAndOpenLevelInputs) {
    const std::optional<int> kEmptied = -1;
    const struct {
        uint8_t tl, level;
        uint16_t low;
        const char* tlText;     // nullptr: the combo item of that index
        const char* levelText;  // nullptr: the combo item
        std::optional<int> tlPreset, levelPreset;
        const char* lowText;
    } cases[] = {
        {0, 0, 0, nullptr, nullptr, 0, 0, "0"},
        {1, 2, 1022, nullptr, nullptr, 1, 2, "1022000"},
        {2, 3, 1023, "Circuit Breaker", "Invalid value: 3", kEmptied, kEmptied, "?"},
        {3, 255, 1024, "Invalid value: 3", "Invalid value: 255", kEmptied, kEmptied, "?"},
        {255, 1, 0xFFFF, "Invalid value: 255", nullptr, kEmptied, 1, "?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("tl " + std::to_string(c.tl) + " level " + std::to_string(c.level));
        Body b = samplePage204(0, 9);
        b.u8(page204::kTlOutputSetup, c.tl)
            .u8(page204::kLevelSensorSetup, c.level)
            .u16(page204::kLevelLowLimit, c.low);
        const auto page = decodePage204(b.bytes, installerAt(11), false, kPoint);
        const auto tlItem = comboIndex(page.comboItems, ReadoutWindow::Installer, "lTLoutputSetup",
                                       "cbTLoutputSetup");
        const auto levelItem =
            comboIndex(page.comboItems, ReadoutWindow::Installer, "lUreaTankLevelSensorSetup",
                       "cbUreaTankLevelSensorSetup");
        if (c.tlText) {
            EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lTLoutputSetup"), c.tlText);
            EXPECT_FALSE(tlItem);
        } else {
            EXPECT_EQ(tlItem, c.tl);
        }
        if (c.levelText) {
            EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lUreaTankLevelSensorSetup"),
                      c.levelText);
            EXPECT_FALSE(levelItem);
        } else {
            EXPECT_EQ(levelItem, c.level);
        }
        // The raw settings are kept for a download that writes them back.
        EXPECT_EQ(page.pumpTlOutputSetup, c.tl);
        EXPECT_EQ(page.pumpLevelSensorSetup, c.level);
        std::optional<int> tlPreset, levelPreset;
        for (const ComboSelection& s : page.comboSelections) {
            if (std::string_view(s.comboName) == "cbTLoutputSetup") {
                tlPreset = s.index;
            } else if (std::string_view(s.comboName) == "cbUreaTankLevelSensorSetup") {
                levelPreset = s.index;
            }
        }
        EXPECT_EQ(tlPreset, c.tlPreset);
        EXPECT_EQ(levelPreset, c.levelPreset);
        EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lLevelSensor_LowLimit_Value"),
                  c.lowText);
        EXPECT_EQ(textOf(page.edits, ReadoutWindow::Installer, "eLevelSensor_LowLimit_NewValue"),
                  c.lowText);
    }
}

TEST(Page204, FirstPageOfARunPresetsTheHeaterSelectionOnce) {
    PumpLiveValues values;
    const Body b = samplePage204(0, 9);
    auto first = decodePage204(b.bytes, installerAt(12), values.heaterSelectionArmed, kPoint);
    EXPECT_EQ(first.initialHeaterSelection, 1);
    // Enabled for the extended level, then disabled by the preset: the later entry wins.
    EXPECT_EQ(flagOf(first.enabled, "cbExternalHeaterSelection"), false);
    values.apply(first);
    EXPECT_FALSE(values.heaterSelectionArmed);

    auto second = decodePage204(b.bytes, installerAt(12), values.heaterSelectionArmed, kPoint);
    EXPECT_EQ(second.initialHeaterSelection, std::nullopt);
    EXPECT_EQ(flagOf(second.enabled, "cbExternalHeaterSelection"), true);
}

TEST(Page204, OdometerDateTorqueLimiterAndApplicationEdges) {
    const struct {
        uint32_t odometer;
        uint16_t date;
        uint8_t tl;
        uint8_t application;
        const char* odometerText;
        const char* dateText;
        const char* applicationText;
    } cases[] = {
        {10000000, 23 | (12 << 7) | (31 << 11), 2, 36, "10000000", "2023-12-31",
         "Unknown application type (36)"},
        {10000001, 23 | (2 << 7) | (29 << 11), 2, 11, "NA", "NA", ""},  // 2023 is no leap year
        {0, 0 | (2 << 7) | (29 << 11), 2, 35, "0", "2000-02-29", nullptr},
        {0xFFFFFFFF, 24 | (0 << 7) | (1 << 11), 2, 0, "NA", "NA", nullptr},  // month 0
        {0, 24 | (13 << 7) | (1 << 11), 2, 0, "0", "NA", nullptr},           // month 13
        {0, 24 | (4 << 7) | (31 << 11), 2, 0, "0", "NA", nullptr},           // 31 April
        {0, 24 | (4 << 7) | (0 << 11), 2, 0, "0", "NA", nullptr},            // day 0
        {0, 127 | (1 << 7) | (1 << 11), 2, 0, "0", "2127-01-01", nullptr},
    };
    for (const auto& c : cases) {
        Body b = samplePage204(1, 0);
        b.u32(page204::kDashboardOdometer, c.odometer)
            .u16(page204::kInstallDate, c.date)
            .u8(page204::kTlOutputSetup, c.tl)
            .u8(page204::kApplicationType, c.application);
        const auto page = decodePage204(b.bytes, installerAt(11), false, kPoint);
        EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lDashboard"), c.odometerText);
        EXPECT_EQ(page.dashboardKnown, std::string(c.odometerText) != "NA");
        EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lInstallDate"), c.dateText);
        EXPECT_EQ(page.installDateKnown, std::string(c.dateText) != "NA");
        EXPECT_EQ(page.installDate.has_value(), std::string(c.dateText) != "NA");
        EXPECT_EQ(textOf(page.texts, ReadoutWindow::Installer, "lTLoutputSetup"),
                  "Circuit Breaker");
        EXPECT_FALSE(comboIndex(page.comboItems, ReadoutWindow::Installer, "lTLoutputSetup",
                                "cbTLoutputSetup"));
        if (c.applicationText) {
            EXPECT_EQ(mainText(page.texts, "lApplicationType"), c.applicationText);
        }
    }
}

// --- Page 205 ---

TEST(Page205, FlowThenPumpState) {
    const struct {
        uint8_t state;
        uint32_t flow;
        const char* stateText;
        const char* flowText;
    } cases[] = {
        {3, 123456, "Dosing", "1234.56"},
        {0xC8, 0, "Invalid value: -56", "0.00"},
        {9, 1, "Invalid value: 9", "0.01"},
        {8, 0xFFFFFFFF, "Calibrating", "42949672.95"},
    };
    for (const auto& c : cases) {
        Body b(kPage205Size);
        b.u8(page205::kPumpState, c.state).u32(page205::kFlow, c.flow);
        const auto page = decodePage205(b.bytes, kPoint);
        ASSERT_EQ(page.texts.size(), 2u);
        EXPECT_STREQ(page.texts[0].objectName, "lPumpDoseml");
        EXPECT_EQ(page.texts[0].text, c.flowText);
        EXPECT_STREQ(page.texts[1].objectName, "lPumpState");
        EXPECT_EQ(page.texts[1].text, c.stateText);
    }
    Body b(kPage205Size);
    b.u32(page205::kFlow, 123456);
    EXPECT_EQ(mainText(decodePage205(b.bytes, kComma).texts, "lPumpDoseml"), "1234,56");
}

// --- Page 206 ---

Body samplePage206() {
    Body b(kPage206Size);
    b.u8(page206::kDosingTimeMinutes, 45)
        .u16(page206::kDosingTimeHours, 700)
        .u8(page206::kRunningTimeMinutes, 59)
        .u16(page206::kRunningTimeHours, 0)
        .u32(page206::kPowerOns, 4321)
        .u32(page206::kTotalStrokes, 3000000000u)
        .u32(page206::kMinimumFlow, 5)
        .u32(page206::kMaximumFlow, 999999)
        .u8(page206::kMaxPcbTemperature, 85)
        .u8(page206::kMinPcbTemperature, 0xD8)  // -40
        .u32(page206::kDosingCount, 150000)
        .u16(page206::kObdTimeHours, 1)
        .u8(page206::kObdTimeMinutes, 30)
        .u8(page206::kRemainingMilOnPeriod, 0xFF)
        .u8(page206::kRemainingMilOnPeriod + 1, 0xFF)
        .u8(page206::kRemainingMilOnPeriod + 2, 0xFF)
        .u8(page206::kRemainingOperationalSequences, 200);
    return b;
}

TEST(Page206, CountersDurationsAndDosedUrea) {
    const auto page = decodePage206(samplePage206().bytes, 100, kPoint);
    EXPECT_TRUE(page.complete);
    const struct {
        const char* name;
        const char* text;
    } expected[] = {
        {"lDosingTime", "1401:30"},
        {"lRunningHours", "01:58"},
        {"lPowerOns", "4321"},
        {"lTotalStrokes", "3000000000"},
        {"lMinBusDose", "0.05"},
        {"lMaxBusDose", "9999.99"},
        {"lMaxTemp", "85"},
        {"lMinTemp", "-40"},
        {"lDosedUrea", "1.50"},  // 150000 x 100 x 1e-7
        {"lOBD_ErrorPeriod", "03:00"},
        {"lRemainingMilOnPeriod", "16777215"},  // 24 bits only
        {"lRemainingOprationalSequences", "200"},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(mainText(page.texts, e.name), e.text) << e.name;
    }
    EXPECT_EQ(page.texts.size(), std::size(expected));
}

TEST(Page206, DosedUreaBeforeAnyFactoryCalibrationAndWithComma) {
    EXPECT_EQ(mainText(decodePage206(samplePage206().bytes, 0, kPoint).texts, "lDosedUrea"),
              "0.00");
    // 150000 x 1 x 1e-7 = 0.015 exactly: rounds up.
    EXPECT_EQ(mainText(decodePage206(samplePage206().bytes, 1, kComma).texts, "lDosedUrea"),
              "0,02");
}

// --- Page 207 ---

TEST(Page207, EveryBitToItsLabel) {
    const struct {
        std::size_t byte;
        uint8_t mask;
        ReadoutWindow window;
        const char* name;
        const char* clear;
        const char* set;
    } bits[] = {
        {0, 0x01, ReadoutWindow::Main, "lUreaLowLevel", "Not Active", "Active"},
        {0, 0x02, ReadoutWindow::Main, "lUreaEmptyLevel", "Not Active", "Active"},
        {0, 0x08, ReadoutWindow::Main, "lPressureSwitch", "Active", "Not Active"},
        {0, 0x10, ReadoutWindow::Main, "lClip15", "Not Active", "Active"},
        {0, 0x20, ReadoutWindow::Main, "lTankHeater", "Off", "On"},
        {0, 0x20, ReadoutWindow::ServiceTest, "lTankHeater", "Off", "On"},
        {0, 0x40, ReadoutWindow::Main, "lLineHeater", "Off", "On"},
        {0, 0x40, ReadoutWindow::ServiceTest, "lLineHeater", "Off", "On"},
        {0, 0x80, ReadoutWindow::Main, "lValveDosing", "Closed", "Open"},
        {0, 0x80, ReadoutWindow::ServiceTest, "lDosingValve", "Closed", "Open"},
        {1, 0x01, ReadoutWindow::Main, "lMilLamp", "Off", "On"},
        {1, 0x01, ReadoutWindow::ServiceTest, "lLamp3Conf", "Off", "On"},
        {1, 0x02, ReadoutWindow::Main, "lUreaLamp", "Off", "On"},
        {1, 0x02, ReadoutWindow::ServiceTest, "lLamp4Conf", "Off", "On"},
        {1, 0x04, ReadoutWindow::Main, "lZovarUreaLampState", "Off", "On"},
        {1, 0x08, ReadoutWindow::Main, "lZovarMiLampState", "Off", "On"},
        {1, 0x10, ReadoutWindow::Main, "lTorqueValveState", "Inactive", "Active"},
    };
    for (const auto& b : bits) {
        SCOPED_TRACE(b.name);
        Body clear(kPage207Size);
        // Every other bit set, so a label reading the wrong bit shows the wrong text.
        clear.u8(0, 0xFF).u8(1, 0xFF).u8(b.byte, static_cast<uint8_t>(0xFF & ~b.mask));
        EXPECT_EQ(textOf(decodePage207(clear.bytes).texts, b.window, b.name), b.clear);
        Body set(kPage207Size);
        set.u8(b.byte, b.mask);
        EXPECT_EQ(textOf(decodePage207(set.bytes).texts, b.window, b.name), b.set);
    }
}

TEST(Page207, TwoBitFieldsTestModeHeaterStateAndPurgeReadiness) {
    const struct {
        uint8_t byte2, byte3;
        uint8_t testMode;
        const char* heater;
        const char* readiness;
    } cases[] = {
        {0x00, 0x00, 0, "Off", "Complete"},
        {0x08, 0x04, 1, "On", "Complete"},
        {0x10, 0x28, 2, "Undetermined", "Incomplete"},
        {0x18, 0x0C, 3, "Invalid value: 3", "Complete"},
        {0xE7, 0x20, 0, "Off", "Incomplete"},  // neighbouring bits do not leak in
        {0x00, 0x40, 0, "Off", "Undetermined"},
        {0x00, 0x60, 0, "Off", "Invalid value: 3"},
        {0xFF, 0x93, 3, "Off", "Complete"},
    };
    for (const auto& c : cases) {
        Body b(kPage207Size);
        b.u8(2, c.byte2).u8(3, c.byte3);
        const auto page = decodePage207(b.bytes);
        EXPECT_EQ(page.testModeLevel, c.testMode) << int(c.byte2);
        EXPECT_EQ(mainText(page.texts, "lIntHeatingControl"), c.heater) << int(c.byte3);
        ASSERT_EQ(page.obdStates.size(), 1u);
        EXPECT_EQ(page.obdStates[0].row, 3);
        EXPECT_EQ(page.obdStates[0].text, c.readiness) << int(c.byte3);
    }
}

// --- Page 211 ---

Body samplePage211() {
    Body b(kPage211Size);
    b.u16(page211::kPumpHeadTemperature, 253)
        .u8(page211::kPcbTemperature, 0xFD)  // -3
        .u16(page211::kCatalystInTemperature, static_cast<uint16_t>(-40))
        .u16(page211::kCatalystOutTemperature, 350)
        .u8(page211::kUreaTankTemperature, 0xF6)  // -10
        .u8(page211::kBatteryVoltage, 55)
        .u16(page211::kMaf, 200)
        .u16(page211::kConversionRatio, 8550)
        .u16(page211::kTheoreticalNox, static_cast<uint16_t>(-12))
        .u16(page211::kAlternatorFrequency, 100)
        .u16(page211::kLevelSensor, 512)
        .u8(page211::kAlarmCode, 3)
        .u16(page211::kTorqueLimiterCountdown1, 600)
        .u16(page211::kTorqueLimiterCountdown2, 45);
    return b;
}

TEST(Page211, AnalogValuesInTheirOrder) {
    const auto page = decodePage211(samplePage211().bytes, 100.0, installerAt(11), kPoint);
    EXPECT_TRUE(page.complete);
    const struct {
        const char* name;
        const char* text;
    } expected[] = {
        {"lMafSensorKg", "200"},
        {"lAverageMafSensorKg", "130"},  // 0.3 x 200 + 0.7 x 100
        {"lConversionRatioCalculated", "85.50"},
        {"lNoxt", "-12"},
        {"lAlternatorInputFrequency", "100"},
        {"lEngineSpeed", "336.7"},
        {"lLevelSensorValue", "1001.96"},
        {"lUreaTankTempValue", "-10"},
        {"lTempPCBDeg", "-3"},
        {"lTempAmbientDeg", "25.3 "},
        {"lTempCatInDeg", "-40"},
        {"lTempCatOutDeg", "350"},
        {"lBatteryVoltageV", "13.75"},
        {"lAlarmCode", "CANBUS timeout "},
    };
    ASSERT_EQ(page.texts.size(), std::size(expected));
    for (std::size_t i = 0; i < page.texts.size(); ++i) {
        EXPECT_EQ(page.texts[i].window, ReadoutWindow::Main);
        EXPECT_STREQ(page.texts[i].objectName, expected[i].name);
        EXPECT_EQ(page.texts[i].text, expected[i].text) << expected[i].name;
    }
    EXPECT_DOUBLE_EQ(page.averageMaf.value(), 130.0);
    EXPECT_EQ(page.torqueLimiterCountdowns, (std::pair<uint16_t, uint16_t>{600, 45}));
}

TEST(Page211, RunningAverageOfTheMaf) {
    PumpLiveValues values;
    const uint16_t readings[] = {100, 200, 200, 0};
    const char* shown[] = {"100", "130", "151", "106"};  // 0.7 x 151 = 105.7
    for (std::size_t i = 0; i < std::size(readings); ++i) {
        Body b = samplePage211();
        b.u16(page211::kMaf, readings[i]);
        const auto page = decodePage211(b.bytes, values.averageMaf, installerAt(11), kPoint);
        EXPECT_EQ(mainText(page.texts, "lAverageMafSensorKg"), shown[i]) << i;
        values.apply(page);
    }
}

TEST(Page211, EngineSpeedByInstallerDivider) {
    const struct {
        bool extendedVisible;
        const char* divider;
        uint16_t frequency;
        const char* text;
    } cases[] = {
        {false, "?", 100, "336.7"},  // hidden: the default ratio, whatever the label says
        {false, "10", 100, "336.7"},     {false, "?", 0, "0.0"},
        {true, "10", 100, "10000.0"},    {true, "3", 1, "333.3"},
        {true, " 8 ", 2, "250.0"},       {true, "-4", 1, "-250.0"},
        {true, "?", 100, "?"},           {true, "", 100, "?"},
        {true, "12abc", 100, "?"},       {true, "1.5", 100, "?"},
        {true, "99999999999", 100, "?"}, {true, "0", 100, "?"},  // no speed for a divider of 0
    };
    for (const auto& c : cases) {
        InstallerView view = installerAt(12, c.extendedVisible);
        view.alt2EngineSpeedSignalRatio = c.divider;
        Body b = samplePage211();
        b.u16(page211::kAlternatorFrequency, c.frequency);
        EXPECT_EQ(mainText(decodePage211(b.bytes, 0.0, view, kPoint).texts, "lEngineSpeed"), c.text)
            << "divider '" << c.divider << "'";
    }
}

TEST(Page211, LevelBatteryTemperatureAndAlarmEdges) {
    const struct {
        uint16_t level;
        uint8_t battery;
        int16_t head;
        uint8_t alarm;
        const char* levelText;
        const char* batteryText;
        const char* headText;
        const char* alarmText;
    } cases[] = {
        {512, 55, 253, 0, "1001,96", "13,75", "25,3 ", "No alarm"},
        {1100, 4, -15, 6, "0,00", "1,00 ", "-1,5 ", "Invalid value: 6"},
        {1023, 0, 0, 0xFF, "0,00", "0,00 ", "0,0  ", "Invalid value: -1"},
        {0, 255, -32768, 5, "0,00", "63,75", "-3276,8", "EEPROM error"},
    };
    for (const auto& c : cases) {
        Body b = samplePage211();
        b.u16(page211::kLevelSensor, c.level)
            .u8(page211::kBatteryVoltage, c.battery)
            .u16(page211::kPumpHeadTemperature, static_cast<uint16_t>(c.head))
            .u8(page211::kAlarmCode, c.alarm);
        const auto page = decodePage211(b.bytes, 0.0, installerAt(11), kComma);
        EXPECT_EQ(mainText(page.texts, "lLevelSensorValue"), c.levelText);
        EXPECT_EQ(mainText(page.texts, "lBatteryVoltageV"), c.batteryText);
        EXPECT_EQ(mainText(page.texts, "lTempAmbientDeg"), c.headText);
        EXPECT_EQ(mainText(page.texts, "lAlarmCode"), c.alarmText);
    }
}

// --- Short and long bodies ---

// Every prefix of a full page decodes without reading past its end (the copy is exactly the
// prefix, so the address sanitizer sees any over-read), writes only labels whose bytes it holds,
// and writes them with the full page's text.
template <typename Decode>
void checkPrefixes(const std::vector<uint8_t>& full, std::size_t pageSize, Decode decode) {
    const auto reference = decode(full);
    ASSERT_TRUE(reference.complete);
    std::size_t previous = 0;
    for (std::size_t n = 0; n < pageSize; ++n) {
        SCOPED_TRACE(std::to_string(n) + " of " + std::to_string(pageSize) + " bytes");
        const std::vector<uint8_t> prefix(full.begin(), full.begin() + static_cast<long>(n));
        const auto page = decode(prefix);
        EXPECT_FALSE(page.complete);
        EXPECT_GE(page.texts.size(), previous);  // a longer body never shows fewer labels
        previous = page.texts.size();
        for (const auto& t : page.texts) {
            EXPECT_EQ(textOf(page.texts, t.window, t.objectName),
                      textOf(reference.texts, t.window, t.objectName))
                << t.objectName;
        }
    }
    EXPECT_LT(decode({}).texts.size(), reference.texts.size());
    EXPECT_TRUE(decode({}).texts.empty());
    // Bytes past the page are no field of it.
    std::vector<uint8_t> longer = full;
    longer.resize(full.size() + 40, 0xEE);
    const auto extended = decode(longer);
    EXPECT_TRUE(extended.complete);
    ASSERT_EQ(extended.texts.size(), reference.texts.size());
    for (std::size_t i = 0; i < extended.texts.size(); ++i) {
        EXPECT_EQ(extended.texts[i].text, reference.texts[i].text);
    }
}

TEST(ShortPages, EveryPrefixDecodesOnlyTheFieldsItHolds) {
    checkPrefixes(samplePage203().bytes, kPage203Size, [](const std::vector<uint8_t>& b) {
        return decodePage203(b, installerAt(11), kPoint);
    });
    checkPrefixes(samplePage204(0, 9).bytes, kPage204Size, [](const std::vector<uint8_t>& b) {
        return decodePage204(b, installerAt(12), true, kPoint);
    });
    checkPrefixes(Body(kPage205Size).u8(1, 3).u32(3, 77).bytes, kPage205Size,
                  [](const std::vector<uint8_t>& b) { return decodePage205(b, kPoint); });
    checkPrefixes(samplePage206().bytes, kPage206Size,
                  [](const std::vector<uint8_t>& b) { return decodePage206(b, 100, kPoint); });
    checkPrefixes(Body(kPage207Size).u8(0, 0xA5).u8(1, 0x5A).u8(2, 0x08).u8(3, 0x24).bytes,
                  kPage207Size, [](const std::vector<uint8_t>& b) { return decodePage207(b); });
    checkPrefixes(samplePage211().bytes, kPage211Size, [](const std::vector<uint8_t>& b) {
        return decodePage211(b, 50.0, installerAt(11), kPoint);
    });
}

TEST(ShortPages, DerivedValuesOnlyFromFieldsPresent) {
    const Body p203 = samplePage203();
    EXPECT_FALSE(
        decodePage203(std::span(p203.bytes).first(1), installerAt(11), kPoint).factoryCalibration);
    EXPECT_EQ(
        decodePage203(std::span(p203.bytes).first(2), installerAt(11), kPoint).factoryCalibration,
        1234);

    const Body p204 = samplePage204(0, 9);
    const auto cut = decodePage204(std::span(p204.bytes).first(26), installerAt(12), true, kPoint);
    EXPECT_FALSE(cut.pumpSoftwareVersion);  // the minor byte is missing
    EXPECT_TRUE(cut.visibility.empty());    // so the installer is left as it is
    EXPECT_FALSE(cut.pumpTlOutputSetup);
    EXPECT_EQ(cut.externalHeaterPresent, true);
    PumpLiveValues values;
    values.apply(cut);
    EXPECT_TRUE(values.externalHeaterPresent);
    EXPECT_EQ(values.pumpTlOutputSetup, 0);

    const auto headerOnly =
        decodePage204(std::span(p204.bytes).first(6), installerAt(12), true, kPoint);
    EXPECT_FALSE(headerOnly.initialHeaterSelection);  // the heater byte is missing: stays armed

    const Body p211 = samplePage211();
    const auto noSecondCountdown =
        decodePage211(std::span(p211.bytes).first(27), 0.0, installerAt(11), kPoint);
    EXPECT_FALSE(noSecondCountdown.torqueLimiterCountdowns);
    EXPECT_TRUE(noSecondCountdown.averageMaf);
}

// --- Reply 200 ---

std::vector<uint8_t> allPagesTelegram() {
    std::vector<uint8_t> t(kAllPagesTelegramSize, 0);
    t[7] = service_code::kAllPages;
    auto put = [&](std::size_t offset, const std::vector<uint8_t>& body) {
        std::copy(body.begin(), body.end(), t.begin() + static_cast<long>(offset));
    };
    put(45, samplePage203().bytes);
    put(79, samplePage204(0, 9).bytes);
    put(112, Body(kPage205Size).u8(page205::kPumpState, 0xC8).bytes);
    put(127, samplePage206().bytes);
    put(173, Body(kPage207Size).u8(0, 0x80).bytes);
    put(212, samplePage211().bytes);
    return t;
}

TEST(AllPages, SplitAtTheDocumentedOffsets) {
    std::vector<uint8_t> telegram(kAllPagesTelegramSize);
    for (std::size_t i = 0; i < telegram.size(); ++i) {
        telegram[i] = static_cast<uint8_t>(i);
    }
    const auto pages = splitAllPages(telegram);
    const struct {
        uint8_t code;
        std::size_t offset, size;
    } expected[] = {
        {201, 8, 5},    {202, 13, 32},  {203, 45, 34},  {204, 79, 33},
        {205, 112, 15}, {206, 127, 46}, {207, 173, 4},  {208, 177, 3},
        {209, 180, 16}, {210, 196, 16}, {211, 212, 30}, {212, 242, 5},
    };
    ASSERT_EQ(pages.size(), std::size(expected));
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].code, expected[i].code);
        EXPECT_TRUE(pages[i].complete);
        ASSERT_EQ(pages[i].body.size(), expected[i].size) << int(expected[i].code);
        EXPECT_EQ(pages[i].body.front(), static_cast<uint8_t>(expected[i].offset));
        EXPECT_EQ(pages[i].body.size(), pageSize(expected[i].code));
    }
    EXPECT_EQ(pages.back().body.data() + pages.back().body.size(), telegram.data() + 247);
    EXPECT_EQ(pageSize(service_code::kPage216), 9u);
    EXPECT_EQ(pageSize(service_code::kAllPages), 0u);
}

TEST(SinglePages, BodyCutToThePageSize) {
    const struct {
        uint8_t code;
        std::size_t telegramSize;
        std::optional<std::size_t> bodySize;
        bool complete;
    } cases[] = {
        {service_code::kPage212, 20, 5, true},  // trailing bytes are no part of the page
        {service_code::kPage212, 13, 5, true},
        {service_code::kPage216, 12, 4, false},
        {service_code::kPage201, 8, 0, false},
        {service_code::kPage211, 38, 30, true},
        {service_code::kAllPages, 247, std::nullopt, false},  // not a single page
        {213, 40, std::nullopt, false},
        {service_code::kSetFlow, 8, std::nullopt, false},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> telegram(c.telegramSize, 0x33);
        telegram[7] = c.code;
        const auto view = ServiceTelegramView::parse(telegram);
        ASSERT_TRUE(view);
        const auto page = statusPageOf(*view);
        ASSERT_EQ(page.has_value(), c.bodySize.has_value()) << int(c.code);
        if (page) {
            EXPECT_EQ(page->code, c.code);
            EXPECT_EQ(page->body.size(), *c.bodySize) << int(c.code);
            EXPECT_EQ(page->complete, c.complete) << int(c.code);
            EXPECT_EQ(page->body.data(), telegram.data() + 8);
        }
    }
}

TEST(AllPages, ShortAndLongTelegrams) {
    std::vector<uint8_t> telegram(120, 0x11);  // ends inside page 205
    auto pages = splitAllPages(telegram);
    EXPECT_TRUE(pages[3].complete);  // 204
    EXPECT_FALSE(pages[4].complete);
    EXPECT_EQ(pages[4].body.size(), 8u);
    for (std::size_t i = 5; i < pages.size(); ++i) {
        EXPECT_TRUE(pages[i].body.empty());
        EXPECT_FALSE(pages[i].complete);
        EXPECT_EQ(pages[i].code, 201 + i);
    }
    for (std::size_t size : {0u, 7u, 8u}) {
        telegram.assign(size, 0);
        for (const auto& page : splitAllPages(telegram)) {
            EXPECT_TRUE(page.body.empty());
        }
    }
    telegram.assign(300, 0x22);  // bytes past 247 belong to no page
    pages = splitAllPages(telegram);
    EXPECT_EQ(pages.back().body.size(), 5u);
    EXPECT_EQ(pages.back().body.data() + 5, telegram.data() + 247);
}

TEST(AllPages, DecodesInOrderWithValuesFromEarlierPages) {
    PumpLiveValues before;
    before.averageMaf = 100.0;
    InstallerView installer = installerAt(12);
    installer.alt2EngineSpeedSignalRatio = "10";
    const auto telegram = allPagesTelegram();
    const auto all = decodeAllPages(telegram, before, installer, kPoint);

    EXPECT_EQ(all.values.factoryCalibration, 1234);
    // Page 206 used page 203's calibration: 150000 x 1234 x 1e-7 = 18.51 l.
    EXPECT_EQ(mainText(all.page206.texts, "lDosedUrea"), "18.51");
    EXPECT_EQ(all.page204.pumpSoftwareVersion, (PumpSoftwareVersion{0, 9}));
    EXPECT_TRUE(all.installer.extendedConfigVisible);
    EXPECT_TRUE(all.installer.monitorExtHeatersVisible);
    // Page 211 saw gbExtendedConfig shown by page 204: the installer's divider applies.
    EXPECT_EQ(mainText(all.page211.texts, "lEngineSpeed"), "10000.0");
    EXPECT_DOUBLE_EQ(all.values.averageMaf, 130.0);
    EXPECT_EQ(mainText(all.page205.texts, "lPumpState"), "Invalid value: -56");
    EXPECT_EQ(mainText(all.page207.texts, "lValveDosing"), "Open");
    EXPECT_TRUE(all.values.externalHeaterPresent);
    EXPECT_FALSE(all.values.heaterSelectionArmed);
    EXPECT_EQ(all.page204.initialHeaterSelection, 1);
    EXPECT_EQ(all.pages[0].code, service_code::kPage201);
    EXPECT_EQ(all.pages[0].body.size(), kPage201Size);

    // The same reply again: no second heater preset, and the average moves on.
    const auto again = decodeAllPages(telegram, all.values, all.installer, kPoint);
    EXPECT_FALSE(again.page204.initialHeaterSelection);
    EXPECT_DOUBLE_EQ(again.values.averageMaf, 0.3 * 200 + 0.7 * 130.0);
}

TEST(AllPages, TruncatedReplyKeepsEarlierValues) {
    PumpLiveValues before;
    before.factoryCalibration = 77;
    before.averageMaf = 12.0;
    auto telegram = allPagesTelegram();
    telegram.resize(46);  // page 203 holds one byte: no calibration
    const auto all = decodeAllPages(telegram, before, installerAt(11), kPoint);
    EXPECT_EQ(all.values.factoryCalibration, 77);
    EXPECT_DOUBLE_EQ(all.values.averageMaf, 12.0);
    EXPECT_TRUE(all.page203.texts.empty());
    EXPECT_TRUE(all.page211.texts.empty());
    EXPECT_FALSE(all.page211.complete);
}

TEST(PumpSoftwareVersion, FeatureGates) {
    const struct {
        uint8_t major, minor;
        bool customer, page216, readout, oldLayout;
    } cases[] = {
        {0, 5, false, false, false, true}, {0, 6, false, true, false, false},
        {0, 8, false, true, false, false}, {0, 9, false, true, true, false},
        {0, 10, false, true, true, false}, {0, 11, true, true, true, false},
        {1, 0, true, true, true, false},   {0, 0, false, false, false, true},
    };
    for (const auto& c : cases) {
        const PumpSoftwareVersion v{c.major, c.minor};
        EXPECT_EQ(v.customerAccess(), c.customer) << int(c.major) << "." << int(c.minor);
        EXPECT_EQ(v.page216(), c.page216) << int(c.major) << "." << int(c.minor);
        EXPECT_EQ(v.parameterReadout(), c.readout) << int(c.major) << "." << int(c.minor);
        EXPECT_EQ(v.oldConfigurationLayout(), c.oldLayout) << int(c.major) << "." << int(c.minor);
    }
    EXPECT_EQ(PumpSoftwareVersion{}, (PumpSoftwareVersion{0, 6}));  // before any pump is found
}
