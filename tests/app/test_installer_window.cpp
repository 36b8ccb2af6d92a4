// The installer window as its control table describes it: every row's caption, controls, items,
// starting values and range captions, the containers, what a display reset clears, the menu, and
// the password dialog.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QMenuBar>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QTest>

#include "installer/installer.h"
#include "installer/password_dialog.h"
#include "mainwindow/main_window.h"
#include "pump/installer_access.h"
#include "tool_harness.h"

namespace {

const DisplayFormat kPoint{'.', "%Y-%m-%d"};
const DisplayFormat kComma{',', "%d.%m.%Y"};

// The caption label that names a control for assistive technology.
QLabel* captionOf(const QWidget& window, const QWidget* control, const QString& text) {
    for (QLabel* l : window.findChildren<QLabel*>()) {
        if (l->buddy() == control && l->text() == text) {
            return l;
        }
    }
    return nullptr;
}

bool inside(const QWidget* w, const char* containerName) {
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
        if (p->objectName() == containerName) {
            return true;
        }
    }
    return false;
}

TEST(InstallerWindow, EveryRowAsTheControlTableHasIt) {
    TfInstaller w(kPoint);
    for (const InstallerControl& row : kInstallerControls) {
        SCOPED_TRACE(row.control);
        QWidget* control = w.widget(row.control);
        ASSERT_NE(control, nullptr);
        // Named by its caption, for assistive technology too, and placed in its container.
        const QString caption = QString::fromUtf8(row.caption.data(), row.caption.size());
        EXPECT_NE(captionOf(w, control, caption), nullptr);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(accessible, nullptr);
        QStringList labelledBy;
        for (const auto& [label, relation] : accessible->relations(QAccessible::Label)) {
            (void)relation;
            labelledBy << label->text(QAccessible::Name);
        }
        EXPECT_TRUE(labelledBy.contains(caption)) << labelledBy.join('|').toStdString();
        EXPECT_TRUE(inside(control, containerOf(row.group).objectName));
        // The pump's value beside it, "?" until the pump tells, marked as a read-out.
        QLabel* value = w.label(row.actualValue);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->text(), "?");
        EXPECT_EQ(value->property("tag").toInt(), kInstallerReadoutTag);
        EXPECT_NE(captionOf(w, value, "Actual value"), nullptr);
        EXPECT_EQ(value->parentWidget(), control->parentWidget());

        switch (row.kind) {
            case ControlKind::Edit: {
                auto* e = qobject_cast<QLineEdit*>(control);
                ASSERT_NE(e, nullptr);
                EXPECT_EQ(e->text().toStdString(), row.startText);
                if (row.maxLength > 0) {
                    EXPECT_EQ(e->maxLength(), int(row.maxLength));
                }
                break;
            }
            case ControlKind::Combo: {
                auto* c = qobject_cast<QComboBox*>(control);
                ASSERT_NE(c, nullptr);
                EXPECT_FALSE(c->isEditable());  // a drop-down list, no free text
                ASSERT_EQ(c->count(), int(row.items.size()));
                for (std::size_t i = 0; i < row.items.size(); ++i) {
                    EXPECT_EQ(c->itemText(int(i)).toStdString(), row.items[i]);
                }
                EXPECT_EQ(c->currentIndex(), row.startIndex);
                break;
            }
            case ControlKind::DatePicker: {
                auto* d = qobject_cast<QDateEdit*>(control);
                ASSERT_NE(d, nullptr);
                EXPECT_EQ(d->date(), QDate::currentDate());
                break;
            }
        }
        // The range caption beside it, where it has one.
        const std::string range = rangeCaptionText(row, kPoint);
        if (row.rangeCaption) {
            ASSERT_NE(w.label(row.rangeCaption), nullptr);
            EXPECT_EQ(w.label(row.rangeCaption)->text().toStdString(), range);
        }
        if (!range.empty()) {
            EXPECT_EQ(control->accessibleDescription().toStdString(), range);
        }
        // The named caption labels the enable rules switch.
        for (const char* name : {row.captionLabel, row.actualCaptionLabel, row.newCaptionLabel}) {
            if (name) {
                EXPECT_NE(w.label(name), nullptr) << name;
            }
        }
    }
}

TEST(InstallerWindow, GeneratedRangeCaptionsFollowTheDecimalSeparator) {
    const struct {
        const char* label;
        const char* point;
        const char* comma;
    } cases[] = {
        {"lZovar_MafFactorRange", "(50..3000)", "(50..3000)"},
        {"lZovar_ConversionRatioReducedRange", "(0.01..10.00)", "(0,01..10,00)"},
        {"lZovar_ConversionRatioThresholdRange", "(0.01..10.00)", "(0,01..10,00)"},
        {"lZovar_ConversionRatioAvaragePeriodRange", "(1..100)", "(1..100)"},
        {"lZovar_ConversionGainRange", "(0.10..2.00)", "(0,10..2,00)"},
        {"lZovar_BlockedNozzleSetupRestartRange", "(0..255)", "(0..255)"},
    };
    TfInstaller point(kPoint);
    TfInstaller comma(kComma);
    for (const auto& c : cases) {
        EXPECT_EQ(point.labelText(c.label), c.point) << c.label;
        EXPECT_EQ(comma.labelText(c.label), c.comma) << c.label;
    }
}

TEST(InstallerWindow, StartsAtTheBasicPageWithTheHeaterLimitsOff) {
    TfInstaller w(kPoint);
    EXPECT_EQ(w.windowTitle(), "Configure System");
    EXPECT_EQ(w.objectName(), "fInstaller");
    EXPECT_TRUE(w.gbExtendedConfig->isHidden());
    EXPECT_FALSE(w.tabShown(w.tsMIconfig));
    EXPECT_FALSE(w.tabShown(w.tsDM1config));
    // The picker shows a date as the read-outs do (the operator's short date pattern).
    const QDate date(2025, 3, 14);
    EXPECT_EQ(date.toString(w.dtpZovar_InstallDate->displayFormat()), "2025-03-14");
    EXPECT_EQ(date.toString(TfInstaller(kComma).dtpZovar_InstallDate->displayFormat()),
              "14.03.2025");
    EXPECT_EQ(w.pcConfiguration->tabText(0), "Setup");
    EXPECT_EQ(w.pcConfiguration->tabText(1), "MI configuration");
    EXPECT_EQ(w.pcConfiguration->tabText(2), "DM configuration");
    // The heater is "Disabled": its three limits and their labels are off, with their defaults.
    for (QWidget* c : w.pExtHeaterConfig->findChildren<QWidget*>()) {
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    }
    EXPECT_EQ(w.edit("eZovar_TankUpper")->text(), "5");
    // The MAF factor and the conversion ratio are open until the pump says otherwise.
    EXPECT_TRUE(w.widget("eZovar_MafFactor")->isEnabled());
    EXPECT_TRUE(w.widget("eZovar_ConversionRatioReduced")->isEnabled());
    // The footer holds the download button.
    EXPECT_EQ(w.btZovar_DownloadConfiguration->text(), "&Download  new installation data");
    EXPECT_EQ(w.btZovar_DownloadConfiguration->parentWidget(), w.Panel1);

    // Shown: "Setup" is the tab in front, whatever was before.
    w.setExtendedVisible(true);
    EXPECT_TRUE(w.tabShown(w.tsMIconfig));
    w.pcConfiguration->setCurrentWidget(w.tsMIconfig);
    w.show();
    EXPECT_EQ(w.pcConfiguration->currentWidget(), w.sbZovar);
    // Only the page in front is drawn.
    EXPECT_FALSE(w.tsMIconfig->isVisible());
    EXPECT_FALSE(w.tsDM1config->isVisible());
}

TEST(InstallerWindow, DisplayResetLeavesTheNestedPanelsAlone) {
    ToolHarness h;
    auto& w = h.app().installer().window();
    const struct {
        const char* label;
        bool cleared;
    } cases[] = {
        {"lVIN", true},
        {"lMafFactor", true},
        {"lDownstreamNOxSelection", true},
        {"lTankUpperLimit", false},          // pExtHeaterConfig
        {"lUreaTankMaxStop", false},         // gbUreaTempLimits
        {"lUreaTankTemperatureOBD", false},  // pUreaTankTemperatureSettings
        {"lMonitorTankHeater", false},       // gbMonitorExtHeaters
    };
    for (const auto& c : cases) {
        w.label(c.label)->setText("12");
    }
    h.core().clearPumpDisplay();
    for (const auto& c : cases) {
        EXPECT_EQ(w.labelText(c.label), c.cleared ? "?" : "12") << c.label;
    }
}

TEST(InstallerWindow, ShowsTheMainMenuAndMarksClickedValues) {
    ToolHarness h;
    auto& w = h.app().installer().window();
    const QList<QAction*> main = h.mainWindow().menuBar()->actions();
    ASSERT_FALSE(main.isEmpty());
    EXPECT_EQ(w.menuBar->actions(), main);

    QLabel* value = w.label("lCatalystVolume");
    w.show();
    QTest::mouseClick(value, Qt::LeftButton);
    EXPECT_EQ(value->backgroundRole(), QPalette::ToolTipBase);
    QTest::mouseClick(value, Qt::LeftButton);
    EXPECT_EQ(value->backgroundRole(), QPalette::Button);
}

TEST(PasswordDialog, EchoesStarsAndEndsWithTheLevelTheTextGives) {
    TPasswordDlg d;
    EXPECT_EQ(d.objectName(), "PasswordDlg");
    EXPECT_EQ(d.windowTitle(), "Password Dialog");
    EXPECT_EQ(d.Label1->text(), "Enter password:");
    EXPECT_EQ(d.Label1->buddy(), d.Password);
    EXPECT_TRUE(d.OKBtn->isDefault());
    EXPECT_EQ(d.Password->echoMode(), QLineEdit::Password);
    d.Password->setText("9983");
    EXPECT_EQ(d.Password->displayText(), "****");

    const struct {
        const char* typed;
        PasswordDialogResult result;
    } cases[] = {
        {"9983", PasswordDialogResult::Installer},
        {"kex7304m61", PasswordDialogResult::Extended},
        {"9983 ", PasswordDialogResult::WrongPassword},
        {" 9983", PasswordDialogResult::WrongPassword},
        {"KEX7304M61", PasswordDialogResult::WrongPassword},
        {"", PasswordDialogResult::WrongPassword},
    };
    for (const auto& c : cases) {
        d.prepare();
        EXPECT_TRUE(d.Password->text().isEmpty());
        d.Password->setText(c.typed);
        d.OKBtn->click();
        EXPECT_EQ(d.result(), int(c.result)) << '"' << c.typed << '"';
    }
    d.Password->setText("9983");
    d.CancelBtn->click();
    EXPECT_EQ(d.result(), int(PasswordDialogResult::Cancelled));
    d.reject();  // Escape and the close box
    EXPECT_EQ(d.result(), int(PasswordDialogResult::Cancelled));
    d.forget();
    EXPECT_TRUE(d.Password->text().isEmpty());
}

}  // namespace
