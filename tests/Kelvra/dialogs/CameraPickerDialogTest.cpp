#include "Kelvra/dialogs/CameraPickerDialog.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"

#include "Tavik/DepthCamera.h"
#include "Tavik/Simulation.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using Kelvra::CameraPickerDialog;
using KelvraTest::onModal;

namespace {

Tavik::DeviceSpec device(const std::string& description, const std::string& id, bool connectFails = false)
{
    Tavik::DeviceSpec spec;
    spec.description = description;
    spec.id = id;
    spec.connectFails = connectFails;
    return spec;
}

QStringList rowTexts(const QListWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text();
    return rows;
}

// Arms one injected connection failure. Until something connects, it stays
// armed, so the probe's own connect then fails.
class ConnectProbe {
public:
    explicit ConnectProbe(Tavik::CameraSystem& system)
        : system_(system)
    {
        system_.simulation().failNext("connect");
    }
    // True when nothing connected since the probe was armed.
    bool untouched(const Tavik::CameraDevicePtr& device) { return !system_.connect(device)->isConnected(); }

private:
    Tavik::CameraSystem& system_;
};

} // namespace

class CameraPickerDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        system.simulation().setDevices(
            {device("Quenta14Camera", "A-1"), device("QuentaDCamera", "B-2"), device("Quenta14Camera", "C-3")});
    }
    Tavik::CameraSystem system;
};

TEST_F(CameraPickerDialogTest, ListsTheScanInOrderWithTheFirstRowCurrent)
{
    CameraPickerDialog dialog(&system);
    EXPECT_EQ(dialog.windowTitle(), "Select Depth Camera");
    EXPECT_EQ(rowTexts(dialog.listview),
              QStringList({"Quenta14Camera (A-1)", "QuentaDCamera (B-2)", "Quenta14Camera (C-3)"}));
    EXPECT_EQ(dialog.listview->currentRow(), 0);
    EXPECT_EQ(dialog.listview->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_TRUE(dialog.okButton->isEnabled());
    EXPECT_EQ(dialog.okButton->text(), "&Ok");
    EXPECT_EQ(dialog.refreshButton->text(), "&Refresh");
    EXPECT_EQ(dialog.devices.size(), 3u);
}

TEST_F(CameraPickerDialogTest, RefreshFollowsThePluggedDevicesAndReturnsToTheFirstRow)
{
    CameraPickerDialog dialog(&system);
    dialog.listview->setCurrentRow(2);

    system.simulation().setDevices({});
    QTest::mouseClick(dialog.refreshButton, Qt::LeftButton);
    EXPECT_EQ(dialog.listview->count(), 0);
    EXPECT_FALSE(dialog.okButton->isEnabled());

    system.simulation().setDevices({device("QuentaDCamera", "D-4"), device("QuentaDCamera", "E-5")});
    QTest::mouseClick(dialog.refreshButton, Qt::LeftButton);
    EXPECT_EQ(rowTexts(dialog.listview), QStringList({"QuentaDCamera (D-4)", "QuentaDCamera (E-5)"}));
    EXPECT_EQ(dialog.listview->currentRow(), 0);
    EXPECT_TRUE(dialog.okButton->isEnabled());

    dialog.listview->setCurrentRow(1);
    QTest::mouseClick(dialog.refreshButton, Qt::LeftButton);
    EXPECT_EQ(dialog.listview->currentRow(), 0);
}

TEST_F(CameraPickerDialogTest, OkConnectsTheCurrentRowOfTheLatestScan)
{
    Tavik::DepthCameraPtr expected;
    onModal([&](QWidget* w) {
        auto* dialog = qobject_cast<CameraPickerDialog*>(w);
        ASSERT_TRUE(dialog);
        system.simulation().setDevices({device("QuentaDCamera", "D-4"), device("Quenta14Camera", "F-6")});
        QTest::mouseClick(dialog->refreshButton, Qt::LeftButton);
        dialog->listview->setCurrentRow(1);
        QTest::mouseClick(dialog->okButton, Qt::LeftButton);
    });
    const auto camera = CameraPickerDialog::showDialog(&system);
    ASSERT_TRUE(camera);
    // Connecting a device again hands out the same camera.
    const auto devices = system.scan();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(system.connect(devices[1]), camera);
    EXPECT_NE(system.connect(devices[0]), camera);
}

TEST_F(CameraPickerDialogTest, DoubleClickOnlyMakesTheRowCurrent)
{
    CameraPickerDialog dialog(&system);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QRect rect = dialog.listview->visualItemRect(dialog.listview->item(1));
    QTest::mouseDClick(dialog.listview->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    EXPECT_EQ(dialog.listview->currentRow(), 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected); // not accepted
}

TEST_F(CameraPickerDialogTest, CancelConnectsNothing)
{
    ConnectProbe probe(system);
    onModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(CameraPickerDialog::showDialog(&system), nullptr);
    EXPECT_TRUE(probe.untouched(system.scan()[0]));
}

TEST_F(CameraPickerDialogTest, NoDeviceMeansNoAcceptAndNothingReturned)
{
    system.simulation().setDevices({});
    bool okDisabled = false;
    onModal([&](QWidget* w) {
        auto* dialog = qobject_cast<CameraPickerDialog*>(w);
        ASSERT_TRUE(dialog);
        okDisabled = !dialog->okButton->isEnabled() && dialog->listview->count() == 0;
        QTest::keyClick(w, Qt::Key_Return); // the disabled default button does nothing
        EXPECT_TRUE(dialog->isVisible());
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(CameraPickerDialog::showDialog(&system), nullptr);
    EXPECT_TRUE(okDisabled);

    CameraPickerDialog noSystem(nullptr);
    EXPECT_EQ(noSystem.listview->count(), 0);
    EXPECT_FALSE(noSystem.okButton->isEnabled());
}

TEST_F(CameraPickerDialogTest, AFailedConnectionIsHandedBackUnchecked)
{
    // The camera system's answer for a busy device: a camera that is not
    // connected. The caller tells it from a cancel.
    system.simulation().setDevices({device("Quenta14Camera (busy)", "G-7", true)});
    onModal([](QWidget* w) { QTest::mouseClick(static_cast<CameraPickerDialog*>(w)->okButton, Qt::LeftButton); });
    const auto camera = CameraPickerDialog::showDialog(&system);
    ASSERT_TRUE(camera);
    EXPECT_FALSE(camera->isConnected());
    EXPECT_EQ(camera->id(), "G-7");
}
