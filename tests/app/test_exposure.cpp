// What the tool exposes beyond itself: it listens on no network but the loopback one, and no file
// it writes (settings, bus trace, exports) holds an installer password.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <set>
#include <string>

#include "event_loop.h"
#include "installer/installer.h"
#include "installer/password_dialog.h"
#include "mainwindow/main_window.h"
#include "mainwindow/main_window_module.h"
#include "sim_harness.h"

namespace {

// The socket inodes a process holds.
std::set<std::string> socketsOf(qint64 pid) {
    std::set<std::string> inodes;
    QDirIterator it(QString("/proc/%1/fd").arg(pid), QDir::System | QDir::Files);
    while (it.hasNext()) {
        char buffer[64] = {};
        const ssize_t n = ::readlink(it.next().toLocal8Bit().constData(), buffer, 63);
        const std::string text(buffer, n > 0 ? std::size_t(n) : 0);
        if (text.rfind("socket:[", 0) == 0) {
            inodes.insert(text.substr(8, text.size() - 9));
        }
    }
    return inodes;
}

struct Listening {
    std::string address;  // as /proc/net writes it
    std::string inode;
};

// Every listening TCP socket on the machine (state 0A in /proc/net/tcp and tcp6).
std::vector<Listening> listeningSockets() {
    std::vector<Listening> out;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile f(table);
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        f.readLine();  // titles
        while (!f.atEnd()) {
            const QStringList fields = QString(f.readLine()).simplified().split(' ');
            if (fields.size() > 9 && fields[3] == "0A") {
                out.push_back(
                    {fields[1].section(':', 0, 0).toStdString(), fields[9].toStdString()});
            }
        }
    }
    return out;
}

bool loopback(const std::string& address) {
    return address == "0100007F" || address == "00000000000000000000000001000000";
}

TEST(Exposure, TheToolListensOnLoopbackOnly) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    QTemporaryDir home;
    for (const QString& adapter :
         {QString("virtualcan:tcp://127.0.0.1:%1/can0").arg(port), QString("simulator")}) {
        SCOPED_TRACE(adapter.toStdString());
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path());
        tool.setProcessEnvironment(env);
        tool.start(TOOL_BINARY, {"--adapter", adapter});
        ASSERT_TRUE(tool.waitForStarted(5000));
        // Long enough for the adapter to be open (the virtual bus is hosted by the first user).
        processEventsUntil([] { return false; }, 2500);
        const std::set<std::string> mine = socketsOf(tool.processId());
        int listening = 0;
        for (const Listening& l : listeningSockets()) {
            if (mine.count(l.inode) != 0) {
                ++listening;
                EXPECT_TRUE(loopback(l.address)) << "listens on " << l.address;
            }
        }
        tool.kill();
        tool.waitForFinished(5000);
        if (adapter.startsWith("virtualcan")) {
            EXPECT_EQ(listening, 1) << "the virtual bus's host";
        } else {
            EXPECT_EQ(listening, 0);
        }
    }
}

// Every file below a folder, whole.
std::vector<std::pair<QString, QByteArray>> filesBelow(const QString& folder) {
    std::vector<std::pair<QString, QByteArray>> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly)) {
            out.emplace_back(f.fileName(), f.readAll());
        }
    }
    return out;
}

TEST(Exposure, NoFileTheToolWritesHoldsAPassword) {
    QTemporaryDir dir;
    SimHarness h;
    const QString trace = dir.filePath("session.log");
    ASSERT_TRUE(h.app().mainModule().startBusTrace(trace));
    h.run(8000);
    // The operator types the extended password into the real dialog.
    const QString password = "kex7304m61";
    h.dialogs.onModal = [&](QDialog& d) {
        if (auto* p = qobject_cast<TPasswordDlg*>(&d)) {
            p->Password->setText(password);
            p->OKBtn->click();
            return p->result();
        }
        return h.dialogs.modalResult;
    };
    h.app().mainWindow().Installer1->trigger();
    ASSERT_EQ(h.app().installer().accessLevel(), kAccessLevelExtended);
    h.run(4000);
    h.app().busTrace().stop();

    const QByteArray typed = password.toLatin1();
    const QByteArray asHex = typed.toHex().toUpper();  // as a frame's data in a trace line
    // The trace, and the folder of "tool.ini".
    std::vector<std::pair<QString, QByteArray>> files = filesBelow(dir.path());
    for (auto& file : filesBelow(QFileInfo(h.settingsPath()).path())) {
        files.push_back(std::move(file));
    }
    ASSERT_GE(files.size(), 2u);
    for (const auto& [name, bytes] : files) {
        EXPECT_FALSE(bytes.toLower().contains(typed)) << name.toStdString();
        EXPECT_FALSE(bytes.toUpper().contains(asHex)) << name.toStdString();
    }
    EXPECT_TRUE(h.app().installer().passwordDialog().Password->text().isEmpty())
        << "the dialog forgets what was typed";
}

}  // namespace
