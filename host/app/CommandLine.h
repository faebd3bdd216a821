#pragma once
// kelvra-viewer's command line: [-h | --help] [Qt's options] [--] [recording].
// Qt's own options (-platform NAME, -style NAME, -reverse, -display NAME,
// -session ID, ...) are known here but left to Qt, so that --help and a
// wrong option are answered before Qt starts, without a display.

#include <QString>
#include <QStringList>

#include <optional>

namespace CommandLine {

struct Parsed {
    enum class Action {
        Run, // show the viewer (with the recording, if one was given)
        Help, // print the usage and exit 0
        Error, // print `error` and the usage and exit 2
    };
    Action action = Action::Run;
    QString recording;
    QString error;
    // Qt's -platform and -display, when given.
    std::optional<QString> platform;
    std::optional<QString> display;
};

// `arguments` without the program's name.
Parsed parse(const QStringList& arguments);

// The usage text: arguments, options, the environment variables the viewer reads.
QString usage(const QString& program);

// What Qt reads to find a display (unset and empty alike).
struct DisplayEnvironment {
    QString qpaPlatform; // QT_QPA_PLATFORM
    QString display; // DISPLAY
    QString waylandDisplay; // WAYLAND_DISPLAY

    static DisplayEnvironment current();
};

// Whether the platform Qt would load has a display to show on; Qt aborts on
// one that has none (xcb without an X display, Wayland without a compositor).
bool hasDisplay(const Parsed& parsed, const DisplayEnvironment& environment);

// The one line that says so, and what to do instead.
QString noDisplay(const QString& program);

// KELVRA_UNPLUG_AFTER_MS (null when unset): a whole number of milliseconds up
// to a day, or nothing; a value set but refused gives a `warning`.
std::optional<int> unplugAfterMs(const char* value, QString* warning);

} // namespace CommandLine
