// The diagnostic windows against the built-in simulated pump and its two NOx sensors, with
// hand-driven time: what the sensors and the pump send reaches every read-out.

#include <gtest/gtest.h>

#include <QSet>

#include "app/indicator.h"
#include "diagnostics/diagnostics_module.h"
#include "diagnostics/nox_data_frame.h"
#include "diagnostics/nox_sensor_window.h"
#include "diagnostics/obd_window.h"
#include "diagnostics/torque_limiter_window.h"
#include "sim_harness.h"

namespace {

TEST(DiagnosticsOnTheSimulatedPump, EveryWindowShowsWhatThePumpAndItsSensorsSend) {
    SimHarness h;
    DiagnosticsModule& d = h.app().diagnostics();
    TfNOxSensor& nox = d.noxSensor();
    QSet<QString> upstreamReadings;
    h.onStep = [&](uint64_t) {
        nox.advanceWatchdogs(10);
        upstreamReadings.insert(h.label("fNOxSensor", "lNOxppmUpstreamSensor"));
    };
    h.run(10000);

    for (NoxSide side : {NoxSide::Upstream, NoxSide::Downstream}) {
        const NoxSideNames& n = noxSideNames(side);
        for (TfNOxData* frame : {nox.sensorFrame(side), nox.pumpFrame(side)}) {
            EXPECT_NE(frame->readout("lNOxValue")->text(), "?")
                << frame->objectName().toStdString();
            EXPECT_NE(frame->readout("lNOxValue")->text(), "0");
            EXPECT_EQ(frame->readout("lNOxStatusNOxSignal")->text(), "valid");
            EXPECT_EQ(frame->readout("lNOxError")->text(), "no error");
        }
        for (const char* name :
             {n.sensorNoxPpm, n.sensorO2Percent, n.pumpNoxPpm, n.pumpO2Percent, n.pumpO2Lin}) {
            EXPECT_NE(h.label("fNOxSensor", name), "?") << name;
        }
        // The sensors answered the tool's probe with their claims.
        EXPECT_EQ(indicatorColour(h.find<QLabel>("fNOxSensor", n.indicator)), "#00ff00");
        EXPECT_EQ(h.label("Form1", n.mainWindowNox), h.label("fNOxSensor", n.pumpNoxPpm));
    }
    // The sensors' readings move.
    upstreamReadings.remove("?");
    EXPECT_GT(upstreamReadings.size(), 3);

    const TfOBD& obd = d.obd();
    for (int row = 1; row <= 26; ++row) {
        if (!obd.advsgOBD->cells().isRowHidden(row)) {
            EXPECT_NE(obd.getObdState(row), "?") << "row " << row;
            EXPECT_FALSE(obd.getObdState(row).isEmpty()) << "row " << row;
        }
    }
    EXPECT_NE(h.label("frmTorqueLimiter", "lCoutDown5Sec"), "?");
    EXPECT_NE(h.label("frmTorqueLimiter", "lCoutDown45Sec"), "?");
    EXPECT_TRUE(h.dialogs.shown.empty());

    // The sensors fall silent with the pump: their sides turn "?" and red within a second.
    h.setPumpAlive(false);
    h.run(1100);
    EXPECT_EQ(h.label("fNOxSensor", "lNOxppmUpstreamSensor"), "?");
    EXPECT_EQ(indicatorColour(h.find<QLabel>("fNOxSensor", "shDownstreamConnected")), "#ff0000");
}

}  // namespace
