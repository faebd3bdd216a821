#pragma once
// Opens the reader of a recording on a thread of its own while the window goes
// on: a file whose index is missing or unusable is scanned, which takes time
// with its size. Past PROGRESS_AFTER_MS a dialog over the window shows how far
// the scan has come; its Cancel, closing the window or cancel() gives the open
// up. The outcome comes back once, as finished(), on the task's thread.

#include "Tavik/CameraSystem.h"
#include "Tavik/FrameStream.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class QProgressDialog;
class QTimer;
class QWidget;

class RecordingOpenTask : public QObject {
    Q_OBJECT
public:
    static constexpr int PROGRESS_AFTER_MS = 500;
    static inline const QString PROGRESS_TITLE = QStringLiteral("Open Recording");

    // How far the scan has come, and whether it is to give up: the one object
    // the opening thread and the window share.
    struct Progress {
        std::atomic<uint64_t> done{0};
        std::atomic<uint64_t> total{0};
        std::atomic<bool> cancelled{false};
        // The reader's progress callback: records, and says whether to go on.
        bool tell(uint64_t doneBytes, uint64_t totalBytes);
    };

    // Starts at once. `window` may be null (no dialog then); the camera system
    // must outlive the task.
    RecordingOpenTask(QWidget* window, const QString& path, Tavik::CameraSystem& system, QObject* parent = nullptr);
    // Gives the open up and joins its thread.
    ~RecordingOpenTask() override;

    const QString& path() const { return path_; }
    // Gives the open up; finished() follows.
    void cancel();

    // Valid once finished() came. The reader opened, good or not; nothing when
    // the open was given up or failed.
    std::shared_ptr<Tavik::FrameStreamReader> reader() const { return reader_; }
    bool wasGivenUp() const { return givenUp_; }
    // Why the open could not run to its end (no thread, no memory); empty otherwise.
    const QString& failure() const { return failure_; }

signals:
    void finished();

private:
    void showProgress();
    void finish();

    const QString path_;
    std::shared_ptr<Progress> progress_ = std::make_shared<Progress>();
    std::thread thread_;
    std::shared_ptr<Tavik::FrameStreamReader> opened_; // written by the thread, read after its join
    QString threadFailure_; // likewise
    std::shared_ptr<Tavik::FrameStreamReader> reader_;
    QString failure_;
    bool givenUp_ = false;
    bool done_ = false;
    QPointer<QWidget> window_;
    QPointer<QProgressDialog> dialog_; // the window's child: it may go first
    QTimer* poll_ = nullptr;
};
