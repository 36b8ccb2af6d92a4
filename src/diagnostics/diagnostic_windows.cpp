#include "diagnostics/diagnostic_windows.h"

#include <QFormLayout>

TfNOxSensor::TfNOxSensor(QWidget* parent) : ToolWindow("fNOxSensor", "NOx Sensor Data", parent) {
    auto* form = new QFormLayout(this);
    shUpstreamConnected = new QLabel(this);
    shUpstreamConnected->setObjectName("shUpstreamConnected");
    shDownstreamConnected = new QLabel(this);
    shDownstreamConnected->setObjectName("shDownstreamConnected");
    setIndicator(shUpstreamConnected, Qt::red);
    setIndicator(shDownstreamConnected, Qt::red);
    form->addRow("Upstream sensor", shUpstreamConnected);
    form->addRow("Downstream sensor", shDownstreamConnected);
}

void TfNOxSensor::sensorClaimed(bool upstream) {
    setIndicator(upstream ? shUpstreamConnected : shDownstreamConnected, Qt::green);
}

TfUdsErrorLog::TfUdsErrorLog(QWidget* parent)
    : ToolWindow("fUdsErrorLog", "UDS error log", parent) {
    auto* form = new QFormLayout(this);
    lVIN = new QLabel("?", this);
    lVIN->setObjectName("lVIN");
    lVIN->setProperty("tag", 100);
    form->addRow("VIN", lVIN);
    lSerial = new QLabel("?", this);
    lSerial->setObjectName("lSerial");
    lSerial->setProperty("tag", 100);
    form->addRow("Serial number", lSerial);
}
