#include "platform/log/Logger.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Tavik::LogLevel;

// Runs `threads` writers at once, each logging `perThread` numbered texts.
void writeFromThreads(int threads, int perThread, LogLevel level, const QString& pattern)
{
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([=] {
            for (int i = 0; i < perThread; ++i)
                Logger::writeLog(level, pattern.arg(t).arg(i));
        });
    for (auto& w : writers)
        w.join();
}

// The core is process-wide: every test starts from the same settings.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        Logger logger;
        logger.setLogFileName(QString());
        logger.setDefaultLogLevel(LoggerCore::DEFAULT_LEVEL_INDEX);
    }
    static QStringList fileLines(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

TEST_F(LoggerTest, FiltersByDefaultLevelAndEndsTextsWithLineBreak)
{
    Logger logger;
    logger.setDefaultLogLevel(Tavik::LOG_WARNING);
    QSignalSpy shown(&logger, &Logger::outputAvailable);
    QSignalSpy raw(LoggerCore::instance(), &LoggerCore::messageWritten);

    Logger::writeLog(Tavik::LOG_DEBUG, "debug");
    Logger::writeLog(Tavik::LOG_INFO, "info");
    Logger::writeLog(Tavik::LOG_WARNING, "warning");
    Logger::writeLog(Tavik::LOG_CRITICAL, "critical\n");

    ASSERT_EQ(raw.count(), 4);
    EXPECT_EQ(raw.at(0).at(0).value<LogLevel>(), Tavik::LOG_DEBUG);
    EXPECT_EQ(raw.at(0).at(1).toString(), "debug");
    EXPECT_EQ(raw.at(3).at(1).toString(), "critical\n");

    ASSERT_EQ(shown.count(), 2);
    EXPECT_EQ(shown.at(0).at(0).value<LogLevel>(), Tavik::LOG_WARNING);
    EXPECT_EQ(shown.at(0).at(1).toString(), "warning\n");
    EXPECT_EQ(shown.at(1).at(0).value<LogLevel>(), Tavik::LOG_CRITICAL);
    EXPECT_EQ(shown.at(1).at(1).toString(), "critical\n"); // no second line break
}

TEST_F(LoggerTest, DefaultLevelIsSharedAndClamped)
{
    Logger a;
    Logger b;
    QSignalSpy sets(LoggerCore::instance(), &LoggerCore::defaultLogLevelSet);
    EXPECT_EQ(a.getDefaultLogLevel(), Tavik::LOG_INFO);
    a.setDefaultLogLevel(4);
    EXPECT_EQ(b.getDefaultLogLevel(), 4);
    a.setDefaultLogLevel(0);
    EXPECT_EQ(b.getDefaultLogLevel(), 0);
    a.setDefaultLogLevel(9);
    EXPECT_EQ(b.getDefaultLogLevel(), 4);
    a.setDefaultLogLevel(-3);
    EXPECT_EQ(b.getDefaultLogLevel(), 0);
    // Each call is told, with the level taken.
    ASSERT_EQ(sets.count(), 4);
    EXPECT_EQ(sets.at(2).at(0).toInt(), 4);
    EXPECT_EQ(sets.at(3).at(0).toInt(), 0);

    // Critical passes even the strictest level; every instance relays it.
    QSignalSpy spyA(&a, &Logger::outputAvailable);
    QSignalSpy spyB(&b, &Logger::outputAvailable);
    Logger::writeLog(Tavik::LOG_ERROR, "hidden");
    Logger::writeLog(Tavik::LOG_CRITICAL, "shown");
    EXPECT_EQ(spyA.count(), 1);
    EXPECT_EQ(spyB.count(), 1);
}

TEST_F(LoggerTest, MessagesFromOtherThreadsArriveQueuedOnTheLoggersThread)
{
    Logger logger;
    logger.setDefaultLogLevel(Tavik::LOG_DEBUG);
    std::atomic<int> received{0};
    std::atomic<bool> wrongThread{false};
    QStringList texts;
    QThread* uiThread = QThread::currentThread();
    QObject::connect(&logger, &Logger::outputAvailable, [&](LogLevel level, const QString& text) {
        if (QThread::currentThread() != uiThread)
            wrongThread = true;
        EXPECT_EQ(level, Tavik::LOG_INFO);
        texts << text;
        ++received;
    });

    constexpr int threads = 4;
    constexpr int perThread = 50;
    writeFromThreads(threads, perThread, Tavik::LOG_INFO, QStringLiteral("t%1 m%2"));

    // Nothing arrives before the event loop runs: delivery is queued.
    EXPECT_EQ(received.load(), 0);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return received.load() == threads * perThread; }));
    EXPECT_FALSE(wrongThread.load());
    // Each writer's messages keep their order.
    for (int t = 0; t < threads; ++t) {
        int next = 0;
        for (const QString& text : texts) {
            if (text.startsWith(QStringLiteral("t%1 ").arg(t))) {
                EXPECT_EQ(text, QStringLiteral("t%1 m%2\n").arg(t).arg(next));
                ++next;
            }
        }
        EXPECT_EQ(next, perThread);
    }
}

TEST_F(LoggerTest, AppendsShownLinesToTheLogFileUntilStopped)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("viewer.log");
    {
        QFile existing(path);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("earlier line\n");
    }

    Logger logger;
    logger.setLogFileName(path);
    EXPECT_EQ(logger.getLogFileName(), path);
    Logger::writeLog(Tavik::LOG_ERROR, "Failed to disconnect depth camera");
    Logger::writeLog(Tavik::LOG_DEBUG, "filtered out");
    Logger::writeLog(Tavik::LOG_INFO, "succeed  to disconnect depth camera");
    logger.stop();
    Logger::writeLog(Tavik::LOG_INFO, "after stop");

    QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_TRUE(lines[1].endsWith("[Error] Failed to disconnect depth camera")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith("[Information] succeed  to disconnect depth camera")) << lines[2].toStdString();

    // A name set again after stop() opens the file once more, appending.
    logger.setLogFileName(path);
    Logger::writeLog(Tavik::LOG_WARNING, "again");
    lines = fileLines(path);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[3].endsWith("[Warning] again"));
}

TEST_F(LoggerTest, EmptyOrUnwritableFileNameOnlyTurnsTheFileOff)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Logger logger;
    QSignalSpy shown(&logger, &Logger::outputAvailable);

    logger.setLogFileName(dir.filePath("missing-folder/viewer.log"));
    Logger::writeLog(Tavik::LOG_ERROR, "still shown");
    EXPECT_EQ(shown.count(), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("missing-folder/viewer.log")));

    const QString path = dir.filePath("viewer.log");
    logger.setLogFileName(path);
    Logger::writeLog(Tavik::LOG_ERROR, "to file");
    logger.setLogFileName(QString());
    EXPECT_EQ(logger.getLogFileName(), QString());
    Logger::writeLog(Tavik::LOG_ERROR, "not to file");
    EXPECT_EQ(shown.count(), 3);
    EXPECT_EQ(fileLines(path).size(), 1);
}

TEST_F(LoggerTest, AFileOpenedAtOnceOrRefusedWithItsReasonKeepingTheOneBefore)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Logger logger;
    const QString path = dir.filePath("viewer.log");
    QString reason;
    ASSERT_TRUE(logger.openLogFile(path, &reason));
    EXPECT_TRUE(QFile::exists(path)); // before any line
    // A FIFO, read from so that opening it would not wait: no plain file.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const auto& [name, why] : {std::pair{dir.filePath("missing-folder/viewer.log"), "No such file or directory"},
                                    {QString(), "no file name given"},
                                    {fifo, "not a regular file"},
                                    {dir.path(), "a folder, not a file"}}) {
        EXPECT_FALSE(logger.openLogFile(name, &reason)) << name.toStdString();
        EXPECT_EQ(reason, why);
        EXPECT_EQ(logger.getLogFileName(), path);
    }
    ::close(reader);
    Logger::writeLog(Tavik::LOG_ERROR, "still to the file");
    const QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith("still to the file"));
}

TEST_F(LoggerTest, ConcurrentWritersKeepFileLinesWhole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("busy.log");
    Logger logger;
    logger.setLogFileName(path);

    constexpr int threads = 6;
    constexpr int perThread = 100;
    writeFromThreads(threads, perThread, Tavik::LOG_WARNING, QStringLiteral("writer %1 line %2"));
    logger.stop();

    const QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), threads * perThread);
    QRegularExpression whole(QStringLiteral("^\\S+ \\S+ \\[Warning\\] writer \\d line \\d+$"));
    for (const QString& line : lines)
        EXPECT_TRUE(whole.match(line).hasMatch()) << line.toStdString();
}

} // namespace
