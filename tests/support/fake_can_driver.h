#pragma once
// A recording adapter for the tests: every written frame is kept, reads come from a script of
// (result, frame) entries and report an empty queue once the script is used up. Safe to use from
// the receive thread and the main thread at once.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "comm/can_driver.h"

class FakeCanDriver : public CanDriver {
  public:
    struct ReadEntry {
        uint32_t result = kCanOk;
        AdapterFrame frame;
    };

    // Appends to the read script.
    void queueFrame(const AdapterFrame& frame);
    void queueFrames(const std::vector<AdapterFrame>& frames);
    void queueResult(uint32_t result, int times = 1);

    // What init() and write() answer.
    void setInitResult(uint32_t result);
    void setWriteResult(uint32_t result);

    std::vector<AdapterFrame> written() const;
    void clearWritten();
    int initCalls() const;
    int closeCalls() const;
    int readCalls() const;
    std::size_t scriptLeft() const;

    uint32_t init() override;
    void close() override;
    uint32_t status() override { return kCanOk; }
    uint32_t write(const AdapterFrame& frame) override;
    uint32_t read(AdapterFrame& frame) override;
    std::string versionInfo() override { return "Recording test adapter"; }

  private:
    mutable std::mutex mutex_;
    std::deque<ReadEntry> script_;
    std::vector<AdapterFrame> written_;
    uint32_t initResult_ = kCanOk;
    uint32_t writeResult_ = kCanOk;
    int initCalls_ = 0;
    int closeCalls_ = 0;
    int readCalls_ = 0;
};
