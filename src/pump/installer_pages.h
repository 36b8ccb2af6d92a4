#pragma once
// The installer's read-backs that arrive as long telegrams: status page 212 (conversion ratio
// settings), status page 216 (installer settings block) and the pump's echoes of the two long
// configuration images (codes 147 and 163). Results are texts for the installer's "Actual value"
// labels, presets for its new-value controls and the tool-wide values they carry; applying one
// is a loop in the window, as for the other status pages.
//
// Bodies are untrusted: a short page decodes the fields it holds, an index past the items of its
// combo box shows "Invalid value: n" and is never preset into a control, and an idle threshold
// over a divider of 0 shows "?" without dividing.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pump/installer_layout.h"
#include "pump/installer_values.h"
#include "pump/number_format.h"
#include "pump/reply_decoder.h"
#include "pump/status_pages.h"

using InstallerSettingsBlock = std::array<uint8_t, status_page::kPage216Size>;

// --- Page 212 ---
struct Page212Result {
    std::vector<LabelText> texts;
    bool complete = false;
};
Page212Result decodePage212(std::span<const uint8_t> body,
                            const DisplayFormat& format = DisplayFormat::system());

// --- Page 216 ---
struct Page216Context {
    // The once-per-run step is still armed: this is the first page 216 of the run.
    bool firstPageOfRun = true;
    bool extendedConfigVisible = false;  // gbExtendedConfig
    // The texts of lConversionRatioReduced, lConversionRatioThreshold and
    // lConversionRatioAvaragePeriod as they stand, for the once-per-run step.
    std::string conversionRatioReduced = "?";
    std::string conversionRatioThreshold = "?";
    std::string averagingPeriod = "?";
};

struct Page216Result {
    std::vector<LabelText> texts;
    // Apply in this order after the texts: selections, then enabled, then edits.
    std::vector<ComboSelection> comboSelections;
    std::vector<WidgetFlag> enabled;
    std::vector<EditText> edits;
    bool complete = false;
    // `PumpInstallerSettings`: the whole block, from a complete page only.
    std::optional<InstallerSettingsBlock> installerSettings;
    // The page was the run's first and consumed the once-per-run step: disarm it.
    bool onceStepDone = false;
};
Page216Result decodePage216(std::span<const uint8_t> body, const Page216Context& context,
                            const DisplayFormat& format = DisplayFormat::system());

// While gbExtendedConfig is hidden the heater-monitoring combo boxes follow the pump, from its
// page 204 (byte 6 bits 1 and 2), so that a download at the installer level writes the pump's own
// settings back. Nothing while the group is visible or the page does not hold byte 6.
std::vector<ComboSelection> monitorHeaterPresets(std::span<const uint8_t> page204Body,
                                                 bool extendedConfigVisible);

// --- Echoes 147 and 163 ---
// Whether a reply body is the echo of the long configuration telegram sent last: the same code and,
// byte for byte, bytes 8 onward of that telegram (47 or 66 bytes).
bool configEchoMatches(uint8_t code, std::span<const uint8_t> body,
                       std::span<const uint8_t> sentTelegram);

struct ConfigEchoContext {
    std::span<const uint8_t> sentTelegram;  // the long configuration telegram sent last, whole
    bool monitorExtHeatersVisible = false;  // gbMonitorExtHeaters
    // A 163 download with its parameter writes 0 and 1 still to come: the echo is not the end of
    // the download, so it shows no status; the last write's echo does.
    bool parameterWritesFollow = false;
};

struct ConfigEchoResult {
    // NotAccepted: not the echo of what was sent; nothing below is set.
    ReplyAcceptance acceptance = ReplyAcceptance::NotAccepted;
    std::vector<LabelText> texts;       // installer, main and error-log labels, in this order
    std::optional<std::string> status;  // "Configuration data downloaded!", last
    // From the echo's own bytes, and only when its flag says the pump stored them: with the
    // flag 0 the pump kept its own date (or dashboard) and the echo's field is not what it holds.
    std::optional<bool> installDateKnown;
    std::optional<InstallDate> installDate;
    std::optional<uint8_t> pumpTlOutputSetup;                 // 163
    std::optional<uint8_t> pumpLevelSensorSetup;              // 163
    std::optional<InstallerSettingsBlock> installerSettings;  // 163: `PumpInstallerSettings`
};

namespace echo_text {
inline constexpr std::string_view kDownloaded = "Configuration data downloaded!";
}

ConfigEchoResult decodeConfigEcho(uint8_t code, std::span<const uint8_t> body,
                                  const ConfigEchoContext& context,
                                  const DisplayFormat& format = DisplayFormat::system());
