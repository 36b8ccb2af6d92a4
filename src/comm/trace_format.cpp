#include "comm/trace_format.h"

#include <algorithm>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr bool isRemote(uint8_t msgType) {
    return (msgType & kMsgTypeRemote) != 0;
}
constexpr bool isExtended(uint8_t msgType) {
    return (msgType & kMsgTypeExtended) != 0;
}

char* writeHex(char* out, uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = kHexDigits[value & 0xF];
        value >>= 4;
    }
    return out + digits;
}

char* writeDecimal(char* out, uint64_t value) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) {
        *out++ = digits[--n];
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Splits off the next blank-separated word of `rest`.
std::string_view nextWord(std::string_view& rest) {
    std::size_t start = 0;
    while (start < rest.size() && isBlank(rest[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < rest.size() && !isBlank(rest[end])) {
        ++end;
    }
    const std::string_view word = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return word;
}

std::string quoted(std::string_view text) {
    // Enough of a long word to recognise it.
    constexpr std::size_t kShown = 40;
    std::string out = "\"";
    out += text.substr(0, kShown);
    if (text.size() > kShown) {
        out += "...";
    }
    out += '"';
    return out;
}

ParsedTraceLine malformed(std::string problem) {
    ParsedTraceLine out;
    out.kind = ParsedTraceLine::Kind::Malformed;
    out.problem = std::move(problem);
    return out;
}

// "(seconds.fraction)": at most 12 digits of seconds (beyond the year 30000), 1 to 9 decimals.
bool parseTime(std::string_view word, int64_t& micros) {
    if (word.size() < 4 || word.front() != '(' || word.back() != ')') {
        return false;
    }
    word = word.substr(1, word.size() - 2);
    const std::size_t dot = word.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot > 12 || dot + 1 == word.size() ||
        word.size() - dot - 1 > 9) {
        return false;
    }
    int64_t seconds = 0;
    for (std::size_t i = 0; i < dot; ++i) {
        if (word[i] < '0' || word[i] > '9') {
            return false;
        }
        seconds = seconds * 10 + (word[i] - '0');
    }
    int64_t fraction = 0;
    int decimals = 0;
    for (std::size_t i = dot + 1; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9') {
            return false;
        }
        // Digits past the microsecond are dropped.
        if (decimals < 6) {
            fraction = fraction * 10 + (word[i] - '0');
            ++decimals;
        }
    }
    for (; decimals < 6; ++decimals) {
        fraction *= 10;
    }
    micros = seconds * 1000000 + fraction;
    return true;
}

}  // namespace

bool isTraceableFrame(const AdapterFrame& frame) {
    return (frame.msgType & kMsgTypeStatus) == 0 && frame.len <= 8;
}

std::size_t formatTraceLine(const TraceRecord& record, std::string_view channel, char* out) {
    char* p = out;
    const uint64_t micros = record.micros > 0 ? uint64_t(record.micros) : 0;
    *p++ = '(';
    p = writeDecimal(p, micros / 1000000);
    *p++ = '.';
    uint32_t fraction = uint32_t(micros % 1000000);
    for (int div = 100000; div > 0; div /= 10) {
        *p++ = char('0' + fraction / div);
        fraction %= div;
    }
    *p++ = ')';
    *p++ = ' ';
    channel = channel.substr(0, kMaxTraceChannel);
    p = std::copy(channel.begin(), channel.end(), p);
    *p++ = ' ';
    const AdapterFrame& f = record.frame;
    if (isExtended(f.msgType)) {
        p = writeHex(p, f.id & 0x1FFFFFFF, 8);
    } else {
        p = writeHex(p, f.id & 0x7FF, 3);
    }
    *p++ = '#';
    const uint8_t len = std::min<uint8_t>(f.len, 8);
    if (isRemote(f.msgType)) {
        *p++ = 'R';
        if (len > 0) {
            *p++ = char('0' + len);
        }
    } else {
        for (uint8_t i = 0; i < len; ++i) {
            *p++ = kHexDigits[f.data[i] >> 4];
            *p++ = kHexDigits[f.data[i] & 0xF];
        }
    }
    if (record.direction == TraceDirection::Sent) {
        *p++ = ' ';
        *p++ = 'T';
    }
    *p++ = '\n';
    return std::size_t(p - out);
}

std::string traceLine(const TraceRecord& record, std::string_view channel) {
    char buffer[kMaxTraceLine];
    const std::size_t n = formatTraceLine(record, channel, buffer);
    return std::string(buffer, n - 1);
}

ParsedTraceLine parseTraceLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || isBlank(line.back()))) {
        line.remove_suffix(1);
    }
    std::string_view rest = line;
    const std::string_view time = nextWord(rest);
    if (time.empty()) {
        ParsedTraceLine out;
        out.kind = ParsedTraceLine::Kind::Empty;
        return out;
    }
    ParsedTraceLine out;
    out.kind = ParsedTraceLine::Kind::Frame;
    if (!parseTime(time, out.record.micros)) {
        return malformed("the time " + quoted(time) + " is not written as (seconds.microseconds)");
    }
    const std::string_view channel = nextWord(rest);
    const std::string_view frame = nextWord(rest);
    if (channel.empty() || frame.empty()) {
        return malformed("a time, a channel and a frame are expected");
    }
    out.channel = std::string(channel);
    const std::string_view flag = nextWord(rest);
    if (!nextWord(rest).empty()) {
        return malformed("there is more on the line than a time, a channel, a frame and a flag");
    }
    if (flag == "T" || flag == "t") {
        out.record.direction = TraceDirection::Sent;
    } else if (!flag.empty() && flag != "R" && flag != "r") {
        return malformed("the direction " + quoted(flag) + " is neither R nor T");
    }

    const std::size_t hash = frame.find('#');
    if (hash == std::string_view::npos) {
        return malformed("the frame " + quoted(frame) + " has no '#' between identifier and data");
    }
    const std::string_view id = frame.substr(0, hash);
    std::string_view data = frame.substr(hash + 1);
    if (id.size() != 3 && id.size() != 8) {
        return malformed("the identifier " + quoted(id) +
                         " has neither 3 (11-bit) nor 8 (29-bit) hex digits");
    }
    uint32_t value = 0;
    for (char c : id) {
        const int v = hexValue(c);
        if (v < 0) {
            return malformed("the identifier " + quoted(id) + " is not hexadecimal");
        }
        value = value << 4 | uint32_t(v);
    }
    AdapterFrame& f = out.record.frame;
    if (id.size() == 8) {
        if ((value & kTraceErrorFlag) != 0) {
            out.kind = ParsedTraceLine::Kind::ErrorFrame;
            return out;
        }
        if (value > 0x1FFFFFFF) {
            return malformed("the identifier " + quoted(id) + " is beyond 29 bits");
        }
        f.msgType = kMsgTypeExtended;
    } else {
        if (value > 0x7FF) {
            return malformed("the identifier " + quoted(id) + " is beyond 11 bits");
        }
        f.msgType = kMsgTypeStandard;
    }
    f.id = value;

    if (!data.empty() && data.front() == '#') {
        return malformed("a CAN FD frame; the tool's bus is classic CAN");
    }
    if (!data.empty() && (data.front() == 'R' || data.front() == 'r')) {
        f.msgType |= kMsgTypeRemote;
        data.remove_prefix(1);
        if (data.empty()) {
            f.len = 0;
        } else if (data.size() == 1 && data[0] >= '0' && data[0] <= '8') {
            f.len = uint8_t(data[0] - '0');
        } else {
            return malformed("the remote request's length " + quoted(data) + " is not 0 to 8");
        }
        return out;
    }
    if (data.size() % 2 != 0) {
        return malformed("the data " + quoted(data) + " has an odd number of hex digits");
    }
    if (data.size() > 16) {
        return malformed("the data " + quoted(data) + " has more than 8 bytes");
    }
    for (std::size_t i = 0; i < data.size(); i += 2) {
        const int high = hexValue(data[i]);
        const int low = hexValue(data[i + 1]);
        if (high < 0 || low < 0) {
            return malformed("the data " + quoted(data) + " is not hexadecimal");
        }
        f.data[i / 2] = uint8_t(high << 4 | low);
    }
    f.len = uint8_t(data.size() / 2);
    return out;
}
