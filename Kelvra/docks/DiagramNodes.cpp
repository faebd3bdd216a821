#include "Kelvra/docks/DiagramNodes.h"

#include "Tavik/DepthCamera.h"

#include <utility>

namespace Kelvra {

const std::map<Tavik::FrameType, QString> FrameTypeToName = {
    {Tavik::DepthCamera::FRAME_RAW_FRAME_UNPROCESSED, QStringLiteral("Raw Frame (unprocessed)")},
    {Tavik::DepthCamera::FRAME_RAW_FRAME_PROCESSED, QStringLiteral("Raw Frame (processed)")},
    {Tavik::DepthCamera::FRAME_DEPTH_FRAME, QStringLiteral("Depth\nFrame")},
    {Tavik::DepthCamera::FRAME_XYZI_POINT_CLOUD_FRAME, QStringLiteral("Point Cloud\nFrame")},
};

QString frameTypeCaption(Tavik::FrameType type)
{
    auto it = FrameTypeToName.find(type);
    return it == FrameTypeToName.end() ? QString() : it->second;
}

QString filterBlockName(const QString& filterName)
{
    QString name = filterName;
    return name.replace(QStringLiteral("::"), QStringLiteral("::\n"));
}

DataBlock::DataBlock(PipelineDiagramDock* pipelineDiagramDock, QString blockName, OptionalFrameType inputType,
                     OptionalFrameType outputType, QString status)
    : blockName(std::move(blockName))
    , status(std::move(status))
    , inputType(inputType)
    , outputType(outputType)
    , pipelineDiagramDock(pipelineDiagramDock)
{
}

ProcessBlock::ProcessBlock(PipelineDiagramDock* pipelineDiagramDock, OptionalFrameType inputType,
                           Tavik::FrameType outputType, QString status)
    : DataBlock(pipelineDiagramDock, frameTypeCaption(outputType), inputType, outputType, std::move(status))
{
}

FilterNode::FilterNode(const QString& filterName, int filterIndex, PipelineDiagramDock* pipelineDiagramDock,
                       OptionalFrameType inputType, OptionalFrameType outputType, QString status,
                       std::weak_ptr<Tavik::DepthCamera> camera)
    : DataBlock(pipelineDiagramDock, filterBlockName(filterName), inputType, outputType, std::move(status))
    , filterIndex(filterIndex)
    , camera(std::move(camera))
{
}

FilterBlock::FilterBlock(Tavik::FilterPtr filter, int filterIndex, PipelineDiagramDock* pipelineDiagramDock,
                         OptionalFrameType inputType, OptionalFrameType outputType, QString status,
                         std::weak_ptr<Tavik::DepthCamera> camera)
    : FilterNode(filter ? QString::fromStdString(filter->name()) : QString(), filterIndex, pipelineDiagramDock,
                 inputType, outputType, std::move(status), std::move(camera))
    , filter(std::move(filter))
{
}

FilterBlock1::FilterBlock1(std::string filter, int filterIndex, PipelineDiagramDock* pipelineDiagramDock,
                           OptionalFrameType inputType, OptionalFrameType outputType, QString status,
                           std::weak_ptr<Tavik::DepthCamera> camera)
    : FilterNode(QString::fromStdString(filter), filterIndex, pipelineDiagramDock, inputType, outputType,
                 std::move(status), std::move(camera))
    , filter(std::move(filter))
{
}

} // namespace Kelvra
