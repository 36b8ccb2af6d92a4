#pragma once
// Runs a SimulatedPump on a real clock: a 10-ms timer drains whatever reached the pump's port and
// moves the pump's time on by 10 ms. One node on the in-process bus serves the tool's built-in
// simulator; one on a CanDriver serves dosaris-pump-sim. Lives on the thread that created it.

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "comm/can_driver.h"
#include "comm/sim_bus.h"
#include "sim/simulated_pump.h"

namespace sim {

class SimulatorNode : public QObject {
    Q_OBJECT
  public:
    using ReadFn = std::function<bool(AdapterFrame&)>;
    using WriteFn = std::function<void(const AdapterFrame&)>;

    static constexpr int kTickMs = 10;

    SimulatorNode(PumpOptions options, ReadFn read, WriteFn write, QObject* parent = nullptr);
    ~SimulatorNode() override;

    // The pump on its own endpoint of the in-process bus.
    static std::unique_ptr<SimulatorNode> onBus(const std::shared_ptr<SimBus>& bus,
                                                PumpOptions options, QObject* parent = nullptr);
    // The pump behind an adapter driver that is already open; the driver must outlive the node.
    static std::unique_ptr<SimulatorNode> onDriver(CanDriver& driver, PumpOptions options,
                                                   QObject* parent = nullptr);

    // Powers the pump on after startDelayMs (a bus that still connects loses early frames) and
    // starts the timer.
    void start(int startDelayMs = 0);
    // The same without the timer, for a caller that calls tick() itself.
    void powerOn(int startDelayMs = 0);
    void stop();
    bool running() const { return timer_.isActive(); }
    // One timer period; public so that a test can drive the node without an event loop.
    void tick();

    SimulatedPump& pump() { return pump_; }

  private:
    SimulatedPump pump_;
    ReadFn read_;
    QTimer timer_;
    std::shared_ptr<SimBus::Endpoint> endpoint_;
    int powerOnInMs_ = -1;
};

}  // namespace sim
