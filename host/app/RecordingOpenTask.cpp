#include "host/app/RecordingOpenTask.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/common/FileNames.h"

#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <exception>
#include <new>
#include <system_error>

namespace {

// Gives the open up when the window it watches closes.
class CloseWatch : public QObject {
public:
    CloseWatch(QWidget* window, RecordingOpenTask* task)
        : QObject(task)
        , task(task)
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            task->cancel();
        return false;
    }

private:
    RecordingOpenTask* const task;
};

} // namespace

bool RecordingOpenTask::Progress::tell(uint64_t doneBytes, uint64_t totalBytes)
{
    done = doneBytes;
    total = totalBytes;
    return !cancelled;
}

RecordingOpenTask::RecordingOpenTask(QWidget* window, const QString& path, Tavik::CameraSystem& system, QObject* parent)
    : QObject(parent)
    , path_(path)
    , window_(window)
{
    if (window)
        new CloseWatch(window, this);
    const std::string file = Kelvra::encodeFileName(path).toStdString();
    try {
        thread_ = std::thread([this, file, &system, progress = progress_] {
            Kelvra::diag::nameThisThread("kelvra-open");
            try {
                opened_ = std::make_shared<Tavik::FrameStreamReader>(
                    file, system, [progress](uint64_t done, uint64_t total) { return progress->tell(done, total); });
            } catch (const std::bad_alloc&) {
                threadFailure_ = QStringLiteral("not enough memory to open it");
            } catch (const std::exception& e) {
                threadFailure_ = QString::fromLocal8Bit(e.what());
            } catch (...) {
                threadFailure_ = QStringLiteral("it could not be opened");
            }
            QMetaObject::invokeMethod(this, &RecordingOpenTask::finish, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        threadFailure_ = QStringLiteral("no thread to open it on");
        QMetaObject::invokeMethod(this, &RecordingOpenTask::finish, Qt::QueuedConnection);
        return;
    }
    if (window)
        QTimer::singleShot(PROGRESS_AFTER_MS, this, &RecordingOpenTask::showProgress);
}

RecordingOpenTask::~RecordingOpenTask()
{
    progress_->cancelled = true;
    if (thread_.joinable())
        thread_.join();
    delete dialog_;
}

void RecordingOpenTask::cancel()
{
    progress_->cancelled = true;
}

void RecordingOpenTask::showProgress()
{
    if (done_ || !window_ || progress_->cancelled)
        return;
    dialog_ = new QProgressDialog(window_);
    dialog_->setWindowTitle(PROGRESS_TITLE);
    auto* label = new QLabel(dialog_);
    label->setTextFormat(Qt::PlainText); // a file name is shown as it is
    label->setText(QStringLiteral("Looking through %1 for its frame sets...").arg(QFileInfo(path_).fileName()));
    dialog_->setLabel(label);
    dialog_->setRange(0, 1000);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    connect(dialog_, &QProgressDialog::canceled, this, &RecordingOpenTask::cancel);
    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, [this] {
        const uint64_t total = progress_->total;
        if (total > 0 && dialog_) // the dialog goes with the window
            dialog_->setValue(static_cast<int>(std::min<uint64_t>(progress_->done * 1000 / total, 999)));
    });
    poll_->start(50);
    dialog_->setValue(0);
    dialog_->show();
}

void RecordingOpenTask::finish()
{
    if (done_)
        return;
    done_ = true;
    if (thread_.joinable())
        thread_.join(); // it has posted this call as its last act
    if (poll_)
        poll_->stop();
    if (dialog_) {
        dialog_->hide();
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
    givenUp_ = progress_->cancelled;
    failure_ = givenUp_ ? QString() : threadFailure_;
    if (!givenUp_)
        reader_ = std::move(opened_);
    opened_.reset();
    emit finished();
}
