#include "app/indicator.h"

void setIndicator(QLabel* indicator, const QColor& colour) {
    indicator->setFixedSize(16, 16);
    indicator->setStyleSheet(
        QString("background-color: %1; border-radius: 8px; border: 1px solid gray;")
            .arg(colour.name()));
    indicator->setProperty("colour", colour.name());
    // What a screen reader says beside the caption.
    indicator->setAccessibleName(colour == QColor(Qt::green) ? "green"
                                 : colour == QColor(Qt::red) ? "red"
                                                             : colour.name());
}

QString indicatorColour(const QLabel* indicator) {
    return indicator->property("colour").toString();
}
