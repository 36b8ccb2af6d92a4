#include "diagnostics/nox_data_frame.h"

#include <QFormLayout>
#include <QVBoxLayout>
#include <cstring>

#include "diagnostics/readout_label.h"

TfNOxData::TfNOxData(const char* objectName, const QString& caption, ReadoutMarker* marker,
                     QWidget* parent)
    : QGroupBox(caption, parent) {
    setObjectName(objectName);
    auto* layout = new QVBoxLayout(this);
    auto* own = new QWidget(this);
    auto* ownForm = new QFormLayout(own);
    ownForm->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(own);
    // The frame's own read-outs first, then one sub-group per group name, in table order.
    QFormLayout* groupForm = nullptr;
    const char* currentGroup = "";
    for (const nox_frame::Readout& r : nox_frame::kReadouts) {
        QFormLayout* form = ownForm;
        if (*r.group != '\0') {
            if (std::strcmp(r.group, currentGroup) != 0) {
                auto* group = new QGroupBox(r.group, this);
                groupForm = new QFormLayout(group);
                layout->addWidget(group);
                currentGroup = r.group;
            }
            form = groupForm;
        }
        addReadout(form, r.objectName, r.caption, nox_frame::kDesignText, marker);
    }
}

void TfNOxData::showTexts(const NoxFrameTexts& texts) {
    for (const NamedText& t : frameLabels(texts)) {
        if (QLabel* label = readout(t.objectName)) {
            label->setText(QString::fromStdString(t.text));
        }
    }
}

void TfNOxData::setAllTexts(const QString& text) {
    for (const nox_frame::Readout& r : nox_frame::kReadouts) {
        if (QLabel* label = readout(r.objectName)) {
            label->setText(text);
        }
    }
}

QLabel* TfNOxData::readout(const char* objectName) const {
    return findChild<QLabel*>(objectName);
}
