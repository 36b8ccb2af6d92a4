#include "pump/number_format.h"

#include <gtest/gtest.h>

#include <optional>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};
const DisplayFormat kComma{',', "%d.%m.%Y"};

// The same text with the other separator, for tables written once with '.'.
std::string withComma(std::string text) {
    for (char& c : text) {
        if (c == '.') {
            c = ',';
        }
    }
    return text;
}

}  // namespace

TEST(FormatFixed, RoundsTheExactValueHalfAwayFromZero) {
    const struct {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        {0.0, 2, "0.00"},
        {1234.56, 2, "1234.56"},
        {123456 * 0.01, 2, "1234.56"},
        {0.125, 2, "0.13"},  // exact tie in binary: away from zero, not to even
        {-0.125, 2, "-0.13"},
        {2.5, 0, "3"},
        {-2.5, 0, "-3"},
        {0.49, 0, "0"},
        {9.995, 2, "9.99"},     // 9.995 is 9.99499999... in binary
        {99.996, 2, "100.00"},  // carry through every digit
        {-0.001, 2, "0.00"},    // no "-0.00"
        {-0.0, 1, "0.0"},
        {1e20, 1, "100000000000000000000.0"},
        {336.7, 1, "336.7"},
        {1.0, 3, "1.000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatFixed(c.value, c.decimals, kPoint), c.text) << c.value;
        EXPECT_EQ(formatFixed(c.value, c.decimals, kComma), withComma(c.text)) << c.value;
    }
}

TEST(FormatFixed, NonFiniteValues) {
    EXPECT_EQ(formatFixed(std::numeric_limits<double>::quiet_NaN(), 2, kPoint), "NAN");
    EXPECT_EQ(formatFixed(std::numeric_limits<double>::infinity(), 2, kPoint), "INF");
    EXPECT_EQ(formatFixed(-std::numeric_limits<double>::infinity(), 2, kPoint), "-INF");
}

TEST(FormatLeftJustified, PadsWithBlanksOnTheRightOnly) {
    const struct {
        double value;
        int width;
        int decimals;
        const char* text;
    } cases[] = {
        {55 * 0.25, 5, 2, "13.75"},  // "%-05.2f" of a battery at 13.75 V
        {4 * 0.25, 5, 2, "1.00 "},
        {0.0, 5, 2, "0.00 "},
        {253 * 0.1, 5, 1, "25.3 "},  // "%-5.1f" of a pump head at 25.3 degrees
        {-15 * 0.1, 5, 1, "-1.5 "},
        {-32768 * 0.1, 5, 1, "-3276.8"},  // wider than the field: not cut
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatLeftJustified(c.value, c.width, c.decimals, kPoint), c.text);
        EXPECT_EQ(formatLeftJustified(c.value, c.width, c.decimals, kComma), withComma(c.text));
    }
}

TEST(FormatGeneral, ShortestTextOfFifteenDigits) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {123 * 0.1, "12.3"},  // 12.300000000000001 in binary
        {65535 * 0.1, "6553.5"}, {1000 * 0.1, "100"}, {1 * 0.1, "0.1"}, {0.0, "0"},
        {3 * 0.1, "0.3"},  // 0.30000000000000004 in binary
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatGeneral(c.value, kPoint), c.text);
        EXPECT_EQ(formatGeneral(c.value, kComma), withComma(c.text));
    }
}

TEST(FormatIntegers, PlainAndZeroPadded) {
    EXPECT_EQ(formatUnsigned(4000000000u), "4000000000");
    EXPECT_EQ(formatSigned(-56), "-56");
    const struct {
        int64_t value;
        int width;
        const char* text;
    } cases[] = {
        {5, 2, "05"},    {0, 2, "00"},    {123, 2, "123"},     {-5, 2, "-5"},
        {-5, 4, "-005"}, {12, 4, "0012"}, {65535, 4, "65535"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatZeroPadded(c.value, c.width), c.text) << c.value;
    }
}

TEST(FormatDuration, TwoHourAndTwoMinuteUnits) {
    const struct {
        uint16_t a;
        uint8_t b;
        const char* text;
    } cases[] = {
        {700, 45, "1401:30"},      {0, 0, "00:00"},  {0, 59, "01:58"},  // b = 59 adds an hour
        {0, 29, "00:58"},          {0, 30, "01:00"}, {4, 1, "08:02"},
        {65535, 255, "131078:30"},  // b beyond a day's worth still adds whole hours
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatDuration(c.a, c.b), c.text) << c.a << "/" << int(c.b);
    }
}

TEST(FormatSoftwareVersion, MinorAsTwoDecimalDigitsOrMore) {
    EXPECT_EQ(formatSoftwareVersion(1, 5), "1.05");
    EXPECT_EQ(formatSoftwareVersion(0, 7), "0.07");
    EXPECT_EQ(formatSoftwareVersion(0, 11), "0.11");
    EXPECT_EQ(formatSoftwareVersion(1, 123), "1.123");
    EXPECT_EQ(formatSoftwareVersion(2, 0), "2.00");
}

TEST(LevelSensorResistance, SinglePrecisionAndOpenInput) {
    const struct {
        uint16_t count;
        const char* text;
    } cases[] = {
        {512, "1001.96"}, {300, "414.94"}, {1022, "1022000.00"},
        {0, "0.00"},      {1023, "0.00"},  // open input would divide by zero
        {1100, "0.00"},                    // negative resistance
        {65535, "0.00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatLevelSensorResistance(c.count, kPoint), c.text) << c.count;
        EXPECT_EQ(formatLevelSensorResistance(c.count, kComma), withComma(c.text)) << c.count;
    }
    // The figure is the single-precision quotient, not the double one.
    EXPECT_EQ(levelSensorResistance(512), -512.0f * 1000.0f / -511.0f);
}

TEST(LevelLimitResistance, RoundedOhm) {
    EXPECT_EQ(levelLimitResistance(512), 1002);
    EXPECT_EQ(levelLimitResistance(300), 415);
    EXPECT_EQ(levelLimitResistance(0), 0);
    EXPECT_EQ(levelLimitResistance(1), 1);
    EXPECT_EQ(levelLimitResistance(1023), 0);
    EXPECT_EQ(levelLimitResistance(1022), 1022000);
}

TEST(FormatDosedUrea, ExactProductInLitres) {
    const struct {
        uint32_t count;
        uint16_t calibration;
        const char* text;
    } cases[] = {
        {0, 1234, "0.00"},
        {123456, 0, "0.00"},  // no page 203 yet
        {10000000, 1, "1.00"},
        {150000, 1, "0.02"},  // 0.015 l exactly: half up (a double product gives 0.01)
        {149999, 1, "0.01"},
        {50000, 1, "0.01"},
        {49999, 1, "0.00"},
        {4294967295u, 65535, "28147068.17"},
        {1000000, 250, "25.00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatDosedUrea(c.count, c.calibration, kPoint), c.text) << c.count;
        EXPECT_EQ(formatDosedUrea(c.count, c.calibration, kComma), withComma(c.text)) << c.count;
    }
}

TEST(DisplayFormat, SystemFollowsTheProcessLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const DisplayFormat format = DisplayFormat::system();
    EXPECT_EQ(format.decimalPoint, '.');
    EXPECT_FALSE(format.shortDateFormat.empty());
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(ParseInteger, ReadsWhatALabelOrEntryHolds) {
    const struct {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"0", 0},
        {" 42 ", 42},
        {"\t7", 7},
        {"+5", 5},
        {"-56", -56},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"?", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"12a", std::nullopt},
        {"0x10", std::nullopt},
        {"1 2", std::nullopt},
        {"1.0", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseInteger(c.text), c.value) << '"' << c.text << '"';
    }
}
