#include "sim/simulator_node.h"

#include <algorithm>

namespace sim {

SimulatorNode::SimulatorNode(PumpOptions options, ReadFn read, WriteFn write, QObject* parent)
    : QObject(parent), pump_(std::move(options), std::move(write)), read_(std::move(read)) {
    timer_.setInterval(kTickMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SimulatorNode::tick);
}

SimulatorNode::~SimulatorNode() {
    timer_.stop();
    if (endpoint_) {
        endpoint_->detach();
    }
}

std::unique_ptr<SimulatorNode> SimulatorNode::onBus(const std::shared_ptr<SimBus>& bus,
                                                    PumpOptions options, QObject* parent) {
    auto endpoint = bus->attach();
    auto node = std::make_unique<SimulatorNode>(
        std::move(options), [endpoint](AdapterFrame& f) { return endpoint->read(f); },
        [endpoint](const AdapterFrame& f) { endpoint->write(f); }, parent);
    node->endpoint_ = std::move(endpoint);
    return node;
}

std::unique_ptr<SimulatorNode> SimulatorNode::onDriver(CanDriver& driver, PumpOptions options,
                                                       QObject* parent) {
    return std::make_unique<SimulatorNode>(
        std::move(options), [&driver](AdapterFrame& f) { return driver.read(f) == kCanOk; },
        [&driver](const AdapterFrame& f) { driver.write(f); }, parent);
}

void SimulatorNode::powerOn(int startDelayMs) {
    powerOnInMs_ = std::max(startDelayMs, 0);
    if (powerOnInMs_ == 0) {
        powerOnInMs_ = -1;
        pump_.start();
    }
}

void SimulatorNode::start(int startDelayMs) {
    powerOn(startDelayMs);
    timer_.start();
}

void SimulatorNode::stop() {
    timer_.stop();
}

void SimulatorNode::tick() {
    AdapterFrame frame;
    if (powerOnInMs_ >= 0) {
        // Still powering up: what reaches the pump before then is lost, as on a real bus.
        while (read_ && read_(frame)) {
        }
        powerOnInMs_ -= kTickMs;
        if (powerOnInMs_ <= 0) {
            powerOnInMs_ = -1;
            pump_.start();
        }
        return;
    }
    // Bounded, so that a flooded bus cannot hold the thread forever.
    for (int i = 0; i < 4096 && read_ && read_(frame); ++i) {
        pump_.onFrame(frame);
    }
    pump_.advance(kTickMs);
}

}  // namespace sim
