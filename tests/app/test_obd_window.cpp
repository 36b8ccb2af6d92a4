// The OBD window on the whole tool: its grid, page 201 through the module with its conditions on
// the installer's read-back labels and its copies into the service window, row 3 from page 207,
// the display clear after the pump is lost, and the cell marks.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>
#include <map>

#include "diagnostics/diagnostics_module.h"
#include "diagnostics/obd_window.h"
#include "tool_harness.h"

namespace {

const std::vector<int> kShownRows = {1,  3,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                     15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26};

class ObdWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        obd = &h.app().diagnostics().obd();
    }
    // An installer read-back label by name; one the installer window does not hold is given to it
    // for the test, so the page-201 conditions can be driven either way.
    QLabel* installerLabel(const char* name) {
        QWidget* installer = h.app().window("fInstaller");
        EXPECT_NE(installer, nullptr);
        auto* label = installer->findChild<QLabel*>(name);
        if (!label) {
            label = new QLabel("?", installer);
            label->setObjectName(name);
        }
        return label;
    }
    void setInstaller(const std::map<std::string, QString>& texts) {
        for (const auto& [name, text] : texts) {
            installerLabel(name.c_str())->setText(text);
        }
    }
    // Page 204 as far as its heater byte: bit 0 says an external heater is fitted.
    void externalHeater(bool present) {
        const std::vector<uint8_t> body = {0, 0, 0, 0, 0, 0, uint8_t(present ? 0x01 : 0x00)};
        h.core().pageDisplay().onStatusPage(204, body);
        ASSERT_EQ(h.core().pageDisplay().values().externalHeaterPresent, present);
    }
    void page201(const std::vector<uint8_t>& body) {
        h.core().pageDisplay().onStatusPage(201, body);
    }
    QString state(int row) const { return obd->getObdState(row); }
    QString cell(int column, int row) const { return obd->advsgOBD->cells().text(column, row); }
    QString service(const char* name) const { return h.label("fServiceTool", name); }

    ToolHarness h;
    TfOBD* obd = nullptr;
};

TEST_F(ObdWindow, GridRowsColumnsAndColours) {
    EXPECT_EQ(obd->windowTitle(), "On Board Diagnostics");
    StringGridModel& cells = obd->advsgOBD->cells();
    EXPECT_EQ(cells.gridColumnCount(), 3);
    EXPECT_EQ(cells.gridRowCount(), 27);
    EXPECT_EQ(cells.fixedRows(), 1);
    EXPECT_EQ(obd->advsgOBD->columnWidth(0), 130);
    EXPECT_EQ(obd->advsgOBD->columnWidth(1), 20);
    EXPECT_EQ(obd->advsgOBD->columnWidth(2), 213);
    EXPECT_EQ(obd->advsgOBD->verticalHeader()->defaultSectionSize(), 21);
    EXPECT_EQ(obd->advsgOBD->parentWidget()->objectName(), "pOBD");
    EXPECT_EQ(obd->advsgOBD->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(obd->advsgOBD->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

    EXPECT_EQ(cell(0, 0), "On Board Diagnostics");
    EXPECT_EQ(cell(2, 0), "Current state");
    EXPECT_EQ(cells.textColour(0, 0), QColor(Qt::red));
    EXPECT_EQ(cells.textColour(2, 0), QColor(Qt::red));
    EXPECT_TRUE(cells.alignment(0, 0) & Qt::AlignRight);
    EXPECT_TRUE(cells.alignment(2, 0) & Qt::AlignLeft);
    const QColor buttonFace = obd->palette().color(QPalette::Button);
    const std::map<int, QString> names = {
        {1, "EEPROM"},        {2, "Air detection"},      {4, "Urea detection"},
        {10, "Dosing valve"}, {25, "ECM communication"}, {26, "Urea Tank Temperature"}};
    for (const auto& [row, name] : names) {
        EXPECT_EQ(cell(0, row), name);
        EXPECT_EQ(cells.textColour(0, row), QColor(0, 0, 128)) << row;
        EXPECT_TRUE(cells.alignment(0, row) & Qt::AlignRight) << row;
        EXPECT_EQ(cells.backgroundColour(0, row), buttonFace) << row;
        EXPECT_EQ(cells.backgroundColour(1, row), buttonFace) << row;
        EXPECT_EQ(cells.backgroundColour(2, row), buttonFace) << row;
    }
    // Rows 2 and 4 hidden; 25 and 26 shown with the start version 0.06; hidden rows keep their
    // numbers, so row 3 is the second shown row.
    std::vector<int> shown;
    for (int row = 1; row <= 26; ++row) {
        if (!cells.isRowHidden(row)) {
            shown.push_back(row);
        }
    }
    EXPECT_EQ(shown, kShownRows);
    EXPECT_EQ(cells.displayedRow(3), 2);
    EXPECT_EQ(cells.rowAtDisplayedPosition(3), 5);
    // Shown, the window holds every shown row without scrolling.
    obd->show();
    EXPECT_EQ(obd->advsgOBD->height(), 528);
    obd->close();
}

TEST_F(ObdWindow, RowsTwentyFiveAndTwentySixFollowTheVersionAtCreation) {
    const struct {
        PumpSoftwareVersion version;
        bool shown;
    } cases[] = {{{0, 6}, true}, {{0, 5}, false}, {{0, 0}, false}, {{1, 0}, true}, {{0, 11}, true}};
    for (const auto& c : cases) {
        TfOBD window(c.version);
        for (int row : {25, 26}) {
            EXPECT_EQ(!window.advsgOBD->cells().isRowHidden(row), c.shown)
                << int(c.version.major) << "." << int(c.version.minor) << " row " << row;
        }
        window.setObdState(25, "No problem");
        EXPECT_EQ(window.getObdState(25), c.shown ? "No problem" : "");
        EXPECT_TRUE(window.advsgOBD->cells().isRowHidden(2));
    }
}

TEST_F(ObdWindow, AllZeroPageWithTheInstallerLabelsStillUnknown) {
    externalHeater(false);
    page201({0, 0, 0, 0, 0});
    std::map<int, QString> expected;
    for (int row : kShownRows) {
        expected[row] = "No problem";
    }
    expected[3] = "?";                         // page 207's row, unknown since start-up
    expected[11] = expected[12] = "Disabled";  // no external heater
    expected[26] = "Disabled";                 // "?" is not "Enabled"
    expected[16] = "Pump not frozen";
    expected[20] = "Full";
    for (const auto& [row, text] : expected) {
        EXPECT_EQ(state(row), text) << "row " << row;
        EXPECT_EQ(cell(2, row), text) << "row " << row;
    }
    EXPECT_EQ(service("lDosingValveOBD"), "No problem");
}

TEST_F(ObdWindow, Page201FieldsAndTheirConditions) {
    const struct {
        const char* what;
        std::vector<uint8_t> body;
        bool heater;
        std::map<std::string, QString> installer;
        std::map<int, QString> rows;
    } cases[] = {
        {"sensor link value 3", {0x0C, 0, 0, 0, 0}, false, {}, {{6, "Invalid value: 3"}}},
        {"downstream link, MAF, EEPROM, drive unit",
         {0x63, 0, 0, 0, 0},
         false,
         {},
         {{1, "EEPROM error"},
          {5, "Malfunction"},
          {6, "No problem"},
          {23, "Communication error"},
          {7, "Out of range high"}}},
        {"air and urea, nozzle, dosing valve",
         {0, 0xE6, 0, 0, 0},
         false,
         {},
         {{8, "Out of range low"},
          {9, "Out of range high"},
          {10, "Shorted low"},
          {21, "Out of range high"},
          {18, "Blocked"}}},
        {"urea tank temperature enabled, value 3",
         {0, 0, 0, 0, 0x30},
         false,
         {{"lUreaTankTemperatureOBD", "Enabled"}},
         {{26, "Invalid value: 3"}}},
        {"urea tank temperature disabled",
         {0, 0, 0, 0, 0x30},
         false,
         {{"lUreaTankTemperatureOBD", "Disabled"}},
         {{26, "Disabled"}}},
        {"engine speed configured",
         {0, 0, 0, 0, 0x06},
         false,
         {{"lEngineSpeedSignalConfig_Value", "Alternator"}},
         {{24, "Unknown: 3"}}},
        {"engine speed switched off",
         {0, 0, 0, 0, 0x06},
         false,
         {{"lEngineSpeedSignalConfig_Value", "Disabled"}},
         {{24, "Disabled"}}},
        {"level sensor off disables both level rows",
         {0, 0, 0, 0xCC, 0},
         false,
         {{"lUreaTankLevelSensorSetup", "Disabled"}},
         {{19, "Disabled"}, {20, "Disabled"}}},
        {"level sensor on",
         {0, 0, 0, 0xCC, 0},
         false,
         {{"lUreaTankLevelSensorSetup", "Digital"}},
         {{19, "Invalid value: 3"}, {20, "Invalid value: 3"}}},
        {"SCR efficiency and tank temperature sensor",
         {0, 0, 0, 0x12, 0},
         false,
         {{"lConversionRatioSelection", "Enabled"}, {"lUreaTankTempSetup", "Enabled"}},
         {{17, "Threshold exceeded"}, {14, "Out of range high"}}},
        {"SCR efficiency and tank temperature switched off",
         {0, 0, 0, 0x12, 0},
         false,
         {{"lConversionRatioSelection", "Disabled"}, {"lUreaTankTempSetup", "Disabled"}},
         {{17, "Disabled"}, {14, "Disabled"}}},
        {"pump frozen, return line, pump head, internal heater, ECM",
         {0, 0, 0xC2, 0, 0x09},
         false,
         {},
         {{16, "Pump frozen"},
          {22, "Blocked"},
          {15, "Out of range low"},
          {13, "Heater failure"},
          {25, "Communication error"}}},
        {"heaters fitted, tank not monitored, line monitored",
         {0, 0, 0x3C, 0, 0},
         true,
         {{"lMonitorTankHeater", "NO"}, {"lMonitorLineHeater", "YES"}},
         {{11, "Disabled"}, {12, "Open load"}}},
        {"heaters fitted and monitored",
         {0, 0, 0x14, 0, 0},
         true,
         {{"lMonitorTankHeater", "YES"}, {"lMonitorLineHeater", "YES"}},
         {{11, "Shorted high"}, {12, "Shorted high"}}},
        {"no heater fitted: the monitor labels are not consulted",
         {0, 0, 0x14, 0, 0},
         false,
         {{"lMonitorTankHeater", "YES"}, {"lMonitorLineHeater", "YES"}},
         {{11, "Disabled"}, {12, "Disabled"}}},
    };
    for (const auto& c : cases) {
        externalHeater(c.heater);
        setInstaller(c.installer);
        page201(c.body);
        for (const auto& [row, text] : c.rows) {
            EXPECT_EQ(state(row), text) << c.what << ", row " << row;
        }
        // Back to the labels' unknown state for the next case.
        for (const auto& entry : c.installer) {
            installerLabel(entry.first.c_str())->setText("?");
        }
    }
}

TEST_F(ObdWindow, DecodedStatesAreCopiedIntoTheServiceWindow) {
    externalHeater(true);
    setInstaller({{"lMonitorTankHeater", "YES"}, {"lMonitorLineHeater", "YES"}});
    page201({0, 0x30, 0x2C, 0, 0});
    EXPECT_EQ(service("lDosingValveOBD"), "Open load");
    EXPECT_EQ(service("lTankHeaterOBD"), "Open load");
    EXPECT_EQ(service("lLineHeaterOBD"), "Shorted low");
    // Tank heater no longer monitored: its row shows "Disabled", and the service window keeps the
    // last decoded text; the line heater follows its own label.
    setInstaller({{"lMonitorTankHeater", "NO"}});
    page201({0, 0x10, 0x1C, 0, 0});
    EXPECT_EQ(state(11), "Disabled");
    EXPECT_EQ(service("lTankHeaterOBD"), "Open load");
    EXPECT_EQ(service("lLineHeaterOBD"), "Shorted high");
    EXPECT_EQ(service("lDosingValveOBD"), "Shorted high");
}

TEST_F(ObdWindow, HiddenRowsTakeNothingRowThreeComesFromPage207AndShortPagesKeepTheRest) {
    page201({0x01, 0x00, 0x00, 0x00, 0x00});
    obd->setObdState(2, "Shorted high");
    obd->setObdState(4, "Shorted high");
    EXPECT_EQ(state(2), "");
    EXPECT_EQ(cell(2, 2), "");
    EXPECT_EQ(state(4), "");
    EXPECT_EQ(state(0), "");
    EXPECT_EQ(state(27), "");
    EXPECT_EQ(cell(2, 0), "Current state");
    // Page 207, byte 3 bits 5-6: the purge readiness.
    h.core().pageDisplay().onStatusPage(207, std::vector<uint8_t>{0, 0, 0, 0x20});
    EXPECT_EQ(state(3), "Incomplete");
    h.core().pageDisplay().onStatusPage(207, std::vector<uint8_t>{0, 0, 0, 0x40});
    EXPECT_EQ(state(3), "Undetermined");
    // A page of two bytes writes the rows of those two bytes only.
    page201({0x00, 0x40});
    EXPECT_EQ(state(1), "No problem");
    EXPECT_EQ(state(21), "Out of range high");
    page201({0x00});
    EXPECT_EQ(state(21), "Out of range high");
}

TEST_F(ObdWindow, EveryShownStateReadsUnknownAfterThePumpIsLost) {
    h.pumpClaims(61);
    h.pumpReplies();
    externalHeater(false);
    page201({0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    ASSERT_EQ(state(1), "EEPROM error");
    h.tickMs(8000);  // silence: the pump is declared not connected
    ASSERT_EQ(h.status(), "Pump not connected");
    for (int row : kShownRows) {
        EXPECT_EQ(state(row), "?") << row;
    }
    EXPECT_EQ(cell(2, 2), "");
    EXPECT_EQ(cell(2, 4), "");
}

TEST_F(ObdWindow, AClickMarksAStateCellAndTheMarkOutlivesItsText) {
    obd->show();
    StringGrid* grid = obd->advsgOBD;
    const QColor buttonFace = obd->palette().color(QPalette::Button);
    const QColor marked = obd->palette().color(QPalette::ToolTipBase);
    ASSERT_NE(buttonFace, marked);
    const auto click = [&](int column, int row) {
        const QRect r = grid->visualRect(grid->cells().indexOf(column, row));
        ASSERT_TRUE(r.isValid());
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    };
    click(2, 10);
    EXPECT_EQ(grid->cells().backgroundColour(2, 10), marked);
    obd->setObdState(10, "Open load");
    EXPECT_EQ(grid->cells().backgroundColour(2, 10), marked);
    EXPECT_EQ(cell(2, 10), "Open load");
    // The name and the spacer columns are left alone.
    click(0, 10);
    click(1, 10);
    EXPECT_EQ(grid->cells().backgroundColour(0, 10), buttonFace);
    EXPECT_EQ(grid->cells().backgroundColour(1, 10), buttonFace);
    EXPECT_EQ(grid->cells().backgroundColour(2, 10), marked);
    click(2, 10);
    EXPECT_EQ(grid->cells().backgroundColour(2, 10), buttonFace);
    // Another row is its own.
    click(2, 26);
    EXPECT_EQ(grid->cells().backgroundColour(2, 26), marked);
    EXPECT_EQ(grid->cells().backgroundColour(2, 24), buttonFace);
    obd->close();
}

}  // namespace
