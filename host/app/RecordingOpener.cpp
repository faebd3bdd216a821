#include "host/app/RecordingOpener.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/common/FileNames.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <new>
#include <system_error>
#include <thread>

namespace {

// What the opening thread and the window share.
struct Opening {
    std::atomic<bool> cancel{false};
    std::atomic<uint64_t> done{0};
    std::atomic<uint64_t> total{0};
};

// Gives the open up when the window it watches closes.
class CloseWatch : public QObject {
public:
    CloseWatch(QWidget* window, Opening& opening, QEventLoop& loop)
        : opening(opening)
        , loop(loop)
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            opening.cancel = true;
            loop.quit();
        }
        return false;
    }

private:
    Opening& opening;
    QEventLoop& loop;
};

} // namespace

std::shared_ptr<Tavik::FrameStreamReader> RecordingOpener::open(QWidget* window, const QString& path,
                                                                Tavik::CameraSystem& system)
{
    const std::string file = Kelvra::encodeFileName(path).toStdString();
    auto opening = std::make_shared<Opening>();
    QEventLoop loop;
    std::promise<std::shared_ptr<Tavik::FrameStreamReader>> promise;
    auto reader = promise.get_future();
    std::thread opener;
    try {
        opener = std::thread([&, opening] {
            Kelvra::diag::nameThisThread("kelvra-open");
            const auto tell = [opening](uint64_t done, uint64_t total) {
                opening->done = done;
                opening->total = total;
                return !opening->cancel;
            };
            try {
                promise.set_value(std::make_shared<Tavik::FrameStreamReader>(file, system, tell));
            } catch (const std::bad_alloc&) {
                promise.set_value(nullptr); // tried again below
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        return std::make_shared<Tavik::FrameStreamReader>(file, system); // no thread to spare: here, then
    }
    if (reader.wait_for(std::chrono::milliseconds(WAIT_MS)) != std::future_status::ready) {
        QProgressDialog progress(window);
        progress.setWindowTitle(PROGRESS_TITLE);
        auto* label = new QLabel(&progress);
        label->setTextFormat(Qt::PlainText); // a file name is shown as it is
        label->setText(QStringLiteral("Looking through %1 for its frame sets...").arg(QFileInfo(path).fileName()));
        progress.setLabel(label);
        progress.setRange(0, 1000);
        progress.setMinimumDuration(PROGRESS_AFTER_MS - WAIT_MS);
        progress.setValue(0); // shown once the time is up
        const auto giveUp = [&] {
            opening->cancel = true;
            loop.quit();
        };
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, giveUp);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &progress, [&] {
            const uint64_t total = opening->total;
            if (progress.wasCanceled())
                giveUp();
            else if (total > 0)
                progress.setValue(static_cast<int>(std::min<uint64_t>(opening->done * 1000 / total, 999)));
        });
        poll.start(50);
        const CloseWatch watch(window, *opening, loop);
        loop.exec();
        // Left early (given up, or the application quits): the scan stops.
        if (reader.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            opening->cancel = true;
    }
    opener.join();
    if (opening->cancel)
        return nullptr;
    auto opened = reader.get();
    return opened ? opened : std::make_shared<Tavik::FrameStreamReader>(file, system);
}
