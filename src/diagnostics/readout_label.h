#pragma once
// The value labels of the diagnostic windows: a read-out with its caption in a form row (so a
// screen reader says "NOx error: no error"), and the click that marks it, as on the main window:
// its background toggles between the button face and the tooltip colour.

#include <QColor>
#include <QFormLayout>
#include <QLabel>
#include <QObject>
#include <QString>

#include "pump/indicator_state.h"

// Toggles the highlight of every label it watches on a mouse click.
class ReadoutMarker : public QObject {
    Q_OBJECT
  public:
    explicit ReadoutMarker(QObject* parent) : QObject(parent) {}
    void watch(QLabel* label);
    // The click itself: button face <-> tooltip background.
    static void toggle(QLabel* label);
    static bool marked(const QLabel* label);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// A read-out named `objectName` with `text`, added to `form` under `caption` and marked by clicks
// through `marker` (none when null).
QLabel* addReadout(QFormLayout* form, const char* objectName, const QString& caption,
                   const QString& text, ReadoutMarker* marker);

// The colour an indicator state is painted in.
QColor indicatorColourOf(IndicatorState state);
