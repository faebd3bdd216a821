#include "host/app/SettingsDock.h"

#include "host/app/CameraParametersPage.h"

#include "Kelvra/views/ClipRangeView.h"
#include "Kelvra/views/EffectFilterPage.h"
#include "Kelvra/views/ImageOptionsPage.h"
#include "Kelvra/views/UnwrapParamControl.h"

#include <QToolBox>

using namespace Kelvra;

SettingsDock::SettingsDock(
    HostWindow* window, Tavik::CameraSystem* cameraSystem, StreamHub* depthCameraController, QWidget* parent)
    : QDockWidget(QStringLiteral("Settings"), parent)
    , window(window)
    , depthCameraController(depthCameraController)
    , box(new QToolBox(this))
{
    setObjectName(QStringLiteral("settings"));
    setWidget(box);

    effect = new PointCloudEffectSettingView(window, cameraSystem, depthCameraController);
    file(effect, PointCloudEffectSettingView::getID(), effect->getTitle());
    image = new Image2DSettingView(window, cameraSystem, depthCameraController);
    file(image, Image2DSettingView::getID(), image->getTitle());
    range = makeRangePage();
    file(range, UnambiguousRangeView::getID(), range->getTitle());
    clip = new ClipRangeView(window, cameraSystem, depthCameraController);
    file(clip, ClipRangeView::getID(), clip->getTitle());
    cameraParams = new CameraParametersPage(window, cameraSystem, depthCameraController);
    file(cameraParams, CameraParametersPage::getID(), cameraParams->getTitle());

    // A write on the parameters page may change the range (modulation
    // frequencies); a new range changes the frequencies.
    connect(cameraParams, &CameraParametersPage::valueChanged, this, [this] { range->init(); });
}

void SettingsDock::file(QWidget* page, const QString& id, const QString& title)
{
    page->setObjectName(id);
    box->addItem(page, title);
}

QWidget* SettingsDock::page(const QString& id) const
{
    for (int i = 0; i < box->count(); ++i)
        if (box->widget(i)->objectName() == id)
            return box->widget(i);
    return nullptr;
}

UnambiguousRangeView* SettingsDock::makeRangePage()
{
    auto* page = new UnambiguousRangeView(window, depthCameraController);
    connect(page, &UnambiguousRangeView::valueChanged, this, [this] {
        if (cameraParams)
            cameraParams->init();
    });
    return page;
}

void SettingsDock::releaseDepthCamera()
{
    effect->releaseDepthCamera();
    image->releaseDepthCamera();
    range->releaseDepthCamera();
    cameraParams->releaseDepthCamera();
}

void SettingsDock::onDepthCameraSet()
{
    // The old page must hold nothing of the old camera, whether or not the
    // window released it first.
    range->releaseDepthCamera();
    const int index = box->indexOf(range);
    const bool shown = box->currentIndex() == index;
    UnambiguousRangeView* old = range;
    range = makeRangePage();
    range->setObjectName(UnambiguousRangeView::getID());
    box->removeItem(index);
    box->insertItem(index, range, range->getTitle());
    if (shown)
        box->setCurrentIndex(index);
    old->hide();
    old->deleteLater();

    cameraParams->rebuild();
}
