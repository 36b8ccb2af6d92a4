#pragma once
// The About box: product name, version text and the adapter driver's version text.

#include <QDialog>

class QLabel;
class QPlainTextEdit;

inline constexpr const char* kToolTitle = "Dosaris Service Tool (J1939)";
inline constexpr const char* kToolVersion = "0.14";
inline constexpr const char* kEditionSuffix = " (Full edition)";

class TfrmAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmAboutBox(QWidget* parent = nullptr);

    // Fills the visible label pairs; the driver text is appended to the memo on every showing.
    void prepare(const QString& driverVersion);

    QLabel* productName = nullptr;
    QLabel* version = nullptr;
    QLabel* copyright = nullptr;
    QPlainTextEdit* comments = nullptr;
};

QString versionText();
