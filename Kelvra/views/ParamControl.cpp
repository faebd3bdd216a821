#include "Kelvra/views/ParamControl.h"

#include "Kelvra/views/ParamValue.h"

#include <QPointer>

#include <utility>

namespace Kelvra {

using paramvalue::plainText;
using paramvalue::sameValue;

namespace {

template <class Kind> Tavik::ParameterPtr castTo(const Tavik::ParameterPtr& param)
{
    return Kind::typeCast(param);
}

template <class T> bool readAs(const Tavik::ParameterPtr& param, bool refresh, ParamControl::Result& out)
{
    auto typed = std::dynamic_pointer_cast<Tavik::ValueParameter<T>>(param);
    if (!typed)
        return false;
    const auto res = typed->get(refresh);
    out = {res.ok, QVariant::fromValue(res.value)};
    return true;
}

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

const std::array<ParamControl::KindTable, 2> ParamControl::ParamTypeSets = {{
    {
        {"StrobeBool", &castTo<Tavik::StrobeBoolParameter>},
        {"Bool", &castTo<Tavik::BoolParameter>},
        {"Int", &castTo<Tavik::IntegerParameter>},
        {"Uint", &castTo<Tavik::UnsignedIntegerParameter>},
        {"Float", &castTo<Tavik::FloatParameter>},
        {"Enum", &castTo<Tavik::EnumParameter>},
    },
    {
        // Filters have no strobe kind: both boolean keys match every bool
        // filter parameter, and "StrobeBool" is tried first.
        {"StrobeBool", &castTo<Tavik::BoolFilterParameter>},
        {"Bool", &castTo<Tavik::BoolFilterParameter>},
        {"Int", &castTo<Tavik::SignedFilterParameter>},
        {"Uint", &castTo<Tavik::UnsignedFilterParameter>},
        {"Float", &castTo<Tavik::FloatFilterParameter>},
        {"Enum", &castTo<Tavik::EnumFilterParameter>},
    },
}};

// Enum is an integer kind and StrobeBool a bool kind: the narrower is tried first.
const std::array<const char*, 6> ParamControl::KindOrder = {"StrobeBool", "Bool", "Enum", "Int", "Uint", "Float"};

ParamControl::ParamControl(EnginePtr engine, Tavik::ParameterPtr param, QString type, QObject* parent)
    : QObject(parent)
    , param(std::move(param))
    , type(std::move(type))
    , engine(std::move(engine))
{
}

void ParamControl::releaseDepthCamera()
{
    engine.reset();
}

std::shared_ptr<ParamControl> ParamControl::getParamControl(const EnginePtr& engine, const Tavik::ParameterPtr& param,
                                                            QObject* parent, int paramSetType)
{
    if (paramSetType != PARAM_TYPE_DEPTH_CAMERA && paramSetType != PARAM_TYPE_FILTER)
        return nullptr;
    const KindTable& table = ParamTypeSets[static_cast<size_t>(paramSetType)];

    ParamControl* handler = nullptr;
    for (const char* key : KindOrder) {
        Tavik::ParameterPtr cast = table.at(key)(param);
        if (!cast)
            continue;
        const std::string kind = key;
        if (kind == "StrobeBool")
            handler = new StrobeBoolParamControl(engine, cast, QStringLiteral("Bool"), parent);
        else if (kind == "Bool")
            handler = new BoolParamControl(engine, cast, QStringLiteral("Bool"), parent);
        else if (kind == "Enum")
            handler = new EnumParamControl(engine, cast, QStringLiteral("Int"), parent);
        else if (kind == "Int")
            handler = new IntegerParamControl(engine, cast, QStringLiteral("Int"), parent);
        else if (kind == "Uint")
            handler = new UnsignedIntegerParamControl(engine, cast, QStringLiteral("Uint"), parent);
        else
            handler = new FloatParamControl(engine, cast, QStringLiteral("Float"), parent);
        break;
    }
    if (!handler)
        return nullptr;
    // A Qt parent may delete the handler first; the guard keeps the last
    // holder from deleting it twice.
    QPointer<ParamControl> guard(handler);
    return std::shared_ptr<ParamControl>(handler, [guard](ParamControl*) { delete guard.data(); });
}

std::shared_ptr<ParamControl> ParamControl::getParamControl(const Tavik::DepthCameraPtr& camera,
                                                            const std::string& name, QObject* parent, int paramSetType)
{
    if (!camera)
        return nullptr;
    return getParamControl(camera, camera->getParam(name), parent, paramSetType);
}

QWidget* ParamControl::getDisplayWidget(QWidget* /*parent*/)
{
    return nullptr;
}

QWidget* ParamControl::getDetailedDisplayWidget(QWidget* /*parent*/)
{
    return nullptr;
}

QString ParamControl::getDisplayName() const
{
    const std::string& display = param->displayName();
    return display.empty() ? text(param->name()) : text(display);
}

QString ParamControl::getName() const
{
    return text(param->name());
}

bool ParamControl::isReadOnly() const
{
    return param && param->ioType() == Tavik::Parameter::IO_READ_ONLY;
}

QString ParamControl::getDisplayValue(const QVariant& /*value*/)
{
    return QString();
}

ParamControl::Result ParamControl::set(const QVariant& value)
{
    // A released handler has nowhere to write: refuse, the caller's refusal
    // path takes over.
    if (!engine)
        return {false, value};
    const Result current = get();
    if (current.ok && sameValue(current.value, value))
        return {true, value};
    return setInternal(value);
}

ParamControl::Result ParamControl::get(bool refresh)
{
    Result out{false, QVariant()};
    readAs<bool>(param, refresh, out) || readAs<int32_t>(param, refresh, out) || readAs<uint32_t>(param, refresh, out)
        || readAs<float>(param, refresh, out);
    return out;
}

ParamControl::Result ParamControl::setInternal(const QVariant& value)
{
    return {false, value};
}

QString ParamControl::getDescription()
{
    QString out = getName();
    switch (param->ioType()) {
    case Tavik::Parameter::IO_READ_ONLY: out += QStringLiteral(" [RO]"); break;
    case Tavik::Parameter::IO_WRITE_ONLY: out += QStringLiteral(" [WO]"); break;
    default: out += QStringLiteral(" [RW]"); break;
    }
    if (!param->displayName().empty())
        out += QStringLiteral(" ") + text(param->displayName());
    out += QStringLiteral("\n\n");
    if (!param->description().empty())
        out += text(param->description()).replace(QLatin1Char('$'), QLatin1Char('\n')) + QStringLiteral("\n\n");
    if (param->address() != 0)
        out += QString::asprintf("Register: 0x%x [%d:%d]\n\n", static_cast<unsigned>(param->address()), param->msb(),
                                 param->lsb());
    return out;
}

} // namespace Kelvra
