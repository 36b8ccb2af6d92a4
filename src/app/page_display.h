#pragma once
// Puts decoded status pages on screen: the texts go to the labels of the windows they name, and
// the results go to the window families that act on them beyond their labels (the installer's
// visibility, the service window's test mode, the OBD rows, ...). The decoding itself is pure; this
// is the short, boring part that touches widgets. Reply 200 goes through the same all-pages
// decoder the pure tests exercise.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "pump/reply_decoder.h"
#include "pump/status_pages.h"

// A window family's interest in the pages.
class PageObserver {
  public:
    virtual ~PageObserver() = default;
    // A page whose body the family decodes itself: 201, 208, 209, 210, 212, 216.
    virtual void onRawPage(uint8_t code, std::span<const uint8_t> body) {
        (void)code;
        (void)body;
    }
    // Every page's body as the pump sent it, single page replies and the pages of reply 200 alike
    // (a family that keeps its own record of the values, such as the trend plots).
    virtual void onPageBody(uint8_t code, std::span<const uint8_t> body) {
        (void)code;
        (void)body;
    }
    // Decoded pages, after their texts are on screen.
    virtual void onPage203(const Page203Result&) {}
    virtual void onPage204(const Page204Result&) {}
    virtual void onPage207(const Page207Result&) {}
    virtual void onPage211(const Page211Result&) {}
};

// The installer window as the page decoders read it (access level, visibility, the engine-speed
// divider label).
class InstallerViewSource {
  public:
    virtual ~InstallerViewSource() = default;
    virtual InstallerView installerView() const = 0;
};

class PumpPageDisplay : public StatusPageReplies {
  public:
    struct Targets {
        // The window a decoder names; null for a window no family has registered.
        std::function<QWidget*(ReadoutWindow)> windowOf;
        std::function<void(PumpSoftwareVersion)> setSoftwareVersion;
    };

    explicit PumpPageDisplay(Targets targets) : targets_(std::move(targets)) {}

    void addObserver(PageObserver& observer) { observers_.push_back(&observer); }
    void setInstallerView(const InstallerViewSource& source) { installer_ = &source; }

    // StatusPageReplies: one page reply (201-212, 216) with its body; reply 200 whole.
    void onStatusPage(uint8_t code, std::span<const uint8_t> body) override;
    void onAllPages(std::span<const uint8_t> telegram) override;

    const PumpLiveValues& values() const { return values_; }
    // Read-outs a page named that no window holds ("window/objectName"). The tool carries on
    // without them; the tests insist there are none.
    const std::set<std::string>& missingReadouts() const { return missing_; }
    DisplayFormat format = DisplayFormat::system();

  private:
    InstallerView installerView() const;
    QWidget* windowOf(ReadoutWindow window) const;
    template <typename Widget>
    Widget* find(ReadoutWindow window, const char* objectName);
    void applyTexts(const std::vector<LabelText>& texts);
    void applyEdits(const std::vector<EditText>& edits);
    void apply(const Page203Result& r);
    void apply(const Page204Result& r);
    void apply(const Page205Result& r);
    void apply(const Page206Result& r);
    void apply(const Page207Result& r);
    void apply(const Page211Result& r);
    void raw(uint8_t code, std::span<const uint8_t> body);
    void bodyArrived(uint8_t code, std::span<const uint8_t> body);

    Targets targets_;
    const InstallerViewSource* installer_ = nullptr;
    std::vector<PageObserver*> observers_;
    PumpLiveValues values_;
    std::set<std::string> missing_;
};
