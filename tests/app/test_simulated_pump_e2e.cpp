// The whole tool against the built-in simulated pump, on the in-process bus, with time driven by
// hand.

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>

#include "mainwindow/main_window.h"
#include "sim_harness.h"

namespace {

QStringList unfilled(QGroupBox* group) {
    QStringList names;
    for (auto* label : group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (label->property("tag").toInt() == kValueTag && label->text() == "?") {
            names << label->objectName();
        }
    }
    return names;
}

qsizetype valueCount(QGroupBox* group) {
    qsizetype n = 0;
    for (auto* label : group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        n += label->property("tag").toInt() == kValueTag ? 1 : 0;
    }
    return n;
}

TEST(SimulatedPumpEndToEnd, FillsEveryValueAndClearsThemWhenThePumpFallsSilent) {
    SimHarness h;
    TForm1& form = h.app().mainWindow();
    EXPECT_TRUE(form.windowTitle().contains("simulated"));
    h.run(12000);
    EXPECT_EQ(h.core().connection().pumpAddress, 61);
    EXPECT_FALSE(form.lStatus->text().isEmpty());
    EXPECT_TRUE(h.core().scheduler().serviceReplyReceived());
    EXPECT_EQ(unfilled(form.gbBasic), QStringList{});
    EXPECT_EQ(unfilled(form.gbExtended), QStringList{});
    EXPECT_TRUE(h.dialogs.shown.empty()) << h.dialogs.texts().join(" | ").toStdString();

    h.setPumpAlive(false);
    h.run(8000);
    EXPECT_EQ(form.lStatus->text(), "Pump not connected");
    EXPECT_EQ(unfilled(form.gbBasic).size(), valueCount(form.gbBasic));
    EXPECT_EQ(unfilled(form.gbExtended).size(), valueCount(form.gbExtended));
}

}  // namespace
