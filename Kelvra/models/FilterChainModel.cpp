#include "Kelvra/models/FilterChainModel.h"

#include "Kelvra/models/StreamHub.h"
#include "platform/log/Logger.h"

#include <algorithm>

namespace Kelvra {

namespace {

void logRefusal(const QString& what, const std::string& name, const std::string& why)
{
    Logger::writeLog(Tavik::LOG_ERROR,
                     what + QStringLiteral(" \"") + QString::fromStdString(name) + QStringLiteral("\": ")
                         + QString::fromStdString(why));
}

} // namespace

FilterChainModel::FilterChainModel(StreamHub* controller)
    : QObject(controller)
{
}

FilterChainModel* FilterChainModel::of(StreamHub* controller)
{
    if (!controller)
        return nullptr;
    if (auto* model = controller->findChild<FilterChainModel*>(QString(), Qt::FindDirectChildrenOnly))
        return model;
    return new FilterChainModel(controller);
}

void FilterChainModel::reconcile(const std::vector<Shown>& shown, const Tavik::DepthCameraPtr& camera,
                                 Tavik::FrameType type, const Drop& drop, const Add& add)
{
    if (!camera)
        return;
    const auto chain = camera->getFilterChain(type);
    const auto isShown = [&](const Shown& s, int index) { return s.filterIndex == index && s.camera.lock() == camera; };
    for (std::size_t i = shown.size(); i-- > 0;) {
        const bool inChain = std::any_of(chain.begin(), chain.end(),
                                         [&](const auto& member) { return isShown(shown[i], member.index); });
        if (!inChain)
            drop(i);
    }
    int after = -1;
    for (const auto& member : chain) {
        if (!member.filter)
            continue;
        if (std::none_of(shown.begin(), shown.end(), [&](const Shown& s) { return isShown(s, member.index); }))
            add(member, after);
        after = member.index;
    }
}

Tavik::FilterPtr FilterChainModel::createFilter(Tavik::CameraSystem& cameraSystem, const std::string& name,
                                                Tavik::FrameType type)
{
    std::string why;
    Tavik::FilterPtr filter = cameraSystem.createFilter(name, type, &why);
    if (!filter)
        logRefusal(QStringLiteral("Could not create filter"), name, why);
    return filter;
}

int FilterChainModel::addFilter(Tavik::DepthCamera& camera, const Tavik::FilterPtr& filter, Tavik::FrameType type,
                                int beforeFilterIndex)
{
    std::string why;
    const int index = camera.addFilter(filter, type, beforeFilterIndex, &why);
    if (index < 0)
        logRefusal(QStringLiteral("Could not add filter"), filter ? filter->name() : std::string(), why);
    return index;
}

void FilterChainModel::edited(StreamHub* controller)
{
    if (FilterChainModel* model = of(controller))
        emit model->chainsEdited();
}

} // namespace Kelvra
