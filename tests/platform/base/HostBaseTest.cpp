#include "platform/base/ScaleFactor.h"
#include "platform/base/DataFormat.h"
#include "platform/base/HostWindow.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/base/about.h"
#include "tests/support/HostTestWindow.h"

#include <QCheckBox>
#include <QColor>
#include <QMainWindow>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(DataFormatTest, DefaultsByName)
{
    DataFormat amplitude("amplitude");
    EXPECT_EQ(amplitude.name, "amplitude");
    EXPECT_EQ(amplitude.levels, (std::array<double, 2>{0, 4095})); // the data's 12 bits
    EXPECT_FALSE(amplitude.isDepthType());
    EXPECT_TRUE(amplitude.isIntegerScaling());
    EXPECT_EQ(std::get<int>(amplitude.scalingFactor), 1);
    ASSERT_EQ(amplitude.colorMap.size(), 256);
    EXPECT_EQ(amplitude.colorMap.first(), qRgb(0, 0, 0));
    EXPECT_EQ(amplitude.colorMap.last(), qRgb(255, 255, 255));

    DataFormat phase("phase");
    EXPECT_EQ(phase.levels, (std::array<double, 2>{0, 4095}));
    ASSERT_EQ(phase.colorMap.size(), 256);
    // A hue ramp: distinct, fully saturated ends, not a grey.
    const QColor low = QColor::fromRgb(phase.colorMap.first());
    const QColor high = QColor::fromRgb(phase.colorMap.last());
    EXPECT_NE(low.hue(), high.hue());
    EXPECT_EQ(low.saturation(), 255);
    EXPECT_EQ(high.saturation(), 255);
    EXPECT_GT(phase.levels[1], 0); // views divide by it
}

TEST(DataFormatTest, ScalingFactorKeepsItsKind)
{
    DataFormat f("phase");
    f.setScalingFactor(10.0);
    EXPECT_FALSE(f.isIntegerScaling());
    EXPECT_DOUBLE_EQ(f.scalingValue(), 10.0);
    f.setScalingFactor(10);
    EXPECT_TRUE(f.isIntegerScaling());
    EXPECT_DOUBLE_EQ(f.scalingValue(), 10.0);
    f.setScalingFactor(0.25f); // a float is a floating-point factor
    EXPECT_FALSE(f.isIntegerScaling());
    EXPECT_DOUBLE_EQ(f.scalingValue(), 0.25);

    DataFormat depth("depth", {0, 4000}, 0.001, true);
    EXPECT_TRUE(depth.isDepthType());
    EXPECT_FALSE(depth.isIntegerScaling());
    EXPECT_EQ(depth.levels[1], 4000);
}

TEST(StatusMessageBarTest, ShowsThePointAndOffersTheStatisticsSwitch)
{
    StatusMessageBar bar;
    ASSERT_NE(bar.enableStatistics, nullptr);
    EXPECT_EQ(bar.enableStatistics->text(), "Statistics");
    EXPECT_TRUE(bar.enableStatistics->isCheckable());
    QSignalSpy toggled(bar.enableStatistics, &QCheckBox::toggled);
    bar.enableStatistics->setChecked(true);
    EXPECT_EQ(toggled.count(), 1);

    bar.setPoint(QPointF(12.34, 5.06));
    EXPECT_EQ(bar.pointText(), "x: 12.3  y: 5.1");
    bar.setStatisticsText("mean 3.2");
    EXPECT_EQ(bar.statisticsText(), "mean 3.2");
}

using TestWindow = KelvraTest::HostTestWindow;

TEST(HostWindowTest, PlugInsReachStatusBarAndWindowThroughTheInterface)
{
    TestWindow window;
    HostWindow& host = window;
    EXPECT_EQ(host.statusMessage(), window.statusBar());
    EXPECT_EQ(host.windowWidget(), &window);
}

TEST(HostHelpersTest, ScaleFactorOverrideAndScreenValue)
{
    set_program_scale_factor_override(std::make_pair(1.0, 1.0));
    EXPECT_EQ(get_program_scale_factor(), std::make_pair(1.0, 1.0));
    set_program_scale_factor_override(std::make_pair(1.5, 2.0));
    EXPECT_EQ(get_program_scale_factor(), std::make_pair(1.5, 2.0));
    set_program_scale_factor_override(std::nullopt);
    const auto [x, y] = get_program_scale_factor();
    EXPECT_GT(x, 0.0);
    EXPECT_GT(y, 0.0);
}

TEST(HostHelpersTest, AboutTextsJoinAsTheDialogsShowThem)
{
    EXPECT_EQ(SOFTWARE_NAME, "Ornavu");
    EXPECT_TRUE((SOFTWARE_NAME + " Version: " + VERSION_NUMBER).startsWith("Ornavu Version: "));
    for (const QString& text : {VERSION_NUMBER, COMPANY_NAME, SHORT_DESCRIPTION, LICENSE})
        EXPECT_FALSE(text.trimmed().isEmpty());
}

} // namespace
