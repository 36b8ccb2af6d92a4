#pragma once
// The tool's own adapter interface: the six operations the adapter link relies on. Any CAN back end
// that offers them with these results serves (QtSerialBus plugins, the in-process simulator bus,
// the recording fake of the tests).

#include <cstdint>
#include <memory>
#include <string>

#include "comm/j1939.h"

// Results of CanDriver::read (and of init: 0 = open, anything else = failure).
inline constexpr uint32_t kCanOk = 0;
inline constexpr uint32_t kCanBusOff = 0x10;
inline constexpr uint32_t kCanQueueEmpty = 0x20;
inline constexpr uint32_t kCanError = 0x01;

class CanDriver {
  public:
    virtual ~CanDriver() = default;
    // Opens the adapter at 250 kbit/s with 11- and 29-bit identifiers. Called again on an open
    // adapter after a link loss: it must not break a working connection.
    virtual uint32_t init() = 0;
    virtual void close() = 0;
    // Exists for completeness; the tool never asks for it.
    virtual uint32_t status() = 0;
    // Main thread.
    virtual uint32_t write(const AdapterFrame& frame) = 0;
    // Receive thread, while write may run on the main thread: implementations must allow both.
    virtual uint32_t read(AdapterFrame& frame) = 0;
    virtual std::string versionInfo() = 0;
};

// What stands in for loading the adapter's driver library: "library missing" when the chosen back
// end does not exist on this machine, "function missing" when it exists but no device can be made.
class CanDriverLibrary {
  public:
    enum class LoadResult { Ok, LibraryMissing, FunctionMissing };
    virtual ~CanDriverLibrary() = default;
    virtual LoadResult load(std::unique_ptr<CanDriver>& driver) = 0;
    virtual void unload() {}
};
