// The adapter going away and coming back, on Qt's virtual CAN bus with the simulated pump as a
// separate process that hosts the bus: the tool declares the link lost, keeps its windows, and
// talks to the pump again by itself once the bus is back.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cstdio>

#include "event_loop.h"
#include "mainwindow/main_window.h"
#include "tool_harness.h"

namespace {

// A private virtual bus, so that no other test or tool on 35468 meets this one.
quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    return probe.serverPort();
}

class PumpProcess {
  public:
    explicit PumpProcess(const QString& interface) : interface_(interface) {}
    ~PumpProcess() { stop(); }
    bool start() {
        process_.start(PUMP_SIM_BINARY, {"--interface", interface_});
        return process_.waitForStarted(5000);
    }
    void stop() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

  private:
    QString interface_;
    QProcess process_;
};

TEST(AdapterLoss, TheToolResumesByItselfWhenTheBusHostReturns) {
    const quint16 port = freePort();
    ASSERT_NE(port, 0);
    const QString interface = QString("tcp://127.0.0.1:%1/can0").arg(port);
    PumpProcess pump("virtualcan:" + interface);
    ASSERT_TRUE(pump.start());  // the pump hosts the bus
    // Let the pump's process open the bus before the tool joins it as a client.
    const auto hosted = [port] {
        QTcpServer probe;
        return !probe.listen(QHostAddress::LocalHost, port);
    };
    ASSERT_TRUE(processEventsUntil(hosted, 10000));

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    ToolOptions options;
    options.adapter = "virtualcan:" + interface;
    options.settingsPath = dir.filePath("tool.ini");
    auto tool = std::make_unique<ToolApplication>(options, dialogs);
    tool->mainWindow().FormShow();  // opens the adapter, the scheduler runs on its own timer
    QLabel* status = tool->mainWindow().lStatus;
    ASSERT_TRUE(processEventsUntil([&] { return status->text() == "Pump connected"; }, 15000))
        << status->text().toStdString() << " | " << dialogs.texts().join(" | ").toStdString();

    // The host goes: the tool's connection drops with it.
    pump.stop();
    bool linkLost = false;
    ASSERT_TRUE(processEventsUntil(
        [&] {
            linkLost = linkLost || tool->core().flags().linkLost.load();
            return status->text() == "Pump not connected";
        },
        15000));
    EXPECT_TRUE(linkLost);
    EXPECT_NE(tool->window("fServiceTool"), nullptr) << "the windows stay";

    // The host comes back; the tool finds the pump again without being restarted.
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(pump.start());
    ASSERT_TRUE(processEventsUntil([&] { return status->text() == "Pump connected"; }, 20000))
        << status->text().toStdString();
    const qint64 resumedMs = back.elapsed();
    std::printf("adapter-return: the tool talks to the pump again %lld ms after the bus is back\n",
                static_cast<long long>(resumedMs));
    ASSERT_TRUE(
        processEventsUntil([&] { return tool->core().scheduler().serviceReplyReceived(); }, 10000));
    tool->core().link().close();
}

}  // namespace
