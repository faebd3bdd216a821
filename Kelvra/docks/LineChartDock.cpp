#include "Kelvra/docks/LineChartDock.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/common/LimitSpinBox.h"
#include "platform/base/DataChannels.h"
#include "platform/plot/GraphicsLayoutWidget.h"
#include "platform/plot/InfiniteLine.h"
#include "platform/plot/LabelItem.h"
#include "platform/plot/PlotCurve.h"
#include "platform/plot/PlotItem.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <array>
#include <cmath>

namespace Kelvra {

namespace {

// A group box with a vertical layout, placed in `row`; returns the layout.
QVBoxLayout* placeGroupBox(QHBoxLayout* row, QGroupBox* box)
{
    auto* inner = new QVBoxLayout;
    box->setLayout(inner);
    row->addWidget(box);
    return inner;
}

// An exclusive group in which the buttons have the ids 1, 2, 3 of the members they choose.
QButtonGroup* numberedGroup(QObject* parent, const std::array<QRadioButton*, 3>& buttons)
{
    auto* group = new QButtonGroup(parent);
    for (int i = 0; i < 3; ++i)
        group->addButton(buttons[static_cast<std::size_t>(i)], i + 1);
    return group;
}

} // namespace

LineChartDock::LineChartDock(DataEngine* dataEngine)
    : QDockWidget("PolygonalChart")
    , dataEngine(dataEngine)
{
    setMinimumSize(800, 600);
    scroller = new QScrollArea;
    layout = new QVBoxLayout;

    graphicsWidget = new Plot::GraphicsLayoutWidget;
    graphicsWidget->setBackground(QColor(0, 0, 0, 255));
    label = new Plot::LabelItem;
    graphicsWidget->addItem(label, 0, 0);
    plotItem = graphicsWidget->addPlot(1, 0);
    plotItem->enableAutoRange();
    curve = plotItem->plot(QPen(QColor(255, 255, 0)));

    hLine = new Plot::InfiniteLine;
    upperLine = new Plot::InfiniteLine;
    lowerLine = new Plot::InfiniteLine;
    for (Plot::InfiniteLine* line : {hLine, upperLine, lowerLine})
        plotItem->addItem(line, true);

    hlayoutControl = new QHBoxLayout;
    captureDataTypeGroupBox = new QGroupBox("Select  Display Data Type");
    QVBoxLayout* hlayoutTitle = placeGroupBox(hlayoutControl, captureDataTypeGroupBox);
    radioAmplitude = new QRadioButton("Amplitude");
    radioPhase = new QRadioButton("Phase");
    radioDepth = new QRadioButton("Depth");
    for (QRadioButton* button : {radioAmplitude, radioPhase, radioDepth})
        hlayoutTitle->addWidget(button);
    radioGroup = numberedGroup(this, {radioAmplitude, radioPhase, radioDepth});
    radioAmplitude->setChecked(true);
    connect(radioGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
            &LineChartDock::setDataType);

    captureDataModeGroupBox = new QGroupBox("Select  Display Data Mode");
    QVBoxLayout* hlayoutMode = placeGroupBox(hlayoutControl, captureDataModeGroupBox);
    radioSingleRow = new QRadioButton("Single Row");
    radioSingleColumn = new QRadioButton("Single Column");
    radioSinglePoint = new QRadioButton("Single Point");

    rowSpin = new LimitSpinBox<QSpinBox>;
    colSpin = new LimitSpinBox<QSpinBox>;
    pointXSpin = new LimitSpinBox<QSpinBox>;
    pointYSpin = new LimitSpinBox<QSpinBox>;
    connect(rowSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &LineChartDock::setRow);
    connect(colSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &LineChartDock::setColumn);
    connect(pointXSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &LineChartDock::setPointX);
    connect(pointYSpin, QOverload<int>::of(&QSpinBox::valueChanged), this, &LineChartDock::setPointY);
    auto* singleRowlayout = new QHBoxLayout;
    auto* singleCollayout = new QHBoxLayout;
    auto* singlePointlayout = new QHBoxLayout;
    hlayoutMode->addLayout(singleRowlayout);
    hlayoutMode->addLayout(singleCollayout);
    hlayoutMode->addLayout(singlePointlayout);
    singleRowlayout->addWidget(radioSingleRow);
    singleRowlayout->addWidget(rowSpin);
    singleCollayout->addWidget(radioSingleColumn);
    singleCollayout->addWidget(colSpin);
    singlePointlayout->addWidget(radioSinglePoint);
    singlePointlayout->addWidget(pointXSpin);
    singlePointlayout->addWidget(pointYSpin);

    modeRadioGroup = numberedGroup(this, {radioSingleRow, radioSingleColumn, radioSinglePoint});
    connect(modeRadioGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
            &LineChartDock::setDataMode);
    radioSingleRow->setChecked(true);

    layout->addLayout(hlayoutControl);
    layout->addWidget(graphicsWidget);
    layout->addStretch();
    scroller->setLayout(layout);
    setWidget(scroller);

    if (dataEngine)
        dataEngine->connectData(DataChannels::DEPTH, this, &LineChartDock::setData, Qt::QueuedConnection);
}

void LineChartDock::setStreamHub(StreamHub* hub)
{
    streamHub = hub;
}

std::optional<QString> LineChartDock::getDataByType()
{
    if (!dataEngine)
        return QStringLiteral("no data engine");
    const QString& key = dataType == DataType::AMPLITUE ? DataChannels::AMPLITUDE
        : dataType == DataType::PHASE                   ? DataChannels::PHASE
                                                        : DataChannels::DEPTH;
    const cv::Mat image = dataEngine->data().value(key);
    if (image.empty())
        return "no " + key + " image";
    if (image.type() != CV_32F || image.dims != 2)
        return "the " + key + " image is not a 2-D array of floats";
    oriData = image;
    return std::nullopt;
}

std::optional<QString> LineChartDock::getDataByMode()
{
    // [x][y]: rows are x (the width), columns are y (the height).
    const int width = oriData.rows;
    const int height = oriData.cols;
    const auto outside = [](const char* what, int value, int size) {
        return QStringLiteral("%1 %2 is outside the image (0 .. %3)").arg(what).arg(value).arg(size - 1);
    };
    switch (dataMode) {
    case Mode::ROW: {
        if (!rowNumber)
            return QStringLiteral("no row chosen");
        if (*rowNumber < 0 || *rowNumber >= height)
            return outside("row", *rowNumber, height);
        std::vector<double> values(static_cast<std::size_t>(width));
        for (int x = 0; x < width; ++x)
            values[static_cast<std::size_t>(x)] = oriData.at<float>(x, *rowNumber);
        data = std::move(values);
        return std::nullopt;
    }
    case Mode::COLUMN: {
        if (!colNumber)
            return QStringLiteral("no column chosen");
        if (*colNumber < 0 || *colNumber >= width)
            return outside("column", *colNumber, width);
        const float* column = oriData.ptr<float>(*colNumber);
        data = std::vector<double>(column, column + height);
        return std::nullopt;
    }
    case Mode::POINT: break;
    }
    if (!pointColNumber || !pointRowNumber)
        return QStringLiteral("no point chosen");
    if (*pointColNumber < 0 || *pointColNumber >= width)
        return outside("point x", *pointColNumber, width);
    if (*pointRowNumber < 0 || *pointRowNumber >= height)
        return outside("point y", *pointRowNumber, height);
    pointHistory.push_back(oriData.at<float>(*pointColNumber, *pointRowNumber));
    while (pointHistory.size() > static_cast<std::size_t>(HISTORY_LENGTH))
        pointHistory.pop_front();
    data = std::vector<double>(pointHistory.begin(), pointHistory.end());
    return std::nullopt;
}

std::optional<QString> LineChartDock::updateDataSource()
{
    if (auto failure = getDataByType())
        return failure;
    if (auto failure = getDataByMode())
        return failure;
    const std::vector<double>& values = *data;
    curve->setData(values);
    if (dataMode == Mode::POINT)
        plotItem->autoRange();

    double sum = 0.0;
    for (double v : values)
        sum += v;
    const double n = static_cast<double>(values.size());
    const double mean = sum / n;
    double squares = 0.0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    const double deviation = std::sqrt(squares / n); // population deviation (divisor n)

    for (Plot::InfiniteLine* line : {hLine, lowerLine, upperLine})
        line->setVisible(true);
    hLine->setValue(mean);
    lowerLine->setValue(mean - deviation);
    upperLine->setValue(mean + deviation);
    label->setText(
        QString::asprintf(" <span style='font-size: 14pt'>mead=%0.3f,   <span style='color: red'>std=%0.4f </span>    ",
                          mean, deviation));
    return std::nullopt;
}

void LineChartDock::blank()
{
    pointHistory.clear();
    curve->setData({});
    for (Plot::InfiniteLine* line : {hLine, lowerLine, upperLine})
        line->setVisible(false);
    label->setText(QString());
}

void LineChartDock::finishSlot(const char* slot, const std::optional<QString>& failure)
{
    if (failure) {
        diag::printLine(diag::tuple(std::string("LineChartDock.") + slot, *failure));
        return;
    }
    plotItem->autoRange();
}

void LineChartDock::setDataType()
{
    dataType = static_cast<DataType>(radioGroup->checkedId());
    pointHistory.clear();
    finishSlot("setDataType", updateDataSource());
}

void LineChartDock::setDataMode()
{
    dataMode = static_cast<Mode>(modeRadioGroup->checkedId());
    pointHistory.clear();
    finishSlot("setDataMode", updateDataSource());
}

void LineChartDock::setRow(int value)
{
    rowNumber = value;
    finishSlot("setRow", updateDataSource());
}

void LineChartDock::setColumn(int value)
{
    colNumber = value;
    finishSlot("setColumn", updateDataSource());
}

void LineChartDock::setPointX(int value)
{
    pointColNumber = value;
    pointHistory.clear();
    finishSlot("setPointX", updateDataSource());
}

void LineChartDock::setPointY(int value)
{
    pointRowNumber = value;
    pointHistory.clear();
    finishSlot("setPointY", updateDataSource());
}

void LineChartDock::rangeSpins()
{
    // Indexes run 0 .. size - 1; a spin whose value changes runs its slot.
    const int width = frameSize[0];
    const int height = frameSize[1];
    rowSpin->setRange(0, height - 1);
    rowSpin->setValue(height / 2);
    colSpin->setRange(0, width - 1);
    colSpin->setValue(width / 2);
    pointXSpin->setRange(0, width - 1);
    pointXSpin->setValue(width / 2);
    pointYSpin->setRange(0, height - 1);
    pointYSpin->setValue(height / 2);
    // A spin already at its new value sent nothing: its selection follows it here.
    rowNumber = rowSpin->value();
    colNumber = colSpin->value();
    pointColNumber = pointXSpin->value();
    pointRowNumber = pointYSpin->value();
}

void LineChartDock::setData()
{
    const auto engineSize = dataEngine ? dataEngine->frameSize() : std::nullopt;
    if (!engineSize) {
        diag::printLine(diag::tuple("LineChartDock.setData", "no frame size yet"));
        return;
    }
    if ((*engineSize)[0] <= 0 || (*engineSize)[1] <= 0) {
        blank(); // the engine holds nothing: what was charted is gone
        return;
    }
    if (!spinsRanged || *engineSize != frameSize) {
        if (auto failure = getDataByType()) {
            diag::printLine(diag::tuple("LineChartDock.setData", *failure));
            return;
        }
        frameSize = *engineSize;
        spinsRanged = true;
        rangeSpins();
    }
    if (!data) {
        diag::printLine(diag::tuple("LineChartDock.setData", "nothing to plot yet"));
        return;
    }
    if (auto failure = updateDataSource())
        diag::printLine(diag::tuple("LineChartDock.setData", *failure));
}

} // namespace Kelvra
