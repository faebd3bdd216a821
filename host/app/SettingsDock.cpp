#include "host/app/SettingsDock.h"

#include "host/app/CameraParametersPage.h"

#include "Kelvra/views/ClipRangeView.h"
#include "Kelvra/views/EffectFilterPage.h"
#include "Kelvra/views/ImageOptionsPage.h"
#include "Kelvra/views/UnwrapParamControl.h"

#include <QToolBox>
#include <QVBoxLayout>

using namespace Kelvra;

SettingsDock::SettingsDock(HostWindow* window, Tavik::CameraSystem* cameraSystem, StreamHub* depthCameraController,
                           QWidget* parent)
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

QWidget* SettingsDock::holderOf(QWidget* page)
{
    // The tool box stretches what it is given over its whole height: the
    // page's few rows would spread over it. The page keeps its own height at
    // the top, the holder's stretch takes the rest (the tool box scrolls a
    // page taller than the dock).
    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
    layout->addStretch(1);
    return holder;
}

void SettingsDock::file(QWidget* page, const QString& id, const QString& title)
{
    page->setObjectName(id);
    box->addItem(holderOf(page), title);
}

QWidget* SettingsDock::pageAt(int index) const
{
    QWidget* holder = box->widget(index);
    QLayoutItem* item = holder && holder->layout() ? holder->layout()->itemAt(0) : nullptr;
    return item ? item->widget() : nullptr;
}

QWidget* SettingsDock::page(const QString& id) const
{
    for (int i = 0; i < box->count(); ++i)
        if (QWidget* page = pageAt(i); page && page->objectName() == id)
            return page;
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
    QWidget* oldHolder = range->parentWidget();
    const int index = box->indexOf(oldHolder);
    const bool shown = box->currentIndex() == index;
    range = makeRangePage();
    range->setObjectName(UnambiguousRangeView::getID());
    box->removeItem(index);
    box->insertItem(index, holderOf(range), range->getTitle());
    if (shown)
        box->setCurrentIndex(index);
    oldHolder->hide();
    oldHolder->deleteLater(); // with the old page

    cameraParams->rebuild();
}
