#include "host/app/SettingsDock.h"

#include "host/app/CameraParametersPage.h"
#include "platform/base/DataView.h"
#include "platform/base/ViewCommunicator.h"

#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/ClipRangeView.h"
#include "Kelvra/views/EffectFilterPage.h"
#include "Kelvra/views/ImageOptionsPage.h"
#include "Kelvra/views/ParameterViews.h"
#include "Kelvra/views/UnwrapParamControl.h"
#include "tests/Kelvra/views/PageTestSupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSignalSpy>
#include <QToolBox>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using Kelvra::UnambiguousRangeView;
using PageTest::shown;
using PageTest::typeInto;
using ParamTest::MessageBoxWatcher;

namespace {

QStringList titles(QToolBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

} // namespace

class SettingsDockTest : public PageTest::PageFixture {
protected:
    void SetUp() override
    {
        quenta14 = connect(PageTest::Quenta14);
        quentaD = connect(PageTest::QuentaD);
        dock = std::make_unique<SettingsDock>(nullptr, &system, makeHub(quenta14));
    }

    Tavik::DepthCameraPtr quenta14, quentaD;
    std::unique_ptr<SettingsDock> dock;
};

TEST_F(SettingsDockTest, FilesEveryPageUnderItsIdWithItsTitle)
{
    EXPECT_EQ(dock->windowTitle(), "Settings");
    EXPECT_EQ(dock->widget(), dock->toolBox());
    EXPECT_EQ(titles(dock->toolBox()),
              QStringList({"Filters Setting", "Image Setting", "Unambiguous Range (unambiguous_range)", "Depth Limit",
                           "Camera Parameters"}));
    EXPECT_EQ(dock->page("pointcloud_effect_setting"), dock->effectPage());
    EXPECT_EQ(dock->page("image2d_setting"), dock->imagePage());
    EXPECT_EQ(dock->page("unambiguous_range"), dock->unambiguousRangePage());
    EXPECT_EQ(dock->page("depth_limit_setting"), dock->depthLimitPage());
    EXPECT_EQ(dock->page("camera_parameters"), dock->cameraParametersPage());
    EXPECT_EQ(dock->page("nothing"), nullptr);

    // Built with the camera system and the controller; the range page without the system.
    EXPECT_EQ(dock->effectPage()->cameraSystem, &system);
    EXPECT_EQ(dock->effectPage()->depthCameraController, hub.get());
    EXPECT_EQ(dock->imagePage()->depthCameraController, hub.get());
    EXPECT_EQ(dock->depthLimitPage()->cameraSystem, &system);
    EXPECT_EQ(dock->unambiguousRangePage()->depthCameraController, hub.get());
    EXPECT_EQ(dock->unambiguousRangePage()->depthCamera, quenta14);
    EXPECT_EQ(dock->cameraParametersPage()->rows().size(), 7u);
}

TEST_F(SettingsDockTest, ReleaseDropsEveryCameraReference)
{
    dock->releaseDepthCamera();
    EXPECT_FALSE(dock->unambiguousRangePage()->depthCamera);
    EXPECT_FALSE(dock->unambiguousRangePage()->param);
    EXPECT_TRUE(dock->cameraParametersPage()->rows().empty());

    // Then the camera goes: an edit left in the range page is refused.
    hub->disconnectDepthCamera();
    MessageBoxWatcher boxes;
    typeInto(dock->unambiguousRangePage()->paramWidget, 6.0);
    EXPECT_EQ(boxes.titles, QStringList{"Parameter set failed"});
}

TEST_F(SettingsDockTest, ANewCameraGetsANewRangePageInTheSamePlace)
{
    dock->toolBox()->setCurrentIndex(2);
    QPointer<UnambiguousRangeView> old = dock->unambiguousRangePage();
    dock->releaseDepthCamera();
    hub->setDepthCamera(quentaD);
    dock->onDepthCameraSet();

    UnambiguousRangeView* fresh = dock->unambiguousRangePage();
    ASSERT_NE(fresh, old.data());
    EXPECT_EQ(dock->pageAt(2), fresh);
    EXPECT_EQ(dock->toolBox()->itemText(2), "Unambiguous Range (unambiguous_range)");
    EXPECT_EQ(dock->toolBox()->currentIndex(), 2);
    EXPECT_EQ(dock->toolBox()->count(), 5);
    EXPECT_EQ(fresh->depthCamera, quentaD);
    EXPECT_EQ(fresh->paramSetToShow, "meridian.tk");
    EXPECT_EQ(dock->page("unambiguous_range"), fresh);
    EXPECT_EQ(dock->cameraParametersPage()->rows().size(), 6u);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(old);
}

TEST_F(SettingsDockTest, ParameterWritesAndRangeEditsRefreshEachOther)
{
    CameraParametersPage* params = dock->cameraParametersPage();
    UnambiguousRangeView* rangePage = dock->unambiguousRangePage();
    QSignalSpy thresholds(DataView::communicator(), &ViewCommunicator::thresholdsChanged);
    MessageBoxWatcher boxes;

    // A new modulation frequency changes the range: the range page follows.
    typeInto(params->editorOf("mod_freq1"), 50);
    ASSERT_EQ(thresholds.count(), 1);
    EXPECT_EQ(thresholds.last().at(2).toDouble(), static_cast<double>(range(quenta14)));
    EXPECT_NEAR(shown(rangePage->paramWidget), range(quenta14), 0.01);
    EXPECT_TRUE(rangePage->details->text().contains("mod_freq1 = 50"));

    // A new range changes the frequency: the parameters page follows.
    typeInto(rangePage->paramWidget, 5.0);
    EXPECT_NEAR(range(quenta14), 5.0, 0.3);
    EXPECT_DOUBLE_EQ(shown(params->editorOf("mod_freq1")), quenta14->getf("mod_freq1").value);
    EXPECT_NE(shown(params->editorOf("mod_freq1")), 50.0);
    EXPECT_TRUE(boxes.titles.isEmpty());
}

// The image options page reads the camera at each start, through the controller it was given.
TEST_F(SettingsDockTest, ImagePageFollowsTheControllersStarts)
{
    emit hub->started();
    EXPECT_EQ(dock->imagePage()->displayCone->text(), "Display Cone (FOV-H: 77,FOV-V:61)");
}

// Every page stands at the top of its item at its own height, the rest of
// the item empty below, whatever the dock's height.
TEST_F(SettingsDockTest, PagesReadFromTheTopAtTheirOwnHeight)
{
    dock->resize(420, 900);
    dock->show();
    for (int i = 0; i < dock->toolBox()->count(); ++i) {
        dock->toolBox()->setCurrentIndex(i);
        QCoreApplication::processEvents();
        QWidget* page = dock->pageAt(i);
        ASSERT_TRUE(page) << i;
        const std::string title = dock->toolBox()->itemText(i).toStdString();
        EXPECT_EQ(page->y(), 0) << title;
        EXPECT_EQ(page->height(), page->sizeHint().height()) << title;
        // The item is much taller than these pages' few rows.
        EXPECT_GT(page->parentWidget()->height(), page->height() + 100) << title;
    }
    // In a dock shorter than a page, the page keeps its height and scrolls.
    dock->resize(420, 260);
    QCoreApplication::processEvents();
    QWidget* page = dock->cameraParametersPage();
    EXPECT_EQ(page->height(), page->sizeHint().height());
    auto* scroll = qobject_cast<QScrollArea*>(page->parentWidget()->parentWidget()->parentWidget());
    ASSERT_TRUE(scroll);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
}

// Every place of the range page's slider is one the camera takes, with
// dealiasing off and on; a parameter the range depends on, written on the
// parameters page, gives the slider the new limits.
TEST_F(SettingsDockTest, TheRangeSliderOffersOnlyWhatTheCameraTakes)
{
    auto* editor = qobject_cast<Kelvra::RangeParameterDetailedView*>(dock->unambiguousRangePage()->paramWidget);
    ASSERT_TRUE(editor);
    auto* spin = qobject_cast<QDoubleSpinBox*>(editor->spinbox);
    ASSERT_TRUE(spin);
    const auto param = Tavik::FloatParameter::typeCast(quenta14->getParam("unambiguous_range"));
    MessageBoxWatcher boxes;
    const auto dragAcross = [&] {
        int written = 0;
        for (int v = editor->slider->minimum(); v <= editor->slider->maximum(); ++v) {
            editor->slider->setValue(v);
            written +=
                std::abs(range(quenta14) - std::clamp<float>(v, param->lowerLimit(), param->upperLimit())) < 0.5f;
        }
        for (int v = editor->slider->maximum(); v >= editor->slider->minimum(); --v)
            editor->slider->setValue(v);
        return written;
    };
    EXPECT_NEAR(spin->maximum(), 7.49, 1e-9); // 20 MHz: no further
    EXPECT_EQ(editor->slider->maximum(), 8); // its last position stands for 7.49
    EXPECT_GE(dragAcross(), 5);
    EXPECT_TRUE(boxes.titles.isEmpty()) << boxes.titles.join(',').toStdString();

    // Dealiasing turned on on the parameters page: the range page follows.
    auto* dealias = qobject_cast<Kelvra::EnumParameterView*>(dock->cameraParametersPage()->editorOf("dealias_en"));
    ASSERT_TRUE(dealias);
    dealias->setCurrentIndex(1);
    EXPECT_TRUE(dock->unambiguousRangePage()->details->text().contains("dealias_en = True"));
    EXPECT_NEAR(spin->maximum(), param->upperLimit(), 0.005);
    EXPECT_GT(spin->maximum(), 7.49);
    typeInto(dock->cameraParametersPage()->editorOf("mod_freq1"), 40); // the page writes: the range page follows
    EXPECT_NEAR(spin->maximum(), param->upperLimit(), 0.005);
    EXPECT_EQ(editor->slider->maximum(), 15);
    EXPECT_NEAR(spin->minimum(), param->lowerLimit(), 0.005);
    EXPECT_GE(dragAcross(), 10);
    EXPECT_TRUE(boxes.titles.isEmpty()) << boxes.titles.join(',').toStdString();
}
