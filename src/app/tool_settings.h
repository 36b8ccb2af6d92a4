#pragma once
// "tool.ini": section "Pump", key "CAN address" (default 61), and section "Adapter", key
// "Interface" (plugin:interface or "simulator"). The file is read at start-up (a missing key is
// written with the default, so that the operator finds it to edit) and again whenever it changes
// on disk, which a file watcher reports; the receive path never touches the disk.

#include <QFileSystemWatcher>
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "app/profile_file.h"

inline constexpr const char* kSettingsFileName = "tool.ini";
inline constexpr const char* kPumpSection = "Pump";
inline constexpr const char* kCanAddressKey = "CAN address";
inline constexpr const char* kAdapterSection = "Adapter";
inline constexpr const char* kInterfaceKey = "Interface";
inline constexpr const char* kDefaultAdapter = "socketcan:can0";
inline constexpr const char* kSimulatorAdapter = "simulator";
// A pump address is a J1939 node address: not 0 (the engine's), not 254 (null), not 255 (global).
inline constexpr int kMinPumpAddress = 1;
inline constexpr int kMaxPumpAddress = 253;

class ToolSettings : public QObject {
    Q_OBJECT
  public:
    explicit ToolSettings(std::string path);

    // The folder of the executable when it is writable, otherwise the user's configuration folder.
    static std::string defaultPath();

    // Reads the pump address as if the file were opened afresh: a missing key (or file) is written
    // with 61; an unreadable value, or one outside 1-253, counts as 61 and is reported once
    // through onProblem. Returns the address.
    uint8_t reload();
    uint8_t pumpAddress() const { return address_; }
    // Watches the file (and its folder, as editors replace files) and reloads on every change;
    // pumpAddressChanged follows when the address is another.
    void watch();

    // "Adapter"/"Interface", or the default when absent. Never writes.
    std::string adapterInterface() const;

    const std::string& path() const { return file_.path(); }

    // Tells the operator what is wrong with the file.
    std::function<void(const std::string&)> onProblem;

  signals:
    void pumpAddressChanged(int address);

  private:
    void fileChanged();

    ProfileFile file_;
    uint8_t address_ = 61;
    // The last faulty value reported, so that the same fault is told once.
    std::string reported_;
    QFileSystemWatcher* watcher_ = nullptr;
};
