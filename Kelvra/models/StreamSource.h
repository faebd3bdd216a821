#pragma once
// The abstract frame source of the viewer: a live camera or a recorded file.
// The controller installs one frame callback and one power callback in the
// source it makes current and relays the source's five state signals.

#include "Kelvra/models/FrameCallback.h"
#include "Kelvra/models/SharedHandle.h"
#include "Tavik/Common.h"

#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace Kelvra {

// What a source asks for stream parameters: its camera or its reader.
using FrameStreamHandler = Tavik::StreamParamProvider;

class StreamSource : public QObject {
    Q_OBJECT
public:
    explicit StreamSource(const QString& name, QObject* parent = nullptr);
    ~StreamSource() override;

    virtual bool isInitialized() const;
    virtual QString getName() const;
    virtual void setPowerChangedCallback(PowerCallback callback);
    virtual void removePowerChangedCallback();
    virtual void setCallback(FrameCallback callback);
    virtual void removeCallback();
    virtual bool start();
    virtual bool pause();
    virtual bool resume();
    virtual bool stop();
    virtual bool isRunning() const;
    virtual bool isPaused() const;
    virtual bool isSeekable() const;
    virtual bool isLiveStream() const;
    virtual int length() const;
    virtual int64_t currentPosition() const;
    virtual int64_t currentTimestamp() const;
    virtual bool seek(int pos);
    virtual std::optional<QRect> getROI() const;
    virtual std::optional<QSize> getBinning() const;
    virtual float getStreamParamf(const std::string& name) const;
    virtual float getDepthScalingFactor() const;
    virtual float getAmplitudeScalingFactor() const;

    // What a player shows beside the picture; a live source answers neutrally.
    // Position of the set on show, -1 when none is (and for a live source).
    virtual int64_t deliveredPosition() const;
    // Where start() begins (0 for a live source).
    virtual int64_t startPosition() const;
    // What the source loses, found when it was opened, one line each.
    virtual QStringList damageNotes() const;
    // Why the last run ended early; empty when it ran to its end or was stopped.
    virtual QString stopReason() const;

signals:
    void paused();
    void resumed();
    void stopped();
    void beforestart();
    void started();

protected:
    // The installed callbacks, each read once per use; a frame thread calls
    // what it read, so a change takes effect from the next frame.
    std::shared_ptr<const FrameCallback> getCallback() const { return callback.load(); }
    std::shared_ptr<const PowerCallback> getPowerChangedCallback() const { return onPowerChangedCallback.load(); }
    void setFrameStreamHandler(std::shared_ptr<const FrameStreamHandler> handler);

    SharedHandle<const FrameCallback> callback;
    SharedHandle<const PowerCallback> onPowerChangedCallback;
    const QString name;
    std::atomic<int64_t> pos{0};
    std::atomic<int64_t> timestamp{0};
    std::atomic<bool> paus{false};
    SharedHandle<const FrameStreamHandler> frameStreamHandler;
};

} // namespace Kelvra
