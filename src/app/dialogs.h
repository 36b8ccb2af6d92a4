#pragma once
// Every message box, question, file dialog and modal window of the tool goes through this one
// interface, so that tests can script the operator's answers and read the texts shown.

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

class Dialogs {
  public:
    enum class Icon { None, Information, Warning, Error, Question };

    virtual ~Dialogs() = default;
    virtual void message(const QString& text, const QString& caption, Icon icon) = 0;
    // Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& caption, Icon icon) = 0;
    // Empty result when the operator cancels.
    virtual QString openFileName(const QString& caption, const QString& filter,
                                 const QString& defaultName) = 0;
    virtual QString saveFileName(const QString& caption, const QString& filter,
                                 const QString& defaultName) = 0;
    // Shows a window modally; returns its result code.
    virtual int execModal(QDialog& dialog) = 0;
};

// The real dialogs, parented to the active window.
class QtDialogs : public Dialogs {
  public:
    void message(const QString& text, const QString& caption, Icon icon) override;
    bool askYesNo(const QString& text, const QString& caption, Icon icon) override;
    QString openFileName(const QString& caption, const QString& filter,
                         const QString& defaultName) override;
    QString saveFileName(const QString& caption, const QString& filter,
                         const QString& defaultName) override;
    int execModal(QDialog& dialog) override;
};
