#include "Kelvra/views/OptionsMenu.h"
#include "Kelvra/dialogs/StatsSettingsDialog.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"

#include "platform/base/DataEngine.h"
#include "platform/base/HostWindow.h"
#include "platform/base/StatusMessageBar.h"
#include "tests/support/HostTestWindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QMainWindow>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>

using Kelvra::OptionsMenu;
using Kelvra::StatsSettingsDialog;

namespace {

using TestWindow = KelvraTest::HostTestWindow;

// What the test saw of the dialog the menu opened.
struct Opened {
    int count = 0;
    bool modalOverWindow = false;
};

void closeAndRecord(Opened& opened, QWidget* window)
{
    KelvraTest::onModal([&opened, window](QWidget* w) {
        ++opened.count;
        opened.modalOverWindow = qobject_cast<StatsSettingsDialog*>(w) && w->isModal() && w->parentWidget() == window;
        QTest::keyClick(w, Qt::Key_Escape);
    });
}

} // namespace

class OptionsMenuTest : public ::testing::Test {
protected:
    DataEngine engine{nullptr};
    TestWindow window;
};

TEST_F(OptionsMenuTest, HasOneParametersActionWithItsShortcut)
{
    OptionsMenu menu(&window, &engine);
    EXPECT_EQ(menu.title(), "&Settings");
    ASSERT_EQ(menu.actions().size(), 1);
    QAction* action = menu.actions().front();
    EXPECT_EQ(action->text(), "&Parameters");
    EXPECT_EQ(action->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_FALSE(action->isCheckable());
    EXPECT_EQ(action->parent(), &menu);
}

TEST_F(OptionsMenuTest, TriggeringOpensTheDialogModallyOverTheWindow)
{
    OptionsMenu menu(&window, &engine);
    Opened opened;
    closeAndRecord(opened, &window);
    menu.actions().front()->trigger(); // returns only once the dialog is closed
    EXPECT_EQ(opened.count, 1);
    EXPECT_TRUE(opened.modalOverWindow);
}

TEST_F(OptionsMenuTest, ShortcutOpensTheDialogFromTheMenuBar)
{
    auto* menu = new OptionsMenu(&window, &engine, &window);
    window.menuBar()->addMenu(menu);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Opened opened;
    closeAndRecord(opened, &window);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(opened.count, 1);
    EXPECT_TRUE(opened.modalOverWindow);
}

TEST_F(OptionsMenuTest, DialogDrivesTheStatusBarTheMenuReadAtConstruction)
{
    OptionsMenu menu(&window, &engine);
    StatusMessageBar* original = window.bar;
    original->enableStatistics->setChecked(true);
    window.bar = new StatusMessageBar(&window); // installed later: not seen by the menu
    window.bar->enableStatistics->setChecked(true);

    KelvraTest::onModal([](QWidget* w) {
        for (auto* g : w->findChildren<QGroupBox*>())
            if (g->title() == "Temporal Statistics")
                g->setChecked(false);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    menu.showParametersDialog();
    EXPECT_FALSE(original->enableStatistics->isChecked());
    EXPECT_TRUE(window.bar->enableStatistics->isChecked());
}
