#include "comm/receive_dispatch.h"

#include <exception>

ReceiveDispatch::ReceiveDispatch(ConnectionState& state, TJ1939TransportProtocol& tp)
    : state_(state), tp_(tp) {}

void ReceiveDispatch::setRoute(uint16_t key, RouteFilter filter, Handler handler) {
    for (std::size_t i = 0; i < routeCount_; ++i) {
        if (routes_[i].key == key) {
            routes_[i].filter = filter;
            routes_[i].handler = std::move(handler);
            return;
        }
    }
    if (routeCount_ < routes_.size()) {
        routes_[routeCount_++] = Route{key, filter, std::move(handler)};
    }
}

void ReceiveDispatch::onFrameReceived(const J1939Frame& frame) {
    try {
        if (rxStep_) {
            rxStep_();
        }
        if (isPdu2(frame.pgn)) {
            dispatchMessage(messageFromFrame(frame));
            return;
        }
        if (!state_.addressedToTool(frame.destination)) {
            return;  // for another node
        }
        const uint32_t pf = pduFormatOf(frame.pgn);
        if (pf == pgn::kTpDt || pf == pgn::kTpCm) {
            // Only the pump's sessions are reassembled: to the tool (its long replies) or to
            // everybody (its identification, its VIN).
            if (frame.source != state_.configuredPumpAddress) {
                return;
            }
            tp_.feedFrame(frame);
            J1939Message completed;
            if (tp_.takeCompleted(completed)) {
                dispatchMessage(completed);
            }
            return;
        }
        dispatchMessage(messageFromFrame(frame));
    } catch (const std::exception& e) {
        if (errorHandler_) {
            errorHandler_(e.what());
        }
    } catch (...) {
        if (errorHandler_) {
            errorHandler_("Unknown failure while processing a received frame");
        }
    }
}

uint16_t ReceiveDispatch::routingKey(const J1939Message& m) const {
    if (isPdu2(m.pgn)) {
        return static_cast<uint16_t>(m.pgn & 0xFFFF);
    }
    if (state_.addressedToTool(m.destination)) {
        return static_cast<uint16_t>(pduFormatOf(m.pgn));
    }
    return 0;
}

bool ReceiveDispatch::takes(const RouteFilter& filter, const J1939Message& m) const {
    if (!isPdu2(m.pgn) && !filter.global && m.destination == kGlobalAddress) {
        return false;
    }
    switch (filter.from) {
        case RouteFilter::From::Anyone:
            return true;
        case RouteFilter::From::Pump:
            return m.source == state_.configuredPumpAddress;
        case RouteFilter::From::Address:
            return m.source == filter.address;
    }
    return false;
}

void ReceiveDispatch::dispatchMessage(const J1939Message& message) {
    const uint16_t key = routingKey(message);
    if (key == 0) {
        return;
    }
    if (message.source == state_.configuredPumpAddress) {
        state_.supervisionCount = 0;
    }
    for (std::size_t i = 0; i < routeCount_; ++i) {
        if (routes_[i].key == key) {
            if (routes_[i].handler && takes(routes_[i].filter, message)) {
                routes_[i].handler(message);
            }
            return;
        }
    }
}
