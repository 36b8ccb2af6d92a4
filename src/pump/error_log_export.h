#pragma once
// The export of the error log as a CSV file, composed in memory: the grid's cells (the header row
// and the record rows, as currently sorted) and the VIN and serial-number lines go in, the file's
// bytes come out. The window writes those bytes once to a temporary file and renames it over the
// chosen name, so a failure never leaves half a file.
//
// A cell that holds the separator, a double quote or a line break is written in double quotes
// with its quotes doubled, so no cell ever splits into two: the blanks in the headers with the
// space separator, a decimal comma with the comma separator, anything the VIN brings from the bus.
// Lines end in CR LF. Every column is written, hidden or not.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pump/error_log.h"

// The separators by the save dialog's file type (1-based).
enum class ExportSeparator { Comma = 1, Semicolon = 2, Space = 3, Tab = 4 };
const char* toString(ExportSeparator separator);
// Nothing for a file type outside 1 to 4.
std::optional<ExportSeparator> exportSeparatorForFileType(int fileType);
char separatorChar(ExportSeparator separator);

namespace error_log_export {
// The save dialog.
inline constexpr const char* kDefaultFileName = "UDSErrorLog";
inline constexpr const char* kDefaultExtension = "csv";
inline constexpr const char* kFilter =
    "csv files (comma separated)|*.csv|csv files (semicolon separated)|*.csv|"
    "csv files (space separated)|*.csv|csv files (tab separated)|*.csv";
inline constexpr int kDefaultFileType = 1;
// The two lines above the grid, each followed by the label's text.
inline constexpr std::string_view kVinPrefix = "VIN: ";
inline constexpr std::string_view kSerialPrefix = "UDS Serial number: ";
// The main window's status line after the file was written.
inline constexpr const char* kWrittenStatus = "Error log written to disk ";
inline constexpr std::string_view kLineEnd = "\r\n";
}  // namespace error_log_export

// One cell as the file holds it: quoted when it must be.
std::string csvCell(std::string_view cell, char separator);
// One line of cells, with its line end.
std::string csvLine(std::span<const std::string> cells, char separator);

// The whole file: "VIN: " and the VIN text, "UDS Serial number: " and the serial text (each a
// line of one cell), then every row of `grid` (the header row first) with all its cells.
std::string composeErrorLogCsv(std::span<const std::vector<std::string>> grid, std::string_view vin,
                               std::string_view serial, ExportSeparator separator);
// The error-log grid itself: the header row of error_log::kHeaders, then the rows in their order.
std::string composeErrorLogCsv(std::span<const ErrorLogRow> rows, std::string_view vin,
                               std::string_view serial, ExportSeparator separator);
