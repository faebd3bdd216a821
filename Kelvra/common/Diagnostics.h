#pragma once
// Diagnostic lines on standard output. Every line is built first and written to
// std::cout in one call at the moment of the print, so a replaced stream buffer
// (OutputRedirector) captures it whole. Value lists print the way the modules'
// lines read: ('cam', 'stop Thread running : ', True).

#include "Kelvra/common/FloatText.h"

#include <iostream>
#include <string>
#include <string_view>
#include <type_traits>

#include <QString>

#ifdef __linux__
#include <pthread.h>
#endif

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
inline std::string repr(const std::string& text)
{
    return repr(std::string_view(text));
}
inline std::string repr(const char* text)
{
    return repr(std::string_view(text ? text : ""));
}
inline std::string repr(const QString& text)
{
    return repr(text.toStdString());
}
inline std::string repr(bool flag)
{
    return flag ? "True" : "False";
}

template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
std::string repr(T value)
{
    return std::to_string(value);
}
template <class T, std::enable_if_t<std::is_floating_point_v<T>, int> = 0> std::string repr(T value)
{
    return formatFloat(value);
}

// "(a, b, c)" with each value in its repr form.
template <class... Args> std::string tuple(const Args&... args)
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
inline void printLine(const QString& text)
{
    printLine(std::string_view(text.toStdString()));
}
inline void printLine(const char* text)
{
    printLine(std::string_view(text ? text : ""));
}
inline void printLine(const std::string& text)
{
    printLine(std::string_view(text));
}

// Writes one value list line: ('cam', 'stop Thread running : ', True).
template <class... Args> void printTuple(const Args&... args)
{
    printLine(tuple(args...));
}

// Names the calling thread (at most 15 characters) for debuggers and the
// per-thread figures of scripts/bench-viewer.
inline void nameThisThread(const char* name)
{
#ifdef __linux__
    pthread_setname_np(pthread_self(), name);
#else
    (void)name;
#endif
}

} // namespace Kelvra::diag
