#pragma once
// Dock "Logs": the logger's messages, each in its level's colours, with the
// logger's default level and log file chosen by the user. The level and the
// file live in the logger; the dock keeps no setting of its own.

#include "platform/log/Logger.h"
#include "Tavik/Common.h"

#include <QColor>
#include <QDockWidget>
#include <QHash>
#include <QString>

#include <deque>
#include <utility>

class QComboBox;
class QLineEdit;
class QTextBrowser;

namespace Kelvra {

class MessageLogDock : public QDockWidget {
    Q_OBJECT
public:
    // Lines the log keeps, so that no flood of messages can stall the window.
    static constexpr int MAX_LINES = 10000;

    // (background, text) per level.
    using LevelColors = std::pair<QColor, QColor>;
    static const QHash<int, LevelColors> colors;

    // `window` is the main window, whose style gives the browse icon; a host
    // window's status bar also tells a log file that cannot be opened.
    explicit MessageLogDock(QWidget* window);

    // At shutdown: stops the logger.
    void stop();

    Logger* logger;
    QComboBox* logLevels;
    QLineEdit* fileName;
    QTextBrowser* logBox;

public slots:
    void browseFile();
    // Opens the field's file for the log; one that cannot be opened is said,
    // with the reason, in the log and the status bar, and the file before stays.
    // An empty field ends file logging, as the log says.
    void setLogFile();
    void setLogLevel(int index);
    // Queues the message; the queued messages are appended together at the
    // end of the event-loop turn, a few milliseconds' worth per turn. The log
    // keeps its last MAX_LINES lines: older ones go, queued ones included.
    void updateLog(Tavik::LogLevel logLevel, const QString& text);

private:
    struct Message {
        Tavik::LogLevel level;
        QString text;
        int breaks; // line breaks in `text`
    };

    // What one turn of the event loop appends at most: laying the new lines
    // out after the insertion costs about as much again.
    static constexpr int APPEND_LIMIT = 256;
    static constexpr int APPEND_BUDGET_MS = 5;

    void scheduleAppend();
    void appendPending();

    QWidget* mainWindow;
    std::deque<Message> pending;
    long long pendingBreaks = 0;
    bool appendScheduled = false;
};

} // namespace Kelvra
