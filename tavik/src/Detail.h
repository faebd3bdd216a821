#pragma once
// Internal state behind the public handles. Not installed, not part of the API.

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Filter.h"
#include "Tavik/Frame.h"
#include "Tavik/FrameStream.h"
#include "Tavik/Parameter.h"
#include "Tavik/Simulation.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace Tavik::detail {

// ---------------------------------------------------------------------------
// Parameters

enum class ParamKind { StrobeBool, Bool, Enum, Int, Uint, Float };

// Which typed setter a write came through.
enum class Setter { I, B, U, F };

bool setterAccepts(Setter setter, ParamKind kind);
bool isNumeric(ParamKind kind);

struct ParamSpec {
    std::string name;
    std::string displayName;
    std::string description;
    std::string unit;
    ParamKind kind = ParamKind::Float;
    Parameter::IOType io = Parameter::IO_READ_WRITE;
    uint32_t address = 0;
    int msb = 0;
    int lsb = 0;
    double lower = 0.0;
    double upper = 0.0;
    double def = 0.0;
    std::vector<int32_t> allowed;
    std::vector<std::string> meanings;
    std::vector<std::string> descriptions;
};

// Injected failures and the filter-index counter, shared by a camera system
// and everything it made (so no object needs a reference to the system).
struct SystemShared {
    // True when a failure of `operation` was injected; uses one up.
    bool consume(const std::string& operation);
    void set(const std::string& operation, int count);
    void clear();
    int nextFilterIndex() { return filterIndex_.fetch_add(1); }

private:
    std::mutex m_;
    std::map<std::string, int> failures_;
    std::atomic<int> filterIndex_{0};
};

// The owner of a set of parameters (a camera or a filter). Every value is held
// as a double: bool, int32, uint32 and float all fit exactly.
class ParamHost {
public:
    explicit ParamHost(std::shared_ptr<SystemShared> shared)
        : shared_(std::move(shared))
    {
    }
    virtual ~ParamHost() = default;
    ParamHost(const ParamHost&) = delete;
    ParamHost& operator=(const ParamHost&) = delete;

    void addParam(const ParamSpec& spec);
    void removeParam(const std::string& name);

    // Parameter::get(): ok false for an unknown, write-only or inaccessible
    // parameter, or an injected read failure.
    Result<double> readParam(const std::string& name);
    // The typed writes. ok false: unknown name, wrong setter for the kind,
    // read-only, value not allowed, injected failure or refused by the owner.
    Result<double> writeParam(const std::string& name, Setter setter, double value);
    // Limits as the parameter object reports them now.
    std::pair<double, double> limits(const std::string& name);
    bool hasParam(const std::string& name) const;
    std::vector<ParamSpec> specs() const;
    std::map<std::string, double> values() const;

    const std::shared_ptr<SystemShared>& shared() const { return shared_; }

protected:
    // Called with m_ held.
    virtual bool accessibleLocked() const { return true; }
    virtual double readLocked(const ParamSpec& spec) const;
    // Stores a checked, clamped value; may refuse (ok false) or adjust it.
    virtual Result<double> writeLocked(const ParamSpec& spec, double value);
    virtual void noteWriteLocked(const std::string&) { }
    // The limits a write may reach now; the table's by default.
    virtual std::pair<double, double> limitsLocked(const ParamSpec& spec) const { return {spec.lower, spec.upper}; }

    const ParamSpec* findLocked(const std::string& name) const;
    double valueLocked(const std::string& name, double fallback = 0.0) const;
    void storeLocked(const std::string& name, double value) { values_[name] = value; }

    mutable std::mutex m_;

private:
    std::shared_ptr<SystemShared> shared_;
    std::vector<ParamSpec> specs_;
    std::map<std::string, double> values_;
};

struct ParameterState {
    ParamSpec spec;
    std::weak_ptr<ParamHost> host;
};

// A parameter object of the kind class that matches the description (camera or
// filter side).
ParameterPtr makeParameter(const ParamSpec& spec, const std::shared_ptr<ParamHost>& host, bool filterSide);

double clampToSpec(const ParamSpec& spec, double value);

ParamSpec makeSpec(ParamKind kind, std::string name, double lower, double upper, double def, std::string unit = "",
                   std::string displayName = "", std::string description = "");

template <class T> Result<T> typed(const Result<double>& r)
{
    Result<T> out;
    out.ok = r.ok;
    if constexpr (std::is_same_v<T, bool>)
        out.value = r.value != 0.0;
    else if constexpr (std::is_floating_point_v<T>)
        out.value = static_cast<T>(r.value);
    else if constexpr (std::is_unsigned_v<T>)
        out.value = r.value <= 0.0 ? T(0) : static_cast<T>(r.value + 0.5);
    else
        out.value = static_cast<T>(r.value < 0.0 ? r.value - 0.5 : r.value + 0.5);
    return out;
}

// The typed writes of an engine: seti, setb, setu, setf by value type.
template <class T> Result<T> typedWrite(ParamHost& host, const std::string& name, T value)
{
    Setter setter = Setter::I;
    if constexpr (std::is_same_v<T, bool>)
        setter = Setter::B;
    else if constexpr (std::is_floating_point_v<T>)
        setter = Setter::F;
    else if constexpr (std::is_unsigned_v<T>)
        setter = Setter::U;
    return typed<T>(host.writeParam(name, setter, static_cast<double>(value)));
}

// ---------------------------------------------------------------------------
// Filters

struct FilterKindInfo;
class FilterAlgorithm;

struct FilterState : ParamHost {
    FilterState(std::shared_ptr<SystemShared> shared, const FilterKindInfo& info, std::string name, FrameType type);
    ~FilterState() override;

    std::string name;
    FrameType type;
    std::map<std::string, ParameterPtr> params;
    // The chain the filter stands in (guarded by chainMutex): a camera state
    // address, or null.
    const void* chain = nullptr;
    std::mutex chainMutex;

    void apply(Frame& frame);
    void reset();

protected:
    Result<double> writeLocked(const ParamSpec& spec, double value) override;

private:
    std::mutex algorithmMutex_; // the algorithm's history; never held with m_
    std::unique_ptr<FilterAlgorithm> algorithm_;
};

// The filters the camera system offers, in getSupportedFilters() order.
struct FilterKindInfo {
    std::string name;
    bool described = true; // getFilterDescription answers true
    unsigned supportedMask = 0; // frame types it can stand in
    std::vector<ParamSpec> params;
    std::function<std::unique_ptr<FilterAlgorithm>()> make;
};
const std::vector<FilterKindInfo>& filterKinds();
const FilterKindInfo* findFilterKind(const std::string& name);
// The frame types of a mask as a reader names them: "raw processed and depth".
std::string frameTypesText(unsigned mask);

using ParamValues = std::map<std::string, double>;

// Filter algorithms act on one frame in place, with a snapshot of the
// filter's parameter values; `reports` receives values of read-only
// parameters the run produced.
class FilterAlgorithm {
public:
    virtual ~FilterAlgorithm() = default;
    virtual void apply(Frame& frame, const ParamValues& values, ParamValues& reports) = 0;
    virtual void reset() { }
};

// ---------------------------------------------------------------------------
// Cameras

struct CameraModelInfo {
    std::string type;
    std::string chipset;
    std::vector<ParamSpec> params;
    std::vector<CameraProfilePtr> profiles;
    std::set<int> triggers;
    bool disconnectFails = false;
    // Modulation frequencies: quantised to vco_freq / N (Quenta14), to
    // steps of `freqStep` MHz (QuentaD), or free.
    bool vcoQuantised = false;
    double freqStep = 0.0;
};
CameraModelInfo cameraModel(CameraModel model);

using FrameSetTap = std::function<void(const FrameSet&)>;

struct CaptureSettings {
    bool deliverWhilePaused = true;
    double frameRateOverride = 0.0;
    int idDropPeriod = 0;
    bool manual = false;
    uint32_t seed = 1;
    std::map<int, int> triggerDelayMs;
    std::function<void(int)> powerHook;
};

class SceneRenderer;
class FrameProcessing;

struct CameraState : ParamHost, std::enable_shared_from_this<CameraState> {
    CameraState(std::shared_ptr<SystemShared> shared, const DeviceSpec& device, CameraModelInfo model);
    ~CameraState() override;

    // Identity (immutable).
    const std::string deviceId;
    const std::string description;
    const CameraModelInfo model;
    std::map<std::string, ParameterPtr> params; // built once after construction

    std::weak_ptr<DepthCamera> self;
    std::atomic<bool> connected{true};
    std::atomic<bool> running{false};
    std::atomic<bool> paused{false};

    // Guarded by m_ (the parameter lock).
    int profileId = 0;
    std::shared_ptr<const std::array<std::vector<FrameCallback>, FRAME_TYPE_COUNT>> callbacks;
    struct ChainEntry {
        int index;
        FilterPtr filter;
    };
    std::array<std::vector<ChainEntry>, FRAME_TYPE_COUNT> chains;
    static constexpr std::size_t MAX_CHAIN_LENGTH = 4;
    std::map<std::string, int> setterCounts;
    std::atomic<int> filterCallCount{0}; // addFilter and removeFilter calls
    CaptureSettings settings;
    std::map<int, FrameSetTap> taps;
    int nextTap = 0;

    // Operations behind DepthCamera.
    bool clearAllCallbacks();
    bool registerCallback(FrameType type, FrameCallback callback);
    bool start();
    bool stop();
    bool pause();
    bool resume();
    Result<float> streamParam(const std::string& name);
    Result<float> getf(const std::string& name);
    int addFilter(const FilterPtr& filter, FrameType type, int beforeFilterIndex, std::string* why);
    bool removeFilter(int filterIndex, FrameType type);
    TriggerResult callTrigger(int number, const std::string& a, const std::string& b, std::string* why = nullptr);
    // Marks the camera disconnected: stops capture, drops callbacks and
    // chains, wakes trigger waits. Idempotent.
    void disconnect();

    // Creates the parameter objects; once, after construction.
    void buildParams();

    // Simulation access.
    bool deliverFrameSets(int count);
    bool isManualRun() const { return manualRun_; }
    bool setProfile(int id);
    int addTap(FrameSetTap tap);
    void removeTap(int token);
    double frameRate();
    CameraProfilePtr activeProfile();
    float unambiguousRange(); // as "unambiguous_range" reads now

    template <class F> auto withLock(F&& f)
    {
        std::lock_guard<std::mutex> lock(m_);
        return f();
    }

protected:
    bool accessibleLocked() const override { return connected.load(); }
    double readLocked(const ParamSpec& spec) const override;
    Result<double> writeLocked(const ParamSpec& spec, double value) override;
    void noteWriteLocked(const std::string& name) override { ++setterCounts[name]; }
    std::pair<double, double> limitsLocked(const ParamSpec& spec) const override;

private:
    double quantiseLocked(double freq) const;
    // Every frequency quantiseLocked() gives, ascending; empty when it keeps any.
    std::vector<double> frequencyStepsLocked() const;
    double rangeLocked() const;
    // The ranges the frequencies reach now, in whole centimetres.
    std::pair<double, double> rangeLimitsLocked(const ParamSpec& spec) const;
    Result<double> writeRangeLocked(double range);
    void stopCapture();
    void captureLoop();
    void produceAndDeliver(bool fromThread);

    // Transport calls are serialised; the capture thread never takes this.
    std::mutex transportMutex_;
    std::thread thread_;
    std::thread::id threadId_;
    std::atomic<bool> manualRun_{false};
    std::mutex runMutex_;
    std::condition_variable runCv_;
    bool stopRequested_ = false;

    // Delivery bookkeeping (guarded by m_): clearAllCallbacks waits for a
    // delivery in progress on another thread.
    bool delivering_ = false;
    uint64_t deliveryGen_ = 0;
    std::thread::id deliveringThread_;
    std::condition_variable deliverCv_;
    std::condition_variable triggerCv_;

    // Frame production; one producer at a time.
    std::mutex produceMutex_;
    std::unique_ptr<SceneRenderer> renderer_;
    std::unique_ptr<FrameProcessing> processing_;
    int64_t setCounter_ = 0;
    int64_t lastTimestamp_ = 0;
    double sceneTime_ = 0.0;
    std::chrono::steady_clock::time_point connectedAt_;
};

// ---------------------------------------------------------------------------
// The camera system

struct SystemState {
    std::shared_ptr<SystemShared> shared = std::make_shared<SystemShared>();
    std::mutex m;
    std::vector<DeviceSpec> devices;
    std::map<std::string, DepthCameraPtr> connected; // by device id
};

// ---------------------------------------------------------------------------
// Checksums and byte helpers shared by the stream reader and writer.

uint32_t crc32(const void* data, std::size_t size, uint32_t crc = 0);
// Joining checksums of pieces: the CRC-32 of A then B is
// crc32Shift(crc32(A), crc32ShiftFactor(size of B)) ^ crc32(B).
uint32_t crc32ShiftFactor(uint64_t bytes);
uint32_t crc32Shift(uint32_t crc, uint32_t factor);

} // namespace Tavik::detail
