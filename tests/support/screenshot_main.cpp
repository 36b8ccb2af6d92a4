// Takes the README's screenshot: the tool on its built-in simulated pump, with the extended data
// shown, after a few poll rounds. Run it under a real X server (scripts/screenshot uses xvfb-run).
// `tool-screenshot out.png fInstaller 12` shoots the installer window at the extended level
// instead (the password dialog ends with the level given).

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/dialogs.h"
#include "mainwindow/main_window.h"
#include "tool/tool_application.h"

namespace {
// Nothing may wait on a modal box while the picture is taken.
class SilentDialogs : public QtDialogs {
  public:
    void message(const QString&, const QString&, Icon) override {}
    int execModal(QDialog&) override { return modalResult; }
    int modalResult = 0;
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : "main-window.png";
    const QString form = argc > 2 ? argv[2] : QString();
    QTemporaryDir dir;
    SilentDialogs dialogs;
    dialogs.modalResult = argc > 3 ? std::atoi(argv[3]) : 0;
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    ToolApplication tool(options, dialogs);
    tool.show();
    // A named window opens once the pump's pages have preset what it shows.
    QTimer::singleShot(form.isEmpty() ? 1000 : 6500, [&] {
        if (form == "fInstaller") {
            tool.mainWindow().Installer1->trigger();
        } else if (!form.isEmpty() && tool.window(form)) {
            tool.window(form)->show();
        } else {
            tool.mainWindow().Extendeddata1->trigger();
        }
    });
    QTimer::singleShot(form.isEmpty() ? 9000 : 10500, [&] {
        QWidget* shown =
            !form.isEmpty() && tool.window(form) ? tool.window(form) : &tool.mainWindow();
        // What the X server shows, so that a window that failed to repaint would show too.
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(shown->winId());
        const bool saved = shot.save(out);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        std::_Exit(saved ? 0 : 1);
    });
    return app.exec();
}
