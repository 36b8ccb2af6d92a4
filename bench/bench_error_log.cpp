// Reading the pump's error log in real time: the whole tool on its built-in simulated pump, its
// 10-ms scheduler timer, the simulator's own 10-ms timer and the receive thread all running on the
// wall clock. The log holds 1500 records; the tool reads them one by one with command 141, each
// reply a 54-byte telegram through the transport protocol. One record per 50-ms duty is the floor
// of the protocol (the tool sends one telegram per duty and waits for its reply): 75 s.
// Afterwards the bench sorts the 1500 rows by every column, as a header click does.
//
//   bench-error-log [--records N]     (default 1500; the floor is N x 50 ms)
//
// Its last line:
//   error-log: 1500 records in T s, R x the 75 s floor, sort S ms
// with S the slowest column. Not a test: run it by hand.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/dialogs.h"
#include "diagnostics/diagnostics_module.h"
#include "diagnostics/uds_error_log.h"
#include "tool/tool_application.h"

namespace {

class QuietDialogs : public QtDialogs {
  public:
    void message(const QString& text, const QString&, Icon) override {
        std::fprintf(stderr, "bench-error-log: message \"%s\"\n", qPrintable(text));
    }
};

constexpr int kDutyMs = 50;

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int records = 1500;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--records") == 0) {
            records = std::clamp(std::atoi(argv[i + 1]), 1, 1500);
        }
    }

    QTemporaryDir dir;
    QuietDialogs dialogs;
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    options.simulatedPump.errorLogRecords = static_cast<uint16_t>(records);
    ToolApplication tool(options, dialogs);
    tool.show();
    TfUdsErrorLog& log = tool.diagnostics().errorLog();
    log.show();

    QElapsedTimer clock;
    qint64 readMs = -1;
    QTimer watch;
    watch.setInterval(kDutyMs);
    enum class Phase { Connecting, Settling, Reading } phase = Phase::Connecting;
    QElapsedTimer settle;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        ToolCore& core = tool.core();
        switch (phase) {
            case Phase::Connecting:
                if (core.connection().pumpAddress != 255 &&
                    core.scheduler().serviceReplyReceived()) {
                    phase = Phase::Settling;
                    settle.start();
                }
                break;
            case Phase::Settling:
                // The first polls after the connection have gone out; the read starts between two
                // of them, as when a technician presses the button.
                if (settle.elapsed() >= 2000) {
                    phase = Phase::Reading;
                    clock.start();
                    log.btnReadErrorLog->click();
                }
                break;
            case Phase::Reading:
                if (log.reader().state() == ErrorLogReader::State::Idle) {
                    readMs = clock.elapsed();
                    QCoreApplication::exit(0);
                }
                break;
        }
    });
    watch.start();
    const int limitMs = 30000 + records * kDutyMs * 4;
    QTimer::singleShot(limitMs, &app, [] {
        std::fprintf(stderr, "bench-error-log: timed out\n");
        QCoreApplication::exit(1);
    });
    const int rc = app.exec();
    watch.stop();

    StringGridModel& cells = log.advErrorLog->cells();
    const int rows = cells.gridRowCount() - cells.fixedRows();
    if (rc != 0 || readMs < 0 || rows != records) {
        std::printf("bench-error-log: read failed, %d of %d rows\n", rows, records);
        return 1;
    }

    // Every column twice (ascending, then descending), as header clicks sort it.
    double slowestMs = 0;
    int slowestColumn = 0;
    for (int column = 0; column < error_log::kColumnCount; ++column) {
        for (int click = 0; click < 2; ++click) {
            QElapsedTimer sort;
            sort.start();
            log.advErrorLog->sortByHeaderClick(column);
            const double ms = double(sort.nsecsElapsed()) / 1e6;
            if (ms > slowestMs) {
                slowestMs = ms;
                slowestColumn = column;
            }
        }
    }

    const double seconds = double(readMs) / 1000.0;
    const double floorSeconds = double(records) * kDutyMs / 1000.0;
    std::printf(
        "bench-error-log: %d records read in %.2f s (%.1f ms a record); slowest sort: "
        "column %d \"%s\"\n",
        records, seconds, double(readMs) / records, slowestColumn,
        qPrintable(cells.text(slowestColumn, 0)));
    std::printf("error-log: %d records in %.1f s, %.2f x the %.0f s floor, sort %.1f ms\n", records,
                seconds, seconds / floorSeconds, floorSeconds, slowestMs);
    return 0;
}
