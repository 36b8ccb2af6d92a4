// Dosaris Service Tool (J1939): start-up.

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "app/about.h"
#include "app/dialogs.h"
#include "app/tool_settings.h"
#include "tool/tool_application.h"

int main(int argc, char* argv[]) {
    // Qt's own event dispatcher wakes up cheaper than the GLib one, and the tool wakes up 300 times
    // a second (scheduler tick and receive thread): about a tenth less idle load.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
    // Without TZ the C library looks at /etc/localtime again for every time stamp it converts,
    // and the CAN plugins stamp every frame: name the zone file once.
    if (!qEnvironmentVariableIsSet("TZ") && QFile::exists("/etc/localtime")) {
        qputenv("TZ", ":/etc/localtime");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(kToolTitle);
    QApplication::setApplicationVersion(versionText());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Service tool for the SCR urea-dosing pump controller, on SAE J1939 at 250 kbit/s.");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption adapterOption(
        "adapter",
        "CAN adapter: plugin:interface (socketcan:can0, peakcan:usb0, virtualcan:can0, ...) or "
        "\"simulator\" for the built-in simulated pump. Overrides [Adapter] Interface in tool.ini.",
        "VALUE");
    parser.addOption(adapterOption);
    parser.process(app);

    QtDialogs dialogs;
    try {
        ToolOptions options;
        options.settingsPath = QString::fromStdString(ToolSettings::defaultPath());
        ToolSettings settings(options.settingsPath.toStdString());
        options.adapter = parser.isSet(adapterOption)
                              ? parser.value(adapterOption)
                              : QString::fromStdString(settings.adapterInterface());
        ToolApplication tool(options, dialogs);
        tool.show();
        return app.exec();
    } catch (const std::exception& e) {
        dialogs.message(e.what(), kToolTitle, Dialogs::Icon::Error);
        return 1;
    }
}
