#include "app/page_display.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QtDebug>

#include "pump/service_codes.h"

InstallerView PumpPageDisplay::installerView() const {
    return installer_ ? installer_->installerView() : InstallerView{};
}

QWidget* PumpPageDisplay::windowOf(ReadoutWindow window) const {
    return targets_.windowOf ? targets_.windowOf(window) : nullptr;
}

template <typename Widget>
Widget* PumpPageDisplay::find(ReadoutWindow window, const char* objectName) {
    QWidget* w = windowOf(window);
    Widget* found = w ? w->findChild<Widget*>(objectName) : nullptr;
    if (!found) {
        const std::string name = std::string(toString(window)) + "/" + objectName;
        if (missing_.insert(name).second) {
            qWarning("status page names a read-out no window holds: %s", name.c_str());
        }
    }
    return found;
}

void PumpPageDisplay::applyTexts(const std::vector<LabelText>& texts) {
    for (const LabelText& t : texts) {
        if (auto* label = find<QLabel>(t.window, t.objectName)) {
            label->setText(QString::fromStdString(t.text));
        }
    }
}

void PumpPageDisplay::applyEdits(const std::vector<EditText>& edits) {
    for (const EditText& e : edits) {
        if (auto* edit = find<QLineEdit>(e.window, e.objectName)) {
            edit->setText(QString::fromStdString(e.text));
        }
    }
}

void PumpPageDisplay::apply(const Page203Result& r) {
    applyTexts(r.texts);
    applyEdits(r.edits);
    values_.apply(r);
    for (PageObserver* o : observers_) {
        o->onPage203(r);
    }
}

void PumpPageDisplay::apply(const Page204Result& r) {
    applyTexts(r.texts);
    applyEdits(r.edits);
    for (const ComboItemText& c : r.comboItems) {
        auto* combo = find<QComboBox>(ReadoutWindow::Installer, c.comboName);
        if (auto* label = find<QLabel>(c.window, c.objectName)) {
            label->setText(combo ? combo->itemText(c.index) : QString());
        }
    }
    for (const ComboSelection& c : r.comboSelections) {
        if (auto* combo = find<QComboBox>(ReadoutWindow::Installer, c.comboName)) {
            combo->setCurrentIndex(c.index);
        }
    }
    for (const WidgetFlag& f : r.visibility) {
        if (auto* w = find<QWidget>(ReadoutWindow::Installer, f.objectName)) {
            w->setVisible(f.on);
        }
    }
    for (const WidgetFlag& f : r.enabled) {
        if (auto* w = find<QWidget>(ReadoutWindow::Installer, f.objectName)) {
            w->setEnabled(f.on);
        }
    }
    if (r.pumpSoftwareVersion && targets_.setSoftwareVersion) {
        targets_.setSoftwareVersion(*r.pumpSoftwareVersion);
    }
    values_.apply(r);
    for (PageObserver* o : observers_) {
        o->onPage204(r);
    }
}

void PumpPageDisplay::apply(const Page205Result& r) {
    applyTexts(r.texts);
}

void PumpPageDisplay::apply(const Page206Result& r) {
    applyTexts(r.texts);
}

void PumpPageDisplay::apply(const Page207Result& r) {
    applyTexts(r.texts);
    for (PageObserver* o : observers_) {
        o->onPage207(r);
    }
}

void PumpPageDisplay::apply(const Page211Result& r) {
    applyTexts(r.texts);
    values_.apply(r);
    for (PageObserver* o : observers_) {
        o->onPage211(r);
    }
}

void PumpPageDisplay::raw(uint8_t code, std::span<const uint8_t> body) {
    for (PageObserver* o : observers_) {
        o->onRawPage(code, body);
    }
}

void PumpPageDisplay::bodyArrived(uint8_t code, std::span<const uint8_t> body) {
    for (PageObserver* o : observers_) {
        o->onPageBody(code, body);
    }
}

void PumpPageDisplay::onStatusPage(uint8_t code, std::span<const uint8_t> body) {
    using namespace service_code;
    bodyArrived(code, body);
    switch (code) {
        case kPage203:
            apply(decodePage203(body, installerView(), format));
            break;
        case kPage204:
            apply(decodePage204(body, installerView(), values_.heaterSelectionArmed, format));
            break;
        case kPage205:
            apply(decodePage205(body, format));
            break;
        case kPage206:
            apply(decodePage206(body, values_.factoryCalibration, format));
            break;
        case kPage207:
            apply(decodePage207(body));
            break;
        case kPage211:
            apply(decodePage211(body, values_.averageMaf, installerView(), format));
            break;
        case kPage202:
            break;  // accepted only
        default:
            raw(code, body);
            break;
    }
}

void PumpPageDisplay::onAllPages(std::span<const uint8_t> telegram) {
    const AllPagesResult all = decodeAllPages(telegram, values_, installerView(), format);
    // Page by page in ascending order, as the decoder saw them.
    for (const PageSlice& page : all.pages) {
        bodyArrived(page.code, page.body);
        switch (page.code) {
            case service_code::kPage203:
                apply(all.page203);
                break;
            case service_code::kPage204:
                apply(all.page204);
                break;
            case service_code::kPage205:
                apply(all.page205);
                break;
            case service_code::kPage206:
                apply(all.page206);
                break;
            case service_code::kPage207:
                apply(all.page207);
                break;
            case service_code::kPage211:
                apply(all.page211);
                break;
            case service_code::kPage202:
                break;
            default:
                raw(page.code, page.body);
                break;
        }
    }
    values_ = all.values;
}
