// The viewer's main window, offscreen: streams from the simulated camera to
// both views, plays the sample recording, drives the transport and shuts
// down cleanly.

#include "host/app/MainWindow.h"

#include "Kelvra/dialogs/CameraPickerDialog.h"
#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/PlaneView.h"
#include "host/base/DataView.h"
#include "host/engine/DataViewContainer.h"
#include "host/engine/HostDataEngine.h"
#include "host/base/StatusMessageBar.h"
#include "host/base/ViewCommunicator.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMenuBar>
#include <QSignalSpy>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& device : cameraSystem.scan()) {
            camera = cameraSystem.connect(device);
            if (camera)
                break;
        }
        ASSERT_TRUE(camera);
        window = std::make_unique<MainWindow>(&cameraSystem, camera);
        window->show();
    }

    void TearDown() override { window.reset(); }

    Kelvra::PlaneView* amplitudeView() const { return window->amplitudeContainer()->planeView(); }
    Kelvra::PlaneView* phaseView() const { return window->phaseContainer()->planeView(); }

    bool bothViewsDrew(int64_t frames)
    {
        return KelvraTest::waitFor([&] {
            return amplitudeView()->getUpdateCount() >= frames && phaseView()->getUpdateCount() >= frames;
        });
    }

    int64_t newestId() const
    {
        const auto set = window->getDataEngine()->newestFrameSet();
        return set ? set->id : -1;
    }

    Tavik::CameraSystem cameraSystem;
    Tavik::DepthCameraPtr camera;
    std::unique_ptr<MainWindow> window;
};

} // namespace

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

TEST_F(MainWindowTest, PlaysTheSampleRecording)
{
    EXPECT_FALSE(window->openRecording("/nonexistent/recording.tvks", true));
    EXPECT_EQ(window->sourceChooser()->count(), 1); // the unplayable file is not kept

    ASSERT_TRUE(window->openRecording(KELVRA_SAMPLE_RECORDING, true));
    EXPECT_EQ(window->sourceChooser()->count(), 2);
    EXPECT_EQ(window->sourceChooser()->currentIndex(), 1);
    auto source = window->getStreamHub()->getCurrentSource();
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->isLiveStream());
    ASSERT_TRUE(bothViewsDrew(3));
    EXPECT_TRUE(window->seekSlider()->isEnabled());
    EXPECT_EQ(window->seekSlider()->maximum(), source->length() - 1);

    // A paused recording goes on through start().
    window->pauseStream();
    EXPECT_FALSE(source->isRunning());
    EXPECT_TRUE(window->resumeAction->isEnabled());
    window->resumeStream();
    EXPECT_TRUE(source->isRunning());

    // Stopped, a seek shows the set at the new position at once.
    window->stopStream();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return source->currentPosition() == 0; }));
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
    window->disconnectCamera();
    EXPECT_FALSE(window->getStreamHub()->getDepthCamera());
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
    window.reset();     // joins nothing twice, leaves no thread behind
    EXPECT_FALSE(camera->isRunning());
}

TEST_F(MainWindowTest, SelectingAnotherCameraReplacesTheLiveOne)
{
    window->startStream();
    ASSERT_TRUE(bothViewsDrew(1));
    // Row 1 is the second simulated device, another camera than the first.
    KelvraTest::onModal([](QWidget* w) {
        auto* dialog = qobject_cast<Kelvra::CameraPickerDialog*>(w);
        ASSERT_TRUE(dialog);
        dialog->listview->setCurrentRow(1);
        QTest::mouseClick(dialog->okButton, Qt::LeftButton);
    });
    window->selectCameraAction->trigger();
    const auto chosen = window->getStreamHub()->getDepthCamera();
    ASSERT_TRUE(chosen);
    EXPECT_NE(chosen, camera);
    EXPECT_FALSE(camera->isConnected()); // the old one was disconnected first
    EXPECT_EQ(window->sourceChooser()->count(), 1);

    // Cancelling keeps the camera.
    KelvraTest::onModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    window->selectCameraAction->trigger();
    EXPECT_EQ(window->getStreamHub()->getDepthCamera(), chosen);

    window->startStream();
    const int64_t before = newestId();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return newestId() != before; }));
}
