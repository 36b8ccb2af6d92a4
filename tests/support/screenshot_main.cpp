// Takes the README's screenshots: the tool on its built-in simulated pump, after a few poll rounds.
// Run it under a real X server (scripts/screenshot uses xvfb-run).
//   tool-screenshot out.png                        the main window with the extended data
//   tool-screenshot out.png fNOxSensor             that window instead
//   tool-screenshot out.png fUdsErrorLog btnReadErrorLog   ... with the button pressed first
//   tool-screenshot out.png fInstaller 12          the installer at that access level (the
//                                                  password dialog ends with the level)
//   tool-screenshot out.png fTrends 420            the trends after that many seconds of pump
//                                                  time, run by hand in a moment

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
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
    int execModal(QDialog& dialog) override {
        return modalResult >= 0 ? modalResult : QtDialogs::execModal(dialog);
    }
    int modalResult = -1;
};
}  // namespace

// Shoots the window with form name `formName` alone: the tool runs on its simulated pump with
// time driven by hand, `seconds` of it in a moment, so that the window shows minutes of values.
int shootAfterPumpTime(const QString& out, const QString& formName, int seconds) {
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
    const QString form = argc > 2 ? argv[2] : QString();
    const QString extra = argc > 3 ? argv[3] : QString();
    bool isLevel = false;
    const int level = extra.toInt(&isLevel);
    if (form == "fTrends") {
        return shootAfterPumpTime(out, form, isLevel ? level : 300);
    }
    QTemporaryDir dir;
    SilentDialogs dialogs;
    if (isLevel) {
        dialogs.modalResult = level;
    }
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    ToolApplication tool(options, dialogs);
    tool.show();
    QWidget* window = form.isEmpty() ? &tool.mainWindow() : tool.window(form);
    if (window == nullptr) {
        std::printf("no window %s\n", qPrintable(form));
        return 1;
    }
    // A named window opens once the pump's pages have preset what it shows.
    QTimer::singleShot(form.isEmpty() ? 1000 : 6500, [&] {
        if (form.isEmpty()) {
            tool.mainWindow().Extendeddata1->trigger();
        } else if (form == "fInstaller") {
            tool.mainWindow().Installer1->trigger();
        } else {
            window->move(0, 0);
            window->show();
            window->raise();
            window->activateWindow();
        }
    });
    if (!extra.isEmpty() && !isLevel) {
        QTimer::singleShot(7000, [window, extra] {
            if (auto* b = window->findChild<QPushButton*>(extra)) {
                b->click();
            }
        });
    }
    QTimer::singleShot(form.isEmpty() ? 9000 : 10500, [&] {
        // What the X server shows, so that a window that failed to repaint would show too.
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window->winId());
        const bool saved = shot.save(out);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        std::_Exit(saved ? 0 : 1);
    });
    return app.exec();
}
