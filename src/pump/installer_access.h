#pragma once
// Who may change the pump's installation: the two passwords of the password dialog and the access
// level they grant for the rest of the run. The passwords live only in installer_access.cpp; no
// function here returns, logs or formats the typed text, so it can reach no message and no log.

#include <functional>
#include <string_view>

#include "pump/status_pages.h"

// What the password dialog ends with (its modal result).
enum class PasswordDialogResult : int {
    Cancelled = 2,
    WrongPassword = 3,
    Installer = kAccessLevelInstaller,  // 11
    Extended = kAccessLevelExtended,    // 12
};
const char* toString(PasswordDialogResult result);

// "OK" pressed with this text in `Password`: compared whole, byte for byte and case-sensitively,
// with no trimming, so a trailing blank or another letter case is a wrong password.
PasswordDialogResult passwordResult(std::string_view typed);

namespace access_text {
inline constexpr std::string_view kDialogCaption = "Password Dialog";
inline constexpr std::string_view kPrompt = "Enter password:";
inline constexpr std::string_view kWrongPassword = "Wrong Password!";
inline constexpr std::string_view kMenuItem = "Configure";
inline constexpr std::string_view kToolsMenu = "&Tools";
}  // namespace access_text

// The outcome of the main window's "Configure" command.
struct ConfigureOutcome {
    int accessLevel = kAccessLevelNone;  // `AccessLevel` afterwards: 10, 11 or 12, never 2 or 3
    bool closeInstaller = false;         // the window was open: uncheck `Installer1`, close it
    bool openInstaller = false;    // check `Installer1`, show the window, enable LoadConfiguration1
    bool extendedVisible = false;  // gbExtendedConfig, tsMIconfig, tsDM1config (with open only)
};

// The "Configure" command. showDialog shows the password dialog modally (emptied, focused) and
// returns its result; wrongPassword shows "Wrong Password!" before the dialog comes again. A
// granted level is kept for the run: at 11 or 12 no dialog is shown, and cancelling leaves the
// level that was in force before the command.
ConfigureOutcome configureCommand(int accessLevel, bool installerOpen,
                                  const std::function<PasswordDialogResult()>& showDialog,
                                  const std::function<void()>& wrongPassword);

// gbExtendedConfig and the two mask tabs are shown only at the extended level; at levels 10 and
// 11 they stay hidden, so both behave alike (the engine speed of page 211 then uses the pump's
// default ratio).
constexpr bool extendedConfigVisibleAt(int accessLevel) {
    return accessLevel == kAccessLevelExtended;
}
