#include "app/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace {
QMessageBox::Icon toQt(Dialogs::Icon icon) {
    switch (icon) {
        case Dialogs::Icon::Information:
            return QMessageBox::Information;
        case Dialogs::Icon::Warning:
            return QMessageBox::Warning;
        case Dialogs::Icon::Error:
            return QMessageBox::Critical;
        case Dialogs::Icon::Question:
            return QMessageBox::Question;
        case Dialogs::Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}
}  // namespace

void QtDialogs::message(const QString& text, const QString& caption, Icon icon) {
    QMessageBox box(toQt(icon), caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtDialogs::askYesNo(const QString& text, const QString& caption, Icon icon) {
    QMessageBox box(toQt(icon), caption, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::openFileName(const QString& caption, const QString& filter,
                                const QString& defaultName) {
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), caption, defaultName, filter);
}

QString QtDialogs::saveFileName(const QString& caption, const QString& filter,
                                const QString& defaultName) {
    // The file dialog asks before overwriting an existing file.
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, defaultName, filter);
}

int QtDialogs::execModal(QDialog& dialog) {
    return dialog.exec();
}
