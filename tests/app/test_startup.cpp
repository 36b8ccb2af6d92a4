// Start-up of the real program: windows in order, the About box, and the binary itself probing for
// the pump on Qt's virtual CAN bus.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include "comm/qt_can_driver.h"
#include "tool_harness.h"

namespace {

TEST(Startup, WindowsAreCreatedHiddenWithTheirNamesAndCaptions) {
    ToolHarness h;
    ToolApplication& app = h.app();
    EXPECT_EQ(app.Form1->windowTitle(), "Dosaris Service Tool (J1939)");
    struct Expect {
        QWidget* window;
        const char* name;
        const char* caption;
    } windows[] = {
        {app.fServiceTool, "fServiceTool", "Service Tool"},
        {app.fInstaller, "fInstaller", "Configure System"},
        {app.PasswordDlg, "PasswordDlg", "Password Dialog"},
        {app.fUserCalibration, "fUserCalibration", "User Calibration"},
        {app.fNOxSensor, "fNOxSensor", "NOx Sensor Data"},
        {app.fOBD, "fOBD", "On Board Diagnostics"},
        {app.frmAboutBox, "frmAboutBox", "About"},
        {app.fUdsErrorLog, "fUdsErrorLog", "UDS error log"},
        {app.frmTorqueLimiter, "frmTorqueLimiter", "Torque limiter"},
    };
    for (const Expect& w : windows) {
        EXPECT_EQ(w.window->objectName(), w.name);
        EXPECT_EQ(w.window->windowTitle(), w.caption);
        EXPECT_FALSE(w.window->isVisible()) << w.name;
    }
}

TEST(Startup, FormShowOpensAdapterAndStartsScheduler) {
    ToolHarness h;
    h.app().Form1->FormShow();
    EXPECT_TRUE(h.core().link.opened());
    EXPECT_TRUE(h.app().Form1->tmrTx->isActive());
    EXPECT_EQ(h.app().Form1->tmrTx->interval(), 10);
    EXPECT_FALSE(h.core().flags.stopRequested.load());
    EXPECT_EQ(h.status(), "Trying to communicate with pump");
    EXPECT_EQ(h.label("lAlarmCode"), "?");
}

TEST(Startup, AboutBoxListsDriverVersionOnEveryShowing) {
    ToolHarness h;
    h.start();
    h.app().showAbout();
    h.app().showAbout();
    EXPECT_EQ(h.dialogs.modals, QStringList({"frmAboutBox", "frmAboutBox"}));
    auto* about = h.app().frmAboutBox;
    EXPECT_EQ(about->productName->text(), "Dosaris Service Tool (J1939)");
    EXPECT_EQ(about->version->text(), "0.14 (Full edition)");
    EXPECT_EQ(about->comments->toPlainText(), "Recording test adapter\nRecording test adapter\n");
}

TEST(Startup, SmallScreenMessageFollowsScreenSize) {
    ToolHarness h;
    h.start();
    const QSize size = QGuiApplication::primaryScreen()->size();
    const bool small = size.width() < 1024 || size.height() < 768;
    EXPECT_EQ(
        h.dialogs.texts().contains("The program is designed for 1024 x 768 screen resolution !"),
        small);
}

// Pumps the event loop until `done` holds or the deadline passes.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

TEST(Startup, BinaryProbesForThePumpOnVirtualCan) {
    QtCanDriver peer("virtualcan", "can0");
    if (!peer.createDevice() || peer.init() != kCanOk) {
        GTEST_SKIP() << "virtual CAN bus not available";
    }
    QTemporaryDir home;
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path());
    tool.setProcessEnvironment(env);
    tool.start(TOOL_BINARY, {"--adapter", "virtualcan:can0"});
    ASSERT_TRUE(tool.waitForStarted(5000));

    bool probed = false;
    waitFor(
        [&] {
            AdapterFrame f;
            while (peer.read(f) == kCanOk) {
                if (f.id == 0x18EEFFFF && f.msgType == kMsgTypeExtended && f.len == 8) {
                    probed = true;
                }
            }
            return probed;
        },
        20000);
    tool.kill();
    tool.waitForFinished(5000);
    peer.close();
    EXPECT_TRUE(probed) << "no Address Claimed probe from the tool";
}

TEST(Startup, VersionOptionPrintsTheVersionText) {
    QProcess tool;
    tool.start(TOOL_BINARY, {"--version"});
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_TRUE(QString::fromUtf8(tool.readAllStandardOutput()).contains("0.14 (Full edition)"));
}

}  // namespace
