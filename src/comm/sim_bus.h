#pragma once
// An in-process CAN bus. Every frame one endpoint writes reaches every other endpoint's inbox,
// in order. Endpoints may be written and read from different threads.

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "comm/can_driver.h"

class SimBus : public std::enable_shared_from_this<SimBus> {
  public:
    class Endpoint {
      public:
        // Puts a frame on the bus: every other attached endpoint receives it.
        void write(const AdapterFrame& frame);
        // Takes the oldest frame of this endpoint's inbox; false when empty.
        bool read(AdapterFrame& frame);
        std::size_t pending() const;
        // Called (on the writer's thread, without any lock held) after a frame was delivered.
        void setNotify(std::function<void()> notify);
        void detach();

      private:
        friend class SimBus;
        explicit Endpoint(std::weak_ptr<SimBus> bus) : bus_(std::move(bus)) {}
        void deliver(const AdapterFrame& frame);

        std::weak_ptr<SimBus> bus_;
        mutable std::mutex mutex_;
        std::deque<AdapterFrame> inbox_;
        std::function<void()> notify_;
    };

    static std::shared_ptr<SimBus> create();
    std::shared_ptr<Endpoint> attach();

  private:
    SimBus() = default;
    void broadcast(const Endpoint* from, const AdapterFrame& frame);
    void remove(const Endpoint* endpoint);

    std::mutex mutex_;
    std::vector<std::weak_ptr<Endpoint>> endpoints_;
};

// The tool's adapter on the in-process bus.
class SimBusDriver : public CanDriver {
  public:
    explicit SimBusDriver(std::shared_ptr<SimBus> bus) : bus_(std::move(bus)) {}
    uint32_t init() override;
    void close() override;
    uint32_t status() override { return kCanOk; }
    uint32_t write(const AdapterFrame& frame) override;
    uint32_t read(AdapterFrame& frame) override;
    std::string versionInfo() override { return "In-process simulator bus"; }

  private:
    std::shared_ptr<SimBus> bus_;
    std::shared_ptr<SimBus::Endpoint> endpoint_;
    std::mutex mutex_;
};
