#include "Kelvra/docks/TriggerPanelDock.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/models/StreamHub.h"
#include "platform/log/Logger.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/PlainFile.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTextStream>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

#include <fcntl.h>
#include <unistd.h>

namespace Kelvra {

namespace {

const QString NAMES_FILE = QStringLiteral("FunctionName.txt");

const QString METHOD_PREFIX = QStringLiteral("triggerFunction");

QString methodName(int row)
{
    return METHOD_PREFIX + QString::number(row);
}

} // namespace

QString resource_path(const QString& relative_path)
{
    return QDir(QDir::currentPath()).filePath(relative_path);
}

bool readNameLines(QIODevice& file, QStringList& names, QStringList& cut)
{
    // One byte past the bound tells whether the file holds more.
    QByteArray bytes(static_cast<int>(TriggerPanelDock::MAX_NAMES_FILE_BYTES + 1), Qt::Uninitialized);
    qint64 got = 0;
    bool ok = true;
    while (got < bytes.size()) {
        const qint64 n = file.read(bytes.data() + got, bytes.size() - got);
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        got += n;
    }
    bytes.truncate(static_cast<int>(std::min(got, TriggerPanelDock::MAX_NAMES_FILE_BYTES)));
    if (got > TriggerPanelDock::MAX_NAMES_FILE_BYTES)
        cut << QStringLiteral("%1: only its first %2 bytes read")
                   .arg(NAMES_FILE)
                   .arg(TriggerPanelDock::MAX_NAMES_FILE_BYTES);
    QTextStream in(bytes);
    QList<int> longLines;
    while (!in.atEnd()) {
        QString line = in.readLine().trimmed();
        if (line.size() > TriggerPanelDock::MAX_NAME_LENGTH) {
            longLines << names.size() + 1;
            line = line.left(TriggerPanelDock::MAX_NAME_LENGTH).trimmed();
        }
        names.append(line);
    }
    if (longLines.size() == 1)
        cut << QStringLiteral("%1: line %2 cut to %3 characters")
                   .arg(NAMES_FILE)
                   .arg(longLines.front())
                   .arg(TriggerPanelDock::MAX_NAME_LENGTH);
    else if (longLines.size() > 1)
        cut << QStringLiteral("%1: %2 lines cut to %3 characters, the first line %4")
                   .arg(NAMES_FILE)
                   .arg(longLines.size())
                   .arg(TriggerPanelDock::MAX_NAME_LENGTH)
                   .arg(longLines.front());
    return ok;
}

TriggerPanelDock::TriggerPanelDock(DataEngine* dataEngine)
    : QDockWidget("ExtensionCommand")
    , dataEngine(dataEngine)
{
    setMinimumWidth(450);
    setMinimumHeight(450);
    scroller = new QScrollArea;
    layout = new QVBoxLayout;

    readFunctionNames();

    glayout = new QGridLayout;
    glayout->addWidget(new QLabel("Arg1"), 0, 1, Qt::AlignCenter);
    glayout->addWidget(new QLabel("Arg2"), 0, 2, Qt::AlignCenter);
    for (int x = 1; x <= FUNCTION_COUNT; ++x) {
        auto* first = new QLineEdit;
        auto* second = new QLineEdit;
        arg_list.append({QStringLiteral("1"), QStringLiteral("99")});
        first->setText(QStringLiteral("1"));
        second->setText(QStringLiteral("99"));
        connect(first, &QLineEdit::textChanged, this,
                [this, x](const QString& text) { argEditFinished(x - 1, 0, text); });
        connect(second, &QLineEdit::textChanged, this,
                [this, x](const QString& text) { argEditFinished(x - 1, 1, text); });
        // Whatever the file holds is shown as it stands, never as markup.
        auto* label = new QLabel(rowCaption(x));
        label->setTextFormat(Qt::PlainText);
        glayout->addWidget(label, x, 0);
        glayout->addWidget(first, x, 1);
        glayout->addWidget(second, x, 2);
        auto* send = new QPushButton("Send");
        connect(send, &QPushButton::clicked, this, [this, x] { sendTriggerFunctions(x); });
        glayout->addWidget(send, x, 3);
    }
    layout->addLayout(glayout);
    layout->addStretch();
    scroller->setLayout(layout);
    setWidget(scroller);

    connect(this, &TriggerPanelDock::triggerFunctionSignal, this, &TriggerPanelDock::handleBatchOprateRegister);
}

TriggerPanelDock::~TriggerPanelDock()
{
    // No worker may outlive the panel it reports to; their outcomes posted
    // meanwhile are dropped with the panel.
    for (auto& entry : workers)
        if (entry.second.joinable())
            entry.second.join();
}

void TriggerPanelDock::readFunctionNames()
{
    diag::printLine("FunctionName.txt path " + resource_path(NAMES_FILE));
    QFile file(NAMES_FILE);
    // Opened for writing too, as the file must be writable; nothing is written.
    // A file marked read-only counts as unopenable, whoever runs the viewer.
    // So does anything but a plain file: a FIFO or a device could block the
    // open or the reads for ever.
    const Tavik::PlainFile plain = Tavik::openPlainFile(NAMES_FILE.toStdString(), O_RDWR);
    bool ok = plain.fd >= 0 && file.open(plain.fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)
        && (file.permissions() & QFileDevice::WriteOwner);
    if (plain.fd >= 0 && !file.isOpen())
        ::close(plain.fd);
    if (ok)
        ok = readNameLines(file, functionName, namesFileCut);
    for (const QString& note : namesFileCut)
        diag::printLine(note.toStdString());
    if (!ok)
        diag::printLine("Can't open FunctionName.txt");
}

QString TriggerPanelDock::rowCaption(int row) const
{
    return row >= 1 && row <= functionName.size() ? functionName.at(row - 1)
                                                  : QStringLiteral("Trigger Funcion") + QString::number(row);
}

void TriggerPanelDock::setStreamHub(StreamHub* hub)
{
    streamHub = hub;
}

void TriggerPanelDock::argEditFinished(int triggerInddex, int argIndex, const QString& value)
{
    if (triggerInddex < 0 || triggerInddex >= arg_list.size())
        return;
    QPair<QString, QString>& args = arg_list[triggerInddex];
    (argIndex == 0 ? args.first : args.second) = value;
}

void TriggerPanelDock::sendTriggerFunctions(int triggerInddex)
{
    if (!streamHub || triggerInddex < 1 || triggerInddex > arg_list.size())
        return;
    if (!streamHub->getDepthCamera()) {
        QMessageBox::information(this, "No DepthCamera", "No running camera to perform funcion.");
        return;
    }
    const QPair<QString, QString> args = arg_list.at(triggerInddex - 1);
    const QString name = methodName(triggerInddex);
    diag::printLine("trigger funtion thread start:");
    const std::uint64_t id = nextWorkerId++;
    try {
        workers.emplace(id, std::thread([this, id, name, args] {
                            triggerFunction(name, args.first, args.second);
                            // Released on the user-interface thread; dropped if the panel goes first.
                            QMetaObject::invokeMethod(
                                this, [this, id] { releaseWorker(id); }, Qt::QueuedConnection);
                        }));
    } catch (const std::exception& e) {
        diag::printLine(diag::tuple("trigger function thread not started", std::string(e.what())));
    }
}

void TriggerPanelDock::releaseWorker(std::uint64_t id)
{
    const auto it = workers.find(id);
    if (it == workers.end())
        return;
    if (it->second.joinable())
        it->second.join();
    workers.erase(it);
}

void TriggerPanelDock::triggerFunction(const QString& triggername, const QString& arg1, const QString& arg2)
{
    std::string why;
    try {
        // Held for the whole call, whatever the controller does meanwhile.
        const Tavik::DepthCameraPtr camera = streamHub ? streamHub->getDepthCamera() : nullptr;
        diag::printLine(QStringLiteral("trigger function d.%1('%2','%3')").arg(triggername, arg1, arg2));
        const Tavik::TriggerResult result = camera
            ? camera->callTrigger(triggername.toStdString(), arg1.toStdString(), arg2.toStdString(), &why)
            : Tavik::TriggerResult::Unsupported;
        switch (result) {
        case Tavik::TriggerResult::True:
            diag::printLine(QStringLiteral(" perform %1  ok ").arg(triggername));
            emit triggerFunctionSignal(triggername, DONE);
            break;
        case Tavik::TriggerResult::False:
            diag::printLine(QStringLiteral(" perform %1 fail ").arg(triggername));
            emit triggerFunctionSignal(triggername, FAILED);
            break;
        case Tavik::TriggerResult::Unsupported:
            diag::printLine(QStringLiteral("DepthCamera can't support this function : %1  ").arg(triggername));
            emit triggerFunctionSignal(triggername, UNSUPPORTED);
            break;
        case Tavik::TriggerResult::Error: // no outcome, no box
            logCallFailure(triggername, why.empty() ? "no reason given" : why.c_str());
            break;
        }
    } catch (const std::exception& e) {
        logCallFailure(triggername, e.what());
    } catch (...) {
        logCallFailure(triggername, "unknown failure");
    }
}

void TriggerPanelDock::logCallFailure(const QString& triggername, const char* why) const noexcept
{
    try {
        const int row = triggername.mid(METHOD_PREFIX.size()).toInt();
        Logger::writeLog(
            Tavik::LOG_ERROR,
            QStringLiteral("Trigger \"%1\" (%2) failed: %3").arg(rowCaption(row), triggername, QString::fromUtf8(why)));
    } catch (...) {
        // The panel stays usable.
    }
}

void TriggerPanelDock::handleBatchOprateRegister(const QString& op, int code)
{
    diag::printLine(QStringLiteral("handleBatchOprateRegister : %1 , %2 ").arg(op).arg(code));
    switch (code) {
    case UNSUPPORTED:
        QMessageBox::information(this, "Perform fail", QStringLiteral("This camera can't support %1.").arg(op));
        break;
    case FAILED: QMessageBox::information(this, "Perform fail", QStringLiteral("Fail on perform %1.").arg(op)); break;
    case DONE:
        QMessageBox::information(this, "Perform Successfully", QStringLiteral("Successfully perform  %1.").arg(op));
        break;
    default: break;
    }
}

} // namespace Kelvra
