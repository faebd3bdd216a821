#pragma once
// Dock "ExtensionCommand": nine rows that call the camera's trigger functions
// triggerFunction1 .. triggerFunction9 with two text arguments each. Captions
// come from "FunctionName.txt" in the current folder. Every "Send" runs one
// worker thread; its outcome comes back as a queued signal and is shown in a
// message box.

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
class QScrollArea;
class QVBoxLayout;

namespace Kelvra {

class StreamHub;

// The resource folder of a packaged application (there is none here), else
// the current folder, joined with `relative_path`.
QString resource_path(const QString& relative_path);

class TriggerPanelDock : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int FUNCTION_COUNT = 9;

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

    // Every line of the names file, stripped.
    QStringList functionName;
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
    // Joins a worker that has finished and forgets it.
    void releaseWorker(std::uint64_t id);

    DataEngine* dataEngine;
    StreamHub* streamHub = nullptr;
    std::map<std::uint64_t, std::thread> workers;
    std::uint64_t nextWorkerId = 0;
};

} // namespace Kelvra
