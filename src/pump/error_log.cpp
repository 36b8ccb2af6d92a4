#include "pump/error_log.h"

#include <algorithm>
#include <numeric>

#include "pump/diagnostics_layout.h"
#include "pump/fixed_point.h"
#include "pump/service_codes.h"
#include "pump/text_tables.h"

using namespace error_log;
namespace rec = error_log_record;
using service_telegram::readLe16;
using service_telegram::readLe32;

std::optional<ErrorLogReplyHeader> errorLogReplyHeader(std::span<const uint8_t> telegram) {
    if (telegram.size() < rec::kRecordCount + 2) {
        return std::nullopt;
    }
    return ErrorLogReplyHeader{readLe16(telegram, rec::kRecordNumber), telegram[rec::kFlags],
                               readLe16(telegram, rec::kRecordCount)};
}

const char* toString(ErrorLogReplyKind kind) {
    switch (kind) {
        case ErrorLogReplyKind::Record:
            return "Record";
        case ErrorLogReplyKind::NoRecord:
            return "NoRecord";
        case ErrorLogReplyKind::NotReady:
            return "NotReady";
    }
    return "?";
}

ErrorLogReplyKind classifyErrorLogReply(uint8_t flags) {
    if (flags & rec::kFlagHasRecord) {
        return ErrorLogReplyKind::Record;
    }
    return (flags & rec::kFlagNotReady) ? ErrorLogReplyKind::NotReady : ErrorLogReplyKind::NoRecord;
}

std::optional<ErrorLogRecord> decodeErrorLogRecord(std::span<const uint8_t> t) {
    if (t.size() < rec::kSize) {
        return std::nullopt;
    }
    const auto s16 = [&](std::size_t offset) { return static_cast<int16_t>(readLe16(t, offset)); };
    ErrorLogRecord r;
    r.recordNumber = readLe16(t, rec::kRecordNumber);
    r.flags = t[rec::kFlags];
    r.recordCount = readLe16(t, rec::kRecordCount);
    r.engineSpeed = readLe16(t, rec::kEngineSpeed);
    r.timeStamp = readLe32(t, rec::kTimeStamp);
    r.errorTime = readLe32(t, rec::kErrorTime);
    const uint16_t code = readLe16(t, rec::kErrorCode);
    r.component = code & rec::kComponentMask;
    r.logFull = (code & rec::kLogFullBit) != 0;
    r.pumpHeadTemp = s16(rec::kPumpHeadTemp);
    r.noxIn = s16(rec::kNoxIn);
    r.noxOut = s16(rec::kNoxOut);
    r.catInTemp = s16(rec::kCatInTemp);
    r.catOutTemp = s16(rec::kCatOutTemp);
    r.maf = s16(rec::kMaf);
    r.ureaFlowRate = readLe32(t, rec::kUreaFlowRate);
    r.averageConversion = readLe16(t, rec::kAverageConversion);
    r.stateWord = readLe32(t, rec::kStateWord);
    r.stateByte = t[rec::kStateByte];
    return r;
}

// --- Cells ---

std::string formatErrorLogTimeStamp(uint32_t twoMinuteUnits) {
    const uint64_t minutes = uint64_t{twoMinuteUnits} * 2;
    return std::to_string(minutes / 60) + ":" +
           formatZeroPadded(static_cast<int64_t>(minutes % 60), 2) + "    ";
}

std::string formatErrorLogComponent(uint16_t component) {
    return "(" + formatZeroPadded(component, 2) + ") " +
           text_tables::errorLogComponentText(component);
}

std::string formatErrorLogErrorTime(uint32_t seconds) {
    return formatZeroPadded(seconds / 3600, 2) + ":" + formatZeroPadded((seconds / 60) % 60, 2) +
           ":" + formatZeroPadded(seconds % 60, 2);
}

std::string formatErrorLogEngineSpeed(uint16_t eighthsOfRpm) {
    return std::to_string(eighthsOfRpm / rec::kEngineSpeedDivisor);
}

std::string formatErrorLogObdHex(uint32_t stateWord, uint8_t stateByte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    const auto hex = [&](uint8_t byte) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    };
    for (int i = 0; i < 4; ++i) {
        hex(static_cast<uint8_t>(stateWord >> (8 * i)));
    }
    hex(stateByte & rec::kStateByteHexMask);
    return text;
}

namespace {

using rec::StateField;

struct StateColumn {
    int column;
    StateField field;
    std::array<std::string_view, 4> texts;
    std::size_t count;
};

constexpr uint32_t kOneBit = 0x1;
constexpr uint32_t kTwoBits = 0x3;
constexpr std::array<std::string_view, 4> kLink = {"No problem", "Internal error",
                                                   "Communication error"};
constexpr std::array<std::string_view, 4> kRange = {"No problem", "Out of range high",
                                                    "Out of range low"};
constexpr std::array<std::string_view, 4> kOutput = {"No problem", "Shorted high", "Shorted low",
                                                     "Open load"};
constexpr std::array<std::string_view, 4> kMalfunction = {"No problem", "Malfunction"};
constexpr std::array<std::string_view, 4> kBlocked = {"No problem", "Blocked"};

constexpr StateField word(unsigned shift, uint32_t mask) {
    return {false, shift, mask};
}
constexpr StateField stateByte(unsigned shift, uint32_t mask) {
    return {true, shift, mask};
}

const StateColumn kStateColumns[] = {
    {kEepromState, word(0, kOneBit), {"No problem", "EEProm error"}, 2},
    {kDriveUnitState, word(1, kOneBit), kMalfunction, 2},
    {kNoxInSensorState, word(2, kTwoBits), kLink, 3},
    {kMafSensorState, word(6, kTwoBits), kRange, 3},
    {kCatInTempSensorState, word(8, kTwoBits), kRange, 3},
    {kCatOutTempSensorState, word(10, kTwoBits), kRange, 3},
    {kDosingValveState, word(12, kTwoBits), kOutput, 4},
    {kTankHeaterState, word(18, kTwoBits), kOutput, 4},
    {kLineHeaterState, word(20, kTwoBits), kOutput, 4},
    {kIntHeaterState, stateByte(0, kOneBit), kMalfunction, 2},
    {kUreaTankTempSensorState, word(28, kTwoBits), kRange, 3},
    {kPumpHeadTempSensorState, word(16, kTwoBits), kRange, 3},
    {kPumpFrozen, word(22, kOneBit), {"No problem", "Frozen"}, 2},
    {kScrEfficiency,
     word(24, kTwoBits),
     {"No problem", "SCR efficiency reduced", "SCR efficiency-threshold exceeded"},
     3},
    {kNozzleState, word(15, kOneBit), kBlocked, 2},
    {kLevelSensorState, word(26, kTwoBits), kRange, 3},
    {kUreaTankLevel, word(30, kTwoBits), {"Full", "Low", "Empty"}, 3},
    {kAirAndUreaPresence, word(14, kOneBit), {"No problem", "Air or urea not present"}, 2},
    {kReturnLineState, word(23, kOneBit), kBlocked, 2},
    {kNoxOutSensorState, word(4, kTwoBits), kLink, 3},
    {kEngineSpeedSensorState,
     stateByte(1, kTwoBits),
     {"No problem", "Missing", "Reserved", "Unknown"},
     4},
    {kEcmCommunicationState, stateByte(3, kOneBit), {"No problem", "Communication error"}, 2},
};

// The error-log components whose records say the tank or the line was frozen.
constexpr uint16_t kComponentTankFrozen = 23;
constexpr uint16_t kComponentLineFrozen = 24;

std::string frozenFromComponent(uint16_t component, uint16_t frozenComponent) {
    return component == frozenComponent ? kFrozenText : kNotAvailableText;
}

}  // namespace

std::string errorLogStateText(int column, const ErrorLogRecord& r) {
    if (column == kTankFrozen) {
        return frozenFromComponent(r.component, kComponentTankFrozen);
    }
    if (column == kLineFrozen) {
        return frozenFromComponent(r.component, kComponentLineFrozen);
    }
    for (const StateColumn& c : kStateColumns) {
        if (c.column != column) {
            continue;
        }
        const uint32_t source = c.field.inStateByte ? r.stateByte : r.stateWord;
        const uint32_t value = (source >> c.field.shift) & c.field.mask;
        if (value < c.count) {
            return std::string(c.texts[value]);
        }
        return "Invalid value (" + std::to_string(value) + ")";
    }
    return {};
}

ErrorLogRow errorLogRow(const ErrorLogRecord& r, const DisplayFormat& format) {
    ErrorLogRow row;
    row[kTimeStamp] = formatErrorLogTimeStamp(r.timeStamp);
    row[kErrorName] = formatErrorLogComponent(r.component);
    row[kErrorTime] = formatErrorLogErrorTime(r.errorTime);
    row[kNoxIn] = formatSigned(r.noxIn);
    row[kNoxOut] = formatSigned(r.noxOut);
    row[kCatInTemp] = formatSigned(r.catInTemp);
    row[kCatOutTemp] = formatSigned(r.catOutTemp);
    row[kMaf] = formatSigned(r.maf);
    row[kUreaFlowRate] = formatScaled(r.ureaFlowRate, 2, format);
    row[kAvgConversionRatio] = formatScaled(r.averageConversion, 2, format);
    row[kEngineSpeed] = formatErrorLogEngineSpeed(r.engineSpeed);
    row[kPumpHeadTemp] = formatScaled(r.pumpHeadTemp, 1, format);
    row[kUreaTankTemp] = kNotAvailableText;
    row[kLogFull] = r.logFull ? kYesText : kNoText;
    row[kObdHex] = formatErrorLogObdHex(r.stateWord, r.stateByte);
    for (int column = kEepromState; column < kUreaTemperatureState; ++column) {
        row[column] = errorLogStateText(column, r);
    }
    return row;
}

ServiceTelegram errorLogRequest(uint16_t recordNumber) {
    ServiceTelegram t;
    t.longArg = recordNumber;
    t.code = service_code::kErrorLogRecord;
    return t;
}

// --- The reader ---

const char* toString(ErrorLogReader::State state) {
    return state == ErrorLogReader::State::Idle ? "Idle" : "Reading";
}

ErrorLogStep ErrorLogReader::start() {
    state_ = State::Reading;
    awaited_ = kFirstRecord;
    ErrorLogStep step;
    step.request = kFirstRecord;
    step.restartTimeOut = true;
    step.buttonsEnabled = false;
    return step;
}

ErrorLogStep ErrorLogReader::finish(ErrorLogStep step) {
    state_ = State::Idle;
    awaited_ = 0;
    step.stopTimeOut = true;
    step.buttonsEnabled = true;
    if (progress_.visible) {
        progress_.visible = false;
        step.progress = progress_;
    }
    return step;
}

ErrorLogStep ErrorLogReader::onTimeOut() {
    return finish({});
}

ErrorLogStep ErrorLogReader::onReply(std::span<const uint8_t> telegram,
                                     const DisplayFormat& format) {
    ErrorLogStep step;
    const auto header = errorLogReplyHeader(telegram);
    if (!header) {
        return step;  // too short to say anything: the scheduler asks again
    }
    const ErrorLogReplyKind kind = classifyErrorLogReply(header->flags);
    if (kind == ErrorLogReplyKind::NotReady) {
        return step;
    }
    if (state_ != State::Reading) {
        // The pump answering after the read ended: the wait is over, the grid stays as it is.
        step.acceptance = ReplyAcceptance::Accepted;
        return step;
    }
    if (header->recordNumber != awaited_) {
        return step;  // not the record asked for
    }

    const bool first = header->recordNumber == kFirstRecord;
    if (kind == ErrorLogReplyKind::NoRecord) {
        // The log holds no such record: the read is over. A log without records leaves no rows
        // of an earlier read on screen.
        step.acceptance = ReplyAcceptance::Accepted;
        step.clearRows = first;
        return finish(std::move(step));
    }

    const auto record = decodeErrorLogRecord(telegram);
    if (!record || record->recordNumber > record->recordCount) {
        return step;  // a record that contradicts itself is not taken
    }

    step.acceptance = ReplyAcceptance::Accepted;
    step.showHiddenColumns = true;
    const bool last = record->recordNumber == record->recordCount;
    if (first) {
        step.clearRows = true;
        progress_ = {true, kFirstRecord, record->recordCount, progress_.position};
    }
    if (progress_.visible) {
        progress_.position = record->recordNumber;
        step.progress = progress_;
    }
    if (!record->empty()) {
        step.row = errorLogRow(*record, format);
    }
    if (last) {
        return finish(std::move(step));
    }
    awaited_ = static_cast<uint16_t>(record->recordNumber + 1);
    step.request = awaited_;
    step.restartTimeOut = true;
    return step;
}

// --- Sorting ---

ErrorLogSortKind errorLogSortKind(int column) {
    switch (column) {
        case kTimeStamp:
        case kErrorTime:
            return ErrorLogSortKind::Time;
        case kErrorName:
            return ErrorLogSortKind::ComponentIndex;
        case kNoxIn:
        case kNoxOut:
        case kCatInTemp:
        case kCatOutTemp:
        case kMaf:
        case kUreaFlowRate:
        case kAvgConversionRatio:
        case kEngineSpeed:
        case kPumpHeadTemp:
            return ErrorLogSortKind::Number;
        default:
            return ErrorLogSortKind::Text;
    }
}

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "-12", "1520.00", "-3,5": an optional minus, digits, optionally the decimal point and digits.
std::optional<double> parseNumber(std::string_view text, char decimalPoint) {
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    double mantissa = 0.0;
    double divisor = 1.0;
    bool point = false;
    bool digits = false;
    for (char c : text) {
        if (isDigit(c)) {
            digits = true;
            mantissa = mantissa * 10 + (c - '0');
            if (point) {
                divisor *= 10;
            }
        } else if (c == decimalPoint && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    const double value = mantissa / divisor;
    return negative ? -value : value;
}

// "3:10", "100:00:00": colon-separated whole numbers, each step worth 60 of the next.
std::optional<double> parseTime(std::string_view text) {
    double value = 0.0;
    double field = 0.0;
    bool digits = false;
    for (char c : text) {
        if (isDigit(c)) {
            field = field * 10 + (c - '0');
            digits = true;
        } else if (c == ':' && digits) {
            value = (value + field) * 60;
            field = 0.0;
            digits = false;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) {
        return std::nullopt;
    }
    return value + field;
}

// "(05) Cat. in temp.": the number in the leading parentheses.
std::optional<double> parseComponentIndex(std::string_view text) {
    if (text.size() < 3 || text.front() != '(') {
        return std::nullopt;
    }
    const auto close = text.find(')');
    if (close == std::string_view::npos || close == 1) {
        return std::nullopt;
    }
    double value = 0.0;
    for (char c : text.substr(1, close - 1)) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

ErrorLogSortKey errorLogSortKey(int column, std::string_view cell, char decimalPoint) {
    ErrorLogSortKey key;
    const std::string_view text = trimmed(cell);
    if (text.empty()) {
        key.rank = 2;
        return key;
    }
    key.text = std::string(cell);
    std::optional<double> value;
    switch (errorLogSortKind(column)) {
        case ErrorLogSortKind::Number:
            value = parseNumber(text, decimalPoint);
            break;
        case ErrorLogSortKind::Time:
            value = parseTime(text);
            break;
        case ErrorLogSortKind::ComponentIndex:
            value = parseComponentIndex(text);
            break;
        case ErrorLogSortKind::Text:
            return key;
    }
    if (value) {
        key.byNumber = true;
        key.number = *value;
    } else {
        key.rank = 1;  // a cell that is not of its column's kind sorts after the values
    }
    return key;
}

int compareErrorLogKeys(const ErrorLogSortKey& a, const ErrorLogSortKey& b, bool descending) {
    if (a.rank != b.rank) {
        return a.rank < b.rank ? -1 : 1;
    }
    int order = 0;
    if (a.byNumber && b.byNumber) {
        order = a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
    } else {
        const int c = a.text.compare(b.text);
        order = c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return descending ? -order : order;
}

void sortErrorLogRows(std::vector<ErrorLogRow>& rows, int column, bool descending,
                      char decimalPoint) {
    if (column < 0 || column >= kColumnCount) {
        return;
    }
    std::vector<ErrorLogSortKey> keys;
    keys.reserve(rows.size());
    for (const ErrorLogRow& row : rows) {
        keys.push_back(errorLogSortKey(column, row[column], decimalPoint));
    }
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return compareErrorLogKeys(keys[a], keys[b], descending) < 0;
    });
    std::vector<ErrorLogRow> sorted;
    sorted.reserve(rows.size());
    for (std::size_t index : order) {
        sorted.push_back(std::move(rows[index]));
    }
    rows = std::move(sorted);
}
