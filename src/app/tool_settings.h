#pragma once
// "tool.ini": section "Pump", key "CAN address" (default 61), and section "Adapter", key
// "Interface" (plugin:interface or "simulator").

#include <cstdint>
#include <ctime>
#include <string>

#include "app/profile_file.h"
#include "comm/connection_state.h"

inline constexpr const char* kSettingsFileName = "tool.ini";
inline constexpr const char* kPumpSection = "Pump";
inline constexpr const char* kCanAddressKey = "CAN address";
inline constexpr const char* kAdapterSection = "Adapter";
inline constexpr const char* kInterfaceKey = "Interface";
inline constexpr const char* kDefaultAdapter = "socketcan:can0";
inline constexpr const char* kSimulatorAdapter = "simulator";

class ToolSettings : public PumpAddressSource {
  public:
    explicit ToolSettings(std::string path) : file_(std::move(path)) {}

    // The folder of the executable when it is writable, otherwise the user's configuration folder.
    static std::string defaultPath();

    // Every call behaves as if the file were opened afresh: a missing key (or file) is written
    // with 61, an unreadable value counts as 61, an edited value is seen on the next call. The
    // value is cached and the file re-read only when it changed on disk.
    int configuredPumpAddress() override;

    // "Adapter"/"Interface", or the default when absent. Never writes.
    std::string adapterInterface() const;

    const std::string& path() const { return file_.path(); }

  private:
    ProfileFile file_;
    bool cached_ = false;
    int cachedAddress_ = 61;
    // What the file looked like on disk when the cache was filled.
    int64_t cachedMtimeNs_ = -1;
    int64_t cachedSize_ = -1;
};
