// Takes the README's screenshots: the tool on its built-in simulated pump, after a few poll
// rounds. `tool-screenshot out.png` shoots the main window with the extended data shown;
// `tool-screenshot out.png fServiceTool` shoots that window instead (the service window with a
// nozzle flow test running). Run it under a real X server (scripts/screenshot uses xvfb-run).

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/dialogs.h"
#include "mainwindow/main_window.h"
#include "service/service_tool.h"
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
    const QString formName = argc > 2 ? argv[2] : QString();
    QTemporaryDir dir;
    SilentDialogs dialogs;
    ToolOptions options;
    options.adapter = "simulator";
    options.settingsPath = dir.filePath("tool.ini");
    ToolApplication tool(options, dialogs);
    tool.show();
    QWidget* shown = &tool.mainWindow();
    if (formName.isEmpty()) {
        QTimer::singleShot(1000, [&] { tool.mainWindow().Extendeddata1->trigger(); });
    } else {
        shown = tool.window(formName);
        if (shown == nullptr) {
            std::printf("no window %s\n", qPrintable(formName));
            return 1;
        }
        QTimer::singleShot(1000, [shown] {
            shown->move(0, 0);
            shown->show();
            shown->raise();
            shown->activateWindow();
        });
        if (auto* service = qobject_cast<TfServiceTool*>(shown)) {
            QTimer::singleShot(3000, [service] { service->btTestNozzleFlow->click(); });
        }
    }
    QTimer::singleShot(9000, [&] {
        // What the X server shows, so that a window that failed to repaint would show too.
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(shown->winId());
        const bool saved = shot.save(out);
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(out));
        std::_Exit(saved ? 0 : 1);
    });
    return app.exec();
}
