// dosaris-pump-sim as a separate process on Qt's virtual CAN bus, driven as the tool drives a
// pump: probe, command, request, long reply through the transport protocol.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <vector>

#include "comm/qt_can_driver.h"
#include "event_loop.h"

namespace {

AdapterFrame extended(uint32_t id, std::vector<uint8_t> bytes) {
    AdapterFrame f;
    f.id = id;
    f.msgType = kMsgTypeExtended;
    f.len = uint8_t(bytes.size());
    std::copy(bytes.begin(), bytes.end(), f.data);
    return f;
}

TEST(PumpSimProcess, AnswersProbeAndCommandOverVirtualCan) {
    QtCanDriver bus("virtualcan", "can0");
    if (!bus.createDevice() || bus.init() != kCanOk) {
        GTEST_SKIP() << "virtual CAN bus not available";
    }
    QProcess pump;
    pump.start(PUMP_SIM_BINARY, {"--interface", "virtualcan:can0", "--no-sensors"});
    ASSERT_TRUE(pump.waitForStarted(5000));

    std::vector<AdapterFrame> seen;
    auto drain = [&] {
        AdapterFrame f;
        while (bus.read(f) == kCanOk) {
            seen.push_back(f);
        }
    };
    auto has = [&](auto pred) {
        drain();
        return std::any_of(seen.begin(), seen.end(), pred);
    };

    // The tool's probe until the pump claims 61 (it may come up after the first probes).
    bool claimed = false;
    for (int round = 0; round < 20 && !claimed; ++round) {
        bus.write(extended(0x18EEFFFF, {0, 0, 0, 0, 0, 0, 0, 0}));
        claimed = processEventsUntil(
            [&] { return has([](const AdapterFrame& f) { return f.id == 0x18EEFF3D; }); }, 500);
    }
    ASSERT_TRUE(claimed) << "no Address Claimed from 61";

    // Request all pages, then ask for the reply: 247 bytes come back through TP.CM and 36 TP.DT.
    seen.clear();
    bus.write(extended(0x18EF3DF9, {0, 0, 0, 0, 0, 0, 0, 200}));
    bus.write(extended(0x18EA3DF9, {0x00, 0xEF, 0x00}));
    const bool complete = processEventsUntil(
        [&] {
            drain();
            return std::count_if(seen.begin(), seen.end(), [](const AdapterFrame& f) {
                       return f.id == 0x1CEBF93D || f.id == 0x18EBF93D;
                   }) >= 36;
        },
        5000);
    pump.kill();
    pump.waitForFinished(3000);
    bus.close();
    ASSERT_TRUE(complete);
    const auto cm = std::find_if(seen.begin(), seen.end(), [](const AdapterFrame& f) {
        return (f.id & 0xFFFFFF) == 0xECF93D;
    });
    ASSERT_NE(cm, seen.end());
    EXPECT_EQ(cm->data[0], 32);
    EXPECT_EQ(cm->data[1] | (cm->data[2] << 8), 247);
    EXPECT_EQ(cm->data[3], 36);
    EXPECT_EQ(cm->data[5] | (cm->data[6] << 8), 0xEF00);
}

TEST(PumpSimProcess, ErrorLogSizeIsCheckedBeforeTheBusOpens) {
    const struct {
        const char* value;
        bool accepted;
    } cases[] = {{"1501", false}, {"-1", false}, {"forty", false}, {"1500", true}};
    for (const auto& c : cases) {
        QProcess pump;
        // An interface of a plugin that does not exist: an accepted value gets as far as the bus.
        pump.start(PUMP_SIM_BINARY,
                   {"--error-log-records", c.value, "--interface", "no-such-plugin:can9"});
        ASSERT_TRUE(pump.waitForFinished(10000)) << c.value;
        const QString err = QString::fromLocal8Bit(pump.readAllStandardError());
        EXPECT_EQ(pump.exitCode(), 2) << c.value;
        EXPECT_EQ(err.contains("--error-log-records must be 0..1500"), !c.accepted)
            << c.value << ": " << err.toStdString();
        if (c.accepted) {
            EXPECT_TRUE(err.contains("no CAN plugin no-such-plugin")) << err.toStdString();
        }
    }
}

}  // namespace
