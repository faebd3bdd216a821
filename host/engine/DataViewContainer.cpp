#include "host/engine/DataViewContainer.h"
#include "host/base/DataChannels.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/views/PlaneView.h"
#include "host/base/DataEngine.h"
#include "host/base/DataFormat.h"
#include "host/engine/PointCloudView.h"

#include <QVBoxLayout>

DataViewContainer::DataViewContainer(DataEngine* dataEngine, const QString& formatName, bool shouldLinkViewBox,
                                     bool displayDepth, QWidget* parent)
    : QWidget(parent)
    , formatName(formatName)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    if (formatName == DataChannels::AMPLITUDE || formatName == DataChannels::PHASE) {
        dataFormat = std::make_unique<DataFormat>(formatName);
        auto* plane = new Kelvra::PlaneView(dataEngine, dataFormat.get(), displayDepth, std::nullopt, this);
        if (shouldLinkViewBox)
            plane->linkViewBox();
        // The keys the view box turns into signals and the view leaves to
        // its host: E exports the picture, H shows or hides the levels'
        // "Threshold:" row.
        Kelvra::ZoomViewBox* box = plane->getViewBox();
        connect(box, &Kelvra::ZoomViewBox::exportImage, plane, &Kelvra::PlaneView::exportImage);
        connect(box, &Kelvra::ZoomViewBox::histogramToggle, plane, [plane] {
            const bool shown = !plane->getSpanSlider()->isHidden();
            plane->getSpanLabel()->setVisible(!shown);
            plane->getSpanSlider()->setVisible(!shown);
        });
        dataView = plane;
    } else if (formatName == DataChannels::POINTCLOUD) {
        dataView = new PointCloudView(dataEngine, this);
    } else {
        Kelvra::diag::printTuple("DataViewContainer", "no view for format", formatName);
        return;
    }
    layout->addWidget(dataView);
    if (dataEngine)
        connect(dataEngine, &DataEngine::frameUpdated, dataView, &DataView::displayData);
}

DataViewContainer::~DataViewContainer()
{
    // The view goes before the format it points to.
    delete dataView;
}

Kelvra::PlaneView* DataViewContainer::planeView() const { return qobject_cast<Kelvra::PlaneView*>(dataView); }

PointCloudView* DataViewContainer::pointCloudView() const { return qobject_cast<PointCloudView*>(dataView); }

void DataViewContainer::resetView()
{
    if (dataView)
        dataView->resetView();
    emit resetViewCalled();
}

void DataViewContainer::ShowView(bool isShow)
{
    if (dataView)
        dataView->ShowView(isShow);
    emit showViewCalled(isShow);
}

void DataViewContainer::setStatusBar(StatusMessageBar* statusBar)
{
    if (dataView)
        dataView->setStatusBar(statusBar);
}
