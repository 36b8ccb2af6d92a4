#include "app/tool_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

#include "comm/connection_state.h"

namespace {

struct FileStamp {
    int64_t mtimeNs = -1;
    int64_t size = -1;  // -1 with mtime -1: the file does not exist
};

FileStamp stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return {int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, int64_t(st.st_size)};
}

std::string executableFolder() {
    if (QCoreApplication::instance() != nullptr) {
        return QCoreApplication::applicationDirPath().toStdString();
    }
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    return exe.parent_path().string();
}

}  // namespace

std::string ToolSettings::defaultPath() {
    const std::string folder = executableFolder();
    if (!folder.empty() && ::access(folder.c_str(), W_OK) == 0) {
        return (std::filesystem::path(folder) / kSettingsFileName).string();
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return (std::filesystem::path(config.toStdString()) / kSettingsFileName).string();
}

int ToolSettings::configuredPumpAddress() {
    const FileStamp now = stampOf(file_.path());
    if (cached_ && now.mtimeNs == cachedMtimeNs_ && now.size == cachedSize_) {
        return cachedAddress_;
    }
    // The file is new to us or changed on disk: read it as if opened afresh. A missing key is
    // written with the default so that the operator finds it to edit.
    if (!file_.readString(kPumpSection, kCanAddressKey)) {
        file_.writeInteger(kPumpSection, kCanAddressKey, kDefaultPumpAddress);
    }
    const FileStamp before = stampOf(file_.path());
    cachedAddress_ = file_.readInteger(kPumpSection, kCanAddressKey, kDefaultPumpAddress);
    const FileStamp after = stampOf(file_.path());
    // Stamp what was read, our own write included. When the file cannot be made, the "missing"
    // stamp is kept and creating it is tried again only once something changes. A file that
    // changed while it was read is read again on the next call.
    const bool steady = before.mtimeNs == after.mtimeNs && before.size == after.size;
    cachedMtimeNs_ = steady ? before.mtimeNs : -2;
    cachedSize_ = steady ? before.size : -2;
    cached_ = true;
    return cachedAddress_;
}

std::string ToolSettings::adapterInterface() const {
    const auto value = file_.readString(kAdapterSection, kInterfaceKey);
    if (!value || value->empty()) {
        return kDefaultAdapter;
    }
    return *value;
}
