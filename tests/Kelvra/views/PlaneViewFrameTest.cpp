// The image view per frame: schedule of levels and resets, flips, the
// lens-clarity figure, missing images; the pixel read-out, click points and
// the visible range.

#include "tests/Kelvra/views/PlaneViewRig.h"

#include "platform/base/StatusMessageBar.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using Kelvra::PlaneView;
using PlaneViewTest::Host;
using PlaneViewTest::RecordingView;
using PlaneViewTest::sameImage;
using Call = RecordingView::Call;

namespace {

DataEngine::Images frameOf(const cv::Mat& amplitude, const cv::Mat& phase, const cv::Mat& depth)
{
    return {{"amplitude", amplitude}, {"phase", phase}, {"depth", depth}};
}

DataEngine::Images uniformFrame(int w, int h, double amplitude, double phase, double depth)
{
    return frameOf(PlaneViewTest::constant(w, h, amplitude), PlaneViewTest::constant(w, h, phase),
                   PlaneViewTest::constant(w, h, depth));
}

std::vector<Call> run(RecordingView& view, int frames)
{
    view.calls.clear();
    for (int i = 0; i < frames; ++i)
        view.displayData();
    return view.calls;
}

// An amplitude view with the read-out and lens focusing on, counting from frame 1.
std::unique_ptr<RecordingView> lensView(Host& host, DataFormat* amplitude)
{
    auto view = host.view(amplitude, true);
    view->lensFocusingChanged(true);
    view->streamStarted();
    return view;
}

// A view with the read-out on screen, so that scene and image coordinates are
// related as in use.
class PlaneViewPointer : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.resize(400, 330);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    // Moves the pointer to an image position.
    void pointAt(double x, double y) { view.getMousePosition(view.getImageItem()->mapToScene(QPointF(x, y))); }

    Host host;
    DataFormat amplitude{"amplitude"};
    std::unique_ptr<RecordingView> owned = host.view(&amplitude, true);
    RecordingView& view = *owned;
};

} // namespace

// --- schedule ---------------------------------------------------------------------------

TEST(PlaneViewSchedule, AmplitudeLevelsThenResetsOnFrameThreeOnly)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    host.engine->publishFrame(uniformFrame(80, 60, 100, 200, 1));
    view->streamStarted();
    // The reset's own autoLevels follows it.
    EXPECT_EQ(run(*view, 12), (std::vector<Call>{{"autoLevels", 3}, {"resetView", 3}, {"autoLevels", 3}}));
}

TEST(PlaneViewSchedule, PhaseResetsOnFrameThreeAndLevelsOnFrameSeven)
{
    Host host;
    for (const char* name : {"phase", "depth-ish"}) {
        DataFormat phase(name);
        auto view = host.view(&phase);
        host.engine->publishFrame(uniformFrame(80, 60, 100, 200, 1));
        EXPECT_EQ(run(*view, 12), (std::vector<Call>{{"resetView", 3}, {"autoLevels", 3}, {"autoLevels", 7}})) << name;
        EXPECT_TRUE(sameImage(view->getImageItem()->image(), host.engine->data()["phase"])) << name;
    }
}

TEST(PlaneViewSchedule, FrameThreeIsDrawnWithTheLevelsTheResetLeft)
{
    Host host;
    DataFormat amplitude("amplitude", {{0, 800}}, 1);
    auto view = host.view(&amplitude);
    host.engine->publishFrame(uniformFrame(80, 60, 300, 0, 1));
    view->updateImageLevels(10, 20);
    run(*view, 2);
    EXPECT_EQ(view->getImageItem()->getLevels(), (PlaneView::Levels{{10, 20}}));
    run(*view, 1);
    // The reset levels on the frame itself, not on a blank image (0 to 800).
    EXPECT_EQ(view->getImageItem()->getLevels(), (PlaneView::Levels{{300, 300}}));
    EXPECT_TRUE(sameImage(view->getImageItem()->image(), host.engine->data()["amplitude"]));
}

TEST(PlaneViewSchedule, HiddenViewDrawsNothingAndKeepsItsCount)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    host.engine->publishFrame(uniformFrame(80, 60, 100, 200, 1));
    run(*view, 1);
    view->ShowView(false);
    host.engine->publishFrame(uniformFrame(40, 30, 5, 5, 5));
    EXPECT_TRUE(run(*view, 10).empty());
    EXPECT_EQ(view->getUpdateCount(), 1);
    EXPECT_EQ(view->getImageItem()->width(), 80);
    // Shown again, it shows the frame that came while it was hidden: no
    // other may follow (paused, or the end of a recording).
    view->ShowView(true);
    EXPECT_EQ(view->getUpdateCount(), 0);
    EXPECT_TRUE(sameImage(view->getImageItem()->image(), host.engine->data()["amplitude"]));
}

// --- flips -------------------------------------------------------------------------------

TEST(PlaneViewFlips, FlippedCopyIsShownAndTheEnginesImageIsUntouched)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    const cv::Mat original = PlaneViewTest::image(4, 3, [](int x, int y) { return 10.0 * x + y; });
    const cv::Mat kept = original.clone();
    host.engine->publishFrame({{"amplitude", original}});

    struct Case {
        bool ud, lr;
        int (*fx)(int);
        int (*fy)(int);
    };
    const Case cases[] = {
        {false, false, [](int x) { return x; }, [](int y) { return y; }},
        {true, false, [](int x) { return x; }, [](int y) { return 2 - y; }},
        {false, true, [](int x) { return 3 - x; }, [](int y) { return y; }},
        {true, true, [](int x) { return 3 - x; }, [](int y) { return 2 - y; }},
    };
    for (const Case& c : cases) {
        view->vFlipChanged(c.ud);
        view->hFlipChanged(c.lr);
        view->displayData();
        const cv::Mat& shown = view->getImageItem()->image();
        ASSERT_EQ(shown.rows, 4);
        ASSERT_EQ(shown.cols, 3);
        for (int x = 0; x < 4; ++x)
            for (int y = 0; y < 3; ++y)
                EXPECT_EQ(shown.at<float>(c.fx(x), c.fy(y)), original.at<float>(x, y))
                    << "ud " << c.ud << " lr " << c.lr << " at " << x << "," << y;
        EXPECT_TRUE(sameImage(original, kept));
    }
}

TEST(PlaneViewFlips, TheEnginesImageIsShownWithoutACopyAndAShownFlipStaysAsShown)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    const cv::Mat first = PlaneViewTest::image(4, 3, [](int x, int y) { return 10.0 * x + y; });
    host.engine->publishFrame({{"amplitude", first}});
    view->displayData();
    EXPECT_EQ(view->getImageItem()->image().data, first.data); // the engine's own matrix

    view->hFlipChanged(true);
    view->displayData();
    const cv::Mat flippedFirst = view->getImageItem()->image(); // held, as a caller may
    const cv::Mat expected = flippedFirst.clone();
    const cv::Mat second = PlaneViewTest::image(4, 3, [](int x, int y) { return 500.0 + x - y; });
    host.engine->publishFrame({{"amplitude", second}});
    view->displayData();
    EXPECT_TRUE(sameImage(flippedFirst, expected)); // the next flip went elsewhere
    EXPECT_EQ(view->getImageItem()->image().at<float>(3, 0), second.at<float>(0, 0));
}

TEST(PlaneViewFlips, AFlipShowsAtOnceWithoutANewFrameAndAHiddenViewWaits)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    const cv::Mat frame = PlaneViewTest::image(4, 3, [](int x, int y) { return 10.0 * x + y; });
    host.engine->publishFrame({{"amplitude", frame}});
    view->displayData();
    const auto count = view->getUpdateCount();
    const auto levels = view->getLevels();

    // Paused, or at the end of a recording: no frame comes after the flip.
    view->vFlipChanged(true);
    cv::Mat expected;
    cv::flip(frame, expected, 1); // y reversed
    EXPECT_TRUE(sameImage(view->getImageItem()->image(), expected));
    view->hFlipChanged(true);
    cv::flip(frame, expected, -1);
    EXPECT_TRUE(sameImage(view->getImageItem()->image(), expected));
    EXPECT_EQ(view->getUpdateCount(), count); // not a frame
    EXPECT_EQ(view->getImageItem()->getLevels(), levels);

    // A hidden view draws nothing; shown and reset, it has the flip.
    view->ShowView(false);
    view->hFlipChanged(false);
    EXPECT_TRUE(sameImage(view->getImageItem()->image(), expected));
    view->resetView();
    cv::flip(frame, expected, 1);
    EXPECT_TRUE(sameImage(view->getImageItem()->image(), expected));
}

// --- missing images and errors ------------------------------------------------------------

TEST(PlaneViewMissing, AbsentOrEmptyEntryDrawsNothingButCounts)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = lensView(host, &amplitude);
    const cv::Mat marker = PlaneViewTest::constant(8, 8, 42);
    view->getImageItem()->setImage(marker);
    view->vFlipChanged(true);

    host.engine->publishFrame({{"phase", PlaneViewTest::constant(80, 60, 1)}});
    EXPECT_NO_THROW(run(*view, 2));
    // Absent: frame 3 reset the view to the blank image; nothing was drawn on it.
    EXPECT_NO_THROW(run(*view, 2)); // frames 3 and 4
    EXPECT_EQ(view->getImageItem()->width(), 80);
    double mx = 1;
    cv::minMaxLoc(view->getImageItem()->image(), nullptr, &mx);
    EXPECT_EQ(mx, 0.0);
    // Empty, the engine's word for nothing: no picture at all.
    host.engine->publishFrame({{"amplitude", cv::Mat()}});
    EXPECT_NO_THROW(run(*view, 2)); // frames 5 and 6, a lens frame
    EXPECT_EQ(view->getUpdateCount(), 6);
    EXPECT_FALSE(view->getImageItem()->hasImage());
    EXPECT_EQ(view->getLabel()->text(), PlaneViewTest::lensText("0"));
}

TEST(PlaneViewMissing, NothingToShowBlanksTheViewUntilAPictureWhichIsThenFitted)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude, true, QRectF(0, 0, 80, 60));
    host.engine->publishFrame(uniformFrame(80, 60, 100, 200, 1));
    run(*view, 1);
    ASSERT_TRUE(view->getImageItem()->hasImage());
    // The engine cleared its frames: the picture goes, and stays gone when
    // the view is reset or shown again.
    host.engine->publishFrame(frameOf(cv::Mat(), cv::Mat(), cv::Mat()), DataEngine::FrameSize{{0, 0}});
    run(*view, 1);
    EXPECT_FALSE(view->getImageItem()->hasImage());
    view->ShowView(false);
    view->ShowView(true);
    view->resetView();
    view->hFlipChanged(true);
    run(*view, 10); // past the schedule's frames 3 and 7
    EXPECT_FALSE(view->getImageItem()->hasImage());
    // The first picture after nothing is fitted and levelled on itself, of
    // the same size as before or not; the next of that size is only drawn.
    for (const int width : {80, 320}) {
        SCOPED_TRACE(width);
        host.engine->publishFrame(frameOf(cv::Mat(), cv::Mat(), cv::Mat()), DataEngine::FrameSize{{0, 0}});
        run(*view, 1);
        host.engine->publishFrame(uniformFrame(width, width * 3 / 4, 500, 200, 1));
        const int64_t next = view->getUpdateCount() + 1;
        EXPECT_EQ(run(*view, 2), (std::vector<Call>{{"resetView", next}, {"autoLevels", next}}));
        EXPECT_EQ(view->getImageItem()->width(), width);
        EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{500, 500}}));
        EXPECT_GE(view->getViewBox()->viewRect().width(), width - 1);
    }
    // Another size without nothing between: fitted too.
    host.engine->publishFrame(uniformFrame(40, 30, 7, 7, 7));
    const int64_t next = view->getUpdateCount() + 1;
    EXPECT_EQ(run(*view, 1), (std::vector<Call>{{"resetView", next}, {"autoLevels", next}}));
}

TEST(PlaneViewMissing, AnErrorInsideTheUpdateStaysInside)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    const int sizes[] = {2, 2, 2};
    host.engine->publishFrame({{"amplitude", cv::Mat(3, sizes, CV_32F, cv::Scalar(1))}});
    view->hFlipChanged(true); // a flip of a three-dimensional array fails
    EXPECT_NO_THROW(view->displayData());
    EXPECT_EQ(view->getUpdateCount(), 1);
    view->hFlipChanged(false); // the item refuses it
    EXPECT_NO_THROW(view->displayData());
    EXPECT_EQ(view->getImageItem()->width(), 80);
}

// --- lens clarity -------------------------------------------------------------------------

TEST(PlaneViewLens, FigureOnEverySixthFrameFromTheVarianceOfTheLaplacian)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = lensView(host, &amplitude);
    std::vector<QString> texts;
    for (int frame = 1; frame <= 13; ++frame) {
        // Cells of 0 and `frame`: every Laplacian element is +-4 * frame.
        host.engine->publishFrame({{"amplitude", PlaneViewTest::checkerboard(8, 6, frame)}});
        view->displayData();
        texts.push_back(view->getLabel()->text());
    }
    for (int frame = 1; frame <= 13; ++frame) {
        const int figure = frame >= 12 ? 16 * 144 : frame >= 6 ? 16 * 36 : 0;
        EXPECT_EQ(texts[frame - 1], PlaneViewTest::lensText(QString::number(figure))) << "frame " << frame;
    }
}

TEST(PlaneViewLens, IntegerAndFlippedImagesAreMeasuredAndAConstantOneGivesZero)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = lensView(host, &amplitude);
    host.engine->publishFrame({{"amplitude", PlaneViewTest::checkerboard(8, 6, 10, CV_32S)}});
    run(*view, 6);
    EXPECT_EQ(view->getLabel()->text(), PlaneViewTest::lensText("1600"));
    host.engine->publishFrame({{"amplitude", PlaneViewTest::constant(80, 60, 123)}});
    run(*view, 6);
    EXPECT_EQ(view->getLabel()->text(), PlaneViewTest::lensText("0"));
    view->hFlipChanged(true);
    view->vFlipChanged(true);
    host.engine->publishFrame({{"amplitude", PlaneViewTest::checkerboard(8, 6, 10)}});
    run(*view, 6);
    EXPECT_EQ(view->getLabel()->text(), PlaneViewTest::lensText("1600"));
}

TEST(PlaneViewLens, PhaseViewsAndViewsWithoutReadOutNeverShowIt)
{
    Host host;
    DataFormat amplitude("amplitude");
    DataFormat phase("phase");
    auto phaseView = host.view(&phase, true);
    auto plain = host.view(&amplitude, false);
    host.engine->publishFrame(
        {{"amplitude", PlaneViewTest::checkerboard(8, 6, 10)}, {"phase", PlaneViewTest::checkerboard(8, 6, 10)}});
    for (RecordingView* v : {phaseView.get(), plain.get()}) {
        v->lensFocusingChanged(true);
        v->streamStarted();
        run(*v, 12);
        EXPECT_TRUE(v->getLabel()->text().isEmpty());
    }
}

// --- read-out --------------------------------------------------------------------------------

TEST_F(PlaneViewPointer, ReadOutPointerPicksThePixelInsideTheFrameOnly)
{
    StatusMessageBar bar;
    view.setStatusBar(&bar);

    pointAt(10, 10); // frame size not known yet
    EXPECT_FALSE(view.getPoint().has_value());
    EXPECT_TRUE(bar.pointText().isEmpty());

    host.engine->publishFrame(uniformFrame(80, 60, 1, 2, 3));
    pointAt(79.99, 59.5);
    EXPECT_EQ(view.getPoint(), (PlaneView::Pixel{{79, 59}}));
    EXPECT_EQ(bar.pointText(), "x: 80.0  y: 59.5"); // the float position, as the bar rounds it
    for (auto [x, y] : {std::pair{80.0005, 10.0}, {-0.0005, 10.0}, {10.0, 60.0005}, {10.0, -0.0005}}) {
        pointAt(x, y);
        EXPECT_EQ(view.getPoint(), (PlaneView::Pixel{{79, 59}})) << x << "," << y;
    }
    EXPECT_EQ(bar.pointText(), "x: 80.0  y: 59.5");
}

TEST_F(PlaneViewPointer, ReadOutNamesThePixelShownUnderTheFlippedPicture)
{
    StatusMessageBar bar;
    view.setStatusBar(&bar);
    QSignalSpy announced(&bar, &StatusMessageBar::pointChanged);
    const auto value = [](int x, int y) { return 100.0 * x + y; };
    host.engine->publishFrame(frameOf(PlaneViewTest::image(80, 60, value), PlaneViewTest::image(80, 60, value),
                                      PlaneViewTest::image(80, 60, [](int x, int y) { return x + y / 100.0; })));
    view.displayData();

    // The pointer rests on picture pixel (3, 4) while the flips change: the
    // read-out names the frame's pixel shown there, which the picture holds.
    pointAt(3.5, 4.5);
    EXPECT_EQ(view.getPoint(), (PlaneView::Pixel{{3, 4}}));
    const struct {
        bool ud, lr;
        PlaneView::Pixel pixel;
        const char* point;
    } cases[] = {{false, true, {{76, 4}}, "x: 76.5  y: 4.5"},
                 {true, true, {{76, 55}}, "x: 76.5  y: 55.5"},
                 {true, false, {{3, 55}}, "x: 3.5  y: 55.5"},
                 {false, false, {{3, 4}}, "x: 3.5  y: 4.5"}};
    for (const auto& c : cases) {
        view.vFlipChanged(c.ud);
        view.hFlipChanged(c.lr);
        EXPECT_EQ(view.getPoint(), c.pixel) << c.ud << c.lr;
        EXPECT_EQ(bar.pointText(), c.point) << c.ud << c.lr;
        const auto [x, y] = c.pixel;
        EXPECT_EQ(view.getImageItem()->image().at<float>(3, 4), value(x, y)) << c.ud << c.lr;
        EXPECT_TRUE(view.getText()->startsWith(
            QString::asprintf("@(%d, %d) -> Amplitude: %04d,", x, y, static_cast<int>(value(x, y)))))
            << view.getText()->toStdString();
        // The pointer moved again over the same spot reads the same pixel.
        pointAt(3.5, 4.5);
        EXPECT_EQ(view.getPoint(), c.pixel) << c.ud << c.lr;
    }
    EXPECT_EQ(announced.count(), 9);

    // A position on a pixel's edge stays in the pixel shown there.
    view.hFlipChanged(true);
    view.vFlipChanged(true);
    EXPECT_EQ(view.framePosition(QPointF(3.0, 0.0)).toPoint(), QPoint(77, 60));
    EXPECT_EQ(static_cast<int>(view.framePosition(QPointF(3.0, 0.0)).x()), 76);
    EXPECT_EQ(static_cast<int>(view.framePosition(QPointF(0.0, 59.0)).y()), 0);
    EXPECT_EQ(static_cast<int>(view.framePosition(QPointF(79.99, 59.99)).x()), 0);
}

TEST_F(PlaneViewPointer, ReadOutLineShowsAmplitudePhaseAndDepthOfThePixel)
{
    auto frame = [](double amp, double phase, double depth) {
        auto set = uniformFrame(80, 60, 0, 0, 0);
        set["amplitude"].at<float>(3, 4) = static_cast<float>(amp);
        set["phase"].at<float>(3, 4) = static_cast<float>(phase);
        set["depth"].at<float>(3, 4) = static_cast<float>(depth);
        return set;
    };
    QSignalSpy available(&view, &PlaneView::dataAvailable);
    host.engine->publishFrame(frame(7, 1234.6, 1.5));
    pointAt(3.5, 4.5);
    ASSERT_EQ(available.count(), 1);
    EXPECT_EQ(*view.getText(), "@(3, 4) -> Amplitude: 0007, Phase: 1234, Z: 01.5000m");
    EXPECT_TRUE(view.getStatus()->text().isEmpty()); // queued
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view.getStatus()->text() == *view.getText(); }));

    // New depth data rebuilds the line for the same pixel.
    host.engine->publishFrame(frame(-7, 12, 12.34567));
    ASSERT_TRUE(KelvraTest::waitFor(
        [&] { return view.getStatus()->text() == "@(3, 4) -> Amplitude: -007, Phase: 0012, Z: 12.3457m"; }));
}

TEST_F(PlaneViewPointer, ReadOutHiddenViewStoresThePointButBuildsNoLine)
{
    StatusMessageBar bar;
    view.setStatusBar(&bar);
    host.engine->publishFrame(uniformFrame(80, 60, 1, 2, 3));
    view.ShowView(false);
    QSignalSpy available(&view, &PlaneView::dataAvailable);
    pointAt(5.5, 6.5);
    EXPECT_EQ(view.getPoint(), (PlaneView::Pixel{{5, 6}}));
    EXPECT_FALSE(view.getText().has_value());
    EXPECT_FALSE(bar.pointText().isEmpty());
    view.setData();
    EXPECT_EQ(available.count(), 0);
}

TEST_F(PlaneViewPointer, ReadOutSmallerFrameForgetsThePointAndKeepsTheLastLine)
{
    host.engine->publishFrame(uniformFrame(80, 60, 1, 2, 3));
    pointAt(70.5, 50.5);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !view.getStatus()->text().isEmpty(); }));
    const QString line = view.getStatus()->text();

    QSignalSpy available(&view, &PlaneView::dataAvailable);
    host.engine->publishFrame(uniformFrame(40, 30, 9, 9, 9));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !view.getPoint().has_value(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(available.count(), 0);
    EXPECT_EQ(view.getStatus()->text(), line);
    EXPECT_EQ(*view.getText(), line);
}

TEST_F(PlaneViewPointer, ReadOutLineNeverWidensTheViewAndCanBeCleared)
{
    const int narrowest = view.minimumSizeHint().width();
    host.engine->publishFrame(uniformFrame(80, 60, 1234, 2345, 3.4567));
    pointAt(70.5, 50.5);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !view.getStatus()->text().isEmpty(); }));
    const QLabel* status = view.getStatus();
    EXPECT_GT(status->fontMetrics().horizontalAdvance(status->text()), narrowest); // longer than the view needs
    EXPECT_EQ(view.minimumSizeHint().width(), narrowest);

    QSignalSpy available(&view, &PlaneView::dataAvailable);
    view.clearReadOut();
    EXPECT_FALSE(view.getPoint().has_value());
    EXPECT_FALSE(view.getText().has_value());
    EXPECT_TRUE(view.getStatus()->text().isEmpty());
    host.engine->publishFrame(uniformFrame(80, 60, 1, 2, 3)); // the pointer has not moved since
    QCoreApplication::processEvents();
    EXPECT_EQ(available.count(), 0);
    EXPECT_TRUE(view.getStatus()->text().isEmpty());
}

TEST_F(PlaneViewPointer, ReadOutMissingImageEmitsNothingAndImagesOfOtherSizesAreNotReadPastTheirEnd)
{
    host.engine->publishFrame(uniformFrame(80, 60, 1, 2, 3));
    pointAt(70.5, 50.5);
    ASSERT_TRUE(view.getText().has_value());
    const QString line = *view.getText();
    QSignalSpy available(&view, &PlaneView::dataAvailable);

    for (const char* missing : {"amplitude", "phase", "depth"}) {
        auto set = uniformFrame(80, 60, 4, 5, 6);
        set.remove(missing);
        host.engine->publishFrame(set);
        view.setData();
        set = uniformFrame(80, 60, 4, 5, 6);
        set[missing] = cv::Mat();
        host.engine->publishFrame(set);
        view.setData();
        EXPECT_EQ(available.count(), 0) << missing;
        EXPECT_EQ(*view.getText(), line);
        EXPECT_TRUE(view.getPoint().has_value());
    }

    // Depth still holds the point, the amplitude image does not.
    host.engine->publishFrame(frameOf(PlaneViewTest::constant(40, 30, 4), PlaneViewTest::constant(80, 60, 5),
                                      PlaneViewTest::constant(80, 60, 6)));
    view.setData();
    EXPECT_FALSE(view.getPoint().has_value());
    EXPECT_EQ(available.count(), 0);
}

// --- clicks and visible range ------------------------------------------------------------------

TEST_F(PlaneViewPointer, ClickCtrlAndShiftLeftClicksSendTheImagePoint)
{
    QSignalSpy current(DataView::communicator(), &ViewCommunicator::setCurrentPoint2D);
    QSignalSpy shift(DataView::communicator(), &ViewCommunicator::setShiftClickPoint2D);
    const QPointF scene = view.getImageItem()->mapToScene(QPointF(12.5, -3.25));
    auto click = [&](Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
        view.sendClickPosition(Plot::MouseClickEvent(scene, QPointF(), button, modifiers));
    };

    click(Qt::LeftButton, Qt::ControlModifier);
    ASSERT_EQ(current.count(), 1);
    const QPointF sent = current[0][0].toPointF();
    EXPECT_NEAR(sent.x(), 12.5, 1e-9);
    EXPECT_NEAR(sent.y(), -3.25, 1e-9);
    click(Qt::LeftButton, Qt::ShiftModifier);
    ASSERT_EQ(shift.count(), 1);
    EXPECT_NEAR(shift[0][0].toPointF().y(), -3.25, 1e-9);
    click(Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(current.count(), 2);
    EXPECT_EQ(shift.count(), 1);
    click(Qt::RightButton, Qt::ControlModifier);
    click(Qt::LeftButton, Qt::NoModifier);
    click(Qt::MiddleButton, Qt::ShiftModifier);
    EXPECT_EQ(current.count(), 2);
    EXPECT_EQ(shift.count(), 1);
}

TEST(PlaneViewRange, EveryRangeChangeSendsTheVisiblePartOfTheImage)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    view->getViewBox()->setAspectLocked(false);
    QSignalSpy range(DataView::communicator(), &ViewCommunicator::viewRangeChanged);

    view->getViewBox()->setRange(QRectF(10.5, 5, 10, 10));
    ASSERT_GE(range.count(), 1);
    QList<QVariant> args = range.last();
    EXPECT_DOUBLE_EQ(args[0].toDouble(), 10.5);
    EXPECT_DOUBLE_EQ(args[1].toDouble(), 5.0);
    EXPECT_EQ(args[2].toInt(), 20);
    EXPECT_EQ(args[3].toInt(), 15);

    view->getViewBox()->setRange(QRectF(-20, -30, 200, 150));
    args = range.last();
    EXPECT_DOUBLE_EQ(args[0].toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(args[1].toDouble(), 0.0);
    EXPECT_EQ(args[2].toInt(), 80);
    EXPECT_EQ(args[3].toInt(), 60);

    const int before = range.count();
    view->getViewBox()->setRange(QRectF(100, 100, 10, 10));
    ASSERT_EQ(range.count(), before + 1);
    args = range.last();
    EXPECT_EQ(args[2].toInt(), 0);
    EXPECT_EQ(args[3].toInt(), 0);
}
