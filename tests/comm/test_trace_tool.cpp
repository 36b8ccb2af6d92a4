// Bus traces with the whole tool on its simulated pump: a trace recorded there is what python-can
// reads, frame for frame; replaying it through the replay adapter fills the main window with the
// same values; the File menu's item starts and stops a recording.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <sstream>

#include "comm/replay_driver.h"
#include "mainwindow/main_window.h"
#include "sim/simulator_node.h"
#include "sim_harness.h"

namespace {

constexpr int64_t kEpochMicros = 1700000000000000;  // 2023-11-14, the trace's first second

std::string readFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Every value label of the main window by name.
std::map<QString, QString> mainWindowValues(TForm1& form) {
    std::map<QString, QString> values;
    for (QGroupBox* group : {form.gbBasic, form.gbExtended}) {
        for (auto* label : group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->property("tag").toInt() == kValueTag) {
                values[label->objectName()] = label->text();
            }
        }
    }
    return values;
}

// A frame as the bus carried it, and when: what an observer node on the simulated bus saw.
struct Seen {
    int64_t micros;
    AdapterFrame frame;
    bool fromTool;
};

// Records the simulated pump's bus for `ms` into `path`, with the trace's clock at the harness's
// time (plus a microsecond a frame within one 10-ms step). Returns what the observer saw.
std::vector<Seen> recordSimulatedPump(SimHarness& h, const QString& path, int ms) {
    auto observer = h.app().simulatorBus()->attach();
    int64_t withinStep = 0;
    BusTrace::Options options;
    options.clock = [&] { return kEpochMicros + int64_t(h.elapsedMs()) * 1000 + withinStep++; };
    std::string error;
    EXPECT_TRUE(h.app().busTrace().start(path.toStdString(), error, options)) << error;
    std::vector<Seen> seen;
    h.onStep = [&](uint64_t nowMs) {
        AdapterFrame f;
        while (observer->read(f)) {
            // The simulated pump at 61 and its NOx sensors at 81 and 82 share the bus with the
            // tool alone: every other sender is the tool.
            const uint8_t source = f.id & 0xFF;
            const bool fromTool = source != 61 && source != 81 && source != 82;
            seen.push_back({kEpochMicros + int64_t(nowMs) * 1000, f, fromTool});
        }
        withinStep = 0;
    };
    h.run(ms);
    h.onStep = nullptr;
    const BusTrace::Summary summary = h.app().busTrace().stop();
    EXPECT_EQ(summary.dropped, 0u);
    EXPECT_EQ(summary.error, "");
    EXPECT_EQ(summary.written, seen.size());
    observer->detach();
    return seen;
}

TEST(BusTraceOfTheSimulatedPump, PythonCanReadsTheSameFramesInOrderWithTheirTimes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("pump.log");
    SimHarness h;
    const std::vector<Seen> seen = recordSimulatedPump(h, path, 4000);
    ASSERT_GT(seen.size(), 100u);

    // Debian's python-can reads candump logs with its LogReader; print one frame a line.
    const char* script =
        "import can, sys\n"
        "for m in can.LogReader(sys.argv[1]):\n"
        "    print('%.6f %08X %d %s %s' % (m.timestamp, m.arbitration_id, m.is_extended_id,\n"
        "          m.data.hex().upper(), 'R' if m.is_rx else 'T'))\n";
    QProcess python;
    python.start("/usr/bin/python3", {"-c", script, path});
    ASSERT_TRUE(python.waitForFinished(60000)) << "python3 did not finish";
    ASSERT_EQ(python.exitCode(), 0)
        << python.readAllStandardError().toStdString() << "(scripts/setup installs python3-can)";
    const QStringList lines =
        QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(std::size_t(lines.size()), seen.size());
    int sent = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const QStringList f = lines[qsizetype(i)].split(' ');
        ASSERT_EQ(f.size(), 5) << lines[qsizetype(i)].toStdString();
        const Seen& s = seen[i];
        EXPECT_NEAR(f[0].toDouble(), double(s.micros) / 1e6, 0.001) << "frame " << i;
        EXPECT_EQ(f[1].toUInt(nullptr, 16), s.frame.id) << "frame " << i;
        EXPECT_EQ(f[2], "1") << "frame " << i;
        EXPECT_EQ(
            f[3],
            QByteArray(reinterpret_cast<const char*>(s.frame.data), s.frame.len).toHex().toUpper())
            << "frame " << i;
        EXPECT_EQ(f[4], s.fromTool ? "T" : "R")
            << "frame " << i << ": " << lines[qsizetype(i)].toStdString();
        sent += s.fromTool ? 1 : 0;
    }
    // Both directions are there: the tool's claim and requests, the pump's answers.
    EXPECT_GT(sent, 10);
    EXPECT_LT(sent, int(seen.size()) - 10);

    // can-utils' log2asc reads it too, with the tool's frames as Tx.
    QProcess log2asc;
    log2asc.start("log2asc", {"-I", path, "can0"});
    ASSERT_TRUE(log2asc.waitForFinished(60000)) << "log2asc did not finish";
    ASSERT_EQ(log2asc.exitCode(), 0) << "(scripts/setup installs can-utils)";
    int rx = 0;
    int tx = 0;
    for (const QString& line : QString::fromUtf8(log2asc.readAllStandardOutput()).split('\n')) {
        rx += line.contains(" Rx ") ? 1 : 0;
        tx += line.contains(" Tx ") ? 1 : 0;
    }
    EXPECT_EQ(tx, sent);
    EXPECT_EQ(rx, int(seen.size()) - sent);
}

TEST(BusTraceOfTheSimulatedPump, TheTraceOptionRecordsFromTheStart) {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    options.tracePath = dir.filePath("start.log");
    {
        ToolApplication app(options, dialogs);
        EXPECT_TRUE(app.busTrace().recording());
        EXPECT_TRUE(app.mainWindow().RecordBusTrace1->isChecked());
        app.simulator()->stop();
        app.core().link().load();
        CanDriver* driver = app.core().link().driver();
        ASSERT_NE(driver, nullptr);
        driver->init();
        app.core().scheduler().schedulerTick();  // the tool's first claim goes out
        app.simulator()->tick();
        AdapterFrame f;
        while (driver->read(f) == kCanOk) {
        }
    }
    // Closing the tool completes the file.
    const TraceFile trace = parseTrace(readFile(options.tracePath));
    EXPECT_EQ(trace.malformedLines, 0u);
    ASSERT_FALSE(trace.records.empty());
    EXPECT_EQ(trace.records.front().direction, TraceDirection::Sent);
    EXPECT_TRUE(dialogs.shown.empty());

    options.tracePath = dir.filePath("no/folder/start.log");
    ToolApplication app(options, dialogs);
    EXPECT_FALSE(app.busTrace().recording());
    EXPECT_FALSE(app.mainWindow().RecordBusTrace1->isChecked());
    EXPECT_EQ(dialogs.texts(), QStringList{"The bus trace \"" + options.tracePath +
                                           "\" cannot be written: No such file or directory."});
}

// The whole tool on a replay adapter, driven by hand as the simulator harness drives its pump.
class ReplayedTool {
  public:
    explicit ReplayedTool(const QString& adapter) {
        ToolOptions options;
        options.adapter = adapter;
        options.settingsPath = dir_.filePath("tool.ini");
        options.clock = [this] { return 1000000 + nowMs_; };
        options.replayClock = [this] { return int64_t(nowMs_) * 1000; };
        app_ = std::make_unique<ToolApplication>(options, dialogs);
        app_->core().link().load();
        app_->mainWindow().tmrTx->stop();
        driver_ = app_->core().link().driver();
        if (driver_ == nullptr || driver_->init() != kCanOk) {
            ADD_FAILURE() << "the replay adapter did not open";
        }
    }

    void run(int ms) {
        for (int t = 0; t < ms; t += 10) {
            nowMs_ += 10;
            app_->core().scheduler().schedulerTick();
            std::vector<AdapterFrame> batch;
            AdapterFrame frame;
            while (driver_ && driver_->read(frame) == kCanOk) {
                batch.push_back(frame);
            }
            if (!batch.empty()) {
                app_->core().handOver(batch);
            }
        }
    }

    ToolApplication& app() { return *app_; }
    ScriptedDialogs dialogs;

  private:
    QTemporaryDir dir_;
    std::unique_ptr<ToolApplication> app_;
    CanDriver* driver_ = nullptr;
    uint64_t nowMs_ = 0;
};

TEST(BusTraceReplay, AReplayedTraceFillsTheMainWindowWithTheValuesTheRecordingShowed) {
    QTemporaryDir dir;
    const QString path = dir.filePath("pump.log");
    std::map<QString, QString> recorded;
    {
        SimHarness h;
        h.app().mainWindow().Extendeddata1->trigger();
        recordSimulatedPump(h, path, 15000);
        recorded = mainWindowValues(h.app().mainWindow());
    }
    int filled = 0;
    for (const auto& [name, text] : recorded) {
        filled += text != "?" ? 1 : 0;
    }
    ASSERT_GT(filled, 30) << "the recording should have filled the main window";

    // Ten times faster: 15 s of trace in 1.5 s.
    ReplayedTool replay("replay:" + path + "@10x");
    EXPECT_EQ(replay.app().mainWindow().windowTitle(),
              "Dosaris Service Tool (J1939) - replay of pump.log");
    replay.run(700);
    EXPECT_NE(mainWindowValues(replay.app().mainWindow()), recorded)
        << "half of the trace cannot show the end of the recording yet";
    replay.run(900);
    auto* driver = dynamic_cast<TracingDriver*>(replay.app().core().link().driver());
    ASSERT_NE(driver, nullptr);
    EXPECT_TRUE(dynamic_cast<TraceReplayDriver&>(driver->inner()).finished());
    EXPECT_EQ(mainWindowValues(replay.app().mainWindow()), recorded);
    EXPECT_EQ(replay.app().core().connection().pumpAddress, 61);
    EXPECT_TRUE(replay.dialogs.shown.empty()) << replay.dialogs.texts().join(" | ").toStdString();
}

TEST(BusTraceReplay, AMalformedLineIsNamedAndTheReplayGoesOnWithTheNext) {
    QTemporaryDir dir;
    const QString path = dir.filePath("pump.log");
    {
        SimHarness h;
        recordSimulatedPump(h, path, 12000);
    }
    // Damage one line in the middle of the trace.
    std::string text = readFile(path);
    const std::size_t at = text.find('\n', text.size() / 2) + 1;
    const std::size_t lineNumber =
        std::size_t(std::count(text.begin(), text.begin() + at, '\n')) + 1;
    text.insert(at, "(1700000006.000000) can0 18EF3DF9#123\n");
    std::ofstream(path.toStdString(), std::ios::binary) << text;

    // The trace is read when the adapter is loaded.
    ReplayedTool replay("replay:" + path + "@4x");
    ASSERT_EQ(replay.dialogs.shown.size(), 1u);
    const auto& shown = replay.dialogs.shown[0];
    EXPECT_EQ(shown.caption, "Bus trace replay");
    EXPECT_EQ(shown.text.toStdString(),
              "The bus trace \"" + path.toStdString() +
                  "\" has 1 line that is no CAN frame. The replay skips it and goes on with the "
                  "next:\nline " +
                  std::to_string(lineNumber) +
                  ": the data \"123\" has an odd number of hex digits");
    replay.run(3200);
    EXPECT_EQ(replay.app().core().connection().pumpAddress, 61);
    EXPECT_NE(replay.app().mainWindow().valueLabel("lPumpState")->text(), "?");
}

TEST(BusTraceReplay, ATraceThatCannotBeReadLeavesTheToolWithoutAnAdapter) {
    QTemporaryDir dir;
    const QString path = dir.filePath("nowhere.log");
    ToolOptions options;
    options.adapter = "replay:" + path;
    options.settingsPath = dir.filePath("tool.ini");
    ScriptedDialogs dialogs;
    ToolApplication app(options, dialogs);
    app.core().link().load();
    EXPECT_FALSE(app.core().link().ready());
    ASSERT_EQ(dialogs.texts().size(), 2);
    EXPECT_EQ(dialogs.texts()[0],
              "The bus trace \"" + path + "\" cannot be read: No such file or directory.");
    EXPECT_EQ(dialogs.texts()[1], "Can not initialize CAN");
}

// --- "File > Record bus trace..." ---

TEST(RecordBusTraceMenu, TheItemAsksForAFileRecordsAndStops) {
    QTemporaryDir dir;
    const QString path = dir.filePath("field.log");
    SimHarness h;
    QAction* item = h.app().mainWindow().RecordBusTrace1;
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isCheckable());
    EXPECT_EQ(item->text(), "Record bus trace...");
    h.app().mainModule().traceOptions.clock = [&h] {
        return kEpochMicros + int64_t(h.elapsedMs()) * 1000;
    };

    h.dialogs.fileNames.push_back(path);
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(h.app().busTrace().recording());
    EXPECT_EQ(item->toolTip(), "Recording to " + path);
    h.run(2000);
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(h.app().busTrace().recording());
    EXPECT_TRUE(h.dialogs.shown.empty()) << h.dialogs.texts().join(" | ").toStdString();

    const TraceFile trace = parseTrace(readFile(path));
    EXPECT_EQ(trace.malformedLines, 0u);
    bool toolClaim = false;
    bool pumpClaim = false;
    for (const TraceRecord& r : trace.records) {
        // Address Claimed (PGN 0xEE00 to everybody) from the tool and from the pump at 61.
        toolClaim |= r.frame.id == 0x18EEFFF9 && r.direction == TraceDirection::Sent;
        pumpClaim |= r.frame.id == 0x18EEFF3D && r.direction == TraceDirection::Received;
        EXPECT_GE(r.micros, kEpochMicros);
        EXPECT_LE(r.micros, kEpochMicros + 2000000);
    }
    EXPECT_TRUE(toolClaim);
    EXPECT_TRUE(pumpClaim);
}

TEST(RecordBusTraceMenu, CancellingOrAnUnwritableFileLeavesTheItemUnchecked) {
    QTemporaryDir dir;
    SimHarness h;
    QAction* item = h.app().mainWindow().RecordBusTrace1;
    item->trigger();  // no file name scripted: the operator cancels
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(h.app().busTrace().recording());
    EXPECT_TRUE(h.dialogs.shown.empty());

    const QString bad = dir.filePath("missing/folder/t.log");
    h.dialogs.fileNames.push_back(bad);
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].text,
              "The bus trace \"" + bad + "\" cannot be written: No such file or directory.");
    EXPECT_EQ(h.dialogs.shown[0].caption, "Record bus trace");
    EXPECT_EQ(h.dialogs.shown[0].icon, Dialogs::Icon::Error);
}

TEST(RecordBusTraceMenu, AWriteFailureStopsTheRecordingAndTellsTheOperator) {
    SimHarness h;
    QAction* item = h.app().mainWindow().RecordBusTrace1;
    h.app().mainModule().traceOptions.manualWriter = true;
    ASSERT_TRUE(h.app().mainModule().startBusTrace("/dev/full"));
    EXPECT_TRUE(item->isChecked());
    h.run(500);
    EXPECT_FALSE(h.app().busTrace().writePending());
    // The writer's report reaches the menu through the main thread's event loop.
    QCoreApplication::processEvents();
    EXPECT_FALSE(item->isChecked());
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].text,
              "The bus trace \"/dev/full\" could not be written on: No space left on device. The "
              "recording has stopped; 0 frames reached the file.");
}

TEST(RecordBusTraceMenu, TheProposedFileIsNamedByTheTimeInTheLogFolder) {
    EXPECT_EQ(busTraceFileName(QDateTime(QDate(2024, 3, 9), QTime(7, 5, 2))),
              "trace-20240309-070502.log");
    EXPECT_EQ(busTraceFileName(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59))),
              "trace-19991231-235959.log");
    EXPECT_EQ(busTraceFolder("/opt/tool", true, "/home/tech/Documents"), "/opt/tool/log");
    EXPECT_EQ(busTraceFolder("/usr/bin", false, "/home/tech/Documents"), "/home/tech/Documents");
}

}  // namespace
