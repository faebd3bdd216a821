#include "Kelvra/views/ParamValue.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace Kelvra::paramvalue {

namespace {

// Shortest round-trip digits, laid out fixed for exponents -4 to 15 and in
// exponent form beyond, as "1e+16" or "1.5e-05".
template <class T>
QString shortestText(T value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");

    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string sci(buf, res.ptr); // "-1.2345e+06"
    std::string sign;
    if (!sci.empty() && sci[0] == '-') {
        sign = "-";
        sci.erase(0, 1);
    }
    const auto ePos = sci.find('e');
    const int exp = std::atoi(sci.c_str() + ePos + 1);
    std::string digits;
    for (char c : sci.substr(0, ePos))
        if (c != '.')
            digits += c;

    std::string out;
    if (exp >= -4 && exp < 16) {
        if (exp >= 0) {
            if (digits.size() < static_cast<size_t>(exp) + 1)
                digits.append(static_cast<size_t>(exp) + 1 - digits.size(), '0');
            std::string frac = digits.substr(static_cast<size_t>(exp) + 1);
            out = digits.substr(0, static_cast<size_t>(exp) + 1) + "." + (frac.empty() ? "0" : frac);
        } else {
            out = "0." + std::string(static_cast<size_t>(-exp - 1), '0') + digits;
        }
    } else {
        out = digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        char expText[16];
        std::snprintf(expText, sizeof expText, "e%c%02d", exp < 0 ? '-' : '+', std::abs(exp));
        out += expText;
    }
    return QString::fromStdString(sign + out);
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
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

QString plainText(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Float:
        return shortestText(value.toFloat());
    case QMetaType::Double:
        return shortestText(value.toDouble());
    default:
        break;
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
    case QMetaType::Bool:
        return value.toBool() == current.toBool();
    case QMetaType::Float: {
        const float v = value.toFloat(&ok);
        return ok && v == current.toFloat();
    }
    case QMetaType::Double: {
        const double v = value.toDouble(&ok);
        return ok && v == current.toDouble();
    }
    default:
        break;
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
