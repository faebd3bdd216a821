#include "host/app/CommandLine.h"

namespace CommandLine {

namespace {

// An option's name, without its "-" or "--".
QString optionName(const QString& argument)
{
    return argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
}

// How many arguments Qt's option `argument` takes in all: 1, or 2 with its
// value; 0 when it is none of Qt's.
int qtOptionLength(const QString& argument)
{
    // What QApplication and its platforms take, each with "-" or "--".
    static const QStringList withValue =
        QStringLiteral("platform platformpluginpath platformtheme plugin qwindowgeometry qwindowtitle qwindowicon "
                       "geometry title icon display name visual session style stylesheet")
            .split(QLatin1Char(' '));
    static const QStringList flags = {"reverse", "testability", "widgetcount", "nograb", "dograb", "qdevel"};
    static const QStringList joined = {"style=", "stylesheet=", "qmljsdebugger="};
    if (!argument.startsWith(QLatin1Char('-')))
        return 0;
    const QString name = optionName(argument);
    if (withValue.contains(name))
        return 2;
    if (flags.contains(name))
        return 1;
    for (const QString& prefix : joined)
        if (name.startsWith(prefix))
            return 1;
    return 0;
}

} // namespace

Parsed parse(const QStringList& arguments)
{
    Parsed parsed;
    bool options = true;
    int given = 0;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && (argument == QLatin1String("-h") || argument == QLatin1String("--help"))) {
            parsed.action = Parsed::Action::Help;
            return parsed;
        } else if (const int length = options ? qtOptionLength(argument) : 0; length > 0) {
            if (i + length > arguments.size()) {
                parsed.action = Parsed::Action::Error;
                parsed.error = QStringLiteral("option %1 needs a value").arg(argument);
                return parsed;
            }
            if (length == 2 && optionName(argument) == QLatin1String("platform"))
                parsed.platform = arguments[i + 1];
            else if (length == 2 && optionName(argument) == QLatin1String("display"))
                parsed.display = arguments[i + 1];
            i += length - 1; // Qt's: left to Qt
        } else if (options && argument.size() > 1 && argument.startsWith(QLatin1Char('-'))) {
            // Not taken for a recording's path: "--" comes before such a name.
            parsed.action = Parsed::Action::Error;
            parsed.error = QStringLiteral("unknown option %1").arg(argument);
            return parsed;
        } else if (++given == 1) {
            parsed.recording = argument;
        } else {
            parsed.action = Parsed::Action::Error;
            parsed.error = QStringLiteral("one recording at most, also given %1").arg(argument);
            return parsed;
        }
    }
    return parsed;
}

QString usage(const QString& program)
{
    return QStringLiteral("Usage: %1 [RECORDING]\n"
                          "\n"
                          "Shows the first simulated camera that connects, streaming; or plays\n"
                          "RECORDING, a recorded stream (.tvks). A RECORDING whose name starts\n"
                          "with \"-\" follows \"--\".\n"
                          "\n"
                          "Options:\n"
                          "  -h, --help    print this text and exit\n"
                          "\n"
                          "Qt's own options go to Qt, for example -platform offscreen,\n"
                          "-style fusion, -reverse, -display NAME, -session ID.\n"
                          "\n"
                          "Environment:\n"
                          "  KELVRA_UNPLUG_AFTER_MS=N     pull the simulated camera's cable N ms\n"
                          "                               after start (the viewer lets it go)\n"
                          "  KELVRA_NO_STREAM             start without streaming from the camera\n"
                          "  KELVRA_DOCK_GEOMETRY         print where the window, its docks, tabs\n"
                          "                               and diagram blocks are, every second\n"
                          "  KELVRA_FRAME_STATS           print the frame sets shown and dropped\n"
                          "                               and the most lag at exit\n"
                          "  KELVRA_FRAME_STATS_AFTER=S   count those from S seconds after start\n"
                          "  QT_QPA_PLATFORM              Qt's display platform, e.g. offscreen\n"
                          "\n"
                          "The trigger panel names its commands from FunctionName.txt in the\n"
                          "current folder.\n")
        .arg(program);
}

DisplayEnvironment DisplayEnvironment::current()
{
    return {qEnvironmentVariable("QT_QPA_PLATFORM"), qEnvironmentVariable("DISPLAY"),
            qEnvironmentVariable("WAYLAND_DISPLAY")};
}

bool hasDisplay(const Parsed& parsed, const DisplayEnvironment& environment)
{
    const bool x = !parsed.display.value_or(environment.display).isEmpty();
    const bool wayland = !environment.waylandDisplay.isEmpty();
    // -platform before QT_QPA_PLATFORM; either may list platforms to try in
    // turn ("wayland;xcb"), each with its options after ":".
    const QString platforms = parsed.platform.value_or(environment.qpaPlatform);
    if (platforms.isEmpty()) // Qt's default: xcb, or Wayland in a Wayland session
        return x || wayland;
    for (const QString& platform : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = platform.section(QLatin1Char(':'), 0, 0);
        if (name == QLatin1String("xcb") ? x : name.startsWith(QLatin1String("wayland")) ? wayland : true)
            return true; // offscreen, minimal, vnc, ... need none
    }
    return false;
}

QString noDisplay(const QString& program)
{
    return QStringLiteral("%1: needs a display and finds none: run it as xvfb-run -a %1, or with -platform "
                          "offscreen to run without one")
        .arg(program);
}

std::optional<int> unplugAfterMs(const char* value, QString* warning)
{
    constexpr qlonglong DAY_MS = 24 * 60 * 60 * 1000;
    if (!value)
        return std::nullopt;
    const QString text = QString::fromLocal8Bit(value);
    bool ok = !text.isEmpty();
    for (const QChar c : text)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qlonglong ms = ok ? text.toLongLong(&ok) : -1;
    if (ok && ms <= DAY_MS)
        return static_cast<int>(ms);
    if (warning)
        *warning = QStringLiteral("KELVRA_UNPLUG_AFTER_MS=\"%1\" ignored: not a whole number of milliseconds from 0 "
                                  "to %2")
                       .arg(text)
                       .arg(DAY_MS);
    return std::nullopt;
}

} // namespace CommandLine
