#pragma once
// Puts decoded status pages on screen: the texts go to the labels of the windows they name, and
// the values the tool keeps (software version, test mode, factory calibration, ...) go to their
// owners. The decoding itself is pure; this is the short, boring part that touches widgets.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <span>

#include "pump/status_pages.h"

class PumpPageDisplay {
  public:
    struct Targets {
        // The window a decoder names; null for a window that does not exist (yet).
        std::function<QWidget*(ReadoutWindow)> windowOf;
        // The installer window, whose visibility and access level the pages read and set.
        QWidget* installer = nullptr;
        std::function<int()> installerAccessLevel;
        std::function<void(PumpSoftwareVersion)> setSoftwareVersion;
        std::function<void(uint8_t)> setTestModeLevel;
    };

    explicit PumpPageDisplay(Targets targets) : targets_(std::move(targets)) {}

    // One page reply (201-212, 216) with its body.
    void showStatusPage(uint8_t code, std::span<const uint8_t> body);
    // Reply 200, the whole telegram from byte 0.
    void showAllPages(std::span<const uint8_t> telegram);

    const PumpLiveValues& values() const { return values_; }
    DisplayFormat format = DisplayFormat::system();

  private:
    InstallerView installerView() const;
    void applyTexts(const std::vector<LabelText>& texts);
    void applyEdits(const std::vector<EditText>& edits);
    void apply(const Page203Result& r);
    void apply(const Page204Result& r);
    void apply(const Page207Result& r);
    void showPumpSensorRecord(bool upstream, std::span<const uint8_t> body);

    Targets targets_;
    PumpLiveValues values_;
};
