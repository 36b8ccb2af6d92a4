#include "diagnostics/readout_label.h"

#include <QEvent>
#include <QMouseEvent>

void ReadoutMarker::watch(QLabel* label) {
    label->setAutoFillBackground(true);
    label->setBackgroundRole(QPalette::Button);
    label->installEventFilter(this);
}

void ReadoutMarker::toggle(QLabel* label) {
    label->setBackgroundRole(marked(label) ? QPalette::Button : QPalette::ToolTipBase);
}

bool ReadoutMarker::marked(const QLabel* label) {
    return label->backgroundRole() == QPalette::ToolTipBase;
}

bool ReadoutMarker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (auto* label = qobject_cast<QLabel*>(watched)) {
            toggle(label);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QLabel* addReadout(QFormLayout* form, const char* objectName, const QString& caption,
                   const QString& text, ReadoutMarker* marker) {
    QWidget* parent = form->parentWidget();
    auto* value = new QLabel(text, parent);
    value->setObjectName(objectName);
    value->setMinimumWidth(120);
    if (marker) {
        marker->watch(value);
    }
    auto* label = new QLabel(caption, parent);
    label->setBuddy(value);
    form->addRow(label, value);
    return value;
}

QColor indicatorColourOf(IndicatorState state) {
    return state == IndicatorState::Green ? QColor(Qt::green) : QColor(Qt::red);
}
