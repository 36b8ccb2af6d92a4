// The receive entry and the dispatch: destination filter, transport frames from the pump only,
// routing by parameter group with each route's choice of senders, and the supervision that only
// the pump keeps quiet.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "comm/receive_dispatch.h"
#include "frame_script.h"

using namespace script;

namespace {

// The routes as the tool sets them up.
struct RouteOf {
    uint16_t key;
    RouteFilter filter;
};
constexpr RouteOf kRoutes[] = {
    {0xEA00, RouteFilter::fromAnyone()},    {0xEE00, RouteFilter::fromAnyone()},
    {0xEF00, RouteFilter::replyFromPump()}, {0xF00E, RouteFilter::fromAddress(81)},
    {0xF00F, RouteFilter::fromAddress(82)}, {0xFEDA, RouteFilter::fromPump()},
    {0xFEEC, RouteFilter::fromPump()},
};

struct Delivery {
    uint16_t key;
    J1939Message message;
};

class DispatchTest : public ::testing::Test {
  protected:
    DispatchTest() { routeAll(dispatch); }

    void routeAll(ReceiveDispatch& d) {
        for (const RouteOf& r : kRoutes) {
            d.setRoute(r.key, r.filter, [this, key = r.key](const J1939Message& m) {
                deliveries.push_back({key, m});
            });
        }
        d.setRxStep([this] { ++rxSteps; });
    }

    void receive(ReceiveDispatch& d, const Line& line) {
        d.onFrameReceived(j1939Frame(line.id, line.bytes));
    }
    void receive(const Line& line) { receive(dispatch, line); }
    void receive(const FrameScript& lines) {
        for (const auto& l : lines) {
            receive(l);
        }
    }

    ConnectionState state;
    TJ1939TransportProtocol tp{[] { return uint64_t(0); }};
    ReceiveDispatch dispatch{state, tp};
    std::vector<Delivery> deliveries;
    int rxSteps = 0;
};

TEST_F(DispatchTest, RoutesByGroupAndTakesOnlyTheSendersEachRouteWants) {
    struct Case {
        Line frame;
        std::optional<uint16_t> routedTo;  // the handler that gets it
        bool pumpHeard;                    // resets the silence counter
    };
    const std::vector<Case> cases = {
        {{Rx, 0x18EAF980, {0x00, 0xEE, 0x00}, "Request to the tool, any node"}, 0xEA00, false},
        {{Rx, 0x18EAFF80, {0x00, 0xEE, 0x00}, "Request to everybody"}, 0xEA00, false},
        {{Rx, 0x18EEFF3D, {1, 2, 3, 4, 5, 6, 7, 8}, "Address Claimed of the pump"}, 0xEE00, true},
        {{Rx, 0x18EEFF27, {1, 2, 3, 4, 5, 6, 7, 8}, "Address Claimed of a gearbox"}, 0xEE00, false},
        {{Rx, 0x18EFF93D, {1, 0, 0, 0, 0, 0, 0, 1}, "Proprietary A, pump to the tool"},
         0xEF00,
         true},
        {{Rx, 0x18EFF980, {1}, "Proprietary A to the tool from another node"}, std::nullopt, false},
        {{Rx, 0x18EFFF3D, {1}, "Proprietary A from the pump to everybody"}, std::nullopt, true},
        {{Rx, 0x18EF003D, {1}, "Proprietary A to 0: the engine's, not ours"}, std::nullopt, false},
        {{Rx, 0x18EF803D, {1}, "Proprietary A, pump to another node"}, std::nullopt, false},
        {{Rx, 0x18F00E51, {1, 2}, "intake gas, upstream sensor"}, 0xF00E, false},
        {{Rx, 0x18F00F52, {1, 2}, "outlet gas, downstream sensor"}, 0xF00F, false},
        {{Rx, 0x18F00E00, {1, 2}, "intake gas from the engine"}, std::nullopt, false},
        {{Rx, 0x18F00F51, {1, 2}, "outlet gas from the upstream sensor"}, std::nullopt, false},
        {{Rx, 0x18FEDA3D, {1}, "Software Identification of the pump"}, 0xFEDA, true},
        {{Rx, 0x18FEDA00, {1}, "Software Identification from address 0"}, std::nullopt, false},
        {{Rx, 0x19FEDA3D, {1}, "data page 1 routes by the low 16 bits"}, 0xFEDA, true},
        {{Rx, 0x18FEEC3D, {'V'}, "Vehicle Identification of the pump"}, 0xFEEC, true},
        {{Rx, 0x18FEEC17, {'V'}, "Vehicle Identification of another ECU"}, std::nullopt, false},
        {{Rx, 0x18FEF13D, {1}, "a group nobody handles, from the pump"}, std::nullopt, true},
        {{Rx, 0x18FEF100, {1}, "a group nobody handles, from the engine"}, std::nullopt, false},
        {{Rx, 0x1800F93D, {1}, "PGN 0 to the tool has key 0"}, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.frame.id, c.frame.bytes) + " // " + c.frame.comment);
        deliveries.clear();
        state.supervisionCount = 5;
        receive(c.frame);
        EXPECT_EQ(state.supervisionCount, c.pumpHeard ? 0 : 5);
        ASSERT_EQ(deliveries.size(), c.routedTo ? 1u : 0u);
        if (c.routedTo) {
            EXPECT_EQ(deliveries[0].key, *c.routedTo);
            EXPECT_EQ(bytesOf(deliveries[0].message), c.frame.bytes);
            EXPECT_EQ(deliveries[0].message.source, c.frame.id & 0xFF);
        }
    }
    EXPECT_EQ(rxSteps, int(cases.size()));
}

TEST_F(DispatchTest, TheToolsAddressIsTheOneItHolds) {
    state.ownAddress = 250;  // moved after losing 249
    receive({Rx, 0x18EFF93D, {1}, "to 249, no longer the tool"});
    EXPECT_TRUE(deliveries.empty());
    receive({Rx, 0x18EFFA3D, {2}, "to 250"});
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].message.data[0], 2);

    deliveries.clear();
    state.ownAddress = kNullAddress;  // no address: nothing is addressed to the tool
    receive({Rx, 0x18EFFE3D, {3}, "to 254"});
    receive({Rx, 0x18EFFA3D, {4}, "to 250"});
    EXPECT_TRUE(deliveries.empty());
}

FrameScript replyThroughTp(uint8_t source, uint8_t destination) {
    const uint32_t cm = 0x1CEC0000u | uint32_t(destination) << 8 | source;
    const uint32_t dt = 0x1CEB0000u | uint32_t(destination) << 8 | source;
    return {
        {Rx, cm, {32, 10, 0, 2, 0xFF, 0x00, 0xEF, 0x00}, "TP.CM, 10 bytes of Proprietary A"},
        {Rx, dt, {1, 1, 2, 3, 4, 5, 6, 7}, "TP.DT 1"},
        {Rx, dt, {2, 8, 9, 10, 0xFF, 0xFF, 0xFF, 0xFF}, "TP.DT 2"},
    };
}

TEST_F(DispatchTest, TransportFramesCountOnlyFromTheConfiguredPump) {
    struct Case {
        const char* what;
        uint8_t source;
        uint8_t destination;
        bool delivered;
        bool pumpHeard;
    };
    for (const Case c : {Case{"configured pump to the tool", 61, 249, true, true},
                         // reassembled, but a service reply is addressed to the tool
                         Case{"configured pump, broadcast", 61, 255, false, true},
                         Case{"another pump-like node", 70, 249, false, false},
                         Case{"another node", 0x80, 249, false, false},
                         Case{"configured pump to another node", 61, 0x80, false, false}}) {
        SCOPED_TRACE(c.what);
        deliveries.clear();
        state.supervisionCount = 3;
        receive(replyThroughTp(c.source, c.destination));
        ASSERT_EQ(deliveries.size(), c.delivered ? 1u : 0u);
        EXPECT_EQ(state.supervisionCount, c.pumpHeard ? 0 : 3);
        if (c.delivered) {
            EXPECT_EQ(deliveries[0].key, 0xEF00);
            EXPECT_EQ(bytesOf(deliveries[0].message),
                      (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        }
    }
}

TEST_F(DispatchTest, TheConfiguredAddressIsThePump) {
    state.configuredPumpAddress = 70;
    receive(replyThroughTp(61, 249));
    EXPECT_TRUE(deliveries.empty());
    receive(replyThroughTp(70, 249));
    EXPECT_EQ(deliveries.size(), 1u);
}

std::string vinOf(const J1939Message& m) {
    return std::string(reinterpret_cast<const char*>(m.data), m.length);
}

TEST_F(DispatchTest, VehicleIdentificationReachesItsHandlerWhole) {
    const std::string vin = "WDB9634031L123456*";  // 17 characters and the J1939 delimiter
    FrameScript lines = {
        {Rx, 0x1CECFF3D, {32, 18, 0, 3, 0xFF, 0xEC, 0xFE, 0x00}, "TP.CM BAM, VIN"}};
    for (uint8_t seq = 1; seq <= 3; ++seq) {
        std::vector<uint8_t> bytes{seq};
        for (std::size_t i = (seq - 1) * 7u; i < seq * 7u; ++i) {
            bytes.push_back(i < vin.size() ? uint8_t(vin[i]) : 0xFF);
        }
        lines.push_back({Rx, 0x1CEBFF3D, bytes, "TP.DT"});
    }
    receive(lines);
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].key, 0xFEEC);
    EXPECT_EQ(vinOf(deliveries[0].message), vin);  // nothing stripped

    deliveries.clear();
    const std::vector<uint8_t> seventeen(vin.begin(), vin.begin() + 17);
    receive({{Rx, 0x1CECFF3D, {32, 17, 0, 3, 0xFF, 0xEC, 0xFE, 0x00}, "TP.CM BAM, 17 bytes"},
             lines[1],
             lines[2],
             lines[3]});
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(vinOf(deliveries[0].message), vin.substr(0, 17));

    deliveries.clear();
    receive({Rx, 0x18FEEC3D, {}, "an empty VIN"});
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(vinOf(deliveries[0].message), "");
}

TEST_F(DispatchTest, AFailingHandlerIsReportedAndTheNextFrameRunsNormally) {
    std::vector<std::string> errors;
    dispatch.setErrorHandler([&](const std::string& text) { errors.push_back(text); });
    dispatch.setRoute(0xEF00, RouteFilter::replyFromPump(), [](const J1939Message& m) {
        if (m.data[0] == 0xBA) {
            throw std::runtime_error("reply could not be decoded");
        }
    });
    receive({Rx, 0x18EFF93D, {0xBA}, "a reply the decoder chokes on"});
    receive({Rx, 0x18FEDA3D, {1}, "the next message"});
    EXPECT_EQ(errors, (std::vector<std::string>{"reply could not be decoded"}));
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].key, 0xFEDA);
}

TEST_F(DispatchTest, APumpBroadcastMidReplyLeavesTheReplyWholeAndEachIsDeliveredOnce) {
    const FrameScript reply = replyThroughTp(61, 249);
    const FrameScript dm1 = {
        {Rx, 0x1CECFF3D, {32, 9, 0, 2, 0xFF, 0xCA, 0xFE, 0x00}, "TP.CM BAM, DM1 with two faults"},
        {Rx, 0x1CEBFF3D, {1, 0, 0xFF, 1, 2, 3, 4, 5}, "TP.DT 1"},
        {Rx, 0x1CEBFF3D, {2, 6, 7, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "TP.DT 2"},
    };
    receive({reply[0], reply[1], dm1[0], dm1[1], dm1[2], reply[2], reply[2], dm1[2]});
    ASSERT_EQ(deliveries.size(), 1u) << "the DM1 has no route; the reply comes once";
    EXPECT_EQ(deliveries[0].key, 0xEF00);
    EXPECT_EQ(bytesOf(deliveries[0].message),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

}  // namespace
