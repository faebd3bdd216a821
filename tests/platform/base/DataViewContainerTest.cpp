// The container as the platform offers it: its view comes from the factory
// installed last, and frames, resets, showing and the status bar reach it.

#include "platform/base/DataEngine.h"
#include "platform/base/DataFormat.h"
#include "platform/base/DataView.h"
#include "platform/base/DataViewContainer.h"
#include "platform/base/StatusMessageBar.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// A view that counts what reaches it.
class CountingView : public DataView {
public:
    using DataView::DataView;
    void resetView() override { ++resets; }
    void ShowView(bool isShow) override { shown << isShow; }
    void displayData() override { ++frames; }
    int resets = 0;
    int frames = 0;
    QList<bool> shown;
};

struct Made {
    DataEngine* engine = nullptr;
    QString format;
    bool link = false;
    bool depth = false;
    QWidget* parent = nullptr;
};

class ContainerFactory : public ::testing::Test {
protected:
    void SetUp() override
    {
        DataViewContainer::setViewFactory(
            [this](DataEngine* engine, DataFormat* format, bool link, bool depth, QWidget* parent) -> DataView* {
                made.push_back({engine, format->name, link, depth, parent});
                if (format->name == "none")
                    return nullptr;
                return new CountingView(engine, format, parent);
            });
    }
    void TearDown() override { DataViewContainer::setViewFactory(nullptr); }

    std::vector<Made> made;
    DataEngine engine{nullptr};
};

TEST_F(ContainerFactory, TheViewComesFromTheFactoryWithWhatTheContainerWasGiven)
{
    DataViewContainer linked(&engine, "amplitude", true, true);
    DataViewContainer plain(&engine, "phase");
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0].engine, &engine);
    EXPECT_EQ(made[0].format, "amplitude");
    EXPECT_TRUE(made[0].link);
    EXPECT_TRUE(made[0].depth);
    EXPECT_EQ(made[0].parent, &linked);
    EXPECT_FALSE(made[1].link);
    EXPECT_FALSE(made[1].depth);

    auto* view = dynamic_cast<CountingView*>(linked.view());
    ASSERT_TRUE(view);
    EXPECT_EQ(linked.view(), view);
    EXPECT_EQ(view->getDataFormat()->name, "amplitude");
    EXPECT_NE(view->getDataFormat(), plain.view()->getDataFormat()); // a format of its own each
}

TEST_F(ContainerFactory, FramesResetsShowingAndTheStatusBarReachTheView)
{
    DataViewContainer container(&engine, "amplitude");
    auto* view = dynamic_cast<CountingView*>(container.view());
    ASSERT_TRUE(view);
    QSignalSpy resets(&container, &DataViewContainer::resetViewCalled);
    QSignalSpy shows(&container, &DataViewContainer::showViewCalled);

    emit engine.frameUpdated();
    emit engine.frameUpdated();
    EXPECT_EQ(view->frames, 2);
    container.resetView();
    EXPECT_EQ(view->resets, 1);
    EXPECT_EQ(resets.count(), 1);
    container.ShowView(false);
    container.ShowView(true);
    EXPECT_EQ(view->shown, QList<bool>({false, true}));
    ASSERT_EQ(shows.count(), 2);
    EXPECT_FALSE(shows[0][0].toBool());
    StatusMessageBar bar;
    container.setStatusBar(&bar);
    EXPECT_EQ(view->getStatusBar(), &bar);
}

TEST_F(ContainerFactory, WithoutAViewTheCallsAreStillAnnounced)
{
    DataViewContainer none(&engine, "none");
    DataViewContainer::setViewFactory(nullptr);
    DataViewContainer noFactory(&engine, "amplitude");
    for (DataViewContainer* container : {&none, &noFactory}) {
        EXPECT_FALSE(container->view());
        QSignalSpy resets(container, &DataViewContainer::resetViewCalled);
        QSignalSpy shows(container, &DataViewContainer::showViewCalled);
        container->resetView();
        container->ShowView(true);
        container->setStatusBar(nullptr);
        emit engine.frameUpdated();
        EXPECT_EQ(resets.count(), 1);
        EXPECT_EQ(shows.count(), 1);
    }
}

} // namespace
