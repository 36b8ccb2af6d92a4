// dosaris-pump-sim: the simulated dosing pump and its two NOx sensors on a real or virtual CAN bus,
// for trying a service tool without a vehicle.

#include <QCanBusDevice>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "comm/qt_can_driver.h"
#include "sim/simulator_node.h"

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "dosaris-pump-sim: %s\n", qPrintable(text));
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dosaris-pump-sim"));

    QStringList faults;
    for (auto name : sim::faultNames()) {
        faults << QString::fromLatin1(name.data(), qsizetype(name.size()));
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated SCR urea-dosing pump with its upstream (81) and downstream (82) "
                       "NOx sensors, on SAE J1939 at 250 kbit/s."));
    parser.addHelpOption();
    const QCommandLineOption interfaceOption(
        QStringLiteral("interface"),
        QStringLiteral("CAN interface as plugin:interface (socketcan:can0, virtualcan:can0, ...)."),
        QStringLiteral("plugin:interface"), QStringLiteral("virtualcan:can0"));
    const QCommandLineOption addressOption(
        QStringLiteral("address"), QStringLiteral("J1939 address of the pump (default 61)."),
        QStringLiteral("N"), QStringLiteral("61"));
    const QCommandLineOption softwareOption(
        QStringLiteral("software"),
        QStringLiteral(
            "Pump software version M.mm, for example 0.05, 0.09, 0.11, 1.02 (default 0.11)."),
        QStringLiteral("M.mm"), QStringLiteral("0.11"));
    const QCommandLineOption noSensorsOption(QStringLiteral("no-sensors"),
                                             QStringLiteral("Run without the two NOx sensors."));
    const QCommandLineOption gapOption(
        QStringLiteral("tp-gap-ms"),
        QStringLiteral("Gap between the packets of a long reply in ms (default 5)."),
        QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"), QStringLiteral("Seed of the drifting live values (default 1)."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption faultOption(QStringLiteral("fault"),
                                         QStringLiteral("Inject a fault; repeatable. One of: %1.")
                                             .arg(faults.join(QStringLiteral(", "))),
                                         QStringLiteral("NAME"));
    const QCommandLineOption customerOption(
        QStringLiteral("customer-access"),
        QStringLiteral("Answer the test-mode request with customer access (software 0.11 on)."));
    const QCommandLineOption dm1FixedOption(
        QStringLiteral("dm1-fixed"),
        QStringLiteral("Keep DM1 support as it is: answer command 166 with the unchanged state, "
                       "as older pumps do."));
    const QCommandLineOption errorLogOption(
        QStringLiteral("error-log-records"),
        QStringLiteral("Records in the pump's error log, 0..%1 (default %2).")
            .arg(sim::layout::elog::kCapacity)
            .arg(sim::layout::elog::kDefaultRecords),
        QStringLiteral("N"), QString::number(sim::layout::elog::kDefaultRecords));
    const QCommandLineOption deliveryOption(
        QStringLiteral("delivery-permille"),
        QStringLiteral("What the pump delivers for 1000 parts asked before a user calibration, "
                       "500..2000 (default 1040: a calibration run pumps about 1040 g)."),
        QStringLiteral("N"), QStringLiteral("1040"));
    parser.addOptions({interfaceOption, addressOption, softwareOption, noSensorsOption, gapOption,
                       seedOption, faultOption, customerOption, dm1FixedOption, errorLogOption,
                       deliveryOption});
    parser.process(app);

    sim::PumpOptions options;
    bool ok = false;
    const uint address = parser.value(addressOption).toUInt(&ok);
    if (!ok || address > 253) {
        return fail(QStringLiteral("--address must be 0..253"));
    }
    options.address = static_cast<uint8_t>(address);
    const auto version = sim::parseSoftwareVersion(parser.value(softwareOption).toStdString());
    if (!version) {
        return fail(QStringLiteral("--software must look like 0.11"));
    }
    options.software = *version;
    options.sensors = !parser.isSet(noSensorsOption);
    const uint gap = parser.value(gapOption).toUInt(&ok);
    if (!ok || gap > 1000) {
        return fail(QStringLiteral("--tp-gap-ms must be 0..1000"));
    }
    options.tpGapMs = gap;
    options.seed = parser.value(seedOption).toUInt(&ok);
    if (!ok) {
        return fail(QStringLiteral("--seed must be a number"));
    }
    options.customerAccessMode = parser.isSet(customerOption);
    options.dm1SupportFixed = parser.isSet(dm1FixedOption);
    const uint records = parser.value(errorLogOption).toUInt(&ok);
    if (!ok || records > sim::layout::elog::kCapacity) {
        return fail(
            QStringLiteral("--error-log-records must be 0..%1").arg(sim::layout::elog::kCapacity));
    }
    options.errorLogRecords = static_cast<uint16_t>(records);
    const uint delivery = parser.value(deliveryOption).toUInt(&ok);
    if (!ok || delivery < 500 || delivery > 2000) {
        return fail(QStringLiteral("--delivery-permille must be 500..2000"));
    }
    options.deliveryPermille = static_cast<uint16_t>(delivery);
    for (const QString& name : parser.values(faultOption)) {
        const auto fault = sim::faultFromName(name.toStdString());
        if (!fault) {
            return fail(QStringLiteral("unknown fault %1 (known: %2)")
                            .arg(name, faults.join(QStringLiteral(", "))));
        }
        options.setFault(*fault);
    }

    QString plugin;
    QString interfaceName;
    if (!QtCanDriver::parseAdapter(parser.value(interfaceOption), plugin, interfaceName)) {
        return fail(QStringLiteral("--interface must be plugin:interface"));
    }
    if (!QtCanDriver::pluginAvailable(plugin)) {
        return fail(QStringLiteral("no CAN plugin %1").arg(plugin));
    }
    QtCanDriver driver(plugin, interfaceName);
    if (!driver.createDevice()) {
        return fail(driver.errorText());
    }
    if (driver.init() != kCanOk) {
        return fail(driver.errorText());
    }

    auto node = sim::SimulatorNode::onDriver(driver, options);
    // The pump powers on once the adapter is connected: a claim sent before would be lost.
    QTimer waitForBus;
    waitForBus.setInterval(10);
    int waitedMs = 0;
    QObject::connect(&waitForBus, &QTimer::timeout, [&] {
        waitedMs += 10;
        if (driver.status() == uint32_t(QCanBusDevice::ConnectedState)) {
            waitForBus.stop();
            node->start();
            std::fprintf(stderr, "dosaris-pump-sim: pump at %u, software %u.%02u, on %s\n",
                         unsigned(options.address), unsigned(options.software.major),
                         unsigned(options.software.minor),
                         qPrintable(parser.value(interfaceOption)));
        } else if (waitedMs >= 5000) {
            waitForBus.stop();
            std::fprintf(stderr, "dosaris-pump-sim: %s did not connect\n",
                         qPrintable(parser.value(interfaceOption)));
            QCoreApplication::exit(1);
        }
    });
    waitForBus.start();
    const int rc = app.exec();
    node.reset();
    driver.close();
    return rc;
}
