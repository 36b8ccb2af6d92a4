#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/error_log.h"

using namespace error_log;

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};
const DisplayFormat kComma{',', "%d.%m.%Y"};

// A reply 141 built byte by byte at the offsets the pump uses.
struct Reply {
    explicit Reply(uint16_t number, uint16_t count, uint8_t flags = 0x02, std::size_t size = 54)
        : bytes(size, 0) {
        u16(0, number).u8(2, flags).u16(3, count).u8(7, 141);
        if (size >= 31) {
            u16(29, 5);  // a record of component 5 unless a test says otherwise
        }
    }
    Reply& u8(std::size_t at, uint8_t v) {
        bytes.at(at) = v;
        return *this;
    }
    Reply& u16(std::size_t at, uint16_t v) {
        u8(at, static_cast<uint8_t>(v));
        return u8(at + 1, static_cast<uint8_t>(v >> 8));
    }
    Reply& u32(std::size_t at, uint32_t v) {
        u16(at, static_cast<uint16_t>(v));
        return u16(at + 2, static_cast<uint16_t>(v >> 16));
    }
    Reply& component(uint16_t code) { return u16(29, code); }
    Reply& stateWord(uint32_t v) { return u32(49, v); }
    Reply& stateByte(uint8_t v) { return u8(53, v); }
    std::vector<uint8_t> bytes;
};

ErrorLogRecord record(const Reply& reply) {
    auto r = decodeErrorLogRecord(reply.bytes);
    EXPECT_TRUE(r.has_value());
    return r.value_or(ErrorLogRecord{});
}

}  // namespace

TEST(ErrorLogRecordCells, AWholeRecordIntoItsFortyCells) {
    Reply reply(7, 12);
    reply
        .u16(15, 8007)         // engine speed, 0.125 rpm
        .u32(21, 95)           // time stamp, 2-minute units
        .u32(25, 3725)         // error time, s
        .u16(29, 0x8000 | 12)  // log full, component 12
        .u16(31, 0xFFDD)       // pump head -3.5 deg C
        .u16(33, 812)          // NOx in
        .u16(35, 0xFF38)       // NOx out -200
        .u16(37, 305)
        .u16(39, 0xFFF6)  // cat out -10
        .u16(41, 410)
        .u32(43, 152007)  // 1520.07 ml/h
        .u16(47, 82)      // 0.82
        .stateWord(0x9A5C3D4E)
        .stateByte(0xFB);
    const auto r = record(reply);
    EXPECT_EQ(r.recordNumber, 7);
    EXPECT_EQ(r.recordCount, 12);
    EXPECT_EQ(r.component, 12);
    EXPECT_TRUE(r.logFull);

    // State word 0x9A5C3D4E: bit 0 0, bit 1 1, bits 2-3 3, bits 4-5 0, bits 6-7 1, bits 8-9 1,
    // bits 10-11 3, bits 12-13 3, bit 14 0, bit 15 0, bits 16-17 0, bits 18-19 3, bits 20-21 1,
    // bit 22 1, bit 23 0, bits 24-25 2, bits 26-27 2, bits 28-29 1, bits 30-31 2.
    // State byte 0xFB: bit 0 1, bits 1-2 1, bit 3 1.
    const ErrorLogRow expected = {
        "3:10    ",
        "(12) Pump head temp.",
        "01:02:05",
        "812",
        "-200",
        "305",
        "-10",
        "410",
        "1520.07",
        "0.82",
        "1000",
        "-3.5",
        "N/A",
        "Yes",
        "4E3D5C9A03",
        "No problem",
        "Malfunction",
        "Invalid value (3)",
        "Out of range high",
        "Out of range high",
        "Invalid value (3)",
        "Open load",
        "Open load",
        "Shorted high",
        "Malfunction",
        "Out of range high",
        "No problem",
        "Frozen",
        "N/A",
        "N/A",
        "SCR efficiency-threshold exceeded",
        "No problem",
        "Out of range low",
        "Empty",
        "No problem",
        "No problem",
        "No problem",
        "Missing",
        "Communication error",
        "",
    };
    const ErrorLogRow row = errorLogRow(r, kPoint);
    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(row[column], expected[column]) << "column " << column << " " << kHeaders[column];
    }
    // Fixed-point cells take the operator's decimal separator.
    const ErrorLogRow comma = errorLogRow(r, kComma);
    EXPECT_EQ(comma[kUreaFlowRate], "1520,07");
    EXPECT_EQ(comma[kAvgConversionRatio], "0,82");
    EXPECT_EQ(comma[kPumpHeadTemp], "-3,5");
}

TEST(ErrorLogRecordCells, TimesEngineSpeedAndComponentNames) {
    const struct {
        uint32_t value;
        const char* text;
    } timeStamps[] = {{95, "3:10    "}, {0, "0:00    "},        {30, "1:00    "},
                      {29, "0:58    "}, {40210, "1340:20    "}, {0xFFFFFFFF, "143165576:30    "}},
      errorTimes[] = {{3725, "01:02:05"}, {360000, "100:00:00"}, {0, "00:00:00"},
                      {59, "00:00:59"},   {86399, "23:59:59"},   {0xFFFFFFFF, "1193046:28:15"}},
      speeds[] = {{8000, "1000"}, {8007, "1000"}, {7, "0"}, {8008, "1001"}, {65535, "8191"}};
    for (const auto& c : timeStamps) {
        EXPECT_EQ(formatErrorLogTimeStamp(c.value), c.text) << c.value;
    }
    for (const auto& c : errorTimes) {
        EXPECT_EQ(formatErrorLogErrorTime(c.value), c.text) << c.value;
    }
    for (const auto& c : speeds) {
        EXPECT_EQ(formatErrorLogEngineSpeed(static_cast<uint16_t>(c.value)), c.text) << c.value;
    }
    const struct {
        uint16_t code;  // the whole 16-bit field: bit 15 is the log-full flag
        const char* name;
        const char* logFull;
    } components[] = {
        {5, "(05) Cat. in temp.", "No"},
        {0x8005, "(05) Cat. in temp.", "Yes"},
        {1, "(01) ECU", "No"},
        {26, "(26) Urea Tank temperature", "No"},
        {27, "(27) Invalid index", "No"},
        {100, "(100) Invalid index", "No"},
        {0xFFFF, "(32767) Invalid index", "Yes"},
    };
    for (const auto& c : components) {
        const ErrorLogRow row = errorLogRow(record(Reply(1, 1).component(c.code)), kPoint);
        EXPECT_EQ(row[kErrorName], c.name) << c.code;
        EXPECT_EQ(row[kLogFull], c.logFull) << c.code;
    }
}

TEST(ErrorLogRecordCells, InvalidBitFieldsAndTheHexColumn) {
    const struct {
        uint32_t stateWord;
        uint8_t stateByte;
        int column;
        const char* text;
    } cases[] = {
        {0xC0000000, 0, kUreaTankLevel, "Invalid value (3)"},
        {0x40000000, 0, kUreaTankLevel, "Low"},
        {0x000000C0, 0, kMafSensorState, "Invalid value (3)"},
        {0x00000080, 0, kMafSensorState, "Out of range low"},
        {0x03000000, 0, kScrEfficiency, "Invalid value (3)"},
        {0x01000000, 0, kScrEfficiency, "SCR efficiency reduced"},
        {0x00000030, 0, kNoxOutSensorState, "Invalid value (3)"},
        {0x30000000, 0, kUreaTankTempSensorState, "Invalid value (3)"},
        {0x00030000, 0, kPumpHeadTempSensorState, "Invalid value (3)"},
        {0x0C000000, 0, kLevelSensorState, "Invalid value (3)"},
        {0x00000001, 0, kEepromState, "EEProm error"},
        {0x00004000, 0, kAirAndUreaPresence, "Air or urea not present"},
        {0x00008000, 0, kNozzleState, "Blocked"},
        {0x00800000, 0, kReturnLineState, "Blocked"},
        {0x00400000, 0, kPumpFrozen, "Frozen"},
        {0x00003000, 0, kDosingValveState, "Open load"},
        {0, 0x06, kEngineSpeedSensorState, "Unknown"},
        {0, 0x04, kEngineSpeedSensorState, "Reserved"},
        {0, 0x01, kIntHeaterState, "Malfunction"},
        {0, 0x08, kEcmCommunicationState, "Communication error"},
        {0, 0xF0, kUreaTemperatureState, ""},
    };
    for (const auto& c : cases) {
        const auto r = record(Reply(1, 1).stateWord(c.stateWord).stateByte(c.stateByte));
        EXPECT_EQ(errorLogRow(r, kPoint)[c.column], c.text)
            << kHeaders[c.column] << " word " << c.stateWord << " byte " << int(c.stateByte);
    }
    // The state word bytes in telegram order, then the state byte's bits 0-2.
    EXPECT_EQ(formatErrorLogObdHex(0x12345678, 0xFF), "7856341207");
    EXPECT_EQ(formatErrorLogObdHex(0, 0x08), "0000000000");
    EXPECT_EQ(formatErrorLogObdHex(0xA0B0C0D0, 0x05), "D0C0B0A005");
}

TEST(ErrorLogRecordCells, FrozenTankAndLineFollowTheRecordsComponent) {
    const struct {
        uint16_t component;
        const char *tank, *line;
    } cases[] = {{23, "Frozen", "N/A"}, {24, "N/A", "Frozen"}, {13, "N/A", "N/A"}};
    for (const auto& c : cases) {
        const ErrorLogRow row = errorLogRow(record(Reply(1, 1).component(c.component)), kPoint);
        EXPECT_EQ(row[kTankFrozen], c.tank) << c.component;
        EXPECT_EQ(row[kLineFrozen], c.line) << c.component;
    }
}

TEST(ErrorLogReply, FlagsClassifyTheReply) {
    const struct {
        uint8_t flags;
        ErrorLogReplyKind kind;
    } cases[] = {
        {0x02, ErrorLogReplyKind::Record},   {0x03, ErrorLogReplyKind::Record},
        {0xFE, ErrorLogReplyKind::Record},   {0x00, ErrorLogReplyKind::NoRecord},
        {0xFC, ErrorLogReplyKind::NoRecord}, {0x01, ErrorLogReplyKind::NotReady},
        {0xFD, ErrorLogReplyKind::NotReady},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classifyErrorLogReply(c.flags), c.kind) << int(c.flags);
    }
    EXPECT_FALSE(decodeErrorLogRecord(Reply(1, 1, 0x02, 53).bytes).has_value());
    EXPECT_FALSE(errorLogReplyHeader(std::vector<uint8_t>{1, 0, 2, 3}).has_value());
    const auto header = errorLogReplyHeader(Reply(0x0102, 0x0304, 0x01, 8).bytes);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->recordNumber, 0x0102);
    EXPECT_EQ(header->flags, 0x01);
    EXPECT_EQ(header->recordCount, 0x0304);
}

TEST(ErrorLogReply, RequestCommandBytes) {
    EXPECT_EQ(errorLogRequest(1).encode(), (std::array<uint8_t, 8>{1, 0, 0, 0, 0, 0, 0, 141}));
    EXPECT_EQ(errorLogRequest(0x05DC).encode(),
              (std::array<uint8_t, 8>{0xDC, 0x05, 0, 0, 0, 0, 0, 141}));
}

TEST(ErrorLogReaderRun, ThreeRecordsRequestedOneAfterTheOther) {
    ErrorLogReader reader;
    const ErrorLogStep start = reader.start();
    EXPECT_EQ(start.request, 1);
    EXPECT_EQ(start.buttonsEnabled, false);
    EXPECT_TRUE(start.restartTimeOut);
    EXPECT_EQ(reader.state(), ErrorLogReader::State::Reading);

    const ErrorLogStep first = reader.onReply(Reply(1, 3).bytes, kPoint);
    EXPECT_EQ(first.acceptance, ReplyAcceptance::Accepted);
    EXPECT_TRUE(first.clearRows);
    EXPECT_TRUE(first.showHiddenColumns);
    ASSERT_TRUE(first.row.has_value());
    EXPECT_EQ((*first.row)[kErrorName], "(05) Cat. in temp.");
    EXPECT_EQ(first.progress, (ErrorLogProgress{true, 1, 3, 1}));
    EXPECT_EQ(first.request, 2);
    EXPECT_TRUE(first.restartTimeOut);
    EXPECT_FALSE(first.buttonsEnabled.has_value());

    const ErrorLogStep second = reader.onReply(Reply(2, 3).component(21).bytes, kPoint);
    EXPECT_EQ(second.acceptance, ReplyAcceptance::Accepted);
    EXPECT_FALSE(second.clearRows);
    ASSERT_TRUE(second.row.has_value());
    EXPECT_EQ((*second.row)[kErrorName], "(21) NOx out sensor");
    EXPECT_EQ(second.progress, (ErrorLogProgress{true, 1, 3, 2}));
    EXPECT_EQ(second.request, 3);

    const ErrorLogStep third = reader.onReply(Reply(3, 3).bytes, kPoint);
    EXPECT_EQ(third.acceptance, ReplyAcceptance::Accepted);
    ASSERT_TRUE(third.row.has_value());
    EXPECT_EQ(third.progress, (ErrorLogProgress{false, 1, 3, 3}));
    EXPECT_FALSE(third.request.has_value());
    EXPECT_TRUE(third.stopTimeOut);
    EXPECT_FALSE(third.restartTimeOut);
    EXPECT_EQ(third.buttonsEnabled, true);
    EXPECT_EQ(reader.state(), ErrorLogReader::State::Idle);
}

TEST(ErrorLogReaderRun, EmptyRecordOneStillStartsFromAnEmptyGrid) {
    ErrorLogReader reader;
    reader.start();
    const ErrorLogStep first = reader.onReply(Reply(1, 2).component(0).bytes, kPoint);
    EXPECT_EQ(first.acceptance, ReplyAcceptance::Accepted);
    EXPECT_TRUE(first.clearRows);  // no rows of an earlier read stay
    EXPECT_FALSE(first.row.has_value());
    EXPECT_EQ(first.request, 2);
    const ErrorLogStep second = reader.onReply(Reply(2, 2).component(0x8000).bytes, kPoint);
    EXPECT_FALSE(second.row.has_value());  // an empty record with the log-full flag
    EXPECT_EQ(second.buttonsEnabled, true);
}

TEST(ErrorLogReaderRun, ALogWithoutRecordsAndALogThatShrank) {
    ErrorLogReader reader;
    reader.start();
    const ErrorLogStep none = reader.onReply(Reply(1, 0, 0x00, 8).bytes, kPoint);
    EXPECT_EQ(none.acceptance, ReplyAcceptance::Accepted);
    EXPECT_TRUE(none.clearRows);
    EXPECT_FALSE(none.row.has_value());
    EXPECT_FALSE(none.request.has_value());
    EXPECT_TRUE(none.stopTimeOut);
    EXPECT_EQ(none.buttonsEnabled, true);
    EXPECT_EQ(reader.state(), ErrorLogReader::State::Idle);

    // Record 2 is gone by the time it is asked for: the rows read so far stay.
    reader.start();
    reader.onReply(Reply(1, 5).bytes, kPoint);
    const ErrorLogStep gone = reader.onReply(Reply(2, 1, 0x00, 8).bytes, kPoint);
    EXPECT_EQ(gone.acceptance, ReplyAcceptance::Accepted);
    EXPECT_FALSE(gone.clearRows);
    EXPECT_EQ(gone.buttonsEnabled, true);
    EXPECT_EQ(gone.progress, (ErrorLogProgress{false, 1, 5, 1}));
}

TEST(ErrorLogReaderRun, NotReadyStaleAndContradictoryRepliesAreAskedAgain) {
    ErrorLogReader reader;
    reader.start();
    reader.onReply(Reply(1, 4).bytes, kPoint);
    ASSERT_EQ(reader.awaitedRecord(), 2);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"not ready", Reply(2, 4, 0x01, 8).bytes},
        {"stale record 1", Reply(1, 4).bytes},
        {"record 3 before 2", Reply(3, 4).bytes},
        {"record shorter than a record", Reply(2, 4, 0x02, 40).bytes},
        {"record beyond its own count", Reply(2, 1).bytes},
        {"no header", std::vector<uint8_t>{2, 0}},
    };
    for (const auto& c : cases) {
        const ErrorLogStep step = reader.onReply(c.bytes, kPoint);
        EXPECT_EQ(step.acceptance, ReplyAcceptance::NotAccepted) << c.what;
        EXPECT_FALSE(step.row.has_value()) << c.what;
        EXPECT_FALSE(step.request.has_value()) << c.what;
        EXPECT_FALSE(step.clearRows) << c.what;
        EXPECT_FALSE(step.buttonsEnabled.has_value()) << c.what;
        EXPECT_EQ(reader.awaitedRecord(), 2) << c.what;
    }
    // The pump's record arrives once it is ready.
    const ErrorLogStep ready = reader.onReply(Reply(2, 4, 0x03).bytes, kPoint);
    EXPECT_EQ(ready.acceptance, ReplyAcceptance::Accepted);
    EXPECT_TRUE(ready.row.has_value());
    EXPECT_EQ(ready.request, 3);
}

TEST(ErrorLogReaderRun, TimeOutEndsTheReadAndLateRepliesChangeNothing) {
    ErrorLogReader reader;
    reader.start();
    reader.onReply(Reply(1, 40).bytes, kPoint);
    reader.onReply(Reply(2, 40).bytes, kPoint);
    const ErrorLogStep timeOut = reader.onTimeOut();
    EXPECT_EQ(timeOut.buttonsEnabled, true);
    EXPECT_TRUE(timeOut.stopTimeOut);
    EXPECT_FALSE(timeOut.clearRows);
    EXPECT_EQ(timeOut.progress, (ErrorLogProgress{false, 1, 40, 2}));
    EXPECT_EQ(reader.state(), ErrorLogReader::State::Idle);
    EXPECT_EQ(reader.awaitedRecord(), 0);

    const ErrorLogStep late = reader.onReply(Reply(3, 40).bytes, kPoint);
    EXPECT_EQ(late.acceptance, ReplyAcceptance::Accepted);
    EXPECT_FALSE(late.row.has_value());
    EXPECT_FALSE(late.request.has_value());
    EXPECT_FALSE(late.progress.has_value());
    EXPECT_EQ(reader.onReply(Reply(3, 40, 0x01, 8).bytes, kPoint).acceptance,
              ReplyAcceptance::NotAccepted);

    // A second time-out tick while idle only re-enables the buttons.
    const ErrorLogStep again = reader.onTimeOut();
    EXPECT_EQ(again.buttonsEnabled, true);
    EXPECT_FALSE(again.progress.has_value());
}

TEST(ErrorLogReaderRun, OneRecordLogHidesTheProgressBarAgain) {
    ErrorLogReader reader;
    reader.start();
    const ErrorLogStep only = reader.onReply(Reply(1, 1).bytes, kPoint);
    EXPECT_TRUE(only.clearRows);
    EXPECT_TRUE(only.row.has_value());
    EXPECT_EQ(only.progress, (ErrorLogProgress{false, 1, 1, 1}));
    EXPECT_EQ(only.buttonsEnabled, true);
    EXPECT_FALSE(reader.progress().visible);
    // A new read starts at record 1 again.
    EXPECT_EQ(reader.start().request, 1);
    EXPECT_EQ(reader.onReply(Reply(1, 2).bytes, kPoint).progress,
              (ErrorLogProgress{true, 1, 2, 1}));
}

namespace {

std::vector<ErrorLogRow> rowsWith(int column, std::vector<std::string> cells) {
    std::vector<ErrorLogRow> rows;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        ErrorLogRow row;
        row[column] = cells[i];
        row[kEepromState] = std::to_string(i);  // where the row started
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> column(const std::vector<ErrorLogRow>& rows, int c) {
    std::vector<std::string> out;
    for (const auto& row : rows) {
        out.push_back(row[c]);
    }
    return out;
}

}  // namespace

TEST(ErrorLogSort, NumbersAsNumbersTimesAsTimesEmptyRowsLast) {
    const struct {
        int column;
        char decimalPoint;
        std::vector<std::string> cells;
        std::vector<std::string> ascending;
    } cases[] = {
        {kNoxIn, '.', {"100", "-12", "5", "20"}, {"-12", "5", "20", "100"}},
        {kUreaFlowRate,
         '.',
         {"1520.00", "99.50", "-0.50", "1000.05"},
         {"-0.50", "99.50", "1000.05", "1520.00"}},
        {kUreaFlowRate,
         ',',
         {"1520,00", "3,50", "-0,50", "10,05"},
         {"-0,50", "3,50", "10,05", "1520,00"}},
        {kPumpHeadTemp, '.', {"-3.5", "-25.0", "21.5", "0.0"}, {"-25.0", "-3.5", "0.0", "21.5"}},
        {kTimeStamp,
         '.',
         {"10:00    ", "3:10    ", "100:02    ", "9:58    "},
         {"3:10    ", "9:58    ", "10:00    ", "100:02    "}},
        {kErrorTime,
         '.',
         {"100:00:00", "01:02:05", "09:59:59", "10:00:00"},
         {"01:02:05", "09:59:59", "10:00:00", "100:00:00"}},
        {kErrorName,
         '.',
         {"(100) Invalid index", "(05) Cat. in temp.", "(27) Invalid index"},
         {"(05) Cat. in temp.", "(27) Invalid index", "(100) Invalid index"}},
        {kEngineSpeed, '.', {"", "900", "", "1000"}, {"900", "1000", "", ""}},
        {kLogFull, '.', {"Yes", "No", "", "Yes"}, {"No", "Yes", "Yes", ""}},
        {kUreaTankLevel,
         '.',
         {"Low", "Invalid value (3)", "Empty", "Full"},
         {"Empty", "Full", "Invalid value (3)", "Low"}},
    };
    for (const auto& c : cases) {
        auto rows = rowsWith(c.column, c.cells);
        sortErrorLogRows(rows, c.column, false, c.decimalPoint);
        EXPECT_EQ(column(rows, c.column), c.ascending) << kHeaders[c.column];
        // Descending reverses the values; empty cells stay at the bottom.
        sortErrorLogRows(rows, c.column, true, c.decimalPoint);
        std::vector<std::string> descending;
        std::vector<std::string> empties;
        for (auto it = c.ascending.rbegin(); it != c.ascending.rend(); ++it) {
            (it->empty() ? empties : descending).push_back(*it);
        }
        descending.insert(descending.end(), empties.begin(), empties.end());
        EXPECT_EQ(column(rows, c.column), descending) << kHeaders[c.column] << " descending";
    }
}

TEST(ErrorLogSort, EqualKeysKeepTheRecordOrder) {
    auto rows = rowsWith(kCatInTemp, {"300", "305", "300", "305", "300"});
    sortErrorLogRows(rows, kCatInTemp, true, '.');
    EXPECT_EQ(column(rows, kEepromState), (std::vector<std::string>{"1", "3", "0", "2", "4"}));
    sortErrorLogRows(rows, kCatInTemp, false, '.');
    EXPECT_EQ(column(rows, kEepromState), (std::vector<std::string>{"0", "2", "4", "1", "3"}));
    // A column number outside the grid changes nothing.
    sortErrorLogRows(rows, kColumnCount, false, '.');
    sortErrorLogRows(rows, -1, false, '.');
    EXPECT_EQ(column(rows, kEepromState), (std::vector<std::string>{"0", "2", "4", "1", "3"}));
}

TEST(ErrorLogSort, AfterADisplayClearTheRowsAreAllEmpty) {
    std::vector<ErrorLogRow> rows(kClearedRowCount);
    rows[700][kCatInTemp] = "12";
    sortErrorLogRows(rows, kCatInTemp, true, '.');
    EXPECT_EQ(rows.size(), std::size_t(kClearedRowCount));
    EXPECT_EQ(rows.front()[kCatInTemp], "12");
    EXPECT_EQ(rows.back()[kCatInTemp], "");
}
