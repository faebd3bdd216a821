#pragma once
// Dock "PolygonalChart": one row, one column or the recent history of one
// pixel of the amplitude, phase or depth image, with lines at the mean and at
// mean - std and mean + std, and a label with both figures. Redrawn on every
// "depth" notification of the data engine.

#include "platform/base/DataEngine.h"

#include <QDockWidget>
#include <QString>

#include <opencv2/core.hpp>

#include <deque>
#include <optional>
#include <vector>

class QButtonGroup;
class QGroupBox;
class QHBoxLayout;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QVBoxLayout;

namespace Plot {
class GraphicsLayoutWidget;
class InfiniteLine;
class LabelItem;
class PlotCurve;
class PlotItem;
} // namespace Plot

namespace Kelvra {

class StreamHub;

// Values are the ids of the radio buttons of the matching group.
enum class DataType { AMPLITUE = 1, PHASE = 2, DEPTH = 3 };
enum class Mode { ROW = 1, COLUMN = 2, POINT = 3 };

class LineChartDock : public QDockWidget {
    Q_OBJECT
public:
    // Samples kept in point mode.
    static constexpr int HISTORY_LENGTH = 100;

    explicit LineChartDock(DataEngine* dataEngine);

    // Kept only; the chart calls nothing on it.
    void setStreamHub(StreamHub* streamHub);
    StreamHub* getStreamHub() const { return streamHub; }

    // The steps of one update. Each returns why it failed, or nothing when
    // done; a failed update leaves the curve, the lines and the label as they were.
    std::optional<QString> getDataByType();
    std::optional<QString> getDataByMode();
    std::optional<QString> updateDataSource();

    QScrollArea* scroller;
    QVBoxLayout* layout;
    Plot::GraphicsLayoutWidget* graphicsWidget;
    Plot::LabelItem* label;
    Plot::PlotItem* plotItem;
    Plot::PlotCurve* curve;
    Plot::InfiniteLine* hLine;
    Plot::InfiniteLine* upperLine;
    Plot::InfiniteLine* lowerLine;
    QHBoxLayout* hlayoutControl;
    QGroupBox* captureDataTypeGroupBox;
    QRadioButton* radioAmplitude;
    QRadioButton* radioPhase;
    QRadioButton* radioDepth;
    QButtonGroup* radioGroup;
    QGroupBox* captureDataModeGroupBox;
    QRadioButton* radioSingleRow;
    QRadioButton* radioSingleColumn;
    QRadioButton* radioSinglePoint;
    QButtonGroup* modeRadioGroup;
    QSpinBox* rowSpin;
    QSpinBox* colSpin;
    QSpinBox* pointXSpin;
    QSpinBox* pointYSpin;

public slots:
    void setDataType();
    void setDataMode();
    void setRow(int value);
    void setColumn(int value);
    void setPointX(int value);
    void setPointY(int value);
    // On every "depth" notification: ranges the spins on the first frame and
    // whenever the frame size changes, then updates the chart.
    void setData();

private:
    // No curve, no lines, no label and no point history: the engine's frames
    // were cleared (or have no pixels).
    void blank();
    // Ranges the four spins to the frame and centres them.
    void rangeSpins();
    // Ends a widget slot: auto-range after a done update, a diagnostic line otherwise.
    void finishSlot(const char* slot, const std::optional<QString>& failure);

    DataEngine::FrameSize frameSize{{80, 60}};
    bool spinsRanged = false;
    DataType dataType = DataType::AMPLITUE;
    Mode dataMode = Mode::ROW;
    cv::Mat oriData;
    std::optional<std::vector<double>> data;
    std::deque<double> pointHistory;
    DataEngine* dataEngine;
    std::optional<int> rowNumber;
    std::optional<int> colNumber;
    std::optional<int> pointColNumber;
    std::optional<int> pointRowNumber;
    StreamHub* streamHub = nullptr;
};

} // namespace Kelvra
