#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/nox_sensor.h"
#include "pump/obd_states.h"
#include "pump/status_pages.h"
#include "pump/torque_limiter.h"

TEST(TorqueLimiter, CauseBytesToTheSeventeenIndicators) {
    using torque_limiter::kIndicators;
    const auto redNames = [](std::vector<uint8_t> bytes) {
        const auto causes = decodeTorqueLimiterCauses(bytes);
        std::vector<std::string> red;
        for (std::size_t i = 0; i < kIndicators.size(); ++i) {
            EXPECT_TRUE(causes.states[i].has_value()) << kIndicators[i].objectName;
            if (causes.states[i] == IndicatorState::Red) {
                red.push_back(kIndicators[i].objectName);
            }
        }
        return red;
    };
    EXPECT_EQ(redNames({0x00, 0x00, 0x00}), std::vector<std::string>{});
    EXPECT_EQ(redNames({0xFF, 0xFF, 0x01}).size(), 17u);
    EXPECT_EQ(redNames({0x41, 0x00, 0x00}),
              (std::vector<std::string>{"shTL_ECU", "shTL_DosingValveOpen"}));
    EXPECT_EQ(redNames({0x00, 0x00, 0xFE}), std::vector<std::string>{});  // bits 1-7 unread

    // Every bit on its own, in bit order of bytes 0, 1 and 2.
    const char* byBit[] = {
        "shTL_ECU",          "shTL_DriveUnit",   "shTL_NOxIn",           "shTL_MAF",
        "shTL_CatInTemp",    "dshTL_CatOutTemp", "shTL_DosingValveOpen", "shTL_DosingValveClosed",
        "shTL_PumpHeadTemp", "shTL_Nozzle",      "shTL_ConversionRate",  "shTL_InternalHeater",
        "shTL_LevelSensor",  "shTL_AirUrea",     "shTL_UreaLevel",       "shTL_NOxOut",
        "shTL_ECMcom",
    };
    for (int bit = 0; bit < 17; ++bit) {
        std::vector<uint8_t> bytes(3, 0);
        bytes[bit / 8] = static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_EQ(redNames(bytes), std::vector<std::string>{byBit[bit]}) << "bit " << bit;
    }
}

TEST(TorqueLimiter, ShortPageCountdownsAndClear) {
    const std::vector<uint8_t> two = {0xFF, 0x00};
    const auto causes = decodeTorqueLimiterCauses(two);
    EXPECT_FALSE(causes.complete);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(causes.states[i], i < 8 ? IndicatorState::Red : IndicatorState::Green) << i;
    }
    EXPECT_FALSE(causes.states[16].has_value());  // "ECM communication" keeps its colour
    const auto none = decodeTorqueLimiterCauses({});
    for (const auto& state : none.states) {
        EXPECT_FALSE(state.has_value());
    }
    EXPECT_TRUE(decodeTorqueLimiterCauses(std::vector<uint8_t>{0, 0, 0, 0xFF}).complete);

    const auto counts = torqueLimiterCountdownTexts({5, 45});
    EXPECT_EQ(counts.countDown5Sec, "5");
    EXPECT_EQ(counts.countDown45Sec, "45");
    const auto extremes = torqueLimiterCountdownTexts({65535, 0});
    EXPECT_EQ(extremes.countDown5Sec, "65535");
    EXPECT_EQ(extremes.countDown45Sec, "0");

    const auto cleared = clearedTorqueLimiterDisplay();
    for (const auto state : cleared.states) {
        EXPECT_EQ(state, IndicatorState::Red);
    }
    EXPECT_EQ(cleared.countdowns.countDown5Sec, "?");
    EXPECT_EQ(cleared.countdowns.countDown45Sec, "?");
}

// Reply 200 carries the diagnostic pages among the others: page 201 from telegram byte 8, page 208
// from 177, the sensor records of pages 209 and 210 from 180 and 196, the count-downs of page 211
// at 236 and 238.
TEST(AllPagesDiagnostics, EachDecoderGetsItsSliceOfReply200) {
    std::vector<uint8_t> telegram(247, 0);
    telegram[7] = 200;
    telegram[8] = 0x0C;    // page 201 byte 0: upstream NOx sensor 3
    telegram[12] = 0x08;   // page 201 byte 4: ECM communication error
    telegram[177] = 0x41;  // page 208: EEPROM and dosing valve open
    telegram[179] = 0x01;  // page 208 byte 2: ECM communication
    telegram[180] = 0x2C;  // page 209: 300 ppm upstream
    telegram[181] = 0x01;
    telegram[188] = 0xA0;  // page 209 byte 8: the sensor's raw NOx 4000
    telegram[189] = 0x0F;
    telegram[196] = 0xF6;  // page 210: -10 ppm downstream
    telegram[197] = 0xFF;
    telegram[236] = 3;     // page 211 bytes 24-25: 3 s
    telegram[238] = 0x2A;  // page 211 bytes 26-27: 42 s
    const DisplayFormat point{'.', "%Y-%m-%d"};
    const auto all = decodeAllPages(telegram, PumpLiveValues{}, InstallerView{}, point);

    const auto obd = decodePage201(all.pages[0].body, false, InstallerReadback{});
    EXPECT_TRUE(obd.complete);
    EXPECT_EQ(obd.states[2].row, 6);
    EXPECT_EQ(obd.states[2].text, "Invalid value: 3");
    EXPECT_EQ(obd.states.back().row, 25);
    EXPECT_EQ(obd.states.back().text, "Communication error");

    const auto causes = decodeTorqueLimiterCauses(all.pages[7].body);
    EXPECT_TRUE(causes.complete);
    EXPECT_EQ(causes.states[0], IndicatorState::Red);
    EXPECT_EQ(causes.states[1], IndicatorState::Green);
    EXPECT_EQ(causes.states[6], IndicatorState::Red);
    EXPECT_EQ(causes.states[16], IndicatorState::Red);

    const auto upstream = decodePumpSensorRecord(all.pages[8].body, point);
    EXPECT_TRUE(upstream.complete);
    EXPECT_EQ(upstream.noxPpm, "300");
    EXPECT_EQ(upstream.frame->noxValue, "4000");
    const auto downstream = decodePumpSensorRecord(all.pages[9].body, point);
    EXPECT_EQ(downstream.noxPpm, "-10");

    ASSERT_TRUE(all.page211.torqueLimiterCountdowns.has_value());
    const auto counts = torqueLimiterCountdownTexts(*all.page211.torqueLimiterCountdowns);
    EXPECT_EQ(counts.countDown5Sec, "3");
    EXPECT_EQ(counts.countDown45Sec, "42");
}
