#include "diagnostics/nox_sensor_window.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <map>
#include <string>

#include "app/indicator.h"
#include "diagnostics/nox_data_frame.h"
#include "diagnostics/readout_label.h"

namespace {
QString text(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

TfNOxSensor::TfNOxSensor(QWidget* parent) : ToolWindow("fNOxSensor", "NOx Sensor Data", parent) {
    auto* marker = new ReadoutMarker(this);
    auto* layout = new QVBoxLayout(this);
    auto* sides = new QHBoxLayout;
    sides->addWidget(buildSide(NoxSide::Upstream, marker));
    sides->addWidget(buildSide(NoxSide::Downstream, marker));
    layout->addLayout(sides);
    layout->addWidget(buildHiddenLists());

    for (NoxSide s : {NoxSide::Upstream, NoxSide::Downstream}) {
        Side& side = side_(s);
        side.timer = new QTimer(this);
        side.timer->setObjectName(noxSideNames(s).watchdog);
        // Both watchdogs run from start-up with their first, 1-ms interval: the sensors' sides
        // show "?" at once until a sensor speaks.
        side.timer->setInterval(static_cast<int>(side.watch.intervalMs()));
        connect(side.timer, &QTimer::timeout, this, [this, s] { watchdogExpired(s); });
        side.timer->start();
        showIndicator(s);
    }
}

QWidget* TfNOxSensor::buildSide(NoxSide s, ReadoutMarker* marker) {
    const NoxSideNames& n = noxSideNames(s);
    Side& side = side_(s);
    auto* column = new QWidget(this);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    side.sensorFrame = new TfNOxData(n.sensorFrame, n.sensorFrameCaption, marker, column);
    layout->addWidget(side.sensorFrame);
    auto* sensorValues = new QWidget(column);
    auto* sensorForm = new QFormLayout(sensorValues);
    side.sensorNoxPpm = addReadout(sensorForm, n.sensorNoxPpm, n.sensorNoxPpmCaption, "?", marker);
    side.sensorO2Percent =
        addReadout(sensorForm, n.sensorO2Percent, n.sensorO2PercentCaption, "?", marker);
    layout->addWidget(sensorValues);

    side.pumpFrame = new TfNOxData(n.pumpFrame, n.pumpFrameCaption, marker, column);
    layout->addWidget(side.pumpFrame);
    auto* pumpValues = new QWidget(column);
    auto* pumpForm = new QFormLayout(pumpValues);
    side.pumpNoxPpm = addReadout(pumpForm, n.pumpNoxPpm, n.pumpNoxPpmCaption, "?", marker);
    side.pumpO2Percent = addReadout(pumpForm, n.pumpO2Percent, n.pumpO2PercentCaption, "?", marker);
    side.pumpO2Lin = addReadout(pumpForm, n.pumpO2Lin, n.pumpO2LinCaption, "?", marker);
    layout->addWidget(pumpValues);

    auto* link = new QWidget(column);
    auto* linkForm = new QFormLayout(link);
    side.indicator = new QLabel(link);
    side.indicator->setObjectName(n.indicator);
    auto* caption = new QLabel(n.indicatorCaption, link);
    caption->setBuddy(side.indicator);
    linkForm->addRow(caption, side.indicator);
    layout->addWidget(link);
    layout->addStretch(1);
    return column;
}

QWidget* TfNOxSensor::buildHiddenLists() {
    // The texts of the status and error fields as drop-down lists, as the window has always
    // carried them; they are never shown.
    auto* holder = new QWidget(this);
    auto* layout = new QHBoxLayout(holder);
    std::map<std::string, QFormLayout*> groups;
    for (const nox_texts::HiddenList& list : nox_texts::kHiddenLists) {
        QFormLayout*& form = groups[list.group];
        if (!form) {
            auto* group = new QGroupBox(list.group, holder);
            group->setObjectName(QString("gbHidden") + list.group);
            form = new QFormLayout(group);
            layout->addWidget(group);
        }
        auto* combo = new QComboBox(holder);
        combo->setObjectName(list.comboName);
        for (std::string_view item : list.items) {
            combo->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
        }
        form->addRow(combo);
    }
    holder->hide();
    return holder;
}

void TfNOxSensor::onSensorMessage(NoxSide s, std::span<const uint8_t> message) {
    const auto decoded = decodeSensorMessage(message, format);
    if (!decoded) {
        return;
    }
    Side& side = side_(s);
    side.watch.onMessage();
    side.timer->start(static_cast<int>(side.watch.intervalMs()));
    side.sensorFrame->showTexts(decoded->frame);
    side.sensorNoxPpm->setText(text(decoded->noxPpm));
    side.sensorO2Percent->setText(text(decoded->o2Percent));
}

std::optional<QString> TfNOxSensor::onPumpSensorRecord(NoxSide s, std::span<const uint8_t> record) {
    const PumpSensorRecordTexts decoded = decodePumpSensorRecord(record, format);
    Side& side = side_(s);
    if (decoded.frame) {
        side.pumpFrame->showTexts(*decoded.frame);
    }
    std::optional<QString> nox;
    if (decoded.noxPpm) {
        nox = text(*decoded.noxPpm);
        side.pumpNoxPpm->setText(*nox);
    }
    if (decoded.o2Lin) {
        side.pumpO2Lin->setText(text(*decoded.o2Lin));
    }
    if (decoded.o2Percent) {
        side.pumpO2Percent->setText(text(*decoded.o2Percent));
    }
    return nox;
}

void TfNOxSensor::onSensorAddressClaimed(NoxSide s) {
    side_(s).watch.onAddressClaim();
    showIndicator(s);
}

void TfNOxSensor::clearNoxPumpDisplay() {
    for (Side& side : sides_) {
        side.pumpFrame->setAllTexts(nox_frame::kUnknownText);
        for (QLabel* label : {side.pumpNoxPpm, side.pumpO2Percent, side.pumpO2Lin}) {
            label->setText(nox_frame::kUnknownText);
        }
    }
}

void TfNOxSensor::watchdogExpired(NoxSide s) {
    side_(s).watch.onExpiry();
    showSensorLost(s);
}

void TfNOxSensor::advanceWatchdogs(uint32_t ms) {
    for (NoxSide s : {NoxSide::Upstream, NoxSide::Downstream}) {
        if (side_(s).watch.advance(ms)) {
            showSensorLost(s);
        }
    }
}

void TfNOxSensor::showSensorLost(NoxSide s) {
    Side& side = side_(s);
    // Stopped until the sensor's next message; that one starts it with the new interval.
    side.timer->stop();
    side.timer->setInterval(static_cast<int>(side.watch.intervalMs()));
    side.sensorFrame->setAllTexts(nox_frame::kUnknownText);
    side.sensorNoxPpm->setText(nox_frame::kUnknownText);
    side.sensorO2Percent->setText(nox_frame::kUnknownText);
    showIndicator(s);
}

void TfNOxSensor::showIndicator(NoxSide s) {
    Side& side = side_(s);
    setIndicator(side.indicator, indicatorColourOf(side.watch.indicator()));
}
