#include "Kelvra/dialogs/StatsSettingsDialog.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/common/LimitSpinBox.h"
#include "platform/base/DataEngine.h"
#include "platform/base/StatusMessageBar.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace Kelvra {

StatsSettingsDialog::StatsSettingsDialog(StatusMessageBar* statusBar, DataEngine* dataEngine, QWidget* parent)
    : QDialog(parent)
    , statusBar(statusBar)
    , dataEngine(dataEngine)
{
    setWindowTitle("Parameters");
    auto* layout = new QVBoxLayout(this);

    auto* statisticsGroup = new QGroupBox;
    layout->addWidget(statisticsGroup);
    statisticsGroup->setCheckable(true);
    statisticsGroup->setTitle("Temporal Statistics");
    // Connected only now, so building the dialog never writes the switch.
    connect(statisticsGroup, &QGroupBox::toggled, this, &StatsSettingsDialog::statisticsChanged);

    auto* groupLayout = new QVBoxLayout;
    auto* settlingRow = new QHBoxLayout;
    settlingRow->addWidget(new QLabel("Settling Time:"));
    auto* settlingTime = new LimitSpinBox<QSpinBox>;
    settlingTime->setRange(1, 200);
    if (dataEngine) {
        settlingTime->setValue(dataEngine->settlingTime());
        // Connected after the initial value, so opening writes nothing.
        connect(settlingTime, QOverload<int>::of(&QSpinBox::valueChanged), dataEngine, &DataEngine::setSettlingTime);
        // The rate factor may change on another thread; the label is touched
        // only here, on the user-interface thread.
        connect(dataEngine, &DataEngine::rateFactorChanged, this, &StatsSettingsDialog::setRateFactor,
                Qt::QueuedConnection);
    }
    settlingRow->addWidget(settlingTime);
    groupLayout->addLayout(settlingRow);
    rateFactor = new QLabel;
    groupLayout->addWidget(rateFactor);
    statisticsGroup->setLayout(groupLayout);
    setRateFactor(dataEngine ? dataEngine->rateFactor() : 1.0);

    auto* recordingGroup = new QGroupBox("Recording Params");
    layout->addWidget(recordingGroup);
    auto* recordingLayout = new QHBoxLayout;
    auto* framesToRecord = new LimitSpinBox<QSpinBox>;
    framesToRecord->setRange(10, 5000);
    framesToRecord->setValue(1000);
    recordingLayout->addWidget(new QLabel("Frames To Record"));
    recordingLayout->addStretch();
    recordingLayout->addWidget(framesToRecord);
    recordingGroup->setLayout(recordingLayout);
}

void StatsSettingsDialog::setRateFactor(double value)
{
    rateFactor->setText("Rate Factor = " + QString::fromStdString(formatFloat(value)));
}

void StatsSettingsDialog::statisticsChanged(bool state)
{
    if (statusBar)
        statusBar->enableStatistics->setChecked(state);
}

void StatsSettingsDialog::showDialog(StatusMessageBar* statusBar, DataEngine* dataEngine, QWidget* parent)
{
    StatsSettingsDialog dialog(statusBar, dataEngine, parent);
    dialog.exec();
}

} // namespace Kelvra
