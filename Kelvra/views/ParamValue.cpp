#include "Kelvra/views/ParamValue.h"

#include "Kelvra/common/FloatText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace Kelvra::paramvalue {

namespace {

template <class T> QString shortestText(T value)
{
    return QString::fromStdString(formatFloat(value));
}

} // namespace

bool isIntegral(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar: return true;
    default: return false;
    }
}

QString plainText(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Float: return shortestText(value.toFloat());
    case QMetaType::Double: return shortestText(value.toDouble());
    default: break;
    }
    if (isIntegral(value)) {
        if (value.userType() == QMetaType::ULongLong || value.userType() == QMetaType::ULong
            || value.userType() == QMetaType::UInt)
            return QString::number(value.toULongLong());
        return QString::number(value.toLongLong());
    }
    return value.toString();
}

bool sameValue(const QVariant& current, const QVariant& value)
{
    bool ok = false;
    switch (static_cast<QMetaType::Type>(current.userType())) {
    case QMetaType::Bool: return value.toBool() == current.toBool();
    case QMetaType::Float: {
        const float v = value.toFloat(&ok);
        return ok && v == current.toFloat();
    }
    case QMetaType::Double: {
        const double v = value.toDouble(&ok);
        return ok && v == current.toDouble();
    }
    default: break;
    }
    if (isIntegral(current)) {
        // The integer kinds are 32-bit: exact in long long.
        if (isIntegral(value))
            return value.toLongLong() == current.toLongLong();
        const double v = value.toDouble(&ok);
        return ok && v == current.toDouble();
    }
    return false;
}

int toControlInt(const QVariant& value)
{
    if (isIntegral(value)) {
        if (value.userType() == QMetaType::ULongLong || value.userType() == QMetaType::ULong
            || value.userType() == QMetaType::UInt)
            return value.toULongLong() > static_cast<qulonglong>(INT_MAX) ? INT_MAX : value.toInt();
        const qlonglong v = value.toLongLong();
        return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
    }
    const double v = std::trunc(value.toDouble());
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(v);
}

} // namespace Kelvra::paramvalue
