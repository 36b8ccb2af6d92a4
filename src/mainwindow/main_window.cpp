#include "mainwindow/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/about.h"
#include "app/close_down.h"
#include "app/dialogs.h"
#include "app/indicator.h"
#include "app/tool_core.h"

namespace {

constexpr ValueLabelRow kBasicLabels[] = {
    {"lAlarmCode", "Alarm code"},
    {"lPumpState", "Pump state"},
    {"lMafSensorKg", "MAF sensor [kg/h]"},
    {"lAverageMafSensorKg", "Average MAF [kg/h]"},
    {"lPumpDoseml", "Flow [ml/h]"},
    {"lTotalStrokes", "Total strokes"},
    {"lRunningHours", "Running hours [hh:mm]"},
    {"lNOxUp", "Upstream NOx [ppm]"},
    {"lNOxDown", "Downstream NOx [ppm]"},
    {"lNoxt", "Theoretical NOx [ppm]"},
    {"lConversionRatioCalculated", "Average conversion ratio"},
    {"lProductionYear", "Production year"},
    {"lProductionWeek", "Production week"},
    {"lSerial", "Serial number"},
    {"lPONumber", "Type number"},
    {"lSWRev", "Software revision"},
    {"lApplicationType", "Application type"},
    {"lPumpSize", "Pump size"},
    {"lTempCatInDeg", "Upstream catalyst temp [C]"},
    {"lTempCatOutDeg", "Downstream catalyst temp [C]"},
};

constexpr ValueLabelRow kExtendedLabels[] = {
    {"lVIN", "Vehicle identification number (VIN)"},
    {"lClip15", "Key switch [Clip 15]"},
    {"lBatteryVoltageV", "Battery voltage [V]"},
    {"lPressureSwitch", "Pressure switch"},
    {"lUreaLowLevel", "Urea tank level \"low\""},
    {"lUreaEmptyLevel", "Urea tank level \"empty\""},
    {"lUreaLamp", "Urea tank level lamp"},
    {"lMilLamp", "MIL lamp"},
    {"lTempAmbientDeg", "Pump head temp [C]"},
    {"lTempPCBDeg", "PCB temp [C]"},
    {"lMaxTemp", "Max PCB temp [C]"},
    {"lMinTemp", "Min PCB temp [C]"},
    {"lCatalystVolume", "Catalyst volume [l]"},
    {"lCatalystLength", "Catalyst length [mm]"},
    {"lPowerOns", "Power ons"},
    {"lMinBusDose", "Min Flow [ml/h]"},
    {"lMaxBusDose", "Max Flow [ml/h]"},
    {"lUreaTankTempValue", "Urea tank temperature [C]"},
    {"lLevelSensorValue", "Urea tank level [Ohm]"},
    {"lTorqueValveState", "Torque limiter "},
    {"lAlternatorInputFrequency", "Alternator Input Frequency [Hz]"},
    {"lEngineSpeed", "Engine speed [rpm]"},
    {"lOBD_ErrorPeriod", "Total OBD time"},
    {"lValveDosing", "Dosing valve"},
    {"lDosedUrea", "Dosed urea [l]"},
    {"lDosingTime", "Dosing hours [hh:mm]"},
    {"lHeaterAlgorithm", "External heater configuration"},
    {"lIntHeatingControl", "Internal heater state"},
    {"lFactoryCalibml", "Factory calibration [0.01ml]"},
    {"lUserCalibration", "User calibration [g]"},
    {"lMafFactor", "MAF factor"},
    {"lConversionGain", "Conversion gain"},
    {"lZovarUreaLampState", "Lamp 3 state (urea)"},
    {"lZovarMiLampState", "Lamp 4 state (MIL)"},
    {"lRemainingMilOnPeriod", "Remaining MIL on period [s]"},
    {"lRemainingOprationalSequences", "Remaining operational sequence"},
    {"lTankHeater", "Tank heater state"},
    {"lLineHeater", "Line heater state"},
};

}  // namespace

TForm1::TForm1(ToolCore& core, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), core_(core), dialogs_(dialogs) {
    setObjectName("Form1");
    // The groups scroll when the screen is lower than the window wants to be; the 30 pixels of
    // width the window may grow beyond the "Basic" group are room for the scroll bar.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("saMain");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* central = new QWidget(scroll);
    central->setObjectName("pnMain");
    auto* layout = new QVBoxLayout(central);
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    buildStatusGroup();
    layout->addWidget(gbStatus);
    gbBasic = buildValueGroup("gbBasic", "Basic", kBasicLabels, std::size(kBasicLabels));
    layout->addWidget(gbBasic);
    gbExtended =
        buildValueGroup("gbExtended", "Extended data", kExtendedLabels, std::size(kExtendedLabels));
    gbExtended->hide();
    layout->addWidget(gbExtended);
    // One caption column for both groups, so that the values line up from top to bottom.
    int captionWidth = 0;
    QList<QLabel*> captions;
    for (QGroupBox* group : {gbBasic, gbExtended}) {
        for (auto* label : group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->buddy()) {
                captions << label;
                captionWidth = std::max(captionWidth, label->sizeHint().width());
            }
        }
    }
    for (QLabel* caption : captions) {
        caption->setMinimumWidth(captionWidth);
    }
    layout->addStretch(1);
    scroll->setWidget(central);
    setCentralWidget(scroll);
    buildMenu();

    tmrTx = new QTimer(this);
    tmrTx->setObjectName("tmrTx");
    tmrTx->setInterval(10);
    tmrTx->setTimerType(Qt::PreciseTimer);
    connect(tmrTx, &QTimer::timeout, this, [this] { core_.scheduler().schedulerTick(); });
    tmrCloseDown = new QTimer(this);
    tmrCloseDown->setObjectName("tmrCloseDown");
    tmrCloseDown->setInterval(100);
    connect(tmrCloseDown, &QTimer::timeout, this, &TForm1::tmrCloseDownTimer);

    FormCreate();
}

void TForm1::buildStatusGroup() {
    gbStatus = new QGroupBox("Status", this);
    gbStatus->setObjectName("gbStatus");
    auto* form = new QFormLayout(gbStatus);
    pbRx = new QProgressBar(gbStatus);
    pbRx->setObjectName("pbRx");
    pbRx->setRange(0, kRxProgressMax);
    pbRx->setValue(0);
    pbRx->setTextVisible(false);
    // Opaque, so that a step repaints the bar alone and not the group behind it.
    pbRx->setAutoFillBackground(true);
    pbTx = new QProgressBar(gbStatus);
    pbTx->setObjectName("pbTx");
    pbTx->setRange(0, kTxProgressMax);
    pbTx->setValue(0);
    pbTx->setTextVisible(false);
    pbTx->setAutoFillBackground(true);
    lStatus = new QLabel("?", gbStatus);
    lStatus->setObjectName("lStatus");
    shPumpCommunication = new QLabel(gbStatus);
    shPumpCommunication->setObjectName("shPumpCommunication");
    setIndicator(shPumpCommunication, Qt::red);
    form->addRow("Rx", pbRx);
    form->addRow("Tx", pbTx);
    form->addRow("Status message", lStatus);
    form->addRow("Pump communication:", shPumpCommunication);
}

QGroupBox* TForm1::buildValueGroup(const char* objectName, const QString& title,
                                   const ValueLabelRow* rows, std::size_t count) {
    auto* group = new QGroupBox(title, this);
    group->setObjectName(objectName);
    auto* form = new QFormLayout(group);
    form->setLabelAlignment(Qt::AlignLeft);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (std::size_t i = 0; i < count; ++i) {
        auto* value = new QLabel("?", group);
        value->setObjectName(rows[i].objectName);
        value->setProperty("tag", kValueTag);
        value->setAutoFillBackground(true);
        value->setBackgroundRole(QPalette::Button);
        value->setMinimumWidth(160);
        value->installEventFilter(this);
        auto* caption = new QLabel(rows[i].caption, group);
        caption->setBuddy(value);
        form->addRow(caption, value);
    }
    return group;
}

void TForm1::buildMenu() {
    auto* bar = menuBar();
    bar->setObjectName("MainMenu1");
    auto* file = bar->addMenu("&File");
    file->setObjectName("File1");
    LoadConfiguration1 = file->addAction("Load Configuration...");
    LoadConfiguration1->setObjectName("LoadConfiguration1");
    SaveConfiguration1 = file->addAction("Save configuration...");
    SaveConfiguration1->setObjectName("SaveConfiguration1");
    // Checked while every frame on the bus goes into a trace file (the main window module).
    RecordBusTrace1 = file->addAction("Record bus trace...");
    RecordBusTrace1->setObjectName("RecordBusTrace1");
    RecordBusTrace1->setCheckable(true);
    Close1 = file->addAction("Close");
    Close1->setObjectName("Close1");
    auto* view = bar->addMenu("&View");
    view->setObjectName("view1");
    auto checkable = [](QMenu* menu, const char* caption, const char* name) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        action->setCheckable(true);
        return action;
    };
    Extendeddata1 = checkable(view, "Extended data", "Extendeddata1");
    NOxSensors1 = checkable(view, "NOx sensor(s)", "NOxSensors1");
    UdsErrorlog = checkable(view, "UDS error log", "UdsErrorlog");
    OBD1 = checkable(view, "OBD", "OBD1");
    TorqueLimiter = checkable(view, "Torque limiter", "TorqueLimiter");
    Trends1 = checkable(view, "Trends", "Trends1");
    auto* tools = bar->addMenu("&Tools");
    tools->setObjectName("Tools1");
    Service1 = checkable(tools, "Service", "Service1");
    Installer1 = checkable(tools, "Configure", "Installer1");
    About1 = bar->addAction("About");
    About1->setObjectName("About1");
    connect(Extendeddata1, &QAction::triggered, this, [this] { toggleExtendedData(); });
}

int TForm1::contentHeight() const {
    const int frame = height() - centralWidget()->height();
    return centralWidget()->findChild<QWidget*>("pnMain")->sizeHint().height() + frame;
}

void TForm1::fitHeight() {
    resize(width(), std::min(contentHeight(), maximumHeight()));
}

void TForm1::FormCreate() {
    setWindowTitle(kToolTitle);
    move(0, 0);
    const int basicWidth = gbBasic->sizeHint().width() + 2 * 9;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        setMaximumHeight(std::max(200, screen->availableGeometry().height() - 30));
    }
    setMaximumWidth(basicWidth + 30);
    resize(basicWidth, height());
    core_.scheduler().resetSupervision();
}

void TForm1::FormShow() {
    try {
        core_.clearPumpDisplay();
        core_.scheduler().endReplyWait();
        fitHeight();
        if (onFormShow) {
            onFormShow();
        }
        core_.openAdapter();
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QSize size = screen->size();
            if (size.width() < 1024 || size.height() < 768) {
                dialogs_.message("The program is designed for 1024 x 768 screen resolution !",
                                 "Small screen resolution", Dialogs::Icon::None);
            }
        }
    } catch (const std::exception& e) {
        dialogs_.message(e.what(), QApplication::applicationName(), Dialogs::Icon::Error);
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // Let the window appear before the adapter is opened and any message is shown.
        QTimer::singleShot(0, this, [this] { FormShow(); });
    }
}

bool TForm1::FormCloseQuery() {
    if (!tmrCloseDown->isActive() && core_.link().opened()) {
        if (dialogs_.askYesNo("Do you want to exit program?", "Confirm", Dialogs::Icon::Warning)) {
            tmrCloseDown->start();
            core_.queue().clear();
            if (closingWindow_) {
                closingWindow_->show();
            }
        }
        return false;
    }
    core_.flags().linkLost = false;
    tmrCloseDown->stop();
    return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    QApplication::closeAllWindows();
}

void TForm1::FormClose() {
    tmrTx->stop();
    if (closingWindow_) {
        closingWindow_->hide();
    }
    core_.link().close();
}

void TForm1::tmrCloseDownTimer() {
    if (closeDown_) {
        closeDown_->tick();
    }
}

void TForm1::clearPumpDisplay() {
    for (QGroupBox* group : {gbBasic, gbExtended}) {
        for (auto* label : group->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->property("tag").toInt() == kValueTag) {
                label->setText("?");
            }
        }
    }
}

void TForm1::setPumpCommunication(bool found) {
    setIndicator(shPumpCommunication, found ? Qt::green : Qt::red);
}

void TForm1::rxStep() {
    rxPosition_ = rxPosition_ >= kRxProgressMax ? 0 : rxPosition_ + 1;
    scheduleActivity();
}

void TForm1::txStep() {
    txPosition_ = txPosition_ >= kTxProgressMax ? 0 : txPosition_ + 1;
    txFailing_ = false;
    scheduleActivity();
}

void TForm1::txFailed() {
    txFailing_ = true;
    scheduleActivity();
}

void TForm1::scheduleActivity() {
    if (!activityDue_) {
        activityDue_ = true;
        QTimer::singleShot(kActivityPaceMs, this, &TForm1::showActivity);
    }
}

void TForm1::showActivity() {
    activityDue_ = false;
    pbRx->setValue(rxPosition_);
    pbTx->setValue(txPosition_);
    if (pbTx->property("failed").toBool() != txFailing_) {
        pbTx->setProperty("failed", txFailing_);
        QPalette palette;
        if (txFailing_) {
            palette = pbTx->palette();
            palette.setColor(QPalette::Base, Qt::red);
            palette.setColor(QPalette::Window, Qt::red);
        }
        pbTx->setPalette(palette);
        const QString text = txFailing_ ? QStringLiteral("The adapter refuses to send") : QString();
        pbTx->setToolTip(text);
        pbTx->setAccessibleDescription(text);
    }
}

void TForm1::showVin(const QString& vin) {
    if (auto* label = valueLabel("lVIN")) {
        label->setText(vin);
    }
}

QLabel* TForm1::valueLabel(const char* objectName) const {
    return findChild<QLabel*>(objectName);
}

void TForm1::valueLabelClicked(QLabel* label) {
    label->setBackgroundRole(label->backgroundRole() == QPalette::Button ? QPalette::ToolTipBase
                                                                         : QPalette::Button);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (auto* label = qobject_cast<QLabel*>(watched);
            label && label->property("tag").toInt() == kValueTag) {
            valueLabelClicked(label);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::toggleExtendedData() {
    if (!gbExtended->isHidden()) {
        Extendeddata1->setChecked(false);
        gbExtended->hide();
    } else {
        Extendeddata1->setChecked(true);
        gbExtended->show();
    }
    centralWidget()->findChild<QWidget*>("pnMain")->adjustSize();
    fitHeight();
    // At the screen's height the groups scroll: take the width that leaves room for the bar.
    if (height() >= maximumHeight()) {
        resize(maximumWidth(), height());
    }
}
