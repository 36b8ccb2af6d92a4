// The EEPROM read-all against the built-in simulated pump in real time: the tool's own 10-ms
// scheduler timer, the simulated pump's own timer and the receive thread, as the tool runs. Every
// word is one telegram with its reply, and the scheduler sends one telegram per 50 ms, so the
// read-out cannot beat 192 x 50 ms = 9.6 s.
// Not a test: run it by hand, `build/bin/bench-eeprom`.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

#include "app/dialogs.h"
#include "mainwindow/main_window.h"
#include "service/service_tool.h"
#include "tool/tool_application.h"

namespace {

// Answers the save dialog with the bench's file; shows nothing.
class BenchDialogs : public QtDialogs {
  public:
    explicit BenchDialogs(QString file) : file_(std::move(file)) {}
    void message(const QString& text, const QString&, Icon) override {
        std::fprintf(stderr, "bench-eeprom: message: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString&, const QString&, Icon) override { return true; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return file_; }

  private:
    QString file_;
};

template <typename Done>
bool waitFor(Done done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath("eepromdata.csv");
    BenchDialogs dialogs(file);
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    ToolApplication tool(options, dialogs);
    tool.show();

    ToolCore& core = tool.core();
    // The pump found and its first pages read.
    if (!waitFor([&] { return core.scheduler().serviceReplyReceived(); }, 15000)) {
        std::fprintf(stderr, "bench-eeprom: the simulated pump did not answer\n");
        return 1;
    }
    auto* service = qobject_cast<TfServiceTool*>(tool.window("fServiceTool"));
    service->setAttribute(Qt::WA_DontShowOnScreen);
    tool.service().setLogFolder(dir.filePath("log"));

    QElapsedTimer timer;
    timer.start();
    service->btReadAllPROM->click();
    const bool done = waitFor([&] { return !tool.service().eepromReadOutRunning(); }, 60000);
    const double seconds = timer.elapsed() / 1000.0;
    const QString status = service->statusLabel()->text();
    if (!done || status != "All EEPROM Read") {
        std::fprintf(stderr, "bench-eeprom: read-out did not complete (%s)\n", qPrintable(status));
        return 1;
    }
    QFile dump(file);
    dump.open(QIODevice::ReadOnly);
    const int lines = dump.readAll().count('\n');
    constexpr double kFloor = 192 * 0.050;
    std::printf("eeprom-read-all: %.2f s, %.2f x the 9.6 s floor, %d lines\n", seconds,
                seconds / kFloor, lines);
    std::fflush(stdout);
    std::_Exit(lines == 193 ? 0 : 1);
}
