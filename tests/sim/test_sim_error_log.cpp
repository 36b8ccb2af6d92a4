// The simulated pump's error log: its size and variety, and a whole log read record by record over
// the bus by the tool's own reader and decoded into grid rows. The pump builds its records from
// its own layout tables; the tool's decoder is the independent check of those bytes.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "pump/error_log.h"
#include "pump_bench.h"
#include "sim/error_log_image.h"
#include "sim/pump_layout.h"

using namespace sim;
using namespace pump_bench;

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};

struct ReadResult {
    std::vector<ErrorLogRow> rows;
    std::vector<uint16_t> requested;
    std::vector<int> progress;
    int notReady = 0;
    bool finished = false;
    bool cleared = false;
};

// The tool's read of the log: each request goes out as command 141, then the tool keeps asking for
// the reply every 50 ms (as the scheduler does) until the reader accepts one.
ReadResult readLog(Bench& bench, std::size_t maxRequests = 2000) {
    ReadResult out;
    ErrorLogReader reader;
    ErrorLogStep step = reader.start();
    while (step.request && out.requested.size() < maxRequests) {
        out.requested.push_back(*step.request);
        const auto command = errorLogRequest(*step.request).encode();
        auto reply = bench.ask(Bytes(command.begin(), command.end()));
        for (int attempt = 0; attempt < 60; ++attempt) {
            if (!reply) {
                ADD_FAILURE() << "no reply to record " << *step.request;
                return out;
            }
            step = reader.onReply(*reply, kPoint);
            if (step.acceptance != ReplyAcceptance::NotAccepted) {
                break;
            }
            ++out.notReady;
            bench.pump().advance(50);
            reply = bench.poll();
        }
        out.cleared = out.cleared || step.clearRows;
        if (step.row) {
            out.rows.push_back(*step.row);
        }
        if (step.progress && step.progress->visible) {
            out.progress.push_back(step.progress->position);
        }
        out.finished = step.buttonsEnabled == true;
    }
    return out;
}

}  // namespace

TEST(PumpErrorLogImage, SizeByOptionDefaultFortyAtMostFifteenHundred) {
    EXPECT_EQ(SimulatedPump().state().errorLog.size(), 40u);
    for (uint16_t records : {0, 1, 3, 40, 1500}) {
        PumpOptions options;
        options.errorLogRecords = records;
        EXPECT_EQ(SimulatedPump(options).state().errorLog.size(), records);
    }
    PumpOptions tooMany;
    tooMany.errorLogRecords = 2000;
    EXPECT_EQ(SimulatedPump(tooMany).state().errorLog.size(), 1500u);
    // The same seed gives the same log, another seed another one.
    const auto a = generateErrorLog(200, 7);
    const auto b = generateErrorLog(200, 7);
    const auto c = generateErrorLog(200, 8);
    ASSERT_EQ(a.size(), 200u);
    std::size_t same = 0;
    std::size_t differ = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        same += a[i].timeStamp == b[i].timeStamp && a[i].component == b[i].component;
        differ += a[i].timeStamp != c[i].timeStamp;
    }
    EXPECT_EQ(same, a.size());
    EXPECT_GT(differ, 100u);
}

TEST(PumpErrorLogImage, RecordsVaryAndStayInTimeOrder) {
    const auto log = generateErrorLog(1500, 1);
    ASSERT_EQ(log.size(), 1500u);
    EXPECT_EQ(log[0].timeStamp, 95u);
    EXPECT_EQ(log[0].errorTime, 3725u);
    EXPECT_EQ(log[2].errorTime, 360000u);
    std::set<uint16_t> components;
    std::set<uint32_t> stateWords;
    std::size_t engineOff = 0;
    std::size_t longFaults = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const ErrorLogEntry& e = log[i];
        ASSERT_GE(e.component, 1) << i;
        ASSERT_LE(e.component, 26) << i;
        if (i > 0) {
            ASSERT_GT(e.timeStamp, log[i - 1].timeStamp) << i;
        }
        components.insert(e.component);
        stateWords.insert(e.stateWord);
        engineOff += e.engineSpeed == 0;
        longFaults += e.errorTime >= 100 * 3600;
        // A record shows the fault of its own component among its states.
        const uint64_t own = obdStatesOfComponent(e.component, 0) |
                             obdStatesOfComponent(e.component, 1) |
                             obdStatesOfComponent(e.component, 2);
        const uint64_t states = e.stateWord | (uint64_t(e.stateByte) << 32);
        if (own != 0) {
            EXPECT_NE(states & own, 0u) << "record " << i + 1 << " component " << e.component;
        }
    }
    EXPECT_EQ(components.size(), 26u);
    EXPECT_GT(stateWords.size(), 30u);
    EXPECT_GT(engineOff, 50u);
    EXPECT_GT(longFaults, 10u);
}

TEST(PumpErrorLogRead, ThreeRecordsEndToEnd) {
    PumpOptions options;
    options.errorLogRecords = 3;
    Bench bench(options);
    const ReadResult read = readLog(bench);
    EXPECT_EQ(read.requested, (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(read.progress, (std::vector<int>{1, 2}));  // hidden again with record 3
    EXPECT_TRUE(read.finished);
    EXPECT_TRUE(read.cleared);
    ASSERT_EQ(read.rows.size(), 3u);
    using namespace error_log;
    EXPECT_EQ(read.rows[0][kTimeStamp], "3:10    ");
    EXPECT_EQ(read.rows[0][kErrorName], "(05) Cat. in temp.");
    EXPECT_EQ(read.rows[0][kErrorTime], "01:02:05");
    EXPECT_EQ(read.rows[0][kEngineSpeed], "1000");
    EXPECT_EQ(read.rows[0][kUreaFlowRate], "1520.00");
    EXPECT_EQ(read.rows[0][kDriveUnitState], "Malfunction");
    EXPECT_EQ(read.rows[0][kCatInTempSensorState], "Out of range high");
    EXPECT_EQ(read.rows[1][kPumpHeadTemp], "-3.5");
    EXPECT_EQ(read.rows[1][kPumpHeadTempSensorState], "Out of range high");
    EXPECT_EQ(read.rows[2][kErrorName], "(18) Urea tank empty");
    EXPECT_EQ(read.rows[2][kErrorTime], "100:00:00");
    EXPECT_EQ(read.rows[2][kUreaTankLevel], "Empty");
    EXPECT_EQ(read.rows[2][kEcmCommunicationState], "Communication error");
    EXPECT_EQ(read.rows[2][kLogFull], "No");
}

TEST(PumpErrorLogRead, NotReadyRecordsAreAskedForAgain) {
    PumpOptions options;
    options.errorLogRecords = 3;
    options.setFault(Fault::ErrorLogNotReady);
    options.errorLogNotReadyMs = 120;
    Bench bench(options);
    const ReadResult read = readLog(bench);
    EXPECT_EQ(read.requested, (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(read.rows.size(), 3u);
    EXPECT_GE(read.notReady, 3);
    EXPECT_TRUE(read.finished);
}

TEST(PumpErrorLogRead, EmptyLogLeavesAnEmptyGrid) {
    PumpOptions options;
    options.errorLogRecords = 0;
    Bench bench(options);
    const ReadResult read = readLog(bench);
    EXPECT_EQ(read.requested, (std::vector<uint16_t>{1}));
    EXPECT_TRUE(read.rows.empty());
    EXPECT_TRUE(read.cleared);
    EXPECT_TRUE(read.finished);
}

TEST(PumpErrorLogRead, FifteenHundredRecordsDecode) {
    PumpOptions options;
    options.errorLogRecords = 1500;
    options.tpGapMs = 0;
    Bench bench(options);
    const ReadResult read = readLog(bench);
    ASSERT_EQ(read.requested.size(), 1500u);
    EXPECT_EQ(read.requested.back(), 1500);
    EXPECT_TRUE(read.finished);
    ASSERT_EQ(read.rows.size(), 1500u);
    ASSERT_EQ(read.progress.size(), 1499u);
    const auto& log = bench.pump().state().errorLog;
    for (std::size_t i = 0; i < read.rows.size(); ++i) {
        const ErrorLogRow& row = read.rows[i];
        ASSERT_EQ(row[error_log::kErrorName], formatErrorLogComponent(log[i].component)) << i;
        ASSERT_EQ(row[error_log::kTimeStamp], formatErrorLogTimeStamp(log[i].timeStamp)) << i;
        EXPECT_EQ(row[error_log::kLogFull], "Yes") << i;  // the log is at its capacity
        for (int column = 0; column < error_log::kColumnCount; ++column) {
            EXPECT_EQ(row[column].find("Invalid"), std::string::npos)
                << "record " << i + 1 << " column " << error_log::kHeaders[column];
        }
    }
    // Sorting the whole log by a number column and by a time column.
    auto rows = read.rows;
    sortErrorLogRows(rows, error_log::kCatInTemp, true, '.');
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_GE(std::stoi(rows[i - 1][error_log::kCatInTemp]),
                  std::stoi(rows[i][error_log::kCatInTemp]));
    }
    ASSERT_NE(rows, read.rows);
    // The pump wrote its records in time order: sorting by the time stamp gives that order back.
    sortErrorLogRows(rows, error_log::kTimeStamp, false, '.');
    EXPECT_EQ(rows, read.rows);
}
