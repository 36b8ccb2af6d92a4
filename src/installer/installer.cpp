#include "installer/installer.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLocale>
#include <QMenuBar>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <map>

namespace {

QString qtext(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The columns of a parameter row, the same in every container so the rows line up.
enum Column {
    kCaptionColumn,
    kActualCaptionColumn,
    kValueColumn,
    kNewCaptionColumn,
    kControlColumn,
    kRangeColumn,
    kColumnCount
};
constexpr int kValueWidth = 150;
constexpr int kControlWidth = 160;
constexpr const char* kActualValueCaption = "Actual value";
constexpr const char* kNewValueCaption = "New value";
// The heading colour of the heater-monitoring group while the external heater is enabled.
const QColor kNavy(0, 0, 128);

// Where each control's text or selection goes in the download's input.
struct TextField {
    const char* control;
    std::string ConfigurationInput::*field;
};
constexpr TextField kEditFields[] = {
    {"eZovar_Dashboard", &ConfigurationInput::dashboard},
    {"eZovar_BlockedNozzleSetupRestart", &ConfigurationInput::blockedNozzleRestart},
    {"eZovar_TankUpper", &ConfigurationInput::heaterUpperLimit},
    {"eZovar_TankLower", &ConfigurationInput::heaterLowerLimit},
    {"eExtHeaterConfig_Defreeze", &ConfigurationInput::heaterDefreezeLimit},
    {"eZovar_CatalystVolume", &ConfigurationInput::catalystVolume},
    {"eZovar_CatalystLength", &ConfigurationInput::catalystLength},
    {"eZovar_ConversionGain", &ConfigurationInput::conversionGain},
    {"eZovar_MafFactor", &ConfigurationInput::mafFactor},
    {"eZovar_ConversionRatioReduced", &ConfigurationInput::conversionRatioReduced},
    {"eZovar_ConversionRatioThreshold", &ConfigurationInput::conversionRatioThreshold},
    {"eZovar_ConversionRatioAvaragePeriod", &ConfigurationInput::averagingPeriod},
    {"eECMcanAdrConfiguration", &ConfigurationInput::ecmCanAddress},
    {"eMAFatIdleSpeed", &ConfigurationInput::minimumMaf},
    {"eEngineSpeedIdleThr", &ConfigurationInput::idleThreshold},
    {"eAlt2EngineSpeedSignalRatio", &ConfigurationInput::divider},
    {"eLevelSensor_LowLimit_NewValue", &ConfigurationInput::levelLowLimit},
    {"eLevelSensor_EmptyLimit_NewValue", &ConfigurationInput::levelEmptyLimit},
    {"eValveOpenTimeAtPurge_Value", &ConfigurationInput::valveOpenTime},
    {"eValveCloseTimeAtPurge_Value", &ConfigurationInput::valveCloseTime},
    {"eNoOfRepAtPurge_Value", &ConfigurationInput::purgeSequences},
    {"eUreaTankMaxStop", &ConfigurationInput::ureaHighStop},
    {"eUreaTankMaxRestart", &ConfigurationInput::ureaHighRestart},
    {"eUreaTankMinStop", &ConfigurationInput::ureaLowStop},
    {"eUreaTankMinRestart", &ConfigurationInput::ureaLowRestart},
};
// The pump's present values, where a switched-off setting writes them back.
constexpr TextField kActualFields[] = {
    {"lTankUpperLimit", &ConfigurationInput::heaterUpperLimitActual},
    {"lTankLowerLimit", &ConfigurationInput::heaterLowerLimitActual},
    {"lExtHeater_DefreezeLimit_Value", &ConfigurationInput::heaterDefreezeLimitActual},
    {"lMafFactor", &ConfigurationInput::mafFactorActual},
    {"lConversionRatioReduced", &ConfigurationInput::conversionRatioReducedActual},
    {"lConversionRatioThreshold", &ConfigurationInput::conversionRatioThresholdActual},
    {"lConversionRatioAvaragePeriod", &ConfigurationInput::averagingPeriodActual},
    {"lLevelSensor_LowLimit_Value", &ConfigurationInput::levelLowLimitActual},
    {"lLevelSensor_EmptyLimit_Value", &ConfigurationInput::levelEmptyLimitActual},
};
struct IndexField {
    const char* control;
    int ConfigurationInput::*field;
};
constexpr IndexField kComboFields[] = {
    {"cbExternalHeaterSelection", &ConfigurationInput::externalHeater},
    {"cbDownstreamNOxSelection", &ConfigurationInput::downstreamNox},
    {"cbTLoutputSetup", &ConfigurationInput::tlOutput},
    {"cbEngineSpeedSetup", &ConfigurationInput::engineSpeed},
    {"cbMAFsignalSetup", &ConfigurationInput::mafSignal},
    {"cbConversionRatioSelection", &ConfigurationInput::conversionRatioSelection},
    {"cbUreaTankTempSetup", &ConfigurationInput::ureaTankTempSensor},
    {"cbUreaTankLevelSensorSetup", &ConfigurationInput::levelSensor},
    {"cbRepeatingPrimeSeq_NewValue", &ConfigurationInput::repeatingPrime},
    {"cbUDSsurveillanceAtPin32", &ConfigurationInput::udsSurveillance},
    {"cbUreaTankTemperatureOBD", &ConfigurationInput::ureaTankTemperatureObd},
    {"cbMonitorTankHeater", &ConfigurationInput::monitorTankHeater},
    {"cbMonitorLineHeater", &ConfigurationInput::monitorLineHeater},
};

// The combo boxes whose change runs a rule, in the order a full refresh runs them (the urea tank
// temperature OBD last: the heater rule may enable its limits, the OBD rule has the last word).
constexpr const char* kRuleCombos[] = {
    "cbConversionRatioSelection", "cbMAFsignalSetup",
    "cbUreaTankLevelSensorSetup", "cbTLoutputSetup",
    "cbExternalHeaterSelection",  "cbUreaTankTemperatureOBD",
};

// The VIN as the pump stores it, one byte per character. A character no byte holds becomes a
// control character, which the VIN check refuses, rather than a stand-in the pump would store.
std::string vinBytes(const QString& text) {
    std::string out;
    for (QChar c : text) {
        out.push_back(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '\x01');
    }
    return out;
}

// The short date pattern of the operator's settings (strftime style, as the read-outs use it)
// for the date picker, so that both show a date alike.
QString qtDateFormat(const std::string& pattern) {
    QString out;
    QString literal;
    auto flush = [&] {
        if (!literal.isEmpty()) {
            out += '\'' + literal + '\'';
            literal.clear();
        }
    };
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            literal += QChar::fromLatin1(pattern[i]);
            continue;
        }
        const char token = pattern[++i];
        const char* qt = nullptr;
        switch (token) {
            case 'd':
                qt = "dd";
                break;
            case 'e':
                qt = "d";
                break;
            case 'm':
                qt = "MM";
                break;
            case 'y':
                qt = "yy";
                break;
            case 'Y':
                qt = "yyyy";
                break;
            case 'b':
                qt = "MMM";
                break;
            case 'B':
                qt = "MMMM";
                break;
            case 'a':
                qt = "ddd";
                break;
            case 'A':
                qt = "dddd";
                break;
            default:
                break;
        }
        if (qt) {
            flush();
            out += qt;
        } else if (token == '%') {
            literal += '%';
        }
    }
    flush();
    return out.isEmpty() ? QLocale().dateFormat(QLocale::ShortFormat) : out;
}

}  // namespace

TfInstaller::TfInstaller(const DisplayFormat& format, QWidget* parent)
    : ToolWindow("fInstaller", qtext(installer_text::kWindowCaption), parent) {
    auto* layout = new QVBoxLayout(this);
    // Filled from the main window's menu (mergeMenu), so that this window shows the main menu.
    menuBar = new QMenuBar(this);
    menuBar->setObjectName("MainMenu");
    layout->setMenuBar(menuBar);

    pcConfiguration = new QTabWidget(this);
    pcConfiguration->setObjectName("pcConfiguration");
    sbZovar = new QScrollArea(pcConfiguration);
    sbZovar->setObjectName("sbZovar");
    sbZovar->setWidgetResizable(true);
    sbZovar->setFrameShape(QFrame::NoFrame);
    tsZovar = new QWidget;
    tsZovar->setObjectName("tsZovar");
    buildRows(format);
    sbZovar->setWidget(tsZovar);
    pcConfiguration->addTab(sbZovar, qtext(::containerOf(InstallerGroup::Setup).caption));

    // The mask tabs: their grids and buttons belong to the mask configuration.
    tsMIconfig = new QWidget(pcConfiguration);
    tsMIconfig->setObjectName("tsMIconfig");
    auto* miLayout = new QVBoxLayout(tsMIconfig);
    btDownloadMIConfMasks = new QPushButton("Download  &MI configuration", tsMIconfig);
    btDownloadMIConfMasks->setObjectName("btDownloadMIConfMasks");
    miLayout->addWidget(btDownloadMIConfMasks);
    miLayout->addStretch(1);
    pcConfiguration->addTab(tsMIconfig, qtext(installer_text::kMiTab));
    tsDM1config = new QWidget(pcConfiguration);
    tsDM1config->setObjectName("tsDM1config");
    pcConfiguration->addTab(tsDM1config, qtext(installer_text::kDmTab));
    layout->addWidget(pcConfiguration, 1);

    // The footer: the download, then the user calibration (btShowCalibrate joins the row after
    // the download button).
    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    footer = new QHBoxLayout(Panel1);
    btZovar_DownloadConfiguration = new QPushButton(qtext(installer_text::kDownloadButton), Panel1);
    btZovar_DownloadConfiguration->setObjectName("btZovar_DownloadConfiguration");
    footer->addWidget(btZovar_DownloadConfiguration);
    btShowCalibrate = new QPushButton("Special user calibration...", Panel1);
    btShowCalibrate->setObjectName("btShowCalibrate");
    btShowCalibrate->setAccessibleName("Special user calibration...");
    footer->addWidget(btShowCalibrate);
    footer->addStretch(1);
    layout->addWidget(Panel1);

    lVIN = label("lVIN");
    lAlt2EngineSpeedSignalRatio = label("lAlt2EngineSpeedSignalRatio");
    eVIN = edit("eVIN");
    // The pump stores printable ASCII only.
    eVIN->setValidator(new QRegularExpressionValidator(QRegularExpression("[\\x20-\\x7E]*"), eVIN));
    dtpZovar_InstallDate = findChild<QDateEdit*>("dtpZovar_InstallDate");
    cbExternalHeaterSelection = combo("cbExternalHeaterSelection");

    // Shown only at the extended level, and the urea tank and heater-monitoring settings only
    // for a pump that has them (the application-type page says so).
    setExtendedVisible(false);
    pUreaTankTemperatureSettings->hide();
    gbMonitorExtHeaters->hide();
    refreshEnableRules();
    resize(820, 900);
}

void TfInstaller::buildRows(const DisplayFormat& format) {
    std::map<InstallerGroup, QGridLayout*> grids;
    std::map<InstallerGroup, int> rows;
    auto gridOf = [&](InstallerGroup group, auto& self) -> QGridLayout* {
        if (auto it = grids.find(group); it != grids.end()) {
            return it->second;
        }
        QWidget* container = nullptr;
        if (group == InstallerGroup::Setup) {
            container = tsZovar;
        } else {
            const InstallerContainer& c = ::containerOf(group);
            QGridLayout* parentGrid = self(c.parent, self);
            QWidget* parentWidget = parentGrid->parentWidget();
            if (c.caption.empty()) {
                container = new QWidget(parentWidget);
            } else {
                container = new QGroupBox(qtext(c.caption), parentWidget);
            }
            container->setObjectName(c.objectName);
            parentGrid->addWidget(container, rows[c.parent]++, 0, 1, kColumnCount);
        }
        auto* grid = new QGridLayout(container);
        // The columns right of the captions have fixed widths and the captions take the rest, so
        // with no margin on the right the columns line up through the nested containers.
        grid->setColumnStretch(kCaptionColumn, 1);
        if (group != InstallerGroup::Setup) {
            const QMargins m = grid->contentsMargins();
            const bool panel = ::containerOf(group).caption.empty();
            grid->setContentsMargins(panel ? 0 : m.left(), panel ? 0 : m.top(), 0,
                                     panel ? 0 : m.bottom());
        }
        grids[group] = grid;
        return grid;
    };

    std::vector<QWidget*> columns[kColumnCount];
    for (const InstallerControl& row : kInstallerControls) {
        QGridLayout* grid = gridOf(row.group, gridOf);
        QWidget* parent = grid->parentWidget();
        const int r = rows[row.group]++;

        auto* caption = new QLabel(qtext(row.caption), parent);
        if (row.captionLabel) {
            caption->setObjectName(row.captionLabel);
        }
        auto* actualCaption = new QLabel(kActualValueCaption, parent);
        if (row.actualCaptionLabel) {
            actualCaption->setObjectName(row.actualCaptionLabel);
        }
        auto* value = new QLabel("?", parent);
        value->setObjectName(row.actualValue);
        value->setProperty("tag", kInstallerReadoutTag);
        value->setAutoFillBackground(true);
        value->setBackgroundRole(QPalette::Button);
        value->installEventFilter(this);
        actualCaption->setBuddy(value);
        auto* newCaption = new QLabel(kNewValueCaption, parent);
        if (row.newCaptionLabel) {
            newCaption->setObjectName(row.newCaptionLabel);
        }

        QWidget* control = nullptr;
        switch (row.kind) {
            case ControlKind::Edit: {
                auto* e = new QLineEdit(qtext(row.startText), parent);
                if (row.maxLength > 0) {
                    e->setMaxLength(static_cast<int>(row.maxLength));
                }
                control = e;
                break;
            }
            case ControlKind::Combo: {
                auto* c = new QComboBox(parent);
                for (std::string_view item : row.items) {
                    c->addItem(qtext(item));
                }
                c->setCurrentIndex(row.startIndex);
                const QString name = row.control;
                connect(c, &QComboBox::activated, this, [this, name] { emit comboChosen(name); });
                control = c;
                break;
            }
            case ControlKind::DatePicker: {
                auto* d = new QDateEdit(QDate::currentDate(), parent);
                d->setCalendarPopup(true);
                d->setDisplayFormat(qtDateFormat(format.shortDateFormat));
                control = d;
                break;
            }
        }
        control->setObjectName(row.control);
        // Assistive technology names each entry by its row's caption (a combo box would
        // otherwise be announced by its current item alone).
        caption->setBuddy(control);
        control->setAccessibleName(caption->text());

        grid->addWidget(caption, r, kCaptionColumn);
        grid->addWidget(actualCaption, r, kActualCaptionColumn);
        grid->addWidget(value, r, kValueColumn);
        grid->addWidget(newCaption, r, kNewCaptionColumn);
        grid->addWidget(control, r, kControlColumn);
        // Every row has its range column, empty where it has no caption, so the columns line up.
        const std::string range = rangeCaptionText(row, format);
        auto* rangeLabel = new QLabel(QString::fromStdString(range), parent);
        if (row.rangeCaption) {
            rangeLabel->setObjectName(row.rangeCaption);
        }
        if (!range.empty()) {
            control->setAccessibleDescription(rangeLabel->text());
        }
        grid->addWidget(rangeLabel, r, kRangeColumn);
        QWidget* const cells[kColumnCount] = {caption,    actualCaption, value,
                                              newCaption, control,       rangeLabel};
        for (int column = 0; column < kColumnCount; ++column) {
            columns[column].push_back(cells[column]);
        }
    }
    // One width a column, the same in every container, so the values line up from top to
    // bottom; the captions have at least the widest caption's room.
    const int fixedWidths[kColumnCount] = {0, 0, kValueWidth, 0, kControlWidth, 0};
    for (int column = 0; column < kColumnCount; ++column) {
        int width = fixedWidths[column];
        for (QWidget* cell : columns[column]) {
            width = std::max(width, cell->sizeHint().width());
        }
        for (QWidget* cell : columns[column]) {
            if (column == kCaptionColumn) {
                cell->setMinimumWidth(width);
            } else {
                cell->setFixedWidth(width);
            }
        }
    }
    grids[InstallerGroup::Setup]->setRowStretch(rows[InstallerGroup::Setup], 1);

    // tsZovar is not in the window yet: its containers are found from it.
    pExtHeaterConfig = tsZovar->findChild<QWidget*>("pExtHeaterConfig");
    gbExtendedConfig = tsZovar->findChild<QGroupBox*>("gbExtendedConfig");
    pUreaTankTemperatureSettings = tsZovar->findChild<QWidget*>("pUreaTankTemperatureSettings");
    gbUreaTempLimits = tsZovar->findChild<QGroupBox*>("gbUreaTempLimits");
    gbMonitorExtHeaters = tsZovar->findChild<QGroupBox*>("gbMonitorExtHeaters");
}

QWidget* TfInstaller::widget(const char* objectName) const {
    return findChild<QWidget*>(objectName);
}

QLabel* TfInstaller::label(const char* objectName) const {
    return findChild<QLabel*>(objectName);
}

QLineEdit* TfInstaller::edit(const char* objectName) const {
    return findChild<QLineEdit*>(objectName);
}

QComboBox* TfInstaller::combo(const char* objectName) const {
    return findChild<QComboBox*>(objectName);
}

int TfInstaller::comboIndex(const char* objectName) const {
    const QComboBox* c = combo(objectName);
    return c ? c->currentIndex() : installer_index::kNone;
}

QString TfInstaller::labelText(const char* objectName) const {
    const QLabel* l = label(objectName);
    return l ? l->text() : QString();
}

void TfInstaller::mergeMenu(const QList<QAction*>& mainMenu) {
    menuBar->clear();
    menuBar->addActions(mainMenu);
}

void TfInstaller::setDownloadEnabled(bool enabled) {
    btZovar_DownloadConfiguration->setEnabled(enabled);
    btDownloadMIConfMasks->setEnabled(enabled);
}

void TfInstaller::clearReadouts() {
    for (QWidget* parent : {tsZovar, static_cast<QWidget*>(gbExtendedConfig)}) {
        for (auto* l : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (l->property("tag").toInt() == kInstallerReadoutTag) {
                l->setText("?");
            }
        }
    }
}

void TfInstaller::showVin(const QString& vin) {
    lVIN->setText(vin);
}

void TfInstaller::setExtendedVisible(bool visible) {
    gbExtendedConfig->setVisible(visible);
    setTabShown(tsMIconfig, visible);
    setTabShown(tsDM1config, visible);
}

void TfInstaller::setTabShown(QWidget* page, bool shown) {
    const int index = pcConfiguration->indexOf(page);
    if (index < 0) {
        return;
    }
    pcConfiguration->setTabVisible(index, shown);
    // Only the current page of the tab widget is drawn; a page shown by name would lie on top.
    for (int i = 0; i < pcConfiguration->count(); ++i) {
        pcConfiguration->widget(i)->setVisible(i == pcConfiguration->currentIndex());
    }
}

bool TfInstaller::tabShown(QWidget* page) const {
    const int index = pcConfiguration->indexOf(page);
    return index >= 0 && pcConfiguration->isTabVisible(index);
}

void TfInstaller::focusControl(const char* objectName) {
    QWidget* w = widget(objectName);
    if (!w) {
        return;
    }
    pcConfiguration->setCurrentWidget(sbZovar);
    sbZovar->ensureWidgetVisible(w);
    w->setFocus(Qt::OtherFocusReason);
}

std::optional<EnableChange> TfInstaller::ruleFor(const QString& comboName) const {
    namespace idx = installer_index;
    const std::string name = comboName.toStdString();
    const int selection = comboIndex(name.c_str());
    if (name == "cbConversionRatioSelection") {
        return conversionRatioRule(selection);
    }
    if (name == "cbMAFsignalSetup") {
        // A pump without a MAF source setting (no page 216 yet, or none at all) still has its
        // MAF factor: nothing chosen keeps it open.
        return mafSignalRule(selection == idx::kNone ? idx::kMafFromSensor : selection);
    }
    if (name == "cbUreaTankLevelSensorSetup") {
        return levelSensorRule(selection);
    }
    if (name == "cbTLoutputSetup") {
        return tlOutputRule(selection, comboIndex("cbEngineSpeedSetup"));
    }
    if (name == "cbExternalHeaterSelection") {
        return externalHeaterRule(selection, comboIndex("cbUreaTankTemperatureOBD"));
    }
    if (name == "cbUreaTankTemperatureOBD" || name == "cbMonitorTankHeater" ||
        name == "cbMonitorLineHeater") {
        return ureaTankTemperatureObdRule(comboIndex("cbUreaTankTemperatureOBD"));
    }
    return std::nullopt;
}

void TfInstaller::setContainerEnabled(const char* objectName, bool enabled) {
    QWidget* container = widget(objectName);
    if (!container) {
        return;
    }
    for (QWidget* w : container->findChildren<QWidget*>()) {
        w->setEnabled(enabled);
    }
}

void TfInstaller::applyEnableChange(const EnableChange& change, bool forcing) {
    for (const WidgetFlag& f : change.controls) {
        if (QWidget* w = widget(f.objectName)) {
            w->setEnabled(f.on);
        }
    }
    for (const WidgetFlag& f : change.containers) {
        setContainerEnabled(f.objectName, f.on);
    }
    if (change.heaterGroupNavy) {
        QPalette palette = gbMonitorExtHeaters->palette();
        // The system's grey text, from the application's palette (this one may hold navy).
        const QColor grey =
            QGuiApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
        palette.setColor(QPalette::WindowText, *change.heaterGroupNavy ? kNavy : grey);
        gbMonitorExtHeaters->setPalette(palette);
    }
    if (forcing && change.engineSpeedSelection) {
        combo("cbEngineSpeedSetup")->setCurrentIndex(*change.engineSpeedSelection);
    }
}

void TfInstaller::refreshEnableRules() {
    for (const char* name : kRuleCombos) {
        if (auto change = ruleFor(name)) {
            applyEnableChange(*change, false);
        }
    }
}

ConfigurationInput TfInstaller::configurationInput() const {
    ConfigurationInput in;
    in.vin = vinBytes(eVIN->text());
    const QDate date = dtpZovar_InstallDate->date();
    in.installDate = InstallDate{date.year(), date.month(), date.day()};
    for (const TextField& f : kEditFields) {
        in.*f.field = edit(f.control)->text().toStdString();
    }
    for (const TextField& f : kActualFields) {
        in.*f.field = labelText(f.control).toStdString();
    }
    for (const IndexField& f : kComboFields) {
        in.*f.field = comboIndex(f.control);
    }
    in.heaterLimitsEnabled = widget("eZovar_TankUpper")->isEnabled();
    in.mafFactorEnabled = widget("eZovar_MafFactor")->isEnabled();
    in.conversionRatioEnabled = widget("eZovar_ConversionRatioReduced")->isEnabled();
    in.levelLimitsEnabled = widget("eLevelSensor_LowLimit_NewValue")->isEnabled();
    in.extendedConfigVisible = !gbExtendedConfig->isHidden();
    // As the operator sees it on "Setup", whichever tab is in front.
    in.ureaTankPanelVisible = in.extendedConfigVisible && !pUreaTankTemperatureSettings->isHidden();
    return in;
}

void TfInstaller::showEvent(QShowEvent* event) {
    ToolWindow::showEvent(event);
    pcConfiguration->setCurrentWidget(sbZovar);
    if (!fitted_) {
        fitted_ = true;
        fitToContent();
    }
}

void TfInstaller::fitToContent() {
    // As tall as "Setup" wants, within the screen; the page scrolls beyond that.
    const QSize page = tsZovar->sizeHint();
    const int frameHeight = height() - sbZovar->viewport()->height();
    const int frameWidth = width() - sbZovar->viewport()->width();
    QSize wanted(page.width() + frameWidth + sbZovar->verticalScrollBar()->sizeHint().width(),
                 page.height() + frameHeight);
    if (const QScreen* s = screen()) {
        wanted = wanted.boundedTo(s->availableGeometry().size() - QSize(0, 30));
    }
    resize(wanted.expandedTo(minimumSizeHint()));
}

bool TfInstaller::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (auto* l = qobject_cast<QLabel*>(watched);
            l && l->property("tag").toInt() == kInstallerReadoutTag) {
            // A value label marks itself with the tooltip colour, and back.
            l->setBackgroundRole(l->backgroundRole() == QPalette::Button ? QPalette::ToolTipBase
                                                                         : QPalette::Button);
            return true;
        }
    }
    return ToolWindow::eventFilter(watched, event);
}
