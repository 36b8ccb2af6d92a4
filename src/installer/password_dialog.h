#pragma once
// The password dialog of the "Configure" command. What is typed is echoed as '*', is compared
// whole by the installer core and is kept only until the command has its result: nothing here
// logs it, shows it or hands it on.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class TPasswordDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TPasswordDlg(QWidget* parent = nullptr);

    // Empties the edit and gives it the focus (on every show).
    void prepare();
    // Forgets what was typed.
    void forget();

    QLabel* Label1 = nullptr;
    QLineEdit* Password = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

  public slots:
    // "Cancel", Escape and closing the dialog.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void okClicked();
};
