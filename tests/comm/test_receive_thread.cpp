// The receive thread itself: frames reach the main thread's event loop in order, a stop ends it,
// and tearing it down never leaves a hand-off behind.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <memory>
#include <thread>
#include <vector>

#include "comm/receive_thread.h"
#include "event_loop.h"
#include "fake_can_driver.h"
#include "frame_script.h"

namespace {

class RecordingSink : public ReceiveSink {
  public:
    void framesReceived(std::span<const AdapterFrame> batch) override {
        offMainThread = offMainThread || QThread::currentThread() != qApp->thread();
        frames.insert(frames.end(), batch.begin(), batch.end());
    }
    void linkLostDeclared() override {
        offMainThread = offMainThread || QThread::currentThread() != qApp->thread();
        ++losses;
    }
    std::vector<AdapterFrame> frames;
    int losses = 0;
    bool offMainThread = false;
};

AdapterFrame numbered(uint32_t n) {
    return script::adapterFrame(0x18F00E51, {uint8_t(n), uint8_t(n >> 8)});
}

TEST(ReceiveThreadTest, HandsFramesOverOnTheMainThreadAndEndsOnStop) {
    FakeCanDriver driver;
    LinkFlags flags;
    flags.stopRequested = false;
    RecordingSink sink;
    QObject mainThread;
    int finished = 0;
    bool finishedOnMainThread = false;
    TreadThread thread(driver, flags, sink, &mainThread, [&] {
        ++finished;
        finishedOnMainThread = QThread::currentThread() == qApp->thread();
    });
    constexpr uint32_t kCount = 700;  // more than two hand-offs' worth
    for (uint32_t i = 0; i < kCount; ++i) {
        driver.queueFrame(numbered(i));
    }
    EXPECT_FALSE(thread.started());
    thread.resume();
    ASSERT_TRUE(processEventsUntil([&] { return sink.frames.size() == kCount; }));
    for (uint32_t i = 0; i < kCount; ++i) {
        ASSERT_EQ(sink.frames[i].data[0] | sink.frames[i].data[1] << 8, int(i));
    }

    driver.queueResult(kCanBusOff);
    thread.wake();
    ASSERT_TRUE(processEventsUntil([&] { return sink.losses == 1; }));

    flags.stopRequested = true;
    thread.wake();
    ASSERT_TRUE(processEventsUntil([&] { return finished == 1; }));
    EXPECT_FALSE(thread.running());
    EXPECT_TRUE(finishedOnMainThread);
    EXPECT_FALSE(sink.offMainThread);
}

TEST(ReceiveThreadTest, TearingDownWithAHandOffPendingLeavesNothingBehind) {
    FakeCanDriver driver;
    LinkFlags flags;
    flags.stopRequested = false;
    RecordingSink sink;
    QObject mainThread;
    bool finished = false;
    driver.queueFrame(numbered(1));
    {
        TreadThread thread(driver, flags, sink, &mainThread, [&] { finished = true; });
        thread.resume();
        // The thread has read the frame and the empty queue and is about to wait for the main
        // thread, which does not run its event loop here.
        QElapsedTimer clock;
        clock.start();
        while (driver.readCalls() < 2 && clock.elapsed() < 5000) {
            std::this_thread::yield();
        }
        ASSERT_GE(driver.readCalls(), 2);
    }
    // Whatever the thread had posted must not run against the destroyed thread object.
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(sink.frames.empty());
    EXPECT_FALSE(finished);  // no termination handler when torn down with its owner
}

}  // namespace

TEST(ReceiveThreadTest, TheThreadMayBeTornDownFromInsideAHandOff) {
    // A handler that ends the session (the operator closes the tool from a message box shown
    // while a frame is processed) destroys the thread while its hand-off is still running.
    class ClosingSink : public RecordingSink {
      public:
        void framesReceived(std::span<const AdapterFrame> batch) override {
            RecordingSink::framesReceived(batch);
            thread.reset();
        }
        std::unique_ptr<TreadThread> thread;
    };
    FakeCanDriver driver;
    LinkFlags flags;
    flags.stopRequested = false;
    ClosingSink sink;
    QObject mainThread;
    bool finished = false;
    for (uint32_t i = 0; i < 300; ++i) {
        driver.queueFrame(numbered(i));
    }
    sink.thread =
        std::make_unique<TreadThread>(driver, flags, sink, &mainThread, [&] { finished = true; });
    sink.thread->resume();
    ASSERT_TRUE(processEventsUntil([&] { return sink.thread == nullptr; }));
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(sink.frames.size(), ReceiveLoop::kMaxBatch);  // nothing after the teardown
    EXPECT_FALSE(finished);
}

TEST(ReceiveThreadTest, TheRestOfABatchStaysReadableWhenAHandlerTearsTheLinkDown) {
    // The frames of a hand-off belong to it: a handler that ends the link in the middle of a
    // batch (the receive thread and its buffers go with it) leaves the later frames readable.
    class TearingSink : public ReceiveSink {
      public:
        void framesReceived(std::span<const AdapterFrame> batch) override {
            for (std::size_t i = 0; i < batch.size(); ++i) {
                if (i == 3) {
                    thread.reset();
                }
                numbers.push_back(batch[i].data[0] | batch[i].data[1] << 8);
            }
        }
        void linkLostDeclared() override {}
        void handOffFinished() override { ++finishedHandOffs; }
        std::unique_ptr<TreadThread> thread;
        std::vector<int> numbers;
        int finishedHandOffs = 0;
    };
    FakeCanDriver driver;
    LinkFlags flags;
    flags.stopRequested = false;
    TearingSink sink;
    QObject mainThread;
    for (uint32_t i = 0; i < 40; ++i) {
        driver.queueFrame(numbered(i));
    }
    sink.thread = std::make_unique<TreadThread>(driver, flags, sink, &mainThread, [] {});
    sink.thread->resume();
    ASSERT_TRUE(processEventsUntil([&] { return sink.thread == nullptr; }));
    std::vector<int> expected(40);
    for (int i = 0; i < 40; ++i) {
        expected[i] = i;
    }
    EXPECT_EQ(sink.numbers, expected);
    EXPECT_EQ(sink.finishedHandOffs, 1);  // after the batch, with the thread already gone
}

TEST(ReceiveThreadTest, AfterEachHandOffTheSinkRunsWithTheThreadReleased) {
    class WatchingSink : public RecordingSink {
      public:
        void handOffFinished() override {
            ++finishedHandOffs;
            // The thread no longer waits for us: it reads the adapter again meanwhile.
            const int reads = driver->readCalls();
            QElapsedTimer clock;
            clock.start();
            while (driver->readCalls() == reads && clock.elapsed() < 5000) {
                std::this_thread::yield();
            }
            readWhileFinishing = readWhileFinishing && driver->readCalls() > reads;
        }
        FakeCanDriver* driver = nullptr;
        int finishedHandOffs = 0;
        bool readWhileFinishing = true;
    };
    FakeCanDriver driver;
    LinkFlags flags;
    flags.stopRequested = false;
    WatchingSink sink;
    sink.driver = &driver;
    QObject mainThread;
    driver.queueFrame(numbered(1));
    TreadThread thread(driver, flags, sink, &mainThread, [] {});
    thread.resume();
    ASSERT_TRUE(processEventsUntil([&] { return sink.finishedHandOffs == 1; }));
    EXPECT_TRUE(sink.readWhileFinishing);
    EXPECT_EQ(sink.frames.size(), 1u);
    flags.stopRequested = true;
    thread.wake();
}
