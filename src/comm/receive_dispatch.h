#pragma once
// The receive entry and the dispatch: every frame the receive thread hands over is filtered by
// destination, transport-protocol frames from the pump are reassembled, and every whole message
// is routed by its parameter group to the handler that owns it, if it comes from a sender that
// handler takes. On a vehicle bus dozens of ECUs talk; only the configured pump address is the
// pump, and only its messages keep the connection supervision quiet. Main thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "comm/connection_state.h"
#include "comm/j1939.h"
#include "comm/transport_protocol.h"

// Which messages a route takes.
struct RouteFilter {
    enum class From : uint8_t { Anyone, Pump, Address };
    From from = From::Pump;
    uint8_t address = 0;
    // For a PDU1 group: a message to the global address is taken as well as one to the tool.
    bool global = true;

    static constexpr RouteFilter fromAnyone() { return {From::Anyone, 0, true}; }
    static constexpr RouteFilter fromPump() { return {From::Pump, 0, true}; }
    static constexpr RouteFilter fromAddress(uint8_t a) { return {From::Address, a, true}; }
    // A reply: from the pump and addressed to the tool itself.
    static constexpr RouteFilter replyFromPump() { return {From::Pump, 0, false}; }
};

class ReceiveDispatch {
  public:
    using Handler = std::function<void(const J1939Message&)>;

    ReceiveDispatch(ConnectionState& state, TJ1939TransportProtocol& tp);

    // Plugs a handler in for a routing key (the PGN's low 16 bits for PDU2 groups, PF x 256 for
    // PDU1 groups). A message nobody routes, or that its route's filter refuses, is dropped (a
    // message from the pump still counts as the pump being alive).
    void setRoute(uint16_t key, RouteFilter filter, Handler handler);
    // Called once per received frame (the Rx activity indicator).
    void setRxStep(std::function<void()> step) { rxStep_ = std::move(step); }
    // Shows a failure raised by a handler; the next frame is processed normally.
    void setErrorHandler(std::function<void(const std::string&)> handler) {
        errorHandler_ = std::move(handler);
    }

    void onFrameReceived(const J1939Frame& frame);
    void dispatchMessage(const J1939Message& message);
    // The routing key of a message, 0 when it is not for the tool.
    uint16_t routingKey(const J1939Message& message) const;

  private:
    struct Route {
        uint16_t key = 0;
        RouteFilter filter;
        Handler handler;
    };
    bool takes(const RouteFilter& filter, const J1939Message& message) const;

    ConnectionState& state_;
    TJ1939TransportProtocol& tp_;
    std::array<Route, 16> routes_{};
    std::size_t routeCount_ = 0;
    std::function<void()> rxStep_;
    std::function<void(const std::string&)> errorHandler_;
};
