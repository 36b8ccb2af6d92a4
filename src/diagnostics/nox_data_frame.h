#pragma once
// One sensor data frame of the NOx sensor window: what one gas message says, as raw values, status
// texts and FMI error texts. The window holds four: each sensor's own message and the message as
// the pump received it.

#include <QGroupBox>
#include <QLabel>
#include <QString>

#include "pump/nox_sensor.h"

class ReadoutMarker;

class TfNOxData : public QGroupBox {
    Q_OBJECT
  public:
    TfNOxData(const char* objectName, const QString& caption, ReadoutMarker* marker,
              QWidget* parent = nullptr);

    // Every read-out of the frame with the texts of one decoded message.
    void showTexts(const NoxFrameTexts& texts);
    // Every read-out with the same text ("?" when nothing is known).
    void setAllTexts(const QString& text);
    // A read-out by its object name (lNOxValue, lNOxError, ...), null for another name.
    QLabel* readout(const char* objectName) const;
};
