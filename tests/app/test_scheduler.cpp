// The scheduler tick and the connection supervision, driven tick by tick on a recording adapter.

#include <gtest/gtest.h>

#include "frame_script.h"
#include "tool_harness.h"

namespace {

constexpr uint32_t kSecond = 100;  // ticks

class SchedulerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        h.clearWritten();
    }
    PumpConnection& sched() { return h.core().scheduler; }
    // Frames the tool wrote in one tick.
    std::vector<J1939Frame> tickAndCollect() {
        h.clearWritten();
        h.tick();
        return h.written();
    }
    int probes() const {
        int n = 0;
        for (const J1939Frame& f : h.written(pgn::kAddressClaimed)) {
            if (f.source == 255 && f.data[0] == 0 && f.data[4] == 0) {
                ++n;
            }
        }
        return n;
    }
    // Any message from the pump keeps the supervision quiet.
    void pumpSpeaks() { h.receiveMessage(61, 255, pgn::kSoftwareId, {'1', '*'}); }
    ToolHarness h;
};

TEST_F(SchedulerTest, WithoutPumpProbesEvery100msAndDeclaresLossAtSeventhSilentSecond) {
    h.tick(9);
    EXPECT_EQ(probes(), 0);
    h.tick(1);
    EXPECT_EQ(probes(), 1);
    h.tick(90);
    EXPECT_EQ(probes(), 10);
    EXPECT_EQ(h.written(pgn::kAddressClaimed)[0].destination, 255);

    const int initsBefore = h.driver().initCalls();
    // Seconds 1 to 6 of silence count; the seventh 1000-ms duty declares the pump lost.
    h.tick(5 * kSecond);
    EXPECT_NE(h.status(), "Pump not connected");
    EXPECT_TRUE(sched().pumpConnected);
    h.tick(kSecond);
    EXPECT_EQ(h.status(), "Pump not connected");
    EXPECT_FALSE(sched().pumpConnected);
    EXPECT_TRUE(h.core().flags.linkLost.load());
    EXPECT_EQ(indicatorColour(h.app().Form1->shPumpCommunication), QColor(Qt::red).name());
    EXPECT_FALSE(h.app().fInstaller->btZovar_DownloadConfiguration->isEnabled());

    // The next 50-ms duty re-initialises the adapter and clears the flag.
    h.tick(5);
    EXPECT_EQ(h.driver().initCalls(), initsBefore + 1);
    EXPECT_FALSE(h.core().flags.linkLost.load());

    // Every further second of silence repeats the loss and the re-initialisation.
    h.app().setStatus("x");
    h.tick(kSecond - 5);
    EXPECT_EQ(h.status(), "Pump not connected");
    h.tick(5);
    EXPECT_EQ(h.driver().initCalls(), initsBefore + 2);
}

TEST_F(SchedulerTest, FoundPumpIsAskedForIdentificationThenPagesAndVin) {
    h.pumpClaims(61);
    EXPECT_EQ(h.status(), "Pump connected");
    EXPECT_EQ(indicatorColour(h.app().Form1->shPumpCommunication), QColor(Qt::green).name());
    EXPECT_EQ(h.core().connection.pumpAddress, 61);
    // The claim itself asks for the VIN at once and queues the all-pages request.
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 1);
    EXPECT_EQ(h.core().queue.size(), 1u);
    h.clearWritten();

    // Software identification every 100 ms until one arrives.
    h.tick(30);
    EXPECT_EQ(h.requestsFor(pgn::kSoftwareId), 3);
    for (const J1939Frame& f : h.written(pgn::kRequest)) {
        EXPECT_EQ(f.source, 249);
    }
    EXPECT_EQ(probes(), 0);
    h.receiveMessage(0, 255, pgn::kSoftwareId, {'X'});  // from any source, content ignored
    h.clearWritten();

    // Then, as no service reply has been accepted: all pages and the VIN once, again each second.
    h.tick(10);
    EXPECT_EQ(h.requestsFor(pgn::kSoftwareId), 0);
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 1);
    // The 1000-ms duty re-arms the request; the next 100-ms duty sends it.
    h.clearWritten();
    pumpSpeaks();
    h.tick(70);
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 1);
    h.clearWritten();
    pumpSpeaks();
    h.tick(kSecond);
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 1);
    h.clearWritten();
    pumpSpeaks();

    // An accepted service reply ends the repetition.
    sched().serviceReplyReceived = true;
    h.tick(3 * kSecond);
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 0);
}

TEST_F(SchedulerTest, UnansweredTelegramIsChasedFor60DutiesThenTheNextGoes) {
    h.pumpClaims(61);
    h.core().queue.clear();
    h.core().sender.enqueueCommand(4, 0, 0, 0);
    h.core().sender.enqueueCommand(3, 0, 0, 0);
    h.clearWritten();

    // The pump counts as connected; the identification duty has nothing to do.
    sched().pumpConnected = true;
    sched().softwareIdReceived = true;
    sched().serviceReplyReceived = true;
    h.tick(5);
    EXPECT_EQ(h.sentCodes(), std::vector<int>{4});
    EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), 1);
    EXPECT_TRUE(sched().awaitingReply);

    int requests = 1;
    for (int duty = 1; duty <= 60; ++duty) {
        h.clearWritten();
        h.tick(5);
        const int expected = duty < 60 ? 1 : 0;
        EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), expected) << "duty " << duty;
        requests += h.requestsFor(pgn::kProprietaryA);
        EXPECT_TRUE(h.sentCodes().empty()) << "the telegram is never sent again";
    }
    EXPECT_EQ(requests, 60);
    EXPECT_FALSE(sched().awaitingReply);
    h.clearWritten();
    h.tick(5);
    EXPECT_EQ(h.sentCodes(), std::vector<int>{3});
}

TEST_F(SchedulerTest, NoRequestAndNoCountWhileLongReplyIsArriving) {
    h.pumpClaims(61);
    sched().pumpConnected = true;
    sched().softwareIdReceived = true;
    sched().serviceReplyReceived = true;
    h.tick(5);  // sends the all-pages request
    ASSERT_TRUE(sched().awaitingReply);
    const int before = sched().replyRetryCount;
    // TP.CM from the pump announcing 247 bytes of Proprietary A, then one packet.
    h.receive(0x18ECF93D, {32, 247, 0, 36, 0xFF, 0x00, 0xEF, 0x00});
    h.receive(0x18EBF93D, {1, 0, 0, 0, 0, 0, 0, 200});
    h.clearWritten();
    h.tick(50);
    EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), 0);
    EXPECT_EQ(sched().replyRetryCount, before);
    // More than 2 s without a packet: the reception no longer counts and the chase resumes.
    h.seconds += 3;
    h.tick(5);
    EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), 1);
    EXPECT_EQ(sched().replyRetryCount, before + 1);
}

TEST_F(SchedulerTest, ClaimOfOwnAddressWithLowerNameKeeps249AndClaimsFromZero) {
    // The tool's NAME is still all zero (the probe): a claimant with byte 7 = 0 does not win.
    h.receiveMessage(249, 255, pgn::kAddressClaimed, {1, 2, 3, 4, 5, 6, 7, 0});
    EXPECT_EQ(h.core().connection.ownAddress, 249);
    auto claims = h.written(pgn::kAddressClaimed);
    ASSERT_EQ(claims.size(), 1u);
    EXPECT_EQ(claims[0].source, 0);
    EXPECT_EQ(script::bytesOf(claims[0]),
              (std::vector<uint8_t>{0xA0, 0x86, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00}));
}

TEST_F(SchedulerTest, ClaimWithHigherPriorityNameMakesToolGiveWayUntilReset) {
    sched().claimOwnAddress();
    // Byte 4 of the claimant is 1, ours is 2: the tool gives way.
    h.receiveMessage(249, 255, pgn::kAddressClaimed, {0xA0, 0x86, 0x01, 0x00, 0x01, 0, 0, 0});
    EXPECT_EQ(h.core().connection.ownAddress, 0);
    h.pumpClaims(61);
    h.clearWritten();
    h.tick(10);
    for (const J1939Frame& f : h.written()) {
        EXPECT_EQ(f.source, 0);
    }
    sched().resetPumpState();
    EXPECT_EQ(h.core().connection.ownAddress, 249);
}

TEST_F(SchedulerTest, SensorClaimsChangeNoAddressAndLightTheirIndicators) {
    h.receiveMessage(81, 255, pgn::kAddressClaimed, {0, 0, 0, 0, 0, 0, 0, 0});
    h.receiveMessage(82, 255, pgn::kAddressClaimed, {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(h.core().connection.pumpAddress, 255);
    EXPECT_EQ(h.core().connection.ownAddress, 249);
    EXPECT_EQ(indicatorColour(h.app().fNOxSensor->shUpstreamConnected), QColor(Qt::green).name());
    EXPECT_EQ(indicatorColour(h.app().fNOxSensor->shDownstreamConnected), QColor(Qt::green).name());
}

TEST_F(SchedulerTest, PollFillsEachLaneOnlyWhenEmptyAndFollowsSoftwareGates) {
    struct Case {
        uint8_t major, minor;
        std::size_t firstPoll;  // telegrams of the first poll
    } cases[] = {{0, 5, 8 + 4}, {0, 6, 10 + 5}, {0, 9, 10 + 7}};
    for (const Case& c : cases) {
        PumpConnection& s = sched();
        s.nameMasksDue = true;
        h.core().queue.clear();
        s.pumpSoftwareVersion = {c.major, c.minor};
        s.pollStatusPages();
        EXPECT_EQ(h.core().queue.size(), c.firstPoll) << int(c.major) << "." << int(c.minor);
        // Lanes still holding the previous poll get nothing more; 165 sits in the command lane.
        const std::size_t held = h.core().queue.size();
        s.pollStatusPages();
        EXPECT_EQ(h.core().queue.size(), held);
    }
}

TEST_F(SchedulerTest, PollRunsAt3000_6000_9000OfEachCycle) {
    h.pumpClaims(61);
    // Identified and answering: only the poll fills the lanes.
    sched().softwareIdReceived = true;
    sched().serviceReplyReceived = true;
    std::vector<int> pollTicks;
    for (int t = 1; t <= 2000; ++t) {
        pumpSpeaks();
        h.core().queue.clear();
        h.tick();
        if (!h.core().queue.firstPollLaneEmpty()) {
            pollTicks.push_back(t * 10);
        }
    }
    EXPECT_EQ(pollTicks, (std::vector<int>{3000, 6000, 9000, 13000, 16000, 19000}));
}

}  // namespace
