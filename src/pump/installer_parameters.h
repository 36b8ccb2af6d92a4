#pragma once
// Single-parameter telegrams: the builder of parameter writes (code 172) and reads (code 173) that
// every feature writing one pump parameter uses, and the decoder of the pump's answers, which
// fills the installer's "Actual value" labels, checks each echo against the telegram the
// scheduler sent last and tells the operator whether a whole sequence of writes arrived.
//
// A received telegram is untrusted: fewer than 8 bytes decode nothing, and an index past the
// items of its combo box shows "Invalid value: n".

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pump/installer_layout.h"
#include "pump/installer_values.h"
#include "pump/number_format.h"
#include "pump/reply_decoder.h"
#include "pump/status_pages.h"

using ParameterTelegramBytes = std::array<uint8_t, parameter_telegram::kSize>;

// One parameter telegram: the identifier in bytes 0-1, the values in bytes 2-6 at the offsets of
// parameter_telegram, the code in byte 7. Value bytes an identifier does not use are 0. Writes
// outside bytes 2-6 are ignored, so no value can overwrite the identifier or the code.
class ParameterTelegram {
  public:
    static ParameterTelegram write(uint16_t id) {
        return ParameterTelegram(id, service_code::kParameterWrite);
    }
    static ParameterTelegram read(uint16_t id) {
        return ParameterTelegram(id, service_code::kParameterRead);
    }

    ParameterTelegram& u8(std::size_t offset, uint8_t value);
    ParameterTelegram& s8(std::size_t offset, int8_t value);
    ParameterTelegram& u16(std::size_t offset, uint16_t value);
    ParameterTelegram& u32(std::size_t offset, uint32_t value);

    uint16_t id() const;
    ParameterTelegramBytes bytes() const { return bytes_; }

  private:
    ParameterTelegram(uint16_t id, uint8_t code);
    bool holds(std::size_t offset, std::size_t width) const;
    ParameterTelegramBytes bytes_{};
};

// The identifier of a parameter telegram (bytes 0-1).
uint16_t parameterIdOf(std::span<const uint8_t> telegram);

// The bookkeeping of a sequence of parameter writes, kept by the main window (the snapshot files
// read it too): the identifier of the sequence's last telegram and whether one of its echoes
// failed.
struct DownloadBookkeeping {
    uint8_t lastDownloadId = 0;   // `LastDownloadId`
    bool downloadFailed = false;  // `DownloadFailed`
    friend bool operator==(const DownloadBookkeeping&, const DownloadBookkeeping&) = default;
};

namespace readout_text {
inline constexpr std::string_view kDownloaded = "Configuration data downloaded";
inline constexpr std::string_view kCircuitBreaker = "Circuit Breaker";
inline constexpr std::string_view kDm1Enabled = "Enabled";
inline constexpr std::string_view kDm1Disabled = "Disabled";
// "Configuration data NOT downloaded (ID = n)".
std::string notDownloaded(unsigned id);
}  // namespace readout_text

// The scheduler asks every 50 ms and gives up at 60; from this many asks on, a differing echo is
// reported instead of ignored.
inline constexpr int kEchoFailureRetries = 59;

// What the decoder reads beside the telegram.
struct ParameterReadoutContext {
    // The scheduler's copy of the telegram it sent last (its first 8 bytes); nothing before the
    // first telegram.
    std::optional<ParameterTelegramBytes> lastSent;
    int retryCount = 0;  // asks for a reply to lastSent since it was sent
    DownloadBookkeeping bookkeeping;
    double idleThresholdCount = 1.0;  // `IdleThresholdCount`
    double speedSignalDivider = 1.0;  // `SpeedSignalDivider`
    std::string vinText;              // the installer's lVIN as it stands
    bool monitorExtHeatersVisible = false;
};

// A mask word for the mask grid (identifiers 11, 12, 31 and 32).
struct MaskReadout {
    uint16_t id = 0;
    uint32_t value = 0;
    uint8_t wordIndex = 0;  // identifier 31 only
};

struct ParameterReadoutResult {
    // NotAccepted: a differing echo while the scheduler is still asking; nothing else changed.
    // ClearsOnly: a differing echo at the retry limit (status and bookkeeping below).
    ReplyAcceptance acceptance = ReplyAcceptance::NotAccepted;
    uint16_t id = 0;
    std::vector<LabelText> texts;  // the installer's labels, in this order
    // Both status lines (main and service window).
    std::optional<std::string> status;
    // The bookkeeping afterwards, when the telegram changed it.
    std::optional<DownloadBookkeeping> bookkeeping;
    std::optional<double> idleThresholdCount;
    std::optional<double> speedSignalDivider;
    std::optional<uint8_t> pumpTlOutputSetup;     // `PumpTlOutputSetup`
    std::optional<uint8_t> pumpLevelSensorSetup;  // `PumpLevelSensorSetup`
    std::optional<bool> installDateKnown;         // `InstallDateKnown`
    std::optional<InstallDate> installDate;       // the valid date itself
    std::optional<MaskReadout> mask;
    std::optional<bool> dm1Support;  // identifier 30: `lDM1Status` is among the texts
};

// One parameter telegram from the pump: isEcho for code 172 (the echo of a write), false for
// code 173 (the answer to a read).
ParameterReadoutResult decodeParameterReply(std::span<const uint8_t> telegram, bool isEcho,
                                            const ParameterReadoutContext& context,
                                            const DisplayFormat& format = DisplayFormat::system());
