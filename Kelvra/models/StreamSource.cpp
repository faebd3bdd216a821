#include "Kelvra/models/StreamSource.h"

namespace Kelvra {

StreamSource::StreamSource(const QString& name, QObject* parent)
    : QObject(parent)
    , name(name)
{
}

StreamSource::~StreamSource() = default;

bool StreamSource::isInitialized() const
{
    return false;
}

QString StreamSource::getName() const
{
    return name;
}

void StreamSource::setPowerChangedCallback(PowerCallback cb)
{
    onPowerChangedCallback.store(cb ? std::make_shared<const PowerCallback>(std::move(cb)) : nullptr);
}

void StreamSource::removePowerChangedCallback()
{
    onPowerChangedCallback.store(nullptr);
}

void StreamSource::setCallback(FrameCallback cb)
{
    callback.store(cb ? std::make_shared<const FrameCallback>(std::move(cb)) : nullptr);
}

void StreamSource::removeCallback()
{
    callback.store(nullptr);
}

bool StreamSource::start()
{
    return false;
}

bool StreamSource::pause()
{
    if (!isRunning())
        return false;
    // No test of the flag first: a second pause() reports again.
    paus = true;
    emit paused();
    return true;
}

bool StreamSource::resume()
{
    if (!isRunning()) {
        paus = false;
        return false;
    }
    if (!isPaused())
        return false;
    paus = false;
    emit resumed();
    return true;
}

bool StreamSource::stop()
{
    return false;
}

bool StreamSource::isRunning() const
{
    return false;
}

bool StreamSource::isPaused() const
{
    return paus;
}

bool StreamSource::isSeekable() const
{
    return false;
}

bool StreamSource::isLiveStream() const
{
    return false;
}

int StreamSource::length() const
{
    return 0;
}

int64_t StreamSource::deliveredPosition() const
{
    return -1;
}

int64_t StreamSource::startPosition() const
{
    return 0;
}

QStringList StreamSource::damageNotes() const
{
    return {};
}

QString StreamSource::stopReason() const
{
    return {};
}

int64_t StreamSource::currentPosition() const
{
    return pos;
}

int64_t StreamSource::currentTimestamp() const
{
    return timestamp;
}

bool StreamSource::seek(int)
{
    return false;
}

std::optional<QRect> StreamSource::getROI() const
{
    return std::nullopt;
}

std::optional<QSize> StreamSource::getBinning() const
{
    return std::nullopt;
}

float StreamSource::getStreamParamf(const std::string& paramName) const
{
    auto handler = frameStreamHandler.load();
    if (!handler)
        return 0.f;
    auto [ok, value] = handler->getStreamParamf(paramName);
    return ok ? value : 0.f;
}

float StreamSource::getDepthScalingFactor() const
{
    return getStreamParamf("depthScalingFactor");
}

float StreamSource::getAmplitudeScalingFactor() const
{
    return getStreamParamf("amplitudeScalingFactor");
}

void StreamSource::setFrameStreamHandler(std::shared_ptr<const FrameStreamHandler> handler)
{
    frameStreamHandler.store(std::move(handler));
}

} // namespace Kelvra
