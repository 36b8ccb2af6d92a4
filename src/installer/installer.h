#pragma once
// The installer window ("Configure System"). It is built from the
// control table of the installer core (caption, object names, items, starting value, range
// caption), so every row reads as the table says. It holds no protocol: the installer module
// reads the controls, applies what the pump reports and decides what a click does.

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <vector>

#include "app/tool_window.h"
#include "pump/config_download.h"
#include "pump/installer_controls.h"
#include "pump/number_format.h"

class QAction;
class QMenuBar;
class QScrollArea;
class QTabWidget;

inline constexpr int kInstallerReadoutTag = 100;

class TfInstaller : public ToolWindow {
    Q_OBJECT
  public:
    // The range captions generated from the range table take the decimal separator of `format`.
    explicit TfInstaller(const DisplayFormat& format = DisplayFormat::system(),
                         QWidget* parent = nullptr);

    // --- Controls by object name (null for a name the window does not hold) ---
    QWidget* widget(const char* objectName) const;
    QLabel* label(const char* objectName) const;
    QLineEdit* edit(const char* objectName) const;
    QComboBox* combo(const char* objectName) const;
    int comboIndex(const char* objectName) const;
    QString labelText(const char* objectName) const;

    // The main menu, shown in this window's own menu bar too.
    void mergeMenu(const QList<QAction*>& mainMenu);
    // The download buttons follow the pump connection.
    void setDownloadEnabled(bool enabled);
    // Value labels placed directly on "Setup" and directly in gbExtendedConfig back to "?"; those
    // in the nested panels and groups keep their text.
    void clearReadouts();
    void showVin(const QString& vin);

    // gbExtendedConfig and the two mask tabs.
    void setExtendedVisible(bool visible);
    void setTabShown(QWidget* page, bool shown);
    bool tabShown(QWidget* page) const;
    // Makes a control seen: its tab current, scrolled into view, focused.
    void focusControl(const char* objectName);

    // --- Enable rules ---
    // The rule a combo box runs when it changes, from the selections as they stand; nothing for
    // a combo box without a rule.
    std::optional<EnableChange> ruleFor(const QString& comboName) const;
    // Applies a rule's enabled states; with `forcing` also its engine speed selection (an
    // operator's change), without it only the states (a preset by a page).
    void applyEnableChange(const EnableChange& change, bool forcing);
    // Every rule, silently, from the selections as they stand: after creation and after the
    // pages have preset combo boxes.
    void refreshEnableRules();

    // What the controls hold, for the download's checks and telegrams. The pump-side values
    // (software version, reported settings) are the module's to add.
    ConfigurationInput configurationInput() const;

    QMenuBar* menuBar = nullptr;
    QTabWidget* pcConfiguration = nullptr;
    QScrollArea* sbZovar = nullptr;  // the "Setup" tab: tsZovar scrolls inside it
    QWidget* tsZovar = nullptr;
    QGroupBox* gbExtendedConfig = nullptr;
    QWidget* pExtHeaterConfig = nullptr;
    QWidget* pUreaTankTemperatureSettings = nullptr;
    QGroupBox* gbUreaTempLimits = nullptr;
    QGroupBox* gbMonitorExtHeaters = nullptr;
    QWidget* tsMIconfig = nullptr;
    QWidget* tsDM1config = nullptr;
    QLabel* lVIN = nullptr;
    QLabel* lAlt2EngineSpeedSignalRatio = nullptr;
    QLineEdit* eVIN = nullptr;
    QDateEdit* dtpZovar_InstallDate = nullptr;
    QComboBox* cbExternalHeaterSelection = nullptr;
    QWidget* Panel1 = nullptr;
    // The footer's row of buttons: the download button, then the user calibration's.
    QHBoxLayout* footer = nullptr;
    QPushButton* btZovar_DownloadConfiguration = nullptr;
    QPushButton* btDownloadMIConfMasks = nullptr;
    // "Special user calibration...": the way to the user calibration.
    QPushButton* btShowCalibrate = nullptr;

  signals:
    // The operator chose an item of a combo box (never a preset).
    void comboChosen(const QString& comboName);

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildRows(const DisplayFormat& format);
    void fitToContent();
    void setContainerEnabled(const char* objectName, bool enabled);

    bool fitted_ = false;
};
