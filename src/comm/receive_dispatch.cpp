#include "comm/receive_dispatch.h"

#include <exception>

ReceiveDispatch::ReceiveDispatch(ConnectionState& state, TJ1939TransportProtocol& tp,
                                 PumpAddressSource& pumpAddress)
    : state_(state), tp_(tp), pumpAddress_(pumpAddress) {}

void ReceiveDispatch::setRoute(uint16_t key, Handler handler) {
    for (std::size_t i = 0; i < routeCount_; ++i) {
        if (routes_[i].key == key) {
            routes_[i].handler = std::move(handler);
            return;
        }
    }
    if (routeCount_ < routes_.size()) {
        routes_[routeCount_++] = Route{key, std::move(handler)};
    }
}

void ReceiveDispatch::onFrameReceived(const J1939Frame& frame) {
    try {
        const int configuredPump = pumpAddress_.configuredPumpAddress();
        if (rxStep_) {
            rxStep_();
        }
        if (isPdu2(frame.pgn)) {
            dispatchMessage(messageFromFrame(frame));
            return;
        }
        const uint8_t dest = frame.destination;
        if (dest != state_.ownAddress && dest != state_.alternateAddress &&
            dest != kGlobalAddress) {
            return;
        }
        const uint32_t pf = pduFormatOf(frame.pgn);
        if (pf == pgn::kTpDt || pf == pgn::kTpCm) {
            if (int(frame.source) != configuredPump) {
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
    if (m.destination == state_.ownAddress || m.destination == state_.alternateAddress ||
        m.destination == kGlobalAddress) {
        return static_cast<uint16_t>(pduFormatOf(m.pgn));
    }
    return 0;
}

void ReceiveDispatch::dispatchMessage(const J1939Message& message) {
    const uint16_t key = routingKey(message);
    if (key == 0) {
        return;
    }
    state_.supervisionCount = 0;
    for (std::size_t i = 0; i < routeCount_; ++i) {
        if (routes_[i].key == key) {
            if (routes_[i].handler) {
                routes_[i].handler(message);
            }
            return;
        }
    }
}
