// Bus traces: the candump line of a frame, reading lines back (good and broken), the recorder's
// queue, file and writer thread, the tap on the adapter driver, and the replay driver's pace.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "comm/replay_driver.h"
#include "comm/trace_format.h"
#include "comm/trace_recorder.h"
#include "fake_can_driver.h"

namespace {

AdapterFrame frame(uint32_t id, std::vector<uint8_t> bytes, uint8_t type = kMsgTypeExtended) {
    AdapterFrame f;
    f.id = id;
    f.msgType = type;
    f.len = uint8_t(bytes.size());
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i) {
        f.data[i] = bytes[i];
    }
    return f;
}

TraceRecord record(int64_t micros, AdapterFrame f,
                   TraceDirection direction = TraceDirection::Received) {
    return TraceRecord{micros, f, direction};
}

std::string readFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const QString& path, const std::string& text) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << text;
}

bool sameFrame(const AdapterFrame& a, const AdapterFrame& b) {
    if (a.id != b.id || a.msgType != b.msgType || a.len != b.len) {
        return false;
    }
    for (int i = 0; i < a.len && i < 8; ++i) {
        if (a.data[i] != b.data[i]) {
            return false;
        }
    }
    return true;
}

// --- The line of a frame ---

TEST(TraceLine, FramesAreWrittenAsCandumpLines) {
    struct Case {
        const char* what;
        TraceRecord record;
        const char* line;
    };
    const Case cases[] = {
        {"29-bit frame with eight bytes",
         record(1700000000000100, frame(0x18EF3DF9, {1, 2, 3, 4, 5, 6, 7, 8})),
         "(1700000000.000100) can0 18EF3DF9#0102030405060708"},
        {"sent by the tool: flagged T",
         record(1700000000001250, frame(0x18EAFFF9, {0x00, 0xEF, 0x00}), TraceDirection::Sent),
         "(1700000000.001250) can0 18EAFFF9#00EF00 T"},
        {"small identifier keeps its leading zeros", record(5, frame(0x00000ABC, {0xFF})),
         "(0.000005) can0 00000ABC#FF"},
        {"11-bit frame: three digits", record(999999, frame(0x07F, {0xDE, 0xAD}, kMsgTypeStandard)),
         "(0.999999) can0 07F#DEAD"},
        {"no data bytes", record(12000000, frame(0x18FEDA3D, {})), "(12.000000) can0 18FEDA3D#"},
        {"remote request with its length", record(1000000, frame(0x123, {0, 0, 0}, kMsgTypeRemote)),
         "(1.000000) can0 123#R3"},
        {"29-bit remote request without length",
         record(1000000, frame(0x18EA00F9, {}, kMsgTypeRemote | kMsgTypeExtended)),
         "(1.000000) can0 18EA00F9#R"},
        {"bits above the identifier are not written", record(0, frame(0xFFFFFFFF, {0x01})),
         "(0.000000) can0 1FFFFFFF#01"},
        {"a time before the epoch is written as 0", record(-5, frame(0x1, {0x01})),
         "(0.000000) can0 00000001#01"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(traceLine(c.record), c.line) << c.what;
    }
}

TEST(TraceLine, ChannelIsTheInterfaceNameAndTheLineEndsWithALineFeed) {
    char buffer[kMaxTraceLine];
    const auto r = record(1, frame(0x18EF3DF9, {0xAA}), TraceDirection::Sent);
    const std::size_t n = formatTraceLine(r, "vcan1", buffer);
    EXPECT_EQ(std::string(buffer, n), "(0.000001) vcan1 18EF3DF9#AA T\n");
    // The longest line there is still fits the buffer.
    const auto longest =
        record(INT64_MAX, frame(0x1FFFFFFF, {1, 2, 3, 4, 5, 6, 7, 8}), TraceDirection::Sent);
    const std::string channel(40, 'c');
    const std::string line(buffer, formatTraceLine(longest, channel, buffer));
    EXPECT_LE(line.size(), kMaxTraceLine);
    // An over-long channel name is cut to an interface name's length.
    EXPECT_NE(line.find(" " + std::string(kMaxTraceChannel, 'c') + " "), std::string::npos) << line;
}

TEST(TraceLine, AdapterStatusRecordsAndOverlongFramesAreNoTraceFrames) {
    EXPECT_TRUE(isTraceableFrame(frame(0x18EF3DF9, {1})));
    EXPECT_TRUE(isTraceableFrame(frame(0x123, {}, kMsgTypeRemote)));
    EXPECT_FALSE(isTraceableFrame(frame(0x1, {1}, kMsgTypeStatus)));
    AdapterFrame tooLong = frame(0x18EF3DF9, {1});
    tooLong.len = 9;
    EXPECT_FALSE(isTraceableFrame(tooLong));
}

// --- Reading lines back ---

TEST(TraceLineParse, ReadsWhatCanUtilsAndPythonCanWrite) {
    struct Case {
        const char* line;
        int64_t micros;
        AdapterFrame frame;
        TraceDirection direction;
        const char* channel;
    };
    const Case cases[] = {
        {"(1700000000.000100) can0 18EF3DF9#0102030405060708", 1700000000000100,
         frame(0x18EF3DF9, {1, 2, 3, 4, 5, 6, 7, 8}), TraceDirection::Received, "can0"},
        {"(1700000000.001250) can0 18EAFFF9#00EF00 T", 1700000000001250,
         frame(0x18EAFFF9, {0x00, 0xEF, 0x00}), TraceDirection::Sent, "can0"},
        {"(1.5) vcan0 18eaff3d#abcdef R", 1500000, frame(0x18EAFF3D, {0xAB, 0xCD, 0xEF}),
         TraceDirection::Received, "vcan0"},
        {"(0.123456789) can1 7FF#\r\n", 123456, frame(0x7FF, {}, kMsgTypeStandard),
         TraceDirection::Received, "can1"},
        {"\t(2.000001)\tcan0\t123#R5  ", 2000001, frame(0x123, {0, 0, 0, 0, 0}, kMsgTypeRemote),
         TraceDirection::Received, "can0"},
        {"(2.000001) can0 18EA00F9#r t", 2000001,
         frame(0x18EA00F9, {}, kMsgTypeRemote | kMsgTypeExtended), TraceDirection::Sent, "can0"},
    };
    for (const Case& c : cases) {
        const ParsedTraceLine p = parseTraceLine(c.line);
        ASSERT_EQ(p.kind, ParsedTraceLine::Kind::Frame) << c.line << ": " << p.problem;
        EXPECT_EQ(p.record.micros, c.micros) << c.line;
        EXPECT_TRUE(sameFrame(p.record.frame, c.frame)) << c.line;
        EXPECT_EQ(p.record.direction, c.direction) << c.line;
        EXPECT_EQ(p.channel, c.channel) << c.line;
    }
}

TEST(TraceLineParse, BrokenLinesSayWhatIsWrong) {
    struct Case {
        std::string line;
        const char* problem;  // part of the message
    };
    const Case cases[] = {
        {"1700000000.000100 can0 18EF3DF9#01", "is not written as (seconds.microseconds)"},
        {"(17000x0000.0001) can0 18EF3DF9#01", "(17000x0000.0001)"},
        {"(1.) can0 18EF3DF9#01", "is not written as"},
        {"(.5) can0 18EF3DF9#01", "is not written as"},
        {"(1.0000000001) can0 18EF3DF9#01", "is not written as"},
        {"(1234567890123.0) can0 18EF3DF9#01", "is not written as"},
        {"(1.000000) can0", "a time, a channel and a frame are expected"},
        {"(1.000000)", "a time, a channel and a frame are expected"},
        {"(1.000000) can0 18EF3DF9 01", "neither R nor T"},
        {"(1.000000) can0 18EF3DF9#01 T extra", "more on the line"},
        {"(1.000000) can0 18EF3DF901", "has no '#'"},
        {"(1.000000) can0 18EF3D#01", "neither 3 (11-bit) nor 8 (29-bit) hex digits"},
        {"(1.000000) can0 #01", "neither 3"},
        {"(1.000000) can0 18EF3DFG#01", "is not hexadecimal"},
        {"(1.000000) can0 40000001#01", "beyond 29 bits"},
        {"(1.000000) can0 800#01", "beyond 11 bits"},
        {"(1.000000) can0 18EF3DF9#010", "odd number of hex digits"},
        {"(1.000000) can0 18EF3DF9#010203040506070809", "more than 8 bytes"},
        {"(1.000000) can0 18EF3DF9#01zz", "is not hexadecimal"},
        {"(1.000000) can0 18EF3DF9##10102", "CAN FD"},
        {"(1.000000) can0 123#R9", "not 0 to 8"},
        {"(1.000000) can0 123#R12", "not 0 to 8"},
        {std::string("(1.000000) can0 18EF3DF9#01\0"
                     "02",
                     29),
         "is not hexadecimal"},
        {"\x89PNG\x0D\x0A", "is not written as"},
    };
    for (const Case& c : cases) {
        const ParsedTraceLine p = parseTraceLine(c.line);
        EXPECT_EQ(p.kind, ParsedTraceLine::Kind::Malformed) << c.line;
        EXPECT_NE(p.problem.find(c.problem), std::string::npos) << c.line << " gave: " << p.problem;
    }
}

TEST(TraceLineParse, BlankLinesAndAdapterErrorFramesAreNoProblems) {
    EXPECT_EQ(parseTraceLine("").kind, ParsedTraceLine::Kind::Empty);
    EXPECT_EQ(parseTraceLine(" \t\r\n").kind, ParsedTraceLine::Kind::Empty);
    // What python-can and candump write for a bus error.
    EXPECT_EQ(parseTraceLine("(1.000000) can0 20000080#0000000000000000").kind,
              ParsedTraceLine::Kind::ErrorFrame);
}

TEST(TraceLineParse, EveryWrittenLineReadsBackAsTheSameFrame) {
    uint32_t rng = 12345;
    auto next = [&rng] {
        rng = rng * 1103515245u + 12345u;
        return rng >> 8;
    };
    for (int i = 0; i < 500; ++i) {
        AdapterFrame f;
        const int kind = int(next() % 4);
        f.msgType = kind == 0   ? kMsgTypeStandard
                    : kind == 1 ? uint8_t(kMsgTypeExtended | kMsgTypeRemote)
                                : kMsgTypeExtended;
        f.id = next() & ((f.msgType & kMsgTypeExtended) ? 0x1FFFFFFF : 0x7FF);
        f.len = uint8_t(next() % 9);
        if ((f.msgType & kMsgTypeRemote) == 0) {
            for (int b = 0; b < f.len; ++b) {
                f.data[b] = uint8_t(next());
            }
        }
        const TraceRecord r{int64_t(next()) * 1000 + int64_t(next() % 1000), f,
                            next() % 2 ? TraceDirection::Sent : TraceDirection::Received};
        const std::string line = traceLine(r);
        const ParsedTraceLine p = parseTraceLine(line);
        ASSERT_EQ(p.kind, ParsedTraceLine::Kind::Frame) << line << ": " << p.problem;
        EXPECT_EQ(p.record.micros, r.micros) << line;
        EXPECT_EQ(p.record.direction, r.direction) << line;
        EXPECT_TRUE(sameFrame(p.record.frame, f)) << line;
    }
}

// --- The recorder ---

class BusTraceTest : public ::testing::Test {
  protected:
    BusTrace::Options manual() {
        BusTrace::Options o;
        o.manualWriter = true;
        o.clock = [this] { return now; };
        return o;
    }
    QString path(const char* name = "trace.log") const { return dir.filePath(name); }

    QTemporaryDir dir;
    int64_t now = 1700000000000000;
    BusTrace trace;
};

TEST_F(BusTraceTest, WritesEveryFrameWithItsTimeAndFlushesWithoutClosing) {
    std::string error;
    ASSERT_TRUE(trace.start(path().toStdString(), error, manual())) << error;
    EXPECT_TRUE(trace.recording());
    trace.record(frame(0x18EAFFF9, {0x00, 0xEF, 0x00}), TraceDirection::Sent);
    now += 1250;
    trace.record(frame(0x18EF3DF9, {1, 2, 3, 4, 5, 6, 7, 8}), TraceDirection::Received);
    ASSERT_TRUE(trace.writePending());
    // On disk before the file is closed: a crash now loses nothing of it.
    EXPECT_EQ(readFile(path()),
              "(1700000000.000000) can0 18EAFFF9#00EF00 T\n"
              "(1700000000.001250) can0 18EF3DF9#0102030405060708\n");
    now += 1;
    trace.record(frame(0x123, {0x55}, kMsgTypeStandard), TraceDirection::Received);
    const BusTrace::Summary s = trace.stop();
    EXPECT_FALSE(trace.recording());
    EXPECT_EQ(s.path, path().toStdString());
    EXPECT_EQ(s.written, 3u);
    EXPECT_EQ(s.dropped, 0u);
    EXPECT_EQ(s.error, "");
    EXPECT_EQ(readFile(path()),
              "(1700000000.000000) can0 18EAFFF9#00EF00 T\n"
              "(1700000000.001250) can0 18EF3DF9#0102030405060708\n"
              "(1700000000.001251) can0 123#55\n");
}

TEST_F(BusTraceTest, RecordsNothingBeforeStartAndAfterStop) {
    trace.record(frame(0x1, {1}), TraceDirection::Received);
    std::string error;
    ASSERT_TRUE(trace.start(path().toStdString(), error, manual()));
    trace.record(frame(0x2, {2}), TraceDirection::Received);
    trace.stop();
    trace.record(frame(0x3, {3}), TraceDirection::Received);
    EXPECT_EQ(trace.stop().written, 0u);  // not recording: nothing to tell
    EXPECT_EQ(readFile(path()), "(1700000000.000000) can0 00000002#02\n");
}

TEST_F(BusTraceTest, AFullQueueDropsFramesInsteadOfWaiting) {
    BusTrace::Options o = manual();
    o.capacity = 4;
    std::string error;
    ASSERT_TRUE(trace.start(path().toStdString(), error, o));
    for (uint8_t i = 0; i < 6; ++i) {
        trace.record(frame(0x18EF3DF9, {i}), TraceDirection::Received);
    }
    EXPECT_EQ(trace.dropped(), 2u);
    ASSERT_TRUE(trace.writePending());
    // Room again once the writer has taken the queue.
    trace.record(frame(0x18EF3DF9, {9}), TraceDirection::Received);
    const BusTrace::Summary s = trace.stop();
    EXPECT_EQ(s.written, 5u);
    EXPECT_EQ(s.dropped, 2u);
    const std::string text = readFile(path());
    EXPECT_NE(text.find("#03\n"), std::string::npos);
    EXPECT_EQ(text.find("#04\n"), std::string::npos);
    EXPECT_EQ(text.find("#05\n"), std::string::npos);
    EXPECT_NE(text.find("#09\n"), std::string::npos);
}

TEST_F(BusTraceTest, AStartOnAnotherFileEndsTheFirstRecording) {
    std::string error;
    ASSERT_TRUE(trace.start(path("a.log").toStdString(), error, manual()));
    trace.record(frame(0x1, {1}), TraceDirection::Received);
    ASSERT_TRUE(trace.start(path("b.log").toStdString(), error, manual()));
    trace.record(frame(0x2, {2}), TraceDirection::Received);
    EXPECT_EQ(trace.path(), path("b.log").toStdString());
    trace.stop();
    EXPECT_EQ(readFile(path("a.log")), "(1700000000.000000) can0 00000001#01\n");
    EXPECT_EQ(readFile(path("b.log")), "(1700000000.000000) can0 00000002#02\n");
}

TEST_F(BusTraceTest, AFileThatCannotBeCreatedIsRefusedWithTheReason) {
    std::string error;
    EXPECT_FALSE(trace.start(dir.filePath("no/such/folder/t.log").toStdString(), error, manual()));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(trace.recording());
    trace.record(frame(0x1, {1}), TraceDirection::Received);
    EXPECT_EQ(trace.stop().written, 0u);
}

TEST_F(BusTraceTest, AFullDiskEndsTheRecordingAndSaysSo) {
    std::string reported;
    trace.onWriteError = [&](const std::string& e) { reported = e; };
    std::string error;
    ASSERT_TRUE(trace.start("/dev/full", error, manual())) << error;
    trace.record(frame(0x1, {1}), TraceDirection::Received);
    EXPECT_FALSE(trace.writePending());
    EXPECT_EQ(reported, "No space left on device");
    EXPECT_FALSE(trace.recording());
    trace.record(frame(0x2, {2}), TraceDirection::Received);
    const BusTrace::Summary s = trace.stop();
    EXPECT_EQ(s.written, 0u);
    EXPECT_EQ(s.error, "No space left on device");
}

TEST_F(BusTraceTest, TheWriterThreadFlushesOnItsOwnWhileTheRecordingGoesOn) {
    BusTrace::Options o;
    o.clock = [] { return 1000000; };
    std::string error;
    ASSERT_TRUE(trace.start(path().toStdString(), error, o));
    trace.record(frame(0x18EF3DF9, {0x42}), TraceDirection::Received);
    const std::string expected = "(1.000000) can0 18EF3DF9#42\n";
    // The file is not closed: only the writer's own flush can bring the line to disk. Its
    // interval is a quarter of a second; give it ample time on a loaded machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while ((text = readFile(path())) != expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(trace.recording());
}

TEST_F(BusTraceTest, FramesFromTheReceiveAndTheMainThreadAllArriveInTimeOrder) {
    std::atomic<int64_t> clock{0};
    BusTrace::Options o;
    o.capacity = 1 << 16;
    o.clock = [&clock] { return clock.fetch_add(1) + 1000000; };
    std::string error;
    ASSERT_TRUE(trace.start(path().toStdString(), error, o));
    constexpr int kEach = 20000;
    auto producer = [this](uint32_t id, TraceDirection direction) {
        for (int i = 0; i < kEach; ++i) {
            trace.record(frame(id, {uint8_t(i), uint8_t(i >> 8)}), direction);
        }
    };
    std::thread receiving(producer, 0x18EFF93D, TraceDirection::Received);
    std::thread sending(producer, 0x18EF3DF9, TraceDirection::Sent);
    receiving.join();
    sending.join();
    const BusTrace::Summary s = trace.stop();
    ASSERT_EQ(s.written + s.dropped, 2u * kEach);
    EXPECT_EQ(s.dropped, 0u);

    const TraceFile file = parseTrace(readFile(path()));
    ASSERT_EQ(file.records.size(), s.written);
    EXPECT_EQ(file.malformedLines, 0u);
    int64_t last = 0;
    int seen[2] = {0, 0};
    for (const TraceRecord& r : file.records) {
        EXPECT_GT(r.micros, last);
        last = r.micros;
        const int side = r.direction == TraceDirection::Sent ? 1 : 0;
        EXPECT_EQ(r.frame.id, side ? 0x18EF3DF9u : 0x18EFF93Du);
        // Each thread's frames in the order it recorded them.
        EXPECT_EQ(r.frame.data[0] | r.frame.data[1] << 8, seen[side] & 0xFFFF);
        ++seen[side];
    }
}

// --- The tap on the adapter ---

TEST(TracingDriver, RecordsWhatTheAdapterReadAndTookAndPassesEverythingOn) {
    QTemporaryDir dir;
    auto trace = std::make_shared<BusTrace>();
    BusTrace::Options o;
    o.manualWriter = true;
    int64_t now = 3000000;
    o.clock = [&now] { return now += 10; };
    std::string error;
    ASSERT_TRUE(trace->start(dir.filePath("t.log").toStdString(), error, o));

    auto fake = std::make_unique<FakeCanDriver>();
    FakeCanDriver& inner = *fake;
    TracingDriver driver(std::move(fake), trace);
    inner.queueFrame(frame(0x18EEFF3D, {1, 2, 3, 4, 5, 6, 7, 8}));
    inner.queueResult(kCanError);
    inner.queueFrame(frame(0x1, {0}, kMsgTypeStatus));

    AdapterFrame got;
    EXPECT_EQ(driver.read(got), kCanOk);
    EXPECT_EQ(got.id, 0x18EEFF3Du);
    EXPECT_EQ(driver.read(got), kCanError);
    EXPECT_EQ(driver.read(got), kCanOk);  // the status record reaches the tool, not the trace
    EXPECT_EQ(driver.read(got), kCanQueueEmpty);
    EXPECT_EQ(driver.write(frame(0x18EA3DF9, {0x00, 0xEF, 0x00})), kCanOk);
    inner.setWriteResult(kCanBusOff);
    EXPECT_EQ(driver.write(frame(0x18EA3DF9, {0xDA, 0xFE, 0x00})), kCanBusOff);
    ASSERT_EQ(inner.written().size(), 2u);
    EXPECT_EQ(driver.versionInfo(), "Recording test adapter");
    EXPECT_EQ(driver.init(), kCanOk);
    EXPECT_EQ(inner.initCalls(), 1);

    trace->stop();
    EXPECT_EQ(readFile(dir.filePath("t.log")),
              "(3.000010) can0 18EEFF3D#0102030405060708\n"
              "(3.000020) can0 18EA3DF9#00EF00 T\n");
}

TEST(TracingDriver, TheLibraryPutsEveryDriverItLoadsBehindTheTap) {
    class OneDriver : public CanDriverLibrary {
      public:
        LoadResult load(std::unique_ptr<CanDriver>& driver) override {
            driver = std::make_unique<FakeCanDriver>();
            return LoadResult::Ok;
        }
        void unload() override { ++unloads; }
        int unloads = 0;
    } inner;
    TracingLibrary library(inner, std::make_shared<BusTrace>());
    std::unique_ptr<CanDriver> driver;
    EXPECT_EQ(library.load(driver), CanDriverLibrary::LoadResult::Ok);
    auto* tap = dynamic_cast<TracingDriver*>(driver.get());
    ASSERT_NE(tap, nullptr);
    EXPECT_NE(dynamic_cast<FakeCanDriver*>(&tap->inner()), nullptr);
    library.unload();
    EXPECT_EQ(inner.unloads, 1);
}

// --- Replay ---

TEST(ReplayAdapter, FileAndSpeedComeFromTheAdapterText) {
    struct Case {
        const char* text;
        const char* path;
        double speed;
    };
    const Case cases[] = {
        {"replay:field.log", "field.log", 1.0},
        {"replay:/tmp/field.log@10x", "/tmp/field.log", 10.0},
        {"REPLAY:trace@2.5X", "trace", 2.5},
        {"replay:me@home/t.log", "me@home/t.log", 1.0},
        {"replay:t.log@0x", "t.log@0x", 1.0},
        {"replay:t.log@-2x", "t.log@-2x", 1.0},
        {"replay:t.log@1e3x", "t.log@1e3x", 1.0},
        {"replay:t.log@5000x", "t.log@5000x", 1.0},
        {"replay:t.log@x", "t.log@x", 1.0},
        {"replay:", "", 1.0},
    };
    for (const Case& c : cases) {
        const auto a = parseReplayAdapter(c.text);
        ASSERT_TRUE(a) << c.text;
        EXPECT_EQ(a->path, c.path) << c.text;
        EXPECT_DOUBLE_EQ(a->speed, c.speed) << c.text;
    }
    EXPECT_FALSE(parseReplayAdapter("socketcan:can0"));
    EXPECT_FALSE(parseReplayAdapter("simulator"));
    EXPECT_FALSE(parseReplayAdapter("replay"));
}

TEST(TraceReplay, FramesComeAtTheirRecordedPaceOrFaster) {
    const std::vector<TraceRecord> trace = {
        record(50000000, frame(0x18EEFF3D, {1})),
        record(50000500, frame(0x18EA3DF9, {2}), TraceDirection::Sent),  // the recording tool's
        record(50100000, frame(0x18EF3DF9, {3})),
        record(51000000, frame(0x18EF3DF9, {4})),
        record(49000000, frame(0x18EF3DF9, {5})),  // steps back: due at once after its turn
    };
    struct Case {
        double speed;
        int64_t atMicros;  // after init
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {1.0, 0, {1}},
        {1.0, 99999, {1}},
        {1.0, 100000, {1, 3}},
        {1.0, 999999, {1, 3}},
        {1.0, 1000000, {1, 3, 4, 5}},
        {10.0, 9999, {1}},
        {10.0, 10000, {1, 3}},
        {10.0, 100000, {1, 3, 4, 5}},
        {0.5, 199999, {1}},
        {0.5, 200000, {1, 3}},
    };
    for (const Case& c : cases) {
        int64_t now = 777;
        TraceReplayDriver driver(
            trace, c.speed, [&now] { return now; }, "replay");
        EXPECT_EQ(driver.frameCount(), 4u);
        AdapterFrame f;
        EXPECT_EQ(driver.read(f), kCanQueueEmpty) << "nothing before the adapter is opened";
        EXPECT_EQ(driver.init(), kCanOk);
        now += c.atMicros;
        std::vector<uint8_t> got;
        while (driver.read(f) == kCanOk) {
            got.push_back(f.data[0]);
        }
        EXPECT_EQ(got, c.expected) << c.speed << "x at " << c.atMicros << " us";
    }
}

TEST(TraceReplay, ReopeningAfterALinkLossGoesOnWhereItWas) {
    const std::vector<TraceRecord> trace = {record(0, frame(0x1, {1})),
                                            record(1000000, frame(0x1, {2}))};
    int64_t now = 0;
    TraceReplayDriver driver(
        trace, 1.0, [&now] { return now; }, "replay");
    driver.init();
    AdapterFrame f;
    ASSERT_EQ(driver.read(f), kCanOk);
    now = 900000;
    driver.init();
    EXPECT_EQ(driver.read(f), kCanQueueEmpty);
    now = 1000000;
    ASSERT_EQ(driver.read(f), kCanOk);
    EXPECT_EQ(f.data[0], 2);
    EXPECT_TRUE(driver.finished());
    EXPECT_EQ(driver.read(f), kCanQueueEmpty);
    // What the replaying tool sends goes nowhere, and is no failure.
    EXPECT_EQ(driver.write(frame(0x18EA3DF9, {0})), kCanOk);
}

TEST(TraceReplay, MalformedLinesAreNamedAndTheOthersReplayed) {
    std::string text =
        "(10.000000) can0 18EEFF3D#0102030405060708\n"
        "(10.100000) can0 18EF3DF9#0102030\n"
        "\n"
        "(10.200000) can0 20000080#0000000000000000\n"
        "garbage\n"
        "(10.300000) can0 18EF3DF9#AA\r\n";
    const TraceFile file = parseTrace(text);
    ASSERT_EQ(file.records.size(), 2u);
    EXPECT_EQ(file.records[1].frame.data[0], 0xAA);
    EXPECT_EQ(file.malformedLines, 2u);
    ASSERT_EQ(file.problems.size(), 2u);
    EXPECT_EQ(file.problems[0], "line 2: the data \"0102030\" has an odd number of hex digits");
    EXPECT_EQ(file.problems[1].rfind("line 5: ", 0), 0u) << file.problems[1];

    const std::string message = malformedLinesMessage("field.log", file);
    EXPECT_EQ(message,
              "The bus trace \"field.log\" has 2 lines that are no CAN frame. The replay skips "
              "them and goes on with the next:\n"
              "line 2: the data \"0102030\" has an odd number of hex digits\n" +
                  file.problems[1]);
}

TEST(TraceReplay, ALongRunOfBrokenLinesIsListedShortly) {
    std::string text;
    for (int i = 0; i < 25; ++i) {
        text += "broken\n";
    }
    const TraceFile file = parseTrace(text);
    EXPECT_EQ(file.malformedLines, 25u);
    EXPECT_EQ(file.problems.size(), TraceFile::kMaxListedProblems);
    const std::string message = malformedLinesMessage("x.log", file);
    EXPECT_NE(message.find("line 10: "), std::string::npos);
    EXPECT_EQ(message.find("line 11: "), std::string::npos);
    EXPECT_NE(message.find("(and 15 more)"), std::string::npos);
    EXPECT_EQ(malformedLinesMessage("x.log", parseTrace("(1.0) can0 123#\n")), "");
}

TEST(TraceReplay, TheLibraryReadsTheFileWhenTheAdapterIsLoaded) {
    QTemporaryDir dir;
    const QString path = dir.filePath("field.log");
    writeFile(path,
              "(5.000000) can0 18EEFF3D#0102030405060708\n"
              "(5.000100) can0 18EF3DF9#xx\n"
              "(5.000200) can0 18EEFF3D#0807060504030201 T\n");
    std::vector<std::string> problems;
    TraceReplayLibrary library(ReplayAdapter{path.toStdString(), 4.0}, [] { return 0; });
    library.onProblem = [&](const std::string& p) { problems.push_back(p); };
    std::unique_ptr<CanDriver> driver;
    ASSERT_EQ(library.load(driver), CanDriverLibrary::LoadResult::Ok);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("line 2: the data \"xx\" is not hexadecimal"), std::string::npos)
        << problems[0];
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->versionInfo(), "Bus trace replay of " + path.toStdString() + " at 4x");
    driver->init();
    AdapterFrame f;
    ASSERT_EQ(driver->read(f), kCanOk);
    EXPECT_EQ(f.id, 0x18EEFF3Du);
    EXPECT_EQ(driver->read(f), kCanQueueEmpty);  // the line flagged T was the recording tool's
}

TEST(TraceReplay, AMissingOrEmptyTraceIsTold) {
    QTemporaryDir dir;
    std::vector<std::string> problems;
    auto load = [&](const std::string& path) {
        TraceReplayLibrary library(ReplayAdapter{path, 1.0});
        library.onProblem = [&](const std::string& p) { problems.push_back(p); };
        std::unique_ptr<CanDriver> driver;
        return library.load(driver);
    };
    const std::string missing = dir.filePath("missing.log").toStdString();
    EXPECT_EQ(load(missing), CanDriverLibrary::LoadResult::FunctionMissing);
    EXPECT_EQ(load(""), CanDriverLibrary::LoadResult::FunctionMissing);
    const QString empty = dir.filePath("empty.log");
    writeFile(empty, "");
    EXPECT_EQ(load(empty.toStdString()), CanDriverLibrary::LoadResult::Ok);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0],
              "The bus trace \"" + missing + "\" cannot be read: No such file or directory.");
    EXPECT_EQ(problems[1],
              "The replay adapter names no bus trace: write replay:FILE or replay:FILE@10x.");
    EXPECT_EQ(problems[2],
              "The bus trace \"" + empty.toStdString() + "\" holds no received frame to replay.");
}

}  // namespace
