#include "platform/base/StatusMessageBar.h"

#include <QCheckBox>
#include <QLabel>

StatusMessageBar::StatusMessageBar(QWidget* parent)
    : QStatusBar(parent)
    , enableStatistics(new QCheckBox(QStringLiteral("Statistics"), this))
    , pointLabel(new QLabel(this))
    , statisticsLabel(new QLabel(this))
{
    addWidget(pointLabel);
    addWidget(statisticsLabel, 1);
    addPermanentWidget(enableStatistics);
}

void StatusMessageBar::setPoint(QPointF point)
{
    pointLabel->setText(QStringLiteral("x: %1  y: %2").arg(point.x(), 0, 'f', 1).arg(point.y(), 0, 'f', 1));
    emit pointChanged(point);
}

void StatusMessageBar::clearPoint()
{
    pointLabel->clear();
}

void StatusMessageBar::setStatisticsText(const QString& text)
{
    statisticsLabel->setText(text);
}

QString StatusMessageBar::pointText() const
{
    return pointLabel->text();
}

QString StatusMessageBar::statisticsText() const
{
    return statisticsLabel->text();
}
