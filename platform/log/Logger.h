#pragma once
// The application's logger. One process-wide core keeps the default level and
// the log file; every Logger instance relays the core's messages as its own
// outputAvailable signal, so the static writeLog reaches every log panel.

#include "Tavik/Common.h"

#include <QFile>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>

Q_DECLARE_METATYPE(Tavik::LogLevel)

// Shared state behind all Logger instances. Thread-safe: writeLog may be
// called on any thread; signals are emitted on the writing thread, so
// receivers in other threads get them queued.
class LoggerCore : public QObject {
    Q_OBJECT
public:
    static LoggerCore* instance();

    void write(Tavik::LogLevel level, const QString& text);

    int getDefaultLogLevel() const;
    void setDefaultLogLevel(int index);
    QString getLogFileName() const;
    void setLogFileName(const QString& name);
    bool openLogFile(const QString& name, QString* reason);
    void stop();

    // "Information" (index 3) until the user picks another level.
    static constexpr int DEFAULT_LEVEL_INDEX = Tavik::LOG_INFO;

signals:
    // Every writeLog call, before filtering and formatting (for observers and tests).
    void messageWritten(Tavik::LogLevel level, QString text);
    // Messages that pass the default level, text ending in a line break.
    void outputAvailable(Tavik::LogLevel level, QString text);
    // Every setDefaultLogLevel call, with the level taken (for observers and tests).
    void defaultLogLevelSet(int index);

private:
    LoggerCore();
    ~LoggerCore() override;
    void writeToFileLocked(Tavik::LogLevel level, const QString& line);

    mutable std::mutex mutex;
    int defaultLevel = DEFAULT_LEVEL_INDEX;
    QString fileName;
    std::unique_ptr<QFile> file = std::make_unique<QFile>(); // replaced whole by openLogFile
    bool fileWritable = false; // false after stop() until a new name is set
};

class Logger : public QObject {
    Q_OBJECT
public:
    explicit Logger(QObject* parent = nullptr);

    // Callable on the class from any thread.
    static void writeLog(Tavik::LogLevel level, const QString& text);

    // Index 0..4 = LOG_CRITICAL..LOG_DEBUG; a message is shown when its level
    // index is at most the default index.
    int getDefaultLogLevel() const;
    void setDefaultLogLevel(int index);
    QString getLogFileName() const;
    // Any text; lines are appended to that file from now on, empty turns the file off.
    void setLogFileName(const QString& name);
    // Opens that file at once and appends the lines to it from now on. A name
    // that cannot be opened (none, a missing folder, no permission, anything
    // but a plain file) changes nothing: false, and `reason` says why.
    bool openLogFile(const QString& name, QString* reason = nullptr);
    // Closes the log file; messages still reach outputAvailable.
    void stop();

    static QString levelName(Tavik::LogLevel level);

signals:
    void outputAvailable(Tavik::LogLevel level, QString text);
};
