#include "event_loop.h"

#include <QCoreApplication>
#include <QElapsedTimer>

bool processEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < 1000000 && clock.elapsed() < timeoutMs; ++round) {
        if (done()) {
            return true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}
