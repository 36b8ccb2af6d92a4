#include "installer/installer.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int kReadoutTag = 100;

// What the pump holds, shown beside the controls for the new value.
struct ReadoutRow {
    const char* objectName;
    const char* caption;
    bool extended;  // in gbExtendedConfig rather than directly on "Setup"
};
constexpr ReadoutRow kReadouts[] = {
    {"lMafFactor", "MAF factor", false},
    {"lCatalystVolume", "Catalyst volume [l]", false},
    {"lCatalystLength", "Catalyst length [mm]", false},
    {"lConversionGain", "Conversion gain", false},
    {"lInstallDate", "Installation date", false},
    {"lDashboard", "Dashboard odometer value", false},
    {"lTankLowerLimit", "Tank heater lower limit [C]", true},
    {"lTankUpperLimit", "Tank heater upper limit [C]", true},
    {"lExtHeater_DefreezeLimit_Value", "Tank heater defreeze limit [C]", true},
    {"lMAFatIdleSpeed", "Minimum MAF with engine running [kg/h]", true},
    {"lBlockedNozzleSetupRestart", "Blocked nozzle restart period", true},
    {"lECMcanAdrConfiguration", "ECM CAN address", true},
    {"lExternalHeaterSelection", "External heater configuration", true},
    {"lMonitorTankHeater", "Monitor tank heater", true},
    {"lMonitorLineHeater", "Monitor line heater", true},
    {"lUreaTankLevelSensorSetup", "Urea tank level sensor", true},
    {"lLevelSensor_LowLimit_Value", "Low level limit [Ohm]", true},
    {"lLevelSensor_EmptyLimit_Value", "Empty level limit [Ohm]", true},
    {"lTLoutputSetup", "Torque limiter output", true},
    {"lAlt2EngineSpeedSignalRatio", "Alternator to engine speed signal ratio", true},
};

struct ComboRow {
    const char* objectName;
    const char* caption;
    const char* items[4];
};
constexpr ComboRow kCombos[] = {
    {"cbExternalHeaterSelection", "New external heater configuration", {"Disabled", "Enabled"}},
    {"cbMonitorTankHeater", "New tank heater monitoring", {"NO", "YES"}},
    {"cbMonitorLineHeater", "New line heater monitoring", {"NO", "YES"}},
    {"cbUreaTankLevelSensorSetup",
     "New urea tank level sensor",
     {"Disabled", "Digital", "Analouge"}},
    {"cbTLoutputSetup", "New torque limiter output", {"Disabled", "Normal TL"}},
};

struct EditRow {
    const char* objectName;
    const char* caption;
};
constexpr EditRow kEdits[] = {
    {"eMAFatIdleSpeed", "New minimum MAF with engine running"},
    {"eECMcanAdrConfiguration", "New ECM CAN address"},
    {"eLevelSensor_LowLimit_NewValue", "New low level limit"},
    {"eLevelSensor_EmptyLimit_NewValue", "New empty level limit"},
};

}  // namespace

TfInstaller::TfInstaller(QWidget* parent) : ToolWindow("fInstaller", "Configure System", parent) {
    auto* layout = new QVBoxLayout(this);
    pcInstaller = new QTabWidget(this);
    pcInstaller->setObjectName("pcInstaller");
    tsZovar = new QWidget(pcInstaller);
    tsZovar->setObjectName("tsZovar");
    pcInstaller->addTab(tsZovar, "Setup");
    auto* form = new QFormLayout(tsZovar);
    lVIN = new QLabel("?", tsZovar);
    lVIN->setObjectName("lVIN");
    lVIN->setProperty("tag", kReadoutTag);
    form->addRow("Vehicle identification number (VIN)", lVIN);

    gbExtendedConfig = new QGroupBox(tsZovar);
    gbExtendedConfig->setObjectName("gbExtendedConfig");
    auto* extended = new QFormLayout(gbExtendedConfig);
    for (const ReadoutRow& row : kReadouts) {
        QWidget* parentWidget = row.extended ? gbExtendedConfig : tsZovar;
        auto* label = new QLabel("?", parentWidget);
        label->setObjectName(row.objectName);
        label->setProperty("tag", kReadoutTag);
        (row.extended ? extended : form)->addRow(row.caption, label);
    }
    lAlt2EngineSpeedSignalRatio =
        gbExtendedConfig->findChild<QLabel*>("lAlt2EngineSpeedSignalRatio");
    for (const ComboRow& row : kCombos) {
        auto* combo = new QComboBox(gbExtendedConfig);
        combo->setObjectName(row.objectName);
        for (const char* item : row.items) {
            if (item) {
                combo->addItem(item);
            }
        }
        extended->addRow(row.caption, combo);
    }
    for (const EditRow& row : kEdits) {
        auto* edit = new QLineEdit(gbExtendedConfig);
        edit->setObjectName(row.objectName);
        extended->addRow(row.caption, edit);
    }
    cbExternalHeaterSelection =
        gbExtendedConfig->findChild<QComboBox*>("cbExternalHeaterSelection");
    for (const char* name : {"gbMonitorExtHeaters", "pUreaTankTemperatureSettings"}) {
        auto* group = new QWidget(gbExtendedConfig);
        group->setObjectName(name);
        extended->addRow(group);
    }
    form->addRow(gbExtendedConfig);
    // Shown only at the extended access level.
    gbExtendedConfig->hide();
    for (const char* name : {"tsMIconfig", "tsDM1config"}) {
        auto* page = new QWidget(pcInstaller);
        page->setObjectName(name);
        page->hide();
    }

    btZovar_DownloadConfiguration = new QPushButton("&Download  new installation data", tsZovar);
    btZovar_DownloadConfiguration->setObjectName("btZovar_DownloadConfiguration");
    btDownloadMIConfMasks = new QPushButton("Download  &MI configuration", tsZovar);
    btDownloadMIConfMasks->setObjectName("btDownloadMIConfMasks");
    form->addRow(btZovar_DownloadConfiguration);
    form->addRow(btDownloadMIConfMasks);
    layout->addWidget(pcInstaller);

    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    auto* footer = new QHBoxLayout(Panel1);
    btShowCalibrate = new QPushButton("Special user calibration...", Panel1);
    btShowCalibrate->setObjectName("btShowCalibrate");
    btShowCalibrate->setAccessibleName("Special user calibration...");
    footer->addStretch(1);
    footer->addWidget(btShowCalibrate);
    layout->addWidget(Panel1);
}

void TfInstaller::setDownloadEnabled(bool enabled) {
    btZovar_DownloadConfiguration->setEnabled(enabled);
    btDownloadMIConfMasks->setEnabled(enabled);
}

void TfInstaller::clearReadouts() {
    for (QWidget* parent : {tsZovar, gbExtendedConfig}) {
        for (auto* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->property("tag").toInt() == kReadoutTag) {
                label->setText("?");
            }
        }
    }
}

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("PasswordDlg");
    setWindowTitle("Password Dialog");
}
