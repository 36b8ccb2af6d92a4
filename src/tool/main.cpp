// Dosaris Service Tool (J1939): start-up.

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
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
    // The version needs no display: a terminal without one (or a package check) can ask.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("%s %s\n", kToolTitle, qPrintable(versionText()));
            return 0;
        }
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
        "\"simulator\" for the built-in simulated pump, or replay:FILE to play a bus trace "
        "(candump "
        "log) into the tool at its recorded pace, replay:FILE@10x ten times faster. Overrides "
        "[Adapter] Interface in tool.ini.",
        "VALUE");
    parser.addOption(adapterOption);
    QCommandLineOption traceOption(
        "trace",
        "Records every frame received and sent, with its time, into FILE (candump log format, "
        "read by can-utils and python-can).",
        "FILE");
    parser.addOption(traceOption);
    parser.process(app);

    QtDialogs dialogs;
    try {
        ToolOptions options;
        options.settingsPath = QString::fromStdString(ToolSettings::defaultPath());
        ToolSettings settings(options.settingsPath.toStdString());
        options.adapter = parser.isSet(adapterOption)
                              ? parser.value(adapterOption)
                              : QString::fromStdString(settings.adapterInterface());
        options.tracePath = parser.value(traceOption);
        ToolApplication tool(options, dialogs);
        tool.show();
        return app.exec();
    } catch (const std::exception& e) {
        dialogs.message(e.what(), kToolTitle, Dialogs::Icon::Error);
        return 1;
    }
}
