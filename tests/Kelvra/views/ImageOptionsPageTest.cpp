#include "Kelvra/views/ImageOptionsPage.h"

#include "Kelvra/models/StreamHub.h"
#include "platform/base/DataView.h"
#include "platform/base/ViewCommunicator.h"
#include "tests/Kelvra/common/CaptureStream.h"

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Simulation.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using Kelvra::Image2DSettingView;

namespace {

const QString FOV_200_160_120 = "Display Cone (FOV-H: 77,FOV-V:61)";

// Every view-hub signal the page could send.
struct HubSpies {
    ViewCommunicator* hub = DataView::communicator();
    QSignalSpy h{hub, &ViewCommunicator::hFlipChanged};
    QSignalSpy v{hub, &ViewCommunicator::vFlipChanged};
    QSignalSpy cone{hub, &ViewCommunicator::displayConeToggle};
    QSignalSpy thresholds{hub, &ViewCommunicator::thresholdsChanged};
    QSignalSpy lens{hub, &ViewCommunicator::lensFocusing};
    int total() const { return h.count() + v.count() + cone.count() + thresholds.count() + lens.count(); }
};

std::shared_ptr<Tavik::CameraProfile> profile(int id, std::map<std::string, float> calib)
{
    return std::make_shared<Tavik::CameraProfile>(id, 320, 240, std::move(calib));
}

} // namespace

class ImageOptionsPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        camera = system.connect(system.scan().front());
        ASSERT_TRUE(camera);
    }
    // The controller announces a start, as a live source does after start().
    void started(Kelvra::StreamHub& hub) { emit hub.started(); }

    Tavik::CameraSystem system;
    Tavik::DepthCameraPtr camera;
};

TEST_F(ImageOptionsPageTest, BuildsThreeSwitchesAndSendsNothing)
{
    HubSpies spies;
    Kelvra::StreamHub hub(&system, camera);
    Image2DSettingView page(nullptr, &system, &hub);
    EXPECT_EQ(Image2DSettingView::getID(), "image2d_setting");
    EXPECT_EQ(page.getTitle(), "Image Setting");
    EXPECT_EQ(page.image_horizontal_flip->text(), "Horizontal Flip (2D) ");
    EXPECT_EQ(page.image_vertical_flip->text(), "Vertical Flip (2D) ");
    EXPECT_EQ(page.displayCone->text(), "Display Cone");
    EXPECT_FALSE(page.image_horizontal_flip->isChecked());
    EXPECT_FALSE(page.image_vertical_flip->isChecked());
    EXPECT_TRUE(page.displayCone->isChecked());
    EXPECT_EQ(spies.total(), 0);
}

TEST_F(ImageOptionsPageTest, EachSwitchBroadcastsItsStateOnce)
{
    Kelvra::StreamHub hub(&system, camera);
    Image2DSettingView page(nullptr, &system, &hub);
    HubSpies spies;

    page.image_horizontal_flip->click();
    page.image_horizontal_flip->click();
    ASSERT_EQ(spies.h.count(), 2);
    EXPECT_TRUE(spies.h.at(0).at(0).toBool());
    EXPECT_FALSE(spies.h.at(1).at(0).toBool());

    page.image_vertical_flip->click();
    ASSERT_EQ(spies.v.count(), 1);
    EXPECT_TRUE(spies.v.at(0).at(0).toBool());

    page.displayCone->click();
    page.displayCone->click();
    ASSERT_EQ(spies.cone.count(), 2);
    EXPECT_FALSE(spies.cone.at(0).at(0).toBool());
    EXPECT_TRUE(spies.cone.at(1).at(0).toBool());

    // The slots map the state they are given, any non-zero state to true.
    page.vertical_flip(1);
    EXPECT_TRUE(spies.v.last().at(0).toBool());
    EXPECT_EQ(spies.total(), 6);
}

TEST_F(ImageOptionsPageTest, StreamStartPutsTheFieldOfViewIntoTheCaption)
{
    Kelvra::StreamHub hub(&system, camera);
    Image2DSettingView page(nullptr, &system, &hub);
    page.displayCone->click(); // unchecked; the caption keeps the check state
    HubSpies spies;

    started(hub);
    EXPECT_EQ(page.displayCone->text(), FOV_200_160_120);
    EXPECT_FALSE(page.displayCone->isChecked());
    EXPECT_EQ(page.xAngle, 77);
    EXPECT_EQ(page.yAngle, 61);
    EXPECT_DOUBLE_EQ(page.xFovFacotor, 0.8);

    ASSERT_TRUE(system.simulation().setCameraProfile(camera, 1)); // fx = fy = 320
    started(hub);
    EXPECT_EQ(page.displayCone->text(), "Display Cone (FOV-H: 53,FOV-V:41)");

    // Profile 5 has fx = 0: the caption stays, the values read are kept.
    ASSERT_TRUE(system.simulation().setCameraProfile(camera, 5));
    started(hub);
    EXPECT_EQ(page.displayCone->text(), "Display Cone (FOV-H: 53,FOV-V:41)");
    EXPECT_EQ(page.fx, 0.0);
    EXPECT_EQ(page.fy, 200.0);
    EXPECT_EQ(spies.total(), 0);
}

TEST_F(ImageOptionsPageTest, StreamStartWithoutCameraChangesNothing)
{
    Kelvra::StreamHub hub(&system);
    Image2DSettingView page(nullptr, &system, &hub);
    started(hub);
    EXPECT_EQ(page.displayCone->text(), "Display Cone");

    // The camera is read at every start, not kept.
    hub.setDepthCamera(camera);
    started(hub);
    EXPECT_EQ(page.displayCone->text(), FOV_200_160_120);
    hub.disconnectDepthCamera();
    started(hub);
    EXPECT_EQ(page.displayCone->text(), FOV_200_160_120);
}

TEST_F(ImageOptionsPageTest, MissingProfileOrValueLeavesTheCaption)
{
    Tavik::DeviceSpec full;
    full.description = "Quenta14Camera";
    full.id = "SIM-A";
    full.profiles = std::vector<Tavik::CameraProfilePtr>{
        profile(0, {{"fx", 200}, {"fy", 200}, {"cx", 160}, {"cy", 120}}),
        profile(1, {{"fx", 200}, {"fy", 200}, {"cy", 120}}), profile(2, {{"fx", 1}, {"fy", 1}, {"cx", -1}, {"cy", 0}})};
    Tavik::DeviceSpec none;
    none.description = "Quenta14Camera";
    none.id = "SIM-B";
    none.profiles = std::vector<Tavik::CameraProfilePtr>{};
    system.simulation().setDevices({full, none});
    const auto devices = system.scan();
    auto withProfiles = system.connect(devices[0]);
    auto withoutProfile = system.connect(devices[1]);
    ASSERT_TRUE(withProfiles && withoutProfile);

    Kelvra::StreamHub hub(&system, withProfiles);
    Image2DSettingView page(nullptr, &system, &hub);
    started(hub);
    ASSERT_EQ(page.displayCone->text(), FOV_200_160_120);

    ASSERT_TRUE(system.simulation().setCameraProfile(withProfiles, 1)); // no "cx"
    started(hub);
    EXPECT_EQ(page.displayCone->text(), FOV_200_160_120);

    hub.setDepthCamera(withoutProfile);
    started(hub);
    EXPECT_EQ(page.displayCone->text(), FOV_200_160_120);

    // A negative principal point gives a negative angle, truncated toward zero.
    hub.setDepthCamera(withProfiles);
    ASSERT_TRUE(system.simulation().setCameraProfile(withProfiles, 2));
    started(hub);
    EXPECT_EQ(page.displayCone->text(), "Display Cone (FOV-H: -90,FOV-V:0)");
}

TEST_F(ImageOptionsPageTest, ConventionHooksAndUnconnectedSlotsOnlyPrint)
{
    Kelvra::StreamHub hub(&system, camera);
    Image2DSettingView page(nullptr, &system, &hub);
    HubSpies spies;
    QSignalSpy changed(&page, &Image2DSettingView::valueChanged);
    KelvraTest::CaptureStream out;
    page.releaseDepthCamera();
    page.init();
    page.auto_exposure(3);
    page.updateLowerLevel(10);
    page.updateUpperLevel(4000);
    EXPECT_EQ(page.displayCone->text(), "Display Cone");
    EXPECT_EQ(spies.total(), 0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(
        out.text(),
        " image2d_setting releaseDepthCamera \nauto_exposure 3\ndepthLevels lower: 10 \ndepthLevels upper: 4000 \n");
}

// The page follows the controller's own started signal (a live start).
TEST_F(ImageOptionsPageTest, FollowsARealStart)
{
    Kelvra::StreamHub hub(&system, camera);
    Image2DSettingView page(nullptr, &system, &hub);
    system.simulation().setManualDelivery(camera, true);
    ASSERT_TRUE(hub.start());
    EXPECT_EQ(page.displayCone->text(), FOV_200_160_120);
    hub.stop();
}
