#pragma once
// Bus traces in the candump log format, which can-utils (log2asc, canplayer) and python-can's
// LogReader read:
//
//     (1700000000.000100) can0 18EF3DF9#0102030405060708
//     (1700000000.001250) can0 18EAFFF9#00EF00 T
//
// One frame a line: the time in seconds with six decimals, the channel, the identifier (eight hex
// digits for a 29-bit frame, three for an 11-bit one), '#' and the data bytes in hex, or 'R' and
// an optional length for a remote request. A frame the tool sent carries the direction flag " T"
// (log2asc shows it as Tx, python-can as is_rx false); a line without a flag, or with " R", is a
// received frame. A replay leaves the recording tool's own transmissions out by that flag.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "comm/j1939.h"

enum class TraceDirection : uint8_t { Received, Sent };

struct TraceRecord {
    int64_t micros = 0;  // since the epoch
    AdapterFrame frame;
    TraceDirection direction = TraceDirection::Received;
};

inline constexpr std::string_view kDefaultTraceChannel = "can0";
// A channel is an interface name: at most this long (longer names are cut).
inline constexpr std::size_t kMaxTraceChannel = 16;
// No line formatTraceLine writes is longer, line feed included.
inline constexpr std::size_t kMaxTraceLine = 96;
// CAN_ERR_FLAG of an identifier: the line is an error frame of the adapter, not a bus frame.
inline constexpr uint32_t kTraceErrorFlag = 0x20000000;

// True for what a trace holds: data and remote frames, not the adapter's status records.
bool isTraceableFrame(const AdapterFrame& frame);

// Writes the line of `record` with its line feed into `out`, which holds at least kMaxTraceLine
// bytes; returns the length. Times before the epoch are written as 0.
std::size_t formatTraceLine(const TraceRecord& record, std::string_view channel, char* out);
// The same line as text, without the line feed.
std::string traceLine(const TraceRecord& record, std::string_view channel = kDefaultTraceChannel);

struct ParsedTraceLine {
    enum class Kind {
        Frame,       // record holds the frame
        Empty,       // a blank line
        ErrorFrame,  // an adapter's error frame: nothing to replay, nothing wrong
        Malformed,   // problem says what is wrong
    };
    Kind kind = Kind::Malformed;
    TraceRecord record;
    std::string channel;
    std::string problem;
};

// Reads one line of a trace (a trailing line feed or carriage return is allowed). Every input
// gives a result; nothing is read past the end of `line`.
ParsedTraceLine parseTraceLine(std::string_view line);
