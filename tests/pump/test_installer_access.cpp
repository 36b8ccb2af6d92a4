#include "pump/installer_access.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace {

struct PasswordCase {
    const char* typed;
    PasswordDialogResult result;
};

TEST(InstallerAccess, PasswordsAreComparedWholeAndCaseSensitively) {
    const PasswordCase cases[] = {
        {"9983", PasswordDialogResult::Installer},
        {"kex7304m61", PasswordDialogResult::Extended},
        {"9983 ", PasswordDialogResult::WrongPassword},  // trailing blank
        {" 9983", PasswordDialogResult::WrongPassword},
        {"998", PasswordDialogResult::WrongPassword},
        {"99830", PasswordDialogResult::WrongPassword},
        {"KEX7304M61", PasswordDialogResult::WrongPassword},  // other letter case
        {"Kex7304m61", PasswordDialogResult::WrongPassword},
        {"kex7304m61 ", PasswordDialogResult::WrongPassword},
        {"", PasswordDialogResult::WrongPassword},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(passwordResult(c.typed), c.result) << '"' << c.typed << '"';
    }
    // A text with an embedded NUL is not the password either.
    EXPECT_EQ(passwordResult(std::string_view("9983\0", 5)), PasswordDialogResult::WrongPassword);
}

// The password dialog, scripted: each show returns the next result.
struct ScriptedDialog {
    std::deque<PasswordDialogResult> results;
    int shown = 0;
    int wrongMessages = 0;

    ConfigureOutcome configure(int level, bool open = false) {
        return configureCommand(
            level, open,
            [this] {
                ++shown;
                EXPECT_FALSE(results.empty()) << "dialog shown more often than scripted";
                if (results.empty()) {
                    return PasswordDialogResult::Cancelled;
                }
                const auto r = results.front();
                results.pop_front();
                return r;
            },
            [this] { ++wrongMessages; });
    }
};

TEST(InstallerAccess, WrongPasswordAsksAgainUntilOneIsGiven) {
    ScriptedDialog dialog{{PasswordDialogResult::WrongPassword, PasswordDialogResult::WrongPassword,
                           PasswordDialogResult::Extended}};
    const auto out = dialog.configure(kAccessLevelNone);
    EXPECT_EQ(dialog.shown, 3);
    EXPECT_EQ(dialog.wrongMessages, 2);
    EXPECT_EQ(out.accessLevel, kAccessLevelExtended);
    EXPECT_TRUE(out.openInstaller);
    EXPECT_TRUE(out.extendedVisible);
    EXPECT_FALSE(out.closeInstaller);
}

TEST(InstallerAccess, CancelKeepsTheLevelInForceBefore) {
    // Cancelling the very first dialog leaves 10, so the next command asks again.
    ScriptedDialog first{{PasswordDialogResult::WrongPassword, PasswordDialogResult::Cancelled}};
    auto out = first.configure(kAccessLevelNone);
    EXPECT_EQ(out.accessLevel, kAccessLevelNone);
    EXPECT_FALSE(out.openInstaller);
    EXPECT_EQ(first.wrongMessages, 1);

    ScriptedDialog again{{PasswordDialogResult::Installer}};
    out = again.configure(out.accessLevel);
    EXPECT_EQ(again.shown, 1);
    EXPECT_EQ(out.accessLevel, kAccessLevelInstaller);
    EXPECT_TRUE(out.openInstaller);
    EXPECT_FALSE(out.extendedVisible);
}

TEST(InstallerAccess, GrantedLevelIsKeptWithoutAnotherDialog) {
    for (int level : {kAccessLevelInstaller, kAccessLevelExtended}) {
        ScriptedDialog dialog;  // would fail the test if shown
        const auto out = dialog.configure(level);
        EXPECT_EQ(dialog.shown, 0);
        EXPECT_EQ(out.accessLevel, level);
        EXPECT_TRUE(out.openInstaller);
        EXPECT_EQ(out.extendedVisible, level == kAccessLevelExtended);
    }
}

TEST(InstallerAccess, ConfigureWhileOpenOnlyClosesTheWindow) {
    ScriptedDialog dialog;
    const auto out = dialog.configure(kAccessLevelNone, true);
    EXPECT_EQ(dialog.shown, 0);
    EXPECT_TRUE(out.closeInstaller);
    EXPECT_FALSE(out.openInstaller);
    EXPECT_EQ(out.accessLevel, kAccessLevelNone);
}

TEST(InstallerAccess, OnlyTheExtendedLevelShowsTheExtendedGroup) {
    EXPECT_FALSE(extendedConfigVisibleAt(kAccessLevelNone));
    EXPECT_FALSE(extendedConfigVisibleAt(kAccessLevelInstaller));
    EXPECT_TRUE(extendedConfigVisibleAt(kAccessLevelExtended));
}

}  // namespace
