#pragma once
// Helpers shared by the tests.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <chrono>
#include <functional>
#include <ostream>

// Readable QString values (and lists of them) in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace KelvraTest {

// Waits until `condition` holds, processing Qt events meanwhile. The bound is
// generous on purpose: a slow machine must not fail a correct test.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

} // namespace KelvraTest
