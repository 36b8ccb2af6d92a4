#include "fake_can_driver.h"

void FakeCanDriver::queueFrame(const AdapterFrame& frame) {
    std::lock_guard lock(mutex_);
    script_.push_back({kCanOk, frame});
}

void FakeCanDriver::queueFrames(const std::vector<AdapterFrame>& frames) {
    std::lock_guard lock(mutex_);
    for (const auto& f : frames) {
        script_.push_back({kCanOk, f});
    }
}

void FakeCanDriver::queueResult(uint32_t result, int times) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < times; ++i) {
        script_.push_back({result, AdapterFrame{}});
    }
}

void FakeCanDriver::setInitResult(uint32_t result) {
    std::lock_guard lock(mutex_);
    initResult_ = result;
}

void FakeCanDriver::setWriteResult(uint32_t result) {
    std::lock_guard lock(mutex_);
    writeResult_ = result;
}

std::vector<AdapterFrame> FakeCanDriver::written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

void FakeCanDriver::clearWritten() {
    std::lock_guard lock(mutex_);
    written_.clear();
}

int FakeCanDriver::initCalls() const {
    std::lock_guard lock(mutex_);
    return initCalls_;
}

int FakeCanDriver::closeCalls() const {
    std::lock_guard lock(mutex_);
    return closeCalls_;
}

int FakeCanDriver::readCalls() const {
    std::lock_guard lock(mutex_);
    return readCalls_;
}

std::size_t FakeCanDriver::scriptLeft() const {
    std::lock_guard lock(mutex_);
    return script_.size();
}

uint32_t FakeCanDriver::init() {
    std::lock_guard lock(mutex_);
    ++initCalls_;
    return initResult_;
}

void FakeCanDriver::close() {
    std::lock_guard lock(mutex_);
    ++closeCalls_;
}

uint32_t FakeCanDriver::write(const AdapterFrame& frame) {
    std::lock_guard lock(mutex_);
    written_.push_back(frame);
    return writeResult_;
}

uint32_t FakeCanDriver::read(AdapterFrame& frame) {
    std::lock_guard lock(mutex_);
    ++readCalls_;
    if (script_.empty()) {
        return kCanQueueEmpty;
    }
    const ReadEntry entry = script_.front();
    script_.pop_front();
    if (entry.result == kCanOk) {
        frame = entry.frame;
    }
    return entry.result;
}
