// The kind handlers: enumerated, boolean, strobe, integer, unsigned, float.

#include "Kelvra/views/ParameterViews.h"

#include "Kelvra/views/ParamValue.h"

#include <optional>
#include <type_traits>
#include <utility>

namespace Kelvra {

using paramvalue::plainText;
using paramvalue::sameValue;

namespace {

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

bool hasEntry(const std::vector<std::string>& list, int pos)
{
    return pos >= 0 && static_cast<size_t>(pos) < list.size() && !list[static_cast<size_t>(pos)].empty();
}

// The value label: plain text, then " (meaning)" when there is one.
QString valueLabel(const QVariant& value, int pos, const std::vector<std::string>& meanings)
{
    QString label = plainText(value);
    if (hasEntry(meanings, pos))
        label += QStringLiteral(" (") + text(meanings[static_cast<size_t>(pos)]) + QStringLiteral(")");
    return label;
}

template <class T> std::shared_ptr<Tavik::RangeParameter<T>> asRange(const Tavik::ParameterPtr& param)
{
    return std::dynamic_pointer_cast<Tavik::RangeParameter<T>>(param);
}

// Calls f(rangeParameter) with the parameter seen as its numeric kind.
template <class F> QVariant visitRange(const Tavik::ParameterPtr& param, F&& f)
{
    if (auto p = asRange<int32_t>(param))
        return f(*p);
    if (auto p = asRange<uint32_t>(param))
        return f(*p);
    if (auto p = asRange<float>(param))
        return f(*p);
    return QVariant();
}

// A value in the kind's own type, or nothing when it does not fit.
template <class T> std::optional<T> toKind(const QVariant& value);
template <> std::optional<bool> toKind<bool>(const QVariant& value)
{
    return value.toBool();
}
template <> std::optional<int32_t> toKind<int32_t>(const QVariant& value)
{
    bool ok = false;
    const int v = value.toInt(&ok);
    return ok ? std::optional<int32_t>(v) : std::nullopt;
}
template <> std::optional<uint32_t> toKind<uint32_t>(const QVariant& value)
{
    bool ok = false;
    const qlonglong v = value.toLongLong(&ok);
    if (!ok || v < 0 || v > static_cast<qlonglong>(UINT32_MAX))
        return std::nullopt;
    return static_cast<uint32_t>(v);
}
template <> std::optional<float> toKind<float>(const QVariant& value)
{
    bool ok = false;
    const float v = value.toFloat(&ok);
    return ok ? std::optional<float>(v) : std::nullopt;
}

// One typed write through the engine; refused without a call when the engine
// is released or the value does not fit the kind.
template <class T>
ParamControl::Result writeAs(const ParamControl::EnginePtr& engine,
                             Tavik::Result<T> (Tavik::ParameterEngine::*setter)(const std::string&, T),
                             const std::string& name, const QVariant& value)
{
    const std::optional<T> v = toKind<T>(value);
    if (!engine || !v)
        return {false, value};
    const Tavik::Result<T> res = ((*engine).*setter)(name, *v);
    return {res.ok, QVariant::fromValue(res.value)};
}

// `value`, or the value read now when none is given; nothing when that read fails.
std::optional<QVariant> givenOrRead(ParamControl& handler, const QVariant& value)
{
    if (value.isValid())
        return value;
    const ParamControl::Result read = handler.get();
    return read.ok ? std::optional<QVariant>(read.value) : std::nullopt;
}

// What sets a numeric kind apart besides its type: the printf format of its
// value and the engine's setter that writes it.
template <class T> struct NumericKind {
    const char* format;
    Tavik::Result<T> (Tavik::ParameterEngine::*setter)(const std::string&, T);
};

template <class T> constexpr NumericKind<T> numericKind()
{
    if constexpr (std::is_same_v<T, int32_t>)
        return {"%d", &Tavik::ParameterEngine::seti};
    else if constexpr (std::is_same_v<T, uint32_t>)
        return {"%u", &Tavik::ParameterEngine::setu};
    else
        return {"%.2f", &Tavik::ParameterEngine::setf};
}

} // namespace

// --- EnumParamControl ----------------------------------------------------------

EnumParamControl::EnumParamControl(EnginePtr engine, Tavik::ParameterPtr param, QString type, QObject* parent)
    : ParamControl(std::move(engine), std::move(param), std::move(type), parent)
{
}

QVariantList EnumParamControl::allowedValues() const
{
    std::vector<int32_t> values;
    if (auto p = Tavik::EnumParameter::typeCast(param))
        values = p->allowedValues();
    else if (auto f = Tavik::EnumFilterParameter::typeCast(param))
        values = f->allowedValues();
    QVariantList out;
    for (int32_t v : values)
        out.append(QVariant::fromValue(v));
    return out;
}

std::vector<std::string> EnumParamControl::meanings() const
{
    auto texts = std::dynamic_pointer_cast<Tavik::ValueTexts>(param);
    return texts ? texts->valueMeaning() : std::vector<std::string>();
}

std::vector<std::string> EnumParamControl::descriptions() const
{
    auto texts = std::dynamic_pointer_cast<Tavik::ValueTexts>(param);
    return texts ? texts->valueDescription() : std::vector<std::string>();
}

int EnumParamControl::valuePosition(const QVariant& value) const
{
    const QVariantList values = allowedValues();
    for (int i = 0; i < values.size(); ++i)
        if (sameValue(values[i], value))
            return i;
    return -1;
}

QString EnumParamControl::getDisplayValue(const QVariant& value)
{
    const std::optional<QVariant> v = givenOrRead(*this, value);
    if (!v)
        return QStringLiteral("(Unknown)");
    const int pos = valuePosition(*v);
    const QVariantList values = allowedValues();
    if (pos < 0 || pos >= values.size())
        return QStringLiteral("(Unknown)");
    // The allowed value's own text: a given 2.0 reads as the enum value 2.
    return valueLabel(values[pos], pos, meanings());
}

QWidget* EnumParamControl::getDisplayWidget(QWidget* parent)
{
    const QVariantList values = allowedValues();
    const std::vector<std::string> texts = meanings();
    QStringList displayValues;
    for (int i = 0; i < values.size(); ++i)
        displayValues.append(valueLabel(values[i], i, texts));
    const Result read = get();
    // With no value read and no allowed value there is nothing to start at:
    // the editor then has no current item.
    const QVariant current = read.ok ? read.value : (values.isEmpty() ? QVariant() : values.first());
    auto* view = new EnumParameterView(values, displayValues, current, parent);
    view->setReadOnly(isReadOnly());
    return view;
}

ParamControl::Result EnumParamControl::setInternal(const QVariant& value)
{
    return writeAs<int32_t>(engine, &Tavik::ParameterEngine::seti, param->name(), value);
}

QString EnumParamControl::getDescription()
{
    QString out = ParamControl::getDescription();
    const Result read = get();
    if (read.ok)
        out += QStringLiteral("Current Value: ") + plainText(read.value) + QStringLiteral("\n");
    out += QStringLiteral("Possible Values: \n");
    const QVariantList values = allowedValues();
    const std::vector<std::string> texts = meanings();
    const std::vector<std::string> details = descriptions();
    for (int i = 0; i < values.size(); ++i) {
        QString line = plainText(values[i]);
        if (hasEntry(texts, i))
            line += QStringLiteral(" -> ") + text(texts[static_cast<size_t>(i)]);
        if (hasEntry(details, i))
            line += QStringLiteral(" (") + text(details[static_cast<size_t>(i)]) + QStringLiteral(")\n");
        else
            line += QStringLiteral("\n");
        out += line;
    }
    return out;
}

// --- BoolParamControl ----------------------------------------------------------

BoolParamControl::BoolParamControl(EnginePtr engine, Tavik::ParameterPtr boolParam, QString type, QObject* parent)
    : EnumParamControl(std::move(engine), std::move(boolParam), std::move(type), parent)
{
}

QVariantList BoolParamControl::allowedValues() const
{
    return {QVariant(false), QVariant(true)};
}

int BoolParamControl::valuePosition(const QVariant& value) const
{
    return value.toBool() ? 1 : 0;
}

QString BoolParamControl::getDisplayValue(const QVariant& value)
{
    if (!value.isValid())
        return EnumParamControl::getDisplayValue(value);
    // QVariant would read "false" or "0" as false; any non-empty text is true.
    if (value.userType() == QMetaType::QString)
        return EnumParamControl::getDisplayValue(QVariant(!value.toString().isEmpty()));
    return EnumParamControl::getDisplayValue(QVariant(value.toBool()));
}

ParamControl::Result BoolParamControl::setInternal(const QVariant& value)
{
    return writeAs<bool>(engine, &Tavik::ParameterEngine::setb, param->name(), value);
}

// --- StrobeBoolParamControl ----------------------------------------------------

StrobeBoolParamControl::StrobeBoolParamControl(EnginePtr engine, Tavik::ParameterPtr strobeBoolParam, QString type,
                                               QObject* parent)
    : BoolParamControl(std::move(engine), std::move(strobeBoolParam), std::move(type), parent)
{
}

ParamControl::Result StrobeBoolParamControl::set(const QVariant& value)
{
    // A trigger: written every time, without reading first.
    return writeAs<bool>(engine, &Tavik::ParameterEngine::setb, param->name(), value);
}

// --- RangeParamControl ---------------------------------------------------------

RangeParamControl::RangeParamControl(EnginePtr engine, Tavik::ParameterPtr param, QString type, QString format,
                                     QObject* parent)
    : ParamControl(std::move(engine), std::move(param), std::move(type), parent)
    , format(std::move(format))
{
}

QVariant RangeParamControl::getLowerLimit() const
{
    return visitRange(param, [](const auto& p) { return QVariant::fromValue(p.lowerLimit()); });
}

QVariant RangeParamControl::getUpperLimit() const
{
    return visitRange(param, [](const auto& p) { return QVariant::fromValue(p.upperLimit()); });
}

QString RangeParamControl::getUnit() const
{
    return visitRange(param, [](const auto& p) { return QVariant(text(p.unit())); }).toString();
}

QString RangeParamControl::getDisplayValue(const QVariant& value)
{
    const std::optional<QVariant> v = givenOrRead(*this, value);
    if (!v)
        return QStringLiteral("(Unknown)");
    const QByteArray pattern = format.toLatin1();
    const char conversion = pattern.isEmpty() ? 'f' : pattern.back();
    QString number;
    if (conversion == 'd' || conversion == 'i')
        number = QString::asprintf(pattern.constData(), v->toInt());
    else if (conversion == 'u')
        number = QString::asprintf(pattern.constData(), v->toUInt());
    else
        number = QString::asprintf(pattern.constData(), v->toDouble());
    return number + getUnit();
}

QWidget* RangeParamControl::getDisplayWidget(QWidget* parent)
{
    const Result read = get();
    const QVariant current = read.ok ? read.value : QVariant(0);
    auto* view = new RangeParameterView(getLowerLimit(), getUpperLimit(), current, getUnit(), parent);
    view->setReadOnly(isReadOnly());
    return view;
}

QString RangeParamControl::getDescription()
{
    QString out = ParamControl::getDescription();
    const Result read = get();
    const QString unit = getUnit();
    if (read.ok)
        out += QStringLiteral("Current Value: ") + plainText(read.value) + unit + QStringLiteral("\n");
    out += QStringLiteral("Limits: [") + plainText(getLowerLimit()) + unit + QStringLiteral(", ")
        + plainText(getUpperLimit()) + unit + QStringLiteral("]");
    return out;
}

RangeParameterDetailedView* RangeParamControl::makeDetailedView(bool isInteger, QWidget* parent)
{
    // The editor shares ownership of its handler. A handler not made by the
    // factory is held without ownership; its creator keeps it alive.
    auto self = std::static_pointer_cast<RangeParamControl>(weak_from_this().lock());
    if (!self)
        self = std::shared_ptr<RangeParamControl>(std::shared_ptr<RangeParamControl>(), this);
    auto* view = new RangeParameterDetailedView(self, getUnit(), isInteger, parent);
    view->setReadOnly(isReadOnly());
    return view;
}

// --- the three numeric kinds ---------------------------------------------------

template <class T>
NumericParamControl<T>::NumericParamControl(EnginePtr engine, Tavik::ParameterPtr param, QString type, QObject* parent)
    : RangeParamControl(std::move(engine), std::move(param), std::move(type),
                        QString::fromLatin1(numericKind<T>().format), parent)
{
}

template <class T> QWidget* NumericParamControl<T>::getDetailedDisplayWidget(QWidget* parent)
{
    return makeDetailedView(std::is_integral_v<T>, parent);
}

template <class T> ParamControl::Result NumericParamControl<T>::setInternal(const QVariant& value)
{
    return writeAs<T>(engine, numericKind<T>().setter, param->name(), value);
}

template class NumericParamControl<int32_t>;
template class NumericParamControl<uint32_t>;
template class NumericParamControl<float>;

} // namespace Kelvra
