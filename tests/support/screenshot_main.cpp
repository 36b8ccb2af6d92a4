// Takes the README's screenshot: the tool on its built-in simulated pump, with the extended data
// shown, after a few poll rounds. Run it under a real X server (scripts/screenshot uses xvfb-run).
//   tool-screenshot out.png [form [button]]
// With a form name ("fNOxSensor") that window is shown and shot instead of the main window; with a
// button name too ("btnReadErrorLog") the button is pressed once the pump has answered.

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/dialogs.h"
#include "mainwindow/main_window.h"
#include "tool/tool_application.h"

namespace {
// Nothing may wait on a modal box while the picture is taken.
class SilentDialogs : public QtDialogs {
  public:
    void message(const QString&, const QString&, Icon) override {}
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : "main-window.png";
    QTemporaryDir dir;
    SilentDialogs dialogs;
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    ToolApplication tool(options, dialogs);
    tool.show();
    QTimer::singleShot(1000, [&] { tool.mainWindow().Extendeddata1->trigger(); });
    QWidget* window = &tool.mainWindow();
    if (argc > 2) {
        window = tool.window(argv[2]);
        if (!window) {
            std::printf("no window %s\n", argv[2]);
            return 1;
        }
        QTimer::singleShot(1500, [window] {
            window->move(0, 0);
            window->show();
            window->raise();
            window->activateWindow();
        });
    }
    if (argc > 3) {
        QTimer::singleShot(4000, [window, button = QString(argv[3])] {
            if (auto* b = window->findChild<QPushButton*>(button)) {
                b->click();
            }
        });
    }
    QTimer::singleShot(9000, [&] {
        // What the X server shows, so that a window that failed to repaint would show too.
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window->winId());
        const bool saved = shot.save(out);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        std::_Exit(saved ? 0 : 1);
    });
    return app.exec();
}
