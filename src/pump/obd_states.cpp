#include "pump/obd_states.h"

#include "pump/diagnostics_layout.h"
#include "pump/text_tables.h"

using namespace obd_grid;
namespace tt = text_tables;

bool obdRowHidden(int row, const PumpSoftwareVersion& versionAtCreation) {
    if (row == kRowAirDetection || row == kRowUreaDetection) {
        return true;
    }
    if (row == kRowEcmCommunication || row == kRowUreaTankTemperature) {
        return !versionAtCreation.page216();
    }
    return false;
}

ObdStates::ObdStates(PumpSoftwareVersion versionAtCreation) {
    for (int row = kFirstComponentRow; row <= kLastComponentRow; ++row) {
        hidden_[row] = obdRowHidden(row, versionAtCreation);
    }
}

bool ObdStates::hidden(int row) const {
    return componentRow(row) && hidden_[row];
}

int ObdStates::displayedRowCount() const {
    int count = 0;
    for (int row = 0; row < kRowCount; ++row) {
        count += hidden(row) ? 0 : 1;
    }
    return count;
}

int ObdStates::rowAtDisplayPosition(int position) const {
    for (int row = 0; row < kRowCount; ++row) {
        if (hidden(row)) {
            continue;
        }
        if (position-- == 0) {
            return row;
        }
    }
    return -1;
}

int ObdStates::displayPosition(int row) const {
    if (row < 0 || row >= kRowCount || hidden(row)) {
        return -1;
    }
    int position = 0;
    for (int r = 0; r < row; ++r) {
        position += hidden(r) ? 0 : 1;
    }
    return position;
}

void ObdStates::setObdState(int row, std::string_view text) {
    if (componentRow(row) && !hidden_[row]) {
        states_[row] = text;
    }
}

std::string ObdStates::getObdState(int row) const {
    return componentRow(row) ? states_[row] : std::string();
}

void ObdStates::clearObdStates() {
    for (int row = kFirstComponentRow; row <= kLastComponentRow; ++row) {
        setObdState(row, kUnknownText);
    }
}

void ObdStates::apply(std::span<const ObdStateText> states) {
    for (const ObdStateText& state : states) {
        setObdState(state.row, state.text);
    }
}

void ObdStates::cellClicked(int row, int column) {
    if (componentRow(row) && column == kStateColumn) {
        marked_[row] = !marked_[row];
    }
}

bool ObdStates::marked(int row) const {
    return componentRow(row) && marked_[row];
}

std::string ObdStates::cellText(int row, int column) const {
    if (row == kTitleRow) {
        if (column == kNameColumn) {
            return std::string(tt::ObdTitleText);
        }
        return column == kStateColumn ? std::string(tt::ObdStateTitleText) : std::string();
    }
    if (!componentRow(row)) {
        return {};
    }
    if (column == kNameColumn) {
        return std::string(tt::ObdComponentNames[static_cast<std::size_t>(row)]);
    }
    return column == kStateColumn ? states_[row] : std::string();
}

ObdCellStyle ObdStates::cellStyle(int row, int column) const {
    ObdCellStyle style;
    if (row == kTitleRow) {
        style.text = column == kSpacerColumn ? ObdTextColour::Default : ObdTextColour::Red;
        style.alignment = column == kNameColumn ? ObdAlignment::Right : ObdAlignment::Left;
        return style;
    }
    if (!componentRow(row)) {
        return style;
    }
    style.background = ObdBackground::ButtonFace;
    if (column == kNameColumn) {
        style.text = ObdTextColour::Navy;
        style.alignment = ObdAlignment::Right;
    } else if (column == kStateColumn && marked_[row]) {
        style.background = ObdBackground::Marked;
    }
    return style;
}

// --- Page 201 ---

namespace {

using page201::Field;

// The texts of one field: an entry for each value it names, the rest `prefix` and the number.
struct FieldTexts {
    std::array<std::string_view, 4> texts;
    std::size_t count;
    std::string_view prefix = tt::kInvalidValuePrefix;
};

constexpr FieldTexts kRange{{"No problem", "Out of range high", "Out of range low"}, 3};
constexpr FieldTexts kSensorLink{{"No problem", "Internal error", "Communication error"}, 3};
constexpr FieldTexts kOutput{{"No problem", "Shorted high", "Shorted low", "Open load"}, 4};
constexpr FieldTexts kEepromTexts{{"No problem", "EEPROM error"}, 2};
constexpr FieldTexts kMalfunction{{"No problem", "Malfunction"}, 2};
constexpr FieldTexts kHighTexts{{"No problem", "Out of range high"}, 2};
constexpr FieldTexts kBlocked{{"No problem", "Blocked"}, 2};
constexpr FieldTexts kFrozen{{"Pump not frozen", "Pump frozen"}, 2};
constexpr FieldTexts kScrTexts{{"No problem", "Reduced efficiency", "Threshold exceeded"}, 3};
constexpr FieldTexts kLevelTexts{{"Full", "Low", "Empty"}, 3};
constexpr FieldTexts kHeaterFailure{{"No problem", "Heater failure"}, 2};
constexpr FieldTexts kEngineSpeedTexts{{"No problem", "Missing", "Reserved"}, 3, "Unknown: "};
constexpr FieldTexts kCommunication{{"No problem", "Communication error"}, 2};

enum class Condition {
    Always,
    TankHeaterMonitored,
    LineHeaterMonitored,
    ConversionRatio,
    LevelSensor,
    UreaTankTempSensor,
    EngineSpeed,
    UreaTankTemperatureObd,
};

struct RowEntry {
    int row;
    Field field;
    const FieldTexts& texts;
    Condition condition;
    const char* copyTo;  // the service test window's read-out, or nullptr
};

// In the order the rows are written.
const RowEntry kRows[] = {
    {kRowEeprom, page201::kEeprom, kEepromTexts, Condition::Always, nullptr},
    {kRowDriveUnit, page201::kDriveUnit, kMalfunction, Condition::Always, nullptr},
    {kRowUpstreamNox, page201::kUpstreamNox, kSensorLink, Condition::Always, nullptr},
    {kRowDownstreamNox, page201::kDownstreamNox, kSensorLink, Condition::Always, nullptr},
    {kRowMafSensor, page201::kMafSensor, kRange, Condition::Always, nullptr},
    {kRowUpstreamCatTemp, page201::kUpstreamCatTemp, kRange, Condition::Always, nullptr},
    {kRowDownstreamCatTemp, page201::kDownstreamCatTemp, kRange, Condition::Always, nullptr},
    {kRowDosingValve, page201::kDosingValve, kOutput, Condition::Always, "lDosingValveOBD"},
    {kRowAirAndUrea, page201::kAirAndUrea, kHighTexts, Condition::Always, nullptr},
    {kRowNozzle, page201::kNozzle, kBlocked, Condition::Always, nullptr},
    {kRowPumpHeadTemp, page201::kPumpHeadTemp, kRange, Condition::Always, nullptr},
    {kRowTankHeaterOutput, page201::kTankHeaterOutput, kOutput, Condition::TankHeaterMonitored,
     "lTankHeaterOBD"},
    {kRowLineHeaterOutput, page201::kLineHeaterOutput, kOutput, Condition::LineHeaterMonitored,
     "lLineHeaterOBD"},
    {kRowUreaTankTempSensor, page201::kUreaTankTempSensor, kRange, Condition::UreaTankTempSensor,
     nullptr},
    {kRowUreaTankTemperature, page201::kUreaTankTemperature, kRange,
     Condition::UreaTankTemperatureObd, nullptr},
    {kRowPumpFrozen, page201::kPumpFrozen, kFrozen, Condition::Always, nullptr},
    {kRowReturnLine, page201::kReturnLine, kBlocked, Condition::Always, nullptr},
    {kRowScrEfficiency, page201::kScrEfficiency, kScrTexts, Condition::ConversionRatio, nullptr},
    {kRowLevelSensor, page201::kLevelSensor, kRange, Condition::LevelSensor, nullptr},
    {kRowUreaTankLevel, page201::kUreaTankLevel, kLevelTexts, Condition::LevelSensor, nullptr},
    {kRowInternalHeater, page201::kInternalHeater, kHeaterFailure, Condition::Always, nullptr},
    {kRowEngineSpeed, page201::kEngineSpeed, kEngineSpeedTexts, Condition::EngineSpeed, nullptr},
    {kRowEcmCommunication, page201::kEcmCommunication, kCommunication, Condition::Always, nullptr},
};

// The installer labels are compared whole and exactly.
bool monitored(Condition condition, bool externalHeaterPresent, const InstallerReadback& i) {
    switch (condition) {
        case Condition::Always:
            return true;
        case Condition::TankHeaterMonitored:
            return externalHeaterPresent && i.monitorTankHeater == "YES";
        case Condition::LineHeaterMonitored:
            return externalHeaterPresent && i.monitorLineHeater == "YES";
        case Condition::ConversionRatio:
            return i.conversionRatioSelection != kObdDisabledText;
        case Condition::LevelSensor:
            return i.ureaTankLevelSensorSetup != kObdDisabledText;
        case Condition::UreaTankTempSensor:
            return i.ureaTankTempSetup != kObdDisabledText;
        case Condition::EngineSpeed:
            return i.engineSpeedSignalConfig != kObdDisabledText;
        case Condition::UreaTankTemperatureObd:
            return i.ureaTankTemperatureObd == "Enabled";
    }
    return false;
}

std::string fieldText(const FieldTexts& texts, unsigned value) {
    if (value < texts.count) {
        return std::string(texts.texts[value]);
    }
    return std::string(texts.prefix) + std::to_string(value);
}

}  // namespace

Page201Result decodePage201(std::span<const uint8_t> body, bool externalHeaterPresent,
                            const InstallerReadback& installer) {
    Page201Result out;
    out.complete = body.size() >= page201::kSize;
    for (const RowEntry& entry : kRows) {
        if (entry.field.byte >= body.size()) {
            continue;
        }
        if (!monitored(entry.condition, externalHeaterPresent, installer)) {
            out.states.push_back({entry.row, kObdDisabledText});
            continue;
        }
        const unsigned value = (body[entry.field.byte] >> entry.field.shift) & entry.field.mask;
        std::string text = fieldText(entry.texts, value);
        if (entry.copyTo) {
            out.serviceCopies.push_back({ReadoutWindow::ServiceTest, entry.copyTo, text});
        }
        out.states.push_back({entry.row, std::move(text)});
    }
    return out;
}
