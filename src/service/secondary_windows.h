#pragma once
// The user calibration and purge windows, both shown modally. Their state and sequences belong
// to the service module; the windows hold the controls and ask the module before they close.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>

// A modal window whose closing (close box, Escape, or the program) is asked for first.
class ModalToolWindow : public QDialog {
    Q_OBJECT
  public:
    ModalToolWindow(const QString& formName, const QString& caption, QWidget* parent = nullptr);

    // Asked before the window closes; false keeps it open.
    std::function<bool()> closeQuery;
    // The window has closed.
    std::function<void()> onClosed;

    // Closes the window without asking (the count-down ended).
    void closeWithResult(int result);

    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void finishClose(int result);
    bool closing_ = false;
};

class TfUserCalibration : public ModalToolWindow {
    Q_OBJECT
  public:
    explicit TfUserCalibration(QWidget* parent = nullptr);

    QPushButton* btStartPrime = nullptr;
    QPushButton* btPrimeOK = nullptr;
    QPushButton* btStartPump = nullptr;
    QPushButton* btVerify = nullptr;
    QPushButton* btStopPump = nullptr;
    QPushButton* btDlUserCalib = nullptr;
    QPushButton* btRestoreDefaultUserCalib = nullptr;
    QLabel* lTime = nullptr;
    QLineEdit* eVolume = nullptr;
    QLabel* lCatVolRange = nullptr;
    QLabel* lUserCalibration = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QTimer* Timer1 = nullptr;

    // Every button of the window.
    QList<QPushButton*> buttons() const;
};

class TfPurge : public ModalToolWindow {
    Q_OBJECT
  public:
    explicit TfPurge(QWidget* parent = nullptr);

    QLabel* lPurgeTime = nullptr;
    QTimer* Timer1 = nullptr;
    // A click on the time left.
    std::function<void()> onTimeClicked;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
