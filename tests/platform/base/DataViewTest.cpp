#include "platform/base/DataFormat.h"
#include "platform/base/DataView.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/base/ViewCommunicator.h"
#include "platform/plot/ViewBox.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

namespace {

// A view that counts the format calls that reach it through the base.
class RecordingView : public DataView {
public:
    using DataView::DataView;
    void setDataFormat(DataFormat* format) override
    {
        ++formatCalls;
        DataView::setDataFormat(format);
    }
    int formatCalls = 0;
};

std::unique_ptr<Plot::ViewBox> makeBox(QRectF range)
{
    auto box = std::make_unique<Plot::ViewBox>();
    box->resize(200, 200);
    box->setRange(range);
    return box;
}

QPair<DataView*, Plot::ViewBox*> entry(DataView* view, Plot::ViewBox* box)
{
    return qMakePair(view, box);
}

// Two views at hand; whatever a test leaves linked is unlinked after it.
class DataViewTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        a.unlink();
        b.unlink();
        EXPECT_TRUE(DataView::linkedViewBoxes().isEmpty());
    }
    RecordingView a{nullptr, nullptr};
    RecordingView b{nullptr, nullptr};
};

TEST_F(DataViewTest, KeepsEngineFormatAndStatusBarAndCallsOverridesThroughTheBase)
{
    DataFormat amplitude("amplitude");
    DataFormat phase("phase");
    RecordingView view(nullptr, &amplitude);
    EXPECT_EQ(view.getDataFormat(), &amplitude);
    EXPECT_EQ(view.getStatusBar(), nullptr);
    EXPECT_EQ(view.formatCalls, 0); // the constructor only keeps it

    DataView& base = view;
    base.setDataFormat(&phase);
    EXPECT_EQ(view.formatCalls, 1);
    EXPECT_EQ(view.getDataFormat(), &phase);

    StatusMessageBar bar;
    base.setStatusBar(&bar);
    EXPECT_EQ(view.getStatusBar(), &bar);
    base.setDataFormat(nullptr);
    EXPECT_EQ(view.getDataFormat(), nullptr);
}

TEST_F(DataViewTest, CommunicatorIsOneSharedHub)
{
    ViewCommunicator* hub = DataView::communicator();
    ASSERT_NE(hub, nullptr);
    EXPECT_EQ(hub, DataView::communicator());
    QSignalSpy spy(hub, &ViewCommunicator::thresholdsChanged);
    emit hub->thresholdsChanged("depth", 0, 2500.5);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), "depth");
    EXPECT_DOUBLE_EQ(spy.at(0).at(2).toDouble(), 2500.5);
}

TEST_F(DataViewTest, RegistryKeepsInsertionOrderAndUnlinksOnDestruction)
{
    auto boxA = makeBox({0, 0, 80, 60});
    auto boxB = makeBox({0, 0, 80, 60});
    auto boxInner = makeBox({0, 0, 80, 60});
    {
        RecordingView inner(nullptr, nullptr);
        b.link(boxB.get());
        a.link(boxA.get());
        inner.link(boxInner.get());
        EXPECT_TRUE(inner.isLinked());
        const auto entries = DataView::linkedViewBoxes();
        ASSERT_EQ(entries.size(), 3);
        EXPECT_EQ(entries[0], entry(&b, boxB.get()));
        EXPECT_EQ(entries[1], entry(&a, boxA.get()));
        EXPECT_EQ(entries[2], entry(&inner, boxInner.get()));

        // Linking the same box again changes nothing.
        a.link(boxA.get());
        EXPECT_EQ(DataView::linkedViews(), (QList<DataView*>{&b, &a, &inner}));
    }
    // inner is gone: no dangling key, and its box no longer follows.
    EXPECT_EQ(DataView::linkedViews(), (QList<DataView*>{&b, &a}));
    EXPECT_FALSE(boxInner->xLinks().contains(boxA.get()));
    EXPECT_FALSE(boxA->yLinks().contains(boxInner.get()));

    a.unlink();
    EXPECT_FALSE(a.isLinked());
    a.unlink(); // twice is harmless
    EXPECT_EQ(DataView::linkedViews(), (QList<DataView*>{&b}));
}

TEST_F(DataViewTest, LinkedBoxesShareRangesUntilUnlinked)
{
    auto boxA = makeBox({0, 0, 80, 60});
    auto boxB = makeBox({10, 10, 20, 20});
    auto loner = makeBox({0, 0, 5, 5});
    a.link(boxA.get());
    b.link(boxB.get());

    boxA->setRange(QRectF(5, 6, 30, 40));
    EXPECT_EQ(boxB->targetRect(), boxA->targetRect());
    boxB->translateBy(3.0, std::nullopt);
    EXPECT_EQ(boxA->targetRect(), boxB->targetRect());
    EXPECT_EQ(loner->targetRect(), QRectF(0, 0, 5, 5));

    const QRectF shared = boxA->targetRect();
    b.unlink();
    boxB->setRange(QRectF(0, 0, 1, 1));
    EXPECT_EQ(boxA->targetRect(), shared);
    boxA->setRange(QRectF(0, 0, 7, 7));
    EXPECT_EQ(boxB->targetRect(), QRectF(0, 0, 1, 1));
    a.unlink();
}

TEST_F(DataViewTest, BoxesOfDifferentShapesFollowEachOtherWithoutDrifting)
{
    // Aspect-locked boxes of other sizes widen their visible range; the
    // shared request must stay put instead of growing on every round trip.
    auto wide = makeBox({0, 0, 80, 60});
    auto tall = makeBox({0, 0, 80, 60});
    wide->resize(400, 100);
    tall->resize(100, 400);
    wide->setAspectLocked(true);
    tall->setAspectLocked(true);
    a.link(wide.get());
    b.link(tall.get());
    QSignalSpy spy(tall.get(), &Plot::ViewBox::sigRangeChanged);

    wide->setRange(QRectF(0, 0, 80, 60));
    const QRectF target = tall->targetRect();
    for (int i = 0; i < 5; ++i) {
        wide->setRange(wide->targetRect());
        tall->setRange(tall->targetRect());
    }
    EXPECT_EQ(tall->targetRect(), target);
    EXPECT_EQ(wide->targetRect(), target);
    EXPECT_LT(spy.count(), 20); // bounded: no ping-pong between the two
}

TEST_F(DataViewTest, RelinkingWithAnotherBoxReplacesTheOldOne)
{
    auto first = makeBox({0, 0, 80, 60});
    auto second = makeBox({0, 0, 10, 10});
    auto other = makeBox({0, 0, 80, 60});
    a.link(first.get());
    b.link(other.get());
    a.link(second.get());

    const auto entries = DataView::linkedViewBoxes();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].first, &b); // a left and came back last
    EXPECT_EQ(entries[1], entry(&a, second.get()));
    other->setRange(QRectF(1, 2, 3, 4));
    EXPECT_EQ(second->targetRect(), QRectF(1, 2, 3, 4));
    EXPECT_NE(first->targetRect(), QRectF(1, 2, 3, 4));
}

TEST_F(DataViewTest, BoxDestroyedFirstLeavesANullEntryAndUnlinkStillWorks)
{
    auto boxA = makeBox({0, 0, 80, 60});
    auto boxB = makeBox({0, 0, 80, 60});
    a.link(boxA.get());
    b.link(boxB.get());
    boxA.reset();
    const auto entries = DataView::linkedViewBoxes();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].second, nullptr);
    boxB->setRange(QRectF(0, 0, 4, 4)); // no dangling follower
    a.unlink();
    b.unlink();
    EXPECT_TRUE(boxB->xLinks().isEmpty());
}

} // namespace
