// Pages 212 and 216 and the echoes of the configuration images, against bodies built by hand at
// the pump's offsets.

#include "pump/installer_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_test_util.h"

using namespace installer_test;

namespace {

using Texts = std::vector<std::pair<std::string, std::string>>;

template <typename T>
void expectTexts(const std::vector<T>& texts, const Texts& expected,
                 ReadoutWindow window = ReadoutWindow::Installer) {
    for (const auto& [name, text] : expected) {
        EXPECT_EQ(textOf(texts, name.c_str(), window), text) << name;
    }
}

// --- Page 212 ---

TEST(Page212, ConversionRatioSettings) {
    const std::vector<uint8_t> body = {0xF4, 0x01, 0xBC, 0x02, 20};
    auto page = decodePage212(body, kPoint);
    EXPECT_TRUE(page.complete);
    expectTexts(page.texts, {{"lConversionRatioReduced", "5.00"},
                             {"lConversionRatioThreshold", "7.00"},
                             {"lConversionRatioAvaragePeriod", "20"}});
    EXPECT_EQ(page.texts.size(), 3u);
    page = decodePage212(body, kComma);
    EXPECT_EQ(textOf(page.texts, "lConversionRatioThreshold"), "7,00");

    // A short page shows only the fields it holds whole.
    page = decodePage212(std::vector<uint8_t>{0x01, 0x00, 0x02}, kPoint);
    EXPECT_FALSE(page.complete);
    EXPECT_EQ(textOf(page.texts, "lConversionRatioReduced"), "0.01");
    EXPECT_EQ(textOf(page.texts, "lConversionRatioThreshold"), std::nullopt);
    EXPECT_EQ(textOf(page.texts, "lConversionRatioAvaragePeriod"), std::nullopt);
}

// --- Page 216 ---

// 5 purge sequences, open 6 s, close 3 s; Normal OBD, UDS "OBD only", MAF from sensor, ratio
// enabled, "One try", NTC 3k3; engine speed from sensor, urea tank OBD enabled; 300 / 1000.
std::vector<uint8_t> samplePage216() {
    return {4, 6, 3, 0xB1, 0x05, 0x2C, 0x01, 0xE8, 0x03};
}

Page216Context hidden(bool first = false) {
    Page216Context c;
    c.firstPageOfRun = first;
    c.extendedConfigVisible = false;
    return c;
}

Page216Context shown(bool first = false) {
    Page216Context c = hidden(first);
    c.extendedConfigVisible = true;
    return c;
}

const Texts kSample216Labels = {
    {"lEngineSpeedSignalConfig_Value", "From sensor"},
    {"lMAFconfiguration", "From sensor"},
    {"lConversionRatioSelection", "Enabled"},
    {"lUDSsurveillanceAtPin32_Value", "OBD only"},
    {"lDownstreamNOxSelection", "Normal OBD"},
    {"lUreaTankTempSetup", "NTC 3k3"},
    {"lRepeatingPrimeSeq_Value", "One try"},
    {"lValveOpenTimeAtPurge_Value", "6"},
    {"lValveCloseTimeAtPurge_Value", "3"},
    {"lNoOfRepAtPurge_Value", "5"},
    {"lEngineSpeedIdleThr", "300"},
    {"lAlt2EngineSpeedSignalRatio", "1000"},
    {"lUreaTankTemperatureOBD", "Enabled"},
};

TEST(Page216, LabelsStoredBlockAndPresetsWhileTheExtendedGroupIsHidden) {
    const auto page = decodePage216(samplePage216(), hidden());
    EXPECT_TRUE(page.complete);
    expectTexts(page.texts, kSample216Labels);
    EXPECT_EQ(page.texts.size(), kSample216Labels.size());
    ASSERT_TRUE(page.installerSettings.has_value());
    EXPECT_EQ(std::vector<uint8_t>(page.installerSettings->begin(), page.installerSettings->end()),
              samplePage216());

    const struct {
        const char* combo;
        int index;
    } selections[] = {
        {"cbEngineSpeedSetup", 1},           {"cbMAFsignalSetup", 0},
        {"cbConversionRatioSelection", 0},   {"cbUDSsurveillanceAtPin32", 2},
        {"cbDownstreamNOxSelection", 1},     {"cbUreaTankTempSetup", 1},
        {"cbRepeatingPrimeSeq_NewValue", 1}, {"cbUreaTankTemperatureOBD", 1},
    };
    for (const auto& s : selections) {
        EXPECT_EQ(selectionOf(page.comboSelections, s.combo), s.index) << s.combo;
    }
    EXPECT_EQ(page.comboSelections.size(), std::size(selections));
    expectTexts(page.edits, {{"eValveOpenTimeAtPurge_Value", "6"},
                             {"eValveCloseTimeAtPurge_Value", "3"},
                             {"eNoOfRepAtPurge_Value", "5"},
                             {"eEngineSpeedIdleThr", "300"},
                             {"eAlt2EngineSpeedSignalRatio", "1000"}});

    // At the extended level the new values are the operator's.
    const auto extended = decodePage216(samplePage216(), shown());
    EXPECT_TRUE(extended.comboSelections.empty());
    EXPECT_TRUE(extended.edits.empty());
    expectTexts(extended.texts, kSample216Labels);
}

TEST(Page216, SelectionFieldsPastTheItemsShowTheRawValueAndAreNotPreset) {
    const struct {
        uint8_t byte0, byte3, byte4;
        const char* label;
        const char* text;
        const char* combo;
        std::optional<int> preset;
    } cases[] = {
        {0, 0x00, 0x00, "lNoOfRepAtPurge_Value", "1", nullptr, std::nullopt},
        {0, 0x82, 0x00, "lUDSsurveillanceAtPin32_Value", "Invalid value: 3",
         "cbUDSsurveillanceAtPin32", std::nullopt},
        {0, 0x02, 0x00, "lUDSsurveillanceAtPin32_Value", "Normal", "cbUDSsurveillanceAtPin32", 1},
        {0, 0x60, 0x00, "lUreaTankTempSetup", "Invalid value: 3", "cbUreaTankTempSetup",
         std::nullopt},
        {0, 0x40, 0x00, "lUreaTankTempSetup", "NTC 1k0", "cbUreaTankTempSetup", 2},
        {0, 0x00, 0x03, "lEngineSpeedSignalConfig_Value", "Invalid value: 3", "cbEngineSpeedSetup",
         std::nullopt},
        {0, 0x00, 0x0C, "lUreaTankTemperatureOBD", "Invalid value: 3", "cbUreaTankTemperatureOBD",
         std::nullopt},
        {255, 0x08, 0x00, "lConversionRatioSelection", "Disabled", "cbConversionRatioSelection", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<uint8_t> body = samplePage216();
        body[0] = c.byte0;
        body[3] = c.byte3;
        body[4] = c.byte4;
        const auto page = decodePage216(body, hidden());
        EXPECT_EQ(textOf(page.texts, c.label), c.text);
        if (c.combo) {
            EXPECT_EQ(selectionOf(page.comboSelections, c.combo), c.preset);
        }
    }
    // 256 purge sequences: the byte plus one, not wrapped.
    std::vector<uint8_t> body = samplePage216();
    body[0] = 255;
    EXPECT_EQ(textOf(decodePage216(body, hidden()).texts, "lNoOfRepAtPurge_Value"), "256");
}

TEST(Page216, IdleThresholdRoundsTheLabelTruncatesThePresetAndNeverDividesByZero) {
    const struct {
        uint16_t count, divider;
        const char* label;
        std::optional<std::string> preset;
    } cases[] = {
        {300, 1000, "300", "300"},
        {1, 600, "2", "1"},  // 1.67 rpm: + 0.5 on the label only
        {65535, 1, "65535000", "65535000"},
        {300, 0, "?", std::nullopt},  // no rpm to preset; the divider 0 itself still is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + "/" + std::to_string(c.divider));
        std::vector<uint8_t> body = samplePage216();
        body[5] = static_cast<uint8_t>(c.count);
        body[6] = static_cast<uint8_t>(c.count >> 8);
        body[7] = static_cast<uint8_t>(c.divider);
        body[8] = static_cast<uint8_t>(c.divider >> 8);
        const auto page = decodePage216(body, hidden());
        EXPECT_EQ(textOf(page.texts, "lEngineSpeedIdleThr"), c.label);
        EXPECT_EQ(textOf(page.edits, "eEngineSpeedIdleThr"), c.preset);
        EXPECT_EQ(textOf(page.edits, "eAlt2EngineSpeedSignalRatio"), std::to_string(c.divider));
    }
}

TEST(Page216, OncePerRunTheDisabledConversionRatioIsTakenOver) {
    std::vector<uint8_t> disabled = samplePage216();
    disabled[3] |= 0x08;
    Page216Context first = shown(true);
    first.conversionRatioReduced = "5.00";
    first.conversionRatioThreshold = "7.00";
    first.averagingPeriod = "20";

    const auto page = decodePage216(disabled, first);
    EXPECT_TRUE(page.onceStepDone);
    EXPECT_EQ(selectionOf(page.comboSelections, "cbConversionRatioSelection"), 1);
    EXPECT_EQ(page.enabled.size(), 18u);
    EXPECT_EQ(flagOf(page.enabled, "eZovar_ConversionRatioThreshold"), false);
    EXPECT_EQ(flagOf(page.enabled, "lConversionRatioAvaragePeriod"), false);
    expectTexts(page.edits, {{"eZovar_ConversionRatioReduced", "5.00"},
                             {"eZovar_ConversionRatioThreshold", "7.00"},
                             {"eZovar_ConversionRatioAvaragePeriod", "20"}});

    // Later pages leave the operator's controls alone.
    const auto later = decodePage216(disabled, shown(false));
    EXPECT_FALSE(later.onceStepDone);
    EXPECT_TRUE(later.comboSelections.empty());
    EXPECT_TRUE(later.enabled.empty());
    EXPECT_TRUE(later.edits.empty());

    // A first page with the ratio enabled uses up the step all the same.
    const auto enabledFirst = decodePage216(samplePage216(), first);
    EXPECT_TRUE(enabledFirst.onceStepDone);
    EXPECT_TRUE(enabledFirst.comboSelections.empty());
    EXPECT_TRUE(enabledFirst.edits.empty());
}

TEST(Page216, ShortPageDecodesWhatItHolds) {
    const std::vector<uint8_t> full = samplePage216();
    const auto page = decodePage216(std::span(full).first(6), hidden(true));
    EXPECT_FALSE(page.complete);
    EXPECT_FALSE(page.installerSettings.has_value());
    EXPECT_EQ(textOf(page.texts, "lUreaTankTemperatureOBD"), "Enabled");
    EXPECT_EQ(textOf(page.texts, "lEngineSpeedIdleThr"), std::nullopt);
    EXPECT_EQ(textOf(page.texts, "lAlt2EngineSpeedSignalRatio"), std::nullopt);
    EXPECT_EQ(textOf(page.edits, "eEngineSpeedIdleThr"), std::nullopt);

    // Without byte 3 the once-per-run step cannot be decided and stays armed.
    const auto tiny = decodePage216(std::span(full).first(3), hidden(true));
    EXPECT_FALSE(tiny.onceStepDone);
    EXPECT_EQ(textOf(tiny.texts, "lValveCloseTimeAtPurge_Value"), "3");
    EXPECT_TRUE(decodePage216({}, hidden(true)).texts.empty());
}

TEST(Page204Presets, MonitorCombosFollowThePumpWhileTheGroupIsHidden) {
    std::vector<uint8_t> body(33, 0);
    body[6] = 0x05;  // external heater, line heater monitored, tank heater not
    auto presets = monitorHeaterPresets(body, false);
    EXPECT_EQ(selectionOf(presets, "cbMonitorTankHeater"), 0);
    EXPECT_EQ(selectionOf(presets, "cbMonitorLineHeater"), 1);
    EXPECT_TRUE(monitorHeaterPresets(body, true).empty());
    EXPECT_TRUE(monitorHeaterPresets(std::span(body).first(6), false).empty());
}

// --- Echoes ---

// What the tool sent as image 147: MAF 321, date 29 Feb 2024 written, dashboard 123456 written,
// heater enabled 10 / -5, ratio 5.00 / 7.00 / 20, gain 1.25, restart 30, 12.3 l, 456.7 mm, VIN.
std::vector<uint8_t> sent147() {
    Bytes t(55);
    t.u8(7, 147)
        .u16(8, 321)
        .u8(10, 1)
        .u16(11, 24 | (2 << 7) | (29 << 11))
        .u8(13, 1)
        .u32(14, 123456)
        .u8(18, 1)
        .u8(19, 10)
        .u8(20, 0xFB)
        .u16(21, 500)
        .u16(23, 700)
        .u8(25, 20)
        .u16(26, 12500)
        .u8(28, 30)
        .u16(29, 123)
        .u16(31, 4567)
        .u8(33, 5)
        .text(34, "AB12Z");
    return t.bytes;
}

// Image 163 with the same basic values, plus: defreeze -10, MAF 321, ECM 7, minimum MAF 40,
// level limits 512 / 1023 (open input), analogue sensor, circuit breaker, and page 216's sample.
std::vector<uint8_t> sent163() {
    Bytes t(74);
    t.u8(7, 163)
        .u8(8, 1)
        .u16(9, 24 | (2 << 7) | (29 << 11))
        .u8(11, 1)
        .u32(12, 123456)
        .u8(16, 5)
        .text(17, "AB12Z")
        .u8(38, 0x05)
        .u8(39, 10)
        .u8(40, 0xFB)
        .u8(41, 0xF6)
        .u16(42, 500)
        .u16(44, 700)
        .u8(46, 20)
        .u8(47, 30)
        .u16(48, 12500)
        .u16(50, 123)
        .u16(52, 4567)
        .u16(54, 321)
        .u8(56, 7)
        .u16(57, 40)
        .u16(59, 512)
        .u16(61, 1023)
        .u8(63, 2)
        .u8(64, 2);
    const auto block = samplePage216();
    for (std::size_t i = 0; i < block.size(); ++i) {
        t.u8(65 + i, block[i]);
    }
    return t.bytes;
}

std::span<const uint8_t> bodyOf(const std::vector<uint8_t>& telegram) {
    return std::span(telegram).subspan(8);
}

TEST(ConfigEcho147, AcceptedEchoShowsThePumpsNewValuesThenTheStatus) {
    const auto sent = sent147();
    ConfigEchoContext context;
    context.sentTelegram = sent;
    const auto echo = decodeConfigEcho(147, bodyOf(sent), context, kPoint);
    EXPECT_EQ(echo.acceptance, ReplyAcceptance::Accepted);
    expectTexts(echo.texts, {{"lMafFactor", "321"},
                             {"lInstallDate", "2024-02-29"},
                             {"lDashboard", "123456"},
                             {"lExternalHeaterSelection", "Enabled"},
                             {"lTankUpperLimit", "10"},
                             {"lTankLowerLimit", "-5"},
                             {"lConversionRatioReduced", "5.00"},
                             {"lConversionRatioThreshold", "7.00"},
                             {"lConversionRatioAvaragePeriod", "20"},
                             {"lConversionGain", "1.25"},
                             {"lBlockedNozzleSetupRestart", "30"},
                             {"lCatalystVolume", "12.3"},
                             {"lCatalystLength", "456.7"},
                             {"lVIN", "AB12Z"}});
    EXPECT_EQ(textOf(echo.texts, "lVIN", ReadoutWindow::Main), "AB12Z");
    EXPECT_EQ(textOf(echo.texts, "lVIN", ReadoutWindow::ErrorLog), "AB12Z");
    EXPECT_EQ(echo.texts.size(), 16u);
    EXPECT_EQ(echo.status, "Configuration data downloaded!");
    EXPECT_EQ(echo.installDateKnown, true);
    EXPECT_EQ(echo.installDate, (InstallDate{2024, 2, 29}));
}

TEST(ConfigEcho, OnlyTheByteForByteEchoOfTheSentImageIsAccepted) {
    const auto sent147Image = sent147();
    const auto sent163Image = sent163();
    ConfigEchoContext to147;
    to147.sentTelegram = sent147Image;
    ConfigEchoContext to163;
    to163.sentTelegram = sent163Image;

    for (std::size_t i = 8; i < sent163Image.size(); ++i) {
        std::vector<uint8_t> garbled = sent163Image;
        garbled[i] ^= 0x01;
        const auto echo = decodeConfigEcho(163, bodyOf(garbled), to163, kPoint);
        EXPECT_EQ(echo.acceptance, ReplyAcceptance::NotAccepted) << i;
        EXPECT_TRUE(echo.texts.empty());
        EXPECT_FALSE(echo.status.has_value());
    }
    // Wrong length, wrong code, nothing sent.
    EXPECT_EQ(decodeConfigEcho(147, bodyOf(sent147Image).first(46), to147).acceptance,
              ReplyAcceptance::NotAccepted);
    std::vector<uint8_t> longer = sent147Image;
    longer.push_back(0);
    EXPECT_EQ(decodeConfigEcho(147, bodyOf(longer), to147).acceptance,
              ReplyAcceptance::NotAccepted);
    EXPECT_EQ(decodeConfigEcho(147, bodyOf(sent147Image), to163).acceptance,
              ReplyAcceptance::NotAccepted);
    EXPECT_EQ(decodeConfigEcho(163, bodyOf(sent163Image), ConfigEchoContext{}).acceptance,
              ReplyAcceptance::NotAccepted);
    EXPECT_EQ(decodeConfigEcho(164, bodyOf(sent163Image), to163).acceptance,
              ReplyAcceptance::NotAccepted);
}

TEST(ConfigEcho, DateAndDashboardOnlyWhereThePumpStoredThem) {
    const struct {
        uint8_t writeDate, writeDashboard;
        uint16_t date;
        std::optional<std::string> dateText;
        std::optional<bool> known;
        std::optional<std::string> dashboardText;
    } cases[] = {
        {1, 1, 24 | (2 << 7) | (29 << 11), "2024-02-29", true, "123456"},
        {1, 0, 24 | (13 << 7) | (1 << 11), "NA", false, std::nullopt},  // month 13
        {0, 1, 24 | (2 << 7) | (29 << 11), std::nullopt, std::nullopt, "123456"},
    };
    for (const auto& c : cases) {
        for (bool newLayout : {false, true}) {
            SCOPED_TRACE(std::string(newLayout ? "163 " : "147 ") + std::to_string(c.writeDate) +
                         std::to_string(c.writeDashboard));
            std::vector<uint8_t> sent = newLayout ? sent163() : sent147();
            const std::size_t flagDate = newLayout ? 8 : 10;
            const std::size_t flagDashboard = newLayout ? 11 : 13;
            sent[flagDate] = c.writeDate;
            sent[flagDate + 1] = static_cast<uint8_t>(c.date);
            sent[flagDate + 2] = static_cast<uint8_t>(c.date >> 8);
            sent[flagDashboard] = c.writeDashboard;
            ConfigEchoContext context;
            context.sentTelegram = sent;
            const auto echo = decodeConfigEcho(sent[7], bodyOf(sent), context, kPoint);
            ASSERT_EQ(echo.acceptance, ReplyAcceptance::Accepted);
            EXPECT_EQ(textOf(echo.texts, "lInstallDate"), c.dateText);
            EXPECT_EQ(echo.installDateKnown, c.known);
            EXPECT_EQ(textOf(echo.texts, "lDashboard"), c.dashboardText);
        }
    }
}

TEST(ConfigEcho147, VinLengthZeroClearsTheThreeVinLabels) {
    auto sent = sent147();
    sent[33] = 0;
    ConfigEchoContext context;
    context.sentTelegram = sent;
    const auto echo = decodeConfigEcho(147, bodyOf(sent), context, kPoint);
    for (auto window : {ReadoutWindow::Main, ReadoutWindow::Installer, ReadoutWindow::ErrorLog}) {
        EXPECT_EQ(textOf(echo.texts, "lVIN", window), "") << toString(window);
    }
    // A length past the 21 characters the image holds reads no further than the image.
    sent[33] = 200;
    context.sentTelegram = sent;
    const auto overlong = decodeConfigEcho(147, bodyOf(sent), context, kPoint);
    EXPECT_EQ(textOf(overlong.texts, "lVIN")->size(), 21u);
}

TEST(ConfigEcho163, EveryFieldAndTheInstallerBlock) {
    const auto sent = sent163();
    ConfigEchoContext context;
    context.sentTelegram = sent;
    context.monitorExtHeatersVisible = true;
    const auto echo = decodeConfigEcho(163, bodyOf(sent), context, kComma);
    ASSERT_EQ(echo.acceptance, ReplyAcceptance::Accepted);
    Texts expected = {
        {"lInstallDate", "29.02.2024"},
        {"lDashboard", "123456"},
        {"lVIN", "AB12Z"},
        {"lExternalHeaterSelection", "Enabled"},
        {"lMonitorTankHeater", "NO"},
        {"lMonitorLineHeater", "YES"},
        {"lTankUpperLimit", "10"},
        {"lTankLowerLimit", "-5"},
        {"lExtHeater_DefreezeLimit_Value", "-10"},
        {"lConversionRatioReduced", "5,00"},
        {"lConversionRatioThreshold", "7,00"},
        {"lConversionRatioAvaragePeriod", "20"},
        {"lBlockedNozzleSetupRestart", "30"},
        {"lConversionGain", "1,25"},
        {"lCatalystVolume", "12,3"},
        {"lCatalystLength", "456,7"},
        {"lMafFactor", "321"},
        {"lECMcanAdrConfiguration", "7"},
        {"lMAFatIdleSpeed", "40"},
        {"lLevelSensor_LowLimit_Value", "1002"},
        {"lLevelSensor_EmptyLimit_Value", "?"},  // an open input has no resistance
        {"lUreaTankLevelSensorSetup", "Analouge"},
        {"lTLoutputSetup", "Circuit Breaker"},
    };
    expected.insert(expected.end(), kSample216Labels.begin(), kSample216Labels.end());
    expectTexts(echo.texts, expected);
    EXPECT_EQ(echo.texts.size(), expected.size() + 2);  // lVIN of the main and error-log window
    EXPECT_EQ(echo.pumpTlOutputSetup, 2);
    EXPECT_EQ(echo.pumpLevelSensorSetup, 2);
    ASSERT_TRUE(echo.installerSettings.has_value());
    EXPECT_EQ(std::vector<uint8_t>(echo.installerSettings->begin(), echo.installerSettings->end()),
              samplePage216());
    EXPECT_EQ(echo.status, "Configuration data downloaded!");
}

TEST(ConfigEcho163, MonitorsOnlyWhileShownAndNoStatusWhileParameterWritesFollow) {
    const auto sent = sent163();
    ConfigEchoContext context;
    context.sentTelegram = sent;
    context.parameterWritesFollow = true;
    const auto echo = decodeConfigEcho(163, bodyOf(sent), context, kPoint);
    EXPECT_EQ(echo.acceptance, ReplyAcceptance::Accepted);
    EXPECT_EQ(textOf(echo.texts, "lMonitorTankHeater"), std::nullopt);
    EXPECT_EQ(textOf(echo.texts, "lExternalHeaterSelection"), "Enabled");
    EXPECT_FALSE(echo.status.has_value());
}

}  // namespace
