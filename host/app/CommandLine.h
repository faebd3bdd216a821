#pragma once
// kelvra-viewer's command line: [-h | --help] [Qt's options] [--] [recording].
// Qt's own options (-platform NAME, -style NAME, -reverse, -display NAME,
// -session ID, ...) are known here but left to Qt, so that --help and a
// wrong option are answered before Qt starts, without a display.

#include <QString>
#include <QStringList>

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
};

// `arguments` without the program's name.
Parsed parse(const QStringList& arguments);

// The usage text: arguments, options, the environment variables the viewer reads.
QString usage(const QString& program);

} // namespace CommandLine
