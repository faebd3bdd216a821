#include "host/app/CameraParametersPage.h"

#include "Kelvra/views/ParamControl.h"
#include "tests/Kelvra/views/PageTestSupport.h"

#include <QLabel>
#include <QSignalSpy>
#include <gtest/gtest.h>

using Kelvra::EnumParameterView;
using Kelvra::RangeParameterDetailedView;
using PageTest::shown;
using PageTest::typeInto;
using ParamTest::MessageBoxWatcher;

namespace {

QStringList rowNames(const CameraParametersPage& page)
{
    QStringList names;
    for (const auto& row : page.rows())
        names << QString::fromStdString(row.name);
    return names;
}

} // namespace

class CameraParametersPageTest : public PageTest::PageFixture {
protected:
    std::unique_ptr<CameraParametersPage>
    build(const Tavik::DepthCameraPtr& camera,
          const CameraParametersPage::NameTable& table = Kelvra::CameraDisplayParamMap)
    {
        return std::make_unique<CameraParametersPage>(nullptr, &system, makeHub(camera), false, table);
    }
    float read(const Tavik::DepthCameraPtr& camera, const std::string& name) { return camera->getf(name).value; }
};

TEST_F(CameraParametersPageTest, ListsTheCameraTypesParametersInTableOrder)
{
    auto page = build(connect(PageTest::Quenta14));
    EXPECT_EQ(CameraParametersPage::getID(), "camera_parameters");
    EXPECT_EQ(page->getTitle(), "Camera Parameters");
    // Then dealiasing, which the table leaves out.
    EXPECT_EQ(rowNames(*page),
              QStringList({"intg_time", "illum_volt", "mix_volt", "vco_freq", "mod_freq1", "mod_freq2", "dealias_en"}));
    for (const auto& row : page->rows()) {
        EXPECT_EQ(row.label->text(), row.handler->getName());
        EXPECT_FALSE(row.label->toolTip().isEmpty());
        EXPECT_EQ(qobject_cast<RangeParameterDetailedView*>(row.editor) != nullptr, row.name != "dealias_en")
            << row.name;
    }
    EXPECT_TRUE(qobject_cast<EnumParameterView*>(page->editorOf("dealias_en")));
    EXPECT_TRUE(page->placeholder()->isHidden());
    EXPECT_EQ(shown(page->editorOf("intg_time")), 200);
}

TEST_F(CameraParametersPageTest, LeavesOutWhatTheCameraLacks)
{
    auto quentaD = build(connect(PageTest::QuentaD));
    EXPECT_EQ(rowNames(*quentaD),
              QStringList({"intg_time", "illum_volt", "mix_volt", "mod_freq1", "mod_freq2", "dealias_en"}));

    auto degraded = build(connect(PageTest::Degraded));
    EXPECT_EQ(rowNames(*degraded), QStringList({"intg_time", "mod_freq1"}));

    auto none = build(nullptr);
    EXPECT_TRUE(none->rows().empty());
    EXPECT_FALSE(none->placeholder()->isHidden());
}

TEST_F(CameraParametersPageTest, AWriteRefreshesWhatDependsOnIt)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    QSignalSpy written(page.get(), &CameraParametersPage::valueChanged);
    MessageBoxWatcher boxes;
    ASSERT_EQ(shown(page->editorOf("mod_freq1")), 37.5);

    // A new VCO frequency moves both modulation frequencies with it.
    typeInto(page->editorOf("vco_freq"), 700);
    EXPECT_EQ(camera->getf("vco_freq").value, 700.f);
    EXPECT_EQ(written.count(), 1);
    EXPECT_DOUBLE_EQ(shown(page->editorOf("mod_freq1")), read(camera, "mod_freq1"));
    EXPECT_DOUBLE_EQ(shown(page->editorOf("mod_freq2")), read(camera, "mod_freq2"));
    EXPECT_NE(shown(page->editorOf("mod_freq1")), 37.5);

    typeInto(page->editorOf("intg_time"), 400);
    EXPECT_EQ(camera->getf("intg_time").value, 400.f);
    EXPECT_EQ(written.count(), 2);
    EXPECT_TRUE(boxes.titles.isEmpty());
}

TEST_F(CameraParametersPageTest, RefusedWriteIsPutBackAndAnnouncesNothing)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    QSignalSpy written(page.get(), &CameraParametersPage::valueChanged);
    MessageBoxWatcher boxes;
    system.simulation().failNext("set:intg_time");
    typeInto(page->editorOf("intg_time"), 500);
    EXPECT_EQ(boxes.titles.size(), 1);
    EXPECT_EQ(shown(page->editorOf("intg_time")), 200);
    EXPECT_EQ(written.count(), 0);
}

// Enum and bool kinds have only the compact editor; the page writes its choice.
TEST_F(CameraParametersPageTest, CompactEditorsForEnumAndBoolKinds)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera, {{"Quenta14Camera", {"illum_power", "dealias_en", "intg_time"}}});
    ASSERT_EQ(rowNames(*page), QStringList({"illum_power", "dealias_en", "intg_time"}));
    auto* power = qobject_cast<EnumParameterView*>(page->editorOf("illum_power"));
    auto* dealias = qobject_cast<EnumParameterView*>(page->editorOf("dealias_en"));
    ASSERT_TRUE(power && dealias);
    QSignalSpy written(page.get(), &CameraParametersPage::valueChanged);
    MessageBoxWatcher boxes;

    dealias->setCurrentIndex(1);
    EXPECT_TRUE(Tavik::BoolParameter::typeCast(camera->getParam("dealias_en"))->get().value);
    power->setCurrentIndex(0);
    EXPECT_EQ(camera->getf("illum_power").value, 0.f);
    EXPECT_EQ(written.count(), 2);

    system.simulation().failNext("set:illum_power");
    power->setCurrentIndex(1);
    EXPECT_EQ(boxes.titles, QStringList{"Parameter Set Failed"});
    EXPECT_EQ(boxes.texts, QStringList{"Failed to set parameter \"illum_power\""});
    EXPECT_EQ(power->currentIndex(), 0); // back to what the camera holds
    EXPECT_EQ(camera->getf("illum_power").value, 0.f);
    EXPECT_EQ(written.count(), 2);

    // init() shows values the camera got from elsewhere.
    ASSERT_TRUE(camera->seti("illum_power", 2).ok);
    page->init();
    EXPECT_EQ(power->currentIndex(), 2);
}

TEST_F(CameraParametersPageTest, ReleaseTakesTheRowsAwayAndRebuildFollowsTheCamera)
{
    auto camera = connect(PageTest::Quenta14);
    auto page = build(camera);
    std::weak_ptr<Kelvra::ParamControl> handler = page->rows().front().handler;
    QPointer<QWidget> editor = page->editorOf("intg_time");
    page->releaseDepthCamera();
    EXPECT_TRUE(page->rows().empty());
    EXPECT_FALSE(page->placeholder()->isHidden());
    // An editor not yet deleted refuses: its handler has no camera.
    if (auto held = handler.lock()) {
        EXPECT_FALSE(held->engine);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(editor);
    EXPECT_TRUE(handler.expired());

    hub->setDepthCamera(connect(PageTest::QuentaD));
    page->rebuild();
    EXPECT_EQ(rowNames(*page),
              QStringList({"intg_time", "illum_volt", "mix_volt", "mod_freq1", "mod_freq2", "dealias_en"}));
    EXPECT_TRUE(page->placeholder()->isHidden());
}
