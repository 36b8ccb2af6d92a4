#include "service/service_tool.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <initializer_list>

#include "service/service_layout.h"

namespace {

// Read-outs that go back to "?" when the pump is lost.
constexpr const char* kServiceReadouts[] = {
    "lDosingValveOBD", "lDosingValve",   "lTankHeaterOBD", "lTankHeater", "lLineHeaterOBD",
    "lLineHeater",     "lEEPROMReadAdr", "lDataHex",       "lLamp3Conf",  "lLamp4Conf"};

constexpr const char* kFlowHint = "When pumping 32,5% Urea at 20 deg C";

struct Control {
    const char* objectName;
    const char* caption;
};

struct TimerRow {
    const char* objectName;
    int intervalMs;
    QTimer* TfServiceTool::*member;
};
constexpr TimerRow kTimers[] = {
    {"tmrFlowtestMonitor", service_timing::kFlowMonitorMs, &TfServiceTool::tmrFlowtestMonitor},
    {"tmrValveTest", service_timing::kValveTestMs, &TfServiceTool::tmrValveTest},
    {"tmrTankHeaterTest", service_timing::kHeaterTestMs, &TfServiceTool::tmrTankHeaterTest},
    {"tmrLineHeaterTest", service_timing::kHeaterTestMs, &TfServiceTool::tmrLineHeaterTest},
    {"tmrMI_Lamp", service_timing::kLampTestMs, &TfServiceTool::tmrMI_Lamp},
    {"tmrUreaLamp", service_timing::kLampTestMs, &TfServiceTool::tmrUreaLamp},
    {"tmrEepromWatch", service_timing::kEepromWatchMs, &TfServiceTool::tmrEepromWatch},
};

// A button that assistive technology announces by its caption.
QPushButton* makeButton(QWidget* parent, const Control& c) {
    auto* button = new QPushButton(c.caption, parent);
    button->setObjectName(c.objectName);
    button->setAccessibleName(QString(c.caption).remove('&'));
    return button;
}

// One row of buttons side by side.
void addButtons(QWidget* parent, QFormLayout* form, std::initializer_list<Control> buttons) {
    auto* row = new QHBoxLayout;
    for (const Control& c : buttons) {
        row->addWidget(makeButton(parent, c));
    }
    row->addStretch(1);
    form->addRow(row);
}

// Value read-outs, each tied to its caption.
void addReadouts(QWidget* parent, QFormLayout* form, std::initializer_list<Control> readouts) {
    for (const Control& r : readouts) {
        auto* value = new QLabel("?", parent);
        value->setObjectName(r.objectName);
        value->setMinimumWidth(120);
        auto* caption = new QLabel(r.caption, parent);
        caption->setBuddy(value);
        form->addRow(caption, value);
    }
}

// A group of buttons above the read-outs that show what they did.
QGroupBox* group(QWidget* parent, const char* title, std::initializer_list<Control> buttons,
                 std::initializer_list<Control> readouts = {}) {
    auto* box = new QGroupBox(title, parent);
    auto* form = new QFormLayout(box);
    if (buttons.size() > 0) {
        addButtons(box, form, buttons);
    }
    addReadouts(box, form, readouts);
    return box;
}

// A group that holds other groups side by side.
QGroupBox* outerGroup(QWidget* parent, const char* title, std::initializer_list<QGroupBox*> inner) {
    auto* box = new QGroupBox(title, parent);
    auto* row = new QHBoxLayout(box);
    for (QGroupBox* g : inner) {
        g->setParent(box);
        row->addWidget(g);
    }
    return box;
}

QWidget* page(QTabWidget* tabs, const char* objectName, const char* caption,
              std::initializer_list<QWidget*> groups) {
    auto* sheet = new QWidget(tabs);
    sheet->setObjectName(objectName);
    auto* layout = new QVBoxLayout(sheet);
    for (QWidget* g : groups) {
        g->setParent(sheet);
        layout->addWidget(g);
    }
    layout->addStretch(1);
    tabs->addTab(sheet, caption);
    return sheet;
}

}  // namespace

TfServiceTool::TfServiceTool(QWidget* parent) : ToolWindow("fServiceTool", "Service Tool", parent) {
    auto* layout = new QVBoxLayout(this);
    auto* init = new QGroupBox("Initialization", this);
    init->setObjectName("gbInitialization");
    auto* initLayout = new QFormLayout(init);
    btReset = makeButton(init, {"btReset", "&Reset Pump"});
    initLayout->addRow(btReset);
    lStatus_ = new QLabel("?", init);
    lStatus_->setObjectName("lStatus");
    auto* statusCaption = new QLabel("Status message", init);
    statusCaption->setBuddy(lStatus_);
    initLayout->addRow(statusCaption, lStatus_);
    layout->addWidget(init);

    pcService = new QTabWidget(this);
    pcService->setObjectName("pcService");

    // Flow test: the trackbar counts in 0.1 ml/h.
    auto* testFlow = group(this, "Test flow",
                           {{"btTestNozzleFlow", "Nozzle"},
                            {"btTestReturnFlow", "Return line"},
                            {"btStopPump", "Stop pump"}});
    auto* flowForm = qobject_cast<QFormLayout*>(testFlow->layout());
    tbCapacity = new QSlider(Qt::Horizontal, testFlow);
    tbCapacity->setObjectName("tbCapacity");
    tbCapacity->setRange(flow_test::kTrackbarMin, flow_test::kTrackbarMax);
    tbCapacity->setValue(flow_test::kTrackbarMin);
    tbCapacity->setPageStep(flow_test::kTrackbarPage);
    tbCapacity->setTickInterval(flow_test::kTrackbarTicks);
    tbCapacity->setTickPosition(QSlider::TicksBelow);
    tbCapacity->setAccessibleName("Test flow");
    flowForm->addRow(tbCapacity);
    lFlowTestDoseml = new QLabel("?", testFlow);
    lFlowTestDoseml->setObjectName("lFlowTestDoseml");
    lFlowTestDoseml->setToolTip(kFlowHint);
    auto* flowCaption = new QLabel("Test flow [ml/h]", testFlow);
    flowCaption->setToolTip(kFlowHint);
    flowCaption->setBuddy(lFlowTestDoseml);
    flowForm->addRow(flowCaption, lFlowTestDoseml);
    page(pcService, "TabSheet1", "Flow test", {testFlow});

    page(pcService, "TabSheet2", "Valve test",
         {outerGroup(this, "Valve control (Press and hold down button to test)",
                     {group(this, "Dosing valve", {{"btTestDosingValve", "Test"}},
                            {{"lDosingValve", "State"}, {"lDosingValveOBD", "OBD"}})}),
          outerGroup(this, "Valve control",
                     {group(this, "Dosing valve",
                            {{"btOpenDosingValve", "Open"}, {"btCloseDosingValve", "Close"}})})});

    tsHeater = page(pcService, "tsHeater", "Heater test",
                    {outerGroup(this, "Heater control (press and hold buttons to test)",
                                {group(this, "Tank heater", {{"btTestTankHeater", "Test"}},
                                       {{"lTankHeater", "State"}, {"lTankHeaterOBD", "OBD"}}),
                                 group(this, "Line heater", {{"btTestLineHeater", "Test"}},
                                       {{"lLineHeater", "State"}, {"lLineHeaterOBD", "OBD"}})})});

    page(pcService, "TabSheet4", "Alarm box",
         {outerGroup(
              this, "Output control",
              {group(this, "MI lamp", {{"btLamp3On", "Turn on"}, {"btLamp3Off", "Turn off"}}),
               group(this, "Urea lamp", {{"btLamp4On", "Turn on"}, {"btLamp4Off", "Turn off"}})}),
          outerGroup(
              this, "(Press and hold down button to test)",
              {group(this, "MI lamp", {{"btLamp3Test", "Test"}}, {{"lLamp3Conf", "State"}}),
               group(this, "Urea lamp", {{"btLamp4Test", "Test"}}, {{"lLamp4Conf", "State"}})})});

    page(pcService, "tsEEPROM", "EEPROM",
         {group(this, "EEPROM", {{"btReadAllPROM", "Read E2PROM..."}},
                {{"lEEPROMReadAdr", "Adr (hex)"}, {"lDataHex", "Data (hex)"}})});
    layout->addWidget(pcService);

    struct ButtonMember {
        QPushButton* TfServiceTool::*member;
        const char* objectName;
    };
    constexpr ButtonMember kButtons[] = {
        {&TfServiceTool::btTestNozzleFlow, "btTestNozzleFlow"},
        {&TfServiceTool::btTestReturnFlow, "btTestReturnFlow"},
        {&TfServiceTool::btStopPump, "btStopPump"},
        {&TfServiceTool::btReadAllPROM, "btReadAllPROM"},
        {&TfServiceTool::btTestDosingValve, "btTestDosingValve"},
        {&TfServiceTool::btOpenDosingValve, "btOpenDosingValve"},
        {&TfServiceTool::btCloseDosingValve, "btCloseDosingValve"},
        {&TfServiceTool::btTestTankHeater, "btTestTankHeater"},
        {&TfServiceTool::btTestLineHeater, "btTestLineHeater"},
        {&TfServiceTool::btLamp3On, "btLamp3On"},
        {&TfServiceTool::btLamp3Off, "btLamp3Off"},
        {&TfServiceTool::btLamp4On, "btLamp4On"},
        {&TfServiceTool::btLamp4Off, "btLamp4Off"},
        {&TfServiceTool::btLamp3Test, "btLamp3Test"},
        {&TfServiceTool::btLamp4Test, "btLamp4Test"},
    };
    for (const ButtonMember& b : kButtons) {
        this->*b.member = findChild<QPushButton*>(b.objectName);
    }
    for (const TimerRow& t : kTimers) {
        auto* timer = new QTimer(this);
        timer->setObjectName(t.objectName);
        timer->setInterval(t.intervalMs);
        this->*t.member = timer;
    }

    pcService->setCurrentIndex(0);
    connect(pcService, &QTabWidget::currentChanged, this, &TfServiceTool::pcServiceChanging);
}

void TfServiceTool::clearServiceDisplay() {
    for (const char* name : kServiceReadouts) {
        if (auto* label = findChild<QLabel*>(name)) {
            label->setText("?");
        }
    }
}

void TfServiceTool::setHeaterTabVisible(bool visible) {
    pcService->setTabVisible(pcService->indexOf(tsHeater), visible);
}

bool TfServiceTool::heaterTabVisible() const {
    return pcService->isTabVisible(pcService->indexOf(tsHeater));
}

void TfServiceTool::pcServiceChanging(int index) {
    if (revertingPage_) {
        return;
    }
    if (closeQuery && !closeQuery()) {
        revertingPage_ = true;
        pcService->setCurrentIndex(shownPage_);
        revertingPage_ = false;
        return;
    }
    shownPage_ = index;
}

void TfServiceTool::closeEvent(QCloseEvent* event) {
    if (closeQuery && !closeQuery()) {
        event->ignore();
        return;
    }
    ToolWindow::closeEvent(event);
    if (event->isAccepted() && onClosed) {
        onClosed();
    }
}

void TfServiceTool::hideEvent(QHideEvent* event) {
    ToolWindow::hideEvent(event);
    if (onHandsOff) {
        onHandsOff();
    }
}

bool TfServiceTool::event(QEvent* event) {
    // Another window (a message box, a question) took the mouse: the button's release would go
    // there.
    if (event->type() == QEvent::WindowDeactivate && onHandsOff) {
        onHandsOff();
    }
    return ToolWindow::event(event);
}
