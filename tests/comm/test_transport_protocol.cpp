// Transport-protocol reassembly of the pump's long replies and packing of the tool's long
// telegrams.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "comm/transport_protocol.h"
#include "frame_script.h"

using namespace script;

namespace {

constexpr uint32_t kCmToTool = 0x1CECF93D;  // TP.CM, pump 61 -> tool 249
constexpr uint32_t kDtToTool = 0x1CEBF93D;  // TP.DT, pump 61 -> tool 249

std::vector<uint8_t> payload(std::size_t n, uint8_t first = 1) {
    std::vector<uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

Line cm(uint16_t size, std::vector<uint8_t> pgnBytes = {0x00, 0xEF, 0x00}, uint8_t control = 32) {
    return {Rx,
            kCmToTool,
            {control, uint8_t(size & 0xFF), uint8_t(size >> 8), uint8_t((size + 6) / 7), 0xFF,
             pgnBytes[0], pgnBytes[1], pgnBytes[2]},
            "TP.CM"};
}

// Packet `seq` of `data` as the pump sends it: padded with 0xFF after the end.
Line dt(uint8_t seq, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes{seq};
    for (std::size_t i = 0; i < 7; ++i) {
        const std::size_t at = (seq - 1) * 7u + i;
        bytes.push_back(at < data.size() ? data[at] : 0xFF);
    }
    return {Rx, kDtToTool, bytes, "TP.DT"};
}

class TransportReceive : public ::testing::Test {
  protected:
    void feed(const Line& line) { tp.feedFrame(j1939Frame(line.id, line.bytes)); }

    // Feeds the lines one by one; returns after which of them takeCompleted first said true
    // (1-based), 0 when never.
    int feedUntilComplete(const FrameScript& lines) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            feed(lines[i]);
            if (tp.takeCompleted(out)) {
                return int(i + 1);
            }
        }
        return 0;
    }

    uint64_t now = 1000000;  // ms
    TJ1939TransportProtocol tp{[this] { return now; }};
    J1939Message out;
};

TEST_F(TransportReceive, TwentyBytesCompleteWithTheThirdPacket) {
    const auto data = payload(20);
    EXPECT_EQ(feedUntilComplete({cm(20), dt(1, data), dt(2, data), dt(3, data)}), 4);
    EXPECT_EQ(out.length, 20);
    EXPECT_EQ(out.pgn, 0xEF00u);
    EXPECT_EQ(out.source, 61);
    EXPECT_EQ(out.destination, 249);
    EXPECT_EQ(bytesOf(out), data);  // the 0xFF filler of the last packet is not part of it
    EXPECT_FALSE(tp.receiving(61, 249));
}

TEST_F(TransportReceive, PacketsOutOfSequenceAreIgnoredUntilTheExpectedOneComes) {
    const auto data = payload(20, 0x40);
    const FrameScript lines = {
        cm(20),      dt(2, data),  // early: ignored
        dt(1, data),               // accepted
        dt(3, data),               // early again: ignored
        dt(1, data),               // repeated: ignored
        dt(2, data),               // accepted
        dt(3, data),               // completes
    };
    EXPECT_EQ(feedUntilComplete(lines), 7);
    EXPECT_EQ(bytesOf(out), data);
}

TEST_F(TransportReceive, ASecondAnnouncementStartsOver) {
    const auto first = payload(20, 0x10);
    const auto second = payload(9, 0x80);
    const FrameScript lines = {
        cm(20),        dt(1, first),
        dt(2, first),  cm(9, {0xDA, 0xFE, 0x00}),  // Software Identification instead
        dt(1, second), dt(2, second)};
    EXPECT_EQ(feedUntilComplete(lines), 6);
    EXPECT_EQ(out.pgn, 0xFEDAu);
    EXPECT_EQ(bytesOf(out), second);
}

TEST_F(TransportReceive, OnlyBroadcastAndRequestToSendOpenASession) {
    // Clear-to-send and acknowledgements answer sessions the tool would send; they never start
    // one of their own and never disturb one in progress.
    for (uint8_t control : {uint8_t(16), uint8_t(32)}) {
        SCOPED_TRACE(int(control));
        const auto data = payload(10, control);
        EXPECT_EQ(
            feedUntilComplete({cm(10, {0x00, 0xEF, 0x00}, control), dt(1, data), dt(2, data)}), 3);
        EXPECT_EQ(bytesOf(out), data);
    }
    const auto data = payload(20);
    EXPECT_EQ(feedUntilComplete({cm(20), dt(1, data), cm(30, {0x00, 0xEF, 0x00}, 17),
                                 cm(30, {0x00, 0xEF, 0x00}, 19), dt(2, data), dt(3, data)}),
              6);
    EXPECT_EQ(bytesOf(out), data);
}

TEST_F(TransportReceive, AnAbortDropsTheSession) {
    const auto data = payload(20);
    EXPECT_EQ(feedUntilComplete({cm(20), dt(1, data), cm(0xFFFF, {0xFF, 0xFF, 0xFF}, 255),
                                 dt(2, data), dt(3, data)}),
              0);
    EXPECT_EQ(tp.sessionCount(), 0u);
    EXPECT_FALSE(tp.receiving(61, 249));
}

TEST_F(TransportReceive, ZeroBytesCompleteAtOnce) {
    EXPECT_EQ(feedUntilComplete({cm(0)}), 1);
    EXPECT_EQ(out.length, 0);
    EXPECT_EQ(out.pgn, 0xEF00u);
}

TEST_F(TransportReceive, NothingCompletesBeforeTheFirstAnnouncement) {
    const auto data = payload(14);
    EXPECT_FALSE(tp.takeCompleted(out));
    EXPECT_EQ(feedUntilComplete({dt(1, data), dt(2, data)}), 0);
    EXPECT_FALSE(tp.receiving(61, 249));
    EXPECT_EQ(tp.sessionCount(), 0u);
}

TEST_F(TransportReceive, SizesBeyondTheBufferNeverCompleteAndWriteNothing) {
    for (uint16_t size : {uint16_t(1310), uint16_t(1316), uint16_t(0xFFFF)}) {
        SCOPED_TRACE(size);
        const auto data = payload(size);
        FrameScript lines = {cm(size)};
        for (int seq = 1; seq <= 255; ++seq) {  // more packets than any session can have
            lines.push_back(dt(uint8_t(seq), data));
        }
        EXPECT_EQ(feedUntilComplete(lines), 0);
        EXPECT_EQ(tp.rxCount(61, 249), 0);
    }
}

TEST_F(TransportReceive, TheLargestSessionFillsTheBufferExactly) {
    const auto data = payload(kMaxMessageData);
    FrameScript lines = {cm(kMaxMessageData)};
    for (int seq = 1; seq <= 187; ++seq) {
        lines.push_back(dt(uint8_t(seq), data));
    }
    EXPECT_EQ(feedUntilComplete(lines), 188);
    EXPECT_EQ(bytesOf(out), data);
}

TEST_F(TransportReceive, ACompletedMessageIsHandedOutOnce) {
    const auto data = payload(20);
    ASSERT_EQ(feedUntilComplete({cm(20), dt(1, data), dt(2, data), dt(3, data)}), 4);
    J1939Message again;
    EXPECT_FALSE(tp.takeCompleted(again));
    feed(dt(3, data));  // the last packet repeated
    EXPECT_FALSE(tp.takeCompleted(again));
    feed(dt(4, data));  // one more than announced
    EXPECT_FALSE(tp.takeCompleted(again));
}

TEST_F(TransportReceive, ABroadcastFromThePumpLeavesTheReplyToTheToolAlone) {
    // The pump broadcasts a DM1 with several faults in the middle of a reply to the tool.
    const auto reply = payload(20, 0x10);
    const auto dm1 = payload(10, 0xA0);
    const auto bam = [&](const Line& l) { return Line{Rx, 0x1CECFF3D, l.bytes, "TP.CM BAM"}; };
    const auto bamDt = [&](const Line& l) { return Line{Rx, 0x1CEBFF3D, l.bytes, "TP.DT BAM"}; };
    feed(cm(20));
    feed(dt(1, reply));
    feed(bam(cm(10, {0xCA, 0xFE, 0x00})));
    feed(bamDt(dt(1, dm1)));
    EXPECT_TRUE(tp.receiving(61, 249));
    feed(bamDt(dt(2, dm1)));
    ASSERT_TRUE(tp.takeCompleted(out));
    EXPECT_EQ(out.pgn, 0xFECAu);
    EXPECT_EQ(out.destination, 255);
    EXPECT_EQ(bytesOf(out), dm1);
    feed(dt(2, reply));
    EXPECT_FALSE(tp.takeCompleted(out));
    feed(dt(3, reply));
    ASSERT_TRUE(tp.takeCompleted(out));
    EXPECT_EQ(out.pgn, 0xEF00u);
    EXPECT_EQ(out.destination, 249);
    EXPECT_EQ(bytesOf(out), reply);
}

TEST_F(TransportReceive, SessionsBeyondTheLimitReplaceTheStalest) {
    const auto reply = payload(20);
    feed(cm(20));
    feed(dt(1, reply));
    now += 10;
    // Broadcast announcements from other senders that never finish.
    for (uint8_t source = 1; source <= TJ1939TransportProtocol::kMaxSessions; ++source) {
        now += 10;
        tp.feedFrame(j1939Frame(0x1CECFF00u | source, {32, 30, 0, 5, 0xFF, 0xCA, 0xFE, 0}));
    }
    EXPECT_EQ(tp.sessionCount(), TJ1939TransportProtocol::kMaxSessions);
    EXPECT_EQ(tp.rxCount(61, 249), -1);  // the oldest went first
    EXPECT_EQ(tp.rxCount(1, 255), 0);
}

TEST_F(TransportReceive, TheThirdPgnByteOfTheAnnouncementIsIgnored) {
    const auto data = payload(8);
    EXPECT_EQ(feedUntilComplete({cm(8, {0x00, 0xEF, 0x01}), dt(1, data), dt(2, data)}), 3);
    EXPECT_EQ(out.pgn, 0xEF00u);
}

TEST_F(TransportReceive, GarbledFramesGiveNoCompletion) {
    const auto data = payload(14);
    tp.feedFrame(j1939Frame(kCmToTool, {32, 14, 0}));  // short announcement: the rest reads as 0
    tp.feedFrame(j1939Frame(kDtToTool, {}));           // no sequence number at all
    EXPECT_EQ(tp.rxCount(61, 249), 0);
    feed(dt(1, data));
    tp.feedFrame(j1939Frame(kDtToTool, {2, 8, 9}));  // short last packet: the missing bytes are 0
    ASSERT_TRUE(tp.takeCompleted(out));
    EXPECT_EQ(bytesOf(out), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0, 0}));
}

TEST_F(TransportReceive, ARecordClaimingMoreThanEightBytesIsReadAsEight) {
    feed(cm(14));
    J1939Frame f = j1939Frame(kDtToTool, {1, 1, 2, 3, 4, 5, 6, 7});
    f.length = 255;
    tp.feedFrame(f);
    f.data[0] = 2;
    tp.feedFrame(f);
    ASSERT_TRUE(tp.takeCompleted(out));
    EXPECT_EQ(bytesOf(out), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(TransportReceive, InProgressFromTheAnnouncementForTwoSecondsOfSilence) {
    const auto data = payload(30);
    // The announcement alone opens the window: the pump may pause before its first packet, and
    // the tool must not ask again in that gap.
    feed(cm(30));
    now += 2000;
    EXPECT_TRUE(tp.receiving(61, 249));
    feed(dt(1, data));
    now += 1999;
    EXPECT_TRUE(tp.receiving(61, 249));
    EXPECT_FALSE(tp.receiving(61, 255));  // another pair has no session
    now += 2;
    EXPECT_FALSE(tp.receiving(61, 249));
    // A packet does not set the mark again; only an announcement does. The packets are still
    // taken, and the message completes.
    feed(dt(2, data));
    EXPECT_FALSE(tp.receiving(61, 249));
    feed(dt(3, data));
    feed(dt(4, data));
    feed(dt(5, data));
    ASSERT_TRUE(tp.takeCompleted(out));
    EXPECT_EQ(bytesOf(out), data);
    EXPECT_FALSE(tp.receiving(61, 249));  // complete
    feed(cm(30));
    EXPECT_TRUE(tp.receiving(61, 249));
}

TEST_F(TransportReceive, AClockThatRunsBackwardsDoesNotClearTheMark) {
    feed(cm(30));
    feed(dt(1, payload(30)));
    now -= 100000;
    EXPECT_TRUE(tp.receiving(61, 249));
}

// --- Sending ---

J1939Message telegram(std::size_t length) {
    J1939Message m;
    m.priority = 6;
    m.source = 249;
    m.destination = 61;
    m.pgn = 0xEF00;
    m.length = static_cast<uint16_t>(length);
    const auto data = payload(length, 0x21);
    std::copy(data.begin(), data.end(), m.data);
    return m;
}

std::vector<J1939Frame> sendAll(TJ1939TransportProtocol& tp, const J1939Message& m) {
    std::vector<J1939Frame> frames;
    tp.startSend(m);
    J1939Frame f;
    while (tp.nextFrame(f) && frames.size() < 1000) {
        frames.push_back(f);
    }
    return frames;
}

TEST(TransportSend, NineBytesLeaveAsAnnouncementAndTwoPackets) {
    TJ1939TransportProtocol tp([] { return uint64_t(0); });
    RecordingFrameWriter writer;
    for (const auto& f : sendAll(tp, telegram(9))) {
        writer.write(f);
    }
    const FrameScript expected = {
        {Tx, 0x18EC3DF9, {32, 9, 0, 2, 0, 0x00, 0xEF, 0}, "TP.CM BAM-style, 9 bytes, 2 packets"},
        {Tx, 0x18EB3DF9, {1, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27}, "TP.DT 1"},
        {Tx, 0x18EB3DF9, {2, 0x28, 0x29}, "TP.DT 2, no filler"},
    };
    EXPECT_TRUE(writtenAsScripted(writer.encoded, expected));
    EXPECT_EQ(writer.frames.size(), writer.encoded.size());
}

TEST(TransportSend, LongTelegramsSplitIntoSevenBytePackets) {
    struct Case {
        std::size_t length;
        int packets;
    };
    for (const Case c :
         {Case{9, 2}, Case{14, 2}, Case{55, 8}, Case{249, 36}, Case{kMaxMessageData, 187}}) {
        SCOPED_TRACE(c.length);
        TJ1939TransportProtocol tp([] { return uint64_t(0); });
        const auto frames = sendAll(tp, telegram(c.length));
        ASSERT_EQ(frames.size(), std::size_t(c.packets) + 1);
        EXPECT_EQ(frames[0].pgn, 0xEC00u);
        EXPECT_EQ(frames[0].data[3], c.packets);
        for (int i = 1; i <= c.packets; ++i) {
            EXPECT_EQ(frames[i].pgn, 0xEB00u);
            EXPECT_EQ(frames[i].data[0], i);
        }
        if (c.length % 7 == 0) {
            EXPECT_EQ(frames.back().length, 8);
        } else {
            EXPECT_EQ(frames.back().length, 1 + int(c.length % 7));
        }
        // Another node's reassembly gets the telegram back byte for byte.
        TJ1939TransportProtocol rx([] { return uint64_t(0); });
        for (const auto& f : frames) {
            rx.feedFrame(f);
        }
        J1939Message back;
        ASSERT_TRUE(rx.takeCompleted(back));
        EXPECT_EQ(bytesOf(back), bytesOf(telegram(c.length)));
        EXPECT_EQ(back.pgn, 0xEF00u);
    }
}

TEST(TransportSend, EveryStartSendStartsOver) {
    TJ1939TransportProtocol tp([] { return uint64_t(0); });
    J1939Frame f;
    EXPECT_FALSE(tp.nextFrame(f));  // nothing started yet
    tp.startSend(telegram(249));
    ASSERT_TRUE(tp.nextFrame(f));
    ASSERT_TRUE(tp.nextFrame(f));  // first packet of the long one
    const auto frames = sendAll(tp, telegram(9));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].data[1], 9);
    EXPECT_EQ(frames[1].data[0], 1);
    EXPECT_FALSE(tp.nextFrame(f));
}

}  // namespace
