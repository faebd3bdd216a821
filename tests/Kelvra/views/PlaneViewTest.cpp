// The image view: construction and wiring, display format and levels, view
// reset and snapshot export.

#include "tests/Kelvra/views/PlaneViewRig.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsGridLayout>
#include <QImage>
#include <QLayout>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Kelvra::PlaneView;
using PlaneViewTest::Host;
using PlaneViewTest::MessageBoxCatcher;
using PlaneViewTest::RecordingView;
using Call = RecordingView::Call;

namespace {

void expectThresholds(const QList<QVariant>& args, const QString& name, double lower, double upper)
{
    ASSERT_EQ(args.size(), 3);
    EXPECT_EQ(args[0].toString(), name);
    EXPECT_DOUBLE_EQ(args[1].toDouble(), lower);
    EXPECT_DOUBLE_EQ(args[2].toDouble(), upper);
}

} // namespace

// --- construction, menu and state slots -------------------------------------------

TEST(PlaneViewConstruction, WithoutReadOutTheStatusLineIsNeverShownAndDepthIsNotFollowed)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto plain = host.view(&amplitude, false);
    auto withDepth = host.view(&amplitude, true);
    ASSERT_EQ(plain->layout()->count(), 3);
    plain->resize(300, 240);
    plain->show();
    EXPECT_FALSE(plain->getStatus()->isVisible());
    EXPECT_EQ(plain->layout()->itemAt(2)->layout()->count(), 0);
    EXPECT_EQ(withDepth->layout()->itemAt(2)->layout()->indexOf(withDepth->getStatus()), 0);

    // Both views read the pixel under the mouse; only the one with the
    // read-out rebuilds it when new depth data arrives.
    auto frame = [](double depth) {
        return DataEngine::Images{{"amplitude", PlaneViewTest::constant(80, 60, 5)},
                                  {"phase", PlaneViewTest::constant(80, 60, 6)},
                                  {"depth", PlaneViewTest::constant(80, 60, depth)}};
    };
    host.engine->publishFrame(frame(1.0));
    for (RecordingView* v : {plain.get(), withDepth.get()})
        v->getMousePosition(v->getImageItem()->mapToScene(QPointF(2.5, 2.5)));
    ASSERT_TRUE(plain->getText().has_value());
    host.engine->publishFrame(frame(2.0));
    ASSERT_TRUE(KelvraTest::waitFor([&] { return withDepth->getText()->contains("02.0000m"); }));
    EXPECT_TRUE(plain->getText()->contains("01.0000m"));
}

TEST(PlaneViewConstruction, StartsShownAtCountZeroWithTheFormatApplied)
{
    Host host;
    DataFormat amplitude("amplitude", {{20, 900}}, 1);
    auto view = host.view(&amplitude);
    EXPECT_EQ(view->getUpdateCount(), 0);
    EXPECT_TRUE(view->isShow);
    EXPECT_FALSE(view->flipud || view->fliplr || view->isLensFocusing);
    EXPECT_FALSE(view->getPoint().has_value());
    EXPECT_FALSE(view->getText().has_value());
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{20, 900}}));
    EXPECT_EQ(view->getImageItem()->getLookupTable(), amplitude.colorMap);
    EXPECT_EQ(view->getImageItem()->width(), 80);
    EXPECT_EQ(view->getImageItem()->height(), 60);
    EXPECT_EQ(view->getGraphicsWidget()->backgroundBrush().color(), QColor(0, 0, 0, 255));
    EXPECT_EQ(view->focusProxy(), view->getGraphicsWidget());
    EXPECT_EQ(view->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_FALSE(view->getGraphicsWidget()->containsItem(view->getLabel()));
}

TEST(PlaneViewConstruction, SizeRectSetsTheFirstRange)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto fitted = host.view(&amplitude, false, QRectF(10, 5, 20, 15));
    EXPECT_EQ(fitted->getViewBox()->targetRect(), QRectF(10, 5, 20, 15));
    auto plain = host.view(&amplitude);
    EXPECT_EQ(plain->getViewBox()->targetRect(), Kelvra::ZoomViewBox().targetRect());
}

TEST(PlaneViewConstruction, MenuListsItsThreeActionsWithShortcutsAndCallsTheView)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    Kelvra::PlaneViewMenu* menu = view->getMenu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0], menu->resetAction);
    EXPECT_EQ(actions[0]->text(), "&Reset view");
    EXPECT_EQ(actions[0]->shortcut(), QKeySequence("R"));
    EXPECT_EQ(actions[1]->text(), "Upd&ate Thresholds");
    EXPECT_EQ(actions[1]->shortcut(), QKeySequence("A"));
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(actions[3], menu->exportAction);
    EXPECT_EQ(actions[3]->text(), "&Export Image");
    EXPECT_EQ(actions[3]->shortcut(), QKeySequence("E"));
    for (QAction* a : {menu->resetAction, menu->autoLevelsAction, menu->exportAction})
        EXPECT_EQ(a->parent(), view.get());
    EXPECT_EQ(menu->parent(), view.get());

    menu->resetAction->trigger();
    menu->autoLevelsAction->trigger();
    EXPECT_EQ(view->callCount("resetView"), 1);
    EXPECT_EQ(view->callCount("autoLevels"), 2); // one from the reset
    MessageBoxCatcher boxes;
    view->getImageItem()->clear();
    menu->exportAction->trigger();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Blank Image");
}

TEST(PlaneViewConstruction, ViewBoxKeysReachResetAndAutoLevels)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    emit view->getViewBox()->resetView();
    EXPECT_EQ(view->callCount("resetView"), 1);
    emit view->getViewBox()->autoHistogram();
    EXPECT_EQ(view->calls.back(), (Call{"autoLevels", 0}));
    EXPECT_EQ(view->callCount("autoLevels"), 2);
}

TEST(PlaneViewState, FlipsArriveQueuedFromTheHubAndSetOnlyTheirFlag)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    emit DataView::communicator()->hFlipChanged(true);
    EXPECT_FALSE(view->fliplr); // queued
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view->fliplr; }));
    EXPECT_FALSE(view->flipud);
    emit DataView::communicator()->vFlipChanged(true);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return view->flipud; }));
    view->hFlipChanged(false);
    EXPECT_FALSE(view->fliplr);
    EXPECT_TRUE(view->flipud);
}

TEST(PlaneViewState, LensFocusingPlacesTheLabelOnlyInTheAmplitudeViewWithReadOut)
{
    Host host;
    DataFormat amplitude("amplitude");
    DataFormat phase("phase");
    auto lens = host.view(&amplitude, true);
    auto phaseView = host.view(&phase, true);
    auto plain = host.view(&amplitude, false);

    emit DataView::communicator()->lensFocusing(true);
    ASSERT_TRUE(KelvraTest::waitFor(
        [&] { return lens->isLensFocusing && phaseView->isLensFocusing && plain->isLensFocusing; }));
    EXPECT_TRUE(lens->getGraphicsWidget()->containsItem(lens->getLabel()));
    EXPECT_EQ(lens->getLabel()->text(), PlaneViewTest::lensText("0"));
    EXPECT_EQ(lens->getUpdateCount(), 2);
    for (RecordingView* v : {phaseView.get(), plain.get()}) {
        EXPECT_FALSE(v->getGraphicsWidget()->containsItem(v->getLabel()));
        EXPECT_EQ(v->getUpdateCount(), 0);
    }

    // A repeat keeps one label in the grid; switching off takes it out.
    lens->lensFocusingChanged(true);
    EXPECT_EQ(lens->getGraphicsWidget()->gridLayout()->count(), 2);
    lens->streamStarted();
    lens->lensFocusingChanged(false);
    EXPECT_FALSE(lens->getGraphicsWidget()->containsItem(lens->getLabel()));
    EXPECT_EQ(lens->getUpdateCount(), 2);
    EXPECT_EQ(lens->getGraphicsWidget()->gridLayout()->count(), 1);
}

TEST(PlaneViewState, ShowViewRestartsTheCountOnlyWhenShowing)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    host.engine->publishFrame({{"amplitude", PlaneViewTest::constant(80, 60, 1)}});
    view->displayData();
    view->displayData();
    view->ShowView(false);
    EXPECT_EQ(view->getUpdateCount(), 2);
    view->ShowView(true);
    EXPECT_EQ(view->getUpdateCount(), 0);
    view->displayData();
    view->ShowView(true);
    EXPECT_EQ(view->getUpdateCount(), 0);
}

TEST(PlaneViewState, StreamStartOfTheControllerRestartsTheCount)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    view->displayData();
    view->displayData();
    ASSERT_EQ(view->getUpdateCount(), 2);
    emit host.hub->started();
    EXPECT_EQ(view->getUpdateCount(), 0);
}

TEST(PlaneViewState, EveryResizeResetsTheView)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    view->resize(320, 260);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    const int afterShow = view->callCount("resetView");
    EXPECT_GE(afterShow, 1);
    view->resize(400, 300);
    EXPECT_EQ(view->callCount("resetView"), afterShow + 1);
    view->resize(420, 310);
    EXPECT_EQ(view->callCount("resetView"), afterShow + 2);
}

TEST(PlaneViewState, LinkingJoinsTheRegistryAndUnlinkLeavesIt)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    view->linkViewBox();
    EXPECT_TRUE(view->isLinked());
    EXPECT_TRUE(
        DataView::linkedViewBoxes().contains(qMakePair<DataView*, Plot::ViewBox*>(view.get(), view->getViewBox())));
    view->unlink();
    EXPECT_FALSE(view->isLinked());
    EXPECT_FALSE(view->getViewBox()->isRegistered());
}

// --- display format and levels ---------------------------------------------------

TEST(PlaneViewFormat, LevelsAreTheViewsOwnCopy)
{
    Host host;
    DataFormat amplitude("amplitude", {{0, 1000}}, 1);
    auto view = host.view(&amplitude);
    QSignalSpy thresholds(DataView::communicator(), &ViewCommunicator::thresholdsChanged);
    view->getSpanSlider()->setLowerPosition(250);
    view->getSpanSlider()->setUpperPosition(800);
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{250, 800}}));
    EXPECT_EQ(view->getImageItem()->getLevels(), (PlaneView::Levels{{250, 800}}));
    EXPECT_EQ(amplitude.levels, (std::array<double, 2>{{0, 1000}}));
    ASSERT_EQ(thresholds.count(), 2);
    expectThresholds(thresholds[0], "amplitude", 250, 1000);
    expectThresholds(thresholds[1], "amplitude", 250, 800);
}

TEST(PlaneViewFormat, IntegerFactorSetsRangeAndSpanFloatFactorTheFloatRange)
{
    Host host;
    DataFormat integer("amplitude", {{10, 500}}, 10);
    auto view = host.view(&integer);
    QxtSpanSlider* slider = view->getSpanSlider();
    EXPECT_FALSE(slider->isFloatMode());
    EXPECT_EQ(slider->minimum(), 10);
    EXPECT_EQ(slider->maximum(), 500);
    EXPECT_EQ(slider->lowerPosition(), 10);
    EXPECT_EQ(slider->upperPosition(), 500);

    DataFormat floating("amplitude", {{10, 500}}, 10.0);
    view->setDataFormat(&floating);
    EXPECT_TRUE(slider->isFloatMode());
    EXPECT_DOUBLE_EQ(slider->getScalingFactor(), 10.0);
    EXPECT_EQ(slider->maximum(), 5000);

    // The kind is looked up at each use.
    floating.setScalingFactor(3);
    view->setDataFormat(&floating);
    EXPECT_FALSE(slider->isFloatMode());
}

TEST(PlaneViewFormat, FloatFactorThatCannotDivideLeavesTheSliderAlone)
{
    Host host;
    DataFormat integer("amplitude", {{10, 500}}, 1);
    auto view = host.view(&integer);
    DataFormat zero("amplitude", {{0, 7}}, 0.0);
    view->setDataFormat(&zero);
    EXPECT_FALSE(view->getSpanSlider()->isFloatMode());
    EXPECT_EQ(view->getSpanSlider()->maximum(), 500);
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{0, 7}}));
}

TEST(PlaneViewFormat, SetDataFormatRestartsTheCountAndBlanksToTheFrameSize)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    host.engine->publishFrame({{"amplitude", PlaneViewTest::constant(320, 240, 7)}});
    view->displayData();
    view->displayData();
    view->_setDataFormat(&amplitude);
    EXPECT_EQ(view->getUpdateCount(), 2);
    EXPECT_EQ(view->getImageItem()->width(), 320);
    EXPECT_EQ(view->getImageItem()->height(), 240);
    double mn = 0, mx = 0;
    cv::minMaxLoc(view->getImageItem()->image(), &mn, &mx);
    EXPECT_EQ(mn, 0.0);
    EXPECT_EQ(mx, 0.0);
    view->setDataFormat(&amplitude);
    EXPECT_EQ(view->getUpdateCount(), 0);
}

TEST(PlaneViewFormat, DepthTypeFormatTakesTheSourcesFloatFactor)
{
    Host host(true);
    DataFormat depth("amplitude", {{0, 4000}}, 1, true);
    auto view = host.view(&depth);
    ASSERT_FALSE(depth.isIntegerScaling());
    EXPECT_FLOAT_EQ(static_cast<float>(depth.scalingValue()), host.hub->getCurrentSource()->getDepthScalingFactor());

    Host noSource;
    DataFormat kept("amplitude", {{0, 4000}}, 4, true);
    auto other = noSource.view(&kept);
    EXPECT_TRUE(kept.isIntegerScaling());
    EXPECT_EQ(kept.scalingValue(), 4.0);
}

TEST(PlaneViewAutoLevels, LevelsAreTheLowerEdgesOfThePopulatedBinsAnnouncedTwice)
{
    Host host;
    DataFormat amplitude("amplitude", {{0, 1000}}, 1);
    auto view = host.view(&amplitude);
    // 100 + x for x in 0..1000, 12 times: bins 10 wide with 120 samples each.
    view->getImageItem()->setImage(PlaneViewTest::image(1001, 12, [](int x, int) { return 100.0 + x; }));
    QSignalSpy thresholds(DataView::communicator(), &ViewCommunicator::thresholdsChanged);
    view->autoLevels();
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{100, 1090}}));
    EXPECT_EQ(view->getImageItem()->getLevels(), (PlaneView::Levels{{100, 1090}}));
    EXPECT_EQ(view->getSpanSlider()->lowerPosition(), 100);
    EXPECT_EQ(view->getSpanSlider()->upperPosition(), 1000); // clamped to the format's range
    ASSERT_EQ(thresholds.count(), 2);
    expectThresholds(thresholds[0], "amplitude", 100, 1090);
    expectThresholds(thresholds[1], "amplitude", 100, 1090);
}

TEST(PlaneViewAutoLevels, BlankImageGivesZeroToTheFormatsUpperLevel)
{
    Host host;
    DataFormat amplitude("amplitude", {{40, 700}}, 1);
    auto view = host.view(&amplitude);
    QSignalSpy thresholds(DataView::communicator(), &ViewCommunicator::thresholdsChanged);
    view->autoLevels();
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{0, 700}}));
    EXPECT_EQ(view->getSpanSlider()->lowerPosition(), 40); // clamped
    EXPECT_EQ(view->getSpanSlider()->upperPosition(), 700);
    ASSERT_EQ(thresholds.count(), 2);
    expectThresholds(thresholds[1], "amplitude", 0, 700);
}

TEST(PlaneViewAutoLevels, ABinNeedsMoreThanTenSamples)
{
    Host host;
    DataFormat amplitude("amplitude", {{0, 1000}}, 1);
    auto view = host.view(&amplitude);
    auto withBright = [](int bright) {
        return PlaneViewTest::image(80, 60, [bright](int x, int y) { return x * 60 + y < bright ? 1000.0 : 0.0; });
    };
    view->getImageItem()->setImage(withBright(10));
    view->autoLevels();
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{0, 1000}})); // only bin 0 counts: the blank case
    view->getImageItem()->setImage(withBright(11));
    view->autoLevels();
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{0, 990}}));
}

TEST(PlaneViewAutoLevels, ConstantNonZeroImageGivesEqualLevels)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    view->getImageItem()->setImage(PlaneViewTest::constant(80, 60, 250));
    view->autoLevels();
    EXPECT_DOUBLE_EQ(view->getLevels()[0], 250);
    EXPECT_DOUBLE_EQ(view->getLevels()[1], 250);
}

TEST(PlaneViewAutoLevels, NoImageOrNoPopulatedBinChangesNothing)
{
    Host host;
    DataFormat amplitude("amplitude", {{5, 600}}, 1);
    auto view = host.view(&amplitude);
    QSignalSpy thresholds(DataView::communicator(), &ViewCommunicator::thresholdsChanged);
    view->getImageItem()->clear();
    view->autoLevels();
    // 1000 distinct values: no bin holds more than 10.
    view->getImageItem()->setImage(PlaneViewTest::image(1000, 1, [](int x, int) { return x; }));
    view->autoLevels();
    EXPECT_EQ(thresholds.count(), 0);
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{5, 600}}));
}

// --- view reset -----------------------------------------------------------------------

TEST(PlaneViewPhaseLevel, NewLevelFromRangeOverFactorAndTheTruncatedRatio)
{
    auto level = PlaneView::phaseUpperLevel(2000, 1.0, {true, 4500.7f});
    ASSERT_TRUE(level.has_value());
    EXPECT_EQ(level->upper, 4500);
    EXPECT_EQ(level->scalingFactor, std::optional<int>(2));

    level = PlaneView::phaseUpperLevel(4500, 0.5, {true, 1000.1f});
    ASSERT_TRUE(level.has_value());
    EXPECT_EQ(level->upper, 2000);
    EXPECT_EQ(level->scalingFactor, std::optional<int>(0));

    EXPECT_FALSE(PlaneView::phaseUpperLevel(4096, 1.0, {true, 4096.9f}).has_value());
}

TEST(PlaneViewPhaseLevel, NothingDividesByZeroOrUsesAFailedRead)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(PlaneView::phaseUpperLevel(2000, 0.0, {true, 4500}).has_value());
    EXPECT_FALSE(PlaneView::phaseUpperLevel(2000, nan, {true, 4500}).has_value());
    EXPECT_FALSE(PlaneView::phaseUpperLevel(2000, inf, {true, 4500}).has_value());
    EXPECT_FALSE(PlaneView::phaseUpperLevel(2000, 1.0, {false, 4500}).has_value());
    EXPECT_FALSE(PlaneView::phaseUpperLevel(2000, 1e-30, {true, 4500}).has_value());

    const auto fromZero = PlaneView::phaseUpperLevel(0, 1.0, {true, 4500});
    ASSERT_TRUE(fromZero.has_value());
    EXPECT_EQ(fromZero->upper, 4500);
    EXPECT_FALSE(fromZero->scalingFactor.has_value());
}

TEST(PlaneViewReset, PhaseUpperLevelFollowsTheCamerasUnambiguousRange)
{
    Host host(true);
    ASSERT_TRUE(host.camera);
    const double range = host.camera->getf("unambiguous_range").value;
    const double factor = host.hub->getCurrentSource()->getDepthScalingFactor();
    const int expected = static_cast<int>(std::trunc(range / factor));
    DataFormat phase("phase", {{0, 2000}}, 2.5);
    auto view = host.view(&phase);
    QSignalSpy thresholds(DataView::communicator(), &ViewCommunicator::thresholdsChanged);
    view->resetView();
    EXPECT_EQ(phase.levels[1], expected);
    ASSERT_TRUE(phase.isIntegerScaling());
    EXPECT_EQ(std::get<int>(phase.scalingFactor), expected / 2000);
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{0, double(expected)}}));
    EXPECT_FALSE(view->getSpanSlider()->isFloatMode());
    ASSERT_EQ(thresholds.count(), 2);
    expectThresholds(thresholds[0], "phase", 0, expected);

    // Level already there: the factor is left alone.
    phase.setScalingFactor(7.5);
    view->resetView();
    EXPECT_EQ(phase.levels[1], expected);
    EXPECT_FALSE(phase.isIntegerScaling());
}

TEST(PlaneViewReset, FailedRangeReadOrZeroUpperLevelKeepTheFactor)
{
    Host host(true);
    DataFormat phase("phase", {{0, 2000}}, 2.5);
    auto view = host.view(&phase);
    host.system.simulation().failNext("getf:unambiguous_range");
    view->resetView();
    EXPECT_EQ(phase.levels[1], 2000);
    EXPECT_EQ(std::get<double>(phase.scalingFactor), 2.5);
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{0, 2000}}));

    phase.levels[1] = 0;
    view->resetView();
    EXPECT_GT(phase.levels[1], 0);
    EXPECT_EQ(std::get<double>(phase.scalingFactor), 2.5);
}

TEST(PlaneViewReset, WithoutCameraOrForAmplitudeTheLevelsStay)
{
    Host host;
    DataFormat phase("phase", {{0, 2000}}, 3);
    auto view = host.view(&phase);
    view->resetView();
    EXPECT_EQ(phase.levels[1], 2000);
    EXPECT_EQ(std::get<int>(phase.scalingFactor), 3);

    Host withCamera(true);
    DataFormat amplitude("amplitude", {{0, 1000}}, 3);
    auto ampView = withCamera.view(&amplitude);
    ampView->resetView();
    EXPECT_EQ(amplitude.levels[1], 1000);
    EXPECT_EQ(std::get<int>(amplitude.scalingFactor), 3);
}

TEST(PlaneViewReset, FitsTheImageRedrawsTheFrameAndKeepsTheCount)
{
    Host host;
    DataFormat amplitude("amplitude", {{0, 1000}}, 1);
    auto view = host.view(&amplitude);
    // Without a frame the reset leaves the blank image at the format's levels.
    view->resetView();
    double mx = 1;
    cv::minMaxLoc(view->getImageItem()->image(), nullptr, &mx);
    EXPECT_EQ(mx, 0.0);
    EXPECT_EQ(view->getLevels(), (PlaneView::Levels{{0, 1000}}));

    view->getViewBox()->setAspectLocked(false);
    view->getViewBox()->setRange(QRectF(30, 20, 5, 5));
    cv::Mat frame = PlaneViewTest::constant(80, 60, 300);
    frame(cv::Rect(0, 0, 60, 40)).setTo(700);
    host.engine->publishFrame({{"amplitude", frame}});
    view->displayData();
    // No frame comes after the reset (paused, or the end of a recording): the
    // current one is drawn again at once, levelled on itself.
    view->resetView();
    EXPECT_EQ(view->getViewBox()->viewRect(), QRectF(0, 0, 80, 60));
    EXPECT_EQ(view->getUpdateCount(), 1);
    EXPECT_TRUE(PlaneViewTest::sameImage(view->getImageItem()->image(), frame));
    EXPECT_NEAR(view->getLevels()[0], 300, 5);
    EXPECT_NEAR(view->getLevels()[1], 700, 5);
    EXPECT_EQ(view->getImageItem()->getLevels(), view->getLevels());
}

TEST(PlaneViewReset, LevelsEveryOtherLinkedViewOnce)
{
    Host host;
    DataFormat amplitude("amplitude");
    DataFormat phase("phase");
    auto a = host.view(&amplitude);
    auto b = host.view(&phase);
    auto c = host.view(&amplitude);
    auto loose = host.view(&amplitude);
    a->linkViewBox();
    b->linkViewBox();
    c->linkViewBox();
    a->resetView();
    EXPECT_EQ(a->callCount("autoLevels"), 1);
    EXPECT_EQ(b->callCount("autoLevels"), 1);
    EXPECT_EQ(c->callCount("autoLevels"), 1);
    EXPECT_EQ(b->callCount("resetView"), 0);
    EXPECT_EQ(loose->callCount("autoLevels"), 0);

    loose->resetView();
    EXPECT_EQ(a->callCount("autoLevels"), 1);
    EXPECT_EQ(loose->callCount("autoLevels"), 1);
}

// --- export -----------------------------------------------------------------------------

class PlaneViewExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        view = host.view(&amplitude);
        view->folder = tmp.path();
    }
    QString exportFolder() const { return tmp.path() + "/export_images"; }
    QStringList exported() const { return QDir(exportFolder()).entryList(QDir::Files); }

    QTemporaryDir tmp;
    Host host;
    DataFormat amplitude{"amplitude"};
    std::unique_ptr<RecordingView> view;
};

TEST_F(PlaneViewExport, SavesTheShownImageUnderFormatNameAndLocalTime)
{
    view->getImageItem()->setImage(PlaneViewTest::image(32, 24, [](int x, int y) { return 30.0 * x + y; }),
                                   {0.0, 1000.0});
    MessageBoxCatcher boxes;
    const QString before = QDateTime::currentDateTime().toString("yyyy_MM_dd_HH_mm_ss");
    view->exportImage();
    const QString after = QDateTime::currentDateTime().toString("yyyy_MM_dd_HH_mm_ss");

    const QStringList files = exported();
    ASSERT_EQ(files.size(), 1);
    const QString name = files[0];
    ASSERT_TRUE(name.startsWith("amplitude_") && name.endsWith(".jpg")) << name.toStdString();
    const QString stamp = name.mid(10, 19);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    const QString file = exportFolder() + "/" + name;
    const QImage saved(file, "JPG");
    EXPECT_EQ(saved.size(), QSize(32, 24));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes.seen[0].title, "Export Image Successfully");
    EXPECT_EQ(boxes.seen[0].text, "Successfully save image to \"" + QDir::toNativeSeparators(file) + "\".");
}

TEST_F(PlaneViewExport, ExportsInTheSameSecondEachKeepTheirFileAndFormatsTheirOwn)
{
    DataFormat phase("phase");
    auto phaseView = host.view(&phase);
    phaseView->folder = tmp.path();
    MessageBoxCatcher boxes;
    // Retry until the exports fall into one second.
    QString stamp;
    for (int attempt = 0; attempt < 5; ++attempt) {
        QDir(exportFolder()).removeRecursively();
        boxes.seen.clear();
        stamp = QDateTime::currentDateTime().toString("yyyy_MM_dd_HH_mm_ss");
        view->exportImage();
        view->exportImage();
        view->exportImage();
        phaseView->exportImage();
        if (QDateTime::currentDateTime().toString("yyyy_MM_dd_HH_mm_ss") == stamp)
            break;
    }
    const QStringList names = {"amplitude_" + stamp + ".jpg", "amplitude_" + stamp + "_2.jpg",
                               "amplitude_" + stamp + "_3.jpg", "phase_" + stamp + ".jpg"};
    EXPECT_EQ(exported(), names);
    // Each box names the file written.
    ASSERT_EQ(boxes.seen.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(boxes.seen[i].text,
                  "Successfully save image to \"" + QDir::toNativeSeparators(exportFolder() + "/" + names[i]) + "\".");
}

TEST_F(PlaneViewExport, TheFileIsNamedAsItIsNotAsMarkup)
{
    view->folder = tmp.path() + "/<b>bold</b>";
    MessageBoxCatcher boxes;
    view->exportImage();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].title, "Export Image Successfully");
    EXPECT_TRUE(boxes.seen[0].text.contains("/<b>bold</b>/export_images/amplitude_"));
    EXPECT_EQ(boxes.seen[0].format, Qt::PlainText);
}

TEST_F(PlaneViewExport, BlankImageIsExportedButNoImageIsReported)
{
    MessageBoxCatcher boxes;
    view->exportImage(); // the all-zero start image
    EXPECT_EQ(exported().size(), 1);
    view->getImageItem()->clear();
    view->exportImage();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen[1].title, "Blank Image");
    EXPECT_EQ(boxes.seen[1].text, "There is no image to export.");
    EXPECT_EQ(exported().size(), 1);
}

TEST_F(PlaneViewExport, CreatesMissingParentsAndReportsAFolderItCannotMake)
{
    view->folder = tmp.path() + "/a/b";
    MessageBoxCatcher boxes;
    view->exportImage();
    EXPECT_EQ(QDir(tmp.path() + "/a/b/export_images").entryList(QDir::Files).size(), 1);

    QFile blocker(tmp.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    view->folder = blocker.fileName();
    view->exportImage();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen[1].title, "Save Image Failed");
    EXPECT_TRUE(boxes.seen[1].text.startsWith(
        "Failed to save image to \"" + QDir::toNativeSeparators(blocker.fileName()) + "/export_images/amplitude_"))
        << boxes.seen[1].text.toStdString();
    EXPECT_TRUE(boxes.seen[1].text.endsWith(".jpg\"."));
}

TEST(PlaneViewExportFolder, IsTheFolderOfTheProgramAsStarted)
{
    Host host;
    DataFormat amplitude("amplitude");
    auto view = host.view(&amplitude);
    EXPECT_EQ(QDir(view->programFolder()).canonicalPath(),
              QDir(QCoreApplication::applicationDirPath()).canonicalPath());
}
