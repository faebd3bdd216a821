// Console demo: streams from the simulated camera through StreamHub for a few
// seconds, then plays a recording through it, printing every frame set's id
// and timestamp.
//
//   kelvra-stream-demo [RECORDING] [SECONDS]   (an empty RECORDING: the sample)

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/common/FileNames.h"
#include "Kelvra/models/StreamHub.h"
#include "Tavik/Tavik.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#ifndef KELVRA_SAMPLE_RECORDING
#define KELVRA_SAMPLE_RECORDING ""
#endif

namespace {

constexpr int MAX_SECONDS = 3600;

const char* const USAGE = "usage: kelvra-stream-demo [RECORDING] [SECONDS]\n"
                          "  Streams from the first simulated camera that connects for SECONDS,\n"
                          "  then plays RECORDING, printing each frame set's id and timestamp.\n"
                          "  RECORDING  a recorded stream (.tvks); empty or left out: the sample\n"
                          "  SECONDS    of live capture, a whole number from 1 to 3600 (default 3)\n";

struct Arguments {
    QString recording = QStringLiteral(KELVRA_SAMPLE_RECORDING);
    int seconds = 3;
};

// A whole number from 1 to MAX_SECONDS, else 0.
int parseSeconds(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const long seconds = std::strtol(text.c_str(), nullptr, 10);
    return seconds <= MAX_SECONDS ? static_cast<int>(seconds) : 0;
}

// Nothing: run with `arguments`. Else the exit code, the usage printed (after
// what was wrong).
std::optional<int> parseArguments(int argc, char** argv, Arguments& arguments)
{
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "-h" || first == "--help") {
        std::fputs(USAGE, stdout);
        return 0;
    }
    std::string error;
    if (first.size() > 1 && first[0] == '-')
        error = "unknown option " + first;
    else if (argc > 3)
        error = std::string("one recording and one number of seconds at most, also given ") + argv[3];
    else if (argc > 2) {
        arguments.seconds = parseSeconds(argv[2]);
        if (arguments.seconds == 0)
            error = "SECONDS is a whole number from 1 to " + std::to_string(MAX_SECONDS) + ", not \"" + argv[2] + "\"";
    }
    if (!error.empty()) {
        std::fprintf(stderr, "kelvra-stream-demo: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    if (!first.empty())
        arguments.recording = Kelvra::decodeFileName(first.c_str());
    return std::nullopt;
}

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
    Arguments arguments;
    if (const std::optional<int> exitCode = parseArguments(argc, argv, arguments))
        return *exitCode;
    const QString& recording = arguments.recording;
    const int seconds = arguments.seconds;
    QCoreApplication app(argc, argv);

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
