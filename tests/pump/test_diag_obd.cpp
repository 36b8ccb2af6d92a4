#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "pump/obd_states.h"
#include "pump/status_pages.h"

namespace {

// An installation that has every monitored component.
InstallerReadback everythingConfigured() {
    InstallerReadback i;
    i.monitorTankHeater = "YES";
    i.monitorLineHeater = "YES";
    i.conversionRatioSelection = "Enabled";
    i.ureaTankLevelSensorSetup = "Analog";
    i.ureaTankTempSetup = "Enabled";
    i.engineSpeedSignalConfig = "Alternator";
    i.ureaTankTemperatureObd = "Enabled";
    return i;
}

std::map<int, std::string> byRow(const Page201Result& page) {
    std::map<int, std::string> rows;
    for (const auto& s : page.states) {
        EXPECT_EQ(rows.count(s.row), 0u) << "row " << s.row << " written twice";
        rows[s.row] = s.text;
    }
    return rows;
}

std::vector<uint8_t> page(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
    return {b0, b1, b2, b3, b4};
}

}  // namespace

TEST(Page201, AllZeroPageWithTheInstallerLabelsStillUnknown) {
    // The labels still read "?": not "Disabled" (rows 14, 17, 19, 20, 24 decode) and not "YES" or
    // "Enabled" (rows 11, 12 and 26 show "Disabled").
    const auto result = decodePage201(page(0, 0, 0, 0, 0), true, InstallerReadback{});
    EXPECT_TRUE(result.complete);
    const std::vector<ObdStateText> expected = {
        {1, "No problem"},  {5, "No problem"},  {6, "No problem"},  {23, "No problem"},
        {7, "No problem"},  {8, "No problem"},  {9, "No problem"},  {10, "No problem"},
        {21, "No problem"}, {18, "No problem"}, {15, "No problem"}, {11, "Disabled"},
        {12, "Disabled"},   {14, "No problem"}, {26, "Disabled"},   {16, "Pump not frozen"},
        {22, "No problem"}, {17, "No problem"}, {19, "No problem"}, {20, "Full"},
        {13, "No problem"}, {24, "No problem"}, {25, "No problem"},
    };
    ASSERT_EQ(result.states.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(result.states[i].row, expected[i].row) << "position " << i;
        EXPECT_EQ(result.states[i].text, expected[i].text) << "row " << expected[i].row;
    }
    ASSERT_EQ(result.serviceCopies.size(), 1u);
    EXPECT_EQ(result.serviceCopies[0].window, ReadoutWindow::ServiceTest);
    EXPECT_STREQ(result.serviceCopies[0].objectName, "lDosingValveOBD");
    EXPECT_EQ(result.serviceCopies[0].text, "No problem");
}

// One field at a time: the row it belongs to shows its text and every other row keeps the text of
// the all-zero page, so a field read from the wrong bits shows.
TEST(Page201, EachFieldToItsRowAndNoOther) {
    const InstallerReadback installer = everythingConfigured();
    const auto baseline = byRow(decodePage201(page(0, 0, 0, 0, 0), true, installer));
    const struct {
        std::size_t byte;
        uint8_t value;
        int row;
        const char* text;
    } cases[] = {
        {0, 0x01, 1, "EEPROM error"},
        {0, 0x02, 5, "Malfunction"},
        {0, 0x04, 6, "Internal error"},
        {0, 0x08, 6, "Communication error"},
        {0, 0x0C, 6, "Invalid value: 3"},
        {0, 0x10, 23, "Internal error"},
        {0, 0x20, 23, "Communication error"},
        {0, 0x40, 7, "Out of range high"},
        {0, 0x80, 7, "Out of range low"},
        {0, 0xC0, 7, "Invalid value: 3"},
        {1, 0x01, 8, "Out of range high"},
        {1, 0x08, 9, "Out of range low"},
        {1, 0x10, 10, "Shorted high"},
        {1, 0x20, 10, "Shorted low"},
        {1, 0x30, 10, "Open load"},
        {1, 0x40, 21, "Out of range high"},
        {1, 0x80, 18, "Blocked"},
        {2, 0x03, 15, "Invalid value: 3"},
        {2, 0x04, 11, "Shorted high"},
        {2, 0x0C, 11, "Open load"},
        {2, 0x20, 12, "Shorted low"},
        {2, 0x40, 16, "Pump frozen"},
        {2, 0x80, 22, "Blocked"},
        {3, 0x01, 17, "Reduced efficiency"},
        {3, 0x02, 17, "Threshold exceeded"},
        {3, 0x03, 17, "Invalid value: 3"},
        {3, 0x04, 19, "Out of range high"},
        {3, 0x0C, 19, "Invalid value: 3"},
        {3, 0x20, 14, "Out of range low"},
        {3, 0x40, 20, "Low"},
        {3, 0x80, 20, "Empty"},
        {3, 0xC0, 20, "Invalid value: 3"},
        {4, 0x01, 13, "Heater failure"},
        {4, 0x02, 24, "Missing"},
        {4, 0x04, 24, "Reserved"},
        {4, 0x06, 24, "Unknown: 3"},
        {4, 0x08, 25, "Communication error"},
        {4, 0x10, 26, "Out of range high"},
        {4, 0x30, 26, "Invalid value: 3"},
    };
    for (const auto& c : cases) {
        auto body = page(0, 0, 0, 0, 0);
        body[c.byte] = c.value;
        const auto rows = byRow(decodePage201(body, true, installer));
        ASSERT_EQ(rows.size(), baseline.size());
        for (const auto& [row, text] : rows) {
            const std::string want = row == c.row ? c.text : baseline.at(row);
            EXPECT_EQ(text, want) << "byte " << c.byte << " = " << int(c.value) << ", row " << row;
        }
    }
}

TEST(Page201, ConditionsOnTheInstallerLabels) {
    const struct {
        const char* what;
        bool externalHeater;
        void (*change)(InstallerReadback&);
        std::vector<uint8_t> body;
        std::map<int, std::string> rows;
    } cases[] = {
        {"no external heater: neither monitor label counts",
         false,
         [](InstallerReadback&) {},
         page(0, 0, 0x3C, 0, 0),
         {{11, "Disabled"}, {12, "Disabled"}}},
        {"tank heater not monitored",
         true,
         [](InstallerReadback& i) { i.monitorTankHeater = "NO"; },
         page(0, 0, 0x3C, 0, 0),
         {{11, "Disabled"}, {12, "Open load"}}},
        {"line heater not monitored",
         true,
         [](InstallerReadback& i) { i.monitorLineHeater = "NO"; },
         page(0, 0, 0x3C, 0, 0),
         {{11, "Open load"}, {12, "Disabled"}}},
        {"labels compare exactly",
         true,
         [](InstallerReadback& i) {
             i.monitorTankHeater = "yes";
             i.ureaTankTemperatureObd = "Enabled ";
             i.engineSpeedSignalConfig = "disabled";
         },
         page(0, 0, 0x3C, 0, 0x36),
         {{11, "Disabled"}, {26, "Disabled"}, {24, "Unknown: 3"}}},
        {"engine speed configured",
         true,
         [](InstallerReadback&) {},
         page(0, 0, 0, 0, 0x06),
         {{24, "Unknown: 3"}}},
        {"engine speed disabled",
         true,
         [](InstallerReadback& i) { i.engineSpeedSignalConfig = "Disabled"; },
         page(0, 0, 0, 0, 0x06),
         {{24, "Disabled"}}},
        {"urea tank temperature OBD enabled",
         true,
         [](InstallerReadback&) {},
         page(0, 0, 0, 0, 0x30),
         {{26, "Invalid value: 3"}}},
        {"urea tank temperature OBD still unknown",
         true,
         [](InstallerReadback& i) { i.ureaTankTemperatureObd = "?"; },
         page(0, 0, 0, 0, 0x30),
         {{26, "Disabled"}}},
        {"conversion ratio disabled",
         true,
         [](InstallerReadback& i) { i.conversionRatioSelection = "Disabled"; },
         page(0, 0, 0, 0x03, 0),
         {{17, "Disabled"}}},
        {"level sensor disabled: both its rows",
         true,
         [](InstallerReadback& i) { i.ureaTankLevelSensorSetup = "Disabled"; },
         page(0, 0, 0, 0xCC, 0),
         {{19, "Disabled"}, {20, "Disabled"}, {14, "No problem"}}},
        {"urea tank temperature sensor disabled",
         true,
         [](InstallerReadback& i) { i.ureaTankTempSetup = "Disabled"; },
         page(0, 0, 0, 0x30, 0),
         {{14, "Disabled"}, {19, "No problem"}}},
    };
    for (const auto& c : cases) {
        InstallerReadback installer = everythingConfigured();
        c.change(installer);
        const auto rows = byRow(decodePage201(c.body, c.externalHeater, installer));
        for (const auto& [row, text] : c.rows) {
            ASSERT_EQ(rows.count(row), 1u) << c.what << ", row " << row;
            EXPECT_EQ(rows.at(row), text) << c.what << ", row " << row;
        }
    }
}

TEST(Page201, CopiesIntoTheServiceWindowOnlyForDecodedRows) {
    const auto copies = [](const Page201Result& r) {
        std::map<std::string, std::string> out;
        for (const auto& c : r.serviceCopies) {
            EXPECT_EQ(c.window, ReadoutWindow::ServiceTest);
            out[c.objectName] = c.text;
        }
        return out;
    };
    InstallerReadback installer = everythingConfigured();
    EXPECT_EQ(copies(decodePage201(page(0, 0x20, 0x14, 0, 0), true, installer)),
              (std::map<std::string, std::string>{{"lDosingValveOBD", "Shorted low"},
                                                  {"lTankHeaterOBD", "Shorted high"},
                                                  {"lLineHeaterOBD", "Shorted high"}}));
    // The tank heater not monitored: its row reads "Disabled" and its copy keeps its text.
    installer.monitorTankHeater = "NO";
    EXPECT_EQ(copies(decodePage201(page(0, 0x30, 0x3C, 0, 0), true, installer)),
              (std::map<std::string, std::string>{{"lDosingValveOBD", "Open load"},
                                                  {"lLineHeaterOBD", "Open load"}}));
    EXPECT_EQ(copies(decodePage201(page(0, 0, 0x3C, 0, 0), false, installer)),
              (std::map<std::string, std::string>{{"lDosingValveOBD", "No problem"}}));
}

TEST(Page201, ShortBodyDecodesTheRowsOfTheBytesItHolds) {
    const auto full = page(0x01, 0x80, 0x40, 0x80, 0x01);
    const auto installer = everythingConfigured();
    const std::size_t rowsUpTo[] = {0, 5, 10, 15, 19, 23};  // rows written with 0..5 bytes
    for (std::size_t size = 0; size <= 5; ++size) {
        const auto result = decodePage201(std::span(full).first(size), true, installer);
        EXPECT_EQ(result.states.size(), rowsUpTo[size]) << size;
        EXPECT_EQ(result.complete, size == 5) << size;
    }
    const auto three = byRow(decodePage201(std::span(full).first(3), true, installer));
    EXPECT_EQ(three.at(16), "Pump frozen");
    EXPECT_EQ(three.count(20), 0u);  // byte 3 is missing: row 20 keeps its text
    EXPECT_EQ(three.count(13), 0u);
    // Bytes past 5 are ignored.
    auto longer = full;
    longer.push_back(0xFF);
    EXPECT_EQ(decodePage201(longer, true, installer).states.size(), 23u);
}

TEST(ObdGrid, HiddenRowsFollowTheVersionAtCreation) {
    const struct {
        PumpSoftwareVersion version;
        std::vector<int> hidden;
    } cases[] = {
        {PumpSoftwareVersion{}, {2, 4}},  // the start version 0.06 shows rows 25 and 26
        {PumpSoftwareVersion{0, 5}, {2, 4, 25, 26}},
        {PumpSoftwareVersion{0, 0}, {2, 4, 25, 26}},
        {PumpSoftwareVersion{1, 0}, {2, 4}},
        {PumpSoftwareVersion{0, 11}, {2, 4}},
    };
    for (const auto& c : cases) {
        const ObdStates grid(c.version);
        std::vector<int> hidden;
        for (int row = 0; row < obd_grid::kRowCount; ++row) {
            if (grid.hidden(row)) {
                hidden.push_back(row);
            }
        }
        EXPECT_EQ(hidden, c.hidden) << int(c.version.major) << "." << int(c.version.minor);
        EXPECT_EQ(grid.displayedRowCount(), obd_grid::kRowCount - int(c.hidden.size()));
        // Positions and rows map back and forth; hidden rows have no position.
        for (int row = 0; row < obd_grid::kRowCount; ++row) {
            const int position = grid.displayPosition(row);
            if (grid.hidden(row)) {
                EXPECT_EQ(position, -1) << row;
            } else {
                EXPECT_EQ(grid.rowAtDisplayPosition(position), row);
            }
        }
        EXPECT_EQ(grid.rowAtDisplayPosition(grid.displayedRowCount()), -1);
    }
    const ObdStates grid;
    EXPECT_EQ(grid.displayPosition(5), 3);  // rows 0, 1, 3 before it
    EXPECT_EQ(grid.rowAtDisplayPosition(2), 3);
}

TEST(ObdGrid, StatesOfShownHiddenAndInvalidRows) {
    ObdStates grid(PumpSoftwareVersion{0, 5});
    grid.setObdState(5, "Malfunction");
    grid.setObdState(2, "Malfunction");   // always hidden
    grid.setObdState(26, "Malfunction");  // hidden by the version
    grid.setObdState(0, "Malfunction");   // the title row
    grid.setObdState(27, "Malfunction");
    grid.setObdState(-1, "Malfunction");
    EXPECT_EQ(grid.getObdState(5), "Malfunction");
    EXPECT_EQ(grid.getObdState(2), "");
    EXPECT_EQ(grid.getObdState(26), "");
    EXPECT_EQ(grid.getObdState(27), "");
    EXPECT_EQ(grid.getObdState(-1), "");
    EXPECT_EQ(grid.cellText(0, obd_grid::kStateColumn), "Current state");
    EXPECT_EQ(grid.cellText(2, obd_grid::kStateColumn), "");

    // After the pump is lost every shown state reads "?"; hidden rows still hold nothing.
    grid.clearObdStates();
    for (int row = 1; row <= 26; ++row) {
        EXPECT_EQ(grid.getObdState(row), grid.hidden(row) ? "" : "?") << row;
    }
    EXPECT_EQ(grid.cellText(0, obd_grid::kStateColumn), "Current state");
}

TEST(ObdGrid, CellsStylesAndMarks) {
    ObdStates grid;
    EXPECT_EQ(grid.cellText(0, 0), "On Board Diagnostics");
    EXPECT_EQ(grid.cellText(0, 1), "");
    EXPECT_EQ(grid.cellText(1, 0), "EEPROM");
    EXPECT_EQ(grid.cellText(24, 0), "Engine speed");
    EXPECT_EQ(grid.cellText(26, 0), "Urea Tank Temperature");
    EXPECT_EQ(grid.cellText(7, 1), "");

    const ObdCellStyle titleName{ObdTextColour::Red, ObdBackground::Default, ObdAlignment::Right};
    const ObdCellStyle titleState{ObdTextColour::Red, ObdBackground::Default, ObdAlignment::Left};
    const ObdCellStyle name{ObdTextColour::Navy, ObdBackground::ButtonFace, ObdAlignment::Right};
    const ObdCellStyle state{ObdTextColour::Default, ObdBackground::ButtonFace, ObdAlignment::Left};
    const ObdCellStyle marked{ObdTextColour::Default, ObdBackground::Marked, ObdAlignment::Left};
    EXPECT_EQ(grid.cellStyle(0, 0), titleName);
    EXPECT_EQ(grid.cellStyle(0, 2), titleState);
    EXPECT_EQ(grid.cellStyle(9, 0), name);
    EXPECT_EQ(grid.cellStyle(9, 1).background, ObdBackground::ButtonFace);
    EXPECT_EQ(grid.cellStyle(9, 2), state);

    // A click on a state cell marks it; the mark stays when the text changes; a second click
    // unmarks. Clicks elsewhere change nothing.
    grid.cellClicked(9, 2);
    EXPECT_TRUE(grid.marked(9));
    EXPECT_EQ(grid.cellStyle(9, 2), marked);
    grid.setObdState(9, "Out of range low");
    EXPECT_EQ(grid.cellStyle(9, 2), marked);
    grid.clearObdStates();
    EXPECT_TRUE(grid.marked(9));
    grid.cellClicked(9, 0);
    grid.cellClicked(9, 1);
    grid.cellClicked(0, 2);
    grid.cellClicked(27, 2);
    EXPECT_TRUE(grid.marked(9));
    EXPECT_FALSE(grid.marked(0));
    EXPECT_EQ(grid.cellStyle(0, 2), titleState);
    grid.cellClicked(9, 2);
    EXPECT_EQ(grid.cellStyle(9, 2), state);
}

TEST(ObdGrid, PagesFillTheGrid) {
    // Page 201 on a grid created for a 0.05 pump: rows 25 and 26 are written but not kept.
    ObdStates grid(PumpSoftwareVersion{0, 5});
    const auto result = decodePage201(page(0, 0x10, 0, 0, 0x38), true, everythingConfigured());
    grid.apply(result.states);
    EXPECT_EQ(grid.getObdState(10), "Shorted high");
    EXPECT_EQ(grid.getObdState(16), "Pump not frozen");
    EXPECT_EQ(grid.getObdState(25), "");
    EXPECT_EQ(grid.getObdState(26), "");
    EXPECT_EQ(grid.getObdState(3), "");  // not page 201's row

    // Row 3 from page 207: purge readiness in bits 5-6 of byte 3.
    const struct {
        uint8_t states;
        const char* text;
    } readiness[] = {{0x00, "Complete"},
                     {0x20, "Incomplete"},
                     {0x40, "Undetermined"},
                     {0x60, "Invalid value: 3"},
                     {0x9F, "Complete"}};
    for (const auto& r : readiness) {
        const std::vector<uint8_t> body = {0, 0, 0, r.states};
        grid.apply(decodePage207(body).obdStates);
        EXPECT_EQ(grid.getObdState(obd_grid::kRowPurge), r.text) << int(r.states);
    }
}
