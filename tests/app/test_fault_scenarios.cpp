// Every fault the simulated pump knows and the bus events a vehicle brings, end to end on the
// in-process bus: the tool keeps running, shows what it must, never shows a value older than the
// supervision allows, and works again without a restart once the fault is gone.

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <cstdio>
#include <functional>

#include "app/indicator.h"
#include "diagnostics/nox_sensor_window.h"
#include "frame_script.h"
#include "installer/installer.h"
#include "mainwindow/main_window.h"
#include "sim_harness.h"

namespace {

constexpr int kInServiceMs = 8000;
constexpr int kFaultMs = 12000;
constexpr int kRecoveryMs = 20000;
// The pump counts as lost at the seventh 1000-ms duty of silence: read-outs may stay that long.
constexpr uint64_t kSupervisionAllowsMs = 7010;

QStringList basicValues(ToolApplication& app) {
    QStringList texts;
    for (auto* label :
         app.mainWindow().gbBasic->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (label->property("tag").toInt() == kValueTag) {
            texts << label->text();
        }
    }
    return texts;
}

bool allUnknown(ToolApplication& app) {
    for (const QString& t : basicValues(app)) {
        if (t != "?") {
            return false;
        }
    }
    return true;
}

bool allKnown(ToolApplication& app) {
    return !basicValues(app).contains("?");
}

AdapterFrame frameOf(uint32_t id, std::vector<uint8_t> bytes) {
    return script::adapterFrame(id, bytes);
}

std::vector<uint8_t> nameBytes(uint64_t name) {
    std::vector<uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = uint8_t(name >> (8 * i));
    }
    return bytes;
}

// A download at the installer level of what the window holds, with the pump's date and dashboard
// overwritten; the status it ends with.
QString downloadConfiguration(SimHarness& h) {
    TfInstaller& w = h.app().installer().window();
    if (!w.isVisible()) {
        h.dialogs.modalResult = kAccessLevelInstaller;
        h.app().mainWindow().Installer1->trigger();
    }
    const std::pair<const char*, const char*> typed[] = {
        {"eVIN", "WDB12345"},
        {"eZovar_Dashboard", "98765"},
        {"eZovar_BlockedNozzleSetupRestart", "45"},
        {"eZovar_TankUpper", "12"},
        {"eZovar_TankLower", "-8"},
        {"eExtHeaterConfig_Defreeze", "-15"},
        {"eZovar_CatalystVolume", "32.5"},
        {"eZovar_CatalystLength", "410.2"},
        {"eZovar_ConversionGain", "1.35"},
        {"eZovar_MafFactor", "275"},
        {"eZovar_ConversionRatioReduced", "4.5"},
        {"eZovar_ConversionRatioThreshold", "6.25"},
        {"eZovar_ConversionRatioAvaragePeriod", "15"},
    };
    for (const auto& [control, text] : typed) {
        w.edit(control)->setText(text);
    }
    h.dialogs.answers = {true, true};
    h.core().setStatus("-");
    h.clearSent();
    w.btZovar_DownloadConfiguration->click();
    h.runUntil([&] { return h.label("Form1", "lStatus").startsWith("Configuration data"); }, 20000);
    QStringList codes;
    for (int c : h.sentCodes()) {
        codes << QString::number(c);
    }
    return h.label("Form1", "lStatus") + " | " + h.dialogs.texts().join(" | ") + " | sent " +
           codes.join(",");
}

struct Scenario {
    std::string name;
    std::function<void(SimHarness&)> begin;
    // Checked while the fault lasts (after kFaultMs); empty when there is nothing special.
    std::function<void(SimHarness&)> during;
    std::function<void(SimHarness&)> end;
    // Checked once the tool works again.
    std::function<void(SimHarness&)> after;
};

Scenario fault(sim::Fault f, std::function<void(SimHarness&)> during = {},
               std::function<void(SimHarness&)> after = {}) {
    return {std::string(sim::faultName(f)), [f](SimHarness& h) { h.pump().setFault(f, true); },
            std::move(during), [f](SimHarness& h) { h.pump().setFault(f, false); },
            std::move(after)};
}

void pumpLost(SimHarness& h) {
    EXPECT_EQ(h.label("Form1", "lStatus"), "Pump not connected");
    EXPECT_TRUE(allUnknown(h.app()));
}

void stillInService(SimHarness& h) {
    EXPECT_NE(h.label("Form1", "lStatus"), "Pump not connected");
    EXPECT_TRUE(h.core().scheduler().pumpConnected());
    EXPECT_TRUE(allKnown(h.app())) << basicValues(h.app()).join(",").toStdString();
}

// The NOx monitor's watchdogs run on the harness's time.
void watchSensors(SimHarness& h) {
    auto* monitor = qobject_cast<TfNOxSensor*>(h.app().window("fNOxSensor"));
    ASSERT_NE(monitor, nullptr);
    h.onStep = [monitor](uint64_t) { monitor->advanceWatchdogs(10); };
}

void sensorLost(SimHarness& h, const char* indicator) {
    EXPECT_EQ(indicatorColour(h.find<QLabel>("fNOxSensor", indicator)), QColor(Qt::red).name());
    stillInService(h);
}

// A sensor falls silent: its read-outs show "?" and its indicator turns red, the pump stays in
// service. When it sends again its read-outs fill again; only its next address claim makes the
// indicator green.
Scenario sensorFault(sim::Fault f, const char* indicator, const char* ppmLabel) {
    return {
        std::string(sim::faultName(f)),
        [f](SimHarness& h) {
            watchSensors(h);
            h.pump().setFault(f, true);
        },
        [indicator, ppmLabel](SimHarness& h) {
            sensorLost(h, indicator);
            EXPECT_EQ(h.label("fNOxSensor", ppmLabel), "?");
        },
        [f](SimHarness& h) { h.pump().setFault(f, false); },
        [ppmLabel](SimHarness& h) {
            EXPECT_TRUE(h.runUntil([&] { return h.label("fNOxSensor", ppmLabel) != "?"; }, 2000));
        }};
}

std::vector<Scenario> scenarios() {
    using sim::Fault;
    std::vector<Scenario> all = {
        fault(Fault::Silence, pumpLost),
        fault(Fault::DropReplies, stillInService),
        fault(Fault::StaleReplies, stillInService),
        fault(Fault::TpStall, stillInService),
        fault(Fault::ClaimToolAddress, stillInService),
        fault(Fault::Reply255),
        sensorFault(Fault::UpstreamSilent, "shUpstreamConnected", "lNOxppmUpstreamSensor"),
        sensorFault(Fault::DownstreamSilent, "shDownstreamConnected", "lNOxppmDownstreamSensor"),
        fault(Fault::ErrorLogNotReady, stillInService),
        fault(Fault::NozzleBlocked, stillInService),
        fault(Fault::UreaEmpty, stillInService),
        fault(Fault::EcmTimeout, stillInService),
        fault(Fault::ValveStuck, stillInService),
    };
    // The echo of a configuration download comes back with a bit flipped.
    all.push_back({"corrupt echo",
                   [](SimHarness& h) {
                       h.pump().setFault(Fault::CorruptEcho, true);
                       EXPECT_TRUE(downloadConfiguration(h).contains("NOT downloaded"));
                   },
                   stillInService,
                   [](SimHarness& h) { h.pump().setFault(Fault::CorruptEcho, false); },
                   [](SimHarness& h) {
                       // The rest of the failed download still goes out first.
                       ASSERT_TRUE(h.runUntil(
                           [&] {
                               return h.core().queue().commandLaneEmpty() &&
                                      !h.core().scheduler().awaitingReply();
                           },
                           60000));
                       const QString status = downloadConfiguration(h);
                       EXPECT_TRUE(status.startsWith("Configuration data downloaded"))
                           << status.toStdString();
                   }});
    // The pump falls silent in the middle of a long reply, and comes back later.
    all.push_back({"pump silent mid-transfer",
                   [](SimHarness& h) {
                       h.onFrame = [&h](const AdapterFrame& f) {
                           if ((f.id & 0x00FFFFFF) == 0x00EBF93D && f.data[0] == 3) {
                               h.setPumpAlive(false);
                               h.onFrame = {};
                           }
                       };
                   },
                   pumpLost,
                   [](SimHarness& h) { h.setPumpAlive(true); },
                   {}});
    // Another node claims the tool's address with a higher priority NAME.
    all.push_back(
        {"address conflict",
         [](SimHarness& h) { h.inject(frameOf(0x18EEFFF9, nameBytes(0x0000000100000000ull))); },
         [](SimHarness& h) {
             EXPECT_EQ(h.core().connection().ownAddress, 250);
             stillInService(h);
         },
         {},
         {}});
    // Other ECUs claim, one of them at the pump's own address (a second pump).
    all.push_back({"a second pump claiming",
                   [](SimHarness& h) {
                       h.inject(frameOf(0x18EEFF3E, nameBytes(0x0123456789ABCDEFull)));
                       h.inject(frameOf(0x18EEFF3D, nameBytes(0x0FEDCBA987654321ull)));
                   },
                   stillInService,
                   {},
                   {}});
    // Unrelated traffic at the bus's limit, from nodes the tool does not know; some of it
    // addressed to the tool as if it were the pump's.
    all.push_back(
        {"a storm of unrelated traffic",
         [](SimHarness& h) {
             h.onStep = [&h](uint64_t now) {
                 for (uint8_t i = 0; i < 19; ++i) {
                     const uint8_t node = uint8_t(1 + (now / 10 + i) % 40);
                     switch (i % 5) {
                         case 0:
                             h.inject(frameOf(0x0CF00400u | node, {1, 2, 3, 4, 5, 6, 7, 8}));
                             break;
                         case 1:
                             h.inject(frameOf(0x18EFF900u | node, {0, 0, 0, 0, 0, 0, 0, 200}));
                             break;
                         case 2:
                             h.inject(
                                 frameOf(0x1CECFF00u | node, {32, 20, 0, 3, 0xFF, 0xCA, 0xFE, 0}));
                             break;
                         case 3:
                             h.inject(frameOf(0x1CEBF900u | node, {1, 9, 9, 9, 9, 9, 9, 9}));
                             break;
                         default:
                             h.inject(frameOf(0x18F00E00u | node, {0, 0, 0, 0, 0, 0, 0, 0}));
                             break;
                     }
                 }
             };
         },
         stillInService,
         [](SimHarness& h) { h.onStep = {}; },
         {}});
    return all;
}

// Failed assertions of the running test so far.
int failuresSoFar() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

TEST(FaultScenarios, TheToolSurvivesEveryFaultAndRecoversWithoutARestart) {
    int survived = 0;
    const std::vector<Scenario> all = scenarios();
    for (const Scenario& s : all) {
        SCOPED_TRACE(s.name);
        const int failuresBefore = failuresSoFar();
        SimHarness h;
        h.run(kInServiceMs);
        ASSERT_TRUE(h.core().scheduler().serviceReplyReceived());
        ASSERT_TRUE(allKnown(h.app()));

        // Read-outs never outlive the supervision: checked after every step.
        bool stale = false;
        const auto watch = [&] {
            if (h.elapsedMs() - h.pumpLastHeardMs() > kSupervisionAllowsMs &&
                !allUnknown(h.app())) {
                stale = true;
            }
        };
        s.begin(h);
        for (int t = 0; t < kFaultMs; t += 10) {
            h.run(10);
            watch();
        }
        if (s.during) {
            s.during(h);
        }
        if (s.end) {
            s.end(h);
        }
        const bool recovered = h.runUntil(
            [&] {
                watch();
                return h.core().scheduler().pumpConnected() &&
                       h.label("Form1", "lStatus") != "Pump not connected" &&
                       h.core().scheduler().serviceReplyReceived() && allKnown(h.app());
            },
            kRecoveryMs);
        EXPECT_TRUE(recovered) << h.label("Form1", "lStatus").toStdString();
        EXPECT_FALSE(stale) << "a value was shown longer than the supervision allows";
        if (s.after && recovered) {
            s.after(h);
        }
        if (failuresSoFar() == failuresBefore && recovered && !stale) {
            ++survived;
        }
    }
    std::printf("fault-scenarios: %d survived of %zu run\n", survived, all.size());
    EXPECT_EQ(survived, int(all.size()));
}

}  // namespace
