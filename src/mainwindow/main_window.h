#pragma once
// The main window: status area, the "Basic" and "Extended data" groups of pump values, the menu
// that opens every other window, and the two timers that drive the tool.

#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QTimer>
#include <functional>

class QAction;
class QMenu;
class ToolCore;
class CloseDown;
class Dialogs;

inline constexpr int kValueTag = 100;
inline constexpr int kRxProgressMax = 100;

// One value label of a group: its object name and its caption.
struct ValueLabelRow {
    const char* objectName;
    const char* caption;
};

class TForm1 : public QMainWindow {
    Q_OBJECT
  public:
    TForm1(ToolCore& core, Dialogs& dialogs, QWidget* parent = nullptr);

    // The close-down sequence its timer drives once closing is confirmed.
    void setCloseDown(CloseDown* closeDown) { closeDown_ = closeDown; }
    // The closing window shown while the close-down runs.
    void setClosingWindow(QWidget* window) { closingWindow_ = window; }
    // What FormShow reaches beyond this window (the installer's access level).
    std::function<void()> onFormShow;

    void FormCreate();
    void FormShow();
    // True when the window may close now.
    bool FormCloseQuery();
    void FormClose();
    void tmrCloseDownTimer();

    // The main window's own read-outs back to "?".
    void clearPumpDisplay();
    void setPumpCommunication(bool found);
    // One step of the Rx or Tx activity bar a frame. The steps are counted at once and shown at
    // an indicator's pace (a bar repainted for every frame of a busy bus would keep the main
    // thread painting).
    void rxStep();
    void txStep();
    // The adapter refused a frame: the Tx bar shows it until the next frame goes out.
    void txFailed();
    // Shows the counted steps on the bars now (the pacing timer calls it).
    void showActivity();
    static constexpr int kActivityPaceMs = 100;
    void showVin(const QString& vin);
    // Toggles a value label's highlight between the button face and the tooltip colour.
    void valueLabelClicked(QLabel* label);
    void toggleExtendedData();

    QLabel* valueLabel(const char* objectName) const;

    QGroupBox* gbStatus = nullptr;
    QGroupBox* gbBasic = nullptr;
    QGroupBox* gbExtended = nullptr;
    QProgressBar* pbRx = nullptr;
    QProgressBar* pbTx = nullptr;
    QLabel* lStatus = nullptr;
    QLabel* shPumpCommunication = nullptr;
    QTimer* tmrTx = nullptr;
    QTimer* tmrCloseDown = nullptr;

    QAction* LoadConfiguration1 = nullptr;
    QAction* SaveConfiguration1 = nullptr;
    QAction* RecordBusTrace1 = nullptr;
    QAction* Close1 = nullptr;
    QAction* Extendeddata1 = nullptr;
    QAction* NOxSensors1 = nullptr;
    QAction* UdsErrorlog = nullptr;
    QAction* OBD1 = nullptr;
    QAction* TorqueLimiter = nullptr;
    QAction* Trends1 = nullptr;
    QAction* Service1 = nullptr;
    QAction* Installer1 = nullptr;
    QAction* About1 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildStatusGroup();
    QGroupBox* buildValueGroup(const char* objectName, const QString& title,
                               const ValueLabelRow* rows, std::size_t count);
    void buildMenu();
    // The height the window needs to show its groups without scrolling.
    int contentHeight() const;
    void fitHeight();

    ToolCore& core_;
    Dialogs& dialogs_;
    void scheduleActivity();

    CloseDown* closeDown_ = nullptr;
    QWidget* closingWindow_ = nullptr;
    bool shown_ = false;
    int rxPosition_ = 0;
    int txPosition_ = 0;
    bool txFailing_ = false;
    bool activityDue_ = false;
};
