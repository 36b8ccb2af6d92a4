#pragma once
// The whole tool against its built-in simulated pump on the in-process bus, with time driven by
// hand: every 10 ms the scheduler ticks, the simulated pump moves on, and what the pump put on the
// bus is handed to the tool as the receive thread would. No thread, no timer, no sleeping: a test
// of "600 s of calibration" runs in a moment and the same way every time.

#include <QLabel>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "sim/pump_model.h"
#include "sim/simulated_pump.h"
#include "tool/tool_application.h"
#include "tool_harness.h"

class SimHarness {
  public:
    explicit SimHarness(sim::PumpOptions options = {});
    ~SimHarness();

    // Lets `ms` of time pass in steps of 10 ms. While the pump is not alive it neither moves on
    // nor is heard (a pump that fell silent, or was unplugged).
    void run(int ms);
    // Runs until `done` holds, at most `maxMs`; true when it held.
    bool runUntil(const std::function<bool()>& done, int maxMs);
    void setPumpAlive(bool alive) { pumpAlive_ = alive; }

    ToolApplication& app() { return *app_; }
    ToolCore& core() { return app_->core(); }
    sim::SimulatedPump& pump();
    uint64_t elapsedMs() const { return elapsedMs_; }
    QString settingsPath() const { return dir_.filePath("tool.ini"); }

    QString label(const char* formName, const char* objectName) const;
    template <typename Widget>
    Widget* find(const char* formName, const char* objectName) const {
        QWidget* w = app_->window(formName);
        return w ? w->findChild<Widget*>(objectName) : nullptr;
    }

    // The service telegrams the tool put on the bus (single frames, 8 data bytes), in order, and
    // their code bytes; clearSent forgets them.
    const std::vector<std::vector<uint8_t>>& sentTelegrams() const { return sent_; }
    std::vector<int> sentCodes() const;
    void clearSent() { sent_.clear(); }

    // Another node's frame, handed to the tool with the next step's frames.
    void inject(const AdapterFrame& frame) { injected_.push_back(frame); }
    // The time the tool last heard the pump (a frame from its address reached the tool).
    uint64_t pumpLastHeardMs() const { return pumpHeardMs_; }

    ScriptedDialogs dialogs;
    // Called after every 10-ms step (a test drives a window's own timer from here).
    std::function<void(uint64_t nowMs)> onStep;
    // Called for every frame from the pump's side of the bus before the tool gets it.
    std::function<void(const AdapterFrame& frame)> onFrame;

  private:
    QTemporaryDir dir_;
    std::unique_ptr<ToolApplication> app_;
    CanDriver* driver_ = nullptr;
    // Hears what the tool writes, as any other node on the bus would.
    std::shared_ptr<SimBus::Endpoint> tap_;
    std::vector<std::vector<uint8_t>> sent_;
    std::vector<AdapterFrame> injected_;
    uint64_t elapsedMs_ = 0;
    uint64_t pumpHeardMs_ = 0;
    bool pumpAlive_ = true;
};
