// The log panel under a burst of 10 000 Logger::writeLog calls from a worker
// thread: the longest stall of the user-interface event loop (the longest gap
// between two turns) from the start of the burst until the last message is
// in the view and 300 ms after. The time reported is that stall. Baseline: a
// plain text view that appends message by message as the logger sends them.

#include "Kelvra/docks/MessageLogDock.h"
#include "platform/log/Logger.h"

#include "bench/QtBenchMain.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <functional>
#include <optional>
#include <thread>

namespace {

constexpr int BURST = 10000;

void burst()
{
    for (int i = 0; i < BURST; ++i)
        Logger::writeLog(i % 4 == 0 ? Tavik::LOG_WARNING : Tavik::LOG_INFO,
                         QStringLiteral("frame set %1 shown, camera SIM-14-0001").arg(i));
}

struct Stall {
    double longest; // the longest gap between two turns of the loop, seconds
    double arrival; // from the start of the burst until all was in, seconds
};

// Runs the burst and the event loop until `arrived` holds, and 300 ms more.
Stall longestStall(const std::function<bool()>& arrived)
{
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    std::optional<qint64> arrivedAt;
    QTimer beat;
    beat.setInterval(0);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
        if (!arrivedAt && arrived())
            arrivedAt = now;
        if (arrivedAt && now - *arrivedAt > 300'000'000)
            loop.quit();
    });
    beat.start();
    clock.start();
    std::thread writer(burst);
    loop.exec();
    writer.join();
    return {static_cast<double>(worst) * 1e-9, static_cast<double>(*arrivedAt) * 1e-9};
}

// The log dock as it comes.
struct DockView {
    Kelvra::MessageLogDock dock{nullptr};
    QWidget* widget() { return &dock; }
    QTextDocument* document() { return dock.logBox->document(); }
};

// Baseline: a plain text view with one insertion per message, as the messages come.
struct PlainView {
    Logger logger;
    QTextBrowser view;
    PlainView()
    {
        QObject::connect(&logger, &Logger::outputAvailable, &view, [this](Tavik::LogLevel, const QString& text) {
            view.moveCursor(QTextCursor::End);
            view.setTextColor(Qt::black);
            view.setTextBackgroundColor(Qt::white);
            view.insertPlainText(text);
        });
    }
    QWidget* widget() { return &view; }
    QTextDocument* document() { return view.document(); }
};

// One burst per iteration into a new, shown view.
template <class View> void BM_BurstStall(benchmark::State& state)
{
    double worst = 0.0;
    double arrival = 0.0;
    for (auto _ : state) {
        View view;
        view.widget()->resize(300, 600);
        view.widget()->show();
        const int blocks = view.document()->blockCount();
        const Stall stall = longestStall([&] { return view.document()->blockCount() >= blocks + BURST; });
        state.SetIterationTime(stall.longest);
        worst = std::max(worst, stall.longest);
        arrival = std::max(arrival, stall.arrival);
    }
    state.counters["worst_ms"] = worst * 1e3;
    state.counters["all_in_ms"] = arrival * 1e3;
}
BENCHMARK_TEMPLATE(BM_BurstStall, DockView)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_BurstStall, PlainView)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
