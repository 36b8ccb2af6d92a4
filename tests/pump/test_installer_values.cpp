#include "pump/installer_values.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(InstallerValues, DecimalTextInTheOperatorsSeparator) {
    const struct {
        const char* text;
        char point;
        std::optional<double> value;
    } cases[] = {
        {"4.96", '.', 4.96},
        {"4,96", ',', 4.96},
        {"4,96", '.', std::nullopt},
        {"4.96", ',', std::nullopt},
        {" -0.5 ", '.', -0.5},
        {"+12", '.', 12.0},
        {".5", '.', 0.5},
        {"5.", '.', 5.0},
        {"5e1", '.', 50.0},
        {"2,5E-1", ',', 0.25},
        {"", '.', std::nullopt},
        {"-", '.', std::nullopt},
        {".", '.', std::nullopt},
        {"1e", '.', std::nullopt},
        {"1.2.3", '.', std::nullopt},
        {"1 000", '.', std::nullopt},
        {"nan", '.', std::nullopt},
        {"inf", '.', std::nullopt},
        {"1e400", '.', std::nullopt},
        {"0x10", '.', std::nullopt},
        {"--1", '.', std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseDecimal(c.text, c.point), c.value) << '"' << c.text << "\" " << c.point;
    }
}

TEST(InstallerValues, RoundingIsHalfUpTruncatedTowardZero) {
    EXPECT_EQ(scaledCount(4.96, 10), 50);
    EXPECT_EQ(scaledCount(4.94, 10), 49);
    EXPECT_EQ(scaledCount(500.05, 10), 5001);
    EXPECT_EQ(scaledCount(-0.7, 1), 0);  // -0.2 truncated toward zero
    EXPECT_EQ(scaledCount(-1.7, 1), -1);
    EXPECT_EQ(scaledCount(1e300, 10), std::nullopt);
}

TEST(InstallerValues, PackedInstallationDate) {
    EXPECT_EQ(packInstallDate({2024, 2, 29}), 24 | (2 << 7) | (29 << 11));
    EXPECT_EQ(packInstallDate({2127, 12, 31}), 127 | (12 << 7) | (31 << 11));
    EXPECT_EQ(packInstallDate({2023, 2, 29}), std::nullopt);
    EXPECT_EQ(packInstallDate({1999, 12, 31}), std::nullopt);
    EXPECT_EQ(packInstallDate({2128, 1, 1}), std::nullopt);
    EXPECT_EQ(unpackInstallDate(24 | (2 << 7) | (29 << 11)), (InstallDate{2024, 2, 29}));
    EXPECT_EQ(unpackInstallDate(24 | (13 << 7) | (1 << 11)), std::nullopt);  // month 13
    EXPECT_EQ(unpackInstallDate(24 | (4 << 7) | (31 << 11)), std::nullopt);  // 31 April
    EXPECT_EQ(unpackInstallDate(0), std::nullopt);                           // day 0
    EXPECT_EQ(formatInstallDate({2024, 2, 29}, DisplayFormat{'.', "%d.%m.%Y"}), "29.02.2024");
}

TEST(InstallerValues, LevelSensorCountsAndResistances) {
    const struct {
        uint16_t count;
        std::optional<int64_t> ohm;
    } toOhm[] = {{0, 0},          {512, 1002},          {133, 149},
                 {1022, 1022000}, {1023, std::nullopt}, {1100, std::nullopt}};
    for (const auto& c : toOhm) {
        EXPECT_EQ(levelLimitOhm(c.count), c.ohm) << c.count;
    }
    const struct {
        double ohm;
        std::optional<uint16_t> count;
    } toCount[] = {{0, 0},       {46, 45},           {1002, 512},         {150, 133},
                   {24000, 982}, {-1, std::nullopt}, {1e40, std::nullopt}};
    for (const auto& c : toCount) {
        EXPECT_EQ(levelLimitCount(c.ohm), c.count) << c.ohm;
    }
}

}  // namespace
