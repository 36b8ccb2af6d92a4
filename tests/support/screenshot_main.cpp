// Takes the README's screenshot: the tool on its built-in simulated pump, with the extended data
// shown, after a few poll rounds. Run it under a real X server (scripts/screenshot uses xvfb-run).

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/dialogs.h"
#include "mainwindow/main_window.h"
#include "sim/simulator_node.h"
#include "tool/tool_application.h"

namespace {
// Nothing may wait on a modal box while the picture is taken.
class SilentDialogs : public QtDialogs {
  public:
    void message(const QString&, const QString&, Icon) override {}
};
}  // namespace

// Shoots the window with form name `formName` alone: the tool runs on its simulated pump with
// time driven by hand, `seconds` of it in a moment, so that the window shows minutes of values.
int shootWindow(const QString& out, const QString& formName, int seconds) {
    QTemporaryDir dir;
    SilentDialogs dialogs;
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    ToolApplication tool(options, dialogs);
    QWidget* window = tool.window(formName);
    if (window == nullptr) {
        std::printf("no window %s\n", qPrintable(formName));
        return 1;
    }
    uint64_t nowMs = 0;
    tool.trends().model().setClock([&nowMs] { return double(nowMs) / 1000.0; });
    tool.simulator()->stop();
    tool.core().link().load();
    tool.mainWindow().tmrTx->stop();
    CanDriver* driver = tool.core().link().driver();
    if (driver == nullptr || driver->init() != kCanOk) {
        return 1;
    }
    for (; nowMs < uint64_t(seconds) * 1000; nowMs += 10) {
        tool.core().scheduler().schedulerTick();
        tool.simulator()->tick();
        std::vector<AdapterFrame> batch;
        AdapterFrame frame;
        while (driver->read(frame) == kCanOk) {
            batch.push_back(frame);
        }
        if (!batch.empty()) {
            tool.core().handOver(batch);
        }
    }
    window->show();
    QTimer::singleShot(1500, [&] {
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window->winId());
        const bool saved = shot.save(out);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        std::_Exit(saved ? 0 : 1);
    });
    return QApplication::exec();
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : "main-window.png";
    // tool-screenshot FILE FORMNAME [SECONDS]: one secondary window after SECONDS of pump time.
    if (argc > 2) {
        return shootWindow(out, argv[2], argc > 3 ? std::atoi(argv[3]) : 300);
    }
    QTemporaryDir dir;
    SilentDialogs dialogs;
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    ToolApplication tool(options, dialogs);
    tool.show();
    QTimer::singleShot(1000, [&] { tool.mainWindow().Extendeddata1->trigger(); });
    QTimer::singleShot(9000, [&] {
        // What the X server shows, so that a window that failed to repaint would show too.
        const QPixmap shot =
            QGuiApplication::primaryScreen()->grabWindow(tool.mainWindow().winId());
        const bool saved = shot.save(out);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        std::_Exit(saved ? 0 : 1);
    });
    return app.exec();
}
