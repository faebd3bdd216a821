#include "Kelvra/views/EffectFilterPage.h"

#include "Kelvra/dialogs/FilterSettingsDialog.h"
#include "Kelvra/models/FilterChainModel.h"
#include "Kelvra/models/StreamHub.h"
#include "platform/log/Logger.h"
#include "tests/Kelvra/common/CaptureStream.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"
#include "tests/Kelvra/views/ParamTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using Kelvra::FilterSettingsDialog;
using Kelvra::PointCloudEffectSettingView;
using ParamTest::MessageBoxWatcher;

namespace {

// Filters in the camera's chain of one frame type.
std::vector<Tavik::FilterPtr> chain(const Tavik::DepthCameraPtr& camera, Tavik::FrameType type)
{
    auto& state = *camera->state();
    return state.withLock([&] {
        std::vector<Tavik::FilterPtr> out;
        for (const auto& entry : state.chains[static_cast<size_t>(type)])
            out.push_back(entry.filter);
        return out;
    });
}

std::vector<FilterSettingsDialog*> openDialogs()
{
    return KelvraTest::visibleTopLevels<FilterSettingsDialog>();
}

void deleteLaterNow()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class EffectFilterPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto devices = system.scan();
        cameraA = system.connect(devices[0]);
        cameraB = system.connect(devices[1]);
        ASSERT_TRUE(cameraA && cameraB);
        hub = std::make_unique<Kelvra::StreamHub>(&system, cameraA);
        page = std::make_unique<PointCloudEffectSettingView>(nullptr, &system, hub.get());
    }
    void TearDown() override
    {
        for (auto* d : openDialogs())
            d->close();
        deleteLaterNow();
    }

    // Chooses the combo entry of that full filter name.
    void choose(const std::string& fullName)
    {
        const auto& names = page->filters;
        const auto it = std::find(names.begin(), names.end(), fullName);
        ASSERT_NE(it, names.end()) << fullName;
        page->modeList->setCurrentIndex(static_cast<int>(it - names.begin()) + 1);
    }
    int rows() const { return page->filterslayout->count(); }
    QHBoxLayout* row(int i) const { return static_cast<QHBoxLayout*>(page->filterslayout->itemAt(i)->layout()); }
    QCheckBox* checkBox(int i) const { return qobject_cast<QCheckBox*>(row(i)->itemAt(0)->widget()); }
    QPushButton* button(int i) const { return qobject_cast<QPushButton*>(row(i)->itemAt(2)->widget()); }
    int calls(const Tavik::DepthCameraPtr& camera) { return system.simulation().filterCalls(camera); }

    Tavik::CameraSystem system;
    Tavik::DepthCameraPtr cameraA, cameraB;
    std::unique_ptr<Kelvra::StreamHub> hub;
    std::unique_ptr<PointCloudEffectSettingView> page;
};

TEST_F(EffectFilterPageTest, BuildsThePromptAndShortNamesWithoutTouchingTheCamera)
{
    EXPECT_EQ(PointCloudEffectSettingView::getID(), "pointcloud_effect_setting");
    EXPECT_EQ(page->getTitle(), "Filters Setting");
    EXPECT_EQ(page->filters, system.getSupportedFilters());
    ASSERT_EQ(page->modeList->count(), static_cast<int>(page->filters.size()) + 1);
    EXPECT_EQ(page->modeList->itemText(0), "  Please Select ");
    for (size_t i = 0; i < page->filters.size(); ++i)
        EXPECT_EQ(page->modeList->itemText(static_cast<int>(i) + 1),
                  PointCloudEffectSettingView::shortName(page->filters[i]));
    EXPECT_EQ(page->modeList->currentIndex(), 0);
    EXPECT_EQ(page->modeList->minimumContentsLength(), 12);
    EXPECT_EQ(page->filtersLabel->text(), "Filters:");
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(page->currentFilterIndex, -1);
    EXPECT_EQ(calls(cameraA), 0);
    // The rows sit above the chooser line.
    EXPECT_EQ(page->vlayout->itemAt(0)->layout(), page->filterslayout);
    EXPECT_EQ(page->vlayout->itemAt(1)->layout(), page->hlayoutFilterList);
}

TEST(EffectFilterPageNames, ShortNameIsTheSecondPartOrTheWholeName)
{
    EXPECT_EQ(PointCloudEffectSettingView::shortName("Tavik::MedianFilter"), "MedianFilter");
    EXPECT_EQ(PointCloudEffectSettingView::shortName("Tavik::PointCloud::OutlierFilter"), "PointCloud");
    EXPECT_EQ(PointCloudEffectSettingView::shortName("NoNamespace"), "NoNamespace");
    EXPECT_EQ(PointCloudEffectSettingView::shortName("Tavik::"), "");
}

TEST_F(EffectFilterPageTest, ChoosingAFilterAddsItToFrameTypeOneWithATickedRow)
{
    MessageBoxWatcher boxes;
    choose("Tavik::MedianFilter");
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(checkBox(0)->text(), "MedianFilter");
    EXPECT_TRUE(checkBox(0)->isChecked());
    EXPECT_FALSE(checkBox(0)->isTristate());
    EXPECT_EQ(button(0)->text(), "Setting");
    EXPECT_EQ(row(0)->spacing(), 3);

    const auto inChain = chain(cameraA, 1);
    ASSERT_EQ(inChain.size(), 1u);
    EXPECT_EQ(inChain[0]->name(), "Tavik::MedianFilter");
    EXPECT_EQ(inChain[0]->frameType(), 1);
    EXPECT_GE(page->currentFilterIndex, 0);
    EXPECT_EQ(page->currentFilterCamera.lock(), cameraA);

    // The temporal median has a row label of its own; back to the prompt adds nothing.
    choose("Tavik::TemporalMedianFilter");
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(checkBox(1)->text(), "TmprMedianFilter");
    EXPECT_EQ(page->modeList->itemText(page->modeList->currentIndex()), "TemporalMedianFilter");
    page->modeList->setCurrentIndex(0);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(calls(cameraA), 2);
    EXPECT_TRUE(boxes.titles.isEmpty());
}

TEST_F(EffectFilterPageTest, UntickingRemovesTheRowThenTheFilterByItsOwnIndex)
{
    choose("Tavik::MedianFilter");
    page->modeList->setCurrentIndex(0);
    choose("Tavik::MedianFilter"); // the same name twice: two filters, two rows
    ASSERT_EQ(rows(), 2);
    const auto both = chain(cameraA, 1);
    ASSERT_EQ(both.size(), 2u);

    page->show();
    QPointer<QCheckBox> second = checkBox(1);
    QPointer<QPushButton> secondButton = button(1);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return second->isVisible(); }));
    MessageBoxWatcher boxes;
    second->click();
    EXPECT_EQ(rows(), 1);
    EXPECT_FALSE(second->isVisible());
    EXPECT_FALSE(secondButton->isVisible());
    const auto left = chain(cameraA, 1);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], both[0]); // the second filter went, not the first
    EXPECT_TRUE(boxes.titles.isEmpty());

    // The removed row's widgets go once the event loop runs again.
    ASSERT_TRUE(second && secondButton);
    deleteLaterNow();
    EXPECT_FALSE(second);
    EXPECT_FALSE(secondButton);

    checkBox(0)->click();
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(chain(cameraA, 1).empty());
}

TEST_F(EffectFilterPageTest, RefusedRemovalShowsTheBoxAfterTheRowIsGone)
{
    choose("Tavik::MedianFilter");
    QPointer<QCheckBox> box = checkBox(0);
    system.simulation().failNext("removeFilter");
    MessageBoxWatcher boxes;
    int rowsDuringBox = -1;
    bool checkBoxAlive = false;
    boxes.onShow = [&] {
        rowsDuringBox = rows();
        checkBoxAlive = !box.isNull();
    };
    box->click();
    ASSERT_EQ(boxes.titles, QStringList{"Remove Filter Failed"});
    EXPECT_EQ(boxes.texts, QStringList{"Failed to remove filter"});
    EXPECT_EQ(rowsDuringBox, 0);
    // Still delivering its own signal: not deleted under it.
    EXPECT_TRUE(checkBoxAlive);
    EXPECT_EQ(chain(cameraA, 1).size(), 1u); // the filter stays in the chain
    deleteLaterNow();
    EXPECT_FALSE(box);
}

TEST_F(EffectFilterPageTest, ACameraChangeShowsTheChainOfTheCameraNowCurrent)
{
    choose("Tavik::MedianFilter");
    choose("Tavik::BilateralFilter");
    ASSERT_EQ(calls(cameraA), 2);
    hub->setDepthCamera(cameraB);
    EXPECT_EQ(rows(), 0); // a fresh camera has none
    choose("Tavik::TemporalMedianFilter");
    ASSERT_EQ(rows(), 1);
    EXPECT_EQ(chain(cameraB, 1).size(), 1u);

    // Back to the first camera: its filters again; unticking removes from it.
    hub->setDepthCamera(cameraA);
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(checkBox(0)->text(), "MedianFilter");
    EXPECT_EQ(checkBox(1)->text(), "BilateralFilter");
    MessageBoxWatcher boxes;
    checkBox(0)->click();
    EXPECT_TRUE(boxes.titles.isEmpty());
    EXPECT_EQ(calls(cameraA), 3);
    EXPECT_EQ(chain(cameraA, 1).size(), 1u);
    EXPECT_EQ(chain(cameraB, 1).size(), 1u);
    deleteLaterNow();
}

TEST_F(EffectFilterPageTest, RowsKeepNoCameraAlive)
{
    choose("Tavik::MedianFilter");
    choose("Tavik::BilateralFilter");
    ASSERT_EQ(rows(), 2);
    std::weak_ptr<Tavik::DepthCamera> watch = cameraA;
    hub->disconnectDepthCamera(); // no camera: the rows stay
    cameraA.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(rows(), 2);

    // The camera of the rows is gone and another one is current: they go.
    hub->setDepthCamera(cameraB);
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(calls(cameraB), 0);
    deleteLaterNow();
}

TEST_F(EffectFilterPageTest, WithoutACameraNothingIsAddedOrRemoved)
{
    choose("Tavik::MedianFilter");
    const int index = page->currentFilterIndex;
    hub->disconnectDepthCamera();
    ASSERT_FALSE(hub->getDepthCamera());

    MessageBoxWatcher boxes;
    checkBox(0)->click();
    EXPECT_EQ(rows(), 0);
    choose("Tavik::BilateralFilter");
    EXPECT_EQ(rows(), 0);
    const QStringList missing{"Depth Camera Missing", "Depth Camera Missing"};
    EXPECT_EQ(boxes.titles, missing);
    EXPECT_EQ(boxes.texts,
              QStringList({"No depth camera selected to add filter", "No depth camera selected to add filter"}));
    EXPECT_EQ(page->currentFilterIndex, index); // unchanged without a camera
}

TEST_F(EffectFilterPageTest, CreationAndAdditionFailuresBuildNoRow)
{
    MessageBoxWatcher boxes;
    choose("Tavik::MedianFilter");
    const int index = page->currentFilterIndex;

    system.simulation().failNext("createFilter");
    choose("Tavik::BilateralFilter");
    EXPECT_EQ(page->currentFilterIndex, index);

    system.simulation().failNext("addFilter");
    choose("Tavik::TemporalMedianFilter");
    EXPECT_EQ(page->currentFilterIndex, -1);
    EXPECT_TRUE(page->currentFilterCamera.expired());

    // A supported filter that cannot stand in chain 1.
    choose("Tavik::PointCloud::OutlierFilter");

    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(boxes.titles, QStringList({"Filter not found", "Failed to add filter", "Filter not found"}));
    EXPECT_EQ(boxes.texts,
              QStringList({"Could not create filter \"Tavik::BilateralFilter\"",
                           "Could not add filter \"Tavik::TemporalMedianFilter\"",
                           "Could not create filter \"Tavik::PointCloud::OutlierFilter\""}));
    EXPECT_EQ(chain(cameraA, 1).size(), 1u);
}

TEST_F(EffectFilterPageTest, TheLogSaysWhyAFilterWasNotAdded)
{
    QStringList logged;
    QObject receiver;
    QObject::connect(LoggerCore::instance(), &LoggerCore::messageWritten, &receiver,
                     [&](Tavik::LogLevel, const QString& text) { logged << text; });
    MessageBoxWatcher boxes;
    choose("Tavik::PointCloud::OutlierFilter");
    ASSERT_EQ(logged.size(), 1);
    EXPECT_EQ(logged.back(),
              "Could not create filter \"Tavik::PointCloud::OutlierFilter\": it takes only point-cloud frames");

    for (int i = 0; i < 5; ++i) {
        page->modeList->setCurrentIndex(0);
        choose("Tavik::PassThroughFilter");
    }
    EXPECT_EQ(rows(), 4);
    ASSERT_EQ(logged.size(), 2);
    EXPECT_EQ(logged.back(), "Could not add filter \"Tavik::PassThroughFilter\": a chain holds at most 4 filters");
    EXPECT_EQ(boxes.titles, QStringList({"Filter not found", "Failed to add filter"}));
}

TEST_F(EffectFilterPageTest, SettingOpensOneDialogPerClickForTheRowsFilter)
{
    choose("Tavik::BilateralFilter");
    const auto filter = chain(cameraA, 1).at(0);
    button(0)->click();
    button(0)->click();
    const auto dialogs = openDialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    for (auto* dialog : dialogs) {
        EXPECT_EQ(dialog->filter, filter);
        EXPECT_EQ(dialog->parentWidget(), nullptr);
        EXPECT_FALSE(dialog->isModal());
    }
}

TEST_F(EffectFilterPageTest, ConventionHooksChangeNothing)
{
    choose("Tavik::MedianFilter");
    KelvraTest::CaptureStream out;
    QSignalSpy changed(page.get(), &PointCloudEffectSettingView::valueChanged);
    page->releaseDepthCamera();
    page->init();
    page->vertical_flip(2);
    page->auto_exposure(0);
    EXPECT_EQ(rows(), 1);
    EXPECT_TRUE(checkBox(0)->isChecked());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_NE(out.text().find(" filters seeting releaseDepthCamera "), std::string::npos);
    EXPECT_NE(out.text().find("vertical_flip 2"), std::string::npos);
    EXPECT_NE(out.text().find("auto_exposure 0"), std::string::npos);
    EXPECT_EQ(chain(cameraA, 1).size(), 1u);
}

// Filters another editor put into or took out of the camera's chain of frame
// type 1 get rows or lose them once an edit is announced on the controller's
// chain model; the page's own additions and removals are announced, refusals
// are not.
TEST_F(EffectFilterPageTest, FollowsTheChainAndTellsOfItsOwnChanges)
{
    Kelvra::FilterChainModel* model = Kelvra::FilterChainModel::of(hub.get());
    QSignalSpy changed(model, &Kelvra::FilterChainModel::chainsEdited);
    choose("Tavik::MedianFilter");
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(page->rows().size(), 1u);
    QHBoxLayout* own = row(0);

    // Added elsewhere: two to frame type 1 (one before the page's), one to another type.
    const auto add = [&](const std::string& name, Tavik::FrameType type, int before) {
        return cameraA->addFilter(system.createFilter(name, type), type, before);
    };
    const int before = add("Tavik::BilateralFilter", 1, page->rows()[0].second);
    const int after = add("Tavik::TemporalMedianFilter", 1, -1);
    ASSERT_GE(add("Tavik::PassThroughFilter", 2, -1), 0);
    Kelvra::FilterChainModel::edited(hub.get()); // as the other editor does
    EXPECT_EQ(changed.count(), 2); // following is no change of its own
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(row(0), own); // kept, not rebuilt
    EXPECT_EQ(page->rows()[1].second, before);
    EXPECT_EQ(page->rows()[2].second, after);
    EXPECT_EQ(checkBox(1)->text(), "BilateralFilter");
    EXPECT_TRUE(checkBox(1)->isChecked());
    EXPECT_EQ(checkBox(2)->text(), "TmprMedianFilter");

    // Removed elsewhere: its row goes; the others stay.
    ASSERT_TRUE(cameraA->removeFilter(before, 1));
    page->refreshFilters();
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(page->rows()[1].second, after);

    // A row made by following removes its own filter when unticked, and says so.
    checkBox(1)->click();
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(chain(cameraA, 1).size(), 1u);
    EXPECT_EQ(rows(), 1);

    // A refused removal changes no chain: nothing is announced.
    MessageBoxWatcher boxes;
    system.simulation().failNext("removeFilter");
    checkBox(0)->click();
    EXPECT_EQ(boxes.titles, QStringList{"Remove Filter Failed"});
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(rows(), 0);
    // The filter the camera kept gets its row back.
    page->refreshFilters();
    EXPECT_EQ(rows(), 1);

    // Without a camera nothing is followed.
    hub->disconnectDepthCamera();
    page->refreshFilters();
    EXPECT_EQ(rows(), 1);
    deleteLaterNow();
}
