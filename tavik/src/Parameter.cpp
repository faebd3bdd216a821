#include "Detail.h"

#include <algorithm>
#include <cmath>

namespace Tavik {

using detail::ParameterState;
using detail::ParamKind;

namespace detail {

bool setterAccepts(Setter setter, ParamKind kind)
{
    switch (setter) {
    case Setter::I: return kind == ParamKind::Enum || kind == ParamKind::Int;
    case Setter::B: return kind == ParamKind::Bool || kind == ParamKind::StrobeBool;
    case Setter::U: return kind == ParamKind::Uint;
    case Setter::F: return kind == ParamKind::Float;
    }
    return false;
}

bool isNumeric(ParamKind kind)
{
    return kind == ParamKind::Enum || kind == ParamKind::Int || kind == ParamKind::Uint || kind == ParamKind::Float;
}

double clampToSpec(const ParamSpec& spec, double value)
{
    switch (spec.kind) {
    case ParamKind::StrobeBool:
    case ParamKind::Bool: return value != 0.0 ? 1.0 : 0.0;
    case ParamKind::Enum: return value;
    case ParamKind::Int:
    case ParamKind::Uint: return std::clamp(std::round(value), spec.lower, spec.upper);
    case ParamKind::Float: return std::clamp(value, spec.lower, spec.upper);
    }
    return value;
}

ParamSpec makeSpec(ParamKind kind, std::string name, double lower, double upper, double def, std::string unit,
                   std::string displayName, std::string description)
{
    ParamSpec s;
    s.kind = kind;
    s.name = std::move(name);
    s.lower = lower;
    s.upper = upper;
    s.def = def;
    s.unit = std::move(unit);
    s.displayName = std::move(displayName);
    s.description = std::move(description);
    return s;
}

// --- SystemShared ------------------------------------------------------------

bool SystemShared::consume(const std::string& operation)
{
    std::lock_guard<std::mutex> lock(m_);
    auto it = failures_.find(operation);
    if (it == failures_.end() || it->second <= 0)
        return false;
    if (--it->second == 0)
        failures_.erase(it);
    return true;
}

void SystemShared::set(const std::string& operation, int count)
{
    std::lock_guard<std::mutex> lock(m_);
    if (count > 0)
        failures_[operation] = count;
    else
        failures_.erase(operation);
}

void SystemShared::clear()
{
    std::lock_guard<std::mutex> lock(m_);
    failures_.clear();
}

// --- ParamHost ---------------------------------------------------------------

void ParamHost::addParam(const ParamSpec& spec)
{
    std::lock_guard<std::mutex> lock(m_);
    specs_.push_back(spec);
    values_[spec.name] = spec.def;
}

void ParamHost::removeParam(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_);
    specs_.erase(std::remove_if(specs_.begin(), specs_.end(), [&](const ParamSpec& s) { return s.name == name; }),
                 specs_.end());
    values_.erase(name);
}

const ParamSpec* ParamHost::findLocked(const std::string& name) const
{
    for (const auto& s : specs_)
        if (s.name == name)
            return &s;
    return nullptr;
}

double ParamHost::valueLocked(const std::string& name, double fallback) const
{
    auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second;
}

double ParamHost::readLocked(const ParamSpec& spec) const
{
    return valueLocked(spec.name, spec.def);
}

Result<double> ParamHost::writeLocked(const ParamSpec& spec, double value)
{
    double v = clampToSpec(spec, value);
    storeLocked(spec.name, v);
    return {true, v};
}

bool ParamHost::hasParam(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_);
    return findLocked(name) != nullptr;
}

std::vector<ParamSpec> ParamHost::specs() const
{
    std::lock_guard<std::mutex> lock(m_);
    return specs_;
}

std::map<std::string, double> ParamHost::values() const
{
    std::lock_guard<std::mutex> lock(m_);
    return values_;
}

Result<double> ParamHost::readParam(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_);
    const ParamSpec* spec = findLocked(name);
    if (!spec || !accessibleLocked() || spec->io == Parameter::IO_WRITE_ONLY)
        return {};
    // An injected failure is used up only by a read that would succeed.
    if (shared_->consume("get:" + name))
        return {};
    return {true, readLocked(*spec)};
}

Result<double> ParamHost::writeParam(const std::string& name, Setter setter, double value)
{
    std::lock_guard<std::mutex> lock(m_);
    const ParamSpec* spec = findLocked(name);
    if (!spec || !accessibleLocked())
        return {};
    noteWriteLocked(name);
    const double current = spec->io == Parameter::IO_WRITE_ONLY ? 0.0 : readLocked(*spec);
    if (spec->io == Parameter::IO_READ_ONLY || !setterAccepts(setter, spec->kind) || std::isnan(value))
        return {false, current};
    if (spec->kind == ParamKind::Enum
        && std::find(spec->allowed.begin(), spec->allowed.end(), static_cast<int32_t>(value)) == spec->allowed.end())
        return {false, current};
    if (shared_->consume("set:" + name))
        return {false, current};
    Result<double> r = writeLocked(*spec, value);
    if (!r.ok)
        return {false, current};
    return r;
}

std::pair<double, double> ParamHost::limits(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_);
    const ParamSpec* spec = findLocked(name);
    if (!spec)
        return {0.0, 0.0};
    return limitsLocked(*spec);
}

ParameterPtr makeParameter(const ParamSpec& spec, const std::shared_ptr<ParamHost>& host, bool filterSide)
{
    auto state = std::make_shared<ParameterState>();
    state->spec = spec;
    state->host = host;
    switch (spec.kind) {
    case ParamKind::StrobeBool:
        if (!filterSide)
            return std::make_shared<StrobeBoolParameter>(state);
        return std::make_shared<BoolFilterParameter>(state);
    case ParamKind::Bool:
        if (!filterSide)
            return std::make_shared<BoolParameter>(state);
        return std::make_shared<BoolFilterParameter>(state);
    case ParamKind::Enum:
        if (!filterSide)
            return std::make_shared<EnumParameter>(state);
        return std::make_shared<EnumFilterParameter>(state);
    case ParamKind::Int:
        if (!filterSide)
            return std::make_shared<IntegerParameter>(state);
        return std::make_shared<SignedFilterParameter>(state);
    case ParamKind::Uint:
        if (!filterSide)
            return std::make_shared<UnsignedIntegerParameter>(state);
        return std::make_shared<UnsignedFilterParameter>(state);
    case ParamKind::Float:
        if (!filterSide)
            return std::make_shared<FloatParameter>(state);
        return std::make_shared<FloatFilterParameter>(state);
    }
    return nullptr;
}

} // namespace detail

// --- Parameter objects ---------------------------------------------------------

Parameter::Parameter(std::shared_ptr<ParameterState> state)
    : d_(std::move(state))
{
}
Parameter::~Parameter() = default;

const std::string& Parameter::name() const
{
    return d_->spec.name;
}
const std::string& Parameter::displayName() const
{
    return d_->spec.displayName;
}
const std::string& Parameter::description() const
{
    return d_->spec.description;
}
Parameter::IOType Parameter::ioType() const
{
    return d_->spec.io;
}
uint32_t Parameter::address() const
{
    return d_->spec.address;
}
int Parameter::msb() const
{
    return d_->spec.msb;
}
int Parameter::lsb() const
{
    return d_->spec.lsb;
}

template <class T> Result<T> ValueParameter<T>::get(bool /*refresh: the simulation always reads the live value*/) const
{
    auto host = this->d_->host.lock();
    if (!host)
        return {};
    return detail::typed<T>(host->readParam(this->d_->spec.name));
}

template <class T> T RangeParameter<T>::lowerLimit() const
{
    auto host = this->d_->host.lock();
    double v = host ? host->limits(this->d_->spec.name).first : this->d_->spec.lower;
    return detail::typed<T>(Result<double>{true, v}).value;
}

template <class T> T RangeParameter<T>::upperLimit() const
{
    auto host = this->d_->host.lock();
    double v = host ? host->limits(this->d_->spec.name).second : this->d_->spec.upper;
    return detail::typed<T>(Result<double>{true, v}).value;
}

template <class T> const std::string& RangeParameter<T>::unit() const
{
    return this->d_->spec.unit;
}

template class ValueParameter<bool>;
template class ValueParameter<int32_t>;
template class ValueParameter<uint32_t>;
template class ValueParameter<float>;
template class RangeParameter<int32_t>;
template class RangeParameter<uint32_t>;
template class RangeParameter<float>;

std::vector<std::string> BoolValueParameter::valueMeaning() const
{
    return d_->spec.meanings;
}
std::vector<std::string> BoolValueParameter::valueDescription() const
{
    return d_->spec.descriptions;
}

EnumParameter::EnumParameter(std::shared_ptr<ParameterState> state)
    : IntegerParameter(std::move(state))
{
}
std::vector<int32_t> EnumParameter::allowedValues() const
{
    return d_->spec.allowed;
}
std::vector<std::string> EnumParameter::valueMeaning() const
{
    return d_->spec.meanings;
}
std::vector<std::string> EnumParameter::valueDescription() const
{
    return d_->spec.descriptions;
}

EnumFilterParameter::EnumFilterParameter(std::shared_ptr<ParameterState> state)
    : SignedFilterParameter(std::move(state))
{
}
std::vector<int32_t> EnumFilterParameter::allowedValues() const
{
    return d_->spec.allowed;
}
std::vector<std::string> EnumFilterParameter::valueMeaning() const
{
    return d_->spec.meanings;
}
std::vector<std::string> EnumFilterParameter::valueDescription() const
{
    return d_->spec.descriptions;
}

} // namespace Tavik
