// The parameter decoder (codes 172 and 173): labels by identifier, the echo comparison with the
// telegram sent last, the retry rule and the end of a download sequence.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_test_util.h"
#include "pump/config_download.h"
#include "pump/installer_parameters.h"

using namespace installer_test;

namespace {

using Telegram = std::vector<uint8_t>;

// A parameter telegram written out byte by byte: id, values from byte 2, code.
Telegram telegram(uint16_t id, std::vector<uint8_t> values, uint8_t code = 173) {
    Telegram t(8, 0);
    t[0] = static_cast<uint8_t>(id);
    t[1] = static_cast<uint8_t>(id >> 8);
    for (std::size_t i = 0; i < values.size(); ++i) {
        t.at(2 + i) = values[i];
    }
    t[7] = code;
    return t;
}

ParameterTelegramBytes sentCopy(const Telegram& t) {
    ParameterTelegramBytes out{};
    std::copy(t.begin(), t.begin() + 8, out.begin());
    return out;
}

struct ReadCase {
    uint16_t id;
    std::vector<uint8_t> values;
    std::vector<std::pair<std::string, std::string>> texts;
};

TEST(ParameterReadout, LabelsByIdentifier) {
    const ReadCase cases[] = {
        {0, {0x55, 0xFB}, {{"lUreaTankMaxStop", "85"}, {"lUreaTankMaxRestart", "-5"}}},
        {1, {0xD8, 0x80}, {{"lUreaTankMinStop", "-40"}, {"lUreaTankMinRestart", "-128"}}},
        {2, {1}, {{"lDownstreamNOxSelection", "Normal OBD"}}},
        {2, {5}, {{"lDownstreamNOxSelection", "Invalid value: 5"}}},
        {3, {1}, {{"lMAFconfiguration", "From ECM"}}},
        {4, {1}, {{"lConversionRatioSelection", "Disabled"}}},
        {7, {2}, {{"lUreaTankTempSetup", "NTC 1k0"}}},
        {8, {0}, {{"lRepeatingPrimeSeq_Value", "Repeating"}}},
        {9,
         {5, 3, 2},
         {{"lValveOpenTimeAtPurge_Value", "5"},
          {"lValveCloseTimeAtPurge_Value", "3"},
          {"lNoOfRepAtPurge_Value", "3"}}},
        {10, {0, 1}, {{"lUDSsurveillanceAtPin32_Value", "OBD only"}}},
        {10, {1, 0}, {{"lUDSsurveillanceAtPin32_Value", "Normal"}}},
        {10, {1, 1}, {{"lUDSsurveillanceAtPin32_Value", "Invalid value: 3"}}},
        {13, {2}, {{"lEngineSpeedSignalConfig_Value", "From ECM"}}},
        {14, {1}, {{"lUreaTankTemperatureOBD", "Enabled"}}},
        {17, {0x40, 0xE2, 0x01, 0x00}, {{"lDashboard", "123456"}}},
        {18, {255}, {{"lBlockedNozzleSetupRestart", "255"}}},
        {20,
         {0xFB, 0x0A, 0xD8},
         {{"lTankUpperLimit", "-5"},
          {"lTankLowerLimit", "10"},
          {"lExtHeater_DefreezeLimit_Value", "-40"}}},
        {21, {0x32, 0x00}, {{"lCatalystVolume", "5"}}},
        {22, {0xBD, 0x0B}, {{"lCatalystLength", "300.5"}}},
        {23, {0x39, 0x30}, {{"lConversionGain", "1.2345"}}},
        {24, {0x41, 0x01}, {{"lMafFactor", "321"}}},
        {25,
         {0xF4, 0x01, 0xBC, 0x02, 20},
         {{"lConversionRatioReduced", "5.00"},
          {"lConversionRatioThreshold", "7.00"},
          {"lConversionRatioAvaragePeriod", "20"}}},
        {26, {2}, {{"lTLoutputSetup", "Circuit Breaker"}}},
        {26, {1}, {{"lTLoutputSetup", "Normal TL"}}},
        {26, {3}, {{"lTLoutputSetup", "Invalid value: 3"}}},
        {27, {253}, {{"lECMcanAdrConfiguration", "253"}}},
        {28, {0xF4, 0x01}, {{"lMAFatIdleSpeed", "500"}}},
        // Low limit 512 counts is 1002 ohm; 1023 counts is an open input with no resistance.
        {29,
         {2, 0x00, 0x02, 0xFF, 0x03},
         {{"lUreaTankLevelSensorSetup", "Analouge"},
          {"lLevelSensor_LowLimit_Value", "1002"},
          {"lLevelSensor_EmptyLimit_Value", "?"}}},
        {29,
         {7, 0x85, 0x00, 0x00, 0x00},
         {{"lUreaTankLevelSensorSetup", "Invalid value: 7"},
          {"lLevelSensor_LowLimit_Value", "149"},
          {"lLevelSensor_EmptyLimit_Value", "0"}}},
        {30, {1}, {{"lDM1Status", "Enabled"}}},
        {30, {2}, {{"lDM1Status", "Disabled"}}},
        {33, {1, 2, 3}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("id " + std::to_string(c.id));
        const auto r = decodeParameterReply(telegram(c.id, c.values), false, {}, kPoint);
        EXPECT_EQ(r.acceptance, ReplyAcceptance::Accepted);  // a read answer, sent or not
        EXPECT_EQ(r.id, c.id);
        for (const auto& [name, text] : c.texts) {
            EXPECT_EQ(textOf(r.texts, name.c_str()), text) << name;
        }
        EXPECT_EQ(r.texts.size(), c.texts.size());
        EXPECT_FALSE(r.status.has_value());
    }
}

TEST(ParameterReadout, ValuesTheToolKeeps) {
    auto r = decodeParameterReply(telegram(26, {2}), false, {}, kPoint);
    EXPECT_EQ(r.pumpTlOutputSetup, 2);
    r = decodeParameterReply(telegram(29, {1, 0, 2, 0, 1}), false, {}, kPoint);
    EXPECT_EQ(r.pumpLevelSensorSetup, 1);
    r = decodeParameterReply(telegram(16, {0x18, 0xE9}), false, {}, kComma);  // 29 Feb 2024
    EXPECT_EQ(textOf(r.texts, "lInstallDate"), "29.02.2024");
    EXPECT_EQ(r.installDateKnown, true);
    EXPECT_EQ(r.installDate, (InstallDate{2024, 2, 29}));
    r = decodeParameterReply(telegram(16, {0x98, 0x0E}), false, {}, kComma);  // month 13
    EXPECT_EQ(textOf(r.texts, "lInstallDate"), "NA");
    EXPECT_EQ(r.installDateKnown, false);
    r = decodeParameterReply(telegram(31, {0x51, 0x05, 0x24, 0x00, 1}), false, {}, kPoint);
    ASSERT_TRUE(r.mask.has_value());
    EXPECT_EQ(r.mask->value, 0x00240551u);
    EXPECT_EQ(r.mask->wordIndex, 1);
    r = decodeParameterReply(telegram(30, {1}), false, {}, kPoint);
    EXPECT_EQ(r.dm1Support, true);
}

TEST(ParameterReadout, IdleThresholdFromCountAndDivider) {
    ParameterReadoutContext context;
    context.speedSignalDivider = 1000;
    auto r = decodeParameterReply(telegram(5, {0x2C, 0x01}), false, context, kPoint);
    EXPECT_EQ(r.idleThresholdCount, 300.0);
    EXPECT_EQ(textOf(r.texts, "lEngineSpeedIdleThr"), "300");

    // A divider of 0 shows itself and "?" for the threshold.
    context.idleThresholdCount = 300;
    r = decodeParameterReply(telegram(6, {0, 0}), false, context, kPoint);
    EXPECT_EQ(r.speedSignalDivider, 0.0);
    EXPECT_EQ(textOf(r.texts, "lAlt2EngineSpeedSignalRatio"), "0");
    EXPECT_EQ(textOf(r.texts, "lEngineSpeedIdleThr"), "?");
    context.speedSignalDivider = 0;
    r = decodeParameterReply(telegram(5, {0x2C, 0x01}), false, context, kPoint);
    EXPECT_EQ(textOf(r.texts, "lEngineSpeedIdleThr"), "?");

    // Rounded half up: 7 counts over 3000 is 2.33 rpm, 5 counts over 2000 is 2.5 rpm.
    context.idleThresholdCount = 7;
    r = decodeParameterReply(telegram(6, {0xB8, 0x0B}), false, context, kPoint);
    EXPECT_EQ(textOf(r.texts, "lEngineSpeedIdleThr"), "2");
    context.idleThresholdCount = 5;
    r = decodeParameterReply(telegram(6, {0xD0, 0x07}), false, context, kPoint);
    EXPECT_EQ(textOf(r.texts, "lEngineSpeedIdleThr"), "3");
}

TEST(ParameterReadout, VinIsBuiltACharacterAtATime) {
    ParameterReadoutContext context;
    context.vinText = "ABC";
    auto r = decodeParameterReply(telegram(15, {0, 'W', 17}), false, context, kPoint);
    EXPECT_EQ(textOf(r.texts, "lVIN"), "W");
    r = decodeParameterReply(telegram(15, {3, 'X', 17}), false, context, kPoint);
    EXPECT_EQ(textOf(r.texts, "lVIN"), "ABCX");
}

TEST(ParameterReadout, HeaterMonitorsOnlyWhileTheirGroupIsShown) {
    ParameterReadoutContext context;
    auto r = decodeParameterReply(telegram(19, {0x05}), false, context, kPoint);
    EXPECT_EQ(textOf(r.texts, "lExternalHeaterSelection"), "Enabled");
    EXPECT_EQ(r.texts.size(), 1u);
    context.monitorExtHeatersVisible = true;
    r = decodeParameterReply(telegram(19, {0x05}), false, context, kPoint);
    EXPECT_EQ(textOf(r.texts, "lMonitorTankHeater"), "NO");
    EXPECT_EQ(textOf(r.texts, "lMonitorLineHeater"), "YES");
}

TEST(ParameterEcho, ComparedWithTheTelegramSentLast) {
    const Telegram sent = telegram(21, {0x32, 0x00}, 172);
    ParameterReadoutContext context;
    context.lastSent = sentCopy(sent);
    context.bookkeeping = {14, false};

    auto r = decodeParameterReply(sent, true, context, kPoint);
    EXPECT_EQ(r.acceptance, ReplyAcceptance::Accepted);
    EXPECT_EQ(textOf(r.texts, "lCatalystVolume"), "5");
    EXPECT_FALSE(r.status.has_value());  // not the sequence's last

    Telegram garbled = sent;
    garbled[3] = 0x01;
    const struct {
        int retries;
        ReplyAcceptance acceptance;
        std::optional<std::string> status;
    } cases[] = {
        {0, ReplyAcceptance::NotAccepted, std::nullopt},
        {58, ReplyAcceptance::NotAccepted, std::nullopt},
        {59, ReplyAcceptance::ClearsOnly, "Configuration data NOT downloaded (ID = 21)"},
        {60, ReplyAcceptance::ClearsOnly, "Configuration data NOT downloaded (ID = 21)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.retries);
        context.retryCount = c.retries;
        r = decodeParameterReply(garbled, true, context, kPoint);
        EXPECT_EQ(r.acceptance, c.acceptance);
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.texts.empty());  // nothing of a differing echo is shown
        if (c.status) {
            EXPECT_EQ(r.bookkeeping, (DownloadBookkeeping{14, true}));
        } else {
            EXPECT_FALSE(r.bookkeeping.has_value());
        }
    }
    // The failure names the parameter that was sent, even when the echo garbles the identifier.
    Telegram otherId = sent;
    otherId[0] = 99;
    context.retryCount = 59;
    r = decodeParameterReply(otherId, true, context, kPoint);
    EXPECT_EQ(r.status, "Configuration data NOT downloaded (ID = 21)");
}

TEST(ParameterEcho, StrayEchoesChangeNothing) {
    const Telegram echo = telegram(21, {0x32, 0x00}, 172);
    ParameterReadoutContext context;
    context.retryCount = 60;
    // Nothing sent yet.
    auto r = decodeParameterReply(echo, true, context, kPoint);
    EXPECT_EQ(r.acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_FALSE(r.status.has_value());
    // The tool waits for the answer to a page request, not to a parameter write.
    context.lastSent = sentCopy(telegram(0, {}, 216));
    r = decodeParameterReply(echo, true, context, kPoint);
    EXPECT_EQ(r.acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_FALSE(r.status.has_value());
    EXPECT_FALSE(r.bookkeeping.has_value());
    // Fewer than 8 bytes.
    r = decodeParameterReply(std::span(echo).first(7), false, context, kPoint);
    EXPECT_EQ(r.acceptance, ReplyAcceptance::NotAccepted);
    EXPECT_TRUE(r.texts.empty());
}

TEST(ParameterEcho, SequenceEndsWithTheLastEchoUnlessOneFailed) {
    const Telegram last = telegram(14, {1}, 172);
    ParameterReadoutContext context;
    context.lastSent = sentCopy(last);
    context.bookkeeping = {14, false};
    auto r = decodeParameterReply(last, true, context, kPoint);
    EXPECT_EQ(r.status, "Configuration data downloaded");
    EXPECT_EQ(textOf(r.texts, "lUreaTankTemperatureOBD"), "Enabled");

    // An earlier telegram of the sequence failed: its text stays, the labels still change.
    context.bookkeeping = {14, true};
    r = decodeParameterReply(last, true, context, kPoint);
    EXPECT_FALSE(r.status.has_value());
    EXPECT_EQ(textOf(r.texts, "lUreaTankTemperatureOBD"), "Enabled");

    // A read answer of the last identifier is no echo.
    context.bookkeeping = {14, false};
    r = decodeParameterReply(telegram(14, {1}), false, context, kPoint);
    EXPECT_FALSE(r.status.has_value());
}

TEST(ParameterEcho, Download163IsDoneOnlyWithTheEchoOfItsLastWrite) {
    // The writes 0 and 1 behind image 163 take over the bookkeeping, so the echo of write 0 does
    // not match the initial LastDownloadId 0 into a premature success.
    InstallerConfiguration config;
    config.vin = "V";
    config.installDate = {2024, 5, 1};
    config.externalHeater = 0;
    config.conversionRatioSelection = 1;
    config.mafFactorEnabled = false;
    config.ecmCanAddress = 0;
    config.minimumMaf = 40;
    config.levelSensor = 1;
    config.tlOutput = 0;
    config.purgeSequencesMinus1 = 0;
    config.valveOpenTime = 1;
    config.valveCloseTime = 0;
    config.udsSurveillance = 0;
    config.downstreamNox = 0;
    config.mafSignal = 1;
    config.repeatingPrime = 0;
    config.ureaTankTempSensor = 0;
    config.engineSpeed = 0;
    config.idleThresholdRpm = 300;
    config.dividerValue = 1000;
    config.divider = 1000;
    config.ureaTankSettings = true;
    config.ureaTankTemperatureObd = 1;
    config.monitorTankHeater = 1;
    config.monitorLineHeater = 1;
    config.ureaLimitWrites = true;
    config.ureaHighStop = 80;
    config.ureaHighRestart = 70;
    config.ureaLowStop = -30;
    config.ureaLowRestart = -25;
    const auto built = encodeConfig163(config, {});
    ASSERT_TRUE(std::holds_alternative<Config163Download>(built));
    const auto& download = std::get<Config163Download>(built);
    ASSERT_EQ(download.parameterWrites.size(), 2u);
    ASSERT_TRUE(download.bookkeeping.has_value());

    ParameterReadoutContext context;
    context.bookkeeping = *download.bookkeeping;
    std::vector<std::optional<std::string>> statuses;
    for (const auto& write : download.parameterWrites) {
        context.lastSent = write;
        statuses.push_back(decodeParameterReply(write, true, context, kPoint).status);
    }
    EXPECT_EQ(statuses, (std::vector<std::optional<std::string>>{
                            std::nullopt, std::string("Configuration data downloaded")}));
}

TEST(ParameterTelegramBuilder, ValuesLandAtTheirBytesAndNeverOverTheHeader) {
    const auto write = ParameterTelegram::write(0x0123)
                           .u16(2, 0xBEEF)
                           .s8(4, -2)
                           .u16(6, 0x5555)      // would reach the code: ignored
                           .u32(0, 0x11111111)  // would reach the identifier: ignored
                           .bytes();
    EXPECT_EQ(std::vector<uint8_t>(write.begin(), write.end()),
              (std::vector<uint8_t>{0x23, 0x01, 0xEF, 0xBE, 0xFE, 0x00, 0x00, 172}));
    const auto read = ParameterTelegram::read(1).bytes();
    EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.end()),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 173}));
    EXPECT_EQ(ParameterTelegram::write(29).u32(3, 0xAABBCCDD).bytes()[6], 0xAA);
}

}  // namespace
