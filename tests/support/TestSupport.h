#pragma once
// Helpers shared by the tests.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// Readable QString values (and lists of them) in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace KelvraTest {

// How many times longer than on a quiet machine the tests wait for anything:
// KELVRA_TEST_TIME_FACTOR (scripts/sanitize sets it, since code under a
// sanitizer runs several times slower), else 1.
inline double timeFactor()
{
    static const double factor = [] {
        bool ok = false;
        const double f = qEnvironmentVariable("KELVRA_TEST_TIME_FACTOR").toDouble(&ok);
        return ok && f >= 1 && f <= 1000 ? f : 1.0;
    }();
    return factor;
}

// A bound on a wait, grown by timeFactor().
inline int budget(int ms)
{
    return static_cast<int>(ms * timeFactor());
}
template <class Rep, class Period> std::chrono::milliseconds budget(std::chrono::duration<Rep, Period> bound)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(bound * timeFactor());
}

// Waits until `condition` holds, processing Qt events meanwhile (or not, for
// a test that looks at what the event loop has not done yet). The bound
// (grown by timeFactor()) is generous on purpose: a slow machine must not
// fail a correct test.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000, bool processEvents = true)
{
    const int bound = budget(timeoutMs);
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > bound)
            return condition();
        if (processEvents)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

inline bool waitWithoutEvents(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    return waitFor(condition, timeoutMs, false);
}

// Handles the events already posted (the window system's too) and those they
// post in turn, until a pass finds none left: whatever was queued has run.
inline void drainEvents()
{
    for (int pass = 0; pass < 1000; ++pass) {
        QCoreApplication::sendPostedEvents();
        if (!QCoreApplication::eventDispatcher()->processEvents(QEventLoop::AllEvents))
            return;
    }
}

// Counts the queued calls (QEvent::MetaCall) an object receives, as they are
// handled: a worker's hand-over to the user-interface thread, say.
class QueuedCalls : public QObject {
public:
    explicit QueuedCalls(QObject* target) { target->installEventFilter(this); }
    int count() const { return calls; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        calls += event->type() == QEvent::MetaCall;
        return false;
    }

private:
    int calls = 0;
};

// Tells whether a thread has ended. watchThisThread() is called on it (in a
// callback it runs, say); its thread-local mark goes as the thread exits,
// before a join of it returns. The mark lingers a moment first, so that an
// owner that lets the thread go without joining it is seen to.
class ThreadEnd {
public:
    void watchThisThread()
    {
        struct Marks {
            std::vector<std::shared_ptr<std::atomic<bool>>> flags;
            ~Marks()
            {
                for (const auto& flag : flags) {
                    QThread::msleep(50);
                    *flag = true;
                }
            }
        };
        thread_local Marks marks;
        if (!watching.exchange(true))
            marks.flags.push_back(ended);
    }
    bool isWatching() const { return watching; }
    bool hasEnded() const { return *ended; }

private:
    std::atomic<bool> watching{false};
    std::shared_ptr<std::atomic<bool>> ended = std::make_shared<std::atomic<bool>>(false);
};

} // namespace KelvraTest
