#include "app/tool_settings.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

#include "comm/connection_state.h"
#include "pump/number_format.h"

namespace {

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

ToolSettings::ToolSettings(std::string path) : file_(std::move(path)) {}

std::string ToolSettings::defaultPath() {
    const std::string folder = executableFolder();
    if (!folder.empty() && ::access(folder.c_str(), W_OK) == 0) {
        return (std::filesystem::path(folder) / kSettingsFileName).string();
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return (std::filesystem::path(config.toStdString()) / kSettingsFileName).string();
}

uint8_t ToolSettings::reload() {
    auto text = file_.readString(kPumpSection, kCanAddressKey);
    if (!text) {
        file_.writeInteger(kPumpSection, kCanAddressKey, kDefaultPumpAddress);
        text = std::to_string(kDefaultPumpAddress);
    }
    const auto value = parseInteger(*text);
    if (value && *value >= kMinPumpAddress && *value <= kMaxPumpAddress) {
        address_ = static_cast<uint8_t>(*value);
        reported_.clear();
        return address_;
    }
    address_ = kDefaultPumpAddress;
    if (*text != reported_) {
        reported_ = *text;
        if (onProblem) {
            onProblem("The pump's CAN address \"" + *text + "\" in " + file_.path() +
                      " is no J1939 address from " + std::to_string(kMinPumpAddress) + " to " +
                      std::to_string(kMaxPumpAddress) + ". The tool looks for the pump at " +
                      std::to_string(kDefaultPumpAddress) + ".");
        }
    }
    return address_;
}

void ToolSettings::watch() {
    if (watcher_) {
        return;
    }
    watcher_ = new QFileSystemWatcher(this);
    const QString file = QString::fromStdString(file_.path());
    watcher_->addPath(QFileInfo(file).absolutePath());
    if (QFileInfo::exists(file)) {
        watcher_->addPath(file);
    }
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &ToolSettings::fileChanged);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &ToolSettings::fileChanged);
}

void ToolSettings::fileChanged() {
    // An editor that saves by replacing the file drops it from the watch list: watch it again.
    const QString file = QString::fromStdString(file_.path());
    if (QFileInfo::exists(file) && !watcher_->files().contains(file)) {
        watcher_->addPath(file);
    }
    const uint8_t before = address_;
    if (reload() != before) {
        emit pumpAddressChanged(address_);
    }
}

std::string ToolSettings::adapterInterface() const {
    const auto value = file_.readString(kAdapterSection, kInterfaceKey);
    if (!value || value->empty()) {
        return kDefaultAdapter;
    }
    return *value;
}
