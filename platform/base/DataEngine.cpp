#include "platform/base/DataEngine.h"
#include "platform/base/DataChannels.h"

#include <QThread>

#include <algorithm>

DataChannel::DataChannel(const QString& name, QObject* parent)
    : QObject(parent)
    , name(name)
{
}

DataEngine::DataEngine(Kelvra::StreamHub* depthCameraController, QObject* parent)
    : QObject(parent)
    , controller(depthCameraController)
{
}

DataChannel* DataEngine::channel(const QString& name)
{
    auto it = channels.find(name);
    if (it == channels.end())
        it = channels.insert(name, new DataChannel(name, this));
    return it.value();
}

void DataEngine::notifyChannel(const QString& name)
{
    if (DataChannel* c = channels.value(name))
        c->notify();
}

void DataEngine::publishFrame(const Images& frameImages, std::optional<FrameSize> frameSize)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, frameImages, frameSize] { publishOnOwnThread(frameImages, frameSize); }, Qt::QueuedConnection);
        return;
    }
    publishOnOwnThread(frameImages, frameSize);
}

void DataEngine::publishOnOwnThread(const Images& frameImages, std::optional<FrameSize> frameSize)
{
    images = frameImages;
    if (frameSize) {
        size = frameSize;
    } else {
        for (const QString& key : {DataChannels::AMPLITUDE, DataChannels::PHASE, DataChannels::DEPTH}) {
            const cv::Mat img = images.value(key);
            if (!img.empty()) {
                size = FrameSize{img.rows, img.cols};
                break;
            }
        }
    }
    for (auto it = images.cbegin(); it != images.cend(); ++it)
        notifyChannel(it.key());
    emit frameUpdated();
}

void DataEngine::setSettlingTime(int frames)
{
    settling.store(std::clamp(frames, MIN_SETTLING_TIME, MAX_SETTLING_TIME));
}

void DataEngine::setRateFactor(double factor)
{
    if (rate.exchange(factor) != factor)
        emit rateFactorChanged(factor);
}
