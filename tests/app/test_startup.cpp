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

#include "app/about.h"
#include "comm/qt_can_driver.h"
#include "mainwindow/main_window.h"
#include "tool_harness.h"

namespace {

TEST(Startup, WindowsAreCreatedHiddenWithTheirNamesAndCaptions) {
    ToolHarness h;
    ToolApplication& app = h.app();
    EXPECT_EQ(app.mainWindow().windowTitle(), "Dosaris Service Tool (J1939)");
    struct Expect {
        const char* name;
        const char* caption;
    } windows[] = {
        {"fServiceTool", "Service Tool"},
        {"fInstaller", "Configure System"},
        {"PasswordDlg", "Password Dialog"},
        {"fUserCalibration", "User Calibration"},
        {"fPurge", "Purge in progress"},
        {"fNOxSensor", "NOx Sensor Data"},
        {"fOBD", "On Board Diagnostics"},
        {"frmAboutBox", "About"},
        {"frmClosingApplication", "Closing application"},
        {"fUdsErrorLog", "UDS error log"},
        {"frmTorqueLimiter", "Torque limiter"},
    };
    for (const Expect& w : windows) {
        QWidget* window = app.window(w.name);
        ASSERT_NE(window, nullptr) << w.name;
        EXPECT_EQ(window->windowTitle(), w.caption);
        EXPECT_FALSE(window->isVisible()) << w.name;
    }
}

TEST(Startup, FormShowOpensAdapterAndStartsScheduler) {
    ToolHarness h;
    h.mainWindow().FormShow();
    EXPECT_TRUE(h.core().link().opened());
    EXPECT_TRUE(h.mainWindow().tmrTx->isActive());
    EXPECT_EQ(h.mainWindow().tmrTx->interval(), 10);
    EXPECT_FALSE(h.core().flags().stopRequested.load());
    EXPECT_EQ(h.status(), "Trying to communicate with pump");
    EXPECT_EQ(h.label("lAlarmCode"), "?");
}

TEST(Startup, AboutBoxListsDriverVersionOnEveryShowing) {
    ToolHarness h;
    h.start();
    h.app().mainModule().showAbout();
    h.app().mainModule().showAbout();
    EXPECT_EQ(h.dialogs.modals, QStringList({"frmAboutBox", "frmAboutBox"}));
    auto* about = qobject_cast<TfrmAboutBox*>(h.app().window("frmAboutBox"));
    ASSERT_NE(about, nullptr);
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
