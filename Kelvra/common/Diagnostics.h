#pragma once
// Diagnostic lines on standard output. Every line is built first and written to
// std::cout in one call at the moment of the print, so a replaced stream buffer
// (OutputRedirector) captures it whole. Value lists print the way the modules'
// lines read: ('cam', 'stop Thread running : ', True).

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <type_traits>

#include <QString>

namespace Kelvra::diag {

inline std::string repr(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    for (char c : text) {
        if (c == '\'' || c == '\\')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    out += '\'';
    return out;
}
inline std::string repr(const std::string& text) { return repr(std::string_view(text)); }
inline std::string repr(const char* text) { return repr(std::string_view(text ? text : "")); }
inline std::string repr(const QString& text) { return repr(text.toStdString()); }
inline std::string repr(bool flag) { return flag ? "True" : "False"; }

// Shortest text that reads back as the same value (of its own type, so a
// float prints its float digits): fixed for exponents -4 to 15, a whole
// number keeping ".0", exponent form beyond, as "1e+16" or "1.5e-05".
template <class T>
std::string formatFloat(T value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";

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
    return sign + out;
}

template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
std::string repr(T value)
{
    return std::to_string(value);
}
template <class T, std::enable_if_t<std::is_floating_point_v<T>, int> = 0>
std::string repr(T value)
{
    return formatFloat(value);
}

// "(a, b, c)" with each value in its repr form.
template <class... Args>
std::string tuple(const Args&... args)
{
    std::string out = "(";
    bool first = true;
    ((out += (first ? "" : ", ") + repr(args), first = false), ...);
    out += ")";
    return out;
}

// Writes one line as it stands.
inline void printLine(std::string_view text)
{
    std::string line(text);
    line += '\n';
    std::cout << line << std::flush;
}
inline void printLine(const QString& text) { printLine(std::string_view(text.toStdString())); }
inline void printLine(const char* text) { printLine(std::string_view(text ? text : "")); }
inline void printLine(const std::string& text) { printLine(std::string_view(text)); }

// Writes one value list line: ('cam', 'stop Thread running : ', True).
template <class... Args>
void printTuple(const Args&... args)
{
    printLine(tuple(args...));
}

} // namespace Kelvra::diag
