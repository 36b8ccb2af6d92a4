#include "service/service_tool.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/tool_core.h"

const char* toString(FlowTestState state) {
    switch (state) {
        case FlowTestState::SettingValve:
            return "SettingValve";
        case FlowTestState::Starting:
            return "Starting";
        case FlowTestState::SettingFlow:
            return "SettingFlow";
        case FlowTestState::Running:
            return "Running";
        case FlowTestState::Idle:
            return "Idle";
    }
    return "?";
}

namespace {
// Read-outs that go back to "?" when the pump is lost.
constexpr const char* kServiceReadouts[] = {
    "lDosingValveOBD", "lDosingValve",   "lTankHeaterOBD", "lTankHeater", "lLineHeaterOBD",
    "lLineHeater",     "lEEPROMReadAdr", "lDataHex",       "lLamp3Conf",  "lLamp4Conf"};
}  // namespace

TfServiceTool::TfServiceTool(ToolCore& core, QWidget* parent)
    : ToolWindow("fServiceTool", "Service Tool", parent), core_(core) {
    auto* layout = new QVBoxLayout(this);
    auto* init = new QGroupBox("Initialization", this);
    init->setObjectName("gbInitialization");
    auto* initLayout = new QFormLayout(init);
    auto* btReset = new QPushButton("&Reset Pump", init);
    btReset->setObjectName("btReset");
    connect(btReset, &QPushButton::clicked, this, [this] { resetPump(); });
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

void TfServiceTool::queueCommand(uint8_t code, uint32_t longArg, uint16_t wordArg,
                                 uint8_t byteArg) {
    core_.sender.enqueueCommand(code, longArg, wordArg, byteArg);
    core_.setStatus("-");
}

void TfServiceTool::enterTestMode() {
    if (testModeLevel_ != 0) {
        return;
    }
    // Older pump software wants all three arguments at 1.
    const uint8_t arg = core_.scheduler.pumpSoftwareVersion.atLeast(0, 11) ? 0 : 1;
    queueCommand(1, arg, arg, arg);
}

void TfServiceTool::stopPump() {
    queueCommand(4);
    appliedFlow = flowSetting == 0 ? 1 : 0;
}

void TfServiceTool::resetPump() {
    enterTestMode();
    queueCommand(2);
}

void TfServiceTool::clearServiceDisplay() {
    for (const char* name : kServiceReadouts) {
        if (auto* label = findChild<QLabel*>(name)) {
            label->setText("?");
        }
    }
}
