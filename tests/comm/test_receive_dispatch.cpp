// The receive entry and the dispatch: destination filter, transport frames from the pump only,
// routing by parameter group, and the settings file consulted for every frame.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "comm/receive_dispatch.h"
#include "fixed_pump_address.h"
#include "frame_script.h"

using namespace script;

namespace {

constexpr uint16_t kRoutedKeys[] = {0xEA00, 0xEE00, 0xEF00, 0xF00E, 0xF00F, 0xFEDA, 0xFEEC};

struct Delivery {
    uint16_t key;
    J1939Message message;
};

class DispatchTest : public ::testing::Test {
  protected:
    DispatchTest() { routeAll(dispatch); }

    void routeAll(ReceiveDispatch& d) {
        for (uint16_t key : kRoutedKeys) {
            d.setRoute(key, [this, key](const J1939Message& m) { deliveries.push_back({key, m}); });
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
    TJ1939TransportProtocol tp{[] { return 0u; }};
    FixedPumpAddress pumpAddress{61};
    ReceiveDispatch dispatch{state, tp, pumpAddress};
    std::vector<Delivery> deliveries;
    int rxSteps = 0;
};

TEST_F(DispatchTest, RoutesSingleFramesByGroupAndFiltersByDestination) {
    struct Case {
        Line frame;
        std::optional<uint16_t> routedTo;  // the handler that gets it
        bool dispatched;                   // resets the silence counter
    };
    const std::vector<Case> cases = {
        {{Rx, 0x18EAF93D, {0x00, 0xEF, 0x00}, "Request to the tool"}, 0xEA00, true},
        {{Rx, 0x18EEFF3D, {1, 2, 3, 4, 5, 6, 7, 8}, "Address Claimed, global"}, 0xEE00, true},
        {{Rx, 0x18EFF93D, {1, 0, 0, 0, 0, 0, 0, 1}, "Proprietary A to the tool"}, 0xEF00, true},
        {{Rx, 0x18EF0080, {1}, "Proprietary A to 0, any source"}, 0xEF00, true},
        {{Rx, 0x18EFFF80, {1}, "Proprietary A to everybody"}, 0xEF00, true},
        {{Rx, 0x18EF3D80, {1}, "Proprietary A to another node"}, std::nullopt, false},
        {{Rx, 0x18EFF880, {1}, "Proprietary A to 248"}, std::nullopt, false},
        {{Rx, 0x18F00E51, {1, 2}, "intake gas, upstream sensor"}, 0xF00E, true},
        {{Rx, 0x18F00F52, {1, 2}, "outlet gas, downstream sensor"}, 0xF00F, true},
        {{Rx, 0x18FEDA00, {1}, "Software Identification from address 0"}, 0xFEDA, true},
        {{Rx, 0x19FEDA3D, {1}, "data page 1 routes by the low 16 bits"}, 0xFEDA, true},
        {{Rx, 0x18FEEC3D, {'V'}, "Vehicle Identification"}, 0xFEEC, true},
        {{Rx, 0x18FEF100, {1}, "a group nobody handles still counts as traffic"},
         std::nullopt,
         true},
        {{Rx, 0x1800F93D, {1}, "PGN 0 to the tool has key 0"}, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.frame.id, c.frame.bytes) + " // " + c.frame.comment);
        deliveries.clear();
        state.supervisionCount = 5;
        receive(c.frame);
        EXPECT_EQ(state.supervisionCount, c.dispatched ? 0 : 5);
        ASSERT_EQ(deliveries.size(), c.routedTo ? 1u : 0u);
        if (c.routedTo) {
            EXPECT_EQ(deliveries[0].key, *c.routedTo);
            EXPECT_EQ(bytesOf(deliveries[0].message), c.frame.bytes);
            EXPECT_EQ(deliveries[0].message.source, c.frame.id & 0xFF);
        }
    }
    EXPECT_EQ(rxSteps, int(cases.size()));
    EXPECT_EQ(pumpAddress.calls, int(cases.size()));
}

TEST_F(DispatchTest, AfterALostClaimOnlyAddressZeroIsTheTool) {
    state.ownAddress = 0;
    receive({Rx, 0x18EFF93D, {1}, "to 249, no longer the tool"});
    EXPECT_TRUE(deliveries.empty());
    receive({Rx, 0x18EF003D, {2}, "to 0"});
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].message.data[0], 2);
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
    };
    state.pumpAddress = 70;  // learnt from an address claim: does not matter here
    for (const Case c : {Case{"configured pump to the tool", 61, 249, true},
                         Case{"configured pump, broadcast", 61, 255, true},
                         Case{"the claimed address is not the configured one", 70, 249, false},
                         Case{"another node", 0x80, 249, false},
                         Case{"configured pump to another node", 61, 0x80, false}}) {
        SCOPED_TRACE(c.what);
        deliveries.clear();
        state.supervisionCount = 3;
        receive(replyThroughTp(c.source, c.destination));
        ASSERT_EQ(deliveries.size(), c.delivered ? 1u : 0u);
        EXPECT_EQ(state.supervisionCount, c.delivered ? 0 : 3);
        if (c.delivered) {
            EXPECT_EQ(deliveries[0].key, 0xEF00);
            EXPECT_EQ(bytesOf(deliveries[0].message),
                      (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        }
    }
}

TEST_F(DispatchTest, PumpAddressOutsideAByteNeverMatches) {
    for (int configured : {61 + 256, -195, 1000}) {
        pumpAddress.address = configured;
        receive(replyThroughTp(61, 249));
    }
    EXPECT_TRUE(deliveries.empty());
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
    dispatch.setRoute(0xEF00, [](const J1939Message& m) {
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

// --- The settings file behind the configured pump address ---

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace
