// kelvra-viewer: the host application. Opens the camera system, connects the
// first camera that connects and streams from it, or plays the recording
// named on the command line.

#include "Kelvra/common/OutputRedirector.h"
#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/common/FileNames.h"
#include "Kelvra/docks/DataBlockView.h"
#include "Kelvra/docks/PipelineDiagramDock.h"
#include "host/engine/HostDataEngine.h"
#include "host/app/CommandLine.h"
#include "host/app/MainWindow.h"
#include "host/app/SettingsDock.h"
#include "Kelvra/views/ParameterViews.h"
#include "Kelvra/views/PlaneView.h"
#include "Kelvra/views/UnwrapParamControl.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Simulation.h"
#include "platform/base/DataViewContainer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QGraphicsView>
#include <QLabel>
#include <QSlider>
#include <QTabBar>
#include <QToolBox>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
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

// Each settings page's title button, whether its page is shown, the page's
// height and its item's; the range page's slider when shown.
void printSettingsLayout(const SettingsDock& settings)
{
    using Kelvra::diag::printTuple;
    if (!MainWindow::isDockShowing(&settings))
        return;
    const QToolBox* box = settings.toolBox();
    for (const QAbstractButton* button : box->findChildren<QAbstractButton*>())
        for (int i = 0; i < box->count(); ++i)
            if (button->isVisible() && button->text() == box->itemText(i)) {
                const QPoint at = button->mapToGlobal(button->rect().center());
                const QWidget* page = settings.pageAt(i);
                printTuple("page", box->itemText(i), at.x(), at.y(), box->currentIndex() == i, page->height(),
                           box->widget(i)->height());
            }
    const auto* range = settings.unambiguousRangePage();
    if (const auto* editor = qobject_cast<const Kelvra::RangeParameterDetailedView*>(range->paramWidget);
        editor && editor->slider->isVisible()) {
        const QPoint at = editor->slider->mapToGlobal(QPoint(0, 0));
        printTuple("slider", at.x(), at.y(), editor->slider->width(), editor->slider->height());
    }
}

// The amplitude view's read-out line, and whether all of it shows.
void printReadOut(const MainWindow& window)
{
    const auto* view = window.amplitudeContainer()->viewAs<Kelvra::PlaneView>();
    const QLabel* status = view ? view->getStatus() : nullptr;
    if (!status || status->text().isEmpty())
        return;
    const QRect room = status->contentsRect();
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    Kelvra::diag::printTuple("readout", status->text(),
                             room.contains(status->fontMetrics().boundingRect(room, flags, status->text())));
}

void printLayout(MainWindow& window)
{
    using Kelvra::diag::printTuple;
    printTuple("window", window.x(), window.y(), window.width(), window.height());
    printReadOut(window);
    // The source shown and its position; where the source chooser and Start are.
    const QComboBox* sources = window.sourceChooser();
    const QPoint chooser = sources->mapToGlobal(sources->rect().center());
    const QWidget* start = window.getTransportBar()->widgetForAction(window.startAction);
    const QPoint startAt = start ? start->mapToGlobal(start->rect().center()) : QPoint();
    printTuple("transport", sources->currentText(), window.positionText(), chooser.x(), chooser.y(), startAt.x(),
               startAt.y());
    for (QDockWidget* dock : window.getDocks()) {
        const QPoint at = dock->mapToGlobal(QPoint(0, 0));
        printTuple("dock", dock->objectName(), at.x(), at.y(), dock->width(), dock->height(),
                   MainWindow::isDockShowing(dock));
    }
    for (QTabBar* bar : window.findChildren<QTabBar*>())
        if (bar->isVisible())
            for (int i = 0; i < bar->count(); ++i) {
                const QPoint at = bar->mapToGlobal(bar->tabRect(i).center());
                printTuple("tab", bar->tabText(i), at.x(), at.y());
            }
    printSettingsLayout(*window.getSettingsDock());
    const Kelvra::PipelineDiagramDock* diagram = window.getDiagramDock();
    if (!MainWindow::isDockShowing(diagram))
        return;
    for (QGraphicsItem* item : diagram->getItemsView())
        if (auto* block = dynamic_cast<Kelvra::DataBlockView*>(item); block && block->isVisible()) {
            const QPoint inView = diagram->getView()->mapFromScene(block->sceneBoundingRect().center());
            const QPoint at = diagram->getView()->viewport()->mapToGlobal(inView);
            printTuple("block", block->getBlockName(), at.x(), at.y());
        }
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
    if (const int exitCode = answer(CommandLine::parse(arguments), program); exitCode >= 0)
        return exitCode;

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
        if (qEnvironmentVariableIsSet("KELVRA_DOCK_GEOMETRY")) {
            // Where each dock, tab and diagram block is, for scripts/screenshot:
            // once the layout has settled, then every second.
            auto* layoutTimer = new QTimer(&window);
            QObject::connect(layoutTimer, &QTimer::timeout, &window, [&window] { printLayout(window); });
            layoutTimer->start(1000);
            QTimer::singleShot(500, &window, [&window] { printLayout(window); });
        }
        if (!qEnvironmentVariableIsSet("KELVRA_NO_STREAM")) // set for the idle viewer of scripts/bench-viewer
            window.startWhenRunning(parsed.recording);
        bool counted = false;
        const int warmUp = qEnvironmentVariableIntValue("KELVRA_FRAME_STATS_AFTER", &counted);
        if (counted) // the frame figures of the steady state, for scripts/bench-viewer
            QTimer::singleShot(1000 * warmUp, &window, [&window] { window.getDataEngine()->restartFrameStats(); });
        if (camera && qEnvironmentVariableIsSet("KELVRA_UNPLUG_AFTER_MS"))
            // Pulls the simulated camera's cable, for scripts/screenshot.
            QTimer::singleShot(qEnvironmentVariableIntValue("KELVRA_UNPLUG_AFTER_MS"), &window,
                               [&cameraSystem, weak = std::weak_ptr<Tavik::DepthCamera>(camera)] {
                                   if (const auto unplugged = weak.lock())
                                       cameraSystem.simulation().unplug(unplugged);
                               });
        result = app.exec();
        window.shutdown();
        if (qEnvironmentVariableIsSet("KELVRA_FRAME_STATS")) {
            const auto stats = window.getDataEngine()->frameStats();
            Kelvra::diag::printTuple("frame sets shown", static_cast<long long>(stats.published), "dropped",
                                     static_cast<long long>(stats.dropped), "max lag",
                                     static_cast<long long>(stats.maxLag));
        }
    }
    return result;
}
