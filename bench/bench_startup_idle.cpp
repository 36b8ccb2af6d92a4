// Start-up time and idle CPU of the real tool: the bench hosts Qt's virtual CAN bus, starts the
// stand-alone simulated pump and then the tool on that bus, and measures
//  - the time from starting the tool to its first frame on the bus (its address claim),
//  - the tool's CPU time over a quiet period with the pump connected and polled.
// Not a test: run it by hand, `build/bin/bench-startup-idle [seconds]`.

#include <unistd.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>

#include "comm/qt_can_driver.h"

namespace {

// utime + stime of a process, in seconds.
double cpuSeconds(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QString text = QString::fromLatin1(stat.readAll());
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QStringList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return -1;
    }
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

template <typename Done>
bool pumpUntil(QtCanDriver& bus, int ms, Done done) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        AdapterFrame f;
        while (bus.read(f) == kCanOk) {
            if (done(f)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    const QString binDir = QCoreApplication::applicationDirPath();

    QtCanDriver bus("virtualcan", "can0");
    if (!bus.createDevice() || bus.init() != kCanOk) {
        std::fprintf(stderr, "bench-startup-idle: virtual CAN bus not available\n");
        return 1;
    }
    pumpUntil(bus, 300, [](const AdapterFrame&) { return false; });

    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path());

    QProcess pump;
    pump.setProcessEnvironment(env);
    pump.start(binDir + "/dosaris-pump-sim", {"--interface", "virtualcan:can0"});
    if (!pump.waitForStarted(5000)) {
        std::fprintf(stderr, "bench-startup-idle: cannot start dosaris-pump-sim\n");
        return 1;
    }
    pumpUntil(bus, 500, [](const AdapterFrame&) { return false; });

    QProcess tool;
    tool.setProcessEnvironment(env);
    QElapsedTimer startup;
    startup.start();
    tool.start(binDir + "/dosaris-service-tool", {"--adapter", "virtualcan:can0"});
    if (!tool.waitForStarted(5000)) {
        std::fprintf(stderr, "bench-startup-idle: cannot start dosaris-service-tool\n");
        return 1;
    }
    const bool probed = pumpUntil(bus, 10000, [](const AdapterFrame& f) {
        // Its own Address Claimed from 249, or the probe.
        return f.id == 0x18EEFFF9 || f.id == 0x18EEFFFF;
    });
    const qint64 startupMs = startup.elapsed();

    // Connected and polled: the tool requests the pump's Proprietary A replies from 249.
    const bool polling = pumpUntil(bus, 15000, [](const AdapterFrame& f) {
        return (f.id & 0x03FFFFFF) == 0x00EA3DF9 && f.len == 3 && f.data[1] == 0xEF;
    });

    // Let the first all-pages reply, the identification and the first paints settle.
    pumpUntil(bus, 5000, [](const AdapterFrame&) { return false; });
    const double cpu0 = cpuSeconds(tool.processId());
    QElapsedTimer idle;
    idle.start();
    int framesFromTool = 0;
    pumpUntil(bus, idleSeconds * 1000, [&](const AdapterFrame& f) {
        if ((f.id & 0xFF) == 249) {
            ++framesFromTool;
        }
        return false;
    });
    const double cpu1 = cpuSeconds(tool.processId());
    const double wall = idle.elapsed() / 1000.0;
    const double cpuPercent = 100.0 * (cpu1 - cpu0) / wall;

    tool.kill();
    pump.kill();
    tool.waitForFinished(3000);
    pump.waitForFinished(3000);
    bus.close();

    std::printf("probe seen: %s, pump polled: %s, frames from the tool while idle: %d\n",
                probed ? "yes" : "no", polling ? "yes" : "no", framesFromTool);
    std::printf("startup: %lld ms to the first frame on the bus\n",
                static_cast<long long>(startupMs));
    std::printf("idle: %.2f%% of one core over %.1f s with the pump connected\n", cpuPercent, wall);
    return probed && polling ? 0 : 1;
}
