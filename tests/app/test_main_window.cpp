// The main window: read-outs, highlight on click, menu toggles and the extended data group.

#include <gtest/gtest.h>

#include <QAction>
#include <QFormLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTest>

#include "mainwindow/main_window.h"
#include "pump/installer_access.h"
#include "tool_harness.h"

namespace {

TEST(MainWindow, EveryReadoutStartsAtQuestionMarkAndIsNamedByItsCaption) {
    ToolHarness h;
    TForm1& form = h.mainWindow();
    int readouts = 0;
    for (QGroupBox* group : {form.gbBasic, form.gbExtended}) {
        for (auto* value : group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (value->property("tag").toInt() != kValueTag) {
                continue;
            }
            ++readouts;
            EXPECT_EQ(value->text(), "?") << value->objectName().toStdString();
            // Assistive technology announces the caption with the value: the caption's buddy is
            // the value label.
            auto* form = qobject_cast<QFormLayout*>(group->layout());
            ASSERT_NE(form, nullptr);
            auto* caption = qobject_cast<QLabel*>(form->labelForField(value));
            ASSERT_NE(caption, nullptr) << value->objectName().toStdString();
            EXPECT_EQ(caption->buddy(), value);
        }
    }
    EXPECT_EQ(readouts, 20 + 38);
    EXPECT_TRUE(form.gbExtended->isHidden());
    EXPECT_EQ(form.findChild<QLabel*>("lUreaLowLevel") != nullptr, true);
}

TEST(MainWindow, ClickingAReadoutTwiceGivesBackItsFirstColour) {
    ToolHarness h;
    QLabel* label = h.mainWindow().findChild<QLabel*>("lPumpState");
    ASSERT_NE(label, nullptr);
    const QPalette::ColorRole first = label->backgroundRole();
    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_EQ(label->backgroundRole(), QPalette::ToolTipBase);
    QTest::mouseClick(label, Qt::LeftButton);
    EXPECT_EQ(label->backgroundRole(), first);
}

TEST(MainWindow, WindowTogglesFollowTheirWindows) {
    ToolHarness h;
    // The installer's "Configure" asks for its password once; the operator gives the installer's.
    h.dialogs.modalResult = static_cast<int>(PasswordDialogResult::Installer);
    TForm1& form = h.mainWindow();
    struct Toggle {
        QAction* item;
        QWidget* window;
    } toggles[] = {{form.OBD1, h.app().window("fOBD")},
                   {form.NOxSensors1, h.app().window("fNOxSensor")},
                   {form.UdsErrorlog, h.app().window("fUdsErrorLog")},
                   {form.TorqueLimiter, h.app().window("frmTorqueLimiter")},
                   {form.Service1, h.app().window("fServiceTool")},
                   {form.Installer1, h.app().window("fInstaller")}};
    for (const Toggle& t : toggles) {
        t.item->trigger();
        EXPECT_TRUE(t.window->isVisible()) << t.item->text().toStdString();
        EXPECT_TRUE(t.item->isChecked());
        t.item->trigger();
        EXPECT_FALSE(t.window->isVisible());
        EXPECT_FALSE(t.item->isChecked());
        // Closed with its own close box: the check mark goes too.
        t.item->trigger();
        t.window->close();
        EXPECT_FALSE(t.item->isChecked()) << t.item->text().toStdString();
    }
}

TEST(MainWindow, ExtendedDataTogglesBelowBasicAndStopsAtScreenHeight) {
    ToolHarness h;
    TForm1& form = h.mainWindow();
    form.show();
    form.Extendeddata1->trigger();
    EXPECT_TRUE(form.Extendeddata1->isChecked());
    EXPECT_FALSE(form.gbExtended->isHidden());
    EXPECT_GT(form.gbExtended->y(), form.gbBasic->y());
    EXPECT_LE(form.height(), form.maximumHeight());
    if (form.height() >= form.maximumHeight()) {
        EXPECT_EQ(form.width(), form.maximumWidth());
    }
    form.Extendeddata1->trigger();
    EXPECT_FALSE(form.Extendeddata1->isChecked());
    EXPECT_TRUE(form.gbExtended->isHidden());
    form.hide();
}

TEST(MainWindow, MenuHoldsEveryItemWithItsCaption) {
    ToolHarness h;
    TForm1& form = h.mainWindow();
    struct Item {
        QAction* action;
        const char* name;
        const char* caption;
    } items[] = {
        {form.LoadConfiguration1, "LoadConfiguration1", "Load Configuration..."},
        {form.SaveConfiguration1, "SaveConfiguration1", "Save configuration..."},
        {form.Close1, "Close1", "Close"},
        {form.Extendeddata1, "Extendeddata1", "Extended data"},
        {form.NOxSensors1, "NOxSensors1", "NOx sensor(s)"},
        {form.UdsErrorlog, "UdsErrorlog", "UDS error log"},
        {form.OBD1, "OBD1", "OBD"},
        {form.TorqueLimiter, "TorqueLimiter", "Torque limiter"},
        {form.Service1, "Service1", "Service"},
        {form.Installer1, "Installer1", "Configure"},
        {form.About1, "About1", "About"},
    };
    for (const Item& i : items) {
        ASSERT_NE(i.action, nullptr) << i.name;
        EXPECT_EQ(i.action->objectName(), i.name);
        EXPECT_EQ(i.action->text(), i.caption);
    }
}

TEST(MainWindow, VinMessageReachesAllThreeVinLabels) {
    ToolHarness h;
    h.start();
    h.receiveMessage(61, 255, pgn::kVehicleId, {'A', 'B', 'C', '*'});
    EXPECT_EQ(h.label("lVIN"), "ABC*");
    EXPECT_EQ(h.label("fUdsErrorLog", "lVIN"), "ABC*");
    EXPECT_EQ(h.label("fInstaller", "lVIN"), "ABC*");
}

}  // namespace
