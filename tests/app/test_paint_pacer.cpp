// The paint pacer holds back update requests that come sooner than its interval after the last
// paint and delivers them once, later.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include "app/paint_pacer.h"

namespace {

// Counts the update requests that reach the window.
class CountingWindow : public QWidget {
  public:
    int updateRequests = 0;

  protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::UpdateRequest) {
            ++updateRequests;
        }
        return QWidget::event(e);
    }
};

TEST(PaintPacer, HoldsRequestsInsideTheIntervalAndDeliversThemOnce) {
    CountingWindow window;
    qint64 now = 1000;
    PaintPacer pacer(&window, 40, [&now] { return now; });
    auto request = [&] {
        QEvent e(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(&window, &e);
    };

    request();  // first paint passes
    EXPECT_EQ(window.updateRequests, 1);
    now += 10;
    request();
    now += 10;
    request();
    EXPECT_EQ(window.updateRequests, 1) << "held inside the interval";
    EXPECT_TRUE(pacer.pending());

    now += 20;
    pacer.deliverPending();
    EXPECT_EQ(window.updateRequests, 2) << "both held requests paint once";
    EXPECT_FALSE(pacer.pending());
    pacer.deliverPending();
    EXPECT_EQ(window.updateRequests, 2) << "nothing left to deliver";

    now += 40;
    request();
    EXPECT_EQ(window.updateRequests, 3) << "a request after the interval passes at once";
}

TEST(PaintPacer, OtherEventsPassUntouched) {
    CountingWindow window;
    qint64 now = 0;
    PaintPacer pacer(&window, 40, [&now] { return now; });
    QEvent first(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&window, &first);
    QEvent other(QEvent::StyleChange);
    EXPECT_FALSE(pacer.eventFilter(&window, &other));
    EXPECT_FALSE(pacer.pending());
}

}  // namespace
