// The viewer's main window, offscreen: its docks, wired and laid out; streams
// from the simulated camera to the views, plays the sample recording, drives
// the transport and shuts down cleanly.

#include "host/app/MainWindow.h"
#include "host/app/RecordingOpenTask.h"
#include "host/app/SettingsDock.h"
#include "platform/log/Logger.h"

#include "Kelvra/dialogs/CameraPickerDialog.h"
#include "Kelvra/dialogs/FilterSettingsDialog.h"
#include "Kelvra/docks/AmplitudeViewDock.h"
#include "Kelvra/docks/CloudViewDock.h"
#include "Kelvra/docks/ColorViewDock.h"
#include "Kelvra/docks/CombinedViewDock.h"
#include "Kelvra/docks/LineChartDock.h"
#include "Kelvra/docks/MessageLogDock.h"
#include "Kelvra/docks/PhaseViewDock.h"
#include "Kelvra/docks/PipelineDiagramDock.h"
#include "Kelvra/docks/TriggerPanelDock.h"
#include "Kelvra/views/ClipRangeView.h"
#include "Kelvra/views/EffectFilterPage.h"
#include "Kelvra/views/UnwrapParamControl.h"
#include "Kelvra/common/PassClock.h"
#include "Kelvra/models/FileStreamSource.h"
#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/PlaneView.h"
#include "platform/base/DataChannels.h"
#include "platform/base/DataFormat.h"
#include "platform/base/QxtSpanSlider.h"
#include "platform/plot/InfiniteLine.h"
#include "platform/plot/LabelItem.h"
#include "platform/plot/PlotCurve.h"
#include "platform/base/DataView.h"
#include "platform/base/DataViewContainer.h"
#include "host/engine/HostDataEngine.h"
#include "host/engine/PointCloudView.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/base/ViewCommunicator.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Simulation.h"
#include "Tavik/StreamGenerator.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QSet>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QScreen>
#include <QTabBar>
#include <QTextBrowser>
#include <QSignalSpy>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& device : cameraSystem.scan()) {
            camera = cameraSystem.connect(device);
            if (camera && camera->isConnected())
                break;
        }
        ASSERT_TRUE(camera);
        window = std::make_unique<MainWindow>(&cameraSystem, camera);
        window->show();
    }

    // The titles of the five view docks, in the order they were added.
    QStringList titles() const
    {
        QStringList t;
        for (QDockWidget* dock : window->getDocks().mid(0, 5))
            t << dock->windowTitle();
        return t;
    }

    // Every tab text shown in a tab bar of the window's dock areas.
    QStringList visibleTabs() const
    {
        QStringList tabs;
        for (QTabBar* bar : window->findChildren<QTabBar*>())
            if (bar->isVisible())
                for (int i = 0; i < bar->count(); ++i)
                    if (bar->rect().contains(bar->tabRect(i)))
                        tabs << bar->tabText(i);
        return tabs;
    }

    void TearDown() override { window.reset(); }

    // Opens a recording through the session and waits for its outcome:
    // whether it plays.
    bool open(const QString& path)
    {
        QSignalSpy done(window->getSession(), &ViewerSession::openFinished);
        window->getSession()->openRecording(path);
        if (!KelvraTest::waitFor([&] { return !done.isEmpty(); }, 60000))
            return false;
        return done.first().at(1).toBool();
    }

    // Whether the log dock shows `line` (it appends queued messages a few
    // event-loop turns later).
    bool logShows(const QString& line) const
    {
        return KelvraTest::waitFor([&] { return window->getLogDock()->logBox->toPlainText().contains(line); });
    }

    Kelvra::PlaneView* amplitudeView() const { return window->amplitudeContainer()->viewAs<Kelvra::PlaneView>(); }
    PointCloudView* cloudView() const { return window->cloudContainer()->viewAs<PointCloudView>(); }
    Kelvra::PlaneView* phaseView() const { return window->phaseContainer()->viewAs<Kelvra::PlaneView>(); }

    // Both views drew that many frames and show a picture (a view draws the
    // engine's empty set, after a switch of source, as no picture).
    bool bothViewsDrew(int64_t frames)
    {
        return KelvraTest::waitFor([&] {
            return amplitudeView()->getUpdateCount() >= frames && phaseView()->getUpdateCount() >= frames
                && amplitudeView()->getImageItem()->hasImage() && phaseView()->getImageItem()->hasImage();
        });
    }

    int64_t newestId() const
    {
        const auto set = window->getDataEngine()->newestFrameSet();
        return set ? set->id : -1;
    }

    // Plays a recording of `sets` frame sets of that size until the engine
    // has published one of them.
    bool playsFramesOf(int sets, int width, int height)
    {
        Tavik::StreamGenerator::Spec spec;
        spec.sets = sets;
        spec.width = width;
        spec.height = height;
        const QString path = recordings.filePath(QStringLiteral("%1x%2.tvks").arg(width).arg(height));
        return Tavik::StreamGenerator::write(path.toStdString(), spec) && open(path) && KelvraTest::waitFor([&] {
                   return window->getDataEngine()->frameSize() == DataEngine::FrameSize{{width, height}};
               });
    }

    // A recording of `sets` sets of 8 x 6, `intervalUs` apart, with ids from `firstId`.
    QString smallRecording(const QString& name, int sets, int64_t intervalUs, int64_t firstId = 1)
    {
        Tavik::StreamGenerator::Spec spec;
        spec.sets = sets;
        spec.width = 8;
        spec.height = 6;
        spec.intervalUs = intervalUs;
        for (int i = 0; i < sets; ++i)
            spec.ids.push_back(firstId + i);
        const QString path = recordings.filePath(name);
        EXPECT_TRUE(Tavik::StreamGenerator::write(path.toStdString(), spec));
        return path;
    }

    QTemporaryDir recordings;
    Tavik::CameraSystem cameraSystem;
    Tavik::DepthCameraPtr camera;
    std::unique_ptr<MainWindow> window;
};

} // namespace

namespace {

// Whether the point-cloud view's picture holds anything but black.
bool cloudPictureShowsPoints(const PointCloudView* view)
{
    const QImage image = view->picture().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) > 0)
                return true;
    return false;
}

// Delivers a camera's sets (in manual delivery) one at a time, each published
// before the next, until `drawn` holds; then nothing is under way.
bool showSetsUntil(Tavik::CameraSystem& system, const Tavik::DepthCameraPtr& camera, const HostDataEngine& engine,
                   const std::function<bool()>& drawn)
{
    auto newestId = [&] { return engine.newestFrameSet() ? engine.newestFrameSet()->id : -1; };
    for (int k = 0; k < 100 && !drawn(); ++k) {
        const int64_t shown = newestId();
        if (!system.simulation().deliverFrameSets(camera, 1)
            || !KelvraTest::waitFor([&] { return newestId() > shown; }))
            return false;
    }
    KelvraTest::drainEvents();
    return drawn();
}

} // namespace

TEST_F(MainWindowTest, DocksAreMadeWiredAndListedInTheViewMenu)
{
    const QList<QDockWidget*> docks = window->getDocks();
    ASSERT_EQ(docks.size(), 10);
    EXPECT_EQ(docks.mid(0, 5),
              (QList<QDockWidget*>{window->getAmplitudeDock(), window->getPhaseDock(), window->getCloudDock(),
                                   window->getCombinedDock(), window->getColorDock()}));
    EXPECT_EQ(docks.mid(5),
              (QList<QDockWidget*>{window->getSettingsDock(), window->getDiagramDock(), window->getChartDock(),
                                   window->getTriggerDock(), window->getLogDock()}));
    // Captions until the first camera news.
    EXPECT_EQ(titles(), QStringList({"Amplitude", "Phase", "Tavik", "All In One", "RGB"}));

    Kelvra::StreamHub* hub = window->getStreamHub();
    EXPECT_EQ(window->getChartDock()->getStreamHub(), hub);
    EXPECT_EQ(window->getTriggerDock()->getStreamHub(), hub);
    EXPECT_EQ(window->getDiagramDock()->getDepthCameraController(), hub);
    EXPECT_EQ(window->getAmplitudeDock()->streamHub, hub);
    EXPECT_EQ(window->getPhaseDock()->streamHub, hub);
    EXPECT_EQ(window->getCloudDock()->streamHub, hub);
    EXPECT_EQ(window->getCombinedDock()->streamHub, hub);
    EXPECT_EQ(window->getColorDock()->streamHub, hub);
    StatusMessageBar* bar = window->statusMessage();
    for (DataViewContainer* view : {window->amplitudeContainer(), window->phaseContainer(), window->cloudContainer(),
                                    window->getCombinedDock()->viewerPhase, window->getCombinedDock()->viewerAmplitude})
        EXPECT_EQ(view->view()->getStatusBar(), bar) << view->getFormatName().toStdString();
    QCoreApplication::processEvents(); // a floating log shows once the window has
    for (QDockWidget* dock : docks) {
        EXPECT_EQ(dock->parentWidget(), window.get());
        EXPECT_TRUE(window->getViewMenu()->actions().contains(window->viewAction(dock)));
        EXPECT_TRUE(window->viewAction(dock)->isChecked());
    }
    EXPECT_EQ(window->getViewMenu()->actions().first(), window->lensFocusingAction);

    // One call adds a dock to the layout and the View menu.
    auto* extra = new QDockWidget("Extra");
    window->addDock(extra, Qt::RightDockWidgetArea, window->getCloudDock());
    EXPECT_EQ(window->getDocks().last(), extra);
    EXPECT_EQ(window->getViewMenu()->actions().last(), window->viewAction(extra));
    EXPECT_EQ(window->dockWidgetArea(extra), Qt::RightDockWidgetArea);
    EXPECT_TRUE(window->tabifiedDockWidgets(window->getCloudDock()).contains(extra));
    QCoreApplication::processEvents();
    EXPECT_TRUE(MainWindow::isDockShowing(window->getCloudDock())); // stays in front
    EXPECT_FALSE(MainWindow::isDockShowing(extra));
}

TEST_F(MainWindowTest, TheViewMenuNamesEachDockByWhatItShowsAlsoWithoutACamera)
{
    const QStringList names({"Amplitude", "Phase", "Tavik", "All In One", "RGB", "Settings", "Data Flow Diagram",
                             "PolygonalChart", "ExtensionCommand", "Logs"});
    auto menuNames = [&] {
        QStringList texts;
        for (QDockWidget* dock : window->getDocks())
            texts << window->viewAction(dock)->text();
        return texts;
    };
    window->disconnectCamera();
    ASSERT_EQ(titles(), QStringList({"Disconnect", "Disconnect", "Disconnect", "Disconnect", "Disconnect"}));
    EXPECT_EQ(menuNames(), names);

    // Each entry still shows and hides its dock, and follows the dock closed elsewhere.
    QDockWidget* phase = window->getPhaseDock();
    QAction* action = window->viewAction(phase);
    action->trigger();
    EXPECT_FALSE(phase->isVisible());
    EXPECT_FALSE(action->isChecked());
    action->trigger();
    EXPECT_TRUE(phase->isVisible());
    phase->close();
    EXPECT_FALSE(action->isChecked());

    window->getStreamHub()->setDepthCamera(camera);
    EXPECT_EQ(menuNames(), names);
}

TEST_F(MainWindowTest, LayoutShowsAmplitudePhaseAndCloudAt1280x800)
{
    QCoreApplication::processEvents(); // the frame's one fit to the small offscreen screen
    window->layOutFor(QRect(0, 0, 1280, 800));
    QCoreApplication::processEvents();
    const QRect area = window->rect();
    QList<QRect> shown;
    for (QDockWidget* dock :
         {static_cast<QDockWidget*>(window->getAmplitudeDock()), static_cast<QDockWidget*>(window->getPhaseDock()),
          static_cast<QDockWidget*>(window->getCloudDock())}) {
        ASSERT_TRUE(MainWindow::isDockShowing(dock)) << dock->windowTitle().toStdString();
        const QRect r = dock->geometry();
        EXPECT_TRUE(area.contains(r)) << dock->windowTitle().toStdString();
        EXPECT_GE(r.width(), dock->minimumWidth());
        EXPECT_GE(r.height(), dock->minimumHeight());
        for (const QRect& other : shown)
            EXPECT_FALSE(r.intersects(other));
        shown << r;
    }
    // The amplitude over the phase, the cloud beside them.
    EXPECT_LT(window->getAmplitudeDock()->y(), window->getPhaseDock()->y());
    EXPECT_GT(window->getCloudDock()->x(), window->getAmplitudeDock()->x());
    // The other docks wait as tabs behind the cloud (the chart's 800×600
    // minimum included, the window within 1280×800); every dock's title can
    // be read, on its title bar or its tab. The log floats: no column of its
    // own fits beside them.
    EXPECT_LE(window->height(), 800);
    EXPECT_LE(window->width(), 1280);
    for (QDockWidget* dock : window->getDocks().mid(3, 6))
        EXPECT_FALSE(MainWindow::isDockShowing(dock)) << dock->windowTitle().toStdString();
    EXPECT_EQ(visibleTabs(),
              QStringList({"Tavik", "All In One", "RGB", "Settings", "Data Flow Diagram", "PolygonalChart",
                           "ExtensionCommand"}));
    EXPECT_TRUE(window->getLogDock()->isFloating());
    EXPECT_TRUE(MainWindow::isDockShowing(window->getLogDock()));
}

TEST_F(MainWindowTest, TheWholeFrameFitsTheAvailableArea)
{
    const QMargins title(1, 20, 1, 1);
    // Too small for the preferred size: the frame takes the whole area.
    EXPECT_EQ(MainWindow::fittedFrame(QRect(0, 0, 1280, 800), title), QRect(0, 0, 1280, 800));
    // Room enough: the preferred size with the frame around it, centred,
    // also on a screen that does not start at 0, 0 (a panel above it).
    EXPECT_EQ(MainWindow::fittedFrame(QRect(0, 30, 1920, 1050), title), QRect(159, 44, 1602, 1021));
    EXPECT_EQ(MainWindow::fittedFrame(QRect(1920, 0, 1920, 1080), QMargins()), QRect(2080, 40, 1600, 1000));
    // One dimension short.
    EXPECT_EQ(MainWindow::fittedFrame(QRect(0, 0, 1920, 1000), title), QRect(159, 0, 1602, 1000));

    // Laid out for 1280 × 800 the docks' minimum sizes, as arranged, leave
    // room for a title bar: tabbed docks take the place of the largest.
    QCoreApplication::processEvents(); // the frame's one fit to the small offscreen screen
    window->layOutFor(QRect(0, 0, 1280, 800));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1280, 800));
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    EXPECT_LE(least.width(), 1280);
    EXPECT_LE(least.height(), 800 - 40);
}

TEST_F(MainWindowTest, TheLogStandsInAColumnOfItsOwnOrFloats)
{
    // A wide screen: a column at the right edge, beside the tabbed docks.
    QCoreApplication::processEvents(); // the frame's one fit to the small offscreen screen
    window->layOutFor(QRect(0, 0, 1920, 1080));
    QCoreApplication::processEvents();
    QDockWidget* log = window->getLogDock();
    QDockWidget* cloud = window->getCloudDock();
    EXPECT_FALSE(log->isFloating());
    EXPECT_EQ(window->dockWidgetArea(log), Qt::RightDockWidgetArea);
    EXPECT_TRUE(window->tabifiedDockWidgets(log).isEmpty());
    ASSERT_TRUE(MainWindow::isDockShowing(log));
    EXPECT_GE(log->x(), cloud->x() + cloud->width());
    EXPECT_EQ(log->width(), log->maximumWidth());
    EXPECT_GE(log->x() + log->width(), window->width() - 10);
    // The views' column and the tabbed docks take the rest, each at least its minimum.
    for (QDockWidget* dock : window->getDocks())
        EXPECT_GE(dock->width(), dock->minimumWidth()) << dock->windowTitle().toStdString();
    EXPECT_TRUE(window->fitsLogColumn(1920));
    // Elsewhere (a tab, or beside another dock) its fixed width would leave an
    // empty band: a drag of its title never docks it (Qt drags no docked dock
    // that is not movable, and docks no such floating one), the float button
    // takes it out and back.
    EXPECT_FALSE(log->features() & QDockWidget::DockWidgetMovable);
    EXPECT_TRUE(log->features() & QDockWidget::DockWidgetFloatable);

    // A narrow one: no column fits beside the chart's minimum width; the log floats.
    EXPECT_FALSE(window->fitsLogColumn(1280));
    window->layOutFor(QRect(0, 0, 1280, 800));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log->isFloating());
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->width(), log->maximumWidth());
    EXPECT_TRUE(window->geometry().contains(log->geometry())) << "over the window";

    // No column to go back to: neither a float button nor a double click.
    EXPECT_FALSE(log->features() & (QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable));
    EXPECT_TRUE(log->features() & QDockWidget::DockWidgetClosable);
    // A smaller window keeps it over itself.
    window->resize(1100, 712);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->geometry().contains(log->geometry()));
    // In its column again, it floats by its button again.
    window->layOutFor(QRect(0, 0, 1920, 1080));
    EXPECT_FALSE(log->isFloating());
    EXPECT_TRUE(log->features() & QDockWidget::DockWidgetFloatable);
}

TEST_F(MainWindowTest, SizeStaysWithinTheScreen)
{
    MainWindow fresh(&cameraSystem, nullptr);
    const QSize available = fresh.screen()->availableGeometry().size();
    EXPECT_LE(fresh.width(), available.width());
    EXPECT_LE(fresh.height(), available.height());
    EXPECT_EQ(fresh.size(), MainWindow::PREFERRED_SIZE.boundedTo(available));
}

TEST_F(MainWindowTest, DocksOutOfSightDrawNothing)
{
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(5));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return cloudView()->renderCount() >= 5; }));
    // The combined dock is a tab behind the cloud: its three views are stopped.
    Kelvra::CombinedViewDock* combined = window->getCombinedDock();
    EXPECT_EQ(combined->viewerPhase->viewAs<Kelvra::PlaneView>()->getUpdateCount(), 0);
    EXPECT_EQ(combined->viewerAmplitude->viewAs<Kelvra::PlaneView>()->getUpdateCount(), 0);
    EXPECT_EQ(combined->viewerPointCloud->viewAs<PointCloudView>()->renderCount(), 0);
    EXPECT_FALSE(combined->viewerPointCloud->viewAs<PointCloudView>()->isShown());

    // Hidden through the View menu: the amplitude view stops, and starts again.
    QAction* toggle = window->getAmplitudeDock()->toggleViewAction();
    toggle->trigger();
    EXPECT_FALSE(window->getAmplitudeDock()->isVisible());
    const int64_t drawn = amplitudeView()->getUpdateCount();
    const auto published = window->getDataEngine()->frameStats().published;
    ASSERT_TRUE(KelvraTest::waitFor([&] { return window->getDataEngine()->frameStats().published >= published + 3; }));
    EXPECT_EQ(amplitudeView()->getUpdateCount(), drawn);
    toggle->trigger();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return amplitudeView()->getUpdateCount() >= 2; }));
}

TEST_F(MainWindowTest, ADockClosedBeforeTheWindowShowsDrawsNothing)
{
    // Qt sends such a dock no visibility news; the window stops its views.
    window.reset();
    window = std::make_unique<MainWindow>(&cameraSystem, camera);
    window->getPhaseDock()->close();
    window->show();
    window->startStream();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return amplitudeView()->getUpdateCount() >= 5; }));
    EXPECT_EQ(phaseView()->getUpdateCount(), 0);
}

TEST_F(MainWindowTest, StreamsFromTheCameraToBothViews)
{
    EXPECT_EQ(window->sourceChooser()->count(), 1);
    EXPECT_EQ(window->sourceChooser()->currentText(), "Live Capture");
    EXPECT_TRUE(window->startAction->isEnabled());
    EXPECT_FALSE(window->pauseAction->isEnabled());

    window->startStream();
    ASSERT_TRUE(bothViewsDrew(5));
    EXPECT_TRUE(amplitudeView()->getImageItem()->hasImage());
    EXPECT_EQ(amplitudeView()->getImageItem()->width(), 320);
    EXPECT_EQ(phaseView()->getImageItem()->height(), 240);
    EXPECT_TRUE(window->pauseAction->isEnabled());
    EXPECT_FALSE(window->seekSlider()->isEnabled()); // a live stream cannot seek
    // Both views are linked and read out depth.
    EXPECT_TRUE(amplitudeView()->isLinked());
    EXPECT_TRUE(phaseView()->isDisplayDepth());
    EXPECT_EQ(amplitudeView()->getStatusBar(), window->statusMessage());

    window->pauseStream();
    EXPECT_TRUE(window->resumeAction->isEnabled());
    window->resumeStream();
    EXPECT_TRUE(window->getStreamHub()->isRunning());
    EXPECT_FALSE(window->getStreamHub()->isPaused());
    window->stopStream();
    EXPECT_FALSE(window->getStreamHub()->isRunning());
    EXPECT_FALSE(window->stopAction->isEnabled());
}

TEST_F(MainWindowTest, TheViewersOwnLinesReachTheLogDock)
{
    EXPECT_TRUE(logShows(QStringLiteral("Camera connected: Quenta14Camera SIM-14-0001")));
    KelvraTest::onModal([](QWidget* box) { box->close(); });
    EXPECT_FALSE(open("/nonexistent/recording.tvks"));
    EXPECT_TRUE(logShows(QStringLiteral("Cannot play the recording /nonexistent/recording.tvks: ")));
    ASSERT_TRUE(open(KELVRA_SAMPLE_RECORDING));
    EXPECT_TRUE(logShows(QStringLiteral("Recording opened: ") + KELVRA_SAMPLE_RECORDING));
    // The stream controller's own lines reach it too.
    window->disconnectCamera();
    EXPECT_TRUE(logShows(QStringLiteral("succeed  to disconnect depth camera")));
}

TEST_F(MainWindowTest, ARecordingThatIsAPipeIsRefusedAtOnceForWhatItIs)
{
    const QString pipe = recordings.filePath(QStringLiteral("pipe.tvks"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // An open that waited for a writer would get one after a while, so that
    // the test ends either way.
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread writer([&] {
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(20), [&] { return done; }))
            ::close(::open(QFile::encodeName(pipe).constData(), O_WRONLY));
    });
    QString box;
    KelvraTest::onModal([&](QWidget* w) {
        box = w->windowTitle() + ": " + static_cast<QMessageBox*>(w)->text();
        w->close();
    });
    const bool opened = open(pipe);
    {
        std::lock_guard<std::mutex> lock(m);
        done = true;
    }
    cv.notify_one();
    writer.join();
    EXPECT_FALSE(opened);
    const QString line = QStringLiteral("Cannot play the recording %1: not a regular file").arg(pipe);
    EXPECT_EQ(box, "Open Recording Failed: " + line);
    EXPECT_TRUE(logShows(line));
}

namespace {

// A recording without an index over 64 GiB of holes: an open scans all of
// it, for far longer than any wait below.
QString holesRecording(const QTemporaryDir& dir)
{
    const QString holes = dir.filePath(QStringLiteral("holes.tvks"));
    {
        Tavik::FrameStreamWriter header(holes.toStdString(), Tavik::StreamHeader{});
    }
    QFile file(holes);
    EXPECT_TRUE(file.resize(file.size() - 16) && file.resize(qint64(64) << 30));
    return holes;
}

// The progress dialog shown over `window` once it has shown some progress.
QProgressDialog* shownProgress(QWidget* window)
{
    QProgressDialog* shown = nullptr;
    KelvraTest::waitFor([&] {
        for (QProgressDialog* progress : window->findChildren<QProgressDialog*>())
            if (progress->isVisible() && progress->value() > 0)
                shown = progress;
        return shown != nullptr;
    });
    return shown;
}

} // namespace

TEST(RecordingOpenTaskTest, CancelOrClosingTheWindowGivesTheScanUpAtOnce)
{
    QTemporaryDir dir;
    const QString holes = holesRecording(dir);
    Tavik::CameraSystem system;
    for (const bool byClosing : {false, true}) {
        SCOPED_TRACE(byClosing ? "closing the window" : "Cancel");
        QWidget window;
        window.show();
        RecordingOpenTask task(&window, holes, system);
        QSignalSpy finished(&task, &RecordingOpenTask::finished);
        QProgressDialog* progress = shownProgress(&window);
        ASSERT_TRUE(progress);
        EXPECT_EQ(progress->windowTitle(), "Open Recording");
        EXPECT_TRUE(finished.isEmpty());
        if (byClosing)
            window.close();
        else
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        EXPECT_TRUE(KelvraTest::waitFor([&] { return finished.count() == 1; }, 2000));
        EXPECT_TRUE(task.wasGivenUp());
        EXPECT_FALSE(task.reader());
        EXPECT_TRUE(window.findChildren<QProgressDialog*>().isEmpty() || !progress->isVisible());
    }
    // Without a window nothing is shown; the outcome of a good file is its reader.
    RecordingOpenTask task(nullptr, QStringLiteral(KELVRA_SAMPLE_RECORDING), system);
    QSignalSpy finished(&task, &RecordingOpenTask::finished);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return finished.count() == 1; }));
    ASSERT_TRUE(task.reader());
    EXPECT_TRUE(task.reader()->isStreamGood());
    EXPECT_FALSE(task.wasGivenUp());
}

TEST_F(MainWindowTest, ALongOpenShowsItsProgressAndCancelOrClosingTheWindowGivesItUp)
{
    const QString holes = holesRecording(recordings);
    const std::size_t sources = window->getStreamHub()->getSources().size();
    for (const bool byClosing : {false, true}) {
        SCOPED_TRACE(byClosing ? "closing the window" : "Cancel");
        QSignalSpy done(window->getSession(), &ViewerSession::openFinished);
        window->getSession()->openRecording(holes);
        QProgressDialog* progress = shownProgress(window.get());
        ASSERT_TRUE(progress);
        EXPECT_EQ(progress->windowTitle(), "Open Recording");
        if (byClosing)
            window->close();
        else
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        ASSERT_TRUE(KelvraTest::waitFor([&] { return done.count() == 1; }, 2000));
        EXPECT_EQ(done.first(), QVariantList({holes, false}));
        EXPECT_EQ(window->getStreamHub()->getSources().size(), sources);
        if (!byClosing) {
            EXPECT_TRUE(logShows(QStringLiteral("Opening the recording %1 given up").arg(holes)));
        }
    }
}

TEST_F(MainWindowTest, ASecondOpenWhileOneRunsWaitsItsTurn)
{
    const QString holes = holesRecording(recordings);
    ViewerSession* session = window->getSession();
    QSignalSpy done(session, &ViewerSession::openFinished);
    session->openRecording(holes);
    ASSERT_TRUE(session->isOpening());
    session->openRecording(KELVRA_SAMPLE_RECORDING);
    const QString waits =
        QStringLiteral("Recording %1 opens once %2 is open").arg(QStringLiteral(KELVRA_SAMPLE_RECORDING), holes);
    EXPECT_EQ(window->statusMessage()->currentMessage(), waits);
    EXPECT_TRUE(logShows(waits));
    QProgressDialog* progress = shownProgress(window.get());
    ASSERT_TRUE(progress);
    EXPECT_TRUE(done.isEmpty());
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return done.count() == 2; }));
    EXPECT_EQ(done.at(0), QVariantList({holes, false}));
    EXPECT_EQ(done.at(1), QVariantList({QStringLiteral(KELVRA_SAMPLE_RECORDING), true}));
    EXPECT_EQ(window->sourceChooser()->currentText(), QFileInfo(KELVRA_SAMPLE_RECORDING).fileName());
    EXPECT_TRUE(window->getStreamHub()->isRunning());
}

TEST_F(MainWindowTest, WhatTheNamesFileHadCutIsLogged)
{
    // One line of a megabyte in the folder the viewer starts in.
    QTemporaryDir folder;
    const QString oldFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    QFile names(QStringLiteral("FunctionName.txt"));
    ASSERT_TRUE(names.open(QIODevice::WriteOnly));
    names.write(QByteArray(1 << 20, 'x'));
    names.close();
    window.reset();
    window = std::make_unique<MainWindow>(&cameraSystem, camera);
    QDir::setCurrent(oldFolder);
    EXPECT_TRUE(logShows(QStringLiteral("FunctionName.txt: only its first 65536 bytes read")));
    EXPECT_TRUE(logShows(QStringLiteral("FunctionName.txt: line 1 cut to 64 characters")));
}

TEST_F(MainWindowTest, PlaysTheSampleRecording)
{
    QString box;
    KelvraTest::onModal([&](QWidget* w) {
        box = w->windowTitle();
        w->close();
    });
    EXPECT_FALSE(open("/nonexistent/recording.tvks"));
    EXPECT_EQ(box, "Open Recording Failed");
    EXPECT_EQ(window->sourceChooser()->count(), 1); // the unplayable file is not kept

    ASSERT_TRUE(open(KELVRA_SAMPLE_RECORDING));
    EXPECT_EQ(window->sourceChooser()->count(), 2);
    EXPECT_EQ(window->sourceChooser()->currentIndex(), 1);
    auto source = window->getStreamHub()->getCurrentSource();
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->isLiveStream());
    // A paused recording goes on through start() (paused at once: on a slow
    // machine the recording could end before the views have drawn).
    window->pauseStream();
    EXPECT_FALSE(source->isRunning());
    EXPECT_TRUE(window->resumeAction->isEnabled());
    window->resumeStream();
    EXPECT_TRUE(source->isRunning());

    ASSERT_TRUE(bothViewsDrew(3));
    EXPECT_TRUE(window->seekSlider()->isEnabled());
    EXPECT_EQ(window->seekSlider()->maximum(), source->length() - 1);

    // Stopped, a seek shows the set at the new position at once. (A slow
    // machine may have played the recording to its end, where a stop does
    // nothing: it plays again first.)
    if (!source->isRunning())
        window->startStream();
    ASSERT_TRUE(source->isRunning());
    window->stopStream();
    // The slider follows the rewind once the stop has been announced.
    ASSERT_TRUE(
        KelvraTest::waitFor([&] { return source->currentPosition() == 0 && window->seekSlider()->value() == 0; }));
    const int64_t idAtStart = [&] {
        KelvraTest::waitFor([&] { return newestId() >= 0; });
        return newestId();
    }();
    window->seekSlider()->setValue(10);
    EXPECT_EQ(source->currentPosition(), 10);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return newestId() != idAtStart; }));

    // Back to the camera through the source chooser.
    window->sourceChooser()->activated(0);
    EXPECT_EQ(window->getStreamHub()->getCurrentSourceIndex(), 0);
}

TEST_F(MainWindowTest, StatisticsFollowThePointUnderTheMouse)
{
    window->getDataEngine()->setSettlingTime(5);
    window->statusMessage()->enableStatistics->setChecked(true);
    EXPECT_TRUE(window->getDataEngine()->isStatisticsEnabled());
    window->statusMessage()->setPoint(QPointF(100.5, 80.5));
    window->startStream();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return window->statusMessage()->statisticsText().startsWith("Z mean:"); }));
    EXPECT_LE(window->getDataEngine()->historySnapshot().size(), 5u);

    window->statusMessage()->enableStatistics->setChecked(false);
    EXPECT_TRUE(window->statusMessage()->statisticsText().isEmpty());
    EXPECT_TRUE(window->getDataEngine()->historySnapshot().empty());
}

TEST_F(MainWindowTest, ReadOutAndStatisticsNameThePixelShownUnderTheFlippedPicture)
{
    HostDataEngine* engine = window->getDataEngine();
    StatusMessageBar* bar = window->statusMessage();
    engine->setSettlingTime(5);
    bar->enableStatistics->setChecked(true);
    // Set by set, so that the set on show when paused is whole.
    cameraSystem.simulation().setManualDelivery(camera, true);
    window->startStream();
    ASSERT_TRUE(showSetsUntil(cameraSystem, camera, *engine, [&] {
        return amplitudeView()->getUpdateCount() >= 4 && phaseView()->getUpdateCount() >= 4
            && engine->historySnapshot().size() >= 2;
    }));
    window->pauseStream();

    // Both flips, shown at once although no frame comes.
    Kelvra::PlaneView* view = amplitudeView();
    emit DataView::communicator()->hFlipChanged(true);
    emit DataView::communicator()->vFlipChanged(true);
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        cv::Mat flipped;
        cv::flip(engine->data()[DataChannels::AMPLITUDE], flipped, -1);
        return cv::countNonZero(view->getImageItem()->image() != flipped) == 0;
    }));

    // The picture's (300, 200) shows the frame's pixel (19, 39).
    view->getMousePosition(view->getImageItem()->mapToScene(QPointF(300.5, 200.5)));
    EXPECT_EQ(view->getPoint(), (Kelvra::PlaneView::Pixel{{19, 39}}));
    EXPECT_EQ(bar->pointText(), "x: 19.5  y: 39.5");
    ASSERT_TRUE(view->getText());
    const float depth = engine->data()[DataChannels::DEPTH].at<float>(19, 39);
    EXPECT_TRUE(view->getText()->endsWith(QString::asprintf("Z: %07.4fm", depth))) << view->getText()->toStdString();
    const QString first = bar->statisticsText();
    EXPECT_TRUE(first.startsWith("Z mean:"));
    EXPECT_EQ(first, engine->statisticsText(QPointF(19.5, 39.5)));

    // Paused, another pixel at another depth: the statistics follow the pointer.
    view->getMousePosition(view->getImageItem()->mapToScene(QPointF(160.5, 120.5)));
    EXPECT_EQ(view->getPoint(), (Kelvra::PlaneView::Pixel{{159, 119}}));
    EXPECT_EQ(bar->statisticsText(), engine->statisticsText(QPointF(159.5, 119.5)));
    EXPECT_NE(bar->statisticsText(), first);

    // Ticked afresh while paused, nothing is kept yet: said so.
    bar->enableStatistics->setChecked(false);
    bar->enableStatistics->setChecked(true);
    EXPECT_EQ(bar->statisticsText(), ViewerSession::NO_HISTORY_TEXT);

    emit DataView::communicator()->hFlipChanged(false);
    emit DataView::communicator()->vFlipChanged(false);
    QCoreApplication::processEvents();
}

TEST_F(MainWindowTest, AtTheEndOfARecordingAResizeKeepsThePictures)
{
    ASSERT_TRUE(playsFramesOf(4, 64, 48));
    const auto source = window->getStreamHub()->getCurrentSource();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !source->isRunning(); })); // the end
    HostDataEngine* engine = window->getDataEngine();
    const QString names[] = {DataChannels::AMPLITUDE, DataChannels::PHASE};
    Kelvra::PlaneView* views[] = {amplitudeView(), phaseView()};
    auto showsTheLastFrame = [&](int k) {
        const cv::Mat& shown = views[k]->getImageItem()->image();
        const cv::Mat frame = engine->data()[names[k]];
        return shown.size == frame.size && cv::countNonZero(shown != frame) == 0 && cv::countNonZero(frame) > 0;
    };
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(KelvraTest::waitFor([&] { return showsTheLastFrame(k); })) << k;
        views[k]->getViewBox()->setRange(QRectF(5, 5, 10, 10)); // zoomed in: a reset shows the whole frame
    }

    // Larger: the window may stand at its least size already.
    const QSize viewSize = views[0]->size();
    window->resize(window->width() + 200, window->height() + 120);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return views[0]->size() != viewSize; }));
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(KelvraTest::waitFor([&] { return views[k]->getViewBox()->viewRect().width() >= 63; })) << k;
        EXPECT_TRUE(showsTheLastFrame(k)) << k;
        // Levelled on the frame, not left at the format's whole range.
        const double upper = views[k]->getDataFormat()->levels[1];
        EXPECT_NE(views[k]->getLevels(), (Kelvra::PlaneView::Levels{{0.0, upper}})) << k;
    }
}

TEST_F(MainWindowTest, TheCloudsDrawOnlyPointsWithinTheDepthLimits)
{
    window->startStream();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return cloudView()->renderCount() > 0; }));
    window->pauseStream();
    PointCloudView* combinedCloud = window->getCombinedDock()->findChild<PointCloudView*>();
    ASSERT_TRUE(combinedCloud);
    // The unambiguous-range page's "depth" thresholds, in metres, bound nothing.
    emit DataView::communicator()->thresholdsChanged(QStringLiteral("depth"), 0, 3.9972);
    EXPECT_TRUE(std::isinf(cloudView()->renderer().farLimit()));

    // The depth limit page's handles, in millimetres; each move draws again at once.
    Kelvra::ClipRangeView* page = window->getSettingsDock()->depthLimitPage();
    const int64_t drawn = cloudView()->renderCount();
    page->spanSlider->setUpperPosition(25000);
    page->spanSlider->setLowerPosition(15000);
    for (PointCloudView* view : {cloudView(), combinedCloud}) {
        EXPECT_FLOAT_EQ(view->renderer().nearLimit(), 1.5f);
        EXPECT_FLOAT_EQ(view->renderer().farLimit(), 2.5f);
    }
    EXPECT_EQ(cloudView()->renderCount(), drawn + 2);
}

TEST_F(MainWindowTest, TheOpenRecordingDialogOffersRecordingsFirst)
{
    QStringList filters;
    KelvraTest::onModal([&](QWidget* modal) {
        if (auto* dialog = qobject_cast<QFileDialog*>(modal))
            filters = dialog->nameFilters();
        modal->close();
    });
    window->openAction->trigger();
    ASSERT_FALSE(filters.isEmpty());
    EXPECT_EQ(filters.front(), "Recordings (*.tvks)");
    EXPECT_TRUE(filters.contains("All Files (*)"));
}

TEST_F(MainWindowTest, MenusReachTheViewHubAndTheCamera)
{
    QSignalSpy lens(DataView::communicator(), &ViewCommunicator::lensFocusing);
    window->lensFocusingAction->trigger();
    ASSERT_EQ(lens.count(), 1);
    EXPECT_TRUE(lens.at(0).at(0).toBool());
    window->lensFocusingAction->trigger();
    EXPECT_FALSE(lens.at(1).at(0).toBool());

    QStringList menus;
    for (QAction* a : window->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, QStringList({"&File", "&Camera", "&View", "&Settings", "&Help"}));

    EXPECT_TRUE(window->disconnectAction->isEnabled());
    // The settings pages hold the camera (with its parameter handlers); they
    // let go of it before the camera system is asked to disconnect it.
    const long before = camera.use_count();
    long holders = 0;
    const auto watch = QObject::connect(
        LoggerCore::instance(), &LoggerCore::messageWritten, window.get(),
        [&](Tavik::LogLevel, const QString& text) {
            if (text.contains(QStringLiteral("disconnect depth camera")))
                holders = camera.use_count();
        },
        Qt::DirectConnection);
    window->disconnectCamera();
    QObject::disconnect(watch);
    EXPECT_GT(holders, 0);
    EXPECT_LT(holders, before);
    EXPECT_FALSE(window->getStreamHub()->getDepthCamera());
    // The settings pages let go of it first: only this test holds it now.
    EXPECT_EQ(camera.use_count(), 1);
    EXPECT_EQ(titles(), QStringList({"Disconnect", "Disconnect", "Disconnect", "Disconnect", "Disconnect"}));
    EXPECT_EQ(window->sourceChooser()->count(), 0);
    EXPECT_FALSE(window->disconnectAction->isEnabled());
    EXPECT_FALSE(window->startAction->isEnabled());
}

TEST_F(MainWindowTest, ShutdownStopsEverythingAndJoins)
{
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(2));
    window->shutdown();
    EXPECT_FALSE(window->getStreamHub()->isRunning());
    const auto published = window->getDataEngine()->frameStats().published;
    QCoreApplication::processEvents();
    EXPECT_EQ(window->getDataEngine()->frameStats().published, published);
    window->shutdown(); // idempotent
    window.reset(); // joins nothing twice, leaves no thread behind
    EXPECT_FALSE(camera->isRunning());
}

namespace {

// Picks the camera of the picker's row `row` (or cancels with -1) through Camera > Select camera.
void pickCamera(MainWindow& window, int row)
{
    KelvraTest::onModal([row](QWidget* w) {
        auto* dialog = qobject_cast<Kelvra::CameraPickerDialog*>(w);
        ASSERT_TRUE(dialog);
        if (row < 0) {
            QTest::keyClick(w, Qt::Key_Escape);
            return;
        }
        dialog->listview->setCurrentRow(row);
        QTest::mouseClick(dialog->okButton, Qt::LeftButton);
    });
    window.selectCameraAction->trigger();
}

} // namespace

TEST_F(MainWindowTest, SelectingAnotherCameraReplacesTheLiveOneAndBackShowsItsFilters)
{
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(1));
    const void* oldRangePage = window->getSettingsDock()->unambiguousRangePage();
    Kelvra::PointCloudEffectSettingView* page = window->getSettingsDock()->effectPage();
    page->modeList->setCurrentIndex(1); // a filter of the old camera, on the page and in the diagram
    ASSERT_EQ(window->getDiagramDock()->getItems().size(), 5u);
    const auto oldChain = camera->getFilterChain(1);
    ASSERT_EQ(oldChain.size(), 1u);
    // Row 1 is the second simulated device, another camera than the first.
    pickCamera(*window, 1);
    const auto chosen = window->getStreamHub()->getDepthCamera();
    ASSERT_TRUE(chosen);
    EXPECT_NE(chosen, camera);
    EXPECT_TRUE(camera->isConnected()); // left, not disconnected
    EXPECT_NE(static_cast<const void*>(window->getSettingsDock()->unambiguousRangePage()),
              oldRangePage); // built for the new one
    EXPECT_TRUE(logShows(QStringLiteral("Camera connected: QuentaDCamera SIM-D-0002")));
    EXPECT_EQ(window->sourceChooser()->count(), 1);
    EXPECT_EQ(titles(), QStringList({"Amplitude", "Phase", "Tavik", "ALL In One", "RGB"}));
    // Both chain editors show the new camera's filters: none. It streams.
    EXPECT_TRUE(page->rows().empty());
    EXPECT_EQ(window->getDiagramDock()->getItems().size(), 4u);
    EXPECT_TRUE(window->getStreamHub()->isRunning());
    EXPECT_TRUE(KelvraTest::waitFor([&] {
        const auto set = window->getDataEngine()->newestFrameSet();
        return set && set->id > 0 && chosen->isRunning();
    }));

    // Cancelling keeps the camera.
    pickCamera(*window, -1);
    EXPECT_EQ(window->getStreamHub()->getDepthCamera(), chosen);

    // Back to the first camera: its filter is there, in both editors.
    pickCamera(*window, 0);
    ASSERT_EQ(window->getStreamHub()->getDepthCamera(), camera);
    ASSERT_EQ(camera->getFilterChain(1).size(), 1u);
    EXPECT_EQ(camera->getFilterChain(1)[0].filter, oldChain[0].filter);
    ASSERT_EQ(page->rows().size(), 1u);
    EXPECT_EQ(page->rows()[0].second, oldChain[0].index);
    EXPECT_EQ(window->getDiagramDock()->getItems().size(), 5u);
    EXPECT_TRUE(window->getStreamHub()->isRunning());
}

TEST_F(MainWindowTest, ACameraPickedWhileARecordingPlaysStreamsAndIsShown)
{
    // A set a second: the recording shows a set of its own.
    ASSERT_TRUE(open(smallRecording("slow.tvks", 60, 1000000)));
    const auto showsTheRecording = [&] {
        return KelvraTest::waitFor([&] {
            return !window->positionText().startsWith("0 ") && window->positionText().endsWith(" / 60")
                && amplitudeView()->getImageItem()->hasImage();
        });
    };
    ASSERT_TRUE(showsTheRecording());
    for (const int row : {0, 1}) { // the camera held, then another
        SCOPED_TRACE(row);
        pickCamera(*window, row);
        Kelvra::StreamHub* hub = window->getStreamHub();
        const auto live = hub->getCurrentSource();
        ASSERT_TRUE(live && live->isLiveStream());
        EXPECT_TRUE(hub->isRunning());
        EXPECT_FALSE(window->startAction->isEnabled());
        EXPECT_EQ(window->positionText(), "live");
        EXPECT_EQ(window->sourceChooser()->count(), 2); // the recording stays listed
        // The camera's frames are shown, 320 x 240, not the recording's 8 x 6.
        EXPECT_TRUE(KelvraTest::waitFor([&] {
            const auto size = window->getDataEngine()->frameSize();
            return size == DataEngine::FrameSize{{320, 240}} && amplitudeView()->getImageItem()->hasImage();
        }));
        // Back to the recording for the next pick.
        window->sourceChooser()->activated(1);
        window->startStream();
        ASSERT_TRUE(showsTheRecording());
    }
}

TEST_F(MainWindowTest, ARecordingRefusedAtStartLeavesTheQuitToTheEventLoop)
{
    // SIGTERM and SIGINT quit the event loop; a box opened before the loop
    // ran would take that quit for itself and the viewer would run on.
    QStringList boxes;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    KelvraTest::onModal([&](QWidget* w) {
        boxes << w->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            text = box->text();
            format = box->textFormat();
        }
        QCoreApplication::quit(); // the box stays open
    });
    // A name that reads as markup is shown as it is.
    const QString path = QStringLiteral("/nonexistent/<b>x</b>.tvks");
    window->getSession()->startWhenRunning(path);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // nothing before the loop runs
    QObject guard;
    bool quitAgain = false;
    QTimer::singleShot(10000, &guard, [&] {
        quitAgain = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    EXPECT_EQ(boxes, QStringList({"Open Recording Failed"}));
    EXPECT_FALSE(quitAgain);
    EXPECT_EQ(format, Qt::PlainText);
    const QString said = "Cannot play the recording " + path + ": ";
    EXPECT_TRUE(text.startsWith(said)) << text.toStdString();
    EXPECT_TRUE(logShows(said));

    // Without a recording the camera streams, once the loop runs.
    window->getSession()->startWhenRunning(QString());
    EXPECT_FALSE(window->getStreamHub()->isRunning());
    EXPECT_TRUE(KelvraTest::waitFor([&] { return window->getStreamHub()->isRunning(); }));
}

TEST_F(MainWindowTest, DamageMetInPlaybackIsReportedWhenThePlaybackStops)
{
    Kelvra::StreamHub* hub = window->getStreamHub();
    QSignalSpy stops(hub, &Kelvra::StreamHub::stopped);
    ASSERT_TRUE(open(QStringLiteral(KELVRA_CRAFTED_STREAM_DIR "/corrupt-middle.tvks")));
    const auto source = hub->getCurrentSource();
    const int before = stops.count(); // the camera's, when the file was selected
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !source->isRunning() && stops.count() == before + 1; }));
    const QString line = QStringLiteral("Playback of corrupt-middle.tvks stopped: frame set 6 / 10 skipped: "
                                        "frame set checksum mismatch; Start goes on with frame set 7 / 10");
    EXPECT_EQ(window->statusMessage()->currentMessage(), line);
    EXPECT_TRUE(logShows(line));
    EXPECT_EQ(window->positionText(), "5 / 10"); // one count: set 5 on show, 6 skipped

    // Start goes on after the damaged set and takes the line away; the end
    // of the recording says nothing.
    window->startStream();
    EXPECT_TRUE(window->statusMessage()->currentMessage().isEmpty());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !source->isRunning() && stops.count() == before + 2; }));
    EXPECT_TRUE(window->statusMessage()->currentMessage().isEmpty());
    EXPECT_EQ(window->positionText(), "10 / 10");
}

TEST_F(MainWindowTest, ARecordingCutShortWhilePlayingShowsTheSetsLeftAndSaysSoOnce)
{
    Kelvra::StreamHub* hub = window->getStreamHub();
    const QString path = smallRecording(QStringLiteral("cut.tvks"), 40, 20000);
    ASSERT_TRUE(open(path));
    const auto source = hub->getCurrentSource();
    hub->stop(); // back at set 1: the cut comes before playback reaches it
    QFile(path).resize(QFile(path).size() / 2);
    // Waited for by what the window says: a stop of the playback before the
    // cut (a loaded machine may play all 40 sets first) may still be on its
    // way to the window.
    const auto status = [&] { return window->statusMessage()->currentMessage(); };
    window->startStream();
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        return !source->isRunning() && status().startsWith("Playback of cut.tvks stopped: recording cut short");
    })) << status().toStdString();
    const int left = source->length();
    ASSERT_GT(left, 0);
    ASSERT_LT(left, 40);
    EXPECT_TRUE(status().startsWith(
        QStringLiteral("Playback of cut.tvks stopped: recording cut short in frame set %1: ").arg(left + 1)))
        << status().toStdString();
    EXPECT_TRUE(KelvraTest::waitFor([&] { return window->positionText() == QStringLiteral("%1 / %1").arg(left); }))
        << window->positionText().toStdString();
    // Start plays the sets left, and their end says nothing.
    KelvraTest::drainEvents();
    QSignalSpy stops(hub, &Kelvra::StreamHub::stopped);
    window->startStream();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !source->isRunning() && stops.count() == 1; }));
    EXPECT_TRUE(status().isEmpty());
    EXPECT_EQ(window->positionText(), QStringLiteral("%1 / %1").arg(left));
}

TEST_F(MainWindowTest, WhatARecordingLosesIsSaidWhenItIsOpened)
{
    Kelvra::StreamHub* hub = window->getStreamHub();
    QSignalSpy stops(hub, &Kelvra::StreamHub::stopped);
    ASSERT_TRUE(open(QStringLiteral(KELVRA_CRAFTED_STREAM_DIR "/damaged-length.tvks")));
    const QString skipped =
        QStringLiteral("Recording damaged-length.tvks: frame set 2 / 20 skipped: frame set length mismatch");
    EXPECT_TRUE(logShows(skipped));
    // Playback meets that set at once and stops there, naming it as the open did.
    const auto source = hub->getCurrentSource();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !source->isRunning() && stops.count() >= 2; }));
    const QString stopped = QStringLiteral("Playback of damaged-length.tvks stopped: frame set 2 / 20 skipped: "
                                           "frame set length mismatch; Start goes on with frame set 3 / 20");
    EXPECT_EQ(window->statusMessage()->currentMessage(), stopped);
    EXPECT_TRUE(logShows(stopped));
    EXPECT_EQ(window->positionText(), "1 / 20");

    // A file cut short plays to its end, and the note stays in the status bar.
    const QString cutLine = QStringLiteral("Recording truncated.tvks: recording cut short in frame set 6: ");
    ASSERT_TRUE(open(QStringLiteral(KELVRA_CRAFTED_STREAM_DIR "/truncated.tvks")));
    EXPECT_TRUE(window->statusMessage()->currentMessage().startsWith(cutLine))
        << window->statusMessage()->currentMessage().toStdString();
    EXPECT_TRUE(logShows(cutLine));
    const auto cut = hub->getCurrentSource();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !cut->isRunning() && window->positionText() == "5 / 5"; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->statusMessage()->currentMessage().startsWith(cutLine));

    // More than one note: the first in the status bar, every one in the log.
    Tavik::StreamGenerator::Spec spec;
    spec.sets = 6;
    spec.width = 8;
    spec.height = 6;
    spec.damagedLengthSets = {3};
    spec.truncateLastSet = true;
    const QString both = recordings.filePath(QStringLiteral("both.tvks"));
    ASSERT_TRUE(Tavik::StreamGenerator::write(both.toStdString(), spec));
    ASSERT_TRUE(open(both));
    EXPECT_EQ(window->statusMessage()->currentMessage(),
              QStringLiteral("Recording both.tvks: frame set 4 / 5 skipped: frame set length mismatch "
                             "(and 1 more in the log)"));
    EXPECT_TRUE(logShows(QStringLiteral("Recording both.tvks: recording cut short in frame set 6: ")));

    // A sound recording says nothing.
    ASSERT_TRUE(open(QStringLiteral(KELVRA_SAMPLE_RECORDING)));
    EXPECT_TRUE(window->statusMessage()->currentMessage().isEmpty());
}

TEST_F(MainWindowTest, AnUnpluggedCameraIsLetGoOfAndSaidSo)
{
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(2));
    cameraSystem.simulation().unplug(camera);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !window->getStreamHub()->getDepthCamera(); }));
    const QString line = QStringLiteral("Camera lost: Quenta14Camera SIM-14-0001");
    EXPECT_EQ(window->statusMessage()->currentMessage(), line);
    EXPECT_TRUE(logShows(line));
    EXPECT_TRUE(logShows(QStringLiteral("succeed  to disconnect depth camera")));
    EXPECT_EQ(camera.use_count(), 1); // the settings pages let go of it too
    EXPECT_EQ(window->sourceChooser()->count(), 0);
    for (QAction* action :
         {window->startAction, window->pauseAction, window->resumeAction, window->stopAction, window->disconnectAction})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_EQ(titles(), QStringList({"Disconnect", "Disconnect", "Disconnect", "Disconnect", "Disconnect"}));
}

TEST_F(MainWindowTest, ACameraThatCannotBeConnectedIsSaidSoAndTheOldOneKept)
{
    window->startStream();
    QStringList boxes;
    KelvraTest::ModalWatch watch([&](QWidget* w) {
        if (auto* picker = qobject_cast<Kelvra::CameraPickerDialog*>(w)) {
            picker->listview->setCurrentRow(3); // "Quenta14Camera (busy)"
            QTest::mouseClick(picker->okButton, Qt::LeftButton);
        } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
            boxes << box->windowTitle() + " / " + box->text();
            box->reject();
        }
    });
    window->selectCameraAction->trigger();
    const QString line = QStringLiteral("Cannot connect the camera Quenta14Camera SIM-14-0004");
    EXPECT_EQ(boxes, QStringList({"Connect Camera Failed / " + line}));
    EXPECT_TRUE(logShows(line));
    EXPECT_EQ(window->getStreamHub()->getDepthCamera(), camera);
    EXPECT_TRUE(camera->isConnected());
    EXPECT_TRUE(window->getStreamHub()->isRunning());
    EXPECT_EQ(titles(), QStringList({"Amplitude", "Phase", "Tavik", "All In One", "RGB"}));
}

TEST_F(MainWindowTest, TheAmplitudeSliderCoversTheDataAndFollowsUpdateThresholds)
{
    Kelvra::PlaneView* view = amplitudeView();
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(5));
    // A set may come without its amplitude image when frames are dropped.
    double brightest = 0;
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        const cv::Mat amplitude = window->getDataEngine()->data().value("amplitude");
        if (amplitude.empty() || cv::countNonZero(view->getImageItem()->image()) == 0)
            return false;
        cv::minMaxLoc(amplitude, nullptr, &brightest);
        return true;
    }));
    EXPECT_GT(brightest, 1000.0); // the data reach beyond a range of 1000
    EXPECT_LE(brightest, view->getSpanSlider()->maximum());

    view->getMenu()->autoLevelsAction->trigger();
    const auto levels = view->getLevels();
    EXPECT_GT(levels[1], 1000.0);
    EXPECT_EQ(view->getSpanSlider()->lowerPosition(), static_cast<int>(std::lround(levels[0])));
    EXPECT_EQ(view->getSpanSlider()->upperPosition(), static_cast<int>(std::lround(levels[1])));
}

TEST_F(MainWindowTest, AReadOutNeverWidensTheWindowNorResetsTheZoom)
{
    window->resize(1100, 700);
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(4)); // past the view reset of frame 3
    Kelvra::PlaneView* view = amplitudeView();
    view->getViewBox()->setRange(QRectF(10, 10, 60, 45));
    QCoreApplication::processEvents();
    const int width = window->width();
    const int viewWidth = view->width();
    ASSERT_LE(width, 1100);

    view->getMousePosition(view->getImageItem()->mapToScene(QPointF(300.5, 200.5)));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !view->getStatus()->text().isEmpty(); }));
    const auto drawn = view->getUpdateCount();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view->getUpdateCount() >= drawn + 2; })); // laid out again
    EXPECT_EQ(window->width(), width);
    EXPECT_EQ(view->width(), viewWidth);
    // Still zoomed in: no resize reset it to the whole 320 × 240 image.
    EXPECT_LT(view->getViewBox()->viewRect().width(), 100);
}

TEST_F(MainWindowTest, TheReadOutCanBeReadInFullAtEveryWindowSize)
{
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(2));
    Kelvra::PlaneView* view = amplitudeView();
    QLabel* status = view->getStatus();
    view->getMousePosition(view->getImageItem()->mapToScene(QPointF(300.5, 200.5)));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !status->text().isEmpty(); }));
    for (const QRect& screen : {QRect(0, 0, 1280, 800), QRect(0, 0, 1100, 800), QRect(0, 0, 1920, 1080)}) {
        window->layOutFor(screen);
        QCoreApplication::processEvents();
        const QString text = status->text();
        const QRect room = status->contentsRect();
        const QRect needed = status->fontMetrics().boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, text);
        EXPECT_TRUE(room.contains(needed))
            << screen.width() << ": " << text.toStdString() << " needs " << needed.width() << "x" << needed.height()
            << ", has " << room.width() << "x" << room.height();
    }
}

TEST_F(MainWindowTest, ReadOutsAreClearedWhenFramesOfAnotherSizeCome)
{
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(2));
    Kelvra::PlaneView* view = amplitudeView();
    window->statusMessage()->enableStatistics->setChecked(true);
    // A pixel that the smaller frames below have too.
    view->getMousePosition(view->getImageItem()->mapToScene(QPointF(20.5, 10.5)));
    StatusMessageBar* bar = window->statusMessage();
    ASSERT_TRUE(KelvraTest::waitFor(
        [&] { return !view->getStatus()->text().isEmpty() && bar->statisticsText().startsWith("Z mean:"); }));
    EXPECT_FALSE(bar->pointText().isEmpty());

    ASSERT_TRUE(playsFramesOf(60, 40, 30));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view->getUpdateCount() >= 2; }));
    EXPECT_TRUE(view->getStatus()->text().isEmpty());
    EXPECT_FALSE(view->getPoint());
    EXPECT_TRUE(bar->pointText().isEmpty());
    EXPECT_TRUE(bar->statisticsText().isEmpty());
}

TEST_F(MainWindowTest, FramesOfNoPixelsShowNothing)
{
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(2));
    // Two sets: too few for the views' own reset on their third frame.
    ASSERT_TRUE(playsFramesOf(2, 0, 0));
    for (Kelvra::PlaneView* view : {amplitudeView(), phaseView()}) {
        const Plot::ImageItem* item = view->getImageItem();
        EXPECT_TRUE(!item->hasImage() || cv::countNonZero(item->image()) == 0)
            << view->getDataFormat()->name.toStdString();
    }
}

// Counts the layout requests a widget receives.
class LayoutRequests : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::LayoutRequest;
        return false;
    }
};

TEST_F(MainWindowTest, ThePositionFollowsPlaybackWithoutLayingTheToolBarOutAgain)
{
    ASSERT_TRUE(open(KELVRA_SAMPLE_RECORDING));
    const auto source = window->getStreamHub()->getCurrentSource();
    const int length = source->length();
    ASSERT_GE(length, 20);
    QWidget* toolBar = window->seekSlider()->parentWidget();
    QLabel* label = nullptr;
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        for (QLabel* l : toolBar->findChildren<QLabel*>())
            if (l->text().endsWith(QStringLiteral(" / %1").arg(length)))
                label = l;
        return label != nullptr;
    }));
    QCoreApplication::sendPostedEvents(); // what opening the recording asked for
    LayoutRequests requests;
    toolBar->installEventFilter(&requests);
    // A slow machine shows fewer of the sets before the end.
    QSet<QString> positions;
    bool fits = true;
    ASSERT_TRUE(KelvraTest::waitFor([&] {
        positions.insert(label->text());
        fits = fits && label->sizeHint().width() <= label->width();
        return positions.size() >= 12 || !source->isRunning();
    }));
    QCoreApplication::processEvents();
    positions.insert(label->text());
    EXPECT_GE(positions.size(), 3) << QStringList(positions.values()).join(',').toStdString();
    toolBar->removeEventFilter(&requests);
    EXPECT_EQ(requests.count, 0);
    EXPECT_TRUE(fits);
    // The widest text of this length fits too.
    label->setText(QStringLiteral("%1 / %1").arg(length));
    EXPECT_LE(label->sizeHint().width(), label->width());
}

TEST_F(MainWindowTest, AnEmptyRecordingShowsNoPosition)
{
    QSignalSpy stops(window->getStreamHub(), &Kelvra::StreamHub::stopped);
    ASSERT_TRUE(open(QStringLiteral(KELVRA_CRAFTED_STREAM_DIR "/empty.tvks")));
    EXPECT_EQ(window->positionText(), "0 / 0");
    // The camera's, when the file was selected, and the end.
    ASSERT_TRUE(KelvraTest::waitFor([&] { return stops.count() == 2; }));
    EXPECT_EQ(window->positionText(), "0 / 0");
}

TEST_F(MainWindowTest, DisconnectingLeavesNoPictureOfTheLastFrame)
{
    cameraSystem.simulation().setManualDelivery(camera, true);
    window->startStream();
    ASSERT_TRUE(showSetsUntil(cameraSystem, camera, *window->getDataEngine(), [&] {
        return amplitudeView()->getUpdateCount() >= 3 && phaseView()->getUpdateCount() >= 3
            && cloudView()->renderCount() >= 2 && cloudPictureShowsPoints(cloudView());
    }));
    amplitudeView()->getMousePosition(amplitudeView()->getImageItem()->mapToScene(QPointF(20.5, 10.5)));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !window->statusMessage()->pointText().isEmpty(); }));

    // A set on its way when the camera goes (converted, its hand-over not yet
    // handled) is not shown once it arrives.
    HostDataEngine* engine = window->getDataEngine();
    KelvraTest::QueuedCalls handOvers(engine);
    const uint64_t converted = engine->frameStats().converted;
    ASSERT_TRUE(cameraSystem.simulation().deliverFrameSets(camera, 1));
    ASSERT_TRUE(KelvraTest::waitWithoutEvents([&] { return engine->frameStats().converted > converted; }));
    window->disconnectAction->trigger();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return handOvers.count() >= 1; }));
    KelvraTest::drainEvents();
    for (Kelvra::PlaneView* view : {amplitudeView(), phaseView()}) {
        EXPECT_FALSE(view->getImageItem()->hasImage()) << view->getDataFormat()->name.toStdString();
        EXPECT_TRUE(view->getStatus()->text().isEmpty());
    }
    EXPECT_FALSE(cloudPictureShowsPoints(cloudView()));
    EXPECT_TRUE(window->statusMessage()->pointText().isEmpty());

    // Picking a camera again streams it, as at start-up.
    KelvraTest::onModal(
        [](QWidget* w) { QTest::mouseClick(qobject_cast<Kelvra::CameraPickerDialog*>(w)->okButton, Qt::LeftButton); });
    window->selectCameraAction->trigger();
    ASSERT_TRUE(window->getStreamHub()->getDepthCamera());
    EXPECT_TRUE(window->getStreamHub()->isRunning());
    EXPECT_TRUE(KelvraTest::waitFor([&] { return amplitudeView()->getImageItem()->hasImage(); }));
}

TEST_F(MainWindowTest, AfterADisconnectTheChartIsBlankAndADockShownAgainStaysBlank)
{
    window->startStream();
    Kelvra::LineChartDock* chart = window->getChartDock();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return chart->label->text().contains("mead="); }));
    ASSERT_FALSE(chart->curve->yData().empty());
    window->disconnectAction->trigger();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !amplitudeView()->getImageItem()->hasImage(); }));
    KelvraTest::drainEvents();
    EXPECT_TRUE(chart->label->text().isEmpty());
    EXPECT_TRUE(chart->curve->yData().empty());
    for (const Plot::InfiniteLine* line : {chart->hLine, chart->lowerLine, chart->upperLine})
        EXPECT_FALSE(line->isVisible());

    // Hidden and shown again, the docks still show nothing.
    for (QDockWidget* dock :
         {static_cast<QDockWidget*>(window->getPhaseDock()), static_cast<QDockWidget*>(window->getAmplitudeDock())}) {
        dock->hide();
        KelvraTest::drainEvents();
        dock->show();
        KelvraTest::drainEvents();
    }
    EXPECT_FALSE(phaseView()->getImageItem()->hasImage());
    EXPECT_FALSE(amplitudeView()->getImageItem()->hasImage());

    // The next camera's frames are charted again.
    pickCamera(*window, 0);
    EXPECT_TRUE(KelvraTest::waitFor([&] { return chart->label->text().contains("mead="); }));
    EXPECT_TRUE(chart->hLine->isVisible());
}

TEST_F(MainWindowTest, ARecordingOfOneSetIsFittedAndLevelled)
{
    Tavik::StreamGenerator::Spec spec;
    spec.sets = 1;
    spec.width = 320;
    spec.height = 240;
    const QString path = recordings.filePath(QStringLiteral("one.tvks"));
    ASSERT_TRUE(Tavik::StreamGenerator::write(path.toStdString(), spec));
    ASSERT_TRUE(open(path));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return window->positionText() == "1 / 1"; }));
    KelvraTest::drainEvents();
    for (Kelvra::PlaneView* view : {amplitudeView(), phaseView()}) {
        SCOPED_TRACE(view->getDataFormat()->name.toStdString());
        // A dock may be out of sight a moment while the new window settles:
        // shown again, its view shows the set, which no other follows.
        ASSERT_TRUE(KelvraTest::waitFor([&] { return view->getImageItem()->hasImage(); }));
        EXPECT_EQ(view->getImageItem()->image().rows, spec.width);
        // The whole picture in view, not its 80 x 60 corner.
        const QRectF seen = view->getViewBox()->viewRect();
        EXPECT_GE(seen.width(), spec.width - 1);
        EXPECT_GE(seen.height(), spec.height - 1);
        // Levels taken from the picture, not the format's.
        const auto levels = view->getLevels();
        const DataFormat* format = view->getDataFormat();
        EXPECT_FALSE(levels[0] == format->levels[0] && levels[1] == format->levels[1]);
        double lowest = 0, highest = 0;
        cv::minMaxLoc(view->getImageItem()->image(), &lowest, &highest);
        EXPECT_LE(levels[1], highest);
    }
}

TEST_F(MainWindowTest, ALostCameraLeavesNoPictureOfTheLastFrame)
{
    cameraSystem.simulation().setManualDelivery(camera, true);
    window->startStream();
    ASSERT_TRUE(showSetsUntil(cameraSystem, camera, *window->getDataEngine(), [&] {
        return amplitudeView()->getUpdateCount() >= 3 && phaseView()->getUpdateCount() >= 3
            && cloudPictureShowsPoints(cloudView());
    }));
    cameraSystem.simulation().unplug(camera);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !window->getStreamHub()->getDepthCamera(); }));
    KelvraTest::drainEvents();
    EXPECT_FALSE(amplitudeView()->getImageItem()->hasImage());
    EXPECT_FALSE(phaseView()->getImageItem()->hasImage());
    EXPECT_FALSE(cloudPictureShowsPoints(cloudView()));
}

TEST_F(MainWindowTest, DisconnectingWhileARecordingIsShownKeepsItsPicture)
{
    ASSERT_TRUE(open(KELVRA_SAMPLE_RECORDING));
    ASSERT_TRUE(bothViewsDrew(2));
    window->disconnectCamera();
    QCoreApplication::processEvents();
    EXPECT_TRUE(amplitudeView()->getImageItem()->hasImage());
}

TEST_F(MainWindowTest, ALostCameraLeavesARecordingPlayingWhereItWas)
{
    // A set a second: the camera goes while the recording plays.
    ASSERT_TRUE(open(smallRecording("slow.tvks", 20, 1000000)));
    const auto onShow = [&] { return window->positionText().section(QLatin1Char(' '), 0, 0).toInt(); };
    ASSERT_TRUE(KelvraTest::waitFor([&] { return onShow() >= 2; }));
    cameraSystem.simulation().unplug(camera);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !window->getStreamHub()->getDepthCamera(); }));
    const int shown = onShow();
    EXPECT_TRUE(window->getStreamHub()->isRunning());
    EXPECT_TRUE(amplitudeView()->getImageItem()->hasImage());
    EXPECT_EQ(titles(), QStringList({"Amplitude", "Phase", "Tavik", "ALL In One", "RGB"}));
    EXPECT_TRUE(KelvraTest::waitFor([&] { return onShow() > shown; })); // on, not rewound
}

TEST_F(MainWindowTest, AfterASwitchOfSourceTheViewsShowOnlyTheNewSourcesFrames)
{
    Kelvra::StreamHub* hub = window->getStreamHub();
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(2));
    window->sourceChooser()->activated(0); // the current source again: nothing changes
    EXPECT_TRUE(hub->isRunning());

    // The sets published after a switch: (id, width).
    QList<QPair<int64_t, int>> shown;
    QObject::connect(window->getDataEngine(), &DataEngine::frameUpdated, window.get(), [&] {
        const auto set = window->getDataEngine()->newestFrameSet();
        shown << qMakePair(set->id, set->width);
    });
    const int index = hub->addFileStreamSource(smallRecording("ids.tvks", 5, 33333, 1001));
    ASSERT_TRUE(hub->getSources()[index]->seek(4)); // not current: shown to nobody
    window->sourceChooser()->activated(index);
    EXPECT_TRUE(KelvraTest::waitFor([&] { return !amplitudeView()->getImageItem()->hasImage(); }));
    EXPECT_EQ(window->positionText(), "0 / 5");
    EXPECT_EQ(window->seekSlider()->value(), 0); // where Start goes on: at the last set it rewinds
    window->seekSlider()->setValue(3);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return newestId() == 1004; }));
    EXPECT_EQ(window->positionText(), "4 / 5");
    for (const auto& set : shown)
        EXPECT_TRUE(set.first == -1 || set == qMakePair(int64_t(1004), 8)) << set.first << " " << set.second;

    // Back to the camera: it streams, never current and idle; blank until it delivers.
    shown.clear();
    window->sourceChooser()->activated(0);
    EXPECT_EQ(window->positionText(), "live");
    EXPECT_TRUE(hub->isRunning());
    EXPECT_FALSE(window->startAction->isEnabled());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !shown.isEmpty() && shown.last().second == 320; }));
    EXPECT_EQ(shown.first().first, -1);
    for (const auto& set : shown)
        EXPECT_TRUE(set.first == -1 || set.second == 320) << set.first << " " << set.second;
}

TEST_F(MainWindowTest, ThePositionNamesTheSetOnShow)
{
    Kelvra::StreamHub* hub = window->getStreamHub();
    const int index = hub->addFileStreamSource(smallRecording("steps.tvks", 5, 33333, 1001));
    auto* file = qobject_cast<Kelvra::FileStreamSource*>(hub->getSources()[index].get());
    ASSERT_TRUE(file);
    // Playback waits after each set from the second on until the test lets it go on.
    std::atomic<int> steps{0};
    Kelvra::PassClock clock;
    clock.now = [] { return 0.0; };
    clock.sleep = [&](double) {
        while (steps.load() == 0 && file->isRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (steps.load() > 0)
            --steps;
    };
    file->setPassClock(clock);
    window->sourceChooser()->activated(index);
    window->startStream();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return newestId() == 1002; }));
    EXPECT_EQ(window->positionText(), "2 / 5");
    ++steps;
    ASSERT_TRUE(KelvraTest::waitFor([&] { return newestId() == 1003; }));
    EXPECT_EQ(window->positionText(), "3 / 5");
    window->pauseStream();
    EXPECT_EQ(window->positionText(), "3 / 5");
    EXPECT_EQ(window->seekSlider()->value(), 2);
}

TEST_F(MainWindowTest, TheChainEditorsShowEachOthersFilters)
{
    Kelvra::PointCloudEffectSettingView* page = window->getSettingsDock()->effectPage();
    Kelvra::PipelineDiagramDock* diagram = window->getDiagramDock();
    const auto filterNodes = [&] {
        std::vector<const Kelvra::FilterBlock*> nodes;
        for (const auto& item : diagram->getItems())
            if (auto* node = dynamic_cast<const Kelvra::FilterBlock*>(item.get()))
                nodes.push_back(node);
        return nodes;
    };
    // Added on the page: the diagram shows it after the processed raw frame.
    page->modeList->setCurrentIndex(1);
    ASSERT_EQ(page->rows().size(), 1u);
    auto nodes = filterNodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]->filterIndex, page->rows()[0].second);
    EXPECT_EQ(diagram->getItems()[2].get(), nodes[0]);
    EXPECT_EQ(diagram->getItemsView().size(), 10);

    // Added in the diagram, before the page's filter and after the depth
    // stage: the page shows the first (frame type 1), not the second.
    KelvraTest::ModalWatch noBoxes([](QWidget* w) { ADD_FAILURE() << w->windowTitle().toStdString(); });
    diagram->addFilterBefore(const_cast<Kelvra::FilterBlock*>(nodes[0]), page->filters.front().c_str(), 1);
    diagram->addFilterAfter(diagram->getItems()[4].get(), diagram->getFiltersFor(2).front(), 2);
    ASSERT_EQ(filterNodes().size(), 3u);
    ASSERT_EQ(page->rows().size(), 2u);
    const auto chain = camera->getFilterChain(1);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(page->rows()[1].second, chain[0].index);

    // Removed on the page: gone from the diagram, the other two stay in chain order.
    auto* box = qobject_cast<QCheckBox*>(page->rows()[0].first->itemAt(0)->widget());
    ASSERT_TRUE(box);
    box->click();
    nodes = filterNodes();
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0]->filterIndex, chain[0].index);
    EXPECT_EQ(*nodes[1]->outputType, 2);
    // Removed in the diagram: gone from the page.
    ASSERT_TRUE(diagram->removeFilter(const_cast<Kelvra::FilterBlock*>(nodes[0])));
    EXPECT_TRUE(page->rows().empty());
    EXPECT_EQ(camera->getFilterChain(1).size(), 0u);
    EXPECT_EQ(diagram->getItemsView().size(), 10);
}

TEST_F(MainWindowTest, QuitWorksFromAFilterDialogAndClosingTheWindowEndsTheProgram)
{
    window->startStream();
    // Opened from the filters page, without a parent.
    Kelvra::PointCloudEffectSettingView* page = window->getSettingsDock()->effectPage();
    page->modeList->setCurrentIndex(1);
    ASSERT_EQ(page->rows().size(), 1u);
    qobject_cast<QPushButton*>(page->rows()[0].first->itemAt(2)->widget())->click();
    QPointer<Kelvra::FilterSettingsDialog> dialog;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<Kelvra::FilterSettingsDialog*>(w); d && d->isVisible())
            dialog = d;
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(dialog->parentWidget());
    EXPECT_EQ(window->quitAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));

    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    QSignalSpy closed(window.get(), &MainWindow::closed);
    QTest::keyClick(dialog, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(closed.count(), 1); // main() quits on it
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->getStreamHub()->isRunning());
    delete dialog; // the program would have ended with it
}

TEST_F(MainWindowTest, AClickOnTheSeekSliderJumpsThere)
{
    ASSERT_TRUE(open(KELVRA_SAMPLE_RECORDING));
    const auto source = window->getStreamHub()->getCurrentSource();
    window->stopStream();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !source->isRunning() && window->seekSlider()->value() == 0; }));
    QSlider* slider = window->seekSlider();
    ASSERT_GE(slider->maximum(), 20);
    ASSERT_GT(slider->width(), 100);
    // Three quarters along the groove: about three quarters of the sets, not one page step.
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() * 3 / 4, slider->height() / 2));
    const int expected = slider->maximum() * 3 / 4;
    EXPECT_NEAR(slider->value(), expected, slider->maximum() / 10 + 1);
    EXPECT_GT(slider->value(), slider->pageStep());
    EXPECT_EQ(source->currentPosition(), slider->value());
}

TEST_F(MainWindowTest, TheSliderHeldHoldsPlaybackAndItsReleasePlaysOnFromThere)
{
    ASSERT_TRUE(open(smallRecording("slow.tvks", 60, 1000000)));
    Kelvra::StreamHub* hub = window->getStreamHub();
    // The set on show, counted from 1, as the position says it.
    const auto onShow = [&] { return window->positionText().section(QLatin1Char(' '), 0, 0).toInt(); };
    ASSERT_TRUE(KelvraTest::waitFor([&] { return onShow() >= 1; }));
    QSlider* slider = window->seekSlider();
    slider->setSliderDown(true); // taken by the mouse
    EXPECT_FALSE(hub->isRunning());
    const auto shows = [&](const char* text) {
        return KelvraTest::waitFor([&] { return window->positionText() == text; });
    };
    slider->setValue(40);
    EXPECT_TRUE(shows("41 / 60")); // shown while held
    slider->setValue(50);
    EXPECT_TRUE(shows("51 / 60"));
    EXPECT_FALSE(hub->isRunning());
    slider->setSliderDown(false);
    EXPECT_TRUE(hub->isRunning());
    // On from there (its first two sets at once, then one a second), not
    // from where it was held.
    EXPECT_TRUE(KelvraTest::waitFor([&] { return onShow() >= 52; }));
    EXPECT_LE(onShow(), 55);
    EXPECT_EQ(slider->value(), onShow() - 1);

    // Held and let go while stopped: nothing starts.
    window->stopStream();
    slider->setSliderDown(true);
    slider->setValue(20);
    slider->setSliderDown(false);
    EXPECT_FALSE(hub->isRunning());
    EXPECT_TRUE(shows("21 / 60"));
}

TEST_F(MainWindowTest, WhilePausedOnlyResumeAndStopAreOffered)
{
    const auto offered = [&] {
        QStringList on;
        for (QAction* action : {window->startAction, window->pauseAction, window->resumeAction, window->stopAction})
            if (action->isEnabled())
                on << action->text();
        return on;
    };
    EXPECT_EQ(offered(), QStringList({"Start"}));
    window->startStream();
    EXPECT_EQ(offered(), QStringList({"Pause", "Stop"}));
    window->pauseStream();
    EXPECT_EQ(offered(), QStringList({"Resume", "Stop"}));
    window->resumeStream();
    EXPECT_EQ(offered(), QStringList({"Pause", "Stop"}));

    // A recording paused, which has no playback thread left, the same.
    ASSERT_TRUE(open(KELVRA_SAMPLE_RECORDING));
    window->pauseStream();
    EXPECT_EQ(offered(), QStringList({"Resume", "Stop"}));
    window->resumeStream();
    EXPECT_TRUE(window->getStreamHub()->getCurrentSource()->isRunning());
}

TEST_F(MainWindowTest, DialogsOpenAtASizeThatShowsTheirRowsAndTitle)
{
    // The picker: as wide as its longest row, no row cut.
    int longest = 0, listWidth = 0;
    KelvraTest::onModal([&](QWidget* w) {
        auto* picker = qobject_cast<Kelvra::CameraPickerDialog*>(w);
        ASSERT_TRUE(picker);
        longest = picker->listview->sizeHintForColumn(0);
        listWidth = picker->listview->viewport()->width();
        picker->reject();
    });
    window->selectCameraAction->trigger();
    EXPECT_GT(longest, 0);
    EXPECT_GE(listWidth, longest);

    // The filter settings dialog: its title and every row.
    const Tavik::FilterPtr filter = cameraSystem.createFilter("Tavik::TemporalMedianFilter", 1);
    ASSERT_TRUE(filter);
    Kelvra::FilterSettingsDialog::showDialog(filter);
    Kelvra::FilterSettingsDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<Kelvra::FilterSettingsDialog*>(w); d && d->isVisible())
            dialog = d;
    ASSERT_TRUE(dialog);
    const int title = dialog->fontMetrics().horizontalAdvance(dialog->windowTitle());
    EXPECT_GE(dialog->width(), title + 100);
    EXPECT_GE(dialog->height(), dialog->layout()->totalSizeHint().height());
    EXPECT_GE(dialog->width(), dialog->layout()->totalSizeHint().width());
    QPointer<Kelvra::FilterSettingsDialog> closed = dialog;
    dialog->close(); // deletes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(closed);
}
