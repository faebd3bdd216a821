// kelvra-viewer: the host application. Opens the camera system, connects the
// first camera that connects and streams from it, or plays the recording
// named on the command line.

#include "Kelvra/common/OutputRedirector.h"
#include "Kelvra/common/FileNames.h"
#include "host/app/CommandLine.h"
#include "host/app/EnvironmentHooks.h"
#include "host/app/MainWindow.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <QApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

// SIGINT and SIGTERM quit the event loop, so that the orderly shutdown runs.
void quitOnTerminate(QApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char c;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &c, 1);
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// --help: the usage, 0. An error: it and the usage, 2. Otherwise -1: run.
int answer(const CommandLine::Parsed& parsed, const QString& program)
{
    if (parsed.action == CommandLine::Parsed::Action::Help) {
        std::fputs(CommandLine::usage(program).toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.action == CommandLine::Parsed::Action::Error) {
        std::fprintf(stderr, "%s: %s\n\n%s", program.toLocal8Bit().constData(), parsed.error.toLocal8Bit().constData(),
                     CommandLine::usage(program).toLocal8Bit().constData());
        return 2;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    const QString program = QString::fromLocal8Bit(argc > 0 ? argv[0] : "kelvra-viewer").section(QLatin1Char('/'), -1);
    // --help and a wrong option are answered before Qt starts, which needs a
    // display; the parse knows Qt's own options and leaves them to Qt.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << Kelvra::decodeFileName(argv[i]); // a recording's name keeps its bytes
    const CommandLine::Parsed given = CommandLine::parse(arguments);
    if (const int exitCode = answer(given, program); exitCode >= 0)
        return exitCode;
    QString warning;
    const std::optional<int> unplugAfter = CommandLine::unplugAfterMs(std::getenv("KELVRA_UNPLUG_AFTER_MS"), &warning);
    if (!warning.isEmpty())
        std::fprintf(stderr, "%s: %s\n", program.toLocal8Bit().constData(), warning.toLocal8Bit().constData());
    // Qt aborts without a display: say so, and what to do, first.
    if (!CommandLine::hasDisplay(given, CommandLine::DisplayEnvironment::current())) {
        std::fprintf(stderr, "%s\n", CommandLine::noDisplay(program).toLocal8Bit().constData());
        return 1;
    }

    // Qt takes its options from those before "--"; the recording comes from what it leaves.
    int end = std::min(argc, 1);
    while (end < argc && std::strcmp(argv[end], "--") != 0)
        ++end;
    std::vector<char*> qtArgv(argv, argv + end);
    qtArgv.push_back(nullptr);
    int qtArgc = end;
    QApplication app(qtArgc, qtArgv.data());
    QStringList left;
    for (int i = 1; i < qtArgc; ++i)
        left << Kelvra::decodeFileName(qtArgv[i]);
    for (int i = end; i < argc; ++i)
        left << Kelvra::decodeFileName(argv[i]);
    const CommandLine::Parsed parsed = CommandLine::parse(left);
    if (const int exitCode = answer(parsed, program); exitCode >= 0)
        return exitCode;

    // Before any other thread prints; the text still reaches the terminal.
    Kelvra::OutputRedirector redirector(nullptr, true);
    quitOnTerminate(app);

    Tavik::CameraSystem cameraSystem;
    Tavik::DepthCameraPtr camera;
    for (const auto& device : cameraSystem.scan()) {
        camera = cameraSystem.connect(device);
        if (camera && camera->isConnected())
            break;
        camera.reset();
    }

    int result = 0;
    {
        MainWindow window(&cameraSystem, camera);
        // Closing the window ends the program, whatever window is still up.
        QObject::connect(&window, &MainWindow::closed, &app, &QCoreApplication::quit);
        window.show();
        EnvironmentHooks::install(window, cameraSystem, camera, unplugAfter);
        if (EnvironmentHooks::streamsAtStart())
            window.getSession()->startWhenRunning(parsed.recording);
        result = app.exec();
        window.shutdown();
        EnvironmentHooks::printFrameStats(window);
    }
    return result;
}
