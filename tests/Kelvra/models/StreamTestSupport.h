#pragma once
// Shared helpers of the stream source and controller tests.

#include "Kelvra/models/FrameCallback.h"
#include "Kelvra/models/StreamHub.h"
#include "Tavik/StreamGenerator.h"
#include "Tavik/Tavik.h"
#include "tests/support/TestSupport.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace StreamTest {

using Clock = std::chrono::steady_clock;

// Every frame a callback saw, from whatever thread it came.
class FrameLog {
public:
    struct Entry {
        Tavik::DepthCamera* camera;
        int64_t id;
        Tavik::FrameType type;
        std::thread::id thread;
        Clock::time_point at;
    };

    Kelvra::FrameCallback callback()
    {
        return [this](const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame, Tavik::FrameType type) {
            std::lock_guard<std::mutex> lock(m_);
            entries_.push_back({camera.get(), frame ? frame->id : -1, type, std::this_thread::get_id(), Clock::now()});
        };
    }
    std::vector<Entry> entries() const
    {
        std::lock_guard<std::mutex> lock(m_);
        return entries_;
    }
    size_t size() const { return entries().size(); }
    // Ids of the raw unprocessed frames seen, one per frame set.
    std::vector<int64_t> setIds() const
    {
        std::vector<int64_t> ids;
        for (const auto& e : entries())
            if (e.type == Tavik::FRAME_RAW_FRAME_UNPROCESSED)
                ids.push_back(e.id);
        return ids;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_);
        entries_.clear();
    }

private:
    mutable std::mutex m_;
    std::vector<Entry> entries_;
};

// The order of state signals, recorded on this (the test's) thread: a signal
// emitted on another thread arrives queued.
class SignalLog : public QObject {
public:
    template <class Emitter> explicit SignalLog(Emitter* emitter)
    {
        record(emitter, &Emitter::started, "started");
        record(emitter, &Emitter::beforestart, "beforestart");
        record(emitter, &Emitter::stopped, "stopped");
        record(emitter, &Emitter::paused, "paused");
        record(emitter, &Emitter::resumed, "resumed");
        if constexpr (std::is_same_v<Emitter, Kelvra::StreamHub>) {
            record(emitter, &Emitter::sourceListChanged, "sourceListChanged");
            record(emitter, &Emitter::onDepthCameraSet, "onDepthCameraSet");
            connect(emitter, &Emitter::sourceSelected, this,
                    [this](int pos) { names << QString("sourceSelected(%1)").arg(pos); });
        }
    }
    QString joined() const { return names.join(' '); }
    QStringList names;

private:
    template <class Emitter, class Signal> void record(Emitter* emitter, Signal signal, const char* name)
    {
        connect(emitter, signal, this, [this, name] { names << name; });
    }
};

// Captures what is printed on std::cout while it lives.
class CoutCapture {
public:
    CoutCapture()
        : old_(std::cout.rdbuf(buffer_.rdbuf()))
    {
    }
    ~CoutCapture() { std::cout.rdbuf(old_); }
    std::string text() const { return buffer_.str(); }

private:
    std::ostringstream buffer_;
    std::streambuf* old_;
};

// A camera system with a connected camera whose frames come only when the
// test asks for them.
struct SimCamera {
    explicit SimCamera(int device = 0, bool manual = true)
    {
        auto devices = system.scan();
        camera = system.connect(devices.at(device));
        if (manual)
            system.simulation().setManualDelivery(camera, true);
    }
    bool deliver(int sets = 1) { return system.simulation().deliverFrameSets(camera, sets); }
    Tavik::CameraSystem system;
    Tavik::DepthCameraPtr camera;
};

// A small frame of one type with the given id and timestamp.
inline Tavik::FramePtr makeFrame(Tavik::FrameType type, int64_t id, int64_t timestamp)
{
    auto frame = std::make_shared<Tavik::Frame>();
    frame->type = type;
    frame->id = id;
    frame->timestamp = timestamp;
    return frame;
}

struct SetSpec {
    int64_t id;
    int64_t timestamp; // microseconds
};

// Writes a small recording of the given sets; true when it was written.
inline bool writeRecording(const std::string& path, const std::vector<SetSpec>& sets, bool withDepthScaling = true,
                           std::set<int> corruptSets = {})
{
    Tavik::StreamGenerator::Spec spec;
    spec.sets = static_cast<int>(sets.size());
    spec.width = 8;
    spec.height = 6;
    for (const auto& s : sets) {
        spec.ids.push_back(s.id);
        spec.timestamps.push_back(s.timestamp);
    }
    spec.withDepthScalingFactor = withDepthScaling;
    spec.corruptSets = std::move(corruptSets);
    return Tavik::StreamGenerator::write(path, spec);
}

// `count` sets with ids from 1 at `intervalUs` apart.
inline std::vector<SetSpec> evenSets(int count, int64_t intervalUs = 1000)
{
    std::vector<SetSpec> sets;
    for (int i = 0; i < count; ++i)
        sets.push_back({i + 1, 1000000 + i * intervalUs});
    return sets;
}

} // namespace StreamTest
