#pragma once
// Parameter objects of cameras and filters. A parameter is a handle onto a
// value its owner (a camera or a filter) keeps: every get() reads the owner
// again, and limits can change after a write. A parameter whose owner is gone
// or disconnected stays valid and refuses reads (ok false).
//
// Kinds: camera side BoolParameter <- StrobeBoolParameter, IntegerParameter <-
// EnumParameter, UnsignedIntegerParameter, FloatParameter; filter side
// BoolFilterParameter, SignedFilterParameter <- EnumFilterParameter,
// UnsignedFilterParameter, FloatFilterParameter. typeCast() of a kind gives the
// parameter as that kind, or an empty handle.

#include "Tavik/Common.h"

#include <memory>
#include <string>
#include <vector>

namespace Tavik {

namespace detail {
struct ParameterState; // shared with the owner; defined in the implementation
}

class Parameter {
public:
    enum IOType : int {
        IO_READ_ONLY = 0,
        IO_WRITE_ONLY = 1,
        IO_READ_WRITE = 2,
    };

    virtual ~Parameter();

    const std::string& name() const;
    const std::string& displayName() const; // may be empty
    const std::string& description() const; // "$" marks a line break
    IOType ioType() const;
    uint32_t address() const; // 0: no register
    int msb() const;
    int lsb() const;

    // Implementation access for the owner.
    const std::shared_ptr<detail::ParameterState>& state() const { return d_; }

protected:
    explicit Parameter(std::shared_ptr<detail::ParameterState> state);
    std::shared_ptr<detail::ParameterState> d_;
};

// Value access shared by every kind of one value type.
template <class T> class ValueParameter : public Parameter {
public:
    using ValueType = T;
    Result<T> get(bool refresh = false) const;

protected:
    using Parameter::Parameter;
};

template <class T> class RangeParameter : public ValueParameter<T> {
public:
    T lowerLimit() const;
    T upperLimit() const;
    const std::string& unit() const; // may be empty

protected:
    using ValueParameter<T>::ValueParameter;
};

// Defined once, in the library, for the four value types.
extern template class ValueParameter<bool>;
extern template class ValueParameter<int32_t>;
extern template class ValueParameter<uint32_t>;
extern template class ValueParameter<float>;
extern template class RangeParameter<int32_t>;
extern template class RangeParameter<uint32_t>;
extern template class RangeParameter<float>;

// Meanings and descriptions parallel to false, true (bool kinds) or to the
// allowed values (enum kinds); either list may be shorter and hold empty texts.
class ValueTexts {
public:
    virtual ~ValueTexts() = default;
    virtual std::vector<std::string> valueMeaning() const = 0;
    virtual std::vector<std::string> valueDescription() const = 0;
};

class BoolValueParameter : public ValueParameter<bool>, public ValueTexts {
public:
    std::vector<std::string> valueMeaning() const override;
    std::vector<std::string> valueDescription() const override;

protected:
    using ValueParameter<bool>::ValueParameter;
};

#define TAVIK_PARAMETER_KIND(Kind, Base)                                                                               \
    class Kind : public Base {                                                                                         \
    public:                                                                                                            \
        explicit Kind(std::shared_ptr<detail::ParameterState> state)                                                   \
            : Base(std::move(state))                                                                                   \
        {                                                                                                              \
        }                                                                                                              \
        static std::shared_ptr<Kind> typeCast(const ParameterPtr& param)                                               \
        {                                                                                                              \
            return std::dynamic_pointer_cast<Kind>(param);                                                             \
        }                                                                                                              \
    };

// Camera parameter kinds.
TAVIK_PARAMETER_KIND(BoolParameter, BoolValueParameter)
TAVIK_PARAMETER_KIND(StrobeBoolParameter, BoolParameter)
TAVIK_PARAMETER_KIND(IntegerParameter, RangeParameter<int32_t>)
TAVIK_PARAMETER_KIND(UnsignedIntegerParameter, RangeParameter<uint32_t>)
TAVIK_PARAMETER_KIND(FloatParameter, RangeParameter<float>)

// Filter parameter kinds.
TAVIK_PARAMETER_KIND(BoolFilterParameter, BoolValueParameter)
TAVIK_PARAMETER_KIND(SignedFilterParameter, RangeParameter<int32_t>)
TAVIK_PARAMETER_KIND(UnsignedFilterParameter, RangeParameter<uint32_t>)
TAVIK_PARAMETER_KIND(FloatFilterParameter, RangeParameter<float>)

#undef TAVIK_PARAMETER_KIND

// Enum kinds are integer kinds with a list of allowed values.
class EnumParameter : public IntegerParameter, public ValueTexts {
public:
    explicit EnumParameter(std::shared_ptr<detail::ParameterState> state);
    std::vector<int32_t> allowedValues() const;
    std::vector<std::string> valueMeaning() const override;
    std::vector<std::string> valueDescription() const override;
    static std::shared_ptr<EnumParameter> typeCast(const ParameterPtr& param)
    {
        return std::dynamic_pointer_cast<EnumParameter>(param);
    }
};

class EnumFilterParameter : public SignedFilterParameter, public ValueTexts {
public:
    explicit EnumFilterParameter(std::shared_ptr<detail::ParameterState> state);
    std::vector<int32_t> allowedValues() const;
    std::vector<std::string> valueMeaning() const override;
    std::vector<std::string> valueDescription() const override;
    static std::shared_ptr<EnumFilterParameter> typeCast(const ParameterPtr& param)
    {
        return std::dynamic_pointer_cast<EnumFilterParameter>(param);
    }
};

// The object that owns and writes parameters: a DepthCamera or a Filter.
// seti writes enum and signed parameters, setb bool and strobe bool, setu
// unsigned, setf float. On success the value is the one now stored (after
// clamping or quantisation); on refusal, the value the parameter still holds.
class ParameterEngine {
public:
    virtual ~ParameterEngine() = default;
    virtual Result<int32_t> seti(const std::string& name, int32_t value) = 0;
    virtual Result<bool> setb(const std::string& name, bool value) = 0;
    virtual Result<uint32_t> setu(const std::string& name, uint32_t value) = 0;
    virtual Result<float> setf(const std::string& name, float value) = 0;
};

} // namespace Tavik
