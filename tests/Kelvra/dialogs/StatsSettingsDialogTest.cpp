#include "Kelvra/dialogs/StatsSettingsDialog.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"
#include "tests/support/TestSupport.h"

#include "platform/base/DataEngine.h"
#include "platform/base/StatusMessageBar.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

using Kelvra::StatsSettingsDialog;

namespace {

QGroupBox* group(QWidget* dialog, const QString& title)
{
    for (auto* g : dialog->findChildren<QGroupBox*>())
        if (g->title() == title)
            return g;
    return nullptr;
}

QSpinBox* spinIn(QWidget* parent)
{
    return parent ? parent->findChild<QSpinBox*>() : nullptr;
}

// Counts the settling times written to it.
class WatchedEngine : public DataEngine {
public:
    WatchedEngine()
        : DataEngine(nullptr)
    {
    }
    void setSettlingTime(int frames) override
    {
        writes.push_back(frames);
        DataEngine::setSettlingTime(frames);
    }
    std::vector<int> writes;
};

} // namespace

class StatsSettingsDialogTest : public ::testing::Test {
protected:
    WatchedEngine engine;
    StatusMessageBar statusBar;
};

TEST_F(StatsSettingsDialogTest, OpensCheckedWithTheEngineValuesAndWritesNothing)
{
    engine.setSettlingTime(37);
    engine.setRateFactor(2.5);
    statusBar.enableStatistics->setChecked(false);
    QSignalSpy switchSpy(statusBar.enableStatistics, &QCheckBox::toggled);

    StatsSettingsDialog dialog(&statusBar, &engine);
    EXPECT_EQ(dialog.windowTitle(), "Parameters");
    auto* statistics = group(&dialog, "Temporal Statistics");
    ASSERT_TRUE(statistics);
    EXPECT_TRUE(statistics->isCheckable());
    EXPECT_TRUE(statistics->isChecked());
    auto* settling = spinIn(statistics);
    ASSERT_TRUE(settling);
    EXPECT_EQ(settling->minimum(), 1);
    EXPECT_EQ(settling->maximum(), 200);
    EXPECT_EQ(settling->value(), 37);
    EXPECT_EQ(dialog.rateFactor->text(), "Rate Factor = 2.5");

    auto* recording = group(&dialog, "Recording Params");
    ASSERT_TRUE(recording);
    EXPECT_FALSE(recording->isCheckable());
    auto* frames = spinIn(recording);
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->minimum(), 10);
    EXPECT_EQ(frames->maximum(), 5000);
    EXPECT_EQ(frames->value(), 1000);

    // Opening left the status-bar switch and the engine alone.
    EXPECT_EQ(switchSpy.count(), 0);
    EXPECT_FALSE(statusBar.enableStatistics->isChecked());
    EXPECT_EQ(engine.writes, std::vector<int>{37}); // the test's own write only
}

TEST_F(StatsSettingsDialogTest, OpeningWritesNoSettlingTimeWhateverTheEngineHolds)
{
    for (int held : {DataEngine::MIN_SETTLING_TIME, DataEngine::DEFAULT_SETTLING_TIME, DataEngine::MAX_SETTLING_TIME}) {
        engine.setSettlingTime(held);
        engine.writes.clear();
        StatsSettingsDialog dialog(&statusBar, &engine);
        EXPECT_EQ(spinIn(group(&dialog, "Temporal Statistics"))->value(), held);
        EXPECT_TRUE(engine.writes.empty()) << held;
    }
}

TEST_F(StatsSettingsDialogTest, GroupTogglesTheStatusBarSwitchAndItsContents)
{
    statusBar.enableStatistics->setChecked(true);
    StatsSettingsDialog dialog(&statusBar, &engine);
    auto* statistics = group(&dialog, "Temporal Statistics");
    ASSERT_TRUE(statistics);

    statistics->setChecked(false);
    EXPECT_FALSE(statusBar.enableStatistics->isChecked());
    EXPECT_FALSE(spinIn(statistics)->isEnabled());
    EXPECT_FALSE(dialog.rateFactor->isEnabled());
    for (auto* label : statistics->findChildren<QLabel*>())
        EXPECT_FALSE(label->isEnabled()) << label->text().toStdString();

    statistics->setChecked(true);
    EXPECT_TRUE(statusBar.enableStatistics->isChecked());
    EXPECT_TRUE(spinIn(statistics)->isEnabled());
    EXPECT_TRUE(dialog.rateFactor->isEnabled());
}

TEST_F(StatsSettingsDialogTest, EachSettlingStepReachesTheEngine)
{
    StatsSettingsDialog dialog(&statusBar, &engine);
    auto* settling = spinIn(group(&dialog, "Temporal Statistics"));
    ASSERT_TRUE(settling);
    const int start = settling->value();
    settling->stepUp();
    EXPECT_EQ(engine.settlingTime(), start + 1);
    QTest::keyClick(settling, Qt::Key_Up);
    EXPECT_EQ(engine.settlingTime(), start + 2);
    settling->setValue(150);
    EXPECT_EQ(engine.settlingTime(), 150);
    EXPECT_EQ(engine.writes, (std::vector<int>{start + 1, start + 2, 150})); // one write per step

    // The frames-to-record field reaches nothing outside the dialog.
    spinIn(group(&dialog, "Recording Params"))->setValue(42);
    EXPECT_EQ(engine.writes.size(), 3u);
}

TEST_F(StatsSettingsDialogTest, ANumberTypedBeyondALimitIsThatLimit)
{
    StatsSettingsDialog dialog(&statusBar, &engine);
    QSpinBox* settling = spinIn(group(&dialog, "Temporal Statistics"));
    QSpinBox* frames = spinIn(group(&dialog, "Recording Params"));
    ASSERT_TRUE(settling && frames);
    for (QSpinBox* spin : {settling, frames}) {
        spin->selectAll();
        QTest::keyClicks(spin, "9000");
        QTest::keyClick(spin, Qt::Key_Return);
    }
    EXPECT_EQ(engine.settlingTime(), 200);
    EXPECT_EQ(frames->value(), 5000);
}

TEST_F(StatsSettingsDialogTest, RateFactorFromAWorkerThreadUpdatesTheLabelOnTheUiThread)
{
    StatsSettingsDialog dialog(&statusBar, &engine);
    std::thread worker([this] { engine.setRateFactor(4.0); });
    worker.join();
    // Queued: not applied until the event loop runs.
    EXPECT_EQ(dialog.rateFactor->text(), "Rate Factor = 1.0");
    EXPECT_TRUE(KelvraTest::waitFor([&] { return dialog.rateFactor->text() == "Rate Factor = 4.0"; }));
}

TEST_F(StatsSettingsDialogTest, ShowDialogBuildsAFreshDialogEachTime)
{
    int opened = 0;
    KelvraTest::onModal([&](QWidget* w) {
        ++opened;
        EXPECT_TRUE(qobject_cast<StatsSettingsDialog*>(w));
        spinIn(group(w, "Recording Params"))->setValue(42);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    StatsSettingsDialog::showDialog(&statusBar, &engine);

    int framesShown = 0;
    KelvraTest::onModal([&](QWidget* w) {
        ++opened;
        framesShown = spinIn(group(w, "Recording Params"))->value();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    StatsSettingsDialog::showDialog(&statusBar, &engine);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(framesShown, 1000);
    for (auto* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<StatsSettingsDialog*>(w)); // each was destroyed on return
}
