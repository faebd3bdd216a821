#include "host/app/CommandLine.h"

namespace CommandLine {

Parsed parse(const QStringList& arguments)
{
    Parsed parsed;
    bool options = true;
    int given = 0;
    for (const QString& argument : arguments) {
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && (argument == QLatin1String("-h") || argument == QLatin1String("--help"))) {
            parsed.action = Parsed::Action::Help;
            return parsed;
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

} // namespace CommandLine
