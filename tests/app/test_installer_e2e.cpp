// The installer window against the built-in simulated pump of each generation, with time driven by
// hand: the operator opens the window, types the installation, downloads; the pump stores what it
// received and echoes it; the tool confirms; the pump's own pages and readouts then report the
// new values in the window.

#include <gtest/gtest.h>

#include <QDate>
#include <functional>

#include "installer/installer.h"
#include "mainwindow/main_window.h"
#include "pump/installer_access.h"
#include "sim_harness.h"

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};

struct Typed {
    const char* control;
    const char* text;
};
struct Chosen {
    const char* control;
    int index;
};

// What the installer types on "Setup", at any level.
const Typed kBasic[] = {
    {"eVIN", "WDB12345"},
    {"eZovar_Dashboard", "98765"},
    {"eZovar_BlockedNozzleSetupRestart", "45"},
    {"eZovar_TankUpper", "12"},
    {"eZovar_TankLower", "-8"},
    {"eExtHeaterConfig_Defreeze", "-15"},
    {"eZovar_CatalystVolume", "32.5"},
    {"eZovar_CatalystLength", "410.2"},
    {"eZovar_ConversionGain", "1.35"},
    {"eZovar_MafFactor", "275"},
    {"eZovar_ConversionRatioReduced", "4.5"},
    {"eZovar_ConversionRatioThreshold", "6.25"},
    {"eZovar_ConversionRatioAvaragePeriod", "15"},
};
// And what the extended level changes besides.
const Chosen kExtendedChoices[] = {
    {"cbConversionRatioSelection", 0},
    {"cbMAFsignalSetup", 0},
    {"cbTLoutputSetup", 1},
    {"cbEngineSpeedSetup", 2},
    {"cbUreaTankLevelSensorSetup", 2},
    {"cbUDSsurveillanceAtPin32", 2},
    {"cbUreaTankTemperatureOBD", 1},
};
const Typed kExtendedTexts[] = {
    {"eECMcanAdrConfiguration", "3"},
    {"eMAFatIdleSpeed", "55"},
    {"eEngineSpeedIdleThr", "450"},
    {"eAlt2EngineSpeedSignalRatio", "1200"},
    {"eLevelSensor_LowLimit_NewValue", "600"},
    {"eLevelSensor_EmptyLimit_NewValue", "200"},
    {"eValveOpenTimeAtPurge_Value", "8"},
    {"eValveCloseTimeAtPurge_Value", "2"},
    {"eNoOfRepAtPurge_Value", "4"},
    {"eUreaTankMaxStop", "95"},
    {"eUreaTankMaxRestart", "85"},
    {"eUreaTankMinStop", "-35"},
    {"eUreaTankMinRestart", "-28"},
};

struct Case {
    const char* name;
    sim::SoftwareVersion software;
    int level;
    const char* status;
    std::function<void(const sim::PumpConfig&)> stored;
    // Labels of the installer window after the next poll rounds.
    std::vector<std::pair<const char*, const char*>> shown;
};

// What every generation stores of the basic settings.
void basicStored(const sim::PumpConfig& k) {
    EXPECT_EQ(k.vin, "WDB12345");
    EXPECT_EQ(k.dashboard, 98765u);
    EXPECT_EQ(k.installDate, 25 | (3 << 7) | (14 << 11));
    EXPECT_EQ(k.blockedNozzleRestart, 45);
    EXPECT_EQ(k.catalystVolume, 325);
    EXPECT_EQ(k.catalystLength, 4102);
    EXPECT_EQ(k.conversionGain, 13500);
    EXPECT_EQ(k.heaterUpper, 12);
    EXPECT_EQ(k.heaterLower, -8);
}

// The pump's own settings that the installer level cannot see go back as they were.
void hiddenKept(const sim::PumpConfig& k) {
    const sim::PumpConfig before;
    EXPECT_EQ(k.ecmAddress, before.ecmAddress);
    EXPECT_EQ(k.minimumMaf, before.minimumMaf);
    EXPECT_EQ(k.speedDivider, before.speedDivider);
    EXPECT_EQ(k.idleThreshold, before.idleThreshold);
    EXPECT_EQ(k.engineSpeedSetup, before.engineSpeedSetup);
    EXPECT_EQ(k.levelSensorSetup, before.levelSensorSetup);
    EXPECT_EQ(k.levelLowLimit, before.levelLowLimit);
    EXPECT_EQ(k.tlOutputSetup, before.tlOutputSetup);
    EXPECT_EQ(k.heaterBits, before.heaterBits);
    EXPECT_EQ(k.ureaTankTempObd, before.ureaTankTempObd);
    EXPECT_EQ(k.conversionRatioSelection, before.conversionRatioSelection);
    EXPECT_EQ(k.conversionReduced, before.conversionReduced);  // switched off: not changed
}

void extendedStored(const sim::PumpConfig& k) {
    EXPECT_EQ(k.ecmAddress, 3);
    EXPECT_EQ(k.minimumMaf, 55);
    EXPECT_EQ(k.speedDivider, 1200);
    EXPECT_EQ(k.idleThreshold, 540);  // round(450 x 1200 x 0.001)
    EXPECT_EQ(k.tlOutputSetup, 1);
    EXPECT_EQ(k.engineSpeedSetup, 2);
    EXPECT_EQ(k.levelSensorSetup, 2);
    EXPECT_EQ(k.udsSurveillance, 2);
    EXPECT_EQ(k.conversionRatioSelection, 0);
    EXPECT_EQ(k.conversionReduced, 450);
    EXPECT_EQ(k.mafFactor, 275);
    EXPECT_EQ(k.purgeSequencesMinus1, 3);
    EXPECT_EQ(k.ureaHighStop, 95);
    EXPECT_EQ(k.ureaLowRestart, -28);
}

TEST(InstallerAgainstTheSimulatedPump, EachGenerationDownloadsAndReadsBack) {
    const Case cases[] = {
        {"0.05, installer level",
         {0, 5},
         kAccessLevelInstaller,
         "Configuration data downloaded!",
         [](const sim::PumpConfig& k) {
             basicStored(k);
             EXPECT_EQ(k.mafFactor, 275);
             EXPECT_EQ(k.conversionReduced, 450);
         },
         {{"lCatalystVolume", "32.5"}, {"lDashboard", "98765"}, {"lTankUpperLimit", "12"}}},
        {"0.09, installer level",
         {0, 9},
         kAccessLevelInstaller,
         "Configuration data downloaded!",
         [](const sim::PumpConfig& k) {
             basicStored(k);
             hiddenKept(k);
         },
         {{"lCatalystLength", "410.2"}, {"lBlockedNozzleSetupRestart", "45"}}},
        {"0.09, extended level",
         {0, 9},
         kAccessLevelExtended,
         "Configuration data downloaded",
         [](const sim::PumpConfig& k) {
             basicStored(k);
             extendedStored(k);
         },
         {{"lUreaTankMaxStop", "95"},
          {"lEngineSpeedSignalConfig_Value", "From ECM"},
          {"lAlt2EngineSpeedSignalRatio", "1200"},
          {"lNoOfRepAtPurge_Value", "4"}}},
        {"0.11, installer level",
         {0, 11},
         kAccessLevelInstaller,
         "Configuration data downloaded",
         [](const sim::PumpConfig& k) {
             basicStored(k);
             hiddenKept(k);
         },
         {{"lMafFactor", "275"}, {"lDashboard", "98765"}}},
        {"0.11, extended level",
         {0, 11},
         kAccessLevelExtended,
         "Configuration data downloaded",
         [](const sim::PumpConfig& k) {
             basicStored(k);
             extendedStored(k);
         },
         {{"lUDSsurveillanceAtPin32_Value", "OBD only"},
          {"lTLoutputSetup", "Normal TL"},
          {"lECMcanAdrConfiguration", "3"},
          {"lEngineSpeedIdleThr", "450"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::PumpOptions options;
        options.software = c.software;
        SimHarness h(options);
        h.core().pageDisplay().format = kPoint;
        TfInstaller& w = h.app().installer().window();
        h.run(8000);  // found, two poll rounds of pages
        ASSERT_TRUE(h.core().scheduler().pumpConnected());

        h.dialogs.modalResult = c.level;
        h.app().mainWindow().Installer1->trigger();
        ASSERT_TRUE(w.isVisible());
        for (const Typed& t : kBasic) {
            w.edit(t.control)->setText(t.text);
        }
        w.dtpZovar_InstallDate->setDate(QDate(2025, 3, 14));
        if (c.level == kAccessLevelExtended) {
            ASSERT_FALSE(w.gbExtendedConfig->isHidden());
            for (const Chosen& choice : kExtendedChoices) {
                w.combo(choice.control)->setCurrentIndex(choice.index);
            }
            w.refreshEnableRules();
            for (const Typed& t : kExtendedTexts) {
                w.edit(t.control)->setText(t.text);
            }
        }
        h.dialogs.shown.clear();
        h.dialogs.answers = {true, true};  // overwrite the pump's date and dashboard
        w.btZovar_DownloadConfiguration->click();
        ASSERT_EQ(h.dialogs.shown.size(), 1u) << h.dialogs.texts().join(" | ").toStdString();
        EXPECT_EQ(h.dialogs.questions.size(), 2u);

        EXPECT_TRUE(h.runUntil([&] { return h.label("Form1", "lStatus") == c.status; }, 30000))
            << h.label("Form1", "lStatus").toStdString();
        c.stored(h.pump().state().config);
        EXPECT_EQ(h.label("fInstaller", "lVIN"), "WDB12345");

        h.run(7000);  // the pages of the next poll rounds
        for (const auto& [label, text] : c.shown) {
            EXPECT_EQ(h.label("fInstaller", label), text) << label;
        }
        EXPECT_EQ(h.label("fInstaller", "lInstallDate"), "2025-03-14");
        EXPECT_EQ(h.label("Form1", "lCatalystVolume"), "32.5");
        EXPECT_EQ(h.dialogs.shown.size(), 1u) << h.dialogs.texts().join(" | ").toStdString();
    }
}

}  // namespace
