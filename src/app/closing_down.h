#pragma once
// "Closing application": shown on top while the close-down sequence runs.

#include <QWidget>

class TfrmClosingApplication : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmClosingApplication(QWidget* parent = nullptr);
};
