#include "diagnostics/torque_limiter_window.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "app/indicator.h"
#include "diagnostics/readout_label.h"

TfrmTorqueLimiter::TfrmTorqueLimiter(QWidget* parent)
    : ToolWindow("frmTorqueLimiter", "Torque limiter", parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* causes = new QWidget(this);
    auto* causeForm = new QFormLayout(causes);
    for (std::size_t i = 0; i < torque_limiter::kIndicators.size(); ++i) {
        const torque_limiter::Indicator& t = torque_limiter::kIndicators[i];
        auto* shape = new QLabel(causes);
        shape->setObjectName(t.objectName);
        setIndicator(shape, Qt::red);
        auto* caption = new QLabel(t.caption, causes);
        caption->setBuddy(shape);
        causeForm->addRow(caption, shape);
        indicators_[i] = shape;
    }
    layout->addWidget(causes);

    auto* countdowns = new QWidget(this);
    auto* countForm = new QFormLayout(countdowns);
    auto* marker = new ReadoutMarker(this);
    lCoutDown5Sec =
        addReadout(countForm, torque_limiter::kCountDown5SecName,
                   torque_limiter::kCountDown5SecCaption, torque_limiter::kUnknownText, marker);
    lCoutDown45Sec =
        addReadout(countForm, torque_limiter::kCountDown45SecName,
                   torque_limiter::kCountDown45SecCaption, torque_limiter::kUnknownText, marker);
    layout->addWidget(countdowns);
}

void TfrmTorqueLimiter::showTorqueLimiterCauses(std::span<const uint8_t> causes) {
    const TorqueLimiterCauses decoded = decodeTorqueLimiterCauses(causes);
    for (std::size_t i = 0; i < indicators_.size(); ++i) {
        if (decoded.states[i]) {
            setIndicator(indicators_[i], indicatorColourOf(*decoded.states[i]));
        }
    }
}

void TfrmTorqueLimiter::showTorqueLimiterCountdowns(const std::pair<uint16_t, uint16_t>& values) {
    const TorqueLimiterCountdowns texts = torqueLimiterCountdownTexts(values);
    lCoutDown5Sec->setText(QString::fromStdString(texts.countDown5Sec));
    lCoutDown45Sec->setText(QString::fromStdString(texts.countDown45Sec));
}

void TfrmTorqueLimiter::clearTorqueLimiterDisplay() {
    const TorqueLimiterDisplay cleared = clearedTorqueLimiterDisplay();
    for (std::size_t i = 0; i < indicators_.size(); ++i) {
        setIndicator(indicators_[i], indicatorColourOf(cleared.states[i]));
    }
    lCoutDown5Sec->setText(QString::fromStdString(cleared.countdowns.countDown5Sec));
    lCoutDown45Sec->setText(QString::fromStdString(cleared.countdowns.countDown45Sec));
}
