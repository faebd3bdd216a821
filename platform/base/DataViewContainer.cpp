#include "platform/base/DataViewContainer.h"

#include "platform/base/DataEngine.h"
#include "platform/base/DataFormat.h"
#include "platform/base/DataView.h"

#include <QVBoxLayout>

namespace {

DataViewContainer::ViewFactory& installedFactory()
{
    static DataViewContainer::ViewFactory factory;
    return factory;
}

} // namespace

void DataViewContainer::setViewFactory(ViewFactory factory)
{
    installedFactory() = std::move(factory);
}

DataViewContainer::DataViewContainer(DataEngine* dataEngine, const QString& formatName, bool shouldLinkViewBox,
                                     bool displayDepth, QWidget* parent)
    : QWidget(parent)
    , formatName(formatName)
    , dataFormat(std::make_unique<DataFormat>(formatName))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    if (const ViewFactory& factory = installedFactory())
        dataView = factory(dataEngine, dataFormat.get(), shouldLinkViewBox, displayDepth, this);
    if (!dataView)
        return;
    layout->addWidget(dataView);
    if (dataEngine)
        connect(dataEngine, &DataEngine::frameUpdated, dataView, &DataView::displayData);
}

DataViewContainer::~DataViewContainer()
{
    // The view goes before the format it points to.
    delete dataView;
}

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
