// The log panel through the host's logger: colours per level, the banner,
// appending at the end, the level combo and the log file.

#include "Kelvra/docks/MessageLogDock.h"
#include "platform/base/ScaleFactor.h"
#include "platform/base/about.h"
#include "tests/Kelvra/common/CaptureStream.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"
#include "tests/support/HostTestWindow.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include <thread>

using Kelvra::MessageLogDock;

namespace {

// One run of text with one format.
struct Piece {
    QString text;
    QBrush foreground;
    QBrush background;
    bool hasForeground;
};

QVector<Piece> pieces(const QTextDocument* doc)
{
    QVector<Piece> all;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat format = f.charFormat();
            all.append(
                {f.text(), format.foreground(), format.background(), format.hasProperty(QTextFormat::ForegroundBrush)});
        }
    return all;
}

// The piece that holds `text`.
Piece pieceOf(const QTextDocument* doc, const QString& text)
{
    for (const Piece& p : pieces(doc))
        if (p.text.contains(text))
            return p;
    ADD_FAILURE() << "no text " << text.toStdString();
    return {};
}

QString banner()
{
    return SOFTWARE_NAME + " v" + VERSION_NUMBER + "\n" + COMPANY_NAME + "\n\n";
}

// The logger's level and file are process-wide: every test starts from the same.
struct LogFixture : ::testing::Test {
    QMainWindow window;
    QTemporaryDir folder;

    void SetUp() override
    {
        set_program_scale_factor_override(std::make_pair(1.0, 1.0));
        reset();
    }
    void TearDown() override { reset(); }
    static void reset()
    {
        Logger logger;
        logger.setLogFileName(QString());
        logger.setDefaultLogLevel(LoggerCore::DEFAULT_LEVEL_INDEX);
    }
    static bool shows(MessageLogDock& dock, const QString& text)
    {
        return KelvraTest::waitFor([&] { return dock.logBox->toPlainText().contains(text); });
    }
    static QString fileText(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

} // namespace

TEST_F(LogFixture, BuildsWithBannerLoggerSettingsAndFixedWidth)
{
    Logger settings;
    settings.setDefaultLogLevel(Tavik::LOG_ERROR);
    settings.setLogFileName(folder.filePath("start.txt"));
    MessageLogDock dock(&window);
    EXPECT_EQ(dock.windowTitle(), "Logs");
    EXPECT_EQ(dock.minimumWidth(), 300);
    EXPECT_EQ(dock.maximumWidth(), 300);
    EXPECT_EQ(dock.minimumHeight(), 100);
    ASSERT_EQ(dock.logLevels->count(), 5);
    EXPECT_EQ(dock.logLevels->itemText(0), "Critical");
    EXPECT_EQ(dock.logLevels->itemText(3), "Information");
    EXPECT_EQ(dock.logLevels->itemText(4), "Debug");
    EXPECT_EQ(dock.logLevels->currentIndex(), 1);
    EXPECT_EQ(settings.getDefaultLogLevel(), Tavik::LOG_ERROR);
    EXPECT_EQ(dock.fileName->text(), folder.filePath("start.txt"));
    EXPECT_TRUE(dock.logBox->isReadOnly());
    EXPECT_EQ(dock.logBox->toPlainText(), banner());
    EXPECT_TRUE(dock.logBox->toPlainText().startsWith("Ornavu v2.3.0\nOrnavu Vision Systems\n"));
    const auto buttons = dock.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_TRUE(buttons.at(0)->text().isEmpty());
    EXPECT_FALSE(buttons.at(0)->icon().isNull());
    EXPECT_EQ(buttons.at(1)->text(), "Apply");

    set_program_scale_factor_override(std::make_pair(1.5, 2.0));
    MessageLogDock wide(&window);
    EXPECT_EQ(wide.minimumWidth(), 450);
    EXPECT_EQ(wide.maximumWidth(), 450);
}

TEST_F(LogFixture, EachLevelHasItsColoursAndWarningLooksLikeError)
{
    MessageLogDock dock(&window);
    dock.logLevels->setCurrentIndex(4); // Debug: every level shows
    Logger::writeLog(Tavik::LOG_CRITICAL, "crit");
    Logger::writeLog(Tavik::LOG_ERROR, "err");
    Logger::writeLog(Tavik::LOG_WARNING, "warn");
    Logger::writeLog(Tavik::LOG_INFO, "info");
    Logger::writeLog(Tavik::LOG_DEBUG, "debug");
    ASSERT_TRUE(shows(dock, "debug"));
    EXPECT_EQ(dock.logBox->toPlainText(), banner() + "crit\nerr\nwarn\ninfo\ndebug\n");

    const QTextDocument* doc = dock.logBox->document();
    const Piece crit = pieceOf(doc, "crit");
    EXPECT_EQ(crit.foreground.color(), QColor::fromRgbF(1.0, 1.0, 1.0));
    EXPECT_EQ(crit.background.color(), QColor::fromRgbF(1.0, 0.5, 0.5));
    const Piece err = pieceOf(doc, "err");
    EXPECT_EQ(err.foreground.color(), QColor::fromRgbF(0.87, 0.0, 0.0));
    EXPECT_EQ(err.background.color(), QColor::fromRgbF(1.0, 1.0, 1.0));
    const Piece warn = pieceOf(doc, "warn");
    EXPECT_EQ(warn.foreground, err.foreground);
    EXPECT_EQ(warn.background, err.background);
    for (const char* text : {"info", "debug"}) {
        const Piece p = pieceOf(doc, text);
        EXPECT_EQ(p.foreground.color(), QColor::fromRgbF(0.0, 0.0, 0.0));
        EXPECT_EQ(p.background.color(), QColor::fromRgbF(1.0, 1.0, 1.0));
    }
    // The banner keeps the view's own colours.
    const Piece top = pieceOf(doc, "Ornavu v");
    EXPECT_FALSE(top.hasForeground);
    EXPECT_EQ(top.background.style(), Qt::NoBrush);
}

TEST_F(LogFixture, AnUnknownLevelLooksLikeTheBanner)
{
    MessageLogDock dock(&window);
    dock.updateLog(static_cast<Tavik::LogLevel>(7), "odd\n");
    dock.updateLog(Tavik::LOG_CRITICAL, "after\n");
    ASSERT_TRUE(shows(dock, "after"));
    const Piece odd = pieceOf(dock.logBox->document(), "odd");
    EXPECT_EQ(odd.foreground.color(), dock.logBox->palette().color(QPalette::Text));
    EXPECT_EQ(odd.background.style(), Qt::NoBrush);
    EXPECT_EQ(pieceOf(dock.logBox->document(), "after").background.color(), QColor::fromRgbF(1.0, 0.5, 0.5));
}

TEST_F(LogFixture, MessagesGoAtTheEndAsTheyCameAndRunTogetherWithoutBreaks)
{
    MessageLogDock dock(&window);
    // The user selects part of the banner.
    QTextCursor selection = dock.logBox->textCursor();
    selection.setPosition(0);
    selection.setPosition(6, QTextCursor::KeepAnchor);
    dock.logBox->setTextCursor(selection);

    dock.updateLog(Tavik::LOG_INFO, "one");
    dock.updateLog(Tavik::LOG_ERROR, "two");
    ASSERT_TRUE(shows(dock, "onetwo"));
    EXPECT_TRUE(dock.logBox->toPlainText().endsWith("\n\nonetwo"));
    EXPECT_FALSE(dock.logBox->textCursor().hasSelection());
    EXPECT_TRUE(dock.logBox->toPlainText().startsWith("Ornavu v"));
    EXPECT_EQ(pieceOf(dock.logBox->document(), "two").foreground.color(), QColor::fromRgbF(0.87, 0.0, 0.0));
}

TEST_F(LogFixture, AMessageWithANulCharacterIsLeftOutAndSaidSo)
{
    KelvraTest::CaptureStream out;
    MessageLogDock dock(&window);
    dock.updateLog(Tavik::LOG_INFO, QString("bad") + QChar(u'\0') + "text\n");
    dock.updateLog(Tavik::LOG_INFO, "good\n");
    ASSERT_TRUE(shows(dock, "good"));
    EXPECT_FALSE(dock.logBox->toPlainText().contains("bad"));
    EXPECT_NE(out.text().find("Output log message embedded null character\n"), std::string::npos);
}

TEST_F(LogFixture, MessagesFromAWorkerThreadArriveWholeAndInOrder)
{
    MessageLogDock dock(&window);
    QString expected = dock.logBox->toPlainText();
    for (int i = 0; i < 2000; ++i)
        expected += QString("message %1\n").arg(i);
    std::thread writer([] {
        for (int i = 0; i < 2000; ++i)
            Logger::writeLog(i % 3 ? Tavik::LOG_INFO : Tavik::LOG_WARNING, QString("message %1").arg(i));
    });
    writer.join();
    ASSERT_TRUE(shows(dock, "message 1999"));
    EXPECT_EQ(dock.logBox->toPlainText(), expected);
    EXPECT_EQ(pieceOf(dock.logBox->document(), "message 3").foreground.color(), QColor::fromRgbF(0.87, 0.0, 0.0));
}

TEST_F(LogFixture, TheLevelComboSetsTheLoggersLevel)
{
    MessageLogDock dock(&window);
    EXPECT_EQ(dock.logLevels->currentIndex(), LoggerCore::DEFAULT_LEVEL_INDEX);
    dock.logLevels->setCurrentIndex(0);
    EXPECT_EQ(dock.logger->getDefaultLogLevel(), Tavik::LOG_CRITICAL);
    Logger::writeLog(Tavik::LOG_ERROR, "hidden");
    Logger::writeLog(Tavik::LOG_CRITICAL, "shown");
    ASSERT_TRUE(shows(dock, "shown"));
    EXPECT_FALSE(dock.logBox->toPlainText().contains("hidden"));
    dock.logLevels->setCurrentIndex(2);
    EXPECT_EQ(Logger().getDefaultLogLevel(), Tavik::LOG_WARNING);
}

TEST_F(LogFixture, BuildingTheDockNeverWritesTheLevelBack)
{
    Logger settings;
    settings.setDefaultLogLevel(Tavik::LOG_ERROR); // not the first entry: showing it moves the combo
    QSignalSpy sets(LoggerCore::instance(), &LoggerCore::defaultLogLevelSet);
    MessageLogDock dock(&window);
    EXPECT_EQ(dock.logLevels->currentIndex(), Tavik::LOG_ERROR);
    EXPECT_EQ(sets.count(), 0);
    dock.logLevels->setCurrentIndex(Tavik::LOG_DEBUG);
    ASSERT_EQ(sets.count(), 1);
    EXPECT_EQ(sets.at(0).at(0).toInt(), Tavik::LOG_DEBUG);
}

TEST_F(LogFixture, TheFileFieldAndApplyPassTheNameEveryTime)
{
    MessageLogDock dock(&window);
    const QString path = folder.filePath("typed.txt");
    dock.fileName->setText(path);
    EXPECT_EQ(dock.logger->getLogFileName(), QString()); // not before Return or Apply
    QTest::keyClick(dock.fileName, Qt::Key_Return);
    EXPECT_EQ(dock.logger->getLogFileName(), path);
    Logger::writeLog(Tavik::LOG_INFO, "to the file");
    EXPECT_TRUE(fileText(path).contains("to the file"));

    // Apply passes the same name again.
    dock.findChildren<QPushButton*>().at(1)->click();
    EXPECT_EQ(dock.logger->getLogFileName(), path);

    // stop() closes the file; the panel still shows what comes.
    dock.stop();
    Logger::writeLog(Tavik::LOG_INFO, "after stop");
    ASSERT_TRUE(shows(dock, "after stop"));
    EXPECT_FALSE(fileText(path).contains("after stop"));
}

TEST_F(LogFixture, AFileThatCannotBeOpenedIsSaidWithItsReasonAndTheOneBeforeStays)
{
    KelvraTest::HostTestWindow host;
    MessageLogDock dock(&host);
    const auto apply = [&](const QString& name) {
        dock.fileName->setText(name);
        dock.findChildren<QPushButton*>().at(1)->click();
        return host.bar->currentMessage();
    };
    const QString missing = folder.filePath("missing/log.txt");
    const QString none =
        "Cannot open the log file \"" + missing + "\": No such file or directory. No log file is written.";
    EXPECT_EQ(apply(missing), none);
    EXPECT_TRUE(shows(dock, none));
    EXPECT_EQ(dock.logger->getLogFileName(), QString());

    const QString path = folder.filePath("kept.txt");
    apply(path);
    const QString kept =
        "Cannot open the log file \"" + missing + "\": No such file or directory. The log file stays \"" + path + "\".";
    EXPECT_EQ(apply(missing), kept);
    EXPECT_TRUE(shows(dock, kept));
    EXPECT_EQ(dock.logger->getLogFileName(), path);
    EXPECT_TRUE(fileText(path).contains(kept)); // logged to the file that stays
}

TEST_F(LogFixture, AnEmptyNameEndsFileLoggingAndSaysSo)
{
    MessageLogDock dock(&window);
    const QString path = folder.filePath("ended.txt");
    dock.fileName->setText(path);
    QTest::keyClick(dock.fileName, Qt::Key_Return);
    Logger::writeLog(Tavik::LOG_INFO, "before the end");

    dock.fileName->clear();
    QTest::keyClick(dock.fileName, Qt::Key_Return);
    const QString ended = "The log file \"" + path + "\" is closed. No log file is written.";
    EXPECT_TRUE(shows(dock, ended));
    EXPECT_EQ(dock.logger->getLogFileName(), QString());
    Logger::writeLog(Tavik::LOG_INFO, "after the end");
    ASSERT_TRUE(shows(dock, "after the end"));
    const QString written = fileText(path);
    EXPECT_TRUE(written.contains("before the end"));
    EXPECT_TRUE(written.contains(ended)); // the file's last word
    EXPECT_FALSE(written.contains("after the end"));

    // Without a file, Apply on an empty field says it too.
    dock.findChildren<QPushButton*>().at(1)->click();
    EXPECT_TRUE(shows(dock, "after the end\nNo log file is written.\n"));
    EXPECT_EQ(dock.logger->getLogFileName(), QString());
}

TEST_F(LogFixture, AFloodKeepsTheNewestLinesAndTheOldestGoFirst)
{
    MessageLogDock dock(&window);
    const QString flooded = "frame set skipped\n"; // one text, shared by every call
    dock.updateLog(Tavik::LOG_WARNING, "first\n");
    for (int i = 0; i < 10'000'000; ++i)
        dock.updateLog(Tavik::LOG_WARNING, flooded);
    for (int i = 0; i < 5; ++i)
        dock.updateLog(Tavik::LOG_CRITICAL, QString("last %1\n").arg(i));
    // Appended in as many event-loop turns as the lines kept take, whatever
    // the flood: not one per few hundred messages of it.
    int turns = 0;
    while (!dock.logBox->toPlainText().endsWith("last 4\n") && turns < MessageLogDock::MAX_LINES) {
        QCoreApplication::processEvents();
        ++turns;
    }
    ASSERT_LT(turns, MessageLogDock::MAX_LINES);
    const QTextDocument* doc = dock.logBox->document();
    EXPECT_EQ(doc->blockCount(), MessageLogDock::MAX_LINES);
    const QString text = dock.logBox->toPlainText();
    EXPECT_TRUE(text.startsWith(flooded)); // the banner and the first line are gone
    EXPECT_FALSE(text.contains("first"));
    EXPECT_TRUE(text.endsWith(flooded + "last 0\nlast 1\nlast 2\nlast 3\nlast 4\n"));
    EXPECT_EQ(pieceOf(doc, "last 4").background.color(), QColor::fromRgbF(1.0, 0.5, 0.5));

    // Later messages still push the oldest out.
    dock.updateLog(Tavik::LOG_INFO, "later\n");
    ASSERT_TRUE(shows(dock, "last 4\nlater\n"));
    EXPECT_EQ(doc->blockCount(), MessageLogDock::MAX_LINES);
}

TEST_F(LogFixture, BrowsingSetsTheFieldAndTheLoggerAtOnceAndCancelChangesNothing)
{
    MessageLogDock dock(&window);
    const QString chosen = folder.filePath("chosen.txt");
    QString caption;
    KelvraTest::onModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_TRUE(dialog);
        caption = dialog->windowTitle();
        dialog->selectFile(chosen);
        static_cast<QDialog*>(dialog)->accept();
    });
    dock.findChildren<QPushButton*>().at(0)->click();
    EXPECT_EQ(caption, "Save Log");
    EXPECT_EQ(dock.fileName->text(), chosen);
    EXPECT_EQ(dock.logger->getLogFileName(), chosen);

    KelvraTest::onModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    dock.browseFile();
    EXPECT_EQ(dock.fileName->text(), chosen);
    EXPECT_EQ(dock.logger->getLogFileName(), chosen);
}
