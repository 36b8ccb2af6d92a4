// The scheduler tick and the connection supervision, driven tick by tick on a recording adapter:
// the timelines, the tool's own address on a bus with other ECUs, and the one idea of the pump.

#include <gtest/gtest.h>

#include <fstream>

#include "app/indicator.h"
#include "event_loop.h"
#include "frame_script.h"
#include "installer/installer.h"
#include "mainwindow/main_window.h"
#include "pump/service_codes.h"
#include "tool_harness.h"

#include <QProgressBar>

namespace {

constexpr uint32_t kSecond = 100;  // ticks
constexpr uint64_t kHigherName = 0x00000003000186A0ull;
constexpr uint64_t kLowerName = 0x0000000100000000ull;

std::vector<uint8_t> nameBytes(uint64_t name) {
    std::vector<uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = uint8_t(name >> (8 * i));
    }
    return bytes;
}

class SchedulerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        h.tick();  // the tool claims its address at its first tick
        h.clearWritten();
    }
    PumpConnection& sched() { return h.core().scheduler(); }
    int probes() const {
        int n = 0;
        for (const J1939Frame& f : h.written(pgn::kAddressClaimed)) {
            if (f.source == 255 && script::bytesOf(f) == std::vector<uint8_t>(8, 0)) {
                ++n;
            }
        }
        return n;
    }
    // The tool's own Address Claimed frames (its NAME), by source address.
    std::vector<int> ownClaims() const {
        std::vector<int> sources;
        for (const J1939Frame& f : h.written(pgn::kAddressClaimed)) {
            if (script::bytesOf(f) == nameBytes(kToolName)) {
                sources.push_back(f.source);
            }
        }
        return sources;
    }
    void claim(uint8_t address, uint64_t name) {
        h.receiveMessage(address, 255, pgn::kAddressClaimed, nameBytes(name));
    }
    // A found, identified pump that answers, the way the tool sees it after its first second.
    void pumpInService() {
        h.pumpClaims(61);
        h.pumpSpeaks();
        h.pumpReplies();
        h.core().queue().clear();
        for (uint32_t t = 0; t < kSecond; ++t) {
            h.tick();
        }
        h.pumpSpeaks();
        ASSERT_TRUE(sched().pumpConnected());
        ASSERT_TRUE(sched().softwareIdReceived());
        ASSERT_TRUE(sched().serviceReplyReceived());
        h.core().queue().clear();
        h.clearWritten();
    }
    ToolHarness h;
};

TEST_F(SchedulerTest, WithoutPumpProbesEvery100msAndDeclaresLossAtSeventhSilentSecond) {
    h.tick(8);
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
    EXPECT_TRUE(sched().pumpConnected());
    h.tick(kSecond);
    EXPECT_EQ(h.status(), "Pump not connected");
    EXPECT_FALSE(sched().pumpConnected());
    EXPECT_TRUE(h.core().flags().linkLost.load());
    EXPECT_EQ(indicatorColour(h.mainWindow().shPumpCommunication), QColor(Qt::red).name());
    EXPECT_FALSE(h.find<QPushButton>("fInstaller", "btZovar_DownloadConfiguration")->isEnabled());

    // The next 50-ms duty re-initialises the adapter and clears the flag.
    h.tick(5);
    EXPECT_EQ(h.driver().initCalls(), initsBefore + 1);
    EXPECT_FALSE(h.core().flags().linkLost.load());

    // Every further second of silence repeats the loss and the re-initialisation.
    h.core().setStatus("x");
    h.tick(kSecond - 5);
    EXPECT_EQ(h.status(), "Pump not connected");
    h.tick(5);
    EXPECT_EQ(h.driver().initCalls(), initsBefore + 2);
}

TEST_F(SchedulerTest, AnAdapterThatDoesNotComeBackStaysLost) {
    h.tick(7 * kSecond - 1);  // the seventh silent second declares the loss
    ASSERT_TRUE(h.core().flags().linkLost.load());
    h.driver().setInitResult(kCanError);
    h.tick(5);
    EXPECT_TRUE(h.core().flags().linkLost.load()) << "re-initialisation failed";
    h.driver().setInitResult(kCanOk);
    h.tick(5);
    EXPECT_FALSE(h.core().flags().linkLost.load());
}

TEST_F(SchedulerTest, FoundPumpIsAskedForIdentificationThenPagesAndVin) {
    h.pumpClaims(61);
    EXPECT_EQ(h.status(), "Pump connected");
    EXPECT_EQ(indicatorColour(h.mainWindow().shPumpCommunication), QColor(Qt::green).name());
    EXPECT_EQ(h.core().connection().pumpAddress, 61);
    // The claim itself asks for the VIN at once and queues the all-pages request.
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 1);
    EXPECT_EQ(h.core().queue().size(), 1u);
    h.clearWritten();

    // Software identification every 100 ms until the pump sends one.
    h.tick(30);
    EXPECT_EQ(h.requestsFor(pgn::kSoftwareId), 3);
    for (const J1939Frame& f : h.written(pgn::kRequest)) {
        EXPECT_EQ(f.source, 249);
        EXPECT_EQ(f.destination, 61);
    }
    EXPECT_EQ(probes(), 0);
    h.receiveMessage(0, 255, pgn::kSoftwareId, {'X'});  // another ECU's is not the pump's
    h.clearWritten();
    h.tick(10);
    EXPECT_EQ(h.requestsFor(pgn::kSoftwareId), 1);
    h.pumpSpeaks();
    h.clearWritten();

    // Then, as no service reply has been accepted: all pages and the VIN once, again each second.
    h.tick(10);
    EXPECT_EQ(h.requestsFor(pgn::kSoftwareId), 0);
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 1);
    h.clearWritten();
    h.pumpSpeaks();
    h.tick(70);
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 1);
    h.clearWritten();
    h.pumpSpeaks();
    h.tick(kSecond);
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 1);
    h.clearWritten();
    h.pumpSpeaks();

    // An accepted service reply ends the repetition.
    h.pumpReplies();
    h.tick(3 * kSecond);
    EXPECT_EQ(h.requestsFor(pgn::kVehicleId), 0);
}

TEST_F(SchedulerTest, UnansweredTelegramIsChasedFor60DutiesThenTheNextGoes) {
    pumpInService();
    h.core().sender().enqueueCommand(4, 0, 0, 0);
    h.core().sender().enqueueCommand(3, 0, 0, 0);
    h.tick(5);
    EXPECT_EQ(h.sentCodes(), std::vector<int>{4});
    EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), 1);
    EXPECT_TRUE(sched().awaitingReply());

    int requests = 1;
    for (int duty = 1; duty <= 60; ++duty) {
        h.clearWritten();
        h.pumpSpeaks();  // the pump is alive, it just does not answer this one
        h.tick(5);
        const int expected = duty < 60 ? 1 : 0;
        EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), expected) << "duty " << duty;
        requests += h.requestsFor(pgn::kProprietaryA);
        EXPECT_TRUE(h.sentCodes().empty()) << "the telegram is never sent again";
        for (const J1939Frame& f : h.written(pgn::kRequest)) {
            EXPECT_EQ(f.destination, 61);
        }
    }
    EXPECT_EQ(requests, 60);
    EXPECT_FALSE(sched().awaitingReply());
    h.clearWritten();
    h.tick(5);
    EXPECT_EQ(h.sentCodes(), std::vector<int>{3});
}

TEST_F(SchedulerTest, NoRequestAndNoCountFromTheAnnouncementWhileALongReplyArrives) {
    pumpInService();
    h.core().sender().enqueueCommand(200, 0, 0, 0);
    h.tick(5);
    ASSERT_TRUE(sched().awaitingReply());
    const int before = sched().replyRetryCount();
    // TP.CM from the pump announcing 247 bytes of Proprietary A; the pump pauses before its first
    // packet longer than one duty.
    h.receive(0x18ECF93D, {32, 247, 0, 36, 0xFF, 0x00, 0xEF, 0x00});
    h.clearWritten();
    h.tick(15);
    h.nowMs += 150;
    EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), 0);
    h.receive(0x18EBF93D, {1, 0, 0, 0, 0, 0, 0, 200});
    h.tick(50);
    h.nowMs += 1900;
    h.pumpSpeaks();
    h.tick(5);
    EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), 0);
    EXPECT_EQ(sched().replyRetryCount(), before);
    // More than 2 s without a packet: the reception no longer counts and the chase resumes.
    h.nowMs += 200;
    h.pumpSpeaks();
    h.tick(5);
    EXPECT_EQ(h.requestsFor(pgn::kProprietaryA), 1);
    EXPECT_EQ(sched().replyRetryCount(), before + 1);
}

TEST_F(SchedulerTest, NoServiceTrafficGoesToEverybodyBeforeThePumpIsFound) {
    // No claim yet: the poll and its reply requests go to the configured pump, never to 255.
    h.tick(310);
    ASSERT_FALSE(h.core().connection().pumpKnown());
    ASSERT_FALSE(h.sentCodes().empty());
    for (const J1939Frame& f : h.written()) {
        if (f.pgn == pgn::kAddressClaimed) {
            continue;  // the probe and the claims are for everybody
        }
        EXPECT_EQ(f.destination, 61) << script::describe(f);
    }
}

TEST_F(SchedulerTest, TheFirstPollWithoutAPumpAsksForPage216AndTheMasks) {
    // Before any pump is found the tool assumes software 0.06.
    h.tick(298);
    h.core().queue().clear();
    h.tick();  // 3000 ms
    ASSERT_EQ(sched().tickCount(), 3000u);
    std::vector<int> first;
    T_J1939_PROPERITARY_A t;
    while (h.core().queue().take(t)) {
        first.push_back(t.data[7] + (t.data[0] << 8));
    }
    using namespace service_code;
    EXPECT_EQ(first,
              (std::vector<int>{kRequestMiMasks, kPage216, kPage201, kPage202, kPage205, kPage207,
                                kPage208, kPage209, kPage210, kPage211, kPage203 + 256,
                                kPage204 + 256, kPage206 + 256, kPage212 + 256, kPage216 + 256}));
}

TEST_F(SchedulerTest, PollFillsEachLaneOnlyWhenEmptyAndFollowsSoftwareGates) {
    struct Case {
        uint8_t major, minor;
        std::size_t firstPoll;  // telegrams of the first poll
    } cases[] = {{0, 5, 8 + 4}, {0, 6, 10 + 5}, {0, 9, 10 + 7}};
    for (const Case& c : cases) {
        ToolHarness fresh;
        fresh.start();
        PumpConnection& s = fresh.core().scheduler();
        s.setPumpSoftwareVersion({c.major, c.minor});
        s.pollStatusPages();
        EXPECT_EQ(fresh.core().queue().size(), c.firstPoll) << int(c.major) << "." << int(c.minor);
        // Lanes still holding the previous poll get nothing more; 165 sits in the command lane.
        const std::size_t held = fresh.core().queue().size();
        s.pollStatusPages();
        EXPECT_EQ(fresh.core().queue().size(), held);
    }
}

TEST_F(SchedulerTest, PollRunsAt3000_6000_9000OfEachCycle) {
    pumpInService();
    // Where in the 10-s cycle of the tick counter each poll happens, and how far apart.
    std::vector<int> pollAt;
    std::vector<int> gaps;
    int last = -1;
    for (int t = 1; t <= 2000; ++t) {
        h.pumpSpeaks();
        h.core().queue().clear();
        h.tick();
        if (!h.core().queue().firstPollLaneEmpty()) {
            pollAt.push_back(int(sched().tickCount()));
            if (last >= 0) {
                gaps.push_back((t - last) * 10);
            }
            last = t;
        }
    }
    EXPECT_EQ(pollAt, (std::vector<int>{3000, 6000, 9000, 3000, 6000, 9000}));
    EXPECT_EQ(gaps, (std::vector<int>{3000, 3000, 4000, 3000, 3000}));
}

// --- The tool's own address ---

TEST_F(SchedulerTest, TheToolClaims249WithItsNameBeforeAnythingElse) {
    ToolHarness fresh;
    fresh.start();
    fresh.clearWritten();
    fresh.tick();
    const auto frames = fresh.written();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0].pgn, pgn::kAddressClaimed);
    EXPECT_EQ(frames[0].source, 249);
    EXPECT_EQ(frames[0].destination, 255);
    EXPECT_EQ(script::bytesOf(frames[0]),
              (std::vector<uint8_t>{0xA0, 0x86, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00}));
}

TEST_F(SchedulerTest, AClaimOf249WithAHigherNameIsAnsweredFrom249NeverFromZero) {
    claim(249, kHigherName);
    EXPECT_EQ(h.core().connection().ownAddress, 249);
    EXPECT_EQ(ownClaims(), std::vector<int>{249});
    for (const J1939Frame& f : h.written()) {
        EXPECT_NE(f.source, 0);
    }
}

TEST_F(SchedulerTest, LosingBothToolAddressesSilencesTheToolUntilThePumpIsLost) {
    claim(249, kLowerName);
    EXPECT_EQ(h.core().connection().ownAddress, 250);
    EXPECT_EQ(ownClaims(), std::vector<int>{250});
    h.pumpClaims(61);
    h.clearWritten();
    h.tick(10);
    ASSERT_FALSE(h.written().empty());
    for (const J1939Frame& f : h.written()) {
        EXPECT_EQ(f.source, 250) << script::describe(f);
    }
    // A reply to 250 is the tool's now; one to 249 is not.
    h.receiveMessage(61, 250, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 255});
    EXPECT_EQ(h.status(), "Command not acknowledged");
    h.core().setStatus("x");
    h.receiveMessage(61, 249, pgn::kProprietaryA, {0, 0, 0, 0, 0, 0, 0, 255});
    EXPECT_EQ(h.status(), "x");

    h.clearWritten();
    claim(250, kLowerName);
    const auto frames = h.written();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].source, 254);  // Cannot Claim Address, with the tool's NAME
    EXPECT_EQ(frames[0].pgn, pgn::kAddressClaimed);
    EXPECT_EQ(script::bytesOf(frames[0]), nameBytes(kToolName));
    EXPECT_EQ(h.status(), "No J1939 address free for the tool: it sends nothing");
    EXPECT_EQ(h.dialogs.texts().filter("249 and 250").size(), 1);

    h.clearWritten();
    h.core().sender().enqueueCommand(4, 0, 0, 0);
    h.pumpSpeaks();
    h.tick(5 * kSecond);
    EXPECT_TRUE(h.written().empty()) << "silent: " << script::describe(h.written()[0]);

    // Once the pump counts as lost the tool tries again, from 249.
    h.tick(3 * kSecond);
    EXPECT_EQ(ownClaims().front(), 249);
    EXPECT_EQ(h.core().connection().ownAddress, 249);
    EXPECT_EQ(h.dialogs.texts().filter("249 and 250").size(), 1) << "the operator was told once";
}

TEST_F(SchedulerTest, ARequestForAddressClaimedIsAnswered) {
    h.receiveMessage(0x27, 255, pgn::kRequest, {0x00, 0xEE, 0x00});
    EXPECT_EQ(ownClaims(), std::vector<int>{249});
    h.clearWritten();
    h.receiveMessage(0x27, 249, pgn::kRequest, {0x00, 0xEE, 0x00});
    EXPECT_EQ(ownClaims(), std::vector<int>{249});
    h.clearWritten();
    h.receiveMessage(0x27, 0x30, pgn::kRequest, {0x00, 0xEE, 0x00});  // to another node
    h.receiveMessage(0x27, 249, pgn::kRequest, {0xDA, 0xFE, 0x00});   // another group
    EXPECT_TRUE(ownClaims().empty());
}

// --- The one idea of the pump ---

TEST_F(SchedulerTest, OnlyTheConfiguredAddressIsThePump) {
    h.pumpClaims(0x03);  // a gearbox at key-on
    h.pumpClaims(0x0B);  // a brake controller
    EXPECT_FALSE(h.core().connection().pumpKnown());
    EXPECT_NE(h.status(), "Pump connected");
    h.tick(10);
    EXPECT_EQ(probes(), 1) << "still looking for the pump";
    h.pumpClaims(61);
    EXPECT_EQ(h.core().connection().pumpAddress, 61);
    EXPECT_EQ(h.status(), "Pump connected");
}

TEST_F(SchedulerTest, SensorClaimsChangeNoAddressAndLightTheirIndicators) {
    h.receiveMessage(81, 255, pgn::kAddressClaimed, {0, 0, 0, 0, 0, 0, 0, 0});
    h.receiveMessage(82, 255, pgn::kAddressClaimed, {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(h.core().connection().pumpKnown());
    EXPECT_EQ(h.core().connection().ownAddress, 249);
    EXPECT_EQ(indicatorColour(h.find<QLabel>("fNOxSensor", "shUpstreamConnected")),
              QColor(Qt::green).name());
    EXPECT_EQ(indicatorColour(h.find<QLabel>("fNOxSensor", "shDownstreamConnected")),
              QColor(Qt::green).name());
}

TEST_F(SchedulerTest, SensorsNeverKeepASilentPumpConnected) {
    pumpInService();
    for (uint32_t t = 0; t < 7 * kSecond; ++t) {
        if (t % 10 == 0) {
            h.receiveMessage(81, 255, pgn::kIntakeGas, {0x40, 0x1F, 0, 0, 0, 0, 0, 0});
            h.receiveMessage(82, 255, pgn::kOutletGas, {0x40, 0x1F, 0, 0, 0, 0, 0, 0});
        }
        h.tick();
    }
    EXPECT_EQ(h.status(), "Pump not connected");
}

// --- "tool.ini" ---

TEST(SettingsAddress, AnotherConfiguredAddressMakesAnotherPump) {
    ToolHarness h(FakeLibrary::LoadResult::Ok, "[Pump]\nCAN address=70\n");
    h.start();
    h.pumpClaims(61);
    EXPECT_FALSE(h.core().connection().pumpKnown());
    h.pumpClaims(70);
    EXPECT_EQ(h.core().connection().pumpAddress, 70);
    h.core().queue().clear();
    h.clearWritten();
    h.tick(5);
    h.core().sender().enqueueCommand(4, 0, 0, 0);
    h.tick(5);
    ASSERT_EQ(h.sentCodes(), std::vector<int>{4});
    EXPECT_EQ(h.written(pgn::kProprietaryA)[0].destination, 70);
}

TEST(SettingsAddress, AnAddressOutside1To253IsToldOnceAndTheDefaultUsed) {
    for (const char* value : {"0", "254", "255", "300", "-1", "0x46", "sixty-one"}) {
        SCOPED_TRACE(value);
        ToolHarness h(FakeLibrary::LoadResult::Ok,
                      (std::string("[Pump]\nCAN address=") + value + "\n").c_str());
        EXPECT_EQ(h.core().connection().configuredPumpAddress, 61);
        const QStringList told = h.dialogs.texts().filter("tool.ini");
        ASSERT_EQ(told.size(), 1);
        EXPECT_TRUE(told[0].contains(QString("\"") + value + "\""));
        EXPECT_TRUE(told[0].contains("61"));
        h.start();
        h.pumpClaims(61);
        EXPECT_EQ(h.status(), "Pump connected");
        EXPECT_EQ(h.dialogs.texts().filter("tool.ini").size(), 1) << "told once";
    }
}

TEST(SettingsAddress, AnEditedFileIsSeenWithoutAFileAccessPerFrame) {
    ToolHarness h;
    h.start();
    h.pumpClaims(61);
    ASSERT_EQ(h.core().connection().pumpAddress, 61);
    const std::string path = h.settingsPath().toStdString();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "[Pump]\nCAN address=70\n";
    // The watcher reports the change through the event loop.
    ASSERT_TRUE(processEventsUntil(
        [&] { return h.core().connection().configuredPumpAddress == 70; }, 5000));
    EXPECT_FALSE(h.core().connection().pumpKnown()) << "the pump at 61 is forgotten";
    EXPECT_EQ(h.status(), "Pump not connected");
    h.pumpClaims(70);
    EXPECT_EQ(h.status(), "Pump connected");
}

}  // namespace

namespace {

// --- An adapter that refuses to send ---

TEST(AdapterWrites, RefusedWritesShowOnTheTxBarAndLoseTheLinkAfterTen) {
    ToolHarness h;
    h.start();
    h.tick();
    QProgressBar* tx = h.mainWindow().pbTx;
    h.mainWindow().showActivity();
    const int stepped = tx->value();
    h.driver().setWriteResult(kCanError);
    // Each probe is one refused write: nine are borne, the tenth loses the link.
    h.tick(90);
    h.mainWindow().showActivity();
    EXPECT_EQ(tx->value(), stepped) << "a refused frame does not step the bar";
    EXPECT_EQ(tx->toolTip(), "The adapter refuses to send");
    EXPECT_FALSE(h.core().flags().linkLost.load());
    h.tick(10);
    EXPECT_TRUE(h.core().flags().linkLost.load());

    // Re-initialised at the next duty; writes go out again and the bar says so.
    h.driver().setWriteResult(kCanOk);
    h.tick(5);
    ASSERT_FALSE(h.core().flags().linkLost.load());
    h.tick(5);
    h.mainWindow().showActivity();
    EXPECT_NE(tx->value(), stepped);
    EXPECT_TRUE(tx->toolTip().isEmpty());
}

TEST(AdapterWrites, ABusOffOnWritingLosesTheLinkAtOnce) {
    ToolHarness h;
    h.start();
    h.tick();
    h.driver().setWriteResult(kCanBusOff);
    h.tick(10);  // one probe
    EXPECT_TRUE(h.core().flags().linkLost.load());
}

}  // namespace
