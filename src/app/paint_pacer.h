#pragma once
// Lets a window repaint at most once per interval. A busy bus changes read-outs hundreds of times
// a second; painting each change would keep the main thread painting instead of decoding. Update
// requests that come sooner than the interval after the last paint are held back and delivered
// together once it has passed, so the screen never lags by more than one interval.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

class PaintPacer : public QObject {
    Q_OBJECT
  public:
    static constexpr int kDefaultIntervalMs = 40;

    // `nowMs` is a monotonic clock in milliseconds (tests pass their own).
    explicit PaintPacer(QWidget* window, int intervalMs = kDefaultIntervalMs,
                        std::function<qint64()> nowMs = {});

    bool pending() const { return pending_; }
    // Delivers a held update request now (the pacer's timer calls it).
    void deliverPending();

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> window_;
    int intervalMs_;
    std::function<qint64()> nowMs_;
    QElapsedTimer clock_;
    QTimer timer_;
    qint64 lastPaintMs_ = -1;
    bool pending_ = false;
    bool delivering_ = false;
};
