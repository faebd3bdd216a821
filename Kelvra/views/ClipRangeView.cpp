#include "Kelvra/views/ClipRangeView.h"

#include "platform/base/DataView.h"
#include "platform/base/QxtSpanSlider.h"
#include "platform/base/ViewCommunicator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace Kelvra {

namespace {

// A limit as shown: truncated toward zero.
QString limitText(double value)
{
    return QString::number(static_cast<long long>(value));
}

} // namespace

ClipRangeView::ClipRangeView(HostWindow* window, Tavik::CameraSystem* cameraSystem, StreamHub* depthCameraController,
                             bool /*protection*/)
    : QWidget(nullptr)
    , window(window)
    , cameraSystem(cameraSystem)
    , depthCameraController(depthCameraController)
{
    auto* layout = new QVBoxLayout(this);

    auto* titleRow = new QHBoxLayout();
    auto* title = new QLabel(QStringLiteral("Depth Limit"));
    title->setAlignment(Qt::AlignCenter);
    titleRow->addWidget(title);
    layout->addLayout(titleRow);

    auto* sliderRow = new QHBoxLayout();
    spanSlider = new QxtSpanSlider();
    spanSlider->setFloatRange(depthLevels[0], depthLevels[1], depthScalingFactor);
    connect(spanSlider, &QxtSpanSlider::floatLowerPositionChanged, this, &ClipRangeView::updateLowerLevel);
    connect(spanSlider, &QxtSpanSlider::floatUpperPositionChanged, this, &ClipRangeView::updateUpperLevel);
    sliderRow->addWidget(spanSlider);
    layout->addLayout(sliderRow);

    auto* valueRow = new QHBoxLayout();
    auto addLabel = [valueRow](const QString& text) {
        auto* label = new QLabel(text);
        label->setAlignment(Qt::AlignLeft);
        valueRow->addWidget(label);
        return label;
    };
    addLabel(QStringLiteral("Depth Lower:"));
    depth_threshold_lower_value = addLabel(limitText(depthLevels[0]));
    addLabel(QStringLiteral("Depth Upper:"));
    depth_threshold_upper_value = addLabel(limitText(depthLevels[1]));
    layout->addLayout(valueRow);

    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Minimum);
}

QString ClipRangeView::getID()
{
    return QStringLiteral("depth_limit_setting");
}

QString ClipRangeView::getTitle() const
{
    return QStringLiteral("Depth Limit");
}

void ClipRangeView::updateLowerLevel(double lower)
{
    depth_threshold_lower_value->setText(limitText(lower));
    depthLevels[0] = lower;
    emit DataView::communicator()->thresholdsChanged(QStringLiteral("depth"), depthLevels[0], depthLevels[1]);
}

void ClipRangeView::updateUpperLevel(double upper)
{
    depth_threshold_upper_value->setText(limitText(upper));
    depthLevels[1] = upper;
    emit DataView::communicator()->thresholdsChanged(QStringLiteral("depth"), depthLevels[0], depthLevels[1]);
}

void ClipRangeView::init()
{
}

} // namespace Kelvra
