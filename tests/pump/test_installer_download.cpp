// The configuration download: the checks in their order with their messages and focus, and the
// three telegram generations against bytes written out by hand from the pump's layouts.

#include "pump/config_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "installer_test_util.h"

using namespace installer_test;

namespace {

using Telegram = std::vector<uint8_t>;

// Every control set to a valid value, at the extended level on a 0.09 pump with the urea tank
// panel shown.
ConfigurationInput validInput() {
    ConfigurationInput in;
    in.vin = "WDB12345678901234";
    in.installDate = {2024, 5, 17};
    in.dashboard = "123456";
    in.blockedNozzleRestart = "30";
    in.externalHeater = 1;
    in.heaterLimitsEnabled = true;
    in.heaterUpperLimit = "10";
    in.heaterLowerLimit = "-5";
    in.heaterDefreezeLimit = "-10";
    in.catalystVolume = "12.3";
    in.catalystLength = "456.7";
    in.conversionGain = "1.25";
    in.mafFactor = "321";
    in.conversionRatioReduced = "5";
    in.conversionRatioThreshold = "7";
    in.averagingPeriod = "20";
    in.downstreamNox = 1;
    in.tlOutput = 1;
    in.engineSpeed = 1;
    in.mafSignal = 0;
    in.ecmCanAddress = "7";
    in.conversionRatioSelection = 0;
    in.minimumMaf = "40";
    in.idleThreshold = "300";
    in.divider = "1000";
    in.ureaTankTempSensor = 1;
    in.levelSensor = 2;
    in.levelLowLimit = "1002";
    in.levelEmptyLimit = "150";
    in.levelLowLimitActual = "1002";
    in.levelEmptyLimitActual = "150";
    in.repeatingPrime = 1;
    in.valveOpenTime = "6";
    in.valveCloseTime = "3";
    in.purgeSequences = "5";
    in.udsSurveillance = 2;
    in.ureaTankTemperatureObd = 1;
    in.ureaHighStop = "80";
    in.ureaHighRestart = "70";
    in.ureaLowStop = "-30";
    in.ureaLowRestart = "-25";
    in.monitorTankHeater = 0;
    in.monitorLineHeater = 1;
    in.extendedConfigVisible = true;
    in.ureaTankPanelVisible = true;
    in.pumpSoftware = {0, 9};
    return in;
}

// The installer level: the extended controls are hidden and hold what the pump reported.
ConfigurationInput installerLevel(ConfigurationInput in) {
    in.extendedConfigVisible = false;
    in.ureaTankPanelVisible = false;
    return in;
}

std::optional<ValidationFailure> failureOf(const ConfigurationInput& in,
                                           const DisplayFormat& format = kPoint) {
    const auto r = validateConfiguration(in, format);
    if (auto f = std::get_if<ValidationFailure>(&r)) {
        return *f;
    }
    return std::nullopt;
}

InstallerConfiguration configOf(const ConfigurationInput& in,
                                const DisplayFormat& format = kPoint) {
    auto r = validateConfiguration(in, format);
    if (auto f = std::get_if<ValidationFailure>(&r)) {
        ADD_FAILURE() << "message " << f->message << " at " << f->focus;
        return {};
    }
    return std::get<InstallerConfiguration>(r);
}

struct CheckCase {
    const char* what;
    std::function<void(ConfigurationInput&)> change;
    std::optional<ValidationFailure> failure;  // nothing: accepted
};

// The valid input as an operator with a comma separator types it.
ConfigurationInput inFormat(ConfigurationInput in, const DisplayFormat& format) {
    for (std::string* text : {&in.catalystVolume, &in.catalystLength, &in.conversionGain,
                              &in.conversionRatioReduced, &in.conversionRatioThreshold}) {
        std::replace(text->begin(), text->end(), '.', format.decimalPoint);
    }
    return in;
}

void runChecks(const std::vector<CheckCase>& cases, const DisplayFormat& format = kPoint) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigurationInput in = inFormat(validInput(), format);
        c.change(in);
        const auto failure = failureOf(in, format);
        if (c.failure) {
            ASSERT_TRUE(failure.has_value());
            EXPECT_EQ(failure->message, c.failure->message);
            EXPECT_STREQ(failure->focus, c.failure->focus);
        } else {
            EXPECT_FALSE(failure.has_value())
                << "message " << failure->message << " at " << failure->focus;
        }
    }
}

using In = ConfigurationInput;

TEST(DownloadValidation, BasicParametersAndTheirBoundaries) {
    runChecks({
        {"valid", [](In&) {}, std::nullopt},
        {"empty VIN", [](In& in) { in.vin = ""; }, ValidationFailure{25, "eVIN"}},
        {"22-character VIN", [](In& in) { in.vin = std::string(22, 'A'); },
         ValidationFailure{25, "eVIN"}},
        {"21-character VIN", [](In& in) { in.vin = std::string(21, 'A'); }, std::nullopt},
        {"VIN beyond ASCII", [](In& in) { in.vin = "WDB\xC3\x84"; }, ValidationFailure{25, "eVIN"}},
        {"dashboard 10000000", [](In& in) { in.dashboard = "10000000"; }, std::nullopt},
        {"dashboard 10000001", [](In& in) { in.dashboard = "10000001"; },
         ValidationFailure{12, "eZovar_Dashboard"}},
        {"dashboard -1", [](In& in) { in.dashboard = "-1"; },
         ValidationFailure{12, "eZovar_Dashboard"}},
        {"dashboard 12 km", [](In& in) { in.dashboard = "12 km"; },
         ValidationFailure{12, "eZovar_Dashboard"}},
        {"restart 255", [](In& in) { in.blockedNozzleRestart = "255"; }, std::nullopt},
        {"restart 256", [](In& in) { in.blockedNozzleRestart = "256"; },
         ValidationFailure{29, "eZovar_BlockedNozzleSetupRestart"}},
        {"heater upper 41", [](In& in) { in.heaterUpperLimit = "41"; },
         ValidationFailure{13, "eZovar_TankUpper"}},
        {"heater lower -41", [](In& in) { in.heaterLowerLimit = "-41"; },
         ValidationFailure{14, "eZovar_TankLower"}},
        {"lower 0, defreeze -41",
         [](In& in) {
             in.heaterLowerLimit = "0";
             in.heaterDefreezeLimit = "-41";
         },
         ValidationFailure{15, "eExtHeaterConfig_Defreeze"}},
        {"defreeze -40", [](In& in) { in.heaterDefreezeLimit = "-40"; }, std::nullopt},
        {"heater disabled: limits not checked",
         [](In& in) {
             in.externalHeater = 0;
             in.heaterLimitsEnabled = false;
             in.heaterUpperLimit = "99";
             in.heaterDefreezeLimit = "";
         },
         std::nullopt},
        {"volume 4.96", [](In& in) { in.catalystVolume = "4.96"; }, std::nullopt},
        {"volume 4.94", [](In& in) { in.catalystVolume = "4.94"; },
         ValidationFailure{9, "eZovar_CatalystVolume"}},
        {"volume 500.04", [](In& in) { in.catalystVolume = "500.04"; }, std::nullopt},
        {"volume 500.05", [](In& in) { in.catalystVolume = "500.05"; },
         ValidationFailure{9, "eZovar_CatalystVolume"}},
        {"volume 5e1", [](In& in) { in.catalystVolume = "5e1"; }, std::nullopt},
        {"volume empty", [](In& in) { in.catalystVolume = ""; },
         ValidationFailure{9, "eZovar_CatalystVolume"}},
        {"length 49.94", [](In& in) { in.catalystLength = "49.94"; },
         ValidationFailure{10, "eZovar_CatalystLength"}},
        {"length 750.04", [](In& in) { in.catalystLength = "750.04"; }, std::nullopt},
        {"gain 0.1", [](In& in) { in.conversionGain = "0.1"; }, std::nullopt},
        {"gain 0.09994", [](In& in) { in.conversionGain = "0.09994"; },
         ValidationFailure{11, "eZovar_ConversionGain"}},
        {"gain 2.00004", [](In& in) { in.conversionGain = "2.00004"; }, std::nullopt},
        {"gain 2.00005", [](In& in) { in.conversionGain = "2.00005"; },
         ValidationFailure{11, "eZovar_ConversionGain"}},
        {"gain 0,1 under a point", [](In& in) { in.conversionGain = "0,1"; },
         ValidationFailure{11, "eZovar_ConversionGain"}},
        {"MAF factor 49", [](In& in) { in.mafFactor = "49"; },
         ValidationFailure{8, "eZovar_MafFactor"}},
        {"MAF factor 3000", [](In& in) { in.mafFactor = "3000"; }, std::nullopt},
        {"MAF factor disabled, empty",
         [](In& in) {
             in.mafFactorEnabled = false;
             in.mafSignal = 1;
             in.mafFactor = "";
         },
         std::nullopt},
        {"ratio reduced 0.004", [](In& in) { in.conversionRatioReduced = "0.004"; },
         ValidationFailure{26, "eZovar_ConversionRatioReduced"}},
        {"ratio reduced 0.005", [](In& in) { in.conversionRatioReduced = "0.005"; }, std::nullopt},
        {"ratio threshold 10.01", [](In& in) { in.conversionRatioThreshold = "10.01"; },
         ValidationFailure{27, "eZovar_ConversionRatioThreshold"}},
        {"averaging period 0", [](In& in) { in.averagingPeriod = "0"; },
         ValidationFailure{28, "eZovar_ConversionRatioAvaragePeriod"}},
        {"averaging period 1.5", [](In& in) { in.averagingPeriod = "1.5"; },
         ValidationFailure{28, "eZovar_ConversionRatioAvaragePeriod"}},
        {"ratio disabled: not checked",
         [](In& in) {
             in.conversionRatioSelection = 1;
             in.conversionRatioEnabled = false;
             in.conversionRatioReduced = "";
             in.conversionRatioThreshold = "x";
             in.averagingPeriod = "0";
         },
         std::nullopt},
    });
}

TEST(DownloadValidation, DecimalEditsFollowTheOperatorsSeparator) {
    runChecks(
        {
            {"gain 0,1", [](In& in) { in.conversionGain = "0,1"; }, std::nullopt},
            {"gain 0.1", [](In& in) { in.conversionGain = "0.1"; },
             ValidationFailure{11, "eZovar_ConversionGain"}},
            {"volume 4,96", [](In& in) { in.catalystVolume = "4,96"; }, std::nullopt},
            {"volume 4,94", [](In& in) { in.catalystVolume = "4,94"; },
             ValidationFailure{9, "eZovar_CatalystVolume"}},
            {"volume 1.000,5", [](In& in) { in.catalystVolume = "1.000,5"; },
             ValidationFailure{9, "eZovar_CatalystVolume"}},
        },
        kComma);
    ConfigurationInput in = inFormat(validInput(), kComma);
    in.conversionGain = "0,1";
    in.catalystVolume = "4,96";
    in.catalystLength = " 500,04 ";
    in.conversionRatioReduced = "0,01";
    const auto c = configOf(in, kComma);
    EXPECT_EQ(c.conversionGain, 1000);
    EXPECT_EQ(c.catalystVolume, 50);
    EXPECT_EQ(c.catalystLength, 5000);
    EXPECT_EQ(c.conversionRatioReduced, 1);
}

TEST(DownloadValidation, ExtendedParametersOnlyWhileTheGroupIsShown) {
    runChecks({
        {"downstream NOx", [](In& in) { in.downstreamNox = -1; },
         ValidationFailure{37, "cbDownstreamNOxSelection"}},
        {"TL output", [](In& in) { in.tlOutput = -1; }, ValidationFailure{37, "cbTLoutputSetup"}},
        {"engine speed past its items", [](In& in) { in.engineSpeed = 3; },
         ValidationFailure{37, "cbEngineSpeedSetup"}},
        {"MAF signal", [](In& in) { in.mafSignal = -1; },
         ValidationFailure{37, "cbMAFsignalSetup"}},
        {"ECM address 254", [](In& in) { in.ecmCanAddress = "254"; },
         ValidationFailure{30, "eECMcanAdrConfiguration"}},
        {"ECM address 253", [](In& in) { in.ecmCanAddress = "253"; }, std::nullopt},
        {"ratio configuration", [](In& in) { in.conversionRatioSelection = -1; },
         ValidationFailure{37, "cbConversionRatioSelection"}},
        {"minimum MAF 9", [](In& in) { in.minimumMaf = "9"; },
         ValidationFailure{31, "eMAFatIdleSpeed"}},
        {"minimum MAF 501", [](In& in) { in.minimumMaf = "501"; },
         ValidationFailure{31, "eMAFatIdleSpeed"}},
        {"minimum MAF empty", [](In& in) { in.minimumMaf = ""; },
         ValidationFailure{31, "eMAFatIdleSpeed"}},
        {"minimum MAF 500", [](In& in) { in.minimumMaf = "500"; }, std::nullopt},
        {"idle threshold 9", [](In& in) { in.idleThreshold = "9"; },
         ValidationFailure{38, "eEngineSpeedIdleThr"}},
        {"divider 3001", [](In& in) { in.divider = "3001"; },
         ValidationFailure{39, "eAlt2EngineSpeedSignalRatio"}},
        {"urea tank sensor", [](In& in) { in.ureaTankTempSensor = -1; },
         ValidationFailure{37, "cbUreaTankTempSetup"}},
        {"level sensor", [](In& in) { in.levelSensor = -1; },
         ValidationFailure{37, "cbUreaTankLevelSensorSetup"}},
        {"low limit 45", [](In& in) { in.levelLowLimit = "45"; },
         ValidationFailure{32, "eLevelSensor_LowLimit_NewValue"}},
        {"empty limit 24001", [](In& in) { in.levelEmptyLimit = "24001"; },
         ValidationFailure{33, "eLevelSensor_EmptyLimit_NewValue"}},
        {"limits disabled: not checked",
         [](In& in) {
             in.levelSensor = 1;
             in.levelLimitsEnabled = false;
             in.levelLowLimit = "45";
         },
         std::nullopt},
        {"repeating prime", [](In& in) { in.repeatingPrime = -1; },
         ValidationFailure{37, "cbRepeatingPrimeSeq_NewValue"}},
        {"valve open 0", [](In& in) { in.valveOpenTime = "0"; },
         ValidationFailure{34, "eValveOpenTimeAtPurge_Value"}},
        {"valve close 0", [](In& in) { in.valveCloseTime = "0"; }, std::nullopt},
        {"valve close 101", [](In& in) { in.valveCloseTime = "101"; },
         ValidationFailure{35, "eValveCloseTimeAtPurge_Value"}},
        {"purge sequences 0", [](In& in) { in.purgeSequences = "0"; },
         ValidationFailure{36, "eNoOfRepAtPurge_Value"}},
        {"urea tank OBD", [](In& in) { in.ureaTankTemperatureObd = -1; },
         ValidationFailure{37, "cbUreaTankTemperatureOBD"}},
        {"urea tank OBD with its panel hidden",
         [](In& in) {
             in.ureaTankPanelVisible = false;
             in.ureaTankTemperatureObd = -1;
         },
         std::nullopt},
        {"UDS surveillance", [](In& in) { in.udsSurveillance = -1; },
         ValidationFailure{37, "cbUDSsurveillanceAtPin32"}},
        {"high stop 121", [](In& in) { in.ureaHighStop = "121"; },
         ValidationFailure{40, "eUreaTankMaxStop"}},
        {"high stop 120", [](In& in) { in.ureaHighStop = "120"; }, std::nullopt},
        {"low restart -41", [](In& in) { in.ureaLowRestart = "-41"; },
         ValidationFailure{40, "eUreaTankMinRestart"}},
        {"OBD disabled: temperatures not checked",
         [](In& in) {
             in.ureaTankTemperatureObd = 0;
             in.ureaHighStop = "121";
         },
         std::nullopt},
        {"extended group hidden: nothing of it checked",
         [](In& in) {
             in = installerLevel(in);
             in.downstreamNox = -1;
             in.ecmCanAddress = "";
             in.minimumMaf = "5";
             in.valveOpenTime = "0";
             in.ureaHighStop = "121";
         },
         std::nullopt},
    });
}

TEST(DownloadValidation, FirstFailureInTheOrderWins) {
    runChecks({
        {"VIN before dashboard",
         [](In& in) {
             in.vin = "";
             in.dashboard = "x";
         },
         ValidationFailure{25, "eVIN"}},
        {"restart before heater",
         [](In& in) {
             in.blockedNozzleRestart = "x";
             in.heaterUpperLimit = "x";
         },
         ValidationFailure{29, "eZovar_BlockedNozzleSetupRestart"}},
        {"catalyst before MAF factor",
         [](In& in) {
             in.catalystLength = "x";
             in.mafFactor = "x";
         },
         ValidationFailure{10, "eZovar_CatalystLength"}},
        {"basic before extended",
         [](In& in) {
             in.averagingPeriod = "x";
             in.downstreamNox = -1;
         },
         ValidationFailure{28, "eZovar_ConversionRatioAvaragePeriod"}},
        {"ECM before ratio configuration",
         [](In& in) {
             in.ecmCanAddress = "x";
             in.conversionRatioSelection = -1;
         },
         ValidationFailure{30, "eECMcanAdrConfiguration"}},
        {"ratio configuration before minimum MAF before idle threshold",
         [](In& in) {
             in.minimumMaf = "x";
             in.idleThreshold = "x";
         },
         ValidationFailure{31, "eMAFatIdleSpeed"}},
        {"purge before UDS",
         [](In& in) {
             in.purgeSequences = "x";
             in.udsSurveillance = -1;
         },
         ValidationFailure{36, "eNoOfRepAtPurge_Value"}},
    });
}

// --- Layouts ---

TEST(DownloadLayout, BySoftwareVersion) {
    const struct {
        uint8_t major, minor;
        ConfigurationLayout layout;
    } cases[] = {
        {0, 0, ConfigurationLayout::Old147},
        {0, 5, ConfigurationLayout::Old147},
        {0, 6, ConfigurationLayout::New163},
        {0, 9, ConfigurationLayout::New163},
        {0, 10, ConfigurationLayout::New163},
        {0, 11, ConfigurationLayout::ParameterWrites172},
        {1, 0, ConfigurationLayout::ParameterWrites172},
        {1, 5, ConfigurationLayout::ParameterWrites172},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(layoutFor({c.major, c.minor}), c.layout)
            << int(c.major) << "." << int(c.minor) << " " << toString(c.layout);
    }
}

// --- Overwrite questions ---

TEST(DownloadOverwrite, QuestionsOnlyForValuesThePumpReported) {
    const struct {
        bool dateKnown, dashboardKnown;
        std::vector<bool> answers;  // in the order asked
        std::vector<std::string_view> asked;
        OverwriteAnswers result;
    } cases[] = {
        {false, false, {}, {}, {true, true}},
        {true, false, {false}, {download_text::kOverwriteInstallDate}, {false, true}},
        {false, true, {false}, {download_text::kOverwriteDashboard}, {true, false}},
        {true,
         true,
         {true, false},
         {download_text::kOverwriteInstallDate, download_text::kOverwriteDashboard},
         {true, false}},
    };
    for (const auto& c : cases) {
        std::vector<std::string_view> asked;
        std::size_t next = 0;
        const auto answers =
            askOverwriteQuestions(c.dateKnown, c.dashboardKnown, [&](OverwriteQuestion q) {
                asked.push_back(questionText(q));
                return next < c.answers.size() ? bool(c.answers[next++]) : true;
            });
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(answers, c.result);
    }
    EXPECT_EQ(download_text::kOverwriteInstallDate, "Do you want to overwrite installation date?");
    EXPECT_EQ(download_text::kOverwriteDashboard, "Do you want to overwrite dashboard?");
}

// --- Image 147 ---

template <std::size_t N>
Telegram bytesOf(const std::array<uint8_t, N>& a) {
    return Telegram(a.begin(), a.end());
}

ConfigurationInput oldPump() {
    ConfigurationInput in = installerLevel(validInput());
    in.pumpSoftware = {0, 5};
    return in;
}

Telegram expected147() {
    Telegram t = {
        0,    0,    0,    0,    0,    0, 0, 147,  // header, code
        0x41, 0x01,                               // MAF factor 321
        1,    0x98, 0x8A,                         // write the date, 17 May 2024
        1,    0x40, 0xE2, 0x01, 0x00,             // write the dashboard, 123456
        1,    0x0A, 0xFB,                         // heater enabled, 10, -5
        0xF4, 0x01, 0xBC, 0x02, 0x14,             // ratio 5.00, 7.00, 20 min
        0xD4, 0x30,                               // gain 1.25
        0x1E,                                     // restart 30 min
        0x7B, 0x00, 0xD7, 0x11,                   // 12.3 l, 456.7 mm
        17,                                       // VIN length
    };
    const std::string vin = "WDB12345678901234";
    t.insert(t.end(), vin.begin(), vin.end());
    t.resize(55, 0);
    return t;
}

TEST(Download147, ImageByteForByte) {
    const auto image = encodeConfig147(configOf(oldPump()), {});
    ASSERT_TRUE(std::holds_alternative<Config147Telegram>(image));
    EXPECT_EQ(bytesOf(std::get<Config147Telegram>(image)), expected147());
}

TEST(Download147, KeptDateAndDisabledConversionRatio) {
    ConfigurationInput in = oldPump();
    in.conversionRatioEnabled = false;
    in.conversionRatioReduced = "8";
    const auto image = encodeConfig147(configOf(in), {false, true});
    ASSERT_TRUE(std::holds_alternative<Config147Telegram>(image));
    Telegram expected = expected147();
    expected[10] = 0;  // keep the pump's date; the field still carries the picker's
    expected[21] = 0xF4, expected[22] = 0x01;  // the factory settings 500, 700, 20
    expected[23] = 0xBC, expected[24] = 0x02;
    expected[25] = 20;
    EXPECT_EQ(bytesOf(std::get<Config147Telegram>(image)), expected);

    const auto noDashboard = encodeConfig147(configOf(oldPump()), {true, false});
    EXPECT_EQ(std::get<Config147Telegram>(noDashboard)[13], 0);
}

TEST(Download147, RefusedWithoutAValueToSend) {
    ConfigurationInput in = oldPump();
    in.mafFactorEnabled = false;  // not checked, but the old image always carries it
    in.mafFactor = "";
    auto image = encodeConfig147(configOf(in), {});
    ASSERT_TRUE(std::holds_alternative<DownloadRefusal>(image));
    EXPECT_STREQ(std::get<DownloadRefusal>(image).focus, "eZovar_MafFactor");
    EXPECT_NE(std::get<DownloadRefusal>(image).text.find("\"MAF factor\""), std::string::npos);

    in = oldPump();
    in.installDate = {1999, 12, 31};
    image = encodeConfig147(configOf(in), {});
    ASSERT_TRUE(std::holds_alternative<DownloadRefusal>(image));
    EXPECT_STREQ(std::get<DownloadRefusal>(image).focus, "dtpZovar_InstallDate");
}

// --- Image 163 ---

Telegram expected163() {
    Telegram t = {
        0,  0,    0,    0,    0,    0, 0, 163,  // header, code
        1,  0x98, 0x8A,                         // write the date, 17 May 2024
        1,  0x40, 0xE2, 0x01, 0x00,             // write the dashboard, 123456
        17,                                     // VIN length
    };
    const std::string vin = "WDB12345678901234";
    t.insert(t.end(), vin.begin(), vin.end());
    t.resize(38, 0);  // the rest of the 21 VIN characters
    const Telegram rest = {
        0x05,                    // heater enabled, tank heater not monitored, line heater monitored
        0x0A, 0xFB, 0xF6,        // 10, -5, -10
        0xF4, 0x01, 0xBC, 0x02,  // ratio 5.00, 7.00
        0x14,                    // 20 min
        0x1E,                    // restart 30 min
        0xD4, 0x30,              // gain 1.25
        0x7B, 0x00, 0xD7, 0x11,  // 12.3 l, 456.7 mm
        0x41, 0x01,              // MAF factor 321
        0x07,                    // ECM address
        0x28, 0x00,              // minimum MAF 40
        0x00, 0x02, 0x85, 0x00,  // 1002 ohm = 512 counts, 150 ohm = 133 counts
        0x02,                    // analogue level sensor
        0x01,                    // normal TL
        0x04, 0x06, 0x03,        // 5 purge sequences, 6 s open, 3 s closed
        0xB1,        // Normal OBD, UDS "OBD only", MAF from sensor, ratio on, one try, NTC 3k3
        0x05,        // engine speed from sensor, urea tank OBD enabled
        0x2C, 0x01,  // idle 300 rpm x 1000 / 1000 = 300 counts
        0xE8, 0x03,  // divider 1000
    };
    t.insert(t.end(), rest.begin(), rest.end());
    return t;
}

Config163Download download163(const ConfigurationInput& in, OverwriteAnswers answers = {},
                              const Config163Telegram& previous = {}) {
    auto r = encodeConfig163(configOf(in), answers, previous);
    if (auto refusal = std::get_if<DownloadRefusal>(&r)) {
        ADD_FAILURE() << refusal->text;
        return {};
    }
    return std::get<Config163Download>(r);
}

TEST(Download163, ImageAndTheUreaTankLimitWritesByteForByte) {
    Config163Telegram previous;
    previous.fill(0xAA);
    const auto d = download163(validInput(), {}, previous);
    EXPECT_EQ(bytesOf(d.telegram), expected163());
    ASSERT_EQ(d.parameterWrites.size(), 2u);
    EXPECT_EQ(bytesOf(d.parameterWrites[0]), (Telegram{0, 0, 80, 70, 0, 0, 0, 172}));
    EXPECT_EQ(bytesOf(d.parameterWrites[1]), (Telegram{1, 0, 0xE2, 0xE7, 0, 0, 0, 172}));
    EXPECT_EQ(d.bookkeeping, (DownloadBookkeeping{1, false}));
}

TEST(Download163, FieldsWrittenOnlyUnderTheirConditionKeepThePreviousImage) {
    ConfigurationInput in = validInput();
    in.externalHeater = 0;
    in.heaterLimitsEnabled = false;
    in.conversionRatioSelection = 1;
    in.conversionRatioEnabled = false;
    in.mafSignal = 1;
    in.mafFactorEnabled = false;
    in.levelSensor = 1;
    in.levelLimitsEnabled = false;
    in.levelLowLimitActual = in.levelEmptyLimitActual = "?";  // nothing reported yet
    Config163Telegram previous;
    previous.fill(0xAA);
    const auto d = download163(in, {false, false}, previous);
    Telegram expected = expected163();
    expected[8] = 0;   // keep the pump's date
    expected[11] = 0;  // and dashboard
    expected[38] = 0x04;
    for (std::size_t i : {39, 40, 41, 42, 43, 44, 45, 46, 54, 55, 59, 60, 61, 62}) {
        expected[i] = 0xAA;
    }
    expected[63] = 1;
    expected[68] = 0xB1 | 0x04 | 0x08;  // MAF from ECM, ratio disabled
    EXPECT_EQ(bytesOf(d.telegram), expected);
}

TEST(Download163, SwitchedOffSettingsCarryThePumpsPresentValues) {
    // A fresh buffer would otherwise overwrite the pump's limits with zeros.
    ConfigurationInput in = validInput();
    in.externalHeater = 0;
    in.heaterLimitsEnabled = false;
    in.conversionRatioSelection = 1;
    in.conversionRatioEnabled = false;
    in.mafSignal = 1;
    in.mafFactorEnabled = false;
    in.levelSensor = 0;
    in.levelLimitsEnabled = false;
    in.heaterUpperLimitActual = "12";
    in.heaterLowerLimitActual = "-3";
    in.heaterDefreezeLimitActual = "-20";
    in.conversionRatioReducedActual = "4.00";
    in.conversionRatioThresholdActual = "6.50";
    in.averagingPeriodActual = "30";
    in.mafFactorActual = "250";
    in.levelLowLimitActual = "300";
    in.levelEmptyLimitActual = "0";
    const auto d = download163(in);
    const Telegram part(d.telegram.begin() + 39, d.telegram.begin() + 63);
    EXPECT_EQ(part, (Telegram{
                        12,   0xFD, 0xEC,            // heater limits 12, -3, -20
                        0x90, 0x01, 0x8A, 0x02, 30,  // ratio 4.00, 6.50, 30 min
                        0x1E, 0xD4, 0x30,            // restart, gain (always written)
                        0x7B, 0x00, 0xD7, 0x11,      // volume, length
                        0xFA, 0x00,                  // MAF factor 250
                        0x07, 0x28, 0x00,            // ECM, minimum MAF
                        0xEC, 0x00, 0x00, 0x00,      // 300 ohm = 236 counts, 0 ohm = 0
                    }));
}

TEST(Download163, UreaTankSettingsOnlyWhereThePumpHasThem) {
    // Extended level on a 0.08 pump: the panel is hidden, its bits go out as 0, no writes.
    ConfigurationInput in = validInput();
    in.pumpSoftware = {0, 8};
    in.ureaTankPanelVisible = false;
    in.ureaTankTemperatureObd = -1;
    auto d = download163(in);
    EXPECT_EQ(d.telegram[38], 0x01);
    EXPECT_EQ(d.telegram[69], 0x01);
    EXPECT_TRUE(d.parameterWrites.empty());
    EXPECT_FALSE(d.bookkeeping.has_value());

    // Installer level on a 0.09 pump: the hidden controls follow the pump and go back as they are.
    in = installerLevel(validInput());
    d = download163(in);
    EXPECT_EQ(d.telegram[38], 0x05);
    EXPECT_EQ(d.telegram[69], 0x05);
    EXPECT_TRUE(d.parameterWrites.empty());  // the limits are not the installer's to change

    // ... and before page 216 has told the tool the pump's OBD setting, nothing is invented.
    in.ureaTankTemperatureObd = -1;
    const auto refused = encodeConfig163(configOf(in), {});
    ASSERT_TRUE(std::holds_alternative<DownloadRefusal>(refused));
    EXPECT_STREQ(std::get<DownloadRefusal>(refused).focus, "cbUreaTankTemperatureOBD");
    EXPECT_NE(std::get<DownloadRefusal>(refused).text.find("\"Urea Tank temperature OBD\""),
              std::string::npos);
}

TEST(Download163, NothingUnsetGoesOutAs255) {
    // At the installer level a combo box no page has preset yet refuses the download, naming it.
    const struct {
        std::function<void(In&)> unset;
        const char* focus;
    } cases[] = {
        {[](In& in) { in.engineSpeed = -1; }, "cbEngineSpeedSetup"},
        {[](In& in) { in.downstreamNox = -1; }, "cbDownstreamNOxSelection"},
        {[](In& in) { in.ecmCanAddress = ""; }, "eECMcanAdrConfiguration"},
        {[](In& in) { in.valveCloseTime = ""; }, "eValveCloseTimeAtPurge_Value"},
        {[](In& in) { in.divider = ""; }, "eAlt2EngineSpeedSignalRatio"},
        {[](In& in) { in.levelSensor = -1; }, "cbUreaTankLevelSensorSetup"},
        {[](In& in) { in.tlOutput = -1; }, "cbTLoutputSetup"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.focus);
        ConfigurationInput in = installerLevel(validInput());
        c.unset(in);
        const auto r = encodeConfig163(configOf(in), {});
        ASSERT_TRUE(std::holds_alternative<DownloadRefusal>(r));
        EXPECT_STREQ(std::get<DownloadRefusal>(r).focus, c.focus);
    }
    // A circuit breaker has no item in the TL combo box; the pump's own setting is written back.
    ConfigurationInput in = installerLevel(validInput());
    in.tlOutput = -1;
    in.pumpTlOutputSetup = 2;
    EXPECT_EQ(download163(in).telegram[64], 2);
}

// --- Sequence of parameter writes ---

ConfigurationInput newPump(std::string vin = "AB12Z") {
    ConfigurationInput in = validInput();
    in.vin = std::move(vin);
    in.pumpSoftware = {0, 11};
    return in;
}

ParameterSequence sequenceOf(const ConfigurationInput& in, OverwriteAnswers answers = {}) {
    auto r = buildParameterSequence(configOf(in), answers);
    if (auto refusal = std::get_if<DownloadRefusal>(&r)) {
        ADD_FAILURE() << refusal->text;
        return {};
    }
    return std::get<ParameterSequence>(r);
}

std::vector<int> idsOf(const ParameterSequence& s) {
    std::vector<int> ids;
    for (const auto& t : s.telegrams) {
        ids.push_back(t[0] | (t[1] << 8));
    }
    return ids;
}

TEST(Download172, WholeSequenceByteForByte) {
    const std::vector<Telegram> expected = {
        {15, 0, 0, 'A', 5, 0, 0, 172},  // the VIN, a character at a time, length in byte 4
        {15, 0, 1, 'B', 5, 0, 0, 172},
        {15, 0, 2, '1', 5, 0, 0, 172},
        {15, 0, 3, '2', 5, 0, 0, 172},
        {15, 0, 4, 'Z', 5, 0, 0, 172},
        {16, 0, 0x98, 0x8A, 0, 0, 0, 172},         // 17 May 2024
        {17, 0, 0x40, 0xE2, 0x01, 0x00, 0, 172},   // dashboard 123456
        {18, 0, 30, 0, 0, 0, 0, 172},              // blocked-nozzle restart
        {19, 0, 0x05, 0, 0, 0, 0, 172},            // heater, monitors
        {20, 0, 10, 0xFB, 0xF6, 0, 0, 172},        // heater limits
        {21, 0, 0x7B, 0x00, 0, 0, 0, 172},         // 12.3 l
        {22, 0, 0xD7, 0x11, 0, 0, 0, 172},         // 456.7 mm
        {23, 0, 0xD4, 0x30, 0, 0, 0, 172},         // gain 1.25
        {4, 0, 0, 0, 0, 0, 0, 172},                // ratio enabled
        {25, 0, 0xF4, 0x01, 0xBC, 0x02, 20, 172},  // 5.00, 7.00, 20 min
        {26, 0, 1, 0, 0, 0, 0, 172},               // normal TL
        {13, 0, 1, 0, 0, 0, 0, 172},               // engine speed from sensor
        {28, 0, 40, 0, 0, 0, 0, 172},              // minimum MAF
        {5, 0, 0x2C, 0x01, 0, 0, 0, 172},          // idle threshold count 300
        {6, 0, 0xE8, 0x03, 0, 0, 0, 172},          // divider 1000
        {3, 0, 0, 0, 0, 0, 0, 172},                // MAF from sensor
        {24, 0, 0x41, 0x01, 0, 0, 0, 172},         // MAF factor 321
        {27, 0, 7, 0, 0, 0, 0, 172},               // ECM address
        {10, 0, 0, 1, 0, 0, 0, 172},               // UDS "OBD only"
        {2, 0, 1, 0, 0, 0, 0, 172},                // Normal OBD
        {7, 0, 1, 0, 0, 0, 0, 172},                // NTC 3k3
        {29, 0, 2, 0x00, 0x02, 0x85, 0x00, 172},   // analogue, 512 and 133 counts
        {8, 0, 1, 0, 0, 0, 0, 172},                // one try
        {9, 0, 6, 3, 4, 0, 0, 172},                // purge
        {14, 0, 1, 0, 0, 0, 0, 172},               // urea tank OBD enabled
        {0, 0, 80, 70, 0, 0, 0, 172},              // high stop, restart
        {1, 0, 0xE2, 0xE7, 0, 0, 0, 172},          // low stop, restart
    };
    const auto s = sequenceOf(newPump());
    ASSERT_EQ(s.telegrams.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(bytesOf(s.telegrams[i]), expected[i]) << "telegram " << i;
    }
    EXPECT_EQ(s.bookkeeping, (DownloadBookkeeping{1, false}));
}

TEST(Download172, WhatTheSettingsAndAnswersLeaveOut) {
    const struct {
        const char* what;
        std::function<void(In&)> change;
        OverwriteAnswers answers;
        std::vector<int> absent;
        std::vector<std::pair<int, Telegram>> telegrams;  // id -> its bytes
        int last;
    } cases[] = {
        {"OBD disabled",
         [](In& in) { in.ureaTankTemperatureObd = 0; },
         {},
         {0, 1},
         {{14, {14, 0, 0, 0, 0, 0, 0, 172}}},
         14},
        {"panel hidden",
         [](In& in) { in.ureaTankPanelVisible = false; },
         {},
         {0, 1},
         {{14, {14, 0, 0, 0, 0, 0, 0, 172}}, {19, {19, 0, 1, 0, 0, 0, 0, 172}}},
         14},
        {"keep date and dashboard", [](In&) {}, {false, false}, {16, 17}, {}, 1},
        {"heater disabled",
         [](In& in) {
             in.externalHeater = 0;
             in.heaterLimitsEnabled = false;
         },
         {},
         {20},
         {{19, {19, 0, 0x04, 0, 0, 0, 0, 172}}},
         1},
        {"ratio disabled",
         [](In& in) {
             in.conversionRatioSelection = 1;
             in.conversionRatioEnabled = false;
         },
         {},
         {25},
         {{4, {4, 0, 1, 0, 0, 0, 0, 172}}},
         1},
        {"MAF from ECM",
         [](In& in) {
             in.mafSignal = 1;
             in.mafFactorEnabled = false;
         },
         {},
         {24},
         {{3, {3, 0, 1, 0, 0, 0, 0, 172}}},
         1},
        {"digital level sensor: the pump's own limits",
         [](In& in) {
             in.levelSensor = 1;
             in.levelLimitsEnabled = false;
             in.levelLowLimit = "3000";
             in.levelLowLimitActual = "300";
             in.levelEmptyLimitActual = "0";
         },
         {},
         {},
         {{29, {29, 0, 1, 236, 0, 0, 0, 172}}},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigurationInput in = newPump();
        c.change(in);
        const auto s = sequenceOf(in, c.answers);
        const auto ids = idsOf(s);
        for (int id : c.absent) {
            EXPECT_EQ(std::count(ids.begin(), ids.end(), id), 0) << "id " << id;
        }
        for (const auto& [id, bytes] : c.telegrams) {
            const auto at = std::find(ids.begin(), ids.end(), id);
            ASSERT_NE(at, ids.end()) << "id " << id;
            EXPECT_EQ(bytesOf(s.telegrams[at - ids.begin()]), bytes) << "id " << id;
        }
        EXPECT_EQ(ids.back(), c.last);
        EXPECT_EQ(s.bookkeeping.lastDownloadId, c.last);
    }
}

TEST(Download172, InstallerLevelLeavesOutWhatThePumpHasNotReported) {
    // Nothing of the hidden group preset yet: only the basic parameters go out.
    ConfigurationInput in = installerLevel(newPump());
    in.downstreamNox = in.tlOutput = in.engineSpeed = in.mafSignal = -1;
    in.conversionRatioSelection = in.ureaTankTempSensor = in.levelSensor = -1;
    in.repeatingPrime = in.udsSurveillance = in.ureaTankTemperatureObd = -1;
    for (std::string* text :
         {&in.ecmCanAddress, &in.minimumMaf, &in.idleThreshold, &in.divider, &in.levelLowLimit,
          &in.levelEmptyLimit, &in.valveOpenTime, &in.valveCloseTime, &in.purgeSequences}) {
        text->clear();
    }
    const auto s = sequenceOf(in);
    std::vector<int> ids = idsOf(s);
    ids.erase(std::remove(ids.begin(), ids.end(), 15), ids.end());
    EXPECT_EQ(ids, (std::vector<int>{16, 17, 18, 19, 20, 21, 22, 23, 25, 24}));
    EXPECT_EQ(s.bookkeeping.lastDownloadId, 24);

    // Half a purge setting, or an idle threshold without its divider, is refused instead.
    ConfigurationInput half = installerLevel(newPump());
    half.valveCloseTime = "";
    auto r = buildParameterSequence(configOf(half), {});
    ASSERT_TRUE(std::holds_alternative<DownloadRefusal>(r));
    EXPECT_STREQ(std::get<DownloadRefusal>(r).focus, "eValveCloseTimeAtPurge_Value");
    EXPECT_NE(std::get<DownloadRefusal>(r).text.find("\"Valve close time @ purge\""),
              std::string::npos);
    half = installerLevel(newPump());
    half.divider = "";
    r = buildParameterSequence(configOf(half), {});
    ASSERT_TRUE(std::holds_alternative<DownloadRefusal>(r));
    EXPECT_STREQ(std::get<DownloadRefusal>(r).focus, "eAlt2EngineSpeedSignalRatio");
    // A non-analogue sensor whose present limits the tool has not received.
    half = newPump();
    half.levelSensor = 1;
    half.levelLimitsEnabled = false;
    half.levelLowLimitActual = "?";
    r = buildParameterSequence(configOf(half), {});
    ASSERT_TRUE(std::holds_alternative<DownloadRefusal>(r));
    EXPECT_STREQ(std::get<DownloadRefusal>(r).focus, "eLevelSensor_LowLimit_NewValue");
}

TEST(Download172, IdleThresholdCountRoundsHalfUp) {
    const struct {
        const char* rpm;
        const char* divider;
        uint16_t count;
    } cases[] = {
        {"300", "1000", 300},   {"10", "30", 0},       // 0.3 counts
        {"17", "30", 1},                               // 0.51 counts
        {"1000", "3000", 3000}, {"333", "1500", 500},  // 499.5 counts
    };
    for (const auto& c : cases) {
        ConfigurationInput in = newPump();
        in.idleThreshold = c.rpm;
        in.divider = c.divider;
        const auto s = sequenceOf(in);
        const auto ids = idsOf(s);
        const auto& t = s.telegrams[std::find(ids.begin(), ids.end(), 5) - ids.begin()];
        EXPECT_EQ(t[2] | (t[3] << 8), c.count) << c.rpm << " / " << c.divider;
    }
}

}  // namespace
