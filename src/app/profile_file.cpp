#include "app/profile_file.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// One line of the file as it lies on disk: [begin, contentEnd) is the text, [contentEnd, end) the
// line break ("\n", "\r\n" or nothing on a last line without one).
struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;
};

std::vector<Line> splitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        const auto nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            line.contentEnd = text.size();
            line.end = text.size();
        } else {
            line.contentEnd = (nl > pos && text[nl - 1] == '\r') ? nl - 1 : nl;
            line.end = nl + 1;
        }
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

std::string_view contentOf(const std::string& text, const Line& line) {
    return std::string_view(text).substr(line.begin, line.contentEnd - line.begin);
}

// The name inside "[name]", or nothing when the line is not a section header.
std::optional<std::string_view> sectionName(std::string_view content) {
    const auto t = trim(content);
    if (t.empty() || t.front() != '[') {
        return std::nullopt;
    }
    const auto close = t.find(']');
    if (close == std::string_view::npos) {
        return trim(t.substr(1));
    }
    return trim(t.substr(1, close - 1));
}

bool isKeyLine(std::string_view content, std::string_view key, std::string_view* value) {
    const auto eq = content.find('=');
    if (eq == std::string_view::npos) {
        return false;
    }
    if (!sameName(trim(content.substr(0, eq)), key)) {
        return false;
    }
    if (value != nullptr) {
        *value = trim(content.substr(eq + 1));
    }
    return true;
}

// Where a section and a key lie in the file; indexes into the line list.
struct Location {
    std::optional<std::size_t> sectionLine;
    std::optional<std::size_t> keyLine;
    std::size_t lastEntryLine = 0;  // the last non-blank line of the section
    std::string_view value;
};

Location locate(const std::string& text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    Location loc;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto content = contentOf(text, lines[i]);
        if (const auto name = sectionName(content)) {
            if (loc.sectionLine) {
                break;  // the first matching section is the one that counts
            }
            inSection = sameName(*name, section);
            if (inSection) {
                loc.sectionLine = i;
                loc.lastEntryLine = i;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (!trim(content).empty()) {
            loc.lastEntryLine = i;
        }
        if (!loc.keyLine && isKeyLine(content, key, &loc.value)) {
            loc.keyLine = i;
        }
    }
    return loc;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return std::move(buffer).str();
}

bool writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return false;
    }
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return !out.fail();
}

// Replaces the file as a whole so that a reader never sees it half written. Where no temporary
// file can be made beside it (a read-only folder holding a writable file), it is written in place.
bool replaceFile(const std::string& path, const std::string& bytes) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    const fs::path temp = target.parent_path() / (target.filename().string() + ".tmp~");
    if (writeBytes(temp.string(), bytes)) {
        if (fs::exists(target, ec)) {
            fs::permissions(temp, fs::status(target, ec).permissions(), ec);
        }
        fs::rename(temp, target, ec);
        if (!ec) {
            return true;
        }
        fs::remove(temp, ec);
    }
    return writeBytes(path, bytes);
}

}  // namespace

bool ProfileFile::exists() const {
    std::error_code ec;
    return std::filesystem::is_regular_file(path_, ec);
}

std::optional<std::string> ProfileFile::readString(const std::string& section,
                                                   const std::string& key) const {
    const auto text = readWholeFile(path_);
    if (!text) {
        return std::nullopt;
    }
    const auto lines = splitLines(*text);
    const auto loc = locate(*text, lines, trim(section), trim(key));
    if (!loc.keyLine) {
        return std::nullopt;
    }
    return std::string(loc.value);
}

int ProfileFile::readInteger(const std::string& section, const std::string& key,
                             int defaultValue) const {
    const auto value = readString(section, key);
    if (!value) {
        return defaultValue;
    }
    std::string_view digits = trim(*value);
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);  // from_chars takes a '-' but not a '+'
        if (!digits.empty() && digits.front() == '-') {
            return defaultValue;
        }
    }
    int result = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), result);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
        return defaultValue;
    }
    return result;
}

bool ProfileFile::writeString(const std::string& section, const std::string& key,
                              const std::string& value) {
    const auto sectionText = trim(section);
    const auto keyName = trim(key);
    if (sectionText.empty() || keyName.empty() || keyName.find('=') != std::string_view::npos ||
        value.find_first_of("\r\n") != std::string::npos) {
        return false;  // would not read back as the same key and value
    }
    std::string text;
    if (exists()) {
        auto existing = readWholeFile(path_);
        if (!existing) {
            return false;
        }
        text = std::move(*existing);
    }
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string entry = std::string(keyName) + "=" + value;
    const auto lines = splitLines(text);
    const auto loc = locate(text, lines, sectionText, keyName);

    std::string result;
    if (loc.keyLine) {
        const Line& line = lines[*loc.keyLine];
        result = text.substr(0, line.begin) + entry + text.substr(line.contentEnd);
    } else if (loc.sectionLine) {
        const Line& after = lines[loc.lastEntryLine];
        const bool hasBreak = after.end > after.contentEnd;
        result = text.substr(0, after.end) + (hasBreak ? "" : eol) + entry + eol +
                 text.substr(after.end);
    } else {
        result = text;
        if (!result.empty() && result.back() != '\n') {
            result += eol;
        }
        result += "[" + std::string(sectionText) + "]" + eol + entry + eol;
    }
    return replaceFile(path_, result);
}

bool ProfileFile::writeInteger(const std::string& section, const std::string& key, int value) {
    return writeString(section, key, std::to_string(value));
}
