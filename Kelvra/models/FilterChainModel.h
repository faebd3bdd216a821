#pragma once
// What the two editors of a camera's filter chains (the Filters page and the
// diagram) share: the object both observe for a chain one of them edited, the
// one match of what an editor shows against a chain the camera holds, and the
// adds that say in the log why the camera system or the camera refused.

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"

#include <QObject>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Kelvra {

class StreamHub;

class FilterChainModel : public QObject {
    Q_OBJECT
public:
    // The controller's model, made on first use and owned by the controller;
    // nothing without a controller.
    static FilterChainModel* of(StreamHub* controller);

    // A filter an editor shows: the index the camera gave it and that camera,
    // held weakly (an editor keeps no camera alive).
    struct Shown {
        int filterIndex;
        std::weak_ptr<Tavik::DepthCamera> camera;
    };
    using Drop = std::function<void(std::size_t shownPosition)>;
    using Add = std::function<void(const Tavik::DepthCamera::ChainedFilter& member, int afterFilterIndex)>;
    // Brings what an editor shows of one chain in line with the chain the
    // camera holds: drop() for each shown filter, last to first, that is
    // another camera's or has left the chain; then add() for each member shown
    // nowhere, in chain order, with the index of the member before it (-1 for
    // the first). Nothing without a camera.
    static void reconcile(const std::vector<Shown>& shown, const Tavik::DepthCameraPtr& camera, Tavik::FrameType type,
                          const Drop& drop, const Add& add);

    // The camera system's new filter for that chain, or nothing with the
    // reason in the log.
    static Tavik::FilterPtr createFilter(Tavik::CameraSystem& cameraSystem, const std::string& name,
                                         Tavik::FrameType type);
    // The camera's addFilter; a refusal (negative) with the reason in the log.
    static int addFilter(Tavik::DepthCamera& camera, const Tavik::FilterPtr& filter, Tavik::FrameType type,
                         int beforeFilterIndex = -1);

    // An editor changed a chain of the controller's camera and shows it:
    // every editor of that controller reconciles.
    static void edited(StreamHub* controller);

signals:
    // Every editor reconciles with the camera's chains.
    void chainsEdited();

private:
    explicit FilterChainModel(StreamHub* controller);
};

} // namespace Kelvra
