#include "sim_harness.h"

#include <gtest/gtest.h>

#include "mainwindow/main_window.h"
#include "sim/simulator_node.h"

SimHarness::SimHarness(sim::PumpOptions options) {
    ToolOptions tool;
    tool.adapter = "simulator";
    tool.settingsPath = dir_.filePath("tool.ini");
    tool.clock = [this] { return 1000000 + elapsedMs_; };
    tool.simulatedPump = std::move(options);
    app_ = std::make_unique<ToolApplication>(tool, dialogs);
    // Time moves only when the test says so.
    app_->simulator()->stop();
    app_->core().link().load();
    app_->mainWindow().tmrTx->stop();
    driver_ = app_->core().link().driver();
    tap_ = app_->simulatorBus()->attach();
    if (driver_ == nullptr || driver_->init() != kCanOk) {
        ADD_FAILURE() << "the simulator bus did not open";
    }
}

SimHarness::~SimHarness() {
    for (const std::string& name : app_->core().pageDisplay().missingReadouts()) {
        ADD_FAILURE() << "a status page names a read-out no window holds: " << name;
    }
    app_.reset();
}

sim::SimulatedPump& SimHarness::pump() {
    return app_->simulator()->pump();
}

void SimHarness::run(int ms) {
    for (int t = 0; t < ms; t += 10) {
        elapsedMs_ += 10;
        core().scheduler().schedulerTick();
        AdapterFrame heard;
        while (tap_->read(heard)) {
            const auto f = decodeFrame(heard);
            if (f && f->pgn == pgn::kProprietaryA &&
                f->source != app_->simulator()->pump().options().address) {
                sent_.emplace_back(f->data, f->data + f->length);
            }
        }
        if (pumpAlive_) {
            app_->simulator()->tick();
        }
        AdapterFrame frame;
        std::vector<AdapterFrame> batch;
        while (driver_ && driver_->read(frame) == kCanOk) {
            if (pumpAlive_) {
                if (onFrame) {
                    onFrame(frame);
                }
                if (pumpAlive_) {
                    batch.push_back(frame);
                    if ((frame.id & 0xFF) == app_->simulator()->pump().options().address) {
                        pumpHeardMs_ = elapsedMs_;
                    }
                }
            }
        }
        batch.insert(batch.end(), injected_.begin(), injected_.end());
        injected_.clear();
        if (!batch.empty()) {
            core().handOver(batch);
        }
        if (onStep) {
            onStep(elapsedMs_);
        }
    }
}

bool SimHarness::runUntil(const std::function<bool()>& done, int maxMs) {
    for (int t = 0; t < maxMs; t += 10) {
        if (done()) {
            return true;
        }
        run(10);
    }
    return done();
}

std::vector<int> SimHarness::sentCodes() const {
    std::vector<int> codes;
    for (const auto& t : sent_) {
        if (t.size() >= 8) {
            codes.push_back(t[7]);
        }
    }
    return codes;
}

QString SimHarness::label(const char* formName, const char* objectName) const {
    if (auto* l = find<QLabel>(formName, objectName)) {
        return l->text();
    }
    return "<no label>";
}
