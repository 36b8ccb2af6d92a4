#include "comm/sim_bus.h"

#include <algorithm>

std::shared_ptr<SimBus> SimBus::create() {
    return std::shared_ptr<SimBus>(new SimBus());
}

std::shared_ptr<SimBus::Endpoint> SimBus::attach() {
    std::shared_ptr<Endpoint> endpoint(new Endpoint(weak_from_this()));
    std::lock_guard lock(mutex_);
    endpoints_.push_back(endpoint);
    return endpoint;
}

void SimBus::broadcast(const Endpoint* from, const AdapterFrame& frame) {
    std::vector<std::shared_ptr<Endpoint>> targets;
    {
        std::lock_guard lock(mutex_);
        for (auto& weak : endpoints_) {
            if (auto ep = weak.lock(); ep && ep.get() != from) {
                targets.push_back(std::move(ep));
            }
        }
    }
    for (auto& ep : targets) {
        ep->deliver(frame);
    }
}

void SimBus::remove(const Endpoint* endpoint) {
    std::lock_guard lock(mutex_);
    std::erase_if(endpoints_, [endpoint](const std::weak_ptr<Endpoint>& weak) {
        auto ep = weak.lock();
        return !ep || ep.get() == endpoint;
    });
}

void SimBus::Endpoint::write(const AdapterFrame& frame) {
    if (auto bus = bus_.lock()) {
        bus->broadcast(this, frame);
    }
}

bool SimBus::Endpoint::read(AdapterFrame& frame) {
    std::lock_guard lock(mutex_);
    if (inbox_.empty()) {
        return false;
    }
    frame = inbox_.front();
    inbox_.pop_front();
    return true;
}

std::size_t SimBus::Endpoint::pending() const {
    std::lock_guard lock(mutex_);
    return inbox_.size();
}

void SimBus::Endpoint::setNotify(std::function<void()> notify) {
    std::lock_guard lock(mutex_);
    notify_ = std::move(notify);
}

void SimBus::Endpoint::detach() {
    if (auto bus = bus_.lock()) {
        bus->remove(this);
    }
    bus_.reset();
}

void SimBus::Endpoint::deliver(const AdapterFrame& frame) {
    std::function<void()> notify;
    {
        std::lock_guard lock(mutex_);
        inbox_.push_back(frame);
        notify = notify_;
    }
    if (notify) {
        notify();
    }
}

uint32_t SimBusDriver::init() {
    std::lock_guard lock(mutex_);
    if (!endpoint_) {
        endpoint_ = bus_->attach();
    }
    return kCanOk;
}

void SimBusDriver::close() {
    std::lock_guard lock(mutex_);
    if (endpoint_) {
        endpoint_->detach();
        endpoint_.reset();
    }
}

uint32_t SimBusDriver::write(const AdapterFrame& frame) {
    std::shared_ptr<SimBus::Endpoint> ep;
    {
        std::lock_guard lock(mutex_);
        ep = endpoint_;
    }
    if (!ep) {
        return kCanError;
    }
    ep->write(frame);
    return kCanOk;
}

uint32_t SimBusDriver::read(AdapterFrame& frame) {
    std::shared_ptr<SimBus::Endpoint> ep;
    {
        std::lock_guard lock(mutex_);
        ep = endpoint_;
    }
    if (!ep) {
        return kCanError;
    }
    return ep->read(frame) ? kCanOk : kCanQueueEmpty;
}
