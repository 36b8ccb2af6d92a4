#include "pump/error_log_export.h"

const char* toString(ExportSeparator separator) {
    switch (separator) {
        case ExportSeparator::Comma:
            return "Comma";
        case ExportSeparator::Semicolon:
            return "Semicolon";
        case ExportSeparator::Space:
            return "Space";
        case ExportSeparator::Tab:
            return "Tab";
    }
    return "?";
}

std::optional<ExportSeparator> exportSeparatorForFileType(int fileType) {
    if (fileType < static_cast<int>(ExportSeparator::Comma) ||
        fileType > static_cast<int>(ExportSeparator::Tab)) {
        return std::nullopt;
    }
    return static_cast<ExportSeparator>(fileType);
}

char separatorChar(ExportSeparator separator) {
    switch (separator) {
        case ExportSeparator::Comma:
            return ',';
        case ExportSeparator::Semicolon:
            return ';';
        case ExportSeparator::Space:
            return ' ';
        case ExportSeparator::Tab:
            return '\t';
    }
    return ',';
}

std::string csvCell(std::string_view cell, char separator) {
    const bool quote =
        cell.find_first_of(std::string{separator, '"', '\r', '\n'}) != std::string_view::npos;
    if (!quote) {
        return std::string(cell);
    }
    std::string text = "\"";
    for (char c : cell) {
        if (c == '"') {
            text += '"';
        }
        text += c;
    }
    text += '"';
    return text;
}

std::string csvLine(std::span<const std::string> cells, char separator) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line += separator;
        }
        line += csvCell(cells[i], separator);
    }
    line += error_log_export::kLineEnd;
    return line;
}

namespace {

std::string infoLines(std::string_view vin, std::string_view serial, char sep) {
    using namespace error_log_export;
    const std::string info[] = {std::string(kVinPrefix) + std::string(vin),
                                std::string(kSerialPrefix) + std::string(serial)};
    std::string text;
    for (const std::string& line : info) {
        text += csvLine(std::span<const std::string>(&line, 1), sep);
    }
    return text;
}

}  // namespace

std::string composeErrorLogCsv(std::span<const std::vector<std::string>> grid, std::string_view vin,
                               std::string_view serial, ExportSeparator separator) {
    const char sep = separatorChar(separator);
    std::string file = infoLines(vin, serial, sep);
    for (const auto& row : grid) {
        file += csvLine(row, sep);
    }
    return file;
}

std::string composeErrorLogCsv(std::span<const ErrorLogRow> rows, std::string_view vin,
                               std::string_view serial, ExportSeparator separator) {
    const char sep = separatorChar(separator);
    std::string file = infoLines(vin, serial, sep);
    std::array<std::string, error_log::kColumnCount> header;
    for (std::size_t i = 0; i < header.size(); ++i) {
        header[i] = std::string(error_log::kHeaders[i]);
    }
    file += csvLine(header, sep);
    for (const ErrorLogRow& row : rows) {
        file += csvLine(row, sep);
    }
    return file;
}
