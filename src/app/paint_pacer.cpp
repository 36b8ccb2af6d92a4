#include "app/paint_pacer.h"

#include <QCoreApplication>
#include <QEvent>

PaintPacer::PaintPacer(QWidget* window, int intervalMs, std::function<qint64()> nowMs)
    : QObject(window), window_(window), intervalMs_(intervalMs), nowMs_(std::move(nowMs)) {
    if (!nowMs_) {
        clock_.start();
        nowMs_ = [this] { return clock_.elapsed(); };
    }
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PaintPacer::deliverPending);
    window->installEventFilter(this);
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::UpdateRequest || delivering_) {
        return false;
    }
    const qint64 now = nowMs_();
    if (lastPaintMs_ >= 0 && now - lastPaintMs_ < intervalMs_) {
        // The dirty regions stay marked; the held request paints them all at once.
        if (!pending_) {
            pending_ = true;
            timer_.start(int(intervalMs_ - (now - lastPaintMs_)));
        }
        return true;
    }
    lastPaintMs_ = now;
    return false;
}

void PaintPacer::deliverPending() {
    timer_.stop();
    if (!pending_ || !window_) {
        return;
    }
    pending_ = false;
    lastPaintMs_ = nowMs_();
    delivering_ = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    delivering_ = false;
}
