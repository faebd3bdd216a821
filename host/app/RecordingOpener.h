#pragma once
// Opens the reader of a recording without holding up the window: a file whose
// index is missing or unusable is scanned, which takes time with its size.

#include "Tavik/CameraSystem.h"
#include "Tavik/FrameStream.h"

#include <QString>

#include <memory>

class QWidget;

class RecordingOpener {
public:
    // How long an open may hold up the window before the event loop runs,
    // and after how long its progress shows.
    static constexpr int WAIT_MS = 100;
    static constexpr int PROGRESS_AFTER_MS = 500;
    static inline const QString PROGRESS_TITLE = QStringLiteral("Open Recording");

    // Opens `path` on a thread of its own. Past WAIT_MS the event loop runs
    // meanwhile, and past PROGRESS_AFTER_MS a dialog over `window` (title
    // PROGRESS_TITLE) shows how far the scan has come; its Cancel, closing
    // `window` or the application quitting gives the open up. The reader,
    // good or not; nothing when the open was given up.
    static std::shared_ptr<Tavik::FrameStreamReader> open(QWidget* window, const QString& path,
                                                          Tavik::CameraSystem& system);
};
