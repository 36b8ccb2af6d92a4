// The NOx sensor window on the whole tool: the sensors' gas messages through the receive
// dispatch into the four frames, the pump's records of pages 209 and 210, the watchdogs on a
// hand-driven clock, the indicators and the display clear.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QTest>
#include <cstring>

#include "app/indicator.h"
#include "diagnostics/diagnostics_module.h"
#include "diagnostics/nox_data_frame.h"
#include "diagnostics/nox_sensor_window.h"
#include "diagnostics/readout_label.h"
#include "tool_harness.h"

namespace {

constexpr uint8_t kUpstream = 81;
constexpr uint8_t kDownstream = 82;
const char* const kRed = "#ff0000";
const char* const kGreen = "#00ff00";

// The frame's read-outs in the order of their table.
const char* const kFrameReadouts[] = {
    "lNOxValue",
    "lO2",
    "lNOxStatusSensorSupply",
    "lNOxStatusNOxSignal",
    "lNOxStatusOxygenSignal",
    "lNOxStatusSensorTemperature",
    "lStatusHeaterMode",
    "lNOxError",
    "lOxError",
    "lHeaterError",
};

class NoxMonitor : public ::testing::Test {
  protected:
    void SetUp() override {
        h.start();
        nox = &h.app().diagnostics().noxSensor();
    }
    void sensorSends(uint8_t source, uint32_t pgn, const std::vector<uint8_t>& bytes) {
        h.receiveMessage(source, 255, pgn, bytes);
    }
    void sensorClaims(uint8_t source) {
        h.receiveMessage(source, 255, pgn::kAddressClaimed, {9, 8, 7, 6, 5, 4, 3, 2});
    }
    QString frameText(NoxSide side, bool pump, const char* name) const {
        TfNOxData* frame = pump ? nox->pumpFrame(side) : nox->sensorFrame(side);
        QLabel* label = frame->readout(name);
        return label ? label->text() : "<none>";
    }
    QStringList frameTexts(NoxSide side, bool pump) const {
        QStringList texts;
        for (const char* name : kFrameReadouts) {
            texts << frameText(side, pump, name);
        }
        return texts;
    }
    QString label(const char* name) const { return h.label("fNOxSensor", name); }
    QString indicator(const char* name) const {
        return indicatorColour(h.find<QLabel>("fNOxSensor", name));
    }
    // The sensor's side as the watchdog leaves it: every read-out "?".
    bool sideUnknown(NoxSide side) const {
        const NoxSideNames& n = noxSideNames(side);
        return frameTexts(side, false) == QStringList(10, "?") && label(n.sensorNoxPpm) == "?" &&
               label(n.sensorO2Percent) == "?";
    }

    ToolHarness h;
    TfNOxSensor* nox = nullptr;
};

TEST_F(NoxMonitor, GasMessagesDecodedIntoTheSensorFrameAndLabels) {
    const struct {
        std::vector<uint8_t> bytes;
        QStringList frame;  // the read-outs in kFrameReadouts order
        QString noxPpm;
        QString o2Percent;
    } cases[] = {
        // NOx raw 4000 is 0 ppm, O2 raw 0 is -12 %; 0x55 all in range and valid; heater byte 0x7F
        // off / preheating with no error; NOx FMI 3, O2 FMI 4.
        {{0xA0, 0x0F, 0x00, 0x00, 0x55, 0x7F, 0x03, 0x04},
         {"4000", "0", "in range", "valid", "valid", "at operating temperature",
          "off / preheating mode", "short circuit", "Invalid value: 4", "no error"},
         "0",
         "-12.00"},
        // Raw 0 is -200 ppm; raw O2 65535 is 21.68 %; everything "not ..."; heater FMI 5 in
        // automatic mode; the unread high bits of bytes 7 and 8 change nothing.
        {{0x00, 0x00, 0xFF, 0xFF, 0x00, 0x05, 0xFF, 0xE3},
         {"0", "65535", "not in range", "not valid", "not valid", "not at temperature",
          "automatic mode", "no error", "short circuit", "open wire"},
         "-200",
         "21.68"},
        // 3999 truncates toward zero to 0 ppm; O2 raw 25000 is 0.85 %; each two-bit field of
        // byte 5 at another value; heater mode 1 and 2.
        {{0x9F, 0x0F, 0xA8, 0x61, 0xE4, 0x3F, 0x1F, 0x1F},
         {"3999", "25000", "not in range", "error", "not available", "at operating temperature",
          "heatup slope 3 or 4", "no error", "no error", "no error"},
         "0",
         "0.85"},
        {{0xA1, 0x0F, 0x00, 0x00, 0xAA, 0x5F, 0x00, 0x1E},
         {"4001", "0", "error", "error", "error", "error", "heatup slope 1 or 2",
          "Invalid value: 0", "Invalid value: 30", "no error"},
         "0",
         "-12.00"},
    };
    for (const auto& c : cases) {
        sensorSends(kUpstream, pgn::kIntakeGas, c.bytes);
        EXPECT_EQ(frameTexts(NoxSide::Upstream, false), c.frame) << c.frame.join(",").toStdString();
        EXPECT_EQ(label("lNOxppmUpstreamSensor"), c.noxPpm);
        EXPECT_EQ(label("lO2percentUpstreamSensor"), c.o2Percent);
        // The same message from the downstream sensor fills the downstream side alone.
        sensorSends(kDownstream, pgn::kOutletGas, c.bytes);
        EXPECT_EQ(frameTexts(NoxSide::Downstream, false), c.frame);
        EXPECT_EQ(label("lNOxppmDownstreamSensor"), c.noxPpm);
        EXPECT_EQ(label("lO2percentDownstreamSensor"), c.o2Percent);
        // The pump frames show the pump's records only.
        EXPECT_EQ(frameTexts(NoxSide::Upstream, true), QStringList(10, "?"));
    }
}

TEST_F(NoxMonitor, OnlyTheSensorsOwnAddressesAndGroupsCount) {
    nox->advanceWatchdogs(10);  // both sides "?" after the first millisecond
    ASSERT_TRUE(sideUnknown(NoxSide::Upstream));
    const std::vector<uint8_t> gas = {0xA0, 0x0F, 0, 0, 0x55, 0x7F, 0x03, 0x04};
    // The engine and any other node send the same groups on a vehicle; the outlet group from the
    // upstream address and the intake group from the downstream address are no sensor's either.
    sensorSends(0x00, pgn::kIntakeGas, gas);
    sensorSends(0x3D, pgn::kOutletGas, gas);
    sensorSends(kUpstream, pgn::kOutletGas, gas);
    sensorSends(kDownstream, pgn::kIntakeGas, gas);
    EXPECT_TRUE(sideUnknown(NoxSide::Upstream));
    EXPECT_TRUE(sideUnknown(NoxSide::Downstream));
    EXPECT_FALSE(nox->watch(NoxSide::Upstream).running());
    // A message shorter than 8 bytes is none: no read-out and no watchdog restart.
    sensorSends(kUpstream, pgn::kIntakeGas, {0xA0, 0x0F, 0, 0, 0x55});
    EXPECT_TRUE(sideUnknown(NoxSide::Upstream));
    EXPECT_FALSE(nox->watch(NoxSide::Upstream).running());
    sensorSends(kUpstream, pgn::kIntakeGas, gas);
    EXPECT_EQ(label("lNOxppmUpstreamSensor"), "0");
    EXPECT_TRUE(sideUnknown(NoxSide::Downstream));
}

TEST_F(NoxMonitor, WatchdogTimelineAndIndicators) {
    const std::vector<uint8_t> gas = {0x40, 0x1F, 0x80, 0x3E, 0x55, 0x1F, 0x1F, 0x1F};
    QTimer* up = nox->watchdogTimer(NoxSide::Upstream);
    ASSERT_EQ(up->objectName(), "tmrUpstreamNOxSensorWatchdog");
    ASSERT_EQ(nox->watchdogTimer(NoxSide::Downstream)->objectName(),
              "tmrDownstreamNOxSensorWatchdog");
    // Start-up: both watchdogs run with 1 ms, so both sides are "?" at once; indicators red.
    EXPECT_TRUE(up->isActive());
    EXPECT_EQ(up->interval(), 1);
    EXPECT_EQ(indicator("shUpstreamConnected"), kRed);
    nox->advanceWatchdogs(10);
    EXPECT_TRUE(sideUnknown(NoxSide::Upstream));
    EXPECT_TRUE(sideUnknown(NoxSide::Downstream));
    EXPECT_FALSE(up->isActive());
    EXPECT_EQ(up->interval(), 1000);

    // A message fills the side and starts the watchdog with 1000 ms; the indicator stays red.
    sensorSends(kUpstream, pgn::kIntakeGas, gas);
    EXPECT_FALSE(sideUnknown(NoxSide::Upstream));
    EXPECT_TRUE(up->isActive());
    EXPECT_EQ(up->interval(), 1000);
    EXPECT_EQ(indicator("shUpstreamConnected"), kRed);
    // Only the sensor's own claim turns it green.
    sensorClaims(kUpstream);
    EXPECT_EQ(indicator("shUpstreamConnected"), kGreen);
    EXPECT_EQ(indicator("shDownstreamConnected"), kRed);

    // Messages every 100 ms for five seconds: never "?".
    for (int i = 0; i < 50; ++i) {
        nox->advanceWatchdogs(100);
        ASSERT_FALSE(sideUnknown(NoxSide::Upstream)) << "at " << (i + 1) * 100 << " ms";
        sensorSends(kUpstream, pgn::kIntakeGas, gas);
    }
    // A gap: still shown at 999 ms, "?" and red at 1000 ms.
    nox->advanceWatchdogs(999);
    EXPECT_FALSE(sideUnknown(NoxSide::Upstream));
    nox->advanceWatchdogs(1);
    EXPECT_TRUE(sideUnknown(NoxSide::Upstream));
    EXPECT_EQ(indicator("shUpstreamConnected"), kRed);
    EXPECT_FALSE(up->isActive());
    // The next message fills the read-outs again; the indicator waits for a claim.
    sensorSends(kUpstream, pgn::kIntakeGas, gas);
    EXPECT_FALSE(sideUnknown(NoxSide::Upstream));
    EXPECT_EQ(indicator("shUpstreamConnected"), kRed);
    sensorClaims(kUpstream);
    EXPECT_EQ(indicator("shUpstreamConnected"), kGreen);

    // The timers' own handlers do what the clock does.
    sensorSends(kDownstream, pgn::kOutletGas, gas);
    sensorClaims(kDownstream);
    EXPECT_EQ(indicator("shDownstreamConnected"), kGreen);
    nox->tmrDownstreamNOxSensorWatchdogTimer();
    EXPECT_TRUE(sideUnknown(NoxSide::Downstream));
    EXPECT_EQ(indicator("shDownstreamConnected"), kRed);
    EXPECT_FALSE(nox->watchdogTimer(NoxSide::Downstream)->isActive());
    EXPECT_FALSE(sideUnknown(NoxSide::Upstream));
}

std::vector<uint8_t> pumpRecord(int16_t nox, int16_t o2Lin, float o2,
                                const std::vector<uint8_t>& message) {
    std::vector<uint8_t> r = {uint8_t(nox), uint8_t(uint16_t(nox) >> 8), uint8_t(o2Lin),
                              uint8_t(uint16_t(o2Lin) >> 8)};
    uint32_t bits;
    std::memcpy(&bits, &o2, 4);
    for (int i = 0; i < 4; ++i) {
        r.push_back(uint8_t(bits >> (8 * i)));
    }
    r.insert(r.end(), message.begin(), message.end());
    return r;
}

TEST_F(NoxMonitor, PumpRecordsFillThePumpSideAndTheMainWindow) {
    nox->advanceWatchdogs(10);
    // Page 209: NOx -150 ppm, O2_lin 321, O2 7.5 %, and the upstream message as the pump got it.
    h.core().pageDisplay().onStatusPage(
        209, pumpRecord(-150, 321, 7.5f, {0xA0, 0x0F, 0, 0, 0x55, 0x7F, 0x03, 0x04}));
    EXPECT_EQ(
        frameTexts(NoxSide::Upstream, true),
        (QStringList{"4000", "0", "in range", "valid", "valid", "at operating temperature",
                     "off / preheating mode", "short circuit", "Invalid value: 4", "no error"}));
    EXPECT_EQ(label("lNOxppmUpstreamPump"), "-150");
    EXPECT_EQ(label("lO2linUpstreamPump"), "321");
    EXPECT_EQ(label("lO2percentUpstreamPump"), "7.50");
    EXPECT_EQ(h.label("lNOxUp"), "-150");
    EXPECT_EQ(h.label("lNOxDown"), "?");
    // Page 210 goes to the downstream side.
    h.core().pageDisplay().onStatusPage(
        210, pumpRecord(42, -7, -1.25f, {0, 0, 0, 0, 0xFF, 0x05, 0x1F, 0x1F}));
    EXPECT_EQ(label("lNOxppmDownstreamPump"), "42");
    EXPECT_EQ(label("lO2linDownstreamPump"), "-7");
    EXPECT_EQ(label("lO2percentDownstreamPump"), "-1.25");
    EXPECT_EQ(frameText(NoxSide::Downstream, true, "lNOxStatusSensorSupply"), "not available");
    EXPECT_EQ(frameText(NoxSide::Downstream, true, "lHeaterError"), "open wire");
    EXPECT_EQ(h.label("lNOxDown"), "42");
    // The pump's records touch neither the sensors' sides, nor the watchdogs, nor the indicators.
    EXPECT_TRUE(sideUnknown(NoxSide::Upstream));
    EXPECT_FALSE(nox->watch(NoxSide::Upstream).running());
    EXPECT_EQ(indicator("shUpstreamConnected"), kRed);

    // A short record shows the fields it holds whole and leaves the others.
    const std::vector<uint8_t> shortRecord = {0x10, 0x00, 0x05, 0x00, 0x00};
    h.core().pageDisplay().onStatusPage(209, shortRecord);
    EXPECT_EQ(label("lNOxppmUpstreamPump"), "16");
    EXPECT_EQ(label("lO2linUpstreamPump"), "5");
    EXPECT_EQ(label("lO2percentUpstreamPump"), "7.50");
    EXPECT_EQ(frameText(NoxSide::Upstream, true, "lNOxValue"), "4000");
}

TEST_F(NoxMonitor, DisplayClearEmptiesThePumpSideOnly) {
    const std::vector<uint8_t> gas = {0xA0, 0x0F, 0, 0, 0x55, 0x7F, 0x03, 0x04};
    sensorSends(kUpstream, pgn::kIntakeGas, gas);
    h.core().pageDisplay().onStatusPage(209, pumpRecord(-150, 321, 7.5f, gas));
    h.core().pageDisplay().onStatusPage(210, pumpRecord(-150, 321, 7.5f, gas));
    h.core().clearPumpDisplay();
    for (NoxSide side : {NoxSide::Upstream, NoxSide::Downstream}) {
        const NoxSideNames& n = noxSideNames(side);
        EXPECT_EQ(frameTexts(side, true), QStringList(10, "?"));
        for (const char* name : {n.pumpNoxPpm, n.pumpO2Percent, n.pumpO2Lin}) {
            EXPECT_EQ(label(name), "?") << name;
        }
    }
    // What the sensor itself sends stays until its watchdog says otherwise.
    EXPECT_EQ(frameText(NoxSide::Upstream, false, "lNOxValue"), "4000");
    EXPECT_EQ(label("lNOxppmUpstreamSensor"), "0");
}

TEST_F(NoxMonitor, WindowLayoutHiddenListsAndMarking) {
    QWidget* w = h.app().window("fNOxSensor");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "NOx Sensor Data");
    const struct {
        const char* name;
        const char* caption;
    } frames[] = {{"frUpstreamSensorData", "Upstream sensor data"},
                  {"frDownstreamSensorData", "Downstream sensor data"},
                  {"frUpstreamDataFromPump", "Upstream pump data"},
                  {"frDownstreamDataFromPump", "Downstream pump data"}};
    for (const auto& f : frames) {
        auto* frame = w->findChild<QGroupBox*>(f.name);
        ASSERT_NE(frame, nullptr) << f.name;
        EXPECT_EQ(frame->title(), f.caption);
        for (const char* name : kFrameReadouts) {
            ASSERT_NE(frame->findChild<QLabel*>(name), nullptr) << f.name << "/" << name;
        }
    }
    // Each value is announced with its caption.
    QLabel* value = nox->sensorFrame(NoxSide::Upstream)->readout("lNOxValue");
    auto* form = qobject_cast<QFormLayout*>(value->parentWidget()->layout());
    ASSERT_NE(form, nullptr);
    auto* caption = qobject_cast<QLabel*>(form->labelForField(value));
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), "NOx consentration [raw]");

    // The hidden lists carry the status and error texts; they are never shown.
    const struct {
        const char* name;
        QStringList items;
    } lists[] = {
        {"cbNOxStatusSensorSupply", {"not in range", "in range", "error", "not available"}},
        {"cbNOxStatusNOxSignal", {"not valid", "valid", "error", "not available"}},
        {"cbNOxStatusOxSignal", {"not valid", "valid", "error", "not available"}},
        {"cbNOxStatusSensorTemperature",
         {"not at temperature", "at operating temperature", "error", "not available"}},
        {"cbHeaterModeStatus",
         {"automatic mode", "heatup slope 3 or 4", "heatup slope 1 or 2", "off / preheating mode"}},
        {"cbHeaterError", {"short circuit", "open wire", "no error"}},
        {"cbNOxError", {"short circuit", "open wire", "no error"}},
        {"cbOxError", {"short circuit", "open wire", "no error"}},
    };
    w->show();
    for (const auto& l : lists) {
        auto* combo = w->findChild<QComboBox*>(l.name);
        ASSERT_NE(combo, nullptr) << l.name;
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) {
            items << combo->itemText(i);
        }
        EXPECT_EQ(items, l.items) << l.name;
        EXPECT_FALSE(combo->isVisible()) << l.name;
    }

    // A click marks a read-out, a second click gives back its colour.
    QLabel* o2 = nox->pumpFrame(NoxSide::Downstream)->readout("lOxError");
    EXPECT_FALSE(ReadoutMarker::marked(o2));
    QTest::mouseClick(o2, Qt::LeftButton);
    EXPECT_TRUE(ReadoutMarker::marked(o2));
    EXPECT_EQ(o2->backgroundRole(), QPalette::ToolTipBase);
    QTest::mouseClick(o2, Qt::LeftButton);
    EXPECT_FALSE(ReadoutMarker::marked(o2));
    EXPECT_EQ(o2->backgroundRole(), QPalette::Button);
    w->close();
}

}  // namespace
