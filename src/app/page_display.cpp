#include "app/page_display.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "pump/service_codes.h"

namespace {
QLabel* labelIn(QWidget* window, const char* name) {
    return window ? window->findChild<QLabel*>(name) : nullptr;
}
}  // namespace

InstallerView PumpPageDisplay::installerView() const {
    InstallerView view;
    if (targets_.installerAccessLevel) {
        view.accessLevel = targets_.installerAccessLevel();
    }
    if (QWidget* w = targets_.installer) {
        if (auto* g = w->findChild<QWidget*>("gbExtendedConfig")) {
            view.extendedConfigVisible = !g->isHidden();
        }
        if (auto* g = w->findChild<QWidget*>("gbMonitorExtHeaters")) {
            view.monitorExtHeatersVisible = !g->isHidden();
        }
        if (auto* l = labelIn(w, "lAlt2EngineSpeedSignalRatio")) {
            view.alt2EngineSpeedSignalRatio = l->text().toStdString();
        }
    }
    return view;
}

void PumpPageDisplay::applyTexts(const std::vector<LabelText>& texts) {
    for (const LabelText& t : texts) {
        if (QLabel* label = labelIn(targets_.windowOf(t.window), t.objectName)) {
            label->setText(QString::fromStdString(t.text));
        }
    }
}

void PumpPageDisplay::applyEdits(const std::vector<EditText>& edits) {
    for (const EditText& e : edits) {
        if (QWidget* w = targets_.windowOf(e.window)) {
            if (auto* edit = w->findChild<QLineEdit*>(e.objectName)) {
                edit->setText(QString::fromStdString(e.text));
            }
        }
    }
}

void PumpPageDisplay::apply(const Page203Result& r) {
    applyTexts(r.texts);
    applyEdits(r.edits);
    values_.apply(r);
}

void PumpPageDisplay::apply(const Page204Result& r) {
    applyTexts(r.texts);
    QWidget* installer = targets_.installer;
    applyEdits(r.edits);
    if (installer) {
        for (const ComboItemText& c : r.comboItems) {
            auto* combo = installer->findChild<QComboBox*>(c.comboName);
            if (QLabel* label = labelIn(targets_.windowOf(c.window), c.objectName)) {
                label->setText(combo ? combo->itemText(c.index) : QString());
            }
        }
        for (const ComboSelection& c : r.comboSelections) {
            if (auto* combo = installer->findChild<QComboBox*>(c.comboName)) {
                combo->setCurrentIndex(c.index);
            }
        }
        for (const WidgetFlag& f : r.visibility) {
            if (auto* w = installer->findChild<QWidget*>(f.objectName)) {
                w->setVisible(f.on);
            }
        }
        for (const WidgetFlag& f : r.enabled) {
            if (auto* w = installer->findChild<QWidget*>(f.objectName)) {
                w->setEnabled(f.on);
            }
        }
    }
    if (r.pumpSoftwareVersion && targets_.setSoftwareVersion) {
        targets_.setSoftwareVersion(*r.pumpSoftwareVersion);
    }
    values_.apply(r);
}

void PumpPageDisplay::apply(const Page207Result& r) {
    applyTexts(r.texts);
    if (r.testModeLevel && targets_.setTestModeLevel) {
        targets_.setTestModeLevel(*r.testModeLevel);
    }
}

void PumpPageDisplay::showPumpSensorRecord(bool upstream, std::span<const uint8_t> body) {
    // The pump's own NOx figure of the sensor: a signed 16-bit number in the record's first bytes.
    if (body.size() < 2) {
        return;
    }
    const int16_t ppm = static_cast<int16_t>(body[0] | (body[1] << 8));
    if (QLabel* label =
            labelIn(targets_.windowOf(ReadoutWindow::Main), upstream ? "lNOxUp" : "lNOxDown")) {
        label->setText(QString::number(ppm));
    }
}

void PumpPageDisplay::showStatusPage(uint8_t code, std::span<const uint8_t> body) {
    using namespace service_code;
    switch (code) {
        case kPage203:
            apply(decodePage203(body, installerView(), format));
            break;
        case kPage204:
            apply(decodePage204(body, installerView(), values_.heaterSelectionArmed, format));
            break;
        case kPage205:
            applyTexts(decodePage205(body, format).texts);
            break;
        case kPage206:
            applyTexts(decodePage206(body, values_.factoryCalibration, format).texts);
            break;
        case kPage207:
            apply(decodePage207(body));
            break;
        case kPage209:
            showPumpSensorRecord(true, body);
            break;
        case kPage210:
            showPumpSensorRecord(false, body);
            break;
        case kPage211: {
            Page211Result r = decodePage211(body, values_.averageMaf, installerView(), format);
            applyTexts(r.texts);
            values_.apply(r);
            break;
        }
        default:
            // 201, 202, 208, 212 and 216 belong to windows that decode them on their own.
            break;
    }
}

void PumpPageDisplay::showAllPages(std::span<const uint8_t> telegram) {
    // Page by page in ascending order, so that each sees what the earlier ones derived.
    for (const PageSlice& page : splitAllPages(telegram)) {
        showStatusPage(page.code, page.body);
    }
}
