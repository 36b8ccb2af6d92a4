#pragma once
// Decoders of the pump's status pages: a page body goes in, the texts of the read-outs it fills
// and the values the rest of the tool keeps come out. Nothing here touches a window; applying a
// result is a loop in the window code:
//
//     for (const LabelText& t : result.texts)
//         windowOf(t.window)->findChild<QLabel*>(t.objectName)->setText(t.text);
//
// in the order given (a label written twice ends with the later text), then the edits, combo
// selections, visibility and enable lists.
//
// A page body is untrusted. A body shorter than its page decodes only the fields it holds
// completely; the labels of the other fields are left out of the result (they keep their last
// text) and `complete` is false. Bytes past the page size are ignored.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "pump/number_format.h"
#include "pump/service_telegram.h"
#include "pump/software_version.h"
#include "pump/status_page_layout.h"

// The windows whose read-outs the pages fill. Several object names exist in more than one window
// (`lSerial`, `lUserCalibration`, `lTankHeater`, ...), so every output names its window.
enum class ReadoutWindow { Main, Installer, ServiceTest, UserCalibration, ErrorLog };
const char* toString(ReadoutWindow window);

// A read-out label and its new text.
struct LabelText {
    ReadoutWindow window;
    const char* objectName;
    std::string text;
};
// An entry field preset with a text.
struct EditText {
    ReadoutWindow window;
    const char* objectName;
    std::string text;
};
// A label that shows the item text of one of the installer's combo boxes at an index. The combo
// owns its item texts, so the window resolves them (an index the combo does not hold shows the
// empty text).
struct ComboItemText {
    ReadoutWindow window;
    const char* objectName;
    const char* comboName;
    int index;
};
// A combo box of the installer window set to an index.
struct ComboSelection {
    const char* comboName;
    int index;
};
// A widget of the installer window shown or hidden, or enabled or disabled. The two tabs are pages
// of a tab widget: the window shows or hides their tabs.
struct WidgetFlag {
    const char* objectName;
    bool on;
};
// A state text for a row of the OBD window.
struct ObdStateText {
    int row;
    std::string text;
};

// Installer access levels.
inline constexpr int kAccessLevelNone = 10;
inline constexpr int kAccessLevelInstaller = 11;
inline constexpr int kAccessLevelExtended = 12;

// What the decoders read from the installer window.
struct InstallerView {
    int accessLevel = kAccessLevelNone;            // `AccessLevel`
    bool extendedConfigVisible = false;            // `gbExtendedConfig`
    bool monitorExtHeatersVisible = false;         // `gbMonitorExtHeaters`
    std::string alt2EngineSpeedSignalRatio = "?";  // text of `lAlt2EngineSpeedSignalRatio`
};

struct Page203Result {
    std::vector<LabelText> texts;
    std::vector<EditText> edits;
    bool complete = false;
    std::optional<uint16_t> factoryCalibration;  // -> `factoryCalibration`
};

struct Page204Result {
    std::vector<LabelText> texts;
    std::vector<EditText> edits;
    std::vector<ComboItemText> comboItems;
    std::vector<ComboSelection> comboSelections;
    std::vector<WidgetFlag> visibility;  // apply before `enabled`
    std::vector<WidgetFlag> enabled;
    bool complete = false;
    std::optional<PumpSoftwareVersion> pumpSoftwareVersion;  // -> `PumpSoftwareVersion`
    // Bit 0 of the heater byte: `externalHeaterPresent`, and whether the service test window shows
    // its heater test tab.
    std::optional<bool> externalHeaterPresent;
    std::optional<uint8_t> pumpLevelSensorSetup;  // -> `PumpLevelSensorSetup`
    std::optional<uint8_t> pumpTlOutputSetup;     // -> `PumpTlOutputSetup`
    std::optional<bool> installDateKnown;         // -> `InstallDateKnown`
    // The valid installation date itself, for a window that writes dates its own way.
    struct Date {
        int year, month, day;
        friend bool operator==(const Date&, const Date&) = default;
    };
    std::optional<Date> installDate;
    std::optional<bool> dashboardKnown;  // -> `DashboardKnown`
    // Only from the first page 204 of a run: disable `cbExternalHeaterSelection`, select this
    // index and run the installer's heater-selection change handling. Apply after `enabled`.
    std::optional<int> initialHeaterSelection;
};

struct Page205Result {
    std::vector<LabelText> texts;
    bool complete = false;
};

struct Page206Result {
    std::vector<LabelText> texts;
    bool complete = false;
};

struct Page207Result {
    std::vector<LabelText> texts;
    std::vector<ObdStateText> obdStates;
    bool complete = false;
    std::optional<uint8_t> testModeLevel;  // -> `testModeLevel`
};

struct Page211Result {
    std::vector<LabelText> texts;
    bool complete = false;
    std::optional<double> averageMaf;  // -> `averageMaf`
    // For `showTorqueLimiterCountdowns`, in this order.
    std::optional<std::pair<uint16_t, uint16_t>> torqueLimiterCountdowns;
};

// The tool-wide values the pages derive, as the decoders need them next time. The software
// version is not among them: the pump connection keeps `PumpSoftwareVersion` (take it from
// Page204Result::pumpSoftwareVersion).
struct PumpLiveValues {
    uint16_t factoryCalibration = 0;
    bool externalHeaterPresent = false;
    uint8_t pumpLevelSensorSetup = 0;
    uint8_t pumpTlOutputSetup = 0;
    double averageMaf = 0.0;
    // The first page 204 of a run presets the heater selection; it is never re-armed.
    bool heaterSelectionArmed = true;

    void apply(const Page203Result& page);
    void apply(const Page204Result& page);
    void apply(const Page211Result& page);
};

// The installer window as page 204 leaves it (page 211 in the same reply reads it).
InstallerView applyVisibility(InstallerView view, const Page204Result& page);

Page203Result decodePage203(std::span<const uint8_t> body, const InstallerView& installer,
                            const DisplayFormat& format = DisplayFormat::system());
Page204Result decodePage204(std::span<const uint8_t> body, const InstallerView& installer,
                            bool heaterSelectionArmed,
                            const DisplayFormat& format = DisplayFormat::system());
Page205Result decodePage205(std::span<const uint8_t> body,
                            const DisplayFormat& format = DisplayFormat::system());
Page206Result decodePage206(std::span<const uint8_t> body, uint16_t factoryCalibration,
                            const DisplayFormat& format = DisplayFormat::system());
Page207Result decodePage207(std::span<const uint8_t> body);
Page211Result decodePage211(std::span<const uint8_t> body, double averageMaf,
                            const InstallerView& installer,
                            const DisplayFormat& format = DisplayFormat::system());

// One page of reply 200. `body` holds the bytes the telegram actually carried for the page, at
// most its size; `complete` says whether it carried all of them.
struct PageSlice {
    uint8_t code = 0;
    std::span<const uint8_t> body;
    bool complete = false;
};

// The page a single status-page reply (201 to 212, 216) carries: its body, cut to the page size.
// Nothing for a telegram whose code is no single page.
std::optional<PageSlice> statusPageOf(const ServiceTelegramView& telegram);

// Reply 200 (the whole telegram, header included) cut into its twelve pages, 201 to 212 in
// order. A short telegram gives short or empty bodies; bytes past 247 are ignored.
std::array<PageSlice, 12> splitAllPages(std::span<const uint8_t> telegram);

// Reply 200 decoded page by page in ascending order, each page seeing the values the pages
// before it derived (page 206 uses the factory calibration of page 203 in the same reply, page
// 211 the installer visibility page 204 set). Pages 201, 202, 208, 209, 210 and 212 belong to
// other read-outs: take their bodies from `pages`.
struct AllPagesResult {
    std::array<PageSlice, 12> pages;
    Page203Result page203;
    Page204Result page204;
    Page205Result page205;
    Page206Result page206;
    Page207Result page207;
    Page211Result page211;
    PumpLiveValues values;    // after the reply
    InstallerView installer;  // after page 204
};
AllPagesResult decodeAllPages(std::span<const uint8_t> telegram, const PumpLiveValues& values,
                              const InstallerView& installer,
                              const DisplayFormat& format = DisplayFormat::system());
