// The QtSerialBus driver: adapter settings, loading, and frames over the virtual CAN bus.
#include <gtest/gtest.h>

#include <QCanBusDevice>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "comm/qt_can_driver.h"
#include "event_loop.h"
#include "frame_script.h"

using script::adapterFrame;
using script::bytesOf;

namespace {

TEST(QtCanDriverTest, AdapterSettingSplitsIntoPluginAndInterface) {
    struct Case {
        const char* text;
        std::optional<std::pair<QString, QString>> parts;
    };
    const std::vector<Case> cases = {
        {"socketcan:can0", {{"socketcan", "can0"}}},
        {" peakcan : usb0 ", {{"peakcan", "usb0"}}},
        {"virtualcan:can1:x", {{"virtualcan", "can1:x"}}},
        {"simulator", std::nullopt},
        {":can0", std::nullopt},
        {"socketcan:", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QString plugin = "unchanged";
        QString iface = "unchanged";
        ASSERT_EQ(QtCanDriver::parseAdapter(c.text, plugin, iface), c.parts.has_value());
        if (c.parts) {
            EXPECT_EQ(plugin, c.parts->first);
            EXPECT_EQ(iface, c.parts->second);
        } else {
            EXPECT_EQ(plugin, "unchanged");
        }
    }
}

TEST(QtCanDriverTest, LoadingTellsAMissingPluginFromAWorkingOne) {
    using R = CanDriverLibrary::LoadResult;
    struct Case {
        const char* adapter;
        R result;
    };
    for (const Case c : {Case{"nosuchplugin:can0", R::LibraryMissing},
                         Case{"simulator", R::LibraryMissing}, Case{"virtualcan:can0", R::Ok}}) {
        SCOPED_TRACE(c.adapter);
        QtCanDriverLibrary library(c.adapter);
        std::unique_ptr<CanDriver> driver;
        EXPECT_EQ(library.load(driver), c.result);
        EXPECT_EQ(driver != nullptr, c.result == R::Ok);
    }
}

TEST(QtCanDriverTest, APluginThatCannotMakeADeviceCountsAsAMissingFunction) {
    // The PEAK plugin needs its vendor library; where that is installed there is nothing to show.
    QtCanDriver probe("peakcan", "usb0");
    if (probe.createDevice()) {
        GTEST_SKIP() << "the peakcan plugin can make devices on this machine";
    }
    EXPECT_FALSE(probe.errorText().isEmpty());
    EXPECT_EQ(probe.init(), kCanError);
    QtCanDriverLibrary library("peakcan:usb0");
    std::unique_ptr<CanDriver> driver;
    EXPECT_EQ(library.load(driver), CanDriverLibrary::LoadResult::FunctionMissing);
    EXPECT_EQ(driver, nullptr);
}

TEST(QtCanDriverTest, VersionNamesPluginInterfaceAndQt) {
    QtCanDriver driver("virtualcan", "can1");
    const std::string text = driver.versionInfo();
    EXPECT_NE(text.find("virtualcan"), std::string::npos) << text;
    EXPECT_NE(text.find("can1"), std::string::npos) << text;
    EXPECT_NE(text.find(qVersion()), std::string::npos) << text;
}

TEST(QtCanDriverTest, AnUnopenedDriverRefusesToWriteAndHasNothingToRead) {
    QtCanDriver driver("virtualcan", "can0");
    AdapterFrame f;
    EXPECT_NE(driver.write(adapterFrame(0x18EFF93D, {1})), kCanOk);
    EXPECT_EQ(driver.read(f), kCanQueueEmpty);
}

constexpr quint16 kVirtualCanPort = 35468;

// Reads until a frame with this identifier arrives (other processes may share the virtual bus).
std::optional<AdapterFrame> receiveId(QtCanDriver& driver, uint32_t id) {
    std::optional<AdapterFrame> got;
    processEventsUntil([&] {
        AdapterFrame f;
        while (driver.read(f) == kCanOk) {
            if (f.id == id) {
                got = f;
                return true;
            }
        }
        return false;
    });
    return got;
}

TEST(QtCanDriverTest, FramesCrossTheVirtualBus) {
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, kVirtualCanPort)) {
            GTEST_SKIP() << "the virtual CAN port " << kVirtualCanPort << " is in use";
        }
    }
    QtCanDriver host("virtualcan", "can0");
    QtCanDriver client("virtualcan", "can0");
    ASSERT_TRUE(host.createDevice()) << host.errorText().toStdString();
    ASSERT_EQ(host.init(), kCanOk);
    ASSERT_TRUE(client.createDevice()) << client.errorText().toStdString();
    ASSERT_EQ(client.init(), kCanOk);
    const auto connected = [](QtCanDriver& d) {
        return d.status() == uint32_t(QCanBusDevice::ConnectedState);
    };
    ASSERT_TRUE(processEventsUntil([&] { return connected(host) && connected(client); }));
    // Setting up the bus (the bit rate the virtual bus has no use for) is not a link failure.
    AdapterFrame none;
    EXPECT_NE(host.read(none), kCanError);
    EXPECT_NE(client.read(none), kCanError);

    const std::vector<AdapterFrame> frames = {
        adapterFrame(0x18EFF93D, {1, 2, 3, 4, 5, 6, 7, 8}),  // Proprietary A, pump -> tool
        adapterFrame(0x1CECFF3D, {32, 17, 0, 3, 0xFF, 0xEC, 0xFE, 0}),
        adapterFrame(0x18EEFFFF, {}),  // no data bytes
        adapterFrame(0x123, {0xAA}, kMsgTypeStandard),
    };
    for (const auto& sent : frames) {
        SCOPED_TRACE(script::describe(sent));
        ASSERT_EQ(host.write(sent), kCanOk);
        const auto got = receiveId(client, sent.id);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->msgType, sent.msgType);
        EXPECT_EQ(bytesOf(*got), bytesOf(sent));
    }

    // Opening again after a link loss keeps the connection, and traffic flows the other way.
    EXPECT_EQ(client.init(), kCanOk);
    EXPECT_TRUE(connected(client));
    const AdapterFrame back = adapterFrame(0x18EF3DF9, {13, 0, 0, 0, 0, 0, 0, 13});
    ASSERT_EQ(client.write(back), kCanOk);
    const auto got = receiveId(host, back.id);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(bytesOf(*got), bytesOf(back));

    // The writer does not hear itself.
    AdapterFrame f;
    bool echoed = false;
    while (client.read(f) == kCanOk) {
        echoed = echoed || f.id == back.id;
    }
    EXPECT_FALSE(echoed);

    client.close();
    EXPECT_EQ(client.status(), uint32_t(QCanBusDevice::UnconnectedState));
    EXPECT_NE(client.write(back), kCanOk);
    host.close();
}

}  // namespace
