#pragma once
// Modal "Parameters" dialog: temporal statistics on or off (mirrored into the
// status bar's switch), the data engine's settling time and rate factor, and
// a frames-to-record field. Every change takes effect at once.

#include <QDialog>

class DataEngine;
class QLabel;
class StatusMessageBar;

namespace Kelvra {

class StatsSettingsDialog : public QDialog {
    Q_OBJECT
public:
    StatsSettingsDialog(StatusMessageBar* statusBar, DataEngine* dataEngine, QWidget* parent = nullptr);

    // Builds a new dialog, runs it modally and returns when it was closed.
    static void showDialog(StatusMessageBar* statusBar, DataEngine* dataEngine, QWidget* parent = nullptr);

    QLabel* rateFactor;

public slots:
    void setRateFactor(double rateFactor);
    void statisticsChanged(bool state);

private:
    StatusMessageBar* statusBar;
    DataEngine* dataEngine;
};

} // namespace Kelvra
