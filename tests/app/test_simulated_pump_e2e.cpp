// The whole tool against the built-in simulated pump, on the in-process bus, with time driven by
// hand: every 10 ms the scheduler ticks, the simulated pump moves on, and what the pump put on the
// bus is handed to the tool as the receive thread would.

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QTemporaryDir>

#include "mainwindow/main_window.h"
#include "sim/simulator_node.h"
#include "tool_harness.h"

namespace {

class SimulatedPumpEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        ToolOptions options;
        options.adapter = "simulator";
        options.settingsPath = dir.filePath("tool.ini");
        options.clock = [this] { return 1000000 + elapsedMs; };
        app = std::make_unique<ToolApplication>(options, dialogs);
        ASSERT_TRUE(app->usesSimulator());
        app->simulator()->stop();
        app->core().link().load();
        app->mainWindow().tmrTx->stop();
        driver = app->core().link().driver();
        ASSERT_NE(driver, nullptr);
        ASSERT_EQ(driver->init(), kCanOk);
    }

    void run(int ms, bool pumpAlive = true) {
        for (int t = 0; t < ms; t += 10) {
            elapsedMs += 10;
            app->core().scheduler().schedulerTick();
            if (pumpAlive) {
                app->simulator()->tick();
            }
            AdapterFrame frame;
            while (driver->read(frame) == kCanOk) {
                if (pumpAlive) {
                    app->core().handOver(std::span<const AdapterFrame>(&frame, 1));
                }
            }
        }
    }

    QStringList unfilled(QGroupBox* group) const {
        QStringList names;
        for (auto* label : group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->property("tag").toInt() == kValueTag && label->text() == "?") {
                names << label->objectName();
            }
        }
        return names;
    }

    static qsizetype valueCount(QGroupBox* group) {
        qsizetype n = 0;
        for (auto* label : group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            n += label->property("tag").toInt() == kValueTag ? 1 : 0;
        }
        return n;
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<ToolApplication> app;
    CanDriver* driver = nullptr;
    uint64_t elapsedMs = 0;
};

TEST_F(SimulatedPumpEndToEnd, FillsEveryValueAndClearsThemWhenThePumpFallsSilent) {
    EXPECT_TRUE(app->mainWindow().windowTitle().contains("simulated"));
    run(12000);
    EXPECT_EQ(app->core().connection().pumpAddress, 61);
    EXPECT_EQ(app->mainWindow().lStatus->text().isEmpty(), false);
    EXPECT_TRUE(app->core().scheduler().serviceReplyReceived());
    EXPECT_EQ(unfilled(app->mainWindow().gbBasic), QStringList{});
    EXPECT_EQ(unfilled(app->mainWindow().gbExtended), QStringList{});
    EXPECT_TRUE(app->core().pageDisplay().missingReadouts().empty());
    EXPECT_TRUE(dialogs.shown.empty() ||
                dialogs.texts() == QStringList{"The program is designed for 1024 x 768 screen "
                                               "resolution !"})
        << dialogs.texts().join(" | ").toStdString();

    run(8000, false);
    EXPECT_EQ(app->mainWindow().lStatus->text(), "Pump not connected");
    EXPECT_EQ(unfilled(app->mainWindow().gbBasic).size(), valueCount(app->mainWindow().gbBasic));
    EXPECT_EQ(unfilled(app->mainWindow().gbExtended).size(),
              valueCount(app->mainWindow().gbExtended));
}

}  // namespace
