#include "app/about.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QString versionText() {
    return QString(kToolVersion) + kEditionSuffix;
}

TfrmAboutBox::TfrmAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("frmAboutBox");
    setWindowTitle("About");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto addPair = [&](const QString& caption, QWidget* value, const QString& name) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(value);
        value->setObjectName(name);
        form->addRow(label, value);
        // The four pairs start hidden; prepare() shows three of them.
        form->setRowVisible(value, false);
    };
    productName = new QLabel(this);
    version = new QLabel(this);
    copyright = new QLabel(this);
    comments = new QPlainTextEdit(this);
    comments->setReadOnly(true);
    addPair("Product Name", productName, "ProductName");
    addPair("Version", version, "Version");
    addPair("Copyright", copyright, "Copyright");
    addPair("Comments", comments, "Comments");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setObjectName("OKButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

void TfrmAboutBox::prepare(const QString& driverVersion) {
    auto* form = findChild<QFormLayout*>();
    productName->setText(kToolTitle);
    version->setText(versionText());
    comments->setPlainText(comments->toPlainText() + driverVersion + "\n");
    form->setRowVisible(productName, true);
    form->setRowVisible(version, true);
    form->setRowVisible(comments, true);
}
