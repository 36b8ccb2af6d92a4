#include "frame_script.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace script {

AdapterFrame adapterFrame(uint32_t id, const std::vector<uint8_t>& bytes, uint8_t msgType) {
    AdapterFrame f;
    f.id = id;
    f.msgType = msgType;
    f.len = static_cast<uint8_t>(std::min<std::size_t>(bytes.size(), 8));
    std::copy_n(bytes.begin(), f.len, f.data);
    return f;
}

J1939Frame j1939Frame(uint32_t id, const std::vector<uint8_t>& bytes) {
    const auto decoded = decodeFrame(adapterFrame(id, bytes));
    EXPECT_TRUE(decoded.has_value()) << describe(id, bytes) << " does not decode";
    return decoded.value_or(J1939Frame{});
}

uint32_t encodedId(const J1939Frame& frame) {
    const auto encoded = encodeFrame(frame);
    return encoded ? encoded->id : 0;
}

std::vector<uint8_t> bytesOf(const AdapterFrame& frame) {
    return {frame.data, frame.data + std::min<uint8_t>(frame.len, 8)};
}

std::vector<uint8_t> bytesOf(const J1939Frame& frame) {
    return {frame.data, frame.data + std::min<uint8_t>(frame.length, 8)};
}

std::vector<uint8_t> bytesOf(const J1939Message& message) {
    return {message.data, message.data + std::min<std::size_t>(message.length, kMaxMessageData)};
}

std::string describe(uint32_t id, const std::vector<uint8_t>& bytes) {
    char head[32];
    std::snprintf(head, sizeof head, "%08X [%zu]", id, bytes.size());
    std::string text = head;
    for (uint8_t b : bytes) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02X", b);
        text += byte;
    }
    return text;
}

std::string describe(const AdapterFrame& frame) {
    return describe(frame.id, bytesOf(frame));
}

std::string describe(const J1939Frame& frame) {
    const auto encoded = encodeFrame(frame);
    return encoded ? describe(*encoded) : std::string("<not encodable>");
}

std::vector<AdapterFrame> framesOf(const FrameScript& lines, Dir dir) {
    std::vector<AdapterFrame> out;
    for (const auto& line : lines) {
        if (line.dir == dir) {
            out.push_back(adapterFrame(line.id, line.bytes));
        }
    }
    return out;
}

::testing::AssertionResult writtenAsScripted(const std::vector<AdapterFrame>& written,
                                             const FrameScript& lines) {
    std::vector<const Line*> expected;
    for (const auto& line : lines) {
        if (line.dir == Tx) {
            expected.push_back(&line);
        }
    }
    for (std::size_t i = 0; i < std::max(expected.size(), written.size()); ++i) {
        if (i >= written.size()) {
            return ::testing::AssertionFailure()
                   << "missing frame " << i << ": " << describe(expected[i]->id, expected[i]->bytes)
                   << " // " << expected[i]->comment;
        }
        if (i >= expected.size()) {
            return ::testing::AssertionFailure()
                   << "unexpected frame " << i << ": " << describe(written[i]);
        }
        const Line& want = *expected[i];
        if (written[i].msgType != kMsgTypeExtended || written[i].id != want.id ||
            bytesOf(written[i]) != want.bytes) {
            return ::testing::AssertionFailure()
                   << "frame " << i << " is " << describe(written[i]) << ", expected "
                   << describe(want.id, want.bytes) << " // " << want.comment;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace script

bool RecordingFrameWriter::write(const J1939Frame& frame) {
    frames.push_back(frame);
    if (const auto e = encodeFrame(frame)) {
        encoded.push_back(*e);
        return true;
    }
    return false;
}
