// The 90-byte configuration snapshot record: what a save composes from the installer's read-back
// labels and the pump values, and what a load writes into the entry fields and selection boxes.
// Expected records are written out byte by byte.

#include "pump/snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};
const DisplayFormat kComma{',', "%d.%m.%Y"};
constexpr PumpSoftwareVersion kCurrent{0, 11};

const SnapshotConditions kExtended{true, true};
const SnapshotConditions kInstaller{false, false};

// What an installer window shows after a full read-back from a pump of software 0.11.
SnapshotSource readBack() {
    SnapshotSource s;
    s.pumpSoftwareVersion = kCurrent;
    s.externalHeaterSelection = 1;
    s.monitorTankHeater = 0;
    s.monitorLineHeater = 1;
    s.tankUpperLimit = "-5";
    s.tankLowerLimit = "3";
    s.defreezeLimit = "-12";
    s.conversionRatioReduced = "0.29";
    s.conversionRatioThreshold = "7.00";
    s.conversionRatioAveragePeriod = "20";
    s.blockedNozzleRestart = "12";
    s.conversionGain = "1.2345";
    s.catalystVolume = "25";
    s.catalystLength = "300.5";
    s.mafFactor = "120";
    s.ecmCanAddress = "0";
    s.mafAtIdleSpeed = "40";
    s.levelSensorLowLimit = "300";
    s.levelSensorEmptyLimit = "150";
    s.ureaTankMaxStop = "80";
    s.ureaTankMaxRestart = "70";
    s.ureaTankMinStop = "-30";
    s.ureaTankMinRestart = "-25";
    s.pumpLevelSensorSetup = 2;
    s.pumpTlOutputSetup = 1;
    s.pumpInstallerSettings = {{2, 5, 3, 0x95, 0x05, 0x2C, 0x01, 0xE8, 0x03}};
    s.pumpMasks.onOff = 0x027F7FFE;
    s.pumpMasks.immSeq = 0x00091FFE;
    s.pumpMasks.obdActionWords = {0x0515555B, 0x00240551};
    s.pumpMasks.airUnit = 0x00000001;
    return s;
}

// readBack() as record bytes.
const SnapshotRecord kReadBackRecord = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,  // 0-9 not used
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,  // 10-19
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,  // 20-29
    0x05,                                                     // 30 heater, line monitor
    0xFB, 0x03, 0xF4,                                         // 31-33 limits -5, 3, -12
    0x1D, 0x00, 0xBC, 0x02,                                   // 34-37 ratios 29, 700
    0x14, 0x0C,                                               // 38 period 20, 39 restart 12
    0x39, 0x30,                                               // 40-41 gain 12345
    0xFA, 0x00, 0xBD, 0x0B,                                   // 42-45 volume 250, length 3005
    0x78, 0x00,                                               // 46-47 MAF factor 120
    0x00, 0x28, 0x00,                                         // 48 ECM 0, 49-50 MAF 40
    0x2C, 0x01, 0x96, 0x00,                                   // 51-54 limits 300, 150 ohm
    0x02, 0x01,                                               // 55 level setup, 56 TL
    0x02, 0x05, 0x03, 0x95, 0x05, 0x2C, 0x01, 0xE8, 0x03,     // 57-65 settings block
    0xFE, 0x7F, 0x7F, 0x02, 0xFE, 0x1F, 0x09, 0x00,           // 66-73 MI masks
    0x50, 0x46, 0xE2, 0xE7,                                   // 74-77 urea 80, 70, -30, -25
    0x5B, 0x55, 0x15, 0x05, 0x51, 0x05, 0x24, 0x00,           // 78-85 OBD action
    0x01, 0x00, 0x00, 0x00,                                   // 86-89 Air Unit
};

std::map<std::string, std::string> editsOf(const SnapshotApplication& a) {
    std::map<std::string, std::string> out;
    for (const auto& e : a.edits) {
        EXPECT_EQ(e.window, ReadoutWindow::Installer);
        EXPECT_TRUE(out.emplace(e.objectName, e.text).second) << e.objectName << " twice";
    }
    return out;
}

std::map<std::string, int> selectionsOf(const SnapshotApplication& a) {
    std::map<std::string, int> out;
    for (const auto& s : a.selections) {
        EXPECT_TRUE(out.emplace(s.comboName, s.index).second) << s.comboName << " twice";
    }
    return out;
}

SnapshotRecord recordOf(const SnapshotSource& source, const SnapshotConditions& conditions,
                        const DisplayFormat& format = kPoint) {
    const SnapshotBuild build = buildSnapshot(source, conditions, format);
    EXPECT_TRUE(build.record.has_value()) << (build.error ? build.error->message : "");
    return build.record.value_or(SnapshotRecord{});
}

}  // namespace

TEST(SnapshotConditions, LevelAndSoftwareDecideWhatIsVisible) {
    const struct {
        int level;
        PumpSoftwareVersion version;
        SnapshotConditions expected;
    } cases[] = {
        {10, {0, 11}, {false, false}}, {11, {0, 11}, {false, false}}, {12, {0, 5}, {false, false}},
        {12, {0, 6}, {true, false}},   {12, {0, 8}, {true, false}},   {12, {0, 9}, {true, true}},
        {12, {1, 0}, {true, true}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SnapshotConditions::of(c.level, c.version), c.expected)
            << c.level << " " << int(c.version.major) << "." << int(c.version.minor);
    }
}

TEST(SnapshotBuild, RecordHoldsEveryFieldAtItsOffset) {
    EXPECT_EQ(recordOf(readBack(), kExtended), kReadBackRecord);
}

// Labels are read digit by digit: 0.29 x 100 in floating point truncates to 28.
TEST(SnapshotBuild, DecimalLabelsAreReadExactlyInTheOperatorsSeparator) {
    const struct {
        std::string SnapshotSource::*label;
        const char* text;
        const DisplayFormat* format;
        std::size_t offset;
        uint16_t expected;
    } cases[] = {
        {&SnapshotSource::conversionRatioReduced, "0.57", &kPoint, 34, 57},
        {&SnapshotSource::conversionRatioReduced, "0,29", &kComma, 34, 29},
        {&SnapshotSource::conversionRatioThreshold, "1.13", &kPoint, 36, 113},
        {&SnapshotSource::conversionRatioThreshold, " 10.00 ", &kPoint, 36, 1000},
        {&SnapshotSource::conversionGain, "0.0001", &kPoint, 40, 1},
        {&SnapshotSource::conversionGain, "0,1", &kComma, 40, 1000},
        {&SnapshotSource::conversionGain, "2", &kPoint, 40, 20000},
        {&SnapshotSource::catalystVolume, "49.6", &kPoint, 42, 496},
        {&SnapshotSource::catalystLength, "750", &kPoint, 44, 7500},
        {&SnapshotSource::mafFactor, "3000", &kPoint, 46, 3000},
        {&SnapshotSource::mafAtIdleSpeed, "65534", &kPoint, 49, 65534},
    };
    for (const auto& c : cases) {
        SnapshotSource s = readBack();
        if (c.format->decimalPoint == ',') {
            for (std::string* label : {&s.conversionRatioReduced, &s.conversionRatioThreshold,
                                       &s.conversionGain, &s.catalystLength}) {
                std::replace(label->begin(), label->end(), '.', ',');
            }
        }
        s.*c.label = c.text;
        const SnapshotRecord r = recordOf(s, kExtended, *c.format);
        EXPECT_EQ(r[c.offset] | (r[c.offset + 1] << 8), c.expected) << c.text;
    }
}

TEST(SnapshotBuild, FieldItsConditionNeedsWithoutANumberRefusesTheSave) {
    const struct {
        std::string SnapshotSource::*label;
        const char* text;
        SnapshotConditions conditions;
        const char* objectName;
        const char* caption;
    } cases[] = {
        {&SnapshotSource::tankUpperLimit, "?", kInstaller, "lTankUpperLimit",
         "Ext. heater upper limit [C]"},
        {&SnapshotSource::conversionRatioReduced, "0.29", kInstaller, nullptr, nullptr},
        {&SnapshotSource::conversionRatioReduced, "0,29", kInstaller, "lConversionRatioReduced",
         "\"Conversion ratio reduced\""},
        {&SnapshotSource::catalystVolume, "", kInstaller, "lCatalystVolume", "Catalyst volume [l]"},
        {&SnapshotSource::mafFactor, "12a", kInstaller, "lMafFactor", "MAF factor"},
        {&SnapshotSource::blockedNozzleRestart, "1.5", kInstaller, "lBlockedNozzleSetupRestart",
         "Blocked nozzle restart [min]"},
        {&SnapshotSource::conversionGain, ".", kInstaller, "lConversionGain", "Conversion gain"},
        {&SnapshotSource::ecmCanAddress, "?", kExtended, "lECMcanAdrConfiguration",
         "ECM CAN address"},
        {&SnapshotSource::levelSensorEmptyLimit, "?", kExtended, "lLevelSensor_EmptyLimit_Value",
         "Level sensor empty limit [ohm]"},
        {&SnapshotSource::ureaTankMinRestart, "?", kExtended, "lUreaTankMinRestart",
         "Low restart temperature"},
        // Numbers a field cannot hold.
        {&SnapshotSource::tankLowerLimit, "200", kInstaller, "lTankLowerLimit", "200"},
        {&SnapshotSource::catalystVolume, "-1", kInstaller, "lCatalystVolume", "-1"},
        {&SnapshotSource::mafFactor, "65536", kInstaller, "lMafFactor", "65536"},
    };
    for (const auto& c : cases) {
        SnapshotSource s = readBack();
        s.*c.label = c.text;
        const SnapshotBuild b = buildSnapshot(s, c.conditions, kPoint);
        SCOPED_TRACE(c.text);
        if (!c.objectName) {
            EXPECT_TRUE(b.record.has_value());
            continue;
        }
        EXPECT_FALSE(b.record.has_value());
        ASSERT_TRUE(b.error.has_value());
        EXPECT_STREQ(b.error->objectName, c.objectName);
        EXPECT_NE(b.error->message.find(c.caption), std::string::npos) << b.error->message;
    }
}

TEST(SnapshotBuild, HeaterByteFollowsTheBoxesAndOldPumpsMonitorBoth) {
    const struct {
        PumpSoftwareVersion version;
        int external, tank, line;
        uint8_t expected;
    } cases[] = {
        {{0, 9}, 0, 0, 0, 0x00}, {{0, 9}, 1, 1, 0, 0x03}, {{0, 11}, 0, 1, 1, 0x06},
        {{0, 8}, 0, 0, 0, 0x06}, {{0, 8}, 1, 0, 1, 0x07},
    };
    for (const auto& c : cases) {
        SnapshotSource s = readBack();
        s.pumpSoftwareVersion = c.version;
        s.externalHeaterSelection = c.external;
        s.monitorTankHeater = c.tank;
        s.monitorLineHeater = c.line;
        EXPECT_EQ(recordOf(s, kExtended)[30], c.expected) << int(c.version.minor);
    }
    SnapshotSource s = readBack();
    s.monitorLineHeater = -1;
    const SnapshotBuild b = buildSnapshot(s, kExtended, kPoint);
    ASSERT_TRUE(b.error.has_value());
    EXPECT_STREQ(b.error->objectName, "cbMonitorLineHeater");
}

// What the tool does not hold is saved as "not known", never as an invented value; what it holds
// is saved even where the condition fails.
TEST(SnapshotBuild, ValuesTheToolDoesNotHoldAreMarkedNotKnown) {
    SnapshotSource s = readBack();
    s.ecmCanAddress = "?";
    s.levelSensorLowLimit = "?";
    s.levelSensorEmptyLimit = "1022000";  // an open sensor input: more than 16 bits of ohm
    s.ureaTankMaxStop = "?";
    s.ureaTankMinStop = "?";
    s.pumpTlOutputSetup.reset();
    s.pumpInstallerSettings.reset();
    s.pumpMasks.immSeq.reset();
    s.pumpMasks.obdActionWords[1].reset();
    s.pumpMasks.airUnit.reset();
    const SnapshotRecord r = recordOf(s, kInstaller);

    SnapshotRecord expected = kReadBackRecord;
    expected[48] = 0xFF;                                   // ECM address
    expected[51] = expected[52] = 0xFF;                    // low limit
    expected[53] = expected[54] = 0xFF;                    // empty limit
    expected[56] = 0xFF;                                   // TL setup
    std::fill_n(expected.begin() + 57, 9, uint8_t(0xFF));  // settings block
    std::fill_n(expected.begin() + 70, 4, uint8_t(0xFF));  // IMM/SEQ
    expected[74] = expected[76] = 0x7F;                    // two urea limits
    std::fill_n(expected.begin() + 82, 4, uint8_t(0xFF));  // OBD action word 1
    std::fill_n(expected.begin() + 86, 4, uint8_t(0xFF));  // Air Unit
    EXPECT_EQ(r, expected);
}

TEST(SnapshotApply, RoundTripFillsEveryEntryFieldAndBox) {
    const SnapshotApplication a = applySnapshot(kReadBackRecord, kExtended, kCurrent, kPoint);
    const std::map<std::string, std::string> edits = {
        {"eZovar_TankUpper", "-5"},
        {"eZovar_TankLower", "3"},
        {"eExtHeaterConfig_Defreeze", "-12"},
        {"eZovar_ConversionRatioReduced", "0.29"},
        {"eZovar_ConversionRatioThreshold", "7.00"},
        {"eZovar_ConversionRatioAvaragePeriod", "20"},
        {"eZovar_BlockedNozzleSetupRestart", "12"},
        {"eZovar_ConversionGain", "1.2345"},
        {"eZovar_CatalystVolume", "25.0"},
        {"eZovar_CatalystLength", "300.5"},
        {"eZovar_MafFactor", "120"},
        {"eECMcanAdrConfiguration", "0"},
        {"eMAFatIdleSpeed", "40"},
        {"eLevelSensor_LowLimit_NewValue", "300"},
        {"eLevelSensor_EmptyLimit_NewValue", "150"},
        {"eUreaTankMaxStop", "80"},
        {"eUreaTankMaxRestart", "70"},
        {"eUreaTankMinStop", "-30"},
        {"eUreaTankMinRestart", "-25"},
        {"eValveOpenTimeAtPurge_Value", "5"},
        {"eValveCloseTimeAtPurge_Value", "3"},
        {"eNoOfRepAtPurge_Value", "3"},
        {"eEngineSpeedIdleThr", "300"},
        {"eAlt2EngineSpeedSignalRatio", "1000"},
    };
    EXPECT_EQ(editsOf(a), edits);
    const std::map<std::string, int> selections = {
        {"cbExternalHeaterSelection", 1}, {"cbMonitorTankHeater", 0},
        {"cbMonitorLineHeater", 1},       {"cbUreaTankLevelSensorSetup", 2},
        {"cbTLoutputSetup", 1},           {"cbEngineSpeedSetup", 1},
        {"cbMAFsignalSetup", 1},          {"cbConversionRatioSelection", 0},
        {"cbUDSsurveillanceAtPin32", 2},  {"cbDownstreamNOxSelection", 1},
        {"cbUreaTankTempSetup", 0},       {"cbRepeatingPrimeSeq_NewValue", 1},
        {"cbUreaTankTemperatureOBD", 1},
    };
    EXPECT_EQ(selectionsOf(a), selections);
    // The masks of the record are the defaults: the 104 boxes come out as a new window has them.
    EXPECT_EQ(a.maskSelections.size(), 104u);
    MaskSelections boxes;
    applyMaskSelections(boxes, a.maskSelections);
    EXPECT_EQ(boxes, MaskSelections::defaults());
    for (const auto& m : a.maskSelections) {
        EXPECT_STREQ(m.boxName, selectionBoxName(m.row, m.column));
    }
}

TEST(SnapshotApply, DecimalsUseTheOperatorsSeparator) {
    const auto edits = editsOf(applySnapshot(kReadBackRecord, kExtended, kCurrent, kComma));
    EXPECT_EQ(edits.at("eZovar_ConversionRatioReduced"), "0,29");
    EXPECT_EQ(edits.at("eZovar_ConversionGain"), "1,2345");
    EXPECT_EQ(edits.at("eZovar_CatalystVolume"), "25,0");
    // The gain keeps two decimals at least.
    SnapshotRecord r = kReadBackRecord;
    r[40] = 0x10;  // 10000
    r[41] = 0x27;
    EXPECT_EQ(editsOf(applySnapshot(r, kExtended, kCurrent, kPoint)).at("eZovar_ConversionGain"),
              "1.00");
}

TEST(SnapshotApply, ExtendedSaveLoadedAtTheInstallerLevelAppliesOnlyTheAlwaysFields) {
    const SnapshotApplication a = applySnapshot(kReadBackRecord, kInstaller, kCurrent, kPoint);
    const std::map<std::string, std::string> edits = {
        {"eZovar_TankUpper", "-5"},
        {"eZovar_TankLower", "3"},
        {"eExtHeaterConfig_Defreeze", "-12"},
        {"eZovar_ConversionRatioReduced", "0.29"},
        {"eZovar_ConversionRatioThreshold", "7.00"},
        {"eZovar_ConversionRatioAvaragePeriod", "20"},
        {"eZovar_BlockedNozzleSetupRestart", "12"},
        {"eZovar_ConversionGain", "1.2345"},
        {"eZovar_CatalystVolume", "25.0"},
        {"eZovar_CatalystLength", "300.5"},
        {"eZovar_MafFactor", "120"},
    };
    EXPECT_EQ(editsOf(a), edits);
    EXPECT_EQ(selectionsOf(a), (std::map<std::string, int>{{"cbExternalHeaterSelection", 1},
                                                           {"cbMonitorTankHeater", 0},
                                                           {"cbMonitorLineHeater", 1}}));
    EXPECT_TRUE(a.maskSelections.empty());

    // With the extended group but without the urea tank settings: no urea limits, and the urea
    // tank temperature OBD box goes to "Disabled".
    const SnapshotApplication noPanel =
        applySnapshot(kReadBackRecord, {true, false}, kCurrent, kPoint);
    const auto e = editsOf(noPanel);
    EXPECT_EQ(e.count("eUreaTankMaxStop"), 0u);
    EXPECT_EQ(e.count("eECMcanAdrConfiguration"), 1u);
    EXPECT_EQ(selectionsOf(noPanel).at("cbUreaTankTemperatureOBD"), 0);
    // The urea tank settings alone do not apply without the extended group.
    EXPECT_EQ(editsOf(applySnapshot(kReadBackRecord, {false, true}, kCurrent, kPoint)), edits);
}

// An installer-level save of a pump that never reported its extended values, loaded at the
// extended level: the fields the tool did not hold stay as they are.
TEST(SnapshotApply, NotKnownFieldsLeaveTheirControlsAlone) {
    SnapshotSource s = readBack();
    s.ecmCanAddress = "?";
    s.mafAtIdleSpeed = "?";
    s.levelSensorLowLimit = "?";
    s.ureaTankMaxRestart = "?";
    s.pumpLevelSensorSetup.reset();
    s.pumpTlOutputSetup.reset();
    s.pumpInstallerSettings.reset();
    s.pumpMasks = PumpMaskValues{};
    s.pumpMasks.obdActionWords[0] = 0x0515555B;  // only word 0 came in
    const SnapshotApplication a =
        applySnapshot(recordOf(s, kInstaller), kExtended, kCurrent, kPoint);

    const auto edits = editsOf(a);
    for (const char* name :
         {"eECMcanAdrConfiguration", "eMAFatIdleSpeed", "eLevelSensor_LowLimit_NewValue",
          "eUreaTankMaxRestart", "eValveOpenTimeAtPurge_Value", "eEngineSpeedIdleThr"}) {
        EXPECT_EQ(edits.count(name), 0u) << name;
    }
    // Held values are loaded even though the save's conditions did not need them.
    EXPECT_EQ(edits.at("eLevelSensor_EmptyLimit_NewValue"), "150");
    EXPECT_EQ(edits.at("eUreaTankMaxStop"), "80");
    const auto selections = selectionsOf(a);
    for (const char* name : {"cbUreaTankLevelSensorSetup", "cbTLoutputSetup", "cbEngineSpeedSetup",
                             "cbUreaTankTemperatureOBD"}) {
        EXPECT_EQ(selections.count(name), 0u) << name;
    }
    // Rows 1 to 15 of column 3 from word 0, nothing else of the grid.
    ASSERT_EQ(a.maskSelections.size(), 15u);
    for (const auto& m : a.maskSelections) {
        EXPECT_EQ(m.column, MaskColumn::ObdAction);
        EXPECT_LE(m.row, 15);
    }
}

// Record values whose box has no such item, or that give no number, leave their control alone.
TEST(SnapshotApply, ValuesWithoutAnItemOrANumberAreNotApplied) {
    const struct {
        std::size_t offset;
        uint8_t value;
        const char* untouched;
        const char* stillSet;
    } cases[] = {
        {56, 2, "cbTLoutputSetup", "cbUreaTankLevelSensorSetup"},  // "Circuit Breaker"
        {55, 3, "cbUreaTankLevelSensorSetup", "cbTLoutputSetup"},
        {60, 0x82, "cbUDSsurveillanceAtPin32", "cbDownstreamNOxSelection"},  // index 3
        {60, 0x60, "cbUreaTankTempSetup", "cbMAFsignalSetup"},               // index 3
        {61, 0x07, "cbEngineSpeedSetup", "cbUreaTankTemperatureOBD"},        // index 3
        {61, 0x0C, "cbUreaTankTemperatureOBD", "cbEngineSpeedSetup"},        // index 3
    };
    for (const auto& c : cases) {
        SnapshotRecord r = kReadBackRecord;
        r[c.offset] = c.value;
        const auto selections = selectionsOf(applySnapshot(r, kExtended, kCurrent, kPoint));
        EXPECT_EQ(selections.count(c.untouched), 0u) << c.untouched;
        EXPECT_EQ(selections.count(c.stillSet), 1u) << c.stillSet;
    }

    // Divider 0: no idle threshold in rpm; the divider itself is loaded.
    SnapshotRecord r = kReadBackRecord;
    r[64] = r[65] = 0;
    auto edits = editsOf(applySnapshot(r, kExtended, kCurrent, kPoint));
    EXPECT_EQ(edits.count("eEngineSpeedIdleThr"), 0u);
    EXPECT_EQ(edits.at("eAlt2EngineSpeedSignalRatio"), "0");

    // An OBD action pair of 3 in row 2 (bits 4-5): that box stays, the other 25 are set.
    r = kReadBackRecord;
    r[78] |= 0x30;
    const SnapshotApplication a = applySnapshot(r, kExtended, kCurrent, kPoint);
    int actionBoxes = 0;
    for (const auto& m : a.maskSelections) {
        if (m.column == MaskColumn::ObdAction) {
            ++actionBoxes;
            EXPECT_NE(m.row, 2);
        }
    }
    EXPECT_EQ(actionBoxes, 25);
}

TEST(SnapshotApply, OldPumpsMonitorBothHeaters) {
    SnapshotRecord r = kReadBackRecord;
    r[30] = 0x00;
    const auto old = selectionsOf(applySnapshot(r, kExtended, {0, 8}, kPoint));
    EXPECT_EQ(old.at("cbExternalHeaterSelection"), 0);
    EXPECT_EQ(old.at("cbMonitorTankHeater"), 1);
    EXPECT_EQ(old.at("cbMonitorLineHeater"), 1);
    const auto current = selectionsOf(applySnapshot(r, kExtended, {0, 9}, kPoint));
    EXPECT_EQ(current.at("cbMonitorTankHeater"), 0);
    EXPECT_EQ(current.at("cbMonitorLineHeater"), 0);
}
