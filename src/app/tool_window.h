#pragma once
// Base of the tool's secondary windows: a top-level window with a form name, created hidden, that
// tells its menu item when it closes by any means.

#include <QCloseEvent>
#include <QWidget>

class ToolWindow : public QWidget {
    Q_OBJECT
  public:
    ToolWindow(const QString& formName, const QString& caption, QWidget* parent = nullptr)
        : QWidget(parent, Qt::Window) {
        setObjectName(formName);
        setWindowTitle(caption);
    }

  signals:
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override {
        QWidget::closeEvent(event);
        if (event->isAccepted()) {
            emit closed();
        }
    }
};
