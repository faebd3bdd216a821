#pragma once
// The host's frame store as plug-ins see it.
//
// data() maps "amplitude", "phase" and "depth" to the current images: CV_32F
// matrices with rows = x = width and cols = y = height, so img.at<float>(x, y)
// is pixel (x, y); "depth" is in metres. A key that is absent means the image
// is lacking, an empty matrix means nothing. Images are replaced per frame,
// never changed in place, so a matrix a view or chart holds stays valid.
//
// The engine lives on the user-interface thread; data(), frameSize() and the
// channel notifications belong to that thread. The engine that converts
// frames (a subclass above the modules) hands each frame set to publishFrame().

#include <QMap>
#include <QObject>
#include <QString>

#include <opencv2/core.hpp>

#include <array>
#include <atomic>
#include <optional>

namespace Kelvra {
class StreamHub;
}

// One named data channel; dataReady() fires once per new data of that name.
class DataChannel : public QObject {
    Q_OBJECT
public:
    explicit DataChannel(const QString& name, QObject* parent = nullptr);
    QString getName() const { return name; }
    void notify() { emit dataReady(); }

signals:
    void dataReady();

private:
    const QString name;
};

class DataEngine : public QObject {
    Q_OBJECT
public:
    using Images = QMap<QString, cv::Mat>;
    using FrameSize = std::array<int, 2>; // [width, height]

    static constexpr int DEFAULT_SETTLING_TIME = 10;
    static constexpr int MIN_SETTLING_TIME = 1;
    static constexpr int MAX_SETTLING_TIME = 200;

    explicit DataEngine(Kelvra::StreamHub* depthCameraController, QObject* parent = nullptr);

    const Images& data() const { return images; }
    // Empty before the first frame.
    std::optional<FrameSize> frameSize() const { return size; }

    // The stream controller, held from construction on.
    Kelvra::StreamHub* depthCameraController() const { return controller; }
    Kelvra::StreamHub* getDepthCameraController() const { return controller; }

    // Subscribes a no-argument slot to a channel, made on first use. With
    // Qt::QueuedConnection the slot runs later from the receiver's event
    // loop, even when the engine notifies on the same thread.
    template <class R>
    QMetaObject::Connection connectData(const QString& name, R* receiver, void (R::*slot)(),
                                        Qt::ConnectionType type = Qt::AutoConnection)
    {
        return QObject::connect(channel(name), &DataChannel::dataReady, receiver, slot, type);
    }
    DataChannel* channel(const QString& name);
    // Notifies the subscribers of one channel (nothing when nobody subscribed).
    void notifyChannel(const QString& name);

    // Takes a new frame set: replaces data() and frameSize(), notifies the
    // channel of every name in `images`, then emits frameUpdated(). Without
    // `frameSize` the size is taken from the first non-empty image
    // (amplitude, phase, depth), or kept when there is none. Called from
    // another thread, the frame set is posted to the engine's thread.
    void publishFrame(const Images& images, std::optional<FrameSize> frameSize = std::nullopt);

    int settlingTime() const { return settling.load(); }
    double rateFactor() const { return rate.load(); }
    // Thread-safe; emits rateFactorChanged on the calling thread when the value changes.
    void setRateFactor(double factor);

public slots:
    // Takes 1..200; values outside are clamped. Virtual, so that a subclass
    // can see every write.
    virtual void setSettlingTime(int frames);

signals:
    void frameUpdated();
    void rateFactorChanged(double rateFactor);

private:
    void publishOnOwnThread(const Images& images, std::optional<FrameSize> frameSize);

    Kelvra::StreamHub* const controller;
    Images images;
    std::optional<FrameSize> size;
    QMap<QString, DataChannel*> channels;
    std::atomic<int> settling{DEFAULT_SETTLING_TIME};
    std::atomic<double> rate{1.0};
};
