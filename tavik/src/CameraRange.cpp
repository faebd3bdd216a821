// A camera's frequency and range arithmetic: its modulation frequencies as its
// model quantises them, the unambiguous range they reach and how a range is
// written back into them. Also the camera's own parameter reads and writes
// (range, frequencies, VCO, chip temperature) and the stream's scaling factors.

#include "Detail.h"

#include <algorithm>
#include <cmath>

namespace Tavik::detail {

namespace {

constexpr double kLightSpeed = 299.792458; // metres times MHz
constexpr double kMaxDealiasedRange = 15.0;
constexpr double kMinFreq = 20.0;
constexpr double kMaxFreq = 100.0;

} // namespace

double CameraState::quantiseLocked(double freq) const
{
    freq = std::clamp(freq, kMinFreq, kMaxFreq);
    if (model.vcoQuantised) {
        const double vco = valueLocked("vco_freq", 600.0);
        const double nMin = std::ceil(vco / kMaxFreq - 1e-9), nMax = std::floor(vco / kMinFreq + 1e-9);
        const double n = std::clamp(std::round(vco / freq), nMin, nMax);
        return vco / n;
    }
    if (model.freqStep > 0.0)
        return std::clamp(std::round(freq / model.freqStep) * model.freqStep, kMinFreq, kMaxFreq);
    return freq;
}

std::vector<double> CameraState::frequencyStepsLocked() const
{
    std::vector<double> steps;
    if (model.vcoQuantised) {
        const double vco = valueLocked("vco_freq", 600.0);
        const double nMin = std::ceil(vco / kMaxFreq - 1e-9), nMax = std::floor(vco / kMinFreq + 1e-9);
        for (double n = nMax; n >= nMin; --n)
            steps.push_back(vco / n);
    } else if (model.freqStep > 0.0) {
        for (double f = std::ceil(kMinFreq / model.freqStep - 1e-9) * model.freqStep; f <= kMaxFreq + 1e-9;
             f += model.freqStep)
            steps.push_back(f);
    }
    return steps;
}

double CameraState::rangeLocked() const
{
    const double f1 = valueLocked("mod_freq1", 37.5);
    if (valueLocked("dealias_en", 0.0) != 0.0) {
        const double diff = std::fabs(f1 - valueLocked("mod_freq2", f1));
        return diff > 0.0 ? std::min(kLightSpeed / (2.0 * diff), kMaxDealiasedRange) : kMaxDealiasedRange;
    }
    return kLightSpeed / (2.0 * f1);
}

// Without dealiasing the range follows mod_freq1 alone: from what its highest
// to what its lowest frequency reaches. With it, every second frequency but
// mod_freq1 itself gives one beat. Rounded inwards to whole centimetres, so
// that an editor showing two decimals offers nothing beyond them.
std::pair<double, double> CameraState::rangeLimitsLocked(const ParamSpec& spec) const
{
    const double lowest = quantiseLocked(kMinFreq), highest = quantiseLocked(kMaxFreq);
    double lower = kLightSpeed / (2.0 * highest), upper = kLightSpeed / (2.0 * lowest);
    if (valueLocked("dealias_en", 0.0) != 0.0) {
        const double f1 = valueLocked("mod_freq1", 37.5);
        const auto reached = [f1](double f2) {
            return std::min(kLightSpeed / (2.0 * std::fabs(f1 - f2)), kMaxDealiasedRange);
        };
        const std::vector<double> steps = frequencyStepsLocked();
        if (steps.empty()) { // any frequency: beats from the widest down to none
            lower = reached(f1 - lowest > highest - f1 ? lowest : highest);
            upper = kMaxDealiasedRange;
        } else {
            lower = upper = rangeLocked();
            for (double f2 : steps)
                if (f2 != f1) {
                    lower = std::min(lower, reached(f2));
                    upper = std::max(upper, reached(f2));
                }
        }
    }
    lower = std::max(spec.lower, std::ceil(lower * 100.0 - 1e-9) / 100.0);
    upper = std::min(spec.upper, std::floor(upper * 100.0 + 1e-9) / 100.0);
    return {lower, std::max(lower, upper)};
}

std::pair<double, double> CameraState::limitsLocked(const ParamSpec& spec) const
{
    if (spec.name == "unambiguous_range")
        return rangeLimitsLocked(spec);
    return ParamHost::limitsLocked(spec);
}

// A range is reached through the modulation frequencies: without dealiasing
// through mod_freq1 alone, with it through the beat of both. A range outside
// the limits is refused; one a hair beyond them (a float of a limit) is taken
// as the limit.
Result<double> CameraState::writeRangeLocked(double range)
{
    const ParamSpec* spec = findLocked("unambiguous_range");
    if (!spec)
        return {};
    const auto limits = rangeLimitsLocked(*spec);
    const double lower = limits.first, upper = limits.second;
    constexpr double slack = 1e-4;
    if (!(range >= lower - slack && range <= upper + slack))
        return {};
    range = std::clamp(range, lower, upper);
    if (valueLocked("dealias_en", 0.0) == 0.0) {
        const double f = kLightSpeed / (2.0 * range);
        if (f < kMinFreq - 1e-6 || f > kMaxFreq + 1e-6)
            return {};
        storeLocked("mod_freq1", quantiseLocked(f));
        return {true, rangeLocked()};
    }
    const double f1 = valueLocked("mod_freq1", 37.5);
    const double beat = kLightSpeed / (2.0 * range);
    double best = -1.0, bestError = 0.0;
    const auto consider = [&](double q) {
        if (q == f1)
            return;
        const double reached = std::min(kLightSpeed / (2.0 * std::fabs(f1 - q)), kMaxDealiasedRange);
        // Within the limits, as an editor shows it: a range a little beyond
        // a limit (they are rounded inwards) reaches that limit.
        const double error = std::fabs(std::clamp(reached, lower, upper) - range);
        if (best < 0.0 || error < bestError) {
            best = q;
            bestError = error;
        }
    };
    // Every second frequency the limits were found over: the step nearest
    // the beat may miss a range (such as the 15 m cap) that another reaches.
    const std::vector<double> steps = frequencyStepsLocked();
    if (steps.empty()) { // any frequency: the beat itself, either side
        for (double candidate : {f1 - beat, f1 + beat})
            if (candidate >= kMinFreq - 1e-6 && candidate <= kMaxFreq + 1e-6)
                consider(quantiseLocked(candidate));
    } else {
        for (double q : steps)
            consider(q);
    }
    if (best < 0.0)
        return {};
    storeLocked("mod_freq2", best);
    return {true, rangeLocked()};
}

double CameraState::readLocked(const ParamSpec& spec) const
{
    if (spec.name == "unambiguous_range")
        return rangeLocked();
    if (spec.name == "chip_temp") {
        // Drifts slowly and warms with longer integration.
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - connectedAt_).count();
        return 35.0 + 0.8 * std::sin(t / 7.0) + 0.004 * (valueLocked("intg_time", 200.0) - 200.0);
    }
    return ParamHost::readLocked(spec);
}

Result<double> CameraState::writeLocked(const ParamSpec& spec, double value)
{
    if (spec.name == "unambiguous_range")
        return writeRangeLocked(value);
    if (spec.name == "mod_freq1" || spec.name == "mod_freq2") {
        const double q = quantiseLocked(value);
        storeLocked(spec.name, q);
        return {true, q};
    }
    if (spec.name == "vco_freq" && model.vcoQuantised) {
        // Keep each divider where the new VCO allows it, else requantise.
        const double oldVco = valueLocked("vco_freq", 600.0);
        const double vco = clampToSpec(spec, value);
        storeLocked("vco_freq", vco);
        for (const char* name : {"mod_freq1", "mod_freq2"}) {
            if (!findLocked(name))
                continue;
            const double f = valueLocked(name);
            const double kept = vco / std::round(oldVco / f);
            storeLocked(name, kept >= kMinFreq && kept <= kMaxFreq ? kept : quantiseLocked(f));
        }
        return {true, vco};
    }
    return ParamHost::writeLocked(spec, value);
}

void CameraState::buildParams()
{
    auto host = shared_from_this();
    for (const auto& spec : specs())
        params[spec.name] = makeParameter(spec, host, false);
}

// --- stream parameters, reads ------------------------------------------------------

Result<float> CameraState::streamParam(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_);
    if (!connected)
        return {};
    if (name == "depthScalingFactor") {
        // Same float as "unambiguous_range" reads, so range / factor is 4096.
        const float range = static_cast<float>(rangeLocked());
        return {true, range / 4096.f};
    }
    if (name == "amplitudeScalingFactor")
        return {true, 1.f};
    return {};
}

Result<float> CameraState::getf(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_);
    const ParamSpec* spec = findLocked(name);
    if (!connected || !spec || spec->io == Parameter::IO_WRITE_ONLY || !isNumeric(spec->kind))
        return {};
    if (shared()->consume("getf:" + name))
        return {};
    return {true, static_cast<float>(readLocked(*spec))};
}

} // namespace Tavik::detail
