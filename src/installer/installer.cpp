#include "installer/installer.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QTabWidget>
#include <QVBoxLayout>

TfInstaller::TfInstaller(QWidget* parent) : ToolWindow("fInstaller", "Configure System", parent) {
    auto* layout = new QVBoxLayout(this);
    auto* pages = new QTabWidget(this);
    pages->setObjectName("pcInstaller");
    tsZovar = new QWidget(pages);
    tsZovar->setObjectName("tsZovar");
    pages->addTab(tsZovar, "Setup");
    auto* form = new QFormLayout(tsZovar);
    lVIN = new QLabel("?", tsZovar);
    lVIN->setObjectName("lVIN");
    lVIN->setProperty("tag", 100);
    form->addRow("Vehicle identification number (VIN)", lVIN);
    gbExtendedConfig = new QGroupBox(tsZovar);
    gbExtendedConfig->setObjectName("gbExtendedConfig");
    auto* extended = new QFormLayout(gbExtendedConfig);
    form->addRow(gbExtendedConfig);
    // The external heater setting: the pump's value is shown as the combo's item text.
    lExternalHeaterSelection = new QLabel("?", gbExtendedConfig);
    lExternalHeaterSelection->setObjectName("lExternalHeaterSelection");
    lExternalHeaterSelection->setProperty("tag", 100);
    cbExternalHeaterSelection = new QComboBox(gbExtendedConfig);
    cbExternalHeaterSelection->setObjectName("cbExternalHeaterSelection");
    cbExternalHeaterSelection->addItems({"Disabled", "Enabled"});
    cbExternalHeaterSelection->setCurrentIndex(0);
    extended->addRow("External heater configuration", lExternalHeaterSelection);
    extended->addRow("New external heater configuration", cbExternalHeaterSelection);
    btZovar_DownloadConfiguration = new QPushButton("&Download  new installation data", tsZovar);
    btZovar_DownloadConfiguration->setObjectName("btZovar_DownloadConfiguration");
    btDownloadMIConfMasks = new QPushButton("Download  &MI configuration", tsZovar);
    btDownloadMIConfMasks->setObjectName("btDownloadMIConfMasks");
    form->addRow(btZovar_DownloadConfiguration);
    form->addRow(btDownloadMIConfMasks);
    layout->addWidget(pages);
}

void TfInstaller::setDownloadEnabled(bool enabled) {
    btZovar_DownloadConfiguration->setEnabled(enabled);
    btDownloadMIConfMasks->setEnabled(enabled);
}

void TfInstaller::clearReadouts() {
    for (QWidget* parent : {tsZovar, gbExtendedConfig}) {
        for (auto* label : parent->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            if (label->property("tag").toInt() == 100) {
                label->setText("?");
            }
        }
    }
}

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("PasswordDlg");
    setWindowTitle("Password Dialog");
}
