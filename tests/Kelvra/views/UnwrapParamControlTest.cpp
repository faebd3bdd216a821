#include "Kelvra/views/UnwrapParamControl.h"

#include "Kelvra/models/StreamHub.h"
#include "platform/base/DataView.h"
#include "platform/base/ViewCommunicator.h"
#include "tests/Kelvra/views/PageTestSupport.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QSlider>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using Kelvra::RangeParameterDetailedView;
using Kelvra::UnambiguousRangeView;
using PageTest::shown;
using PageTest::typeInto;
using ParamTest::MessageBoxWatcher;

namespace {

// The names of the summary's lines, in order.
QStringList summaryNames(const UnambiguousRangeView& page)
{
    QStringList names;
    for (const QString& line : page.details->text().split('\n', Qt::SkipEmptyParts))
        names << line.section(" = ", 0, 0);
    return names;
}

QStringList names(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* n : list)
        out << n;
    return out;
}

const QStringList COMMON = names({"dealias_en", "mod_freq1", "quad_cnt_max", "sub_frame_cnt_max"});
const QStringList COMMON_DEALIASING =
    COMMON + names({"mod_freq2", "ma", "mb", "dealias_16bit_op_enable", "dealiased_ph_mask"});
const QStringList MERIDIAN = names({"dealias_en", "alt_frm_en", "mod_freq1", "sub_frame_cnt_max1"});
const QStringList MERIDIAN_DEALIASING = MERIDIAN + names({"alt_freq_sel", "sub_frame_cnt_max2", "sup_frm_intg_scale"});

} // namespace

class UnwrapParamControlTest : public PageTest::PageFixture {
protected:
    std::unique_ptr<UnambiguousRangeView> build(const Tavik::DepthCameraPtr& camera)
    {
        return std::make_unique<UnambiguousRangeView>(nullptr, makeHub(camera));
    }
    static RangeParameterDetailedView* editor(const UnambiguousRangeView& page)
    {
        return qobject_cast<RangeParameterDetailedView*>(page.paramWidget);
    }

    QSignalSpy thresholds{DataView::communicator(), &ViewCommunicator::thresholdsChanged};
};

TEST_F(UnwrapParamControlTest, BuildsTheEditorAndBroadcastsTheRangeFromTheConstructor)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    EXPECT_EQ(UnambiguousRangeView::getID(), "unambiguous_range");
    EXPECT_EQ(page->getTitle(), "Unambiguous Range (unambiguous_range)");
    EXPECT_EQ(page->chipset, "sim.common");
    EXPECT_EQ(page->paramSetToShow, "common");
    ASSERT_TRUE(editor(*page));
    EXPECT_EQ(editor(*page)->parentWidget(), page.get());
    EXPECT_EQ(editor(*page)->paramHandler, page->param); // one handler, shared
    EXPECT_EQ(page->details->styleSheet(), "QLabel { color: #777; }");

    ASSERT_EQ(thresholds.count(), 1);
    EXPECT_EQ(thresholds.at(0).at(0).toString(), "depth");
    EXPECT_EQ(thresholds.at(0).at(1).toDouble(), 0.0);
    EXPECT_EQ(thresholds.at(0).at(2).toDouble(), static_cast<double>(range(camera)));

    EXPECT_EQ(summaryNames(*page), COMMON);
    EXPECT_TRUE(page->details->text().startsWith("dealias_en = False (Off)\n")) << page->details->text().toStdString();
    EXPECT_TRUE(page->details->text().endsWith("\n"));
}

TEST_F(UnwrapParamControlTest, SummaryFollowsChipsetAndDealiasing)
{
    auto quenta14 = connect(PageTest::Quenta14);
    auto page = build(quenta14);
    ASSERT_TRUE(quenta14->setb("dealias_en", true).ok);
    page->init();
    EXPECT_EQ(summaryNames(*page), COMMON_DEALIASING);

    auto quentaD = connect(PageTest::QuentaD);
    auto meridian = build(quentaD);
    EXPECT_EQ(meridian->paramSetToShow, "meridian.tk");
    EXPECT_EQ(summaryNames(*meridian), MERIDIAN);
    ASSERT_TRUE(quentaD->setb("dealias_en", true).ok);
    meridian->init();
    EXPECT_EQ(summaryNames(*meridian), MERIDIAN_DEALIASING);
}

TEST_F(UnwrapParamControlTest, UnreadableSwitchShowsUnknownAndCountsAsOff)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    ASSERT_TRUE(camera->setb("dealias_en", true).ok);
    system.simulation().failNext("get:dealias_en", 100);
    page->init();
    system.simulation().clearFailures();
    EXPECT_EQ(summaryNames(*page), COMMON);
    EXPECT_TRUE(page->details->text().startsWith("dealias_en = (Unknown)\n"));
}

TEST_F(UnwrapParamControlTest, UnreadableRangeEmitsNothingAndKeepsTheSummary)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    const QString before = page->details->text();
    thresholds.clear();
    ASSERT_TRUE(camera->setb("dealias_en", true).ok);
    system.simulation().failNext("get:unambiguous_range", 100);
    page->init();
    system.simulation().clearFailures();
    EXPECT_EQ(thresholds.count(), 0);
    EXPECT_EQ(page->details->text(), before);
}

TEST_F(UnwrapParamControlTest, InertWithoutCameraAndUnavailableWithoutParameter)
{
    auto inert = build(nullptr);
    EXPECT_FALSE(inert->paramWidget);
    EXPECT_FALSE(inert->param);
    EXPECT_TRUE(inert->details->text().isEmpty());
    inert->init();

    auto degraded = connect(PageTest::Degraded); // no "unambiguous_range", empty chipset
    auto page = build(degraded);
    EXPECT_EQ(page->chipset, "");
    EXPECT_EQ(page->paramSetToShow, "common");
    EXPECT_FALSE(page->paramWidget);
    EXPECT_EQ(page->details->text(), "Parameter not available");
    page->init();
    EXPECT_EQ(page->details->text(), "Parameter not available");
    EXPECT_EQ(thresholds.count(), 0);
}

TEST_F(UnwrapParamControlTest, SuccessfulEditRefreshesBeforeTheHostHearsOfIt)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    thresholds.clear();
    int thresholdsSeenByHost = -1;
    QObject::connect(page.get(), &UnambiguousRangeView::valueChanged,
                     [&] { thresholdsSeenByHost = thresholds.count(); });
    QSignalSpy changed(page.get(), &UnambiguousRangeView::valueChanged);
    MessageBoxWatcher boxes;

    typeInto(page->paramWidget, 6.0);

    EXPECT_TRUE(boxes.titles.isEmpty());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(thresholdsSeenByHost, 1);
    ASSERT_GE(thresholds.count(), 1);
    // The range as read back from the camera, which sets it through the
    // modulation frequencies.
    EXPECT_EQ(thresholds.last().at(2).toDouble(), static_cast<double>(range(camera)));
    EXPECT_NEAR(range(camera), 6.0, 0.2);
}

// With dealiasing the editor's upper limit is reached: the box reads it and
// the handle stays at the end.
TEST_F(UnwrapParamControlTest, TheUpperLimitIsReachedWithDealiasing)
{
    auto camera = connect(PageTest::Quenta14);
    ASSERT_TRUE(camera->setf("mod_freq1", 30.f).ok);
    ASSERT_TRUE(camera->setb("dealias_en", true).ok);
    auto page = build(camera);
    RangeParameterDetailedView* view = editor(*page);
    ASSERT_TRUE(view);
    auto* box = qobject_cast<QDoubleSpinBox*>(view->spinbox);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->maximum(), 15.0);
    MessageBoxWatcher boxes;

    QTest::keyClick(view->slider, Qt::Key_End);
    EXPECT_EQ(box->value(), 15.0);
    EXPECT_EQ(view->slider->value(), view->slider->maximum());
    EXPECT_GE(range(camera), 14.995f);

    typeInto(view, 9.0);
    typeInto(view, 15.0);
    EXPECT_EQ(box->value(), 15.0);
    EXPECT_EQ(view->slider->value(), view->slider->maximum());
    EXPECT_TRUE(boxes.titles.isEmpty());
}

TEST_F(UnwrapParamControlTest, RefusedEditIsPutBackAndAnnouncesNothing)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    thresholds.clear();
    QSignalSpy changed(page.get(), &UnambiguousRangeView::valueChanged);
    const double before = shown(page->paramWidget);

    MessageBoxWatcher boxes;
    system.simulation().failNext("set:unambiguous_range");
    typeInto(page->paramWidget, 9.0);
    EXPECT_EQ(boxes.titles, QStringList{"Parameter set failed"});
    EXPECT_EQ(shown(page->paramWidget), before);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(thresholds.count(), 0);
}

TEST_F(UnwrapParamControlTest, EditAfterReleaseIsRefusedWithoutReachingTheCamera)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    auto* view = editor(*page);
    std::weak_ptr<Kelvra::ParamControl> handler = page->param;
    page->releaseDepthCamera();
    page->releaseDepthCamera(); // harmless twice
    EXPECT_FALSE(page->param);
    EXPECT_FALSE(page->depthCamera);
    // The editor stays and still holds the handler, which has no engine now.
    ASSERT_EQ(editor(*page), view);
    ASSERT_FALSE(handler.expired());
    EXPECT_FALSE(handler.lock()->engine);

    thresholds.clear();
    QSignalSpy changed(page.get(), &UnambiguousRangeView::valueChanged);
    const int writes = system.simulation().setterCalls(camera, "unambiguous_range");
    const float before = range(camera);
    const double shownBefore = shown(view);
    MessageBoxWatcher boxes;
    typeInto(view, 10.0);

    EXPECT_EQ(boxes.titles, QStringList{"Parameter set failed"});
    EXPECT_EQ(shown(view), shownBefore);
    EXPECT_EQ(system.simulation().setterCalls(camera, "unambiguous_range"), writes);
    EXPECT_EQ(range(camera), before);
    EXPECT_EQ(changed.count(), 0);
    page->init();
    EXPECT_EQ(thresholds.count(), 0);
}

// The camera may go for good after a release: the editor keeps only what
// refuses politely.
TEST_F(UnwrapParamControlTest, EditAfterTheCameraIsGone)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    page->releaseDepthCamera();
    hub->disconnectDepthCamera();
    std::weak_ptr<Tavik::DepthCamera> watch = camera;
    camera.reset();
    EXPECT_TRUE(watch.expired());

    ASSERT_TRUE(editor(*page));
    MessageBoxWatcher boxes;
    QTest::keyClick(editor(*page)->spinbox, Qt::Key_Up);
    EXPECT_EQ(boxes.titles, QStringList{"Parameter set failed"});
}
