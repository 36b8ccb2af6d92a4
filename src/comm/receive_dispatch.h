#pragma once
// The receive entry and the dispatch: every frame the receive thread hands over is filtered by
// destination, transport-protocol frames from the pump are reassembled, and every whole message
// is routed by its parameter group to the handler that owns it. Main thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/tool_settings.h"
#include "comm/connection_state.h"
#include "comm/j1939.h"
#include "comm/transport_protocol.h"

class ReceiveDispatch {
  public:
    using Handler = std::function<void(const J1939Message&)>;

    ReceiveDispatch(ConnectionState& state, TJ1939TransportProtocol& tp,
                    PumpAddressSource& pumpAddress);

    // Plugs a handler in for a routing key (the PGN's low 16 bits for PDU2 groups, PF x 256 for
    // PDU1 groups). A key without a handler is dispatched (it resets the supervision) and ignored.
    void setRoute(uint16_t key, Handler handler);
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
        Handler handler;
    };

    ConnectionState& state_;
    TJ1939TransportProtocol& tp_;
    PumpAddressSource& pumpAddress_;
    std::array<Route, 16> routes_{};
    std::size_t routeCount_ = 0;
    std::function<void()> rxStep_;
    std::function<void(const std::string&)> errorHandler_;
};
