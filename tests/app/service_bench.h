#pragma once
// The whole tool on its built-in simulated pump, with the service family's window timers run on
// the same hand-driven time as the scheduler and the pump: a 29-s purge or a 10-minute
// calibration runs in a moment and the same way every time.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <vector>

#include "service/secondary_windows.h"
#include "service/service_module.h"
#include "service/service_tool.h"
#include "sim_harness.h"
#include "timer_driver.h"

class ServiceBench {
  public:
    explicit ServiceBench(sim::PumpOptions options = {}) : h(std::move(options)) {
        ServiceModule& s = service();
        TfServiceTool& w = window();
        timers.add(w.tmrFlowtestMonitor, [&s] { s.flowMonitorTick(); });
        timers.add(w.tmrEepromWatch, [&s] { s.eepromWatchTick(); });
        const std::pair<QTimer*, HoldTest> holds[] = {{w.tmrValveTest, HoldTest::DosingValve},
                                                      {w.tmrTankHeaterTest, HoldTest::TankHeater},
                                                      {w.tmrLineHeaterTest, HoldTest::LineHeater},
                                                      {w.tmrMI_Lamp, HoldTest::MiLamp},
                                                      {w.tmrUreaLamp, HoldTest::UreaLamp}};
        for (const auto& [timer, test] : holds) {
            timers.add(timer, [&s, test = test] { s.holdTick(test); });
        }
        timers.add(purge().Timer1, [&s] { s.purgeTick(); });
        timers.add(calibration().Timer1, [&s] { s.calibrationTick(); });
        h.onStep = [this](uint64_t) { timers.advance(10); };
    }

    ServiceModule& service() { return h.app().service(); }
    TfServiceTool& window() {
        return *qobject_cast<TfServiceTool*>(h.app().window("fServiceTool"));
    }
    TfUserCalibration& calibration() {
        return *qobject_cast<TfUserCalibration*>(h.app().window("fUserCalibration"));
    }
    TfPurge& purge() { return *qobject_cast<TfPurge*>(h.app().window("fPurge")); }
    const sim::PumpState& pump() { return h.pump().state(); }

    void run(int ms) { h.run(ms); }
    bool runUntil(const std::function<bool()>& done, int maxMs) { return h.runUntil(done, maxMs); }
    // The pump found, its first status pages read (its software version known).
    void connect() {
        ASSERT_TRUE(runUntil(
            [this] {
                return h.core().scheduler().serviceReplyReceived() &&
                       h.core().scheduler().pumpSoftwareVersion().minor == 11;
            },
            10000));
        h.clearSent();
    }
    // The codes the tool sent from here on, without the status polls.
    std::vector<int> commands() const {
        std::vector<int> out;
        for (int code : h.sentCodes()) {
            if (code < 200 && code != 165 && code != 173) {
                out.push_back(code);
            }
        }
        return out;
    }
    // The last telegram with this code the tool sent, or an empty one.
    std::vector<uint8_t> lastSent(int code) const {
        const auto& all = h.sentTelegrams();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->size() >= 8 && (*it)[7] == code) {
                return *it;
            }
        }
        return {};
    }
    // Runs the queued opening of a modal window (it waits for the tick that asked for it).
    void openQueuedModals() { QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall); }

    SimHarness h;
    TimerDriver timers;
};
