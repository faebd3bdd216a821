#include "platform/log/Logger.h"

#include "Tavik/PlainFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

namespace {

int clampLevelIndex(int index)
{
    if (index < Tavik::LOG_CRITICAL)
        return Tavik::LOG_CRITICAL;
    if (index > Tavik::LOG_DEBUG)
        return Tavik::LOG_DEBUG;
    return index;
}

// Opens `name` for appending lines when it is a plain file: a FIFO would hold
// the open up until someone reads it, also one put there after a check.
bool openForAppend(QFile& file, const QString& name, QString* reason)
{
    const Tavik::PlainFile plain =
        Tavik::openPlainFile(QFile::encodeName(name).toStdString(), O_WRONLY | O_APPEND | O_CREAT);
    if (plain.fd < 0) {
        *reason = QString::fromStdString(plain.reason);
        return false;
    }
    file.setFileName(name);
    if (!file.open(plain.fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text,
                   QFileDevice::AutoCloseHandle)) {
        ::close(plain.fd);
        *reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace

LoggerCore* LoggerCore::instance()
{
    static LoggerCore core;
    return &core;
}

LoggerCore::LoggerCore()
{
    qRegisterMetaType<Tavik::LogLevel>("Tavik::LogLevel");
    // The first writeLog may come from a worker thread that ends long before
    // the application; the core belongs to the application's thread.
    if (QCoreApplication::instance() && thread() != QCoreApplication::instance()->thread())
        moveToThread(QCoreApplication::instance()->thread());
}

LoggerCore::~LoggerCore()
{
    std::lock_guard<std::mutex> lock(mutex);
    file->close();
}

void LoggerCore::write(Tavik::LogLevel level, const QString& text)
{
    emit messageWritten(level, text);

    QString line = text;
    if (!line.endsWith(QLatin1Char('\n')))
        line += QLatin1Char('\n');
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (static_cast<int>(level) > defaultLevel)
            return;
        writeToFileLocked(level, line);
    }
    // Emitted outside the lock: a direct receiver may log again.
    emit outputAvailable(level, line);
}

void LoggerCore::writeToFileLocked(Tavik::LogLevel level, const QString& line)
{
    if (!fileWritable || fileName.isEmpty())
        return;
    if (!file->isOpen()) {
        QString ignored;
        if (!openForAppend(*file, fileName, &ignored)) {
            // Unwritable name: stay quiet until the user sets another one.
            fileWritable = false;
            return;
        }
    }
    const QString stamped = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
        + QStringLiteral(" [") + Logger::levelName(level) + QStringLiteral("] ") + line;
    file->write(stamped.toUtf8());
    file->flush();
}

int LoggerCore::getDefaultLogLevel() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return defaultLevel;
}

void LoggerCore::setDefaultLogLevel(int index)
{
    const int level = clampLevelIndex(index);
    {
        std::lock_guard<std::mutex> lock(mutex);
        defaultLevel = level;
    }
    emit defaultLogLevelSet(level);
}

QString LoggerCore::getLogFileName() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return fileName;
}

void LoggerCore::setLogFileName(const QString& name)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (name == fileName && file->isOpen())
        return;
    file->close();
    fileName = name;
    fileWritable = !name.isEmpty();
}

bool LoggerCore::openLogFile(const QString& name, QString* reason)
{
    auto opened = std::make_unique<QFile>();
    QString why;
    if (name.isEmpty())
        why = QStringLiteral("no file name given");
    else
        openForAppend(*opened, name, &why);
    if (!why.isEmpty()) {
        if (reason)
            *reason = why;
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex);
    file = std::move(opened);
    fileName = name;
    fileWritable = true;
    return true;
}

void LoggerCore::stop()
{
    std::lock_guard<std::mutex> lock(mutex);
    file->close();
    fileWritable = false;
}

Logger::Logger(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<Tavik::LogLevel>("Tavik::LogLevel");
    // Automatic connection: a message written on another thread is queued to
    // this object's thread and re-emitted there.
    connect(LoggerCore::instance(), &LoggerCore::outputAvailable, this, &Logger::outputAvailable);
}

void Logger::writeLog(Tavik::LogLevel level, const QString& text)
{
    LoggerCore::instance()->write(level, text);
}

int Logger::getDefaultLogLevel() const
{
    return LoggerCore::instance()->getDefaultLogLevel();
}
void Logger::setDefaultLogLevel(int index)
{
    LoggerCore::instance()->setDefaultLogLevel(index);
}
QString Logger::getLogFileName() const
{
    return LoggerCore::instance()->getLogFileName();
}
void Logger::setLogFileName(const QString& name)
{
    LoggerCore::instance()->setLogFileName(name);
}
bool Logger::openLogFile(const QString& name, QString* reason)
{
    return LoggerCore::instance()->openLogFile(name, reason);
}
void Logger::stop()
{
    LoggerCore::instance()->stop();
}

QString Logger::levelName(Tavik::LogLevel level)
{
    switch (level) {
    case Tavik::LOG_CRITICAL: return QStringLiteral("Critical");
    case Tavik::LOG_ERROR: return QStringLiteral("Error");
    case Tavik::LOG_WARNING: return QStringLiteral("Warning");
    case Tavik::LOG_INFO: return QStringLiteral("Information");
    case Tavik::LOG_DEBUG: return QStringLiteral("Debug");
    }
    return QStringLiteral("Level %1").arg(static_cast<int>(level));
}
