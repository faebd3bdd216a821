#include "Kelvra/views/ImageOptionsPage.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/models/StreamHub.h"
#include "platform/base/DataView.h"
#include "platform/base/ViewCommunicator.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <array>
#include <cmath>

namespace Kelvra {

namespace {

QHBoxLayout* switchRow(QCheckBox* box)
{
    auto* row = new QHBoxLayout();
    row->setSpacing(0);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(box);
    row->addStretch();
    return row;
}

// Full opening angle in whole degrees (truncated toward zero) of a lens
// whose principal point lies at the image centre.
int openingAngle(double factor)
{
    return static_cast<int>(std::atan(factor) * 180.0 / M_PI * 2.0);
}

} // namespace

Image2DSettingView::Image2DSettingView(HostWindow* /*window*/, Tavik::CameraSystem* /*cameraSystem*/,
                                       StreamHub* depthCameraController, bool /*protection*/)
    : QWidget(nullptr)
    , depthCameraController(depthCameraController)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    image_horizontal_flip = new QCheckBox(QStringLiteral("Horizontal Flip (2D) "));
    connect(image_horizontal_flip, &QCheckBox::stateChanged, this, &Image2DSettingView::horizontal_flip);
    layout->addLayout(switchRow(image_horizontal_flip));

    image_vertical_flip = new QCheckBox(QStringLiteral("Vertical Flip (2D) "));
    connect(image_vertical_flip, &QCheckBox::stateChanged, this, &Image2DSettingView::vertical_flip);
    layout->addLayout(switchRow(image_vertical_flip));

    // Checked before it is connected: the initial state is not broadcast.
    displayCone = new QCheckBox(QStringLiteral("Display Cone"));
    displayCone->toggle();
    layout->addLayout(switchRow(displayCone));
    connect(displayCone, &QCheckBox::stateChanged, this, &Image2DSettingView::toggle_displayCone);

    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Minimum);
    if (depthCameraController)
        connect(depthCameraController, &StreamHub::started, this, &Image2DSettingView::streamStarted);
}

QString Image2DSettingView::getID()
{
    return QStringLiteral("image2d_setting");
}

QString Image2DSettingView::getTitle() const
{
    return QStringLiteral("Image Setting");
}

void Image2DSettingView::streamStarted()
{
    const Tavik::DepthCameraPtr camera = depthCameraController ? depthCameraController->getDepthCamera() : nullptr;
    if (!camera)
        return;
    const Tavik::CameraProfilePtr profile = camera->configFile.getCameraProfile(camera->getCurrentCameraProfileID());
    if (!profile)
        return;
    std::array<double, 4> calib{};
    const std::array<const char*, 4> keys{"fx", "fy", "cx", "cy"};
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!profile->hasFloat("calib", keys[i]))
            return;
        calib[i] = profile->getFloat("calib", keys[i]);
    }
    fx = calib[0];
    fy = calib[1];
    cx = calib[2];
    cy = calib[3];
    // No ratio to take: the caption keeps its text.
    if (fx == 0.0 || fy == 0.0)
        return;
    const double x = cx / fx;
    const double y = cy / fy;
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    xFovFacotor = x;
    yFovFacotor = y;
    xAngle = openingAngle(xFovFacotor);
    yAngle = openingAngle(yFovFacotor);
    displayCone->setText(QStringLiteral("Display Cone (FOV-H: %1,FOV-V:%2)").arg(xAngle).arg(yAngle));
}

void Image2DSettingView::releaseDepthCamera()
{
    diag::printLine(" image2d_setting releaseDepthCamera ");
}

void Image2DSettingView::horizontal_flip(int stateChanged)
{
    emit DataView::communicator()->hFlipChanged(stateChanged != 0);
}

void Image2DSettingView::vertical_flip(int stateChanged)
{
    emit DataView::communicator()->vFlipChanged(stateChanged != 0);
}

void Image2DSettingView::auto_exposure(int stateChanged)
{
    diag::printLine(QStringLiteral("auto_exposure %1").arg(stateChanged));
}

void Image2DSettingView::updateLowerLevel(int lower)
{
    diag::printLine(QStringLiteral("depthLevels lower: %1 ").arg(lower));
}

void Image2DSettingView::updateUpperLevel(int upper)
{
    diag::printLine(QStringLiteral("depthLevels upper: %1 ").arg(upper));
}

void Image2DSettingView::toggle_displayCone(int stateChanged)
{
    emit DataView::communicator()->displayConeToggle(stateChanged != 0);
}

void Image2DSettingView::init()
{
}

} // namespace Kelvra
