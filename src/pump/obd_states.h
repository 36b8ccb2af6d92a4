#pragma once
// The OBD component states without the window: the decoder of page 201 with its conditions on the
// installer's read-back labels and its copies into the service test window, and the grid of the
// OBD window as a plain model (rows, hidden rows, state texts, marks, cell styles) that the window
// shows through a view. Row numbers are component indexes of ObdComponentNames: 1 "EEPROM" to
// 26 "Urea Tank Temperature"; row 0 is the title row. Hidden rows keep their numbers.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pump/software_version.h"
#include "pump/status_pages.h"

namespace obd_grid {
inline constexpr int kRowCount = 27;  // the title row and rows 1 to 26
inline constexpr int kTitleRow = 0;
inline constexpr int kFirstComponentRow = 1;
inline constexpr int kLastComponentRow = 26;
inline constexpr int kColumnCount = 3;
inline constexpr int kNameColumn = 0;
inline constexpr int kSpacerColumn = 1;
inline constexpr int kStateColumn = 2;
inline constexpr std::array<int, kColumnCount> kColumnWidths = {130, 20, 213};
inline constexpr int kRowHeight = 21;
inline constexpr int kGridHeight = 528;  // when the window is shown

// The rows by component.
inline constexpr int kRowEeprom = 1;
inline constexpr int kRowAirDetection = 2;   // always hidden
inline constexpr int kRowPurge = 3;          // from page 207
inline constexpr int kRowUreaDetection = 4;  // always hidden
inline constexpr int kRowDriveUnit = 5;
inline constexpr int kRowUpstreamNox = 6;
inline constexpr int kRowMafSensor = 7;
inline constexpr int kRowUpstreamCatTemp = 8;
inline constexpr int kRowDownstreamCatTemp = 9;
inline constexpr int kRowDosingValve = 10;
inline constexpr int kRowTankHeaterOutput = 11;
inline constexpr int kRowLineHeaterOutput = 12;
inline constexpr int kRowInternalHeater = 13;
inline constexpr int kRowUreaTankTempSensor = 14;
inline constexpr int kRowPumpHeadTemp = 15;
inline constexpr int kRowPumpFrozen = 16;
inline constexpr int kRowScrEfficiency = 17;
inline constexpr int kRowNozzle = 18;
inline constexpr int kRowLevelSensor = 19;
inline constexpr int kRowUreaTankLevel = 20;
inline constexpr int kRowAirAndUrea = 21;
inline constexpr int kRowReturnLine = 22;
inline constexpr int kRowDownstreamNox = 23;
inline constexpr int kRowEngineSpeed = 24;
inline constexpr int kRowEcmCommunication = 25;     // hidden by the version test at creation
inline constexpr int kRowUreaTankTemperature = 26;  // hidden by the version test at creation

inline constexpr const char* kUnknownText = "?";  // every shown state after a display clear
}  // namespace obd_grid

// Colours and alignment of a cell, by name; the window maps them to its palette.
enum class ObdTextColour { Default, Red, Navy };
enum class ObdBackground {
    Default,     // the title row
    ButtonFace,  // component rows
    Marked,      // a state cell the technician marked (the tooltip background)
};
enum class ObdAlignment { Left, Right };
struct ObdCellStyle {
    ObdTextColour text = ObdTextColour::Default;
    ObdBackground background = ObdBackground::Default;
    ObdAlignment alignment = ObdAlignment::Left;
    friend bool operator==(const ObdCellStyle&, const ObdCellStyle&) = default;
};

// Rows 2 and 4 are always hidden; rows 25 and 26 unless the pump software version known when the
// window is created opens them (0.06 or later: the start version 0.06 shows them).
bool obdRowHidden(int row, const PumpSoftwareVersion& versionAtCreation);

// The grid of the OBD window.
class ObdStates {
  public:
    explicit ObdStates(PumpSoftwareVersion versionAtCreation = {});

    // Shown rows are 0 (title) and the component rows that are not hidden.
    bool hidden(int row) const;
    // The row number at a displayed position and back (-1 for none).
    int displayedRowCount() const;
    int rowAtDisplayPosition(int position) const;
    int displayPosition(int row) const;

    // Puts the text into the state column of a shown component row; a hidden row, the title row
    // and any number outside 1 to 26 are left alone.
    void setObdState(int row, std::string_view text);
    // The state text of a row; a hidden row never stores one and gives "", as does any number
    // outside 1 to 26.
    std::string getObdState(int row) const;
    // Every shown component row reads "?".
    void clearObdStates();
    // The states a page decoder wrote (page 201, or row 3 of page 207), in order.
    void apply(std::span<const ObdStateText> states);

    // A click on a cell: in the state column of a component row it toggles the mark; any other
    // cell is left alone. A mark stays when the text changes.
    void cellClicked(int row, int column);
    bool marked(int row) const;

    // The grid as the window draws it.
    std::string cellText(int row, int column) const;
    ObdCellStyle cellStyle(int row, int column) const;

  private:
    static bool componentRow(int row) {
        return row >= obd_grid::kFirstComponentRow && row <= obd_grid::kLastComponentRow;
    }
    std::array<bool, obd_grid::kRowCount> hidden_{};
    std::array<bool, obd_grid::kRowCount> marked_{};
    std::array<std::string, obd_grid::kRowCount> states_{};
};

// The installer window's read-back labels that decide whether a component is monitored, as their
// texts. A label that still shows its initial "?" is neither "Disabled" nor "YES" nor "Enabled".
struct InstallerReadback {
    std::string monitorTankHeater = "?";         // lMonitorTankHeater: "YES" monitors row 11
    std::string monitorLineHeater = "?";         // lMonitorLineHeater: "YES" monitors row 12
    std::string conversionRatioSelection = "?";  // lConversionRatioSelection: row 17
    std::string ureaTankLevelSensorSetup = "?";  // lUreaTankLevelSensorSetup: rows 19, 20
    std::string ureaTankTempSetup = "?";         // lUreaTankTempSetup: row 14
    std::string engineSpeedSignalConfig = "?";   // lEngineSpeedSignalConfig_Value: row 24
    std::string ureaTankTemperatureObd = "?";    // lUreaTankTemperatureOBD: "Enabled", row 26
};

inline constexpr const char* kObdDisabledText = "Disabled";

// Page 201 decoded. `states` are in the order the rows are written (1, 5, 6, 23, 7, 8, 9, 10, 21,
// 18, 15, 11, 12, 14, 26, 16, 22, 17, 19, 20, 13, 24, 25); `serviceCopies` are the service test
// window's lDosingValveOBD, lTankHeaterOBD and lLineHeaterOBD with the texts of rows 10, 11 and
// 12 (rows that are never hidden, so the text written is the text read back). A row shown as
// "Disabled" is not copied. A short body decodes the rows of the bytes it holds; the others are
// left out (they keep their texts) and `complete` is false.
struct Page201Result {
    std::vector<ObdStateText> states;
    std::vector<LabelText> serviceCopies;
    bool complete = false;
};
Page201Result decodePage201(std::span<const uint8_t> body, bool externalHeaterPresent,
                            const InstallerReadback& installer);
