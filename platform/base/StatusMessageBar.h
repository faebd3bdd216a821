#pragma once
// The main window's status bar: the image point under the mouse, the
// temporal-statistics switch and a place for the statistics text.

#include <QPointF>
#include <QStatusBar>

class QCheckBox;
class QLabel;

class StatusMessageBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusMessageBar(QWidget* parent = nullptr);

    // Checkable "Statistics" control; what it switches is the host's.
    QCheckBox* const enableStatistics;

    QString pointText() const;
    QString statisticsText() const;

public slots:
    // Floating-point image position under the mouse.
    void setPoint(QPointF point);
    // Empties the point text (no pointChanged).
    void clearPoint();
    void setStatisticsText(const QString& text);

signals:
    // Every setPoint, for the host's statistics read-out.
    void pointChanged(QPointF point);

private:
    QLabel* const pointLabel;
    QLabel* const statisticsLabel;
};
