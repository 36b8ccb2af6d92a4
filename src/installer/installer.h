#pragma once
// The installer window: the pump's installation configuration behind the password.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "app/tool_window.h"

class QTabWidget;

class TfInstaller : public ToolWindow {
    Q_OBJECT
  public:
    explicit TfInstaller(QWidget* parent = nullptr);

    // The two download buttons follow the pump connection.
    void setDownloadEnabled(bool enabled);
    // Read-outs placed directly on "Setup" and in the extended configuration group back to "?".
    void clearReadouts();
    void showVin(const QString& vin) { lVIN->setText(vin); }

    QTabWidget* pcInstaller = nullptr;
    QWidget* tsZovar = nullptr;
    QWidget* gbExtendedConfig = nullptr;
    QLabel* lVIN = nullptr;
    QLabel* lAlt2EngineSpeedSignalRatio = nullptr;
    QComboBox* cbExternalHeaterSelection = nullptr;
    QPushButton* btZovar_DownloadConfiguration = nullptr;
    QPushButton* btDownloadMIConfMasks = nullptr;
    // Footer: the way to the user calibration.
    QWidget* Panel1 = nullptr;
    QPushButton* btShowCalibrate = nullptr;
};

class TPasswordDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TPasswordDlg(QWidget* parent = nullptr);
};
