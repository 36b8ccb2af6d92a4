// The in-process bus that the simulated pump and the tests share.
#include <gtest/gtest.h>

#include <vector>

#include "comm/sim_bus.h"
#include "frame_script.h"

using script::adapterFrame;

namespace {

std::vector<uint8_t> readAll(CanDriver& d) {
    std::vector<uint8_t> firstBytes;
    AdapterFrame f;
    while (d.read(f) == kCanOk) {
        firstBytes.push_back(f.data[0]);
    }
    return firstBytes;
}

TEST(SimBusTest, EveryOtherEndpointGetsEveryFrameInOrder) {
    auto bus = SimBus::create();
    SimBusDriver a(bus), b(bus), c(bus);
    for (CanDriver* d :
         {static_cast<CanDriver*>(&a), static_cast<CanDriver*>(&b), static_cast<CanDriver*>(&c)}) {
        ASSERT_EQ(d->init(), kCanOk);
    }
    EXPECT_EQ(a.write(adapterFrame(0x18EF3DF9, {1})), kCanOk);
    EXPECT_EQ(b.write(adapterFrame(0x18EFF93D, {2})), kCanOk);
    EXPECT_EQ(a.write(adapterFrame(0x18EF3DF9, {3})), kCanOk);
    EXPECT_EQ(readAll(a), (std::vector<uint8_t>{2}));  // never its own frames
    EXPECT_EQ(readAll(b), (std::vector<uint8_t>{1, 3}));
    EXPECT_EQ(readAll(c), (std::vector<uint8_t>{1, 2, 3}));
    AdapterFrame f;
    EXPECT_EQ(c.read(f), kCanQueueEmpty);
}

TEST(SimBusTest, FramesKeepEveryField) {
    auto bus = SimBus::create();
    SimBusDriver a(bus), b(bus);
    a.init();
    b.init();
    const AdapterFrame sent = adapterFrame(0x123, {9, 8, 7, 6, 5, 4, 3, 2}, kMsgTypeStandard);
    a.write(sent);
    AdapterFrame got;
    ASSERT_EQ(b.read(got), kCanOk);
    EXPECT_EQ(got.id, sent.id);
    EXPECT_EQ(got.msgType, sent.msgType);
    EXPECT_EQ(script::bytesOf(got), script::bytesOf(sent));
}

TEST(SimBusTest, AClosedDriverNeitherSendsNorReceives) {
    auto bus = SimBus::create();
    SimBusDriver a(bus), b(bus);
    AdapterFrame f;
    EXPECT_EQ(a.write(adapterFrame(1, {1})), kCanError);  // not opened yet
    EXPECT_EQ(a.read(f), kCanError);
    a.init();
    b.init();
    EXPECT_EQ(a.init(), kCanOk);  // opening again keeps the endpoint
    b.close();
    a.write(adapterFrame(1, {1}));
    EXPECT_EQ(b.read(f), kCanError);
    b.init();
    EXPECT_EQ(b.read(f), kCanQueueEmpty);  // what went by while closed is gone
    a.write(adapterFrame(1, {4}));
    EXPECT_EQ(readAll(b), (std::vector<uint8_t>{4}));
}

TEST(SimBusTest, NotifyRunsAfterDelivery) {
    auto bus = SimBus::create();
    auto sender = bus->attach();
    auto receiver = bus->attach();
    std::vector<std::size_t> pendingAtNotify;
    receiver->setNotify([&] { pendingAtNotify.push_back(receiver->pending()); });
    sender->write(adapterFrame(1, {1}));
    sender->write(adapterFrame(1, {2}));
    EXPECT_EQ(pendingAtNotify, (std::vector<std::size_t>{1, 2}));
}

}  // namespace
