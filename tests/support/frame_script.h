#pragma once
// Frame scripts: a protocol exchange written as lines of (direction, identifier, bytes, comment),
//   {Rx, 0x18ECF93D, {32, 20, 0, 3, 0xFF, 0x00, 0xEF, 0x00}, "TP.CM BAM, 20 bytes"},
// and the small builders and comparisons the tests need around adapter and J1939 frames.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "comm/connection_state.h"
#include "comm/j1939.h"

namespace script {

enum class Dir { Rx, Tx };
inline constexpr Dir Rx = Dir::Rx;  // the pump (or another node) sends, the tool receives
inline constexpr Dir Tx = Dir::Tx;  // the tool writes

struct Line {
    Dir dir = Rx;
    uint32_t id = 0;
    std::vector<uint8_t> bytes;
    std::string comment;
};
using FrameScript = std::vector<Line>;

AdapterFrame adapterFrame(uint32_t id, const std::vector<uint8_t>& bytes,
                          uint8_t msgType = kMsgTypeExtended);
// The frame as the receive path sees it after decoding; fails the test when it does not decode.
J1939Frame j1939Frame(uint32_t id, const std::vector<uint8_t>& bytes);
// The identifier a J1939 frame goes out with; 0 when it does not encode.
uint32_t encodedId(const J1939Frame& frame);

std::vector<uint8_t> bytesOf(const AdapterFrame& frame);
std::vector<uint8_t> bytesOf(const J1939Frame& frame);
std::vector<uint8_t> bytesOf(const J1939Message& message);

// "18EFF93D [3] 01 02 03".
std::string describe(uint32_t id, const std::vector<uint8_t>& bytes);
std::string describe(const AdapterFrame& frame);
std::string describe(const J1939Frame& frame);

// The lines of one direction as adapter frames, in order.
std::vector<AdapterFrame> framesOf(const FrameScript& script, Dir dir);

// The frames the tool wrote compared with the script's Tx lines: same count, and each identifier
// and byte list equal; a mismatch names the line by its comment.
::testing::AssertionResult writtenAsScripted(const std::vector<AdapterFrame>& written,
                                             const FrameScript& script);

}  // namespace script

// Everything the tool writes through a FrameWriter, kept as J1939 frames and as encoded frames.
class RecordingFrameWriter : public FrameWriter {
  public:
    bool write(const J1939Frame& frame) override;
    std::vector<J1939Frame> frames;
    std::vector<AdapterFrame> encoded;  // frames that encode; one per frame that does
};
