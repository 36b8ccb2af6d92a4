#pragma once
// A round red/green indicator drawn by a label (the "shape" controls of the windows).

#include <QColor>
#include <QLabel>

void setIndicator(QLabel* indicator, const QColor& colour);
// The colour last set, by name ("#00ff00").
QString indicatorColour(const QLabel* indicator);
