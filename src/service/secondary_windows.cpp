#include "service/secondary_windows.h"

#include <QFormLayout>

TfUserCalibration::TfUserCalibration(QWidget* parent)
    : ToolWindow("fUserCalibration", "User Calibration", parent) {
    auto* form = new QFormLayout(this);
    lUserCalibration = new QLabel("?", this);
    lUserCalibration->setObjectName("lUserCalibration");
    form->addRow("User calibration [g]", lUserCalibration);
}

TfPurge::TfPurge(QWidget* parent) : ToolWindow("fPurge", "Purge in progress", parent) {}
