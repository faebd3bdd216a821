#include "Kelvra/docks/MessageLogDock.h"

#include "Kelvra/common/Diagnostics.h"
#include "platform/base/HostWindow.h"
#include "platform/base/ScaleFactor.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/base/about.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextBrowser>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace Kelvra {

const QHash<int, MessageLogDock::LevelColors> MessageLogDock::colors = {
    {Tavik::LOG_CRITICAL, {QColor::fromRgbF(1.0, 0.5, 0.5), QColor::fromRgbF(1.0, 1.0, 1.0)}},
    {Tavik::LOG_ERROR, {QColor::fromRgbF(1.0, 1.0, 1.0), QColor::fromRgbF(0.87, 0.0, 0.0)}},
    {Tavik::LOG_WARNING, {QColor::fromRgbF(1.0, 1.0, 1.0), QColor::fromRgbF(0.87, 0.0, 0.0)}},
    {Tavik::LOG_INFO, {QColor::fromRgbF(1.0, 1.0, 1.0), QColor::fromRgbF(0.0, 0.0, 0.0)}},
    {Tavik::LOG_DEBUG, {QColor::fromRgbF(1.0, 1.0, 1.0), QColor::fromRgbF(0.0, 0.0, 0.0)}},
};

MessageLogDock::MessageLogDock(QWidget* window)
    : QDockWidget("Logs")
{
    setMinimumHeight(100);
    const double scaleX = get_program_scale_factor().first;
    const int width = static_cast<int>(std::lround(300 * scaleX));
    setMinimumWidth(width);
    setMaximumWidth(width);
    mainWindow = window;

    logger = new Logger(this);
    connect(logger, &Logger::outputAvailable, this, &MessageLogDock::updateLog);

    auto* content = new QWidget;
    auto* vlayout = new QVBoxLayout(content);

    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(new QLabel("Default Log Level:"));
    logLevels = new QComboBox;
    logLevels->addItems({"Critical", "Error", "Warning", "Information", "Debug"});
    logLevels->setCurrentIndex(logger->getDefaultLogLevel());
    // Connected only now: building the dock never writes the level back.
    connect(logLevels, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &MessageLogDock::setLogLevel);
    levelRow->addWidget(logLevels);
    levelRow->addStretch();
    vlayout->addLayout(levelRow);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel("Log file:"));
    fileName = new QLineEdit(logger->getLogFileName());
    connect(fileName, &QLineEdit::returnPressed, this, &MessageLogDock::setLogFile);
    fileRow->addWidget(fileName);
    auto* browseButton = new QPushButton;
    browseButton->setIcon((window ? window->style() : style())->standardIcon(QStyle::SP_DirOpenIcon));
    connect(browseButton, &QPushButton::clicked, this, &MessageLogDock::browseFile);
    fileRow->addWidget(browseButton);
    auto* applyButton = new QPushButton("Apply");
    connect(applyButton, &QPushButton::clicked, this, &MessageLogDock::setLogFile);
    fileRow->addWidget(applyButton);
    vlayout->addLayout(fileRow);

    logBox = new QTextBrowser;
    logBox->setReadOnly(true);
    // No undo history beside the log.
    logBox->setUndoRedoEnabled(false);
    logBox->setText(SOFTWARE_NAME + " v" + VERSION_NUMBER + "\n" + COMPANY_NAME + "\n\n");
    logBox->document()->setMaximumBlockCount(MAX_LINES);
    vlayout->addWidget(logBox);

    setWidget(content);
}

void MessageLogDock::stop()
{
    logger->stop();
}

void MessageLogDock::browseFile()
{
    const QString name = QFileDialog::getSaveFileName(this, "Save Log", QString(), "Log files (*.txt)");
    if (name.isEmpty())
        return;
    fileName->setText(name);
    setLogFile();
}

void MessageLogDock::setLogFile()
{
    const QString name = fileName->text();
    if (name.isEmpty()) {
        const QString was = logger->getLogFileName();
        // Said first, so that a file that ends says so too.
        Logger::writeLog(Tavik::LOG_INFO,
                         (was.isEmpty() ? QString() : QStringLiteral("The log file \"%1\" is closed. ").arg(was))
                             + QStringLiteral("No log file is written."));
        logger->setLogFileName(QString());
        return;
    }
    QString reason;
    if (logger->openLogFile(name, &reason))
        return;
    // The log file before stays.
    const QString kept = logger->getLogFileName();
    const QString text = QStringLiteral("Cannot open the log file \"%1\": %2. ").arg(name, reason)
        + (kept.isEmpty() ? QStringLiteral("No log file is written.")
                          : QStringLiteral("The log file stays \"%1\".").arg(kept));
    Logger::writeLog(Tavik::LOG_ERROR, text);
    if (auto* host = dynamic_cast<HostWindow*>(mainWindow); host && host->statusMessage())
        host->statusMessage()->showMessage(text);
}

void MessageLogDock::setLogLevel(int index)
{
    logger->setDefaultLogLevel(index);
}

void MessageLogDock::updateLog(Tavik::LogLevel logLevel, const QString& text)
{
    if (text.contains(QChar(u'\0'))) {
        diag::printLine("Output log message embedded null character");
        return;
    }
    // A burst of messages from another thread arrives as many queued calls in
    // one turn of the event loop; inserting them one by one would stall it.
    pending.push_back({logLevel, text, static_cast<int>(text.count(QLatin1Char('\n')))});
    pendingBreaks += pending.back().breaks;
    // A message followed by more lines than the log keeps would only go in to
    // be pushed out again.
    while (pendingBreaks - pending.front().breaks > MAX_LINES) {
        pendingBreaks -= pending.front().breaks;
        pending.pop_front();
    }
    scheduleAppend();
}

void MessageLogDock::scheduleAppend()
{
    if (appendScheduled)
        return;
    appendScheduled = true;
    // A zero timer fires after the queued calls of this turn.
    QTimer::singleShot(0, this, &MessageLogDock::appendPending);
}

void MessageLogDock::appendPending()
{
    appendScheduled = false;
    if (pending.empty())
        return;
    QElapsedTimer clock;
    clock.start();

    // At the end whatever the user clicked or selected; the selection goes.
    logBox->moveCursor(QTextCursor::End);
    QTextCursor cursor = logBox->textCursor();
    cursor.beginEditBlock();
    // Runs of one level go in with one insertion each, as many as one turn may take.
    int appended = 0;
    while (!pending.empty() && appended < APPEND_LIMIT && clock.elapsed() < APPEND_BUDGET_MS) {
        const Tavik::LogLevel level = pending.front().level;
        QString run;
        for (; appended < APPEND_LIMIT && !pending.empty() && pending.front().level == level; ++appended) {
            run += pending.front().text;
            pendingBreaks -= pending.front().breaks;
            pending.pop_front();
        }
        QTextCharFormat format;
        const auto it = colors.constFind(level);
        if (it != colors.constEnd()) {
            format.setBackground(it->first);
            format.setForeground(it->second);
        } else {
            // A level without colours looks like the banner.
            format.setForeground(logBox->palette().color(QPalette::Text));
        }
        cursor.insertText(run, format);
    }
    cursor.endEditBlock();
    logBox->setTextCursor(cursor);
    // The rest in the next turns, so that the user interface keeps answering.
    if (!pending.empty())
        scheduleAppend();
}

} // namespace Kelvra
