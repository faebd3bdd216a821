#include "host/engine/HostViewFactory.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/views/PlaneView.h"
#include "host/engine/PointCloudView.h"
#include "platform/base/DataChannels.h"
#include "platform/base/DataFormat.h"
#include "platform/base/DataViewContainer.h"

namespace {

DataView* makeView(DataEngine* dataEngine, DataFormat* format, bool shouldLinkViewBox, bool displayDepth,
                   QWidget* parent)
{
    if (format->name == DataChannels::AMPLITUDE || format->name == DataChannels::PHASE) {
        auto* plane = new Kelvra::PlaneView(dataEngine, format, displayDepth, std::nullopt, parent);
        if (shouldLinkViewBox)
            plane->linkViewBox();
        // The keys the view box turns into signals and the view leaves to
        // its host: E exports the picture, H shows or hides the levels'
        // "Threshold:" row.
        Kelvra::ZoomViewBox* box = plane->getViewBox();
        QObject::connect(box, &Kelvra::ZoomViewBox::exportImage, plane, &Kelvra::PlaneView::exportImage);
        QObject::connect(box, &Kelvra::ZoomViewBox::histogramToggle, plane, [plane] {
            const bool shown = !plane->getSpanSlider()->isHidden();
            plane->getSpanLabel()->setVisible(!shown);
            plane->getSpanSlider()->setVisible(!shown);
        });
        return plane;
    }
    if (format->name == DataChannels::POINTCLOUD)
        return new PointCloudView(dataEngine, parent);
    Kelvra::diag::printTuple("DataViewContainer", "no view for format", format->name);
    return nullptr;
}

} // namespace

void installHostViewFactory()
{
    DataViewContainer::setViewFactory(makeView);
}
