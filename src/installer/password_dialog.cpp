#include "installer/password_dialog.h"

#include <QHBoxLayout>
#include <QProxyStyle>
#include <QVBoxLayout>

#include "pump/installer_access.h"

namespace {

// The edit echoes '*' for every character, whatever the platform's style would draw.
class StarEchoStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return '*';
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

}  // namespace

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("PasswordDlg");
    setWindowTitle(text(access_text::kDialogCaption));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel(text(access_text::kPrompt), this);
    Label1->setObjectName("Label1");
    Password = new QLineEdit(this);
    Password->setObjectName("Password");
    Password->setEchoMode(QLineEdit::Password);
    Label1->setBuddy(Password);
    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    layout->addWidget(Label1);
    layout->addWidget(Password);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    // Created after the edit, so that it outlives it among the dialog's children.
    auto* style = new StarEchoStyle;
    style->setParent(this);
    Password->setStyle(style);
    connect(OKBtn, &QPushButton::clicked, this, &TPasswordDlg::okClicked);
    connect(CancelBtn, &QPushButton::clicked, this, &TPasswordDlg::reject);
}

void TPasswordDlg::prepare() {
    Password->clear();
    Password->setFocus();
}

void TPasswordDlg::forget() {
    Password->clear();
}

void TPasswordDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    prepare();
}

void TPasswordDlg::okClicked() {
    const PasswordDialogResult result = passwordResult(Password->text().toStdString());
    done(static_cast<int>(result));
}

void TPasswordDlg::reject() {
    done(static_cast<int>(PasswordDialogResult::Cancelled));
}
