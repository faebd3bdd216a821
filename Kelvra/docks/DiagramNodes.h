#pragma once
// Node records of the filter-chain diagram: the four processing stages and
// the filters between them, each knowing the frame types entering and
// leaving it.

#include "Tavik/Common.h"
#include "Tavik/Filter.h"

#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace Kelvra {

class PipelineDiagramDock;

using OptionalFrameType = std::optional<Tavik::FrameType>;
// What an add is given: a filter name for the camera system to make, or a
// filter object to put back into a chain.
using FilterChoice = std::variant<QString, Tavik::FilterPtr>;

// Caption of each frame type: names the stages and the arrows.
extern const std::map<Tavik::FrameType, QString> FrameTypeToName;

// The caption of a frame type, empty for a type outside the table.
QString frameTypeCaption(Tavik::FrameType type);

// A filter name drawn one "::"-separated part per line.
QString filterBlockName(const QString& filterName);

class DataBlock {
public:
    DataBlock(PipelineDiagramDock* pipelineDiagramDock, QString blockName, OptionalFrameType inputType,
              OptionalFrameType outputType, QString status = QString());
    virtual ~DataBlock() = default; // owned through the base
    DataBlock(const DataBlock&) = delete;
    DataBlock& operator=(const DataBlock&) = delete;

    QString blockName;
    QString status;
    OptionalFrameType inputType;
    OptionalFrameType outputType;
    PipelineDiagramDock* pipelineDiagramDock; // not owning
};

// One of the four fixed stages, named after the frame type it produces.
class ProcessBlock : public DataBlock {
public:
    ProcessBlock(PipelineDiagramDock* pipelineDiagramDock, OptionalFrameType inputType, Tavik::FrameType outputType,
                 QString status = QString());
};

// What both filter records hold besides the filter: the index the camera
// returned when the filter was added, and that camera. The camera is held
// weakly, so a node keeps no old camera alive; the index means something
// only to that camera.
class FilterNode : public DataBlock {
public:
    int filterIndex;
    std::weak_ptr<Tavik::DepthCamera> camera;

protected:
    FilterNode(const QString& filterName, int filterIndex, PipelineDiagramDock* pipelineDiagramDock,
               OptionalFrameType inputType, OptionalFrameType outputType, QString status,
               std::weak_ptr<Tavik::DepthCamera> camera);
};

// One filter of one frame type's chain.
class FilterBlock : public FilterNode {
public:
    FilterBlock(Tavik::FilterPtr filter, int filterIndex, PipelineDiagramDock* pipelineDiagramDock,
                OptionalFrameType inputType, OptionalFrameType outputType, QString status = QString(),
                std::weak_ptr<Tavik::DepthCamera> camera = {});

    Tavik::FilterPtr filter;
};

// The same record holding the filter's name instead of the filter.
class FilterBlock1 : public FilterNode {
public:
    FilterBlock1(std::string filter, int filterIndex, PipelineDiagramDock* pipelineDiagramDock,
                 OptionalFrameType inputType, OptionalFrameType outputType, QString status = QString(),
                 std::weak_ptr<Tavik::DepthCamera> camera = {});

    std::string filter;
};

} // namespace Kelvra
