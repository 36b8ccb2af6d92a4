#include "pump/text_tables.h"

namespace text_tables {

std::optional<std::string_view> tableText(std::span<const std::string_view> table,
                                          long long index) {
    if (index < 0 || static_cast<unsigned long long>(index) >= table.size()) {
        return std::nullopt;
    }
    return table[static_cast<std::size_t>(index)];
}

std::string invalidValueText(long long value) {
    return std::string(kInvalidValuePrefix) + std::to_string(value);
}

std::string applicationTypeText(unsigned value) {
    if (auto text = tableText(ApplicationTypeNames, value)) {
        return std::string(*text);
    }
    return "Unknown application type (" + std::to_string(value) + ")";
}

std::string pumpSizeText(unsigned code) {
    if (code >= 1 && code < PumpSizeNames.size()) {
        return std::string(PumpSizeNames[code]);
    }
    return std::string(PumpSizeNames[0]);
}

namespace {
std::string signedByteText(std::span<const std::string_view> table, uint8_t raw) {
    const auto value = static_cast<int8_t>(raw);
    if (auto text = tableText(table, value)) {
        return std::string(*text);
    }
    return invalidValueText(value);
}
}  // namespace

std::string pumpStateText(uint8_t raw) {
    return signedByteText(PumpStateNames, raw);
}

std::string alarmCodeText(uint8_t raw) {
    return signedByteText(AlarmCodeNames, raw);
}

std::string twoStateText(const TwoStateTable& table, unsigned value) {
    if (auto text = tableText(table, value)) {
        return std::string(*text);
    }
    return invalidValueText(value);
}

std::string errorLogComponentText(unsigned index) {
    if (auto text = tableText(ErrorLogComponentNames, index)) {
        return std::string(*text);
    }
    return std::string(kInvalidIndexText);
}

std::optional<std::string_view> notDownloadedText(int n) {
    return tableText(NotDownloadedTexts, n - 1);
}

}  // namespace text_tables
