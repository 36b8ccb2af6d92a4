#include "pump/text_tables.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace text_tables;

TEST(ApplicationTypeNames, ThirtySixVariantsWithEntryElevenEmpty) {
    ASSERT_EQ(ApplicationTypeNames.size(), 36u);
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < ApplicationTypeNames.size(); ++i) {
        if (i == 11) {
            EXPECT_TRUE(ApplicationTypeNames[i].empty());
            continue;
        }
        EXPECT_FALSE(ApplicationTypeNames[i].empty()) << "entry " << i;
        EXPECT_TRUE(seen.insert(ApplicationTypeNames[i]).second)
            << "entry " << i << " repeats " << ApplicationTypeNames[i];
    }
}

TEST(ApplicationTypeNames, LookupAndFallback) {
    EXPECT_EQ(applicationTypeText(35), std::string(ApplicationTypeNames[35]));
    EXPECT_EQ(applicationTypeText(0), std::string(ApplicationTypeNames[0]));
    EXPECT_EQ(applicationTypeText(11), "");
    EXPECT_EQ(applicationTypeText(36), "Unknown application type (36)");
    EXPECT_EQ(applicationTypeText(255), "Unknown application type (255)");
}

TEST(PumpSizeNames, OwnEntriesForOneToThreeUndefinedOtherwise) {
    const struct {
        unsigned code;
        const char* text;
    } cases[] = {
        {0, "UNDEFINED"}, {1, "2.50 l/h"},    {2, "7.50 l/h"},     {3, "12.0 l/h"},
        {4, "UNDEFINED"}, {255, "UNDEFINED"}, {1000, "UNDEFINED"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pumpSizeText(c.code), c.text) << "code " << c.code;
    }
}

TEST(SignedCodeTables, PumpStateAndAlarmFallBackToSignedValue) {
    const struct {
        std::string (*lookup)(uint8_t);
        uint8_t raw;
        const char* text;
    } cases[] = {
        {pumpStateText, 0, "Initialising"},
        {pumpStateText, 6, "Override mode final test"},
        {pumpStateText, 8, "Calibrating"},
        {pumpStateText, 9, "Invalid value: 9"},
        {pumpStateText, 0xC8, "Invalid value: -56"},
        {pumpStateText, 0x7F, "Invalid value: 127"},
        {pumpStateText, 0x80, "Invalid value: -128"},
        {alarmCodeText, 0, "No alarm"},
        {alarmCodeText, 3, "CANBUS timeout "},  // the trailing blank is the pump's text
        {alarmCodeText, 5, "EEPROM error"},
        {alarmCodeText, 6, "Invalid value: 6"},
        {alarmCodeText, 0xFF, "Invalid value: -1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.lookup(c.raw), c.text) << "raw " << int(c.raw);
    }
}

TEST(TwoStateTables, BitValuesUndeterminedAndUnusedThree) {
    const struct {
        const TwoStateTable& table;
        const char* zero;
        const char* one;
    } tables[] = {
        {ReadinessTexts, "Complete", "Incomplete"},
        {NotActiveActiveTexts, "Not Active", "Active"},
        {ActiveNotActiveTexts, "Active", "Not Active"},
        {OffOnTexts, "Off", "On"},
        {InactiveActiveTexts, "Inactive", "Active"},
        {ClosedOpenTexts, "Closed", "Open"},
    };
    for (const auto& t : tables) {
        EXPECT_EQ(twoStateText(t.table, 0), t.zero);
        EXPECT_EQ(twoStateText(t.table, 1), t.one);
        EXPECT_EQ(twoStateText(t.table, 2), "Undetermined");
        EXPECT_EQ(twoStateText(t.table, 3), "Invalid value: 3");
    }
}

TEST(ComponentNames, ErrorLogFallbackAndTheTwoNumberings) {
    EXPECT_EQ(errorLogComponentText(0), "Empty record");
    EXPECT_EQ(errorLogComponentText(26), "Urea Tank temperature");
    EXPECT_EQ(errorLogComponentText(27), "Invalid index");
    EXPECT_EQ(errorLogComponentText(0x7FFF), "Invalid index");

    ASSERT_EQ(ObdComponentNames.size(), 27u);
    EXPECT_EQ(ObdComponentNames[0], "");
    EXPECT_EQ(ObdComponentNames[8], "Upstream cat. temp");
    EXPECT_EQ(ObdComponentNames[26], "Urea Tank Temperature");
    EXPECT_EQ(ErrorLogComponentNames[5], "Cat. in temp.");
    EXPECT_EQ(ObdTitleText, "On Board Diagnostics");
    EXPECT_EQ(ObdStateTitleText, "Current state");
}

TEST(TableText, NothingOutsideTheTable) {
    EXPECT_EQ(tableText(ObdComponentNames, 26),
              std::optional<std::string_view>("Urea Tank Temperature"));
    EXPECT_EQ(tableText(ObdComponentNames, 27), std::nullopt);
    EXPECT_EQ(tableText(ObdComponentNames, -1), std::nullopt);
    EXPECT_EQ(tableText(PumpSizeNames, 0), std::optional<std::string_view>("UNDEFINED"));
}

TEST(NotDownloadedTexts, UsedOneBased) {
    EXPECT_EQ(notDownloadedText(1), std::optional<std::string_view>("MAF factor NOT downloaded"));
    EXPECT_EQ(notDownloadedText(6),
              std::optional<std::string_view>("Dashboard odometer value NOT downloaded"));
    EXPECT_EQ(notDownloadedText(0), std::nullopt);
    EXPECT_EQ(notDownloadedText(7), std::nullopt);
}
