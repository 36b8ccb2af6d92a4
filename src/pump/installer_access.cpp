#include "pump/installer_access.h"

namespace {
// Held here and nowhere else.
constexpr std::string_view kInstallerPassword = "9983";
constexpr std::string_view kExtendedPassword = "kex7304m61";
}  // namespace

const char* toString(PasswordDialogResult result) {
    switch (result) {
        case PasswordDialogResult::Cancelled:
            return "Cancelled";
        case PasswordDialogResult::WrongPassword:
            return "WrongPassword";
        case PasswordDialogResult::Installer:
            return "Installer";
        case PasswordDialogResult::Extended:
            return "Extended";
    }
    return "?";
}

PasswordDialogResult passwordResult(std::string_view typed) {
    if (typed == kInstallerPassword) {
        return PasswordDialogResult::Installer;
    }
    if (typed == kExtendedPassword) {
        return PasswordDialogResult::Extended;
    }
    return PasswordDialogResult::WrongPassword;
}

ConfigureOutcome configureCommand(int accessLevel, bool installerOpen,
                                  const std::function<PasswordDialogResult()>& showDialog,
                                  const std::function<void()>& wrongPassword) {
    ConfigureOutcome out;
    out.accessLevel = accessLevel;
    if (installerOpen) {
        out.closeInstaller = true;
        return out;
    }
    const int before = accessLevel;
    int level = accessLevel;
    while (level < kAccessLevelInstaller &&
           level != static_cast<int>(PasswordDialogResult::Cancelled)) {
        const PasswordDialogResult result = showDialog();
        level = static_cast<int>(result);
        if (result == PasswordDialogResult::WrongPassword) {
            wrongPassword();
        }
    }
    if (level == kAccessLevelInstaller || level == kAccessLevelExtended) {
        out.accessLevel = level;
        out.openInstaller = true;
        out.extendedVisible = extendedConfigVisibleAt(level);
    } else {
        out.accessLevel = before;
    }
    return out;
}
