#pragma once
// The NOx sensor window: what the two NOx sensors broadcast beside what the pump made of their
// messages (pages 209 and 210), and whether each sensor is alive. The read-outs follow the bus
// whether the window is shown or not.

#include <QLabel>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "app/tool_window.h"
#include "pump/nox_sensor.h"
#include "pump/number_format.h"

class ReadoutMarker;
class TfNOxData;

class TfNOxSensor : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfNOxSensor(QWidget* parent = nullptr);

    // A gas message of the sensor: the watchdog starts over, the sensor's frame and its two
    // labels show the message. A message shorter than 8 bytes is none.
    void onSensorMessage(NoxSide side, std::span<const uint8_t> message);
    // The pump's record of the sensor (page 209 or 210, or inside reply 200). Returns the pump's
    // NOx text, which the main window shows too, when the record holds it.
    std::optional<QString> onPumpSensorRecord(NoxSide side, std::span<const uint8_t> record);
    // The sensor claimed its address: its indicator turns green.
    void onSensorAddressClaimed(NoxSide side);
    // The pump's side of both sensors back to "?" (the sensors' own side follows their
    // watchdogs).
    void clearNoxPumpDisplay();

    // The watchdog timers' handlers.
    void tmrUpstreamNOxSensorWatchdogTimer() { watchdogExpired(NoxSide::Upstream); }
    void tmrDownstreamNOxSensorWatchdogTimer() { watchdogExpired(NoxSide::Downstream); }
    // Simulated time: moves both watchdogs on by `ms` instead of their timers (the harnesses of
    // the tests and the benchmark run the tool without an event loop).
    void advanceWatchdogs(uint32_t ms);

    const NoxSensorWatch& watch(NoxSide side) const { return side_(side).watch; }
    QTimer* watchdogTimer(NoxSide side) const { return side_(side).timer; }
    TfNOxData* sensorFrame(NoxSide side) const { return side_(side).sensorFrame; }
    TfNOxData* pumpFrame(NoxSide side) const { return side_(side).pumpFrame; }

    DisplayFormat format = DisplayFormat::system();

  private:
    struct Side {
        TfNOxData* sensorFrame = nullptr;
        TfNOxData* pumpFrame = nullptr;
        QLabel* sensorNoxPpm = nullptr;
        QLabel* sensorO2Percent = nullptr;
        QLabel* pumpNoxPpm = nullptr;
        QLabel* pumpO2Percent = nullptr;
        QLabel* pumpO2Lin = nullptr;
        QLabel* indicator = nullptr;
        QTimer* timer = nullptr;
        NoxSensorWatch watch;
    };
    Side& side_(NoxSide side) { return sides_[side == NoxSide::Upstream ? 0 : 1]; }
    const Side& side_(NoxSide side) const { return sides_[side == NoxSide::Upstream ? 0 : 1]; }
    QWidget* buildSide(NoxSide side, ReadoutMarker* marker);
    QWidget* buildHiddenLists();
    void watchdogExpired(NoxSide side);
    // What an expiry leaves on screen: "?" on the sensor's side, the indicator red.
    void showSensorLost(NoxSide side);
    void showIndicator(NoxSide side);

    std::array<Side, 2> sides_;
};
