#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "pump/nox_sensor.h"

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};
const DisplayFormat kComma{',', "%d.%m.%Y"};

// A sensor message built byte by byte: NOx raw, O2 raw, status, heater, NOx error, O2 error.
std::vector<uint8_t> message(uint16_t nox, uint16_t o2, uint8_t status = 0x55,
                             uint8_t heater = 0x1F, uint8_t noxError = 0x1F,
                             uint8_t o2Error = 0x1F) {
    return {static_cast<uint8_t>(nox),
            static_cast<uint8_t>(nox >> 8),
            static_cast<uint8_t>(o2),
            static_cast<uint8_t>(o2 >> 8),
            status,
            heater,
            noxError,
            o2Error};
}

}  // namespace

TEST(NoxSensorMessage, NoxConcentrationTruncatesTowardZero) {
    const struct {
        uint16_t raw;
        const char* ppm;
    } cases[] = {
        {4000, "0"}, {0, "-200"},  {3999, "0"},    {4001, "0"},    {3980, "-1"},
        {4020, "1"}, {3979, "-1"}, {2000, "-100"}, {20000, "800"}, {65535, "3076"},
        {4019, "0"}, {3981, "0"},  {1, "-199"},    {8000, "200"},
    };
    for (const auto& c : cases) {
        const auto m = decodeSensorMessage(message(c.raw, 0), kPoint);
        ASSERT_TRUE(m.has_value());
        EXPECT_EQ(m->noxPpm, c.ppm) << "raw " << c.raw;
        EXPECT_EQ(m->frame.noxValue, std::to_string(c.raw)) << "raw " << c.raw;
    }
}

TEST(NoxSensorMessage, OxygenInPercentWithTwoDecimalsRoundedExactly) {
    const struct {
        uint16_t raw;
        const DisplayFormat& format;
        const char* percent;
    } cases[] = {
        {0, kPoint, "-12.00"},    {0, kComma, "-12,00"},
        {23346, kPoint, "0.00"},   // -0.000156: no minus sign on a zero
        {23347, kPoint, "0.00"},   // +0.000358
        {42800, kPoint, "10.00"},  // 9.9992
        {65535, kPoint, "21.68"},  // 21.68499
        {2500, kPoint, "-10.72"},  // -10.715 exactly: half away from zero
        {27500, kComma, "2,14"},   // 2.135 exactly
    };
    for (const auto& c : cases) {
        const auto m = decodeSensorMessage(message(4000, c.raw), c.format);
        ASSERT_TRUE(m.has_value());
        EXPECT_EQ(m->o2Percent, c.percent) << "raw " << c.raw;
        EXPECT_EQ(m->frame.o2, std::to_string(c.raw));
    }
}

TEST(NoxSensorMessage, StatusFieldsOfByteFive) {
    const struct {
        uint8_t status;
        const char *supply, *temperature, *nox, *oxygen;
    } cases[] = {
        {0x55, "in range", "at operating temperature", "valid", "valid"},
        {0x00, "not in range", "not at temperature", "not valid", "not valid"},
        {0xAA, "error", "error", "error", "error"},
        {0xFF, "not available", "not available", "not available", "not available"},
        // supply 0, temperature 1, NOx 2, oxygen 3: each field read from its own bits
        {0xE4, "not in range", "at operating temperature", "error", "not available"},
        {0x1B, "not available", "error", "valid", "not valid"},
    };
    for (const auto& c : cases) {
        const auto m = decodeSensorMessage(message(4000, 0, c.status), kPoint);
        ASSERT_TRUE(m.has_value());
        EXPECT_EQ(m->frame.sensorSupply, c.supply) << int(c.status);
        EXPECT_EQ(m->frame.sensorTemperature, c.temperature) << int(c.status);
        EXPECT_EQ(m->frame.noxSignal, c.nox) << int(c.status);
        EXPECT_EQ(m->frame.oxygenSignal, c.oxygen) << int(c.status);
    }
}

TEST(NoxSensorMessage, HeaterModeAndTheThreeFmiErrors) {
    const struct {
        uint8_t heater, noxError, o2Error;
        const char *mode, *heaterError, *noxText, *o2Text;
    } cases[] = {
        {0x7F, 0x03, 0x04, "off / preheating mode", "no error", "short circuit",
         "Invalid value: 4"},
        // bit 8 of byte 6 and bits 6 to 8 of bytes 7 and 8 are not read
        {0x83, 0xE5, 0xFF, "automatic mode", "short circuit", "open wire", "no error"},
        {0x25, 0x1F, 0x00, "heatup slope 3 or 4", "open wire", "no error", "Invalid value: 0"},
        {0x44, 0x1E, 0x1D, "heatup slope 1 or 2", "Invalid value: 4", "Invalid value: 30",
         "Invalid value: 29"},
    };
    for (const auto& c : cases) {
        const auto m =
            decodeSensorMessage(message(4000, 0, 0x55, c.heater, c.noxError, c.o2Error), kPoint);
        ASSERT_TRUE(m.has_value());
        EXPECT_EQ(m->frame.heaterMode, c.mode) << int(c.heater);
        EXPECT_EQ(m->frame.heaterError, c.heaterError) << int(c.heater);
        EXPECT_EQ(m->frame.noxError, c.noxText) << int(c.noxError);
        EXPECT_EQ(m->frame.o2Error, c.o2Text) << int(c.o2Error);
    }
}

TEST(NoxSensorMessage, ShortMessageIsNoMessageAndExtraBytesAreIgnored) {
    auto bytes = message(4020, 0);
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(decodeSensorMessage(std::span(bytes).first(size), kPoint).has_value()) << size;
    }
    bytes.push_back(0xAB);
    const auto m = decodeSensorMessage(bytes, kPoint);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->noxPpm, "1");
    EXPECT_EQ(m->frame.o2Error, "no error");
}

TEST(NoxSensorFrame, EveryTextGoesToItsOwnLabel) {
    NoxFrameTexts t;
    t.noxValue = "a";
    t.o2 = "b";
    t.sensorSupply = "c";
    t.noxSignal = "d";
    t.oxygenSignal = "e";
    t.sensorTemperature = "f";
    t.heaterMode = "g";
    t.noxError = "h";
    t.o2Error = "i";
    t.heaterError = "j";
    const struct {
        const char* name;
        const char* text;
    } expected[] = {
        {"lNOxValue", "a"},
        {"lO2", "b"},
        {"lNOxStatusSensorSupply", "c"},
        {"lNOxStatusNOxSignal", "d"},
        {"lNOxStatusOxygenSignal", "e"},
        {"lNOxStatusSensorTemperature", "f"},
        {"lStatusHeaterMode", "g"},
        {"lNOxError", "h"},
        {"lOxError", "i"},
        {"lHeaterError", "j"},
    };
    const auto labels = frameLabels(t);
    ASSERT_EQ(labels.size(), std::size(expected));
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_STREQ(labels[i].objectName, expected[i].name);
        EXPECT_EQ(labels[i].text, expected[i].text) << expected[i].name;
        EXPECT_STREQ(nox_frame::kReadouts[i].objectName, expected[i].name);
    }
}

TEST(NoxSensorFrame, HiddenListsCarryTheDecodedTexts) {
    // The error lists hold "short circuit", "open wire", "no error" in that order.
    for (const auto& list : nox_texts::kHiddenLists) {
        const std::string_view name = list.comboName;
        if (name == "cbHeaterError" || name == "cbNOxError" || name == "cbOxError") {
            ASSERT_EQ(list.items.size(), 3u) << name;
            EXPECT_EQ(list.items[0], "short circuit");
            EXPECT_EQ(list.items[1], "open wire");
            EXPECT_EQ(list.items[2], "no error");
            EXPECT_STREQ(list.group, "Error");
        } else {
            ASSERT_EQ(list.items.size(), 4u) << name;
            EXPECT_STREQ(list.group, "Status");
        }
    }
    // Each status read-out shows the item of its own list at the field's value.
    for (uint8_t v = 0; v < 4; ++v) {
        const uint8_t status = static_cast<uint8_t>(v | (v << 2) | (v << 4) | (v << 6));
        const auto m = decodeSensorMessage(message(0, 0, status, uint8_t(v << 5)), kPoint);
        ASSERT_TRUE(m.has_value());
        const struct {
            const char* combo;
            const std::string& text;
        } pairs[] = {
            {"cbNOxStatusSensorSupply", m->frame.sensorSupply},
            {"cbNOxStatusNOxSignal", m->frame.noxSignal},
            {"cbNOxStatusOxSignal", m->frame.oxygenSignal},
            {"cbNOxStatusSensorTemperature", m->frame.sensorTemperature},
            {"cbHeaterModeStatus", m->frame.heaterMode},
        };
        for (const auto& p : pairs) {
            const auto* list = std::find_if(
                nox_texts::kHiddenLists.begin(), nox_texts::kHiddenLists.end(),
                [&](const auto& l) { return std::string_view(l.comboName) == p.combo; });
            ASSERT_NE(list, nox_texts::kHiddenLists.end()) << p.combo;
            EXPECT_EQ(list->items[v], p.text) << p.combo << " " << int(v);
        }
    }
}

TEST(NoxSensorSource, OnlyTheSensorsOwnAddressesCount) {
    const struct {
        uint32_t pgn;
        uint8_t source;
        std::optional<NoxSide> side;
    } cases[] = {
        {61454, 81, NoxSide::Upstream},
        {61455, 82, NoxSide::Downstream},
        {61454, 82, std::nullopt},  // the downstream sensor does not send intake gas
        {61455, 81, std::nullopt},
        {61454, 0, std::nullopt},  // the engine's own intake gas message
        {61455, 61, std::nullopt},
        {61456, 81, std::nullopt},
        {0xEF00, 81, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sensorSideOf(c.pgn, c.source), c.side) << c.pgn << " from " << int(c.source);
    }
    EXPECT_EQ(sensorSideOfAddress(81), NoxSide::Upstream);
    EXPECT_EQ(sensorSideOfAddress(82), NoxSide::Downstream);
    EXPECT_EQ(sensorSideOfAddress(83), std::nullopt);
    EXPECT_EQ(sensorSideOfAddress(61), std::nullopt);
}

TEST(NoxSensorNames, EachSideNamesItsOwnControls) {
    const NoxSideNames& up = noxSideNames(NoxSide::Upstream);
    const NoxSideNames& down = noxSideNames(NoxSide::Downstream);
    EXPECT_STREQ(up.mainWindowNox, "lNOxUp");
    EXPECT_STREQ(down.mainWindowNox, "lNOxDown");
    EXPECT_STREQ(up.pumpNoxPpm, "lNOxppmUpstreamPump");
    EXPECT_STREQ(down.pumpO2Lin, "lO2linDownstreamPump");
    EXPECT_STREQ(up.sensorO2Percent, "lO2percentUpstreamSensor");
    EXPECT_STREQ(down.sensorFrame, "frDownstreamSensorData");
    EXPECT_STREQ(up.pumpFrameCaption, "Upstream pump data");
    EXPECT_STREQ(down.indicator, "shDownstreamConnected");
    EXPECT_STREQ(up.watchdog, "tmrUpstreamNOxSensorWatchdog");
}

namespace {

std::vector<uint8_t> pumpRecord(int16_t ppm, int16_t o2Lin, float o2,
                                const std::vector<uint8_t>& sensor) {
    uint32_t bits = 0;
    std::memcpy(&bits, &o2, sizeof bits);
    std::vector<uint8_t> r(8 + sensor.size(), 0);
    r[0] = static_cast<uint8_t>(ppm);
    r[1] = static_cast<uint8_t>(ppm >> 8);
    r[2] = static_cast<uint8_t>(o2Lin);
    r[3] = static_cast<uint8_t>(o2Lin >> 8);
    for (std::size_t i = 0; i < 4; ++i) {
        r[4 + i] = static_cast<uint8_t>(bits >> (8 * i));
    }
    std::copy(sensor.begin(), sensor.end(), r.begin() + 8);
    return r;
}

}  // namespace

TEST(NoxPumpRecord, PumpValuesAndTheMessageItReceived) {
    // 0xFFFB = -5 ppm, O2_lin 0x04D2 = 1234, O2 9.99 % as the float bytes 0A D7 1F 41.
    const std::vector<uint8_t> record = {0xFB, 0xFF, 0xD2, 0x04, 0x0A, 0xD7, 0x1F, 0x41,
                                         0xA0, 0x0F, 0x00, 0x00, 0x7F, 0x03, 0x04, 0x1F};
    const auto r = decodePumpSensorRecord(record, kComma);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.noxPpm, "-5");
    EXPECT_EQ(r.o2Lin, "1234");
    EXPECT_EQ(r.o2Percent, "9,99");
    ASSERT_TRUE(r.frame.has_value());
    EXPECT_EQ(r.frame->noxValue, "4000");
    EXPECT_EQ(r.frame->o2, "0");
    EXPECT_EQ(r.frame->sensorSupply, "not available");
    EXPECT_EQ(r.frame->oxygenSignal, "valid");
    EXPECT_EQ(r.frame->heaterMode, "automatic mode");
    EXPECT_EQ(r.frame->heaterError, "short circuit");
    EXPECT_EQ(r.frame->noxError, "Invalid value: 4");
    EXPECT_EQ(r.frame->o2Error, "no error");

    const auto negative =
        decodePumpSensorRecord(pumpRecord(-32768, -1, -12.0f, message(0, 0)), kPoint);
    EXPECT_EQ(negative.noxPpm, "-32768");
    EXPECT_EQ(negative.o2Lin, "-1");
    EXPECT_EQ(negative.o2Percent, "-12.00");
}

TEST(NoxPumpRecord, ShortRecordShowsOnlyTheFieldsItHolds) {
    const auto full = pumpRecord(812, 2150, 10.5f, message(20000, 42800));
    const struct {
        std::size_t size;
        bool nox, o2Lin, o2, frame;
    } cases[] = {
        {0, false, false, false, false}, {1, false, false, false, false},
        {2, true, false, false, false},  {3, true, false, false, false},
        {4, true, true, false, false},   {7, true, true, false, false},
        {8, true, true, true, false},    {15, true, true, true, false},
        {16, true, true, true, true},
    };
    for (const auto& c : cases) {
        const auto r = decodePumpSensorRecord(std::span(full).first(c.size), kPoint);
        EXPECT_EQ(r.noxPpm.has_value(), c.nox) << c.size;
        EXPECT_EQ(r.o2Lin.has_value(), c.o2Lin) << c.size;
        EXPECT_EQ(r.o2Percent.has_value(), c.o2) << c.size;
        EXPECT_EQ(r.frame.has_value(), c.frame) << c.size;
        EXPECT_EQ(r.complete, c.size == 16) << c.size;
    }
    const auto r = decodePumpSensorRecord(full, kPoint);
    EXPECT_EQ(r.noxPpm, "812");
    EXPECT_EQ(r.o2Percent, "10.50");
    EXPECT_EQ(r.frame->noxValue, "20000");
}

TEST(NoxPumpRecord, OxygenFloatKeepsSevenSignificantDigits) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {123456.78, "123456.80"},
        {9999999.4, "9999999.00"},
        {9999999.6, "1.000000E+07"},
        {12345678.0, "1.234568E+07"},
        {-12345678.0, "-1.234568E+07"},
        {0.0, "0.00"},
        {-0.001, "0.00"},
        {21.685, "21.69"},
        {1e-30, "0.00"},
        {nan, "NAN"},
        {inf, "INF"},
        {-inf, "-INF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatFixedSignificant(c.value, 7, 2, kPoint), c.text) << c.value;
    }
    EXPECT_EQ(formatFixedSignificant(12345678.0, 7, 2, kComma), "1,234568E+07");
    EXPECT_EQ(formatFixedSignificant(21.5, 7, 2, kComma), "21,50");
}

// The watchdog and the indicator of one sensor side, driven by a fake clock in 10-ms ticks as the
// scheduler runs.
TEST(NoxSensorWatchTimeline, StartUpMessagesGapsAndClaims) {
    NoxSensorWatch watch;
    EXPECT_TRUE(watch.running());
    EXPECT_EQ(watch.intervalMs(), 1u);
    EXPECT_EQ(watch.indicator(), IndicatorState::Red);

    // 1 ms after start-up the side shows "?": the first expiry.
    EXPECT_TRUE(watch.advance(10));
    EXPECT_FALSE(watch.running());
    EXPECT_EQ(watch.intervalMs(), 1000u);
    EXPECT_FALSE(watch.advance(5000));  // stopped: no second expiry without a message

    // The sensor claims its address and sends every 100 ms for 5 s: nothing expires.
    watch.onAddressClaim();
    EXPECT_EQ(watch.indicator(), IndicatorState::Green);
    for (int i = 0; i < 50; ++i) {
        watch.onMessage();
        for (int tick = 0; tick < 10; ++tick) {
            ASSERT_FALSE(watch.advance(10)) << "message " << i << " tick " << tick;
        }
    }
    // Silence: 990 ms after the last message still nothing, at 1000 ms the side turns "?" and red.
    watch.onMessage();
    for (int tick = 0; tick < 99; ++tick) {
        ASSERT_FALSE(watch.advance(10)) << tick;
    }
    EXPECT_EQ(watch.indicator(), IndicatorState::Green);
    EXPECT_TRUE(watch.advance(10));
    EXPECT_EQ(watch.indicator(), IndicatorState::Red);
    EXPECT_FALSE(watch.running());

    // The next message fills the read-outs again but the indicator stays red until a claim.
    watch.onMessage();
    EXPECT_TRUE(watch.running());
    EXPECT_EQ(watch.indicator(), IndicatorState::Red);
    EXPECT_FALSE(watch.advance(500));
    watch.onAddressClaim();
    EXPECT_EQ(watch.indicator(), IndicatorState::Green);

    // The window's own timer path: an expiry it reports directly does the same.
    watch.onExpiry();
    EXPECT_FALSE(watch.running());
    EXPECT_EQ(watch.indicator(), IndicatorState::Red);
}
