// Console demo: streams from the simulated camera through StreamHub for a few
// seconds, then plays a recording through it, printing every frame set's id
// and timestamp.
//
//   kelvra-stream-demo [recording] [seconds]   (an empty recording: the sample)

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/common/FileNames.h"
#include "Kelvra/models/StreamHub.h"
#include "Tavik/Tavik.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <string>

#ifndef KELVRA_SAMPLE_RECORDING
#define KELVRA_SAMPLE_RECORDING ""
#endif

namespace {

// Runs the event loop until the hub reports `stopped` or the time is up.
void runFor(Kelvra::StreamHub& hub, int milliseconds)
{
    QEventLoop loop;
    QObject::connect(&hub, &Kelvra::StreamHub::stopped, &loop, &QEventLoop::quit);
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString recording =
        argc > 1 && argv[1][0] ? Kelvra::decodeFileName(argv[1]) : QStringLiteral(KELVRA_SAMPLE_RECORDING);
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    Tavik::CameraSystem system;
    Tavik::DepthCameraPtr camera;
    for (const auto& device : system.scan()) {
        if ((camera = system.connect(device)) && camera->isConnected()) {
            Kelvra::diag::printLine("Camera: " + device->description() + " (" + device->id() + ")");
            break;
        }
        camera.reset();
    }

    Kelvra::StreamHub hub(&system, camera);
    std::atomic<int> sets{0};
    const char* label = "live";
    std::atomic<const char*> current{label};
    hub.registerCallback(Tavik::FRAME_RAW_FRAME_UNPROCESSED,
                         [&](const Tavik::DepthCameraPtr&, const Tavik::FramePtr& frame, Tavik::FrameType) {
                             ++sets;
                             Kelvra::diag::printLine(std::string(current.load()) + " frame id "
                                                     + std::to_string(frame->id) + "  timestamp "
                                                     + std::to_string(frame->timestamp) + " us");
                         });

    int status = 0;
    if (camera && hub.start()) {
        Kelvra::diag::printLine("Live capture for " + std::to_string(seconds) + " s");
        runFor(hub, seconds * 1000);
        hub.stop();
        Kelvra::diag::printLine("Live capture: " + std::to_string(sets.exchange(0)) + " frame sets");
    } else {
        Kelvra::diag::printLine("No camera could be started");
        status = 1;
    }

    current = "file";
    if (recording.isEmpty()) {
        Kelvra::diag::printLine("No recording given");
        return 1;
    }
    QString why;
    const int pos = hub.addFileStreamSource(recording, &why);
    hub.setCurrentSource(pos);
    if (!hub.getCurrentSource()->isInitialized()) {
        Kelvra::diag::printLine("Cannot play " + Kelvra::encodeFileName(recording).toStdString() + ": "
                                + why.toStdString());
        return 1;
    }
    Kelvra::diag::printLine("Playing " + Kelvra::encodeFileName(recording).toStdString() + " ("
                            + std::to_string(hub.getCurrentSource()->length()) + " frame sets)");
    const auto* file = qobject_cast<Kelvra::FileStreamSource*>(hub.getCurrentSource().get());
    if (file)
        for (const QString& note : file->damageNotes())
            Kelvra::diag::printLine("Recording damaged: " + note.toStdString());
    hub.start();
    runFor(hub, 60000);
    // A playback that ended early says why, naming the set it skipped.
    const QString reason = file && !hub.isRunning() ? file->stopReason() : QString();
    hub.stop();
    Kelvra::diag::printLine("Playback: " + std::to_string(sets.load()) + " frame sets");
    if (!reason.isEmpty()) {
        Kelvra::diag::printLine("Playback stopped: " + reason.toStdString());
        status = 1;
    }
    hub.disconnectDepthCamera();
    return status;
}
