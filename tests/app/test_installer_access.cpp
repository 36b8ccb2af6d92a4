// The main window's "Configure" command with the real password dialog: the operator types into
// its edit and presses its buttons. The level, the window, the menu items and what the operator is
// told.

#include <gtest/gtest.h>

#include <QAction>
#include <deque>
#include <optional>

#include "installer/installer.h"
#include "installer/password_dialog.h"
#include "mainwindow/main_window.h"
#include "pump/installer_access.h"
#include "tool_harness.h"

namespace {

// One show of the dialog: the text typed and "OK", or "Cancel" (nothing).
using Entry = std::optional<QString>;

// Plays the operator at the password dialog: every show takes the next entry; running out
// cancels.
void playPasswords(ScriptedDialogs& dialogs, std::deque<Entry>& entries) {
    dialogs.onModal = [&entries](QDialog& dialog) {
        auto* d = qobject_cast<TPasswordDlg*>(&dialog);
        EXPECT_NE(d, nullptr);
        if (!d) {
            return 0;
        }
        EXPECT_TRUE(d->Password->text().isEmpty()) << "the dialog starts empty";
        const Entry entry = entries.empty() ? Entry{} : entries.front();
        if (!entries.empty()) {
            entries.pop_front();
        }
        if (entry) {
            d->Password->setText(*entry);
            d->OKBtn->click();
        } else {
            d->CancelBtn->click();
        }
        return d->result();
    };
}

class InstallerAccess : public ::testing::Test {
  protected:
    InstallerAccess() { playPasswords(h.dialogs, entries); }
    void configure(std::initializer_list<Entry> typed) {
        entries.assign(typed.begin(), typed.end());
        form().Installer1->trigger();
    }
    TForm1& form() { return h.mainWindow(); }
    TfInstaller& window() { return h.app().installer().window(); }
    int level() { return h.app().installer().accessLevel(); }

    ToolHarness h;
    std::deque<Entry> entries;
};

TEST(InstallerAccessLevels, PasswordsGiveTheirLevelsAndWrongOnesAskAgain) {
    const struct {
        const char* name;
        std::vector<Entry> typed;
        int level;
        bool open;
        int wrong;  // "Wrong Password!" boxes
        bool extended;
    } cases[] = {
        {"installer", {QString("9983")}, 11, true, 0, false},
        {"extended", {QString("kex7304m61")}, 12, true, 0, true},
        {"trailing blank, other case, then right",
         {QString("9983 "), QString("KEX7304M61"), QString("9983")},
         11,
         true,
         2,
         false},
        {"cancelled", {Entry{}}, 10, false, 0, false},
        {"wrong, then cancelled", {QString("1234"), Entry{}}, 10, false, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A tool of its own for each case: the level is granted once per run.
        ToolHarness h;
        std::deque<Entry> entries(c.typed.begin(), c.typed.end());
        playPasswords(h.dialogs, entries);
        TForm1& form = h.mainWindow();
        TfInstaller& window = h.app().installer().window();
        form.LoadConfiguration1->setEnabled(false);
        form.Installer1->trigger();

        EXPECT_EQ(h.app().installer().accessLevel(), c.level);
        EXPECT_EQ(h.dialogs.modals.size(), qsizetype(c.typed.size()));
        EXPECT_EQ(window.isVisible(), c.open);
        EXPECT_EQ(form.Installer1->isChecked(), c.open);
        EXPECT_EQ(form.LoadConfiguration1->isEnabled(), c.open);
        EXPECT_EQ(h.dialogs.texts().count("Wrong Password!"), c.wrong);
        for (const auto& shown : h.dialogs.shown) {
            EXPECT_EQ(shown.icon, Dialogs::Icon::Error);
        }
        if (c.open) {
            EXPECT_EQ(!window.gbExtendedConfig->isHidden(), c.extended);
            EXPECT_EQ(window.tabShown(window.tsMIconfig), c.extended);
            EXPECT_EQ(window.tabShown(window.tsDM1config), c.extended);
        }
        // What was typed reaches no message, and the dialog keeps none of it.
        for (const Entry& e : c.typed) {
            if (e && !e->trimmed().isEmpty()) {
                for (const QString& text : h.dialogs.texts()) {
                    EXPECT_FALSE(text.contains(e->trimmed()));
                }
            }
        }
        EXPECT_TRUE(h.app().installer().passwordDialog().Password->text().isEmpty());
    }
}

TEST_F(InstallerAccess, AGrantedLevelIsKeptAndConfigureWhileOpenOnlyCloses) {
    configure({QString("9983")});
    ASSERT_EQ(level(), 11);
    ASSERT_TRUE(window().isVisible());

    // Open: the command closes the window and asks for nothing.
    configure({QString("kex7304m61")});
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(form().Installer1->isChecked());
    EXPECT_EQ(h.dialogs.modals.size(), 1);

    // The installer level stays for the run, whatever would be typed now.
    configure({QString("kex7304m61")});
    EXPECT_EQ(h.dialogs.modals.size(), 1);
    EXPECT_EQ(level(), 11);
    EXPECT_TRUE(window().isVisible());
    EXPECT_TRUE(window().gbExtendedConfig->isHidden());

    // Closed by its own close box: the check mark goes.
    window().close();
    EXPECT_FALSE(form().Installer1->isChecked());
}

TEST_F(InstallerAccess, CancellingTheFirstDialogAsksAgainNextTime) {
    configure({Entry{}});
    EXPECT_EQ(level(), kAccessLevelNone);
    EXPECT_FALSE(window().isVisible());
    configure({QString("kex7304m61")});
    EXPECT_EQ(h.dialogs.modals.size(), 2);
    EXPECT_EQ(level(), kAccessLevelExtended);
    EXPECT_FALSE(window().gbExtendedConfig->isHidden());
}

}  // namespace
