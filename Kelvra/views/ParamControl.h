#pragma once
// Handlers of camera and filter parameters, one class per parameter kind. The
// editor widgets they build are in ParameterViews.h.
//
// Handlers are made only by ParamControl::getParamControl. The caller gets a
// std::shared_ptr and owns the handler; a detailed editor shares ownership of
// the handler it writes through, so a handler outlives every editor still
// shown. `engine` (the camera or filter that writes the parameter) is held as
// a std::shared_ptr<Tavik::ParameterEngine> until releaseDepthCamera(): edits
// keep reaching the same camera or filter object for as long as the handler
// exists, and a released handler refuses every write without calling anything.
//
// Values travel as QVariant of the kind's own type: int for enum and signed
// parameters, uint for unsigned, float for float parameters (double when it
// comes from a floating-point spin box), bool for the two boolean kinds.

#include "Tavik/DepthCamera.h"
#include "Tavik/Parameter.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <array>
#include <map>
#include <memory>
#include <string>

namespace Kelvra {

class RangeParameterDetailedView;

class ParamControl : public QObject, public std::enable_shared_from_this<ParamControl> {
    Q_OBJECT
public:
    static constexpr int PARAM_TYPE_DEPTH_CAMERA = 0;
    static constexpr int PARAM_TYPE_FILTER = 1;

    // A kind class's static typeCast, seen through the base handle.
    using TypeCast = Tavik::ParameterPtr (*)(const Tavik::ParameterPtr&);
    using KindTable = std::map<std::string, TypeCast>;
    // Kind tables indexed by parameter-set type; keys "StrobeBool", "Bool",
    // "Int", "Uint", "Float", "Enum".
    static const std::array<KindTable, 2> ParamTypeSets;
    // The order in which the factory tries the kinds; the first match wins.
    static const std::array<const char*, 6> KindOrder;

    using EnginePtr = std::shared_ptr<Tavik::ParameterEngine>;
    using Result = Tavik::Result<QVariant>;

    ParamControl(EnginePtr engine, Tavik::ParameterPtr param, QString type, QObject* parent = nullptr);

    // Forgets the engine; later writes are refused. `param` stays.
    virtual void releaseDepthCamera();

    // A new handler of the parameter's kind, or nothing for a parameter of no
    // known kind. Pass no parent unless that parent outlives every holder of
    // the returned pointer (a parent that dies first takes the handler along).
    static std::shared_ptr<ParamControl> getParamControl(const EnginePtr& engine, const Tavik::ParameterPtr& param,
                                                         QObject* parent = nullptr,
                                                         int paramSetType = PARAM_TYPE_DEPTH_CAMERA);
    // The same for the camera's parameter of that name (nothing for a name the
    // camera lacks).
    static std::shared_ptr<ParamControl> getParamControl(const Tavik::DepthCameraPtr& camera, const std::string& name,
                                                         QObject* parent = nullptr,
                                                         int paramSetType = PARAM_TYPE_DEPTH_CAMERA);

    // Compact editor (EnumParameterView or RangeParameterView), owned by
    // `parent` or the caller; nothing from the base.
    virtual QWidget* getDisplayWidget(QWidget* parent = nullptr);
    // Slider editor of numeric kinds, a RangeParameterDetailedView (reach its
    // valueChanged() and init() through qobject_cast); nothing from the base.
    virtual QWidget* getDetailedDisplayWidget(QWidget* parent = nullptr);
    virtual QString getDisplayName() const;
    virtual QString getName() const;
    // A value to show, not to write: its editors are read-only.
    bool isReadOnly() const;
    // Readable form of `value`, or of the value read now when none is given;
    // an empty text from the base.
    virtual QString getDisplayValue(const QVariant& value = QVariant());
    // Writes `value` unless the parameter already holds it (then (true, value)
    // without writing); the engine's answer otherwise.
    virtual Result set(const QVariant& value);
    // The parameter's own read, never cached.
    virtual Result get(bool refresh = false);
    // The typed write; the base writes nothing and answers (false, value).
    virtual Result setInternal(const QVariant& value);
    virtual QString getDescription();

    Tavik::ParameterPtr param; // already cast to its kind
    QString type; // "Bool", "Int", "Uint" or "Float"
    EnginePtr engine; // empty once released
};

class EnumParamControl : public ParamControl {
    Q_OBJECT
public:
    EnumParamControl(EnginePtr engine, Tavik::ParameterPtr param, QString type, QObject* parent = nullptr);

    // The values the editor and the help text offer.
    virtual QVariantList allowedValues() const;

    QWidget* getDisplayWidget(QWidget* parent = nullptr) override;
    QString getDisplayValue(const QVariant& value = QVariant()) override;
    Result setInternal(const QVariant& value) override;
    QString getDescription() override;

protected:
    // Position of `value` among the allowed values, or -1.
    virtual int valuePosition(const QVariant& value) const;
    std::vector<std::string> meanings() const;
    std::vector<std::string> descriptions() const;
};

class BoolParamControl : public EnumParamControl {
    Q_OBJECT
public:
    BoolParamControl(EnginePtr engine, Tavik::ParameterPtr boolParam, QString type, QObject* parent = nullptr);

    QVariantList allowedValues() const override; // false, true
    // Any value is taken as a boolean; a text is true unless empty.
    QString getDisplayValue(const QVariant& value = QVariant()) override;
    Result setInternal(const QVariant& value) override;

protected:
    int valuePosition(const QVariant& value) const override;
};

// A trigger: written on every set, also with the value it holds.
class StrobeBoolParamControl : public BoolParamControl {
    Q_OBJECT
public:
    StrobeBoolParamControl(EnginePtr engine, Tavik::ParameterPtr strobeBoolParam, QString type,
                           QObject* parent = nullptr);

    Result set(const QVariant& value) override;
};

class RangeParamControl : public ParamControl {
    Q_OBJECT
public:
    RangeParamControl(EnginePtr engine, Tavik::ParameterPtr param, QString type, QString format,
                      QObject* parent = nullptr);

    QString getDisplayValue(const QVariant& value = QVariant()) override;
    QWidget* getDisplayWidget(QWidget* parent = nullptr) override;
    QString getDescription() override;

    // The parameter's limits in its own type, and its unit (may be empty).
    QVariant getLowerLimit() const;
    QVariant getUpperLimit() const;
    QString getUnit() const;

    const QString format; // printf-style, one number

protected:
    RangeParameterDetailedView* makeDetailedView(bool isInteger, QWidget* parent);
};

// The integer, unsigned and float kinds: `T` is the value type (int32_t,
// uint32_t or float); the number format, the engine's setter and whether the
// slider editor works in whole numbers follow from it.
template <class T> class NumericParamControl : public RangeParamControl {
public:
    NumericParamControl(EnginePtr engine, Tavik::ParameterPtr param, QString type, QObject* parent = nullptr);
    QWidget* getDetailedDisplayWidget(QWidget* parent = nullptr) override;
    Result setInternal(const QVariant& value) override;
};

extern template class NumericParamControl<int32_t>;
extern template class NumericParamControl<uint32_t>;
extern template class NumericParamControl<float>;

class IntegerParamControl : public NumericParamControl<int32_t> {
    Q_OBJECT
public:
    using NumericParamControl::NumericParamControl;
};

class UnsignedIntegerParamControl : public NumericParamControl<uint32_t> {
    Q_OBJECT
public:
    using NumericParamControl::NumericParamControl;
};

class FloatParamControl : public NumericParamControl<float> {
    Q_OBJECT
public:
    using NumericParamControl::NumericParamControl;
};

} // namespace Kelvra
