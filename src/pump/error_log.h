#pragma once
// The pump's error log without its window: the record reply of command 141 decoded into the 40
// cells of a grid row, the reader that asks for the log record by record and says after every
// reply what the window does, and the sort keys of the columns.
//
// Columns are numbered from 0, as the grid's model numbers them: column 0 is the fixed first
// column ("Time stamp [hh:mm]"), column 39 the last ("Urea temperature state").

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pump/number_format.h"
#include "pump/reply_decoder.h"
#include "pump/service_telegram.h"

namespace error_log {

inline constexpr int kColumnCount = 40;
inline constexpr int kClearedRowCount = 1500;  // data rows after a display clear
inline constexpr uint16_t kFirstRecord = 1;
inline constexpr uint32_t kTimeOutMs = 3000;  // tmrErrorLogTimeOut

enum Column : int {
    kTimeStamp = 0,
    kErrorName,
    kErrorTime,
    kNoxIn,
    kNoxOut,
    kCatInTemp,
    kCatOutTemp,
    kMaf,
    kUreaFlowRate,
    kAvgConversionRatio,
    kEngineSpeed,
    kPumpHeadTemp,
    kUreaTankTemp,
    kLogFull,
    kObdHex,
    kEepromState,
    kDriveUnitState,
    kNoxInSensorState,
    kMafSensorState,
    kCatInTempSensorState,
    kCatOutTempSensorState,
    kDosingValveState,
    kTankHeaterState,
    kLineHeaterState,
    kIntHeaterState,
    kUreaTankTempSensorState,
    kPumpHeadTempSensorState,
    kPumpFrozen,
    kTankFrozen,
    kLineFrozen,
    kScrEfficiency,
    kNozzleState,
    kLevelSensorState,
    kUreaTankLevel,
    kAirAndUreaPresence,
    kReturnLineState,
    kNoxOutSensorState,
    kEngineSpeedSensorState,
    kEcmCommunicationState,
    kUreaTemperatureState,
};

// Header texts as the grid shows them, trailing blanks included.
inline constexpr std::array<std::string_view, kColumnCount> kHeaders = {
    "Time stamp [hh:mm]",
    "Error name    ",
    "Error time [hh:mm:ss]",
    "NOx in [ppm]  ",
    "NOx out [ppm]  ",
    "Cat. in temp [C]  ",
    "Cat. out temp [C]  ",
    "MAF [kg/h]  ",
    "Urea flow rate [ml/ h]  ",
    "Avg. conversion ratio",
    "Engine speed [rpm]",
    "Pump head temp [0.1 C]  ",
    "Urea tank temp [C]  ",
    "Log full  ",
    "OBD (hex)  ",
    "EEPROM state",
    "Drive unit state",
    "NOx in sensor state",
    "MAF sensor state",
    "Cat. in temp sensor state",
    "Cat. out temp sensor state",
    "Dosing valve state",
    "Tank heater state",
    "Line heater state",
    "Int. heater state",
    "Urea tank temp. sensor state",
    "Pump head temp. sensor state",
    "Pump frozen",
    "Tank frozen",
    "Line frozen",
    "SCR efficiency",
    "Nozzle state",
    "Level sensor state",
    "Urea tank level",
    "Air and urea presence",
    "Return line state",
    "NOx out sensor state",
    "Engine speed sensor state",
    "ECM communication state",
    "Urea temperature state",
};

// Hidden when the window is shown; shown again by the first record that arrives.
inline constexpr std::array<int, 3> kColumnsHiddenOnShow = {kUreaTankTemp, kTankFrozen,
                                                            kLineFrozen};
// The sort indicator starts here, descending; rows stay in record order until a header click.
inline constexpr int kInitialSortColumn = kCatInTemp;
inline constexpr bool kInitialSortDescending = true;

inline constexpr const char* kNotAvailableText = "N/A";
inline constexpr const char* kYesText = "Yes";
inline constexpr const char* kNoText = "No";
inline constexpr const char* kFrozenText = "Frozen";

}  // namespace error_log

using ErrorLogRow = std::array<std::string, error_log::kColumnCount>;

// The fields of a record reply, as the pump sends them.
struct ErrorLogRecord {
    uint16_t recordNumber = 0;
    uint8_t flags = 0;
    uint16_t recordCount = 0;
    uint16_t engineSpeed = 0;  // 0.125 rpm
    uint32_t timeStamp = 0;    // 2-minute units of operating time
    uint32_t errorTime = 0;    // s
    uint16_t component = 0;    // 15 bits; 0 is an empty record
    bool logFull = false;
    int16_t pumpHeadTemp = 0;  // 0.1 deg C
    int16_t noxIn = 0;
    int16_t noxOut = 0;
    int16_t catInTemp = 0;
    int16_t catOutTemp = 0;
    int16_t maf = 0;
    uint32_t ureaFlowRate = 0;       // 0.01 ml/h
    uint16_t averageConversion = 0;  // 0.01
    uint32_t stateWord = 0;
    uint8_t stateByte = 0;

    bool empty() const { return component == 0; }
};

// The first five bytes of every reply 141: record number, flags and record count.
struct ErrorLogReplyHeader {
    uint16_t recordNumber = 0;
    uint8_t flags = 0;
    uint16_t recordCount = 0;
};
// Nothing for fewer than 5 bytes.
std::optional<ErrorLogReplyHeader> errorLogReplyHeader(std::span<const uint8_t> telegram);

// What a reply 141 is, by its flags byte: bit 1 set, it carries a record; bit 1 and bit 0 clear,
// the pump has no such record; bit 0 alone, the pump is still fetching it (ask again).
enum class ErrorLogReplyKind { Record, NoRecord, NotReady };
const char* toString(ErrorLogReplyKind kind);
ErrorLogReplyKind classifyErrorLogReply(uint8_t flags);

// A whole record reply (54 bytes, header included); nothing for a shorter one. Bytes past the
// record are ignored.
std::optional<ErrorLogRecord> decodeErrorLogRecord(std::span<const uint8_t> telegram);

// The cells, one by one.
// Time stamp x 2 as minutes: hours without leading zeros, ":", two-digit minutes, four blanks
// (95 shows "3:10    ").
std::string formatErrorLogTimeStamp(uint32_t twoMinuteUnits);
// "(05) " and the component's name; 27 and above show "Invalid index" ("(100) Invalid index").
std::string formatErrorLogComponent(uint16_t component);
// Hours, minutes and seconds, each at least two digits (3725 shows "01:02:05").
std::string formatErrorLogErrorTime(uint32_t seconds);
// The integer part of rpm (8000 and 8007 both show "1000").
std::string formatErrorLogEngineSpeed(uint16_t eighthsOfRpm);
// The state word bytes in telegram order, then the state byte's bits 0-2, in two-digit upper-case
// hexadecimal without separators.
std::string formatErrorLogObdHex(uint32_t stateWord, uint8_t stateByte);
// The text of a state column (15 to 39) of a record; "" for any other column.
std::string errorLogStateText(int column, const ErrorLogRecord& record);

// All 40 cells of the record's row.
//  - "Tank frozen" and "Line frozen": the record carries no state bits for them, so they show
//    "Frozen" on a record of the tank-frozen (23) or line-frozen (24) error and "N/A" otherwise.
//  - "Urea temperature state": no field of the record feeds it; it stays empty.
ErrorLogRow errorLogRow(const ErrorLogRecord& record,
                        const DisplayFormat& format = DisplayFormat::system());

// The command that asks the pump for one record (8 bytes, record number in bytes 0-1).
ServiceTelegram errorLogRequest(uint16_t recordNumber);

// The progress bar `pbLoad`.
struct ErrorLogProgress {
    bool visible = false;
    int minimum = 0;
    int maximum = 100;
    int position = 0;
    friend bool operator==(const ErrorLogProgress&, const ErrorLogProgress&) = default;
};

// What the window does after one event of the read, in this order: clear the rows, show the hidden
// columns, add the row, set the progress bar, queue the request, then the time-out and the buttons.
struct ErrorLogStep {
    // For a reply: how the reply decoder counts it.
    ReplyAcceptance acceptance = ReplyAcceptance::NotAccepted;
    // Empty the grid down to its header row: a new read starts from an empty grid.
    bool clearRows = false;
    // Show kColumnsHiddenOnShow.
    bool showHiddenColumns = false;
    // A row to add at the bottom.
    std::optional<ErrorLogRow> row;
    // The progress bar as it is after the event, when it changed.
    std::optional<ErrorLogProgress> progress;
    // Queue command 141 for this record.
    std::optional<uint16_t> request;
    // tmrErrorLogTimeOut: start it afresh (stop, then start, a full 3000 ms) or stop it.
    bool restartTimeOut = false;
    bool stopTimeOut = false;
    // btnReadErrorLog and btnSaveErrorLog enabled or disabled.
    std::optional<bool> buttonsEnabled;
};

// The read of the whole log, record by record. Every record that is not the last asks for the
// next at once; the read ends with the last record, with a reply that the pump has no such record,
// or with 3000 ms without a valid record. Only the record asked for counts: a reply for another
// number (a stale answer from the pump's reply buffer) or a record that contradicts itself (number
// 0, beyond its own count, shorter than a record) is not accepted, so the scheduler asks again.
// A reply while no read runs is counted by its flags and otherwise ignored.
class ErrorLogReader {
  public:
    enum class State { Idle, Reading };

    // "Update error log": ask for record 1, disable the buttons, start the time-out.
    ErrorLogStep start();
    // Every reply 141, the whole telegram.
    ErrorLogStep onReply(std::span<const uint8_t> telegram,
                         const DisplayFormat& format = DisplayFormat::system());
    // tmrErrorLogTimeOut fired: the read ends with the rows it has.
    ErrorLogStep onTimeOut();

    State state() const { return state_; }
    // The record the reader waits for (0 while idle).
    uint16_t awaitedRecord() const { return state_ == State::Reading ? awaited_ : 0; }
    const ErrorLogProgress& progress() const { return progress_; }

  private:
    ErrorLogStep finish(ErrorLogStep step);

    State state_ = State::Idle;
    uint16_t awaited_ = 0;
    ErrorLogProgress progress_;
};
const char* toString(ErrorLogReader::State state);

// --- Sorting by a header click ---

// How a column compares: numbers as numbers, times as times, the error name by its component
// index, everything else as text.
enum class ErrorLogSortKind { Text, Number, Time, ComponentIndex };
ErrorLogSortKind errorLogSortKind(int column);

// The key of one cell. Cells that hold a value of their column's kind come first, then cells of
// other text, then empty cells (the rows of a display clear), in either direction.
struct ErrorLogSortKey {
    int rank = 0;  // 0 a value (or any text in a text column), 1 other text, 2 empty
    bool byNumber = false;
    double number = 0.0;  // the number, the time in minutes or seconds, or the component index
    std::string text;
};
ErrorLogSortKey errorLogSortKey(int column, std::string_view cell, char decimalPoint);
// Negative, zero or positive as a sorts before, with or after b ascending (ranks always ascend).
int compareErrorLogKeys(const ErrorLogSortKey& a, const ErrorLogSortKey& b, bool descending);

// Sorts the rows by one column; rows with equal keys keep their order.
void sortErrorLogRows(std::vector<ErrorLogRow>& rows, int column, bool descending,
                      char decimalPoint);
