#pragma once
// Dock "ExtensionCommand": nine rows that call the camera's trigger functions
// triggerFunction1 .. triggerFunction9 with two text arguments each. Captions
// come from "FunctionName.txt" in the current folder. Every "Send" runs one
// worker thread; its outcome comes back as a queued signal and is shown in a
// message box. A call that fails in another way is told in the log.

#include <QDockWidget>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <map>
#include <thread>

class DataEngine;
class QGridLayout;
class QIODevice;
class QScrollArea;
class QVBoxLayout;

namespace Kelvra {

class StreamHub;

// The resource folder of a packaged application (there is none here), else
// the current folder, joined with `relative_path`.
QString resource_path(const QString& relative_path);

// Appends the lines of a names file to `names`, each stripped, reading no
// more than TriggerPanelDock::MAX_NAMES_FILE_BYTES of `file` and keeping no
// more than MAX_NAME_LENGTH characters of a line; `cut` gets one line for
// each of these bounds that cut something. False on a read error (the lines
// read before it are kept).
bool readNameLines(QIODevice& file, QStringList& names, QStringList& cut);

class TriggerPanelDock : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int FUNCTION_COUNT = 9;
    // What a names file of nine captions can sensibly hold: more is not
    // read, so that a hostile file cannot hold up the start.
    static constexpr qint64 MAX_NAMES_FILE_BYTES = 64 * 1024;
    static constexpr int MAX_NAME_LENGTH = 64;

    // Outcome codes of triggerFunctionSignal.
    enum Code { DONE = 0, FAILED = 1, UNSUPPORTED = 2 };

    explicit TriggerPanelDock(DataEngine* dataEngine);
    // Waits for the workers still running.
    ~TriggerPanelDock() override;

    // Called once, before the first "Send".
    void setStreamHub(StreamHub* streamHub);
    StreamHub* getStreamHub() const { return streamHub; }

    // The body of a worker thread: one camera call, then its outcome.
    void triggerFunction(const QString& triggername, const QString& arg1, const QString& arg2);

    // Workers started and not yet released.
    int runningWorkers() const { return static_cast<int>(workers.size()); }

    // Every line of the names file, stripped (within the bounds above).
    QStringList functionName;
    // What those bounds cut from the names file, one line each, for the log.
    QStringList namesFileCut;
    // First and second argument of each row, as the fields hold them.
    QVector<QPair<QString, QString>> arg_list;
    QScrollArea* scroller;
    QVBoxLayout* layout;
    // Row 0: "Arg1", "Arg2"; rows 1..9: caption, two fields, "Send".
    QGridLayout* glayout;

public slots:
    void argEditFinished(int triggerInddex, int argIndex, const QString& value);
    // The row number, 1 to 9.
    void sendTriggerFunctions(int triggerInddex);
    void handleBatchOprateRegister(const QString& op, int code);

signals:
    void triggerFunctionSignal(const QString& name, int code);

private:
    void readFunctionNames();
    // The caption of a row, 1 to 9: its line of the names file, else the default.
    QString rowCaption(int row) const;
    // A call that failed in a way no box tells goes to the log, with the
    // row's caption and the reason.
    void logCallFailure(const QString& triggername, const char* why) const noexcept;
    // Joins a worker that has finished and forgets it.
    void releaseWorker(std::uint64_t id);

    DataEngine* dataEngine;
    StreamHub* streamHub = nullptr;
    std::map<std::uint64_t, std::thread> workers;
    std::uint64_t nextWorkerId = 0;
};

} // namespace Kelvra
