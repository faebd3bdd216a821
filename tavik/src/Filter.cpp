// The filters of the simulated camera system and what they do to frames.

#include "Detail.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

namespace Tavik {

namespace detail {

namespace {

constexpr unsigned bit(FrameType t)
{
    return 1u << t;
}

double get(const ParamValues& v, const char* name, double fallback = 0.0)
{
    auto it = v.find(name);
    return it == v.end() ? fallback : it->second;
}

std::size_t pixelCount(const Frame& f)
{
    return static_cast<std::size_t>(std::max(0, f.width)) * std::max(0, f.height);
}

// The plane a smoothing filter works on: phase of a processed frame, depth of
// a depth frame. Null when the frame holds no such plane of the right size.
template <class F> bool withPlane(Frame& frame, F&& f)
{
    const std::size_t n = pixelCount(frame);
    if (n == 0)
        return false;
    if (frame.type == FRAME_RAW_FRAME_PROCESSED && frame.phase.size() == n) {
        f(frame.phase, 1.0);
        return true;
    }
    if (frame.type == FRAME_DEPTH_FRAME && frame.depth.size() == n) {
        f(frame.depth, 100.0); // range differences of depth in centimetres
        return true;
    }
    return false;
}

// True when a value so far from the filtered one should be replaced.
template <class T> bool outsideDeadband(T value, double filtered, double deadband)
{
    return std::fabs(static_cast<double>(value) - filtered) > deadband * std::fabs(filtered);
}

template <class T> T median(T* values, int count)
{
    std::nth_element(values, values + count / 2, values + count);
    return values[count / 2];
}

class MedianFilter : public FilterAlgorithm {
public:
    void apply(Frame& frame, const ParamValues& v, ParamValues&) override
    {
        const int size = static_cast<int>(get(v, "size", 3));
        const double deadband = get(v, "deadband", 0.05);
        withPlane(frame, [&](auto& plane, double) { run(plane, frame.width, frame.height, size / 2, deadband); });
    }

private:
    template <class T> static void run(std::vector<T>& plane, int w, int h, int r, double deadband)
    {
        const std::vector<T> in = plane;
        std::array<T, 81> window{};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int count = 0;
                for (int dy = -r; dy <= r; ++dy)
                    for (int dx = -r; dx <= r; ++dx) {
                        const int xx = std::clamp(x + dx, 0, w - 1), yy = std::clamp(y + dy, 0, h - 1);
                        window[count++] = in[static_cast<std::size_t>(yy) * w + xx];
                    }
                const T m = median(window.data(), count);
                T& out = plane[static_cast<std::size_t>(y) * w + x];
                if (outsideDeadband(out, static_cast<double>(m), deadband))
                    out = m;
            }
    }
};

class TemporalMedianFilter : public FilterAlgorithm {
public:
    void apply(Frame& frame, const ParamValues& v, ParamValues&) override
    {
        const auto order = static_cast<std::size_t>(get(v, "order", 3));
        const double deadband = get(v, "deadband", 0.05);
        withPlane(frame, [&](auto& plane, double) {
            using T = typename std::decay_t<decltype(plane)>::value_type;
            auto& history = historyOf<T>();
            if (!history.empty() && history.front().size() != plane.size())
                history.clear();
            history.push_back(plane);
            while (history.size() > order)
                history.pop_front();
            std::array<T, 16> values{};
            for (std::size_t i = 0; i < plane.size(); ++i) {
                int count = 0;
                for (const auto& past : history)
                    values[count++] = past[i];
                const T m = median(values.data(), count);
                if (outsideDeadband(plane[i], static_cast<double>(m), deadband))
                    plane[i] = m;
            }
        });
    }
    void reset() override
    {
        phaseHistory_.clear();
        depthHistory_.clear();
    }

private:
    template <class T> std::deque<std::vector<T>>& historyOf()
    {
        if constexpr (std::is_same_v<T, uint16_t>)
            return phaseHistory_;
        else
            return depthHistory_;
    }
    std::deque<std::vector<uint16_t>> phaseHistory_;
    std::deque<std::vector<float>> depthHistory_;
};

class BilateralFilter : public FilterAlgorithm {
public:
    void apply(Frame& frame, const ParamValues& v, ParamValues&) override
    {
        const double sigmaSpatial = get(v, "sigma_spatial", 1.0);
        const double sigmaRange = get(v, "sigma_range", 10.0);
        const int r = static_cast<int>(get(v, "window", 5)) / 2;
        withPlane(frame, [&](auto& plane, double rangeUnit) {
            run(plane, frame.width, frame.height, r, sigmaSpatial, sigmaRange / rangeUnit,
                frame.type == FRAME_DEPTH_FRAME);
        });
    }

private:
    // Range weights exp(-x) for x in [0, 8), sampled finely; beyond that 0.
    static float rangeWeight(double x)
    {
        static const std::array<float, 1024> table = [] {
            std::array<float, 1024> t{};
            for (std::size_t i = 0; i < t.size(); ++i)
                t[i] = static_cast<float>(std::exp(-static_cast<double>(i) / 128.0));
            return t;
        }();
        const auto i = static_cast<std::size_t>(x * 128.0);
        return i < table.size() ? table[i] : 0.f;
    }

    template <class T>
    static void run(std::vector<T>& plane, int w, int h, int r, double sigmaS, double sigmaR, bool zeroInvalid)
    {
        const std::vector<T> in = plane;
        std::vector<float> spatial;
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx)
                spatial.push_back(static_cast<float>(std::exp(-(dx * dx + dy * dy) / (2.0 * sigmaS * sigmaS))));
        const double invTwoSigmaR2 = 1.0 / (2.0 * sigmaR * sigmaR);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double centre = static_cast<double>(in[static_cast<std::size_t>(y) * w + x]);
                if (zeroInvalid && centre == 0.0)
                    continue;
                double sum = 0.0, weights = 0.0;
                int k = 0;
                for (int dy = -r; dy <= r; ++dy)
                    for (int dx = -r; dx <= r; ++dx, ++k) {
                        const int xx = x + dx, yy = y + dy;
                        if (xx < 0 || yy < 0 || xx >= w || yy >= h)
                            continue;
                        const double q = static_cast<double>(in[static_cast<std::size_t>(yy) * w + xx]);
                        if (zeroInvalid && q == 0.0)
                            continue;
                        const double d = q - centre;
                        const double wgt = spatial[k] * rangeWeight(d * d * invTwoSigmaR2);
                        sum += wgt * q;
                        weights += wgt;
                    }
                if (weights > 0.0) {
                    const double value = sum / weights;
                    plane[static_cast<std::size_t>(y) * w + x] =
                        std::is_integral_v<T> ? static_cast<T>(value + 0.5) : static_cast<T>(value);
                }
            }
    }
};

class AmplitudeGateFilter : public FilterAlgorithm {
public:
    enum Mode { Zero = 0, Drop = 1, Flag = 2 };
    void apply(Frame& frame, const ParamValues& v, ParamValues& reports) override
    {
        const double threshold = get(v, "threshold", 20);
        const int mode = static_cast<int>(get(v, "mode", Zero));
        const bool invert = get(v, "invert", 0) != 0.0;
        const std::size_t n = pixelCount(frame);
        uint32_t gated = 0;
        auto isGated = [&](double amplitude) { return (amplitude < threshold) != invert; };
        if (frame.type == FRAME_RAW_FRAME_PROCESSED && frame.amplitude.size() == n && frame.phase.size() == n
            && frame.flags.size() == n) {
            for (std::size_t i = 0; i < n; ++i) {
                if (!isGated(frame.amplitude[i]))
                    continue;
                ++gated;
                if (mode == Zero)
                    frame.phase[i] = frame.amplitude[i] = 0;
                else if (mode == Drop)
                    frame.phase[i] = 0;
                if (mode != Zero)
                    frame.flags[i] |= Frame::FLAG_LOW_AMPLITUDE;
            }
        } else if (frame.type == FRAME_XYZI_POINT_CLOUD_FRAME && frame.points.size() == n) {
            for (auto& p : frame.points) {
                if (!isGated(p.i))
                    continue;
                ++gated;
                if (mode == Zero)
                    p = XYZIPoint{};
                else if (mode == Drop)
                    p.x = p.y = p.z = 0.f; // z = 0 marks the point invalid
                else
                    p.i = 0.f;
            }
        } else {
            return;
        }
        reports["dropped"] = gated;
    }
};

class RawFrameAverageFilter : public FilterAlgorithm {
public:
    void apply(Frame& frame, const ParamValues& v, ParamValues&) override
    {
        if (frame.type != FRAME_RAW_FRAME_UNPROCESSED || frame.rawSamples.empty())
            return;
        const auto frames = static_cast<std::size_t>(get(v, "frames", 2));
        if (!history_.empty() && history_.front().size() != frame.rawSamples.size())
            history_.clear();
        history_.push_back(frame.rawSamples);
        while (history_.size() > frames)
            history_.pop_front();
        for (std::size_t i = 0; i < frame.rawSamples.size(); ++i) {
            uint32_t sum = 0;
            for (const auto& past : history_)
                sum += past[i];
            frame.rawSamples[i] = static_cast<uint16_t>((sum + history_.size() / 2) / history_.size());
        }
    }
    void reset() override { history_.clear(); }

private:
    std::deque<std::vector<uint16_t>> history_;
};

class OutlierFilter : public FilterAlgorithm {
public:
    void apply(Frame& frame, const ParamValues& v, ParamValues&) override
    {
        const std::size_t n = pixelCount(frame);
        if (frame.type != FRAME_XYZI_POINT_CLOUD_FRAME || frame.points.size() != n || n == 0)
            return;
        const int needed = static_cast<int>(get(v, "neighbours", 8));
        const float radius = static_cast<float>(get(v, "radius", 0.05));
        const float r2 = radius * radius;
        const int reach = needed <= 24 ? 2 : 3; // the window must hold enough candidates
        const int w = frame.width, h = frame.height;
        const std::vector<XYZIPoint> in = frame.points;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const XYZIPoint& p = in[static_cast<std::size_t>(y) * w + x];
                if (p.z == 0.f)
                    continue;
                int close = 0;
                for (int dy = -reach; dy <= reach && close < needed; ++dy)
                    for (int dx = -reach; dx <= reach; ++dx) {
                        const int xx = x + dx, yy = y + dy;
                        if ((dx == 0 && dy == 0) || xx < 0 || yy < 0 || xx >= w || yy >= h)
                            continue;
                        const XYZIPoint& q = in[static_cast<std::size_t>(yy) * w + xx];
                        const float ex = q.x - p.x, ey = q.y - p.y, ez = q.z - p.z;
                        if (q.z != 0.f && ex * ex + ey * ey + ez * ez < r2)
                            ++close;
                    }
                if (close < needed) {
                    XYZIPoint& out = frame.points[static_cast<std::size_t>(y) * w + x];
                    out.x = out.y = out.z = 0.f;
                }
            }
    }
};

class PassThroughFilter : public FilterAlgorithm {
public:
    void apply(Frame&, const ParamValues&, ParamValues&) override { }
};

template <class T> std::function<std::unique_ptr<FilterAlgorithm>()> maker()
{
    return [] { return std::make_unique<T>(); };
}

ParamSpec deadband()
{
    return makeSpec(ParamKind::Float, "deadband", 0.0, 1.0, 0.05, "", "Deadband",
                    "Changes smaller than this fraction$of the filtered value are kept");
}

std::vector<FilterKindInfo> buildKinds()
{
    const unsigned smoothing = bit(FRAME_RAW_FRAME_PROCESSED) | bit(FRAME_DEPTH_FRAME);
    std::vector<FilterKindInfo> kinds;
    kinds.push_back(
        {"Tavik::MedianFilter",
         true,
         smoothing,
         {makeSpec(ParamKind::Uint, "size", 3, 9, 3, "px", "Window Size", "Width of the square window$odd values only"),
          deadband()},
         maker<MedianFilter>()});
    kinds.push_back({"Tavik::TemporalMedianFilter",
                     true,
                     smoothing,
                     {makeSpec(ParamKind::Uint, "order", 2, 10, 3, "frames", "Order", "Number of frames in the median"),
                      deadband()},
                     maker<TemporalMedianFilter>()});
    kinds.push_back({"Tavik::BilateralFilter",
                     true,
                     smoothing,
                     {makeSpec(ParamKind::Float, "sigma_spatial", 0.1, 5.0, 1.0, "px", "Spatial Sigma", ""),
                      makeSpec(ParamKind::Float, "sigma_range", 0.1, 100.0, 10.0, "", "Range Sigma",
                               "In phase counts on raw frames$in centimetres on depth frames"),
                      makeSpec(ParamKind::Uint, "window", 3, 9, 5, "px", "Window", "")},
                     maker<BilateralFilter>()});
    ParamSpec mode = makeSpec(ParamKind::Enum, "mode", 0, 2, 0, "", "Mode", "What happens to a gated pixel");
    mode.allowed = {0, 1, 2};
    mode.meanings = {"Zero", "Drop", "Flag"};
    ParamSpec invert = makeSpec(ParamKind::Bool, "invert", 0, 1, 0, "", "Invert", "Gate pixels above the threshold");
    invert.meanings = {"Off", "On"};
    ParamSpec dropped =
        makeSpec(ParamKind::Uint, "dropped", 0, 1e9, 0, "px", "Gated Pixels", "Pixels gated in the last frame");
    dropped.io = Parameter::IO_READ_ONLY;
    kinds.push_back({"Tavik::AmplitudeGateFilter",
                     true,
                     bit(FRAME_RAW_FRAME_PROCESSED) | bit(FRAME_XYZI_POINT_CLOUD_FRAME),
                     {makeSpec(ParamKind::Int, "threshold", -100, 4095, 20, "", "Threshold", "Lowest amplitude kept"),
                      mode, invert, dropped},
                     maker<AmplitudeGateFilter>()});
    kinds.push_back({"Tavik::RawFrameAverageFilter",
                     true,
                     bit(FRAME_RAW_FRAME_UNPROCESSED),
                     {makeSpec(ParamKind::Uint, "frames", 1, 8, 2, "frames", "Frames", "Frames averaged")},
                     maker<RawFrameAverageFilter>()});
    kinds.push_back(
        {"Tavik::PointCloud::OutlierFilter",
         true,
         bit(FRAME_XYZI_POINT_CLOUD_FRAME),
         {makeSpec(ParamKind::Uint, "neighbours", 1, 32, 8, "", "Neighbours", "Close neighbours a point needs"),
          makeSpec(ParamKind::Float, "radius", 0.01, 1.0, 0.05, "m", "Radius", "")},
         maker<OutlierFilter>()});
    kinds.push_back({"Tavik::PassThroughFilter",
                     true,
                     bit(FRAME_RAW_FRAME_UNPROCESSED) | bit(FRAME_RAW_FRAME_PROCESSED) | bit(FRAME_DEPTH_FRAME)
                         | bit(FRAME_XYZI_POINT_CLOUD_FRAME),
                     {},
                     maker<PassThroughFilter>()});
    kinds.push_back({"Tavik::LegacyFilter", false, 0, {}, maker<PassThroughFilter>()});
    kinds.push_back({"Tavik::ReservedFilter", true, 0, {}, maker<PassThroughFilter>()});
    return kinds;
}

} // namespace

const std::vector<FilterKindInfo>& filterKinds()
{
    static const std::vector<FilterKindInfo> kinds = buildKinds();
    return kinds;
}

const FilterKindInfo* findFilterKind(const std::string& name)
{
    for (const auto& k : filterKinds())
        if (k.name == name)
            return &k;
    return nullptr;
}

std::string frameTypesText(unsigned mask)
{
    static const char* const names[FRAME_TYPE_COUNT] = {"raw unprocessed", "raw processed", "depth", "point-cloud"};
    std::vector<std::string> parts;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        if ((mask >> t) & 1u)
            parts.emplace_back(names[t]);
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text;
}

// --- FilterState -----------------------------------------------------------------

FilterState::FilterState(std::shared_ptr<SystemShared> shared, const FilterKindInfo& info, std::string filterName,
                         FrameType frameType)
    : ParamHost(std::move(shared))
    , name(std::move(filterName))
    , type(frameType)
    , algorithm_(info.make())
{
    for (ParamSpec p : info.params) {
        // The range sigma is in the units of the plane the filter smooths.
        if (p.name == "sigma_range")
            p.unit = frameType == FRAME_DEPTH_FRAME ? "cm" : "counts";
        addParam(p);
    }
}

FilterState::~FilterState() = default;

Result<double> FilterState::writeLocked(const ParamSpec& spec, double value)
{
    // A median window needs a centre pixel.
    if (spec.name == "size" && static_cast<long long>(std::llround(value)) % 2 == 0)
        return {};
    return ParamHost::writeLocked(spec, value);
}

void FilterState::apply(Frame& frame)
{
    if (frame.type != type)
        return;
    const ParamValues snapshot = values();
    ParamValues reports;
    {
        std::lock_guard<std::mutex> lock(algorithmMutex_);
        algorithm_->apply(frame, snapshot, reports);
    }
    if (!reports.empty()) {
        std::lock_guard<std::mutex> lock(m_);
        for (const auto& r : reports)
            storeLocked(r.first, r.second);
    }
}

void FilterState::reset()
{
    std::lock_guard<std::mutex> lock(algorithmMutex_);
    algorithm_->reset();
}

} // namespace detail

// --- Filter ------------------------------------------------------------------------

Filter::Filter(std::shared_ptr<detail::FilterState> state)
    : d_(std::move(state))
{
}
Filter::~Filter() = default;

const std::string& Filter::name() const
{
    return d_->name;
}
FrameType Filter::frameType() const
{
    return d_->type;
}
std::map<std::string, ParameterPtr> Filter::parameters() const
{
    return d_->params;
}

bool Filter::reset()
{
    d_->reset();
    return true;
}

Result<int32_t> Filter::seti(const std::string& name, int32_t value)
{
    return detail::typedWrite(*d_, name, value);
}
Result<bool> Filter::setb(const std::string& name, bool value)
{
    return detail::typedWrite(*d_, name, value);
}
Result<uint32_t> Filter::setu(const std::string& name, uint32_t value)
{
    return detail::typedWrite(*d_, name, value);
}
Result<float> Filter::setf(const std::string& name, float value)
{
    return detail::typedWrite(*d_, name, value);
}

void Filter::apply(Frame& frame)
{
    d_->apply(frame);
}

// --- FilterDescription -----------------------------------------------------------

FilterDescription::FilterDescription() = default;

bool FilterDescription::supports(FrameType type) const
{
    return isValidFrameType(type) && ((supportedMask_ >> type) & 1u);
}

void FilterDescription::setSupported(FrameType type, bool supported)
{
    if (!isValidFrameType(type))
        return;
    if (supported)
        supportedMask_ |= 1u << type;
    else
        supportedMask_ &= ~(1u << type);
}

void FilterDescription::clear()
{
    supportedMask_ = 0;
}

} // namespace Tavik
