#pragma once
// The shortest text of a floating-point value, used for values shown to the
// user and in diagnostic lines alike.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Kelvra {

// Shortest text that reads back as the same value (of its own type, so a
// float prints its float digits): fixed for exponents -4 to 15, a whole
// number keeping ".0", exponent form beyond, as "1e+16" or "1.5e-05".
template <class T> std::string formatFloat(T value)
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

} // namespace Kelvra
