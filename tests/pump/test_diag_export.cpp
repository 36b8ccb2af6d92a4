#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pump/error_log.h"
#include "pump/error_log_export.h"

namespace {

using Grid = std::vector<std::vector<std::string>>;

const Grid kSmallGrid = {
    {"Time stamp [hh:mm]", "Error name    ", "Flow"},
    {"3:10    ", "(05) Cat. in temp.", "1520,07"},
    {"", "say \"hi\"", "a;b"},
};

// Reads a file back the way a spreadsheet does (RFC 4180 with the given separator), independent
// of the composer: quoted cells may hold the separator, doubled quotes and line breaks.
std::vector<std::vector<std::string>> parseCsv(const std::string& file, char separator) {
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> cells;
    std::string cell;
    bool quoted = false;
    for (std::size_t i = 0; i < file.size(); ++i) {
        const char c = file[i];
        if (quoted) {
            if (c == '"' && i + 1 < file.size() && file[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"' && cell.empty()) {
            quoted = true;
        } else if (c == separator) {
            cells.push_back(cell);
            cell.clear();
        } else if (c == '\r' && i + 1 < file.size() && file[i + 1] == '\n') {
            cells.push_back(cell);
            cell.clear();
            lines.push_back(cells);
            cells.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    EXPECT_FALSE(quoted) << "file ends inside a quoted cell";
    EXPECT_TRUE(cell.empty() && cells.empty()) << "file does not end with a line end";
    return lines;
}

}  // namespace

TEST(ErrorLogExport, EachSeparatorByFileType) {
    const struct {
        int fileType;
        const char* file;
    } cases[] = {
        {1,
         "VIN: WDB*\r\n"
         "UDS Serial number: 20231041\r\n"
         "Time stamp [hh:mm],Error name    ,Flow\r\n"
         "3:10    ,(05) Cat. in temp.,\"1520,07\"\r\n"
         ",\"say \"\"hi\"\"\",a;b\r\n"},
        {2,
         "VIN: WDB*\r\n"
         "UDS Serial number: 20231041\r\n"
         "Time stamp [hh:mm];Error name    ;Flow\r\n"
         "3:10    ;(05) Cat. in temp.;1520,07\r\n"
         ";\"say \"\"hi\"\"\";\"a;b\"\r\n"},
        {3,
         "\"VIN: WDB*\"\r\n"
         "\"UDS Serial number: 20231041\"\r\n"
         "\"Time stamp [hh:mm]\" \"Error name    \" Flow\r\n"
         "\"3:10    \" \"(05) Cat. in temp.\" 1520,07\r\n"
         " \"say \"\"hi\"\"\" a;b\r\n"},
        {4,
         "VIN: WDB*\r\n"
         "UDS Serial number: 20231041\r\n"
         "Time stamp [hh:mm]\tError name    \tFlow\r\n"
         "3:10    \t(05) Cat. in temp.\t1520,07\r\n"
         "\t\"say \"\"hi\"\"\"\ta;b\r\n"},
    };
    for (const auto& c : cases) {
        const auto separator = exportSeparatorForFileType(c.fileType);
        ASSERT_TRUE(separator.has_value()) << c.fileType;
        EXPECT_EQ(composeErrorLogCsv(kSmallGrid, "WDB*", "20231041", *separator), c.file)
            << "file type " << c.fileType;
    }
    EXPECT_FALSE(exportSeparatorForFileType(0).has_value());
    EXPECT_FALSE(exportSeparatorForFileType(5).has_value());
}

TEST(ErrorLogExport, NoCellSplitsWhateverItHolds) {
    // Real rows with a decimal comma, and a VIN off the bus with a separator, a quote and a line
    // break in it.
    const DisplayFormat comma{',', "%d.%m.%Y"};
    std::vector<ErrorLogRow> rows;
    for (uint16_t component : {5, 27, 0x8000 | 23}) {
        ErrorLogRecord r;
        r.component = component & 0x7FFF;
        r.logFull = (component & 0x8000) != 0;
        r.timeStamp = 95;
        r.ureaFlowRate = 152007;
        r.pumpHeadTemp = -35;
        r.stateWord = 0xC00000C0;
        rows.push_back(errorLogRow(r, comma));
    }
    const std::string vin = "WD;B,1 \"x\"\r\nZ\t";
    for (int fileType = 1; fileType <= 4; ++fileType) {
        const ExportSeparator separator = *exportSeparatorForFileType(fileType);
        const auto lines =
            parseCsv(composeErrorLogCsv(rows, vin, "?", separator), separatorChar(separator));
        ASSERT_EQ(lines.size(), 3 + rows.size()) << fileType;
        EXPECT_EQ(lines[0], std::vector<std::string>{"VIN: " + vin}) << fileType;
        EXPECT_EQ(lines[1], std::vector<std::string>{"UDS Serial number: ?"}) << fileType;
        ASSERT_EQ(lines[2].size(), std::size_t(error_log::kColumnCount)) << fileType;
        for (int column = 0; column < error_log::kColumnCount; ++column) {
            EXPECT_EQ(lines[2][column], error_log::kHeaders[column]) << fileType;
        }
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(lines[3 + i], std::vector<std::string>(rows[i].begin(), rows[i].end()))
                << "file type " << fileType << ", row " << i;
        }
    }
}

TEST(ErrorLogExport, AfterADisplayClear) {
    const std::vector<ErrorLogRow> cleared(error_log::kClearedRowCount);
    for (int fileType = 1; fileType <= 4; ++fileType) {
        const ExportSeparator separator = *exportSeparatorForFileType(fileType);
        const char sep = separatorChar(separator);
        const std::string file = composeErrorLogCsv(cleared, "?", "?", separator);
        const std::string vinLine = sep == ' ' ? "\"VIN: ?\"\r\n" : "VIN: ?\r\n";
        ASSERT_EQ(file.compare(0, vinLine.size(), vinLine), 0) << fileType;
        // Three lines above the rows, then one line of 39 separators per empty row.
        const std::string emptyLine = std::string(error_log::kColumnCount - 1, sep) + "\r\n";
        std::size_t lines = 0;
        std::size_t at = 0;
        for (int i = 0; i < 3; ++i) {
            at = file.find("\r\n", at) + 2;
            ++lines;
        }
        for (; at < file.size(); at += emptyLine.size()) {
            ASSERT_EQ(file.compare(at, emptyLine.size(), emptyLine), 0)
                << "file type " << fileType << " line " << lines + 1;
            ++lines;
        }
        EXPECT_EQ(lines, 3u + error_log::kClearedRowCount) << fileType;
    }
}

TEST(ErrorLogExport, CellsAndDialogTexts) {
    const struct {
        const char* cell;
        char separator;
        const char* written;
    } cases[] = {
        {"plain", ',', "plain"},           {"", ',', ""},
        {"1,5", ',', "\"1,5\""},           {"1,5", ';', "1,5"},
        {"a b", ' ', "\"a b\""},           {"a b", '\t', "a b"},
        {"\"", '\t', "\"\"\"\""},          {"line\nbreak", ';', "\"line\nbreak\""},
        {"cr\rhere", ',', "\"cr\rhere\""}, {"tab\there", '\t', "\"tab\there\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(csvCell(c.cell, c.separator), c.written) << c.cell;
    }
    EXPECT_STREQ(error_log_export::kFilter,
                 "csv files (comma separated)|*.csv|csv files (semicolon separated)|*.csv|"
                 "csv files (space separated)|*.csv|csv files (tab separated)|*.csv");
    EXPECT_STREQ(error_log_export::kWrittenStatus, "Error log written to disk ");
}
