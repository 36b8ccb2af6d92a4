#include "app/closing_down.h"

#include <QLabel>
#include <QVBoxLayout>

TfrmClosingApplication::TfrmClosingApplication(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint) {
    setObjectName("frmClosingApplication");
    setWindowTitle("Closing application");
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel("Please wait ..", this);
    text->setObjectName("lPleaseWait");
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    resize(260, 80);
}
