// One drain of the adapter by the receive thread: hand-over order, batching and when the link
// counts as lost. The hand-off is direct; the thread and its timing are not involved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/receive_thread.h"
#include "fake_can_driver.h"
#include "frame_script.h"

using script::adapterFrame;

namespace {

// What reached the main thread, in order: "F<n>" for a hand-over of n frames, "L@<read>" for a
// link loss declared after that many adapter reads.
class RecordingHandOff : public ReceiveHandOff {
  public:
    explicit RecordingHandOff(FakeCanDriver& driver) : driver_(driver) {}
    void handOver(std::vector<AdapterFrame>&& batch) override {
        events.push_back("F" + std::to_string(batch.size()));
        frames.insert(frames.end(), batch.begin(), batch.end());
    }
    void declareLinkLost() override {
        events.push_back("L@" + std::to_string(driver_.readCalls()));
    }
    std::vector<std::string> events;
    std::vector<AdapterFrame> frames;

  private:
    FakeCanDriver& driver_;
};

AdapterFrame numbered(uint32_t n) {
    return adapterFrame(0x18EFF93D, {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16)});
}

uint32_t numberOf(const AdapterFrame& f) {
    return f.data[0] | f.data[1] << 8 | f.data[2] << 16;
}

class ReceiveLoopTest : public ::testing::Test {
  protected:
    ReceiveLoopTest() { flags.stopRequested = false; }

    FakeCanDriver driver;
    LinkFlags flags;
    RecordingHandOff handOff{driver};
    ReceiveLoop loop{driver, flags, handOff};
};

// A script step: 'f' a frame, 'e' a failed read, 'b' bus off, '.' an empty queue.
void queueScript(FakeCanDriver& driver, const std::string& steps) {
    uint32_t n = 0;
    for (char c : steps) {
        switch (c) {
            case 'f':
                driver.queueFrame(numbered(n++));
                break;
            case 'e':
                driver.queueResult(kCanError);
                break;
            case 'b':
                driver.queueResult(kCanBusOff);
                break;
            case '.':
                driver.queueResult(kCanQueueEmpty);
                break;
        }
    }
}

TEST_F(ReceiveLoopTest, LinkLossByReadResults) {
    struct Case {
        const char* what;
        std::string script;               // one or more drains, each ended by '.'
        std::vector<std::string> events;  // over all drains
    };
    const std::vector<Case> cases = {
        {"bus off loses the link on that read", "b.", {"L@1"}},
        {"bus off after a few failures still loses it on that read", "eeeb.", {"L@4"}},
        {"nine failures then a frame: no loss", "eeeeeeeeef.", {"F1"}},
        {"nine failures, a frame, nine failures: the count restarted",
         "eeeeeeeeefeeeeeeeee.",
         {"F1"}},
        {"ten failures lose the link", "eeeeeeeeee.", {"L@10"}},
        {"the eleventh to nineteenth do not, the twentieth does",
         "eeeeeeeeeeeeeeeeeeee.",
         {"L@10", "L@20"}},
        {"nineteen failures lose it once", "eeeeeeeeeeeeeeeeeee.", {"L@10"}},
        {"failures in different drains never add up", "eeeee.eeeee.eeeee.", {}},
        {"frames read before a bus off are handed over before the loss", "ffb.", {"F2", "L@3"}},
        {"frames read before the tenth failure too", "feeeeeeeeeef.", {"F1", "L@11", "F1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeCanDriver d;
        RecordingHandOff h(d);
        ReceiveLoop l(d, flags, h);
        queueScript(d, c.script);
        while (d.scriptLeft() > 0) {
            l.drain();
        }
        EXPECT_EQ(h.events, c.events);
        EXPECT_EQ(d.readCalls(), int(c.script.size()));
    }
}

TEST_F(ReceiveLoopTest, ADrainEndsAtTheEmptyQueue) {
    queueScript(driver, "ff.ff.");
    loop.drain();
    EXPECT_EQ(driver.readCalls(), 3);
    EXPECT_EQ(handOff.events, (std::vector<std::string>{"F2"}));
    loop.drain();
    EXPECT_EQ(handOff.frames.size(), 4u);
    // Once the script is used up the fake reports an empty queue: one read, nothing handed over.
    loop.drain();
    EXPECT_EQ(driver.readCalls(), 7);
    EXPECT_EQ(handOff.events.size(), 2u);
}

TEST_F(ReceiveLoopTest, OrderIsKeptAcrossBatches) {
    for (std::size_t count : {std::size_t(1), ReceiveLoop::kMaxBatch, ReceiveLoop::kMaxBatch + 1,
                              3 * ReceiveLoop::kMaxBatch + 17}) {
        SCOPED_TRACE(count);
        FakeCanDriver d;
        RecordingHandOff h(d);
        ReceiveLoop l(d, flags, h);
        for (uint32_t i = 0; i < count; ++i) {
            d.queueFrame(numbered(i));
        }
        l.drain();
        ASSERT_EQ(h.frames.size(), count);
        for (uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(numberOf(h.frames[i]), i);
        }
        for (const auto& e : h.events) {
            EXPECT_LE(std::stoul(e.substr(1)), ReceiveLoop::kMaxBatch);
        }
        EXPECT_EQ(h.events.size(), (count + ReceiveLoop::kMaxBatch - 1) / ReceiveLoop::kMaxBatch);
    }
}

TEST_F(ReceiveLoopTest, FramesThatAreNotJ1939AreStillHandedOver) {
    driver.queueFrame(adapterFrame(0x123, {1}, kMsgTypeStandard));
    driver.queueFrame(adapterFrame(0x18EA3DF9, {}, kMsgTypeExtended | kMsgTypeRemote));
    loop.drain();
    ASSERT_EQ(handOff.frames.size(), 2u);
    EXPECT_EQ(handOff.frames[0].msgType, kMsgTypeStandard);
    EXPECT_EQ(handOff.frames[1].msgType, kMsgTypeExtended | kMsgTypeRemote);
}

TEST_F(ReceiveLoopTest, AStopRequestEndsTheDrainWithinOneRead) {
    queueScript(driver, "fffff");
    flags.stopRequested = true;
    loop.drain();
    EXPECT_EQ(driver.readCalls(), 1);
    EXPECT_EQ(handOff.events, (std::vector<std::string>{"F1"}));  // what was read still arrives
}

TEST_F(ReceiveLoopTest, AFailingAdapterIsLeftOnceItsLinkIsDeclaredLost) {
    // An unplugged adapter fails every read: the drain stops at the loss instead of spinning on
    // it, and the thread waits for the scheduler to open the link again.
    driver.queueResult(kCanError, 100);
    loop.drain();
    EXPECT_EQ(handOff.events, (std::vector<std::string>{"L@10"}));
    EXPECT_EQ(driver.readCalls(), 10);
}

}  // namespace
