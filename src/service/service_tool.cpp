#include "service/service_tool.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace {
// Read-outs that go back to "?" when the pump is lost.
constexpr const char* kServiceReadouts[] = {
    "lDosingValveOBD", "lDosingValve",   "lTankHeaterOBD", "lTankHeater", "lLineHeaterOBD",
    "lLineHeater",     "lEEPROMReadAdr", "lDataHex",       "lLamp3Conf",  "lLamp4Conf"};
}  // namespace

TfServiceTool::TfServiceTool(QWidget* parent) : ToolWindow("fServiceTool", "Service Tool", parent) {
    auto* layout = new QVBoxLayout(this);
    auto* init = new QGroupBox("Initialization", this);
    init->setObjectName("gbInitialization");
    auto* initLayout = new QFormLayout(init);
    btReset = new QPushButton("&Reset Pump", init);
    btReset->setObjectName("btReset");
    initLayout->addRow(btReset);
    lStatus_ = new QLabel("?", init);
    lStatus_->setObjectName("lStatus");
    auto* statusCaption = new QLabel("Status message", init);
    statusCaption->setBuddy(lStatus_);
    initLayout->addRow(statusCaption, lStatus_);
    layout->addWidget(init);

    // Read-outs that the pump's pages fill; their tabs come with the tests that use them.
    auto* readouts = new QWidget(this);
    readouts->setObjectName("pnReadouts");
    auto* form = new QFormLayout(readouts);
    for (const char* name : kServiceReadouts) {
        auto* value = new QLabel("?", readouts);
        value->setObjectName(name);
        form->addRow(QString(name).mid(1), value);
    }
    readouts->hide();
    layout->addWidget(readouts);
}

void TfServiceTool::clearServiceDisplay() {
    for (const char* name : kServiceReadouts) {
        if (auto* label = findChild<QLabel*>(name)) {
            label->setText("?");
        }
    }
}
