// The trigger panel against the simulated cameras: the Quenta14 model lacks
// triggerFunction7, its triggerFunction8 is slow, arguments that are not
// decimal numbers give false and triggerFunction9 with "fault" fails outright.

#include "Kelvra/docks/TriggerPanelDock.h"
#include "Kelvra/models/StreamHub.h"
#include "platform/log/Logger.h"
#include "Tavik/Tavik.h"
#include "tests/Kelvra/common/CaptureStream.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using Kelvra::TriggerPanelDock;

namespace {

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Runs in a folder of its own, where the test writes the names file.
struct TriggerFixture : ::testing::Test {
    QTemporaryDir folder;
    QString oldFolder = QDir::currentPath();
    Tavik::CameraSystem system;
    Tavik::DepthCameraPtr camera; // Quenta14
    std::unique_ptr<Kelvra::StreamHub> hub;
    KelvraTest::CaptureStream out;

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        QDir::setCurrent(folder.path());
        camera = system.connect(system.scan().at(0));
        ASSERT_TRUE(camera);
        ASSERT_EQ(camera->cameraType(), "Quenta14Camera");
        hub = std::make_unique<Kelvra::StreamHub>(&system, camera);
    }
    void TearDown() override { QDir::setCurrent(oldFolder); }

    void writeNames(const QByteArray& content)
    {
        QFile file("FunctionName.txt");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    static QString caption(TriggerPanelDock& panel, int row)
    {
        return qobject_cast<QLabel*>(panel.glayout->itemAtPosition(row, 0)->widget())->text();
    }
    static QLineEdit* field(TriggerPanelDock& panel, int row, int col)
    {
        return qobject_cast<QLineEdit*>(panel.glayout->itemAtPosition(row, col)->widget());
    }
    static QPushButton* send(TriggerPanelDock& panel, int row)
    {
        return qobject_cast<QPushButton*>(panel.glayout->itemAtPosition(row, 3)->widget());
    }
    static void press(TriggerPanelDock& panel, int row) { QTest::mouseClick(send(panel, row), Qt::LeftButton); }
    // A panel on the controller, its slow function taking `delayMs`.
    std::unique_ptr<TriggerPanelDock> slowPanel(int delayMs)
    {
        system.simulation().setTriggerDelay(camera, 8, delayMs);
        auto panel = std::make_unique<TriggerPanelDock>(nullptr);
        panel->setStreamHub(hub.get());
        return panel;
    }
};

// Notes every message box as "title|text" and closes it.
struct BoxLog {
    QStringList boxes;
    KelvraTest::ModalWatch watch{[this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box)
            return;
        boxes << box->windowTitle() + "|" + box->text();
        box->button(QMessageBox::Ok)->click();
    }};
    bool waitForBoxes(int n)
    {
        return KelvraTest::waitFor([&] { return boxes.size() >= n && !QApplication::activeModalWidget(); });
    }
};

} // namespace

TEST_F(TriggerFixture, WithoutNamesFileEveryRowHasItsDefaultCaptionAndArguments)
{
    TriggerPanelDock panel(nullptr);
    EXPECT_EQ(panel.windowTitle(), "ExtensionCommand");
    EXPECT_EQ(panel.minimumSize(), QSize(450, 450));
    EXPECT_EQ(qobject_cast<QLabel*>(panel.glayout->itemAtPosition(0, 1)->widget())->text(), "Arg1");
    EXPECT_EQ(qobject_cast<QLabel*>(panel.glayout->itemAtPosition(0, 2)->widget())->text(), "Arg2");
    EXPECT_EQ(panel.glayout->itemAtPosition(0, 1)->alignment(), Qt::AlignCenter);
    EXPECT_FALSE(panel.glayout->itemAtPosition(0, 0));
    EXPECT_FALSE(panel.glayout->itemAtPosition(0, 3));
    for (int row = 1; row <= 9; ++row) {
        EXPECT_EQ(caption(panel, row), "Trigger Funcion" + QString::number(row));
        EXPECT_EQ(field(panel, row, 1)->text(), "1");
        EXPECT_EQ(field(panel, row, 2)->text(), "99");
        EXPECT_EQ(send(panel, row)->text(), "Send");
    }
    EXPECT_EQ(panel.glayout->rowCount(), 10);
    EXPECT_TRUE(panel.functionName.isEmpty());
    EXPECT_EQ(panel.arg_list.size(), 9);
    EXPECT_EQ(panel.arg_list.at(8), qMakePair(QString("1"), QString("99")));
    const std::string printed = out.text();
    EXPECT_NE(printed.find("FunctionName.txt path " + QDir(folder.path()).filePath("FunctionName.txt").toStdString()),
              std::string::npos);
    EXPECT_NE(printed.find("Can't open FunctionName.txt"), std::string::npos);
    EXPECT_EQ(Kelvra::resource_path("x.txt"), QDir::current().filePath("x.txt"));
}

TEST_F(TriggerFixture, CaptionsComeFromTheNamesFileStrippedAndAtMostNine)
{
    writeNames("  Read Register \t\nWrite Register\r\n\t\nReset\n");
    {
        TriggerPanelDock panel(nullptr);
        EXPECT_EQ(caption(panel, 1), "Read Register");
        EXPECT_EQ(caption(panel, 2), "Write Register");
        EXPECT_EQ(caption(panel, 3), ""); // a blank line
        EXPECT_EQ(caption(panel, 4), "Reset");
        EXPECT_EQ(caption(panel, 5), "Trigger Funcion5");
        EXPECT_EQ(caption(panel, 9), "Trigger Funcion9");
        EXPECT_EQ(panel.functionName.size(), 4);
    }
    writeNames("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12");
    TriggerPanelDock panel(nullptr);
    EXPECT_EQ(panel.functionName.size(), 12);
    for (int row = 1; row <= 9; ++row)
        EXPECT_EQ(caption(panel, row), QString::number(row));
    EXPECT_EQ(out.text().find("Can't open"), std::string::npos);
}

TEST_F(TriggerFixture, CaptionsAreShownAsPlainText)
{
    // Markup in the names file stays text: no font of its own, no image
    // loaded from the folder.
    QImage image(300, 300, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save("r.png"));
    const QString big = "<font color=red size=7>BIG</font>", picture = "<img src=r.png>";
    writeNames((big + "\n" + picture + "\n").toUtf8());
    TriggerPanelDock panel(nullptr);
    for (int row : {1, 2}) {
        auto* label = qobject_cast<QLabel*>(panel.glayout->itemAtPosition(row, 0)->widget());
        EXPECT_EQ(label->text(), row == 1 ? big : picture);
        EXPECT_EQ(label->sizeHint().height(), panel.glayout->itemAtPosition(3, 0)->widget()->sizeHint().height())
            << row;
        EXPECT_GE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(label->text())) << row;
    }
}

TEST_F(TriggerFixture, AHostileNamesFileIsReadNoFurtherThanANamesFileGoes)
{
    const QString bytesCut = "FunctionName.txt: only its first 65536 bytes read";
    const QString lineCut = "FunctionName.txt: line 1 cut to 64 characters";
    // One line of 10 MB: its first characters, and both bounds told.
    writeNames(QByteArray(10 << 20, 'x'));
    {
        TriggerPanelDock panel(nullptr);
        EXPECT_EQ(caption(panel, 1), QString(TriggerPanelDock::MAX_NAME_LENGTH, 'x'));
        EXPECT_EQ(caption(panel, 2), "Trigger Funcion2");
        EXPECT_EQ(panel.functionName.size(), 1);
        EXPECT_EQ(panel.namesFileCut, QStringList({bytesCut, lineCut}));
        EXPECT_NE(out.text().find(bytesCut.toStdString()), std::string::npos); // on standard output too
        EXPECT_EQ(out.text().find("Can't open"), std::string::npos);
    }
    // 700 000 ordinary lines: the nine captions, as many lines as the bound holds.
    QByteArray many;
    for (int i = 1; i <= 700000; ++i)
        many += "Function " + QByteArray::number(i) + "\n";
    writeNames(many);
    {
        TriggerPanelDock panel(nullptr);
        for (int row = 1; row <= 9; ++row)
            EXPECT_EQ(caption(panel, row), "Function " + QString::number(row));
        const QByteArray read = many.left(TriggerPanelDock::MAX_NAMES_FILE_BYTES);
        EXPECT_EQ(panel.functionName.size(), read.count('\n') + (read.endsWith('\n') ? 0 : 1));
        EXPECT_EQ(panel.namesFileCut, QStringList({bytesCut}));
    }
    // Several long lines are told once, a line of the longest length is not
    // cut; a file just at the bound is whole.
    QByteArray lines = QByteArray(100, 'a') + "\nshort\n" + QByteArray(65, 'b') + "\n" + QByteArray(64, 'd') + "\n";
    writeNames(lines + QByteArray(TriggerPanelDock::MAX_NAMES_FILE_BYTES - lines.size(), 'c'));
    {
        TriggerPanelDock panel(nullptr);
        EXPECT_EQ(caption(panel, 2), "short");
        EXPECT_EQ(caption(panel, 3), QString(64, 'b'));
        EXPECT_EQ(caption(panel, 4), QString(64, 'd'));
        EXPECT_EQ(panel.namesFileCut,
                  QStringList({"FunctionName.txt: 3 lines cut to 64 characters, the first line 1"}));
    }
    writeNames("Read Register\n");
    EXPECT_TRUE(TriggerPanelDock(nullptr).namesFileCut.isEmpty());
}

TEST(TriggerNamesFile, AFileWithoutEndIsReadOnlyUpToTheBound)
{
    QFile zeros("/dev/zero");
    ASSERT_TRUE(zeros.open(QIODevice::ReadOnly));
    QStringList names, cut;
    // On a thread of its own, so that a read without end fails the test
    // rather than stalling it.
    auto reading = std::async(std::launch::async, [&] { return Kelvra::readNameLines(zeros, names, cut); });
    if (reading.wait_for(KelvraTest::budget(std::chrono::minutes(1))) != std::future_status::ready) {
        std::fprintf(stderr, "reading /dev/zero as a names file never returned\n");
        std::abort();
    }
    EXPECT_TRUE(reading.get());
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(names[0].size(), TriggerPanelDock::MAX_NAME_LENGTH);
    EXPECT_EQ(cut.size(), 2);
}

TEST_F(TriggerFixture, AReadOnlyNamesFileCountsAsMissing)
{
    writeNames("Read Register\n");
    QFile::setPermissions("FunctionName.txt", QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    TriggerPanelDock panel(nullptr);
    EXPECT_EQ(caption(panel, 1), "Trigger Funcion1");
    EXPECT_TRUE(panel.functionName.isEmpty());
    EXPECT_NE(out.text().find("Can't open FunctionName.txt"), std::string::npos);
}

TEST_F(TriggerFixture, ANamesFileThatIsNoPlainFileCountsAsMissing)
{
    // A FIFO holding more than the panel reads: were it read, its lines would
    // be the captions (and the read would end rather than wait for a writer).
    ASSERT_EQ(::mkfifo("FunctionName.txt", 0600), 0);
    const int fifo = ::open("FunctionName.txt", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    const int bytes = TriggerPanelDock::MAX_NAMES_FILE_BYTES + 1;
    ASSERT_GE(::fcntl(fifo, F_SETPIPE_SZ, 2 * bytes), bytes);
    const QByteArray lines = QByteArray("From a FIFO\n").repeated(bytes).left(bytes);
    ASSERT_EQ(::write(fifo, lines.constData(), lines.size()), bytes);
    {
        TriggerPanelDock panel(nullptr);
        EXPECT_EQ(caption(panel, 1), "Trigger Funcion1");
        EXPECT_TRUE(panel.functionName.isEmpty());
        EXPECT_NE(out.text().find("Can't open FunctionName.txt"), std::string::npos);
    }
    ::close(fifo);
}

TEST_F(TriggerFixture, TheFieldsTextsAtThePressReachTheCameraUnchanged)
{
    writeNames("Read Register\nWrite Register\n");
    TriggerPanelDock panel(nullptr);
    panel.setStreamHub(hub.get());
    BoxLog log;

    field(panel, 4, 1)->clear();
    QTest::keyClicks(field(panel, 4, 1), "25");
    EXPECT_EQ(panel.arg_list.at(3), qMakePair(QString("25"), QString("99")));
    press(panel, 4);
    ASSERT_TRUE(log.waitForBoxes(1));
    EXPECT_NE(out.text().find("trigger function d.triggerFunction4('25','99')"), std::string::npos);
    EXPECT_NE(out.text().find(" perform triggerFunction4  ok "), std::string::npos);

    // Row 2 has a caption from the file; the box names the method.
    field(panel, 2, 2)->setText("a'b\\c\"");
    EXPECT_EQ(panel.arg_list.at(1).second, "a'b\\c\"");
    press(panel, 2);
    ASSERT_TRUE(log.waitForBoxes(2));
    EXPECT_NE(out.text().find("trigger function d.triggerFunction2('1','a'b\\c\"')"), std::string::npos);

    field(panel, 2, 2)->clear();
    EXPECT_EQ(panel.arg_list.at(1).second, "");
    press(panel, 2);
    ASSERT_TRUE(log.waitForBoxes(3));
    EXPECT_NE(out.text().find("trigger function d.triggerFunction2('1','')"), std::string::npos);

    field(panel, 2, 2)->setText("7");
    press(panel, 2);
    ASSERT_TRUE(log.waitForBoxes(4));
    EXPECT_EQ(
        log.boxes,
        QStringList({"Perform Successfully|Successfully perform  triggerFunction4.",
                     "Perform fail|Fail on perform triggerFunction2.", "Perform fail|Fail on perform triggerFunction2.",
                     "Perform Successfully|Successfully perform  triggerFunction2."}));
    EXPECT_TRUE(KelvraTest::waitFor([&] { return panel.runningWorkers() == 0; }));
}

TEST_F(TriggerFixture, AMissingFunctionAndAFailingCallAreTold)
{
    writeNames("1\n2\n3\n4\n5\n6\n7\n8\nReset Sensor\n");
    TriggerPanelDock panel(nullptr);
    panel.setStreamHub(hub.get());
    BoxLog log;
    Logger logger;
    QStringList logged;
    QObject::connect(&logger, &Logger::outputAvailable, [&](Tavik::LogLevel level, const QString& text) {
        logged << Logger::levelName(level) + "|" + text;
    });
    press(panel, 7);
    ASSERT_TRUE(log.waitForBoxes(1));
    EXPECT_EQ(log.boxes.at(0), "Perform fail|This camera can't support triggerFunction7.");
    EXPECT_NE(out.text().find("DepthCamera can't support this function : triggerFunction7  "), std::string::npos);

    // A call that fails outright shows no box: the log says why, with the row's caption.
    field(panel, 9, 1)->setText("fault");
    press(panel, 9);
    const QString failure = "Error|Trigger \"Reset Sensor\" (triggerFunction9) failed: the camera sent no answer\n";
    ASSERT_TRUE(KelvraTest::waitFor([&] { return panel.runningWorkers() == 0 && logged.contains(failure); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.boxes.size(), 1);
    EXPECT_EQ(logged, QStringList{failure}); // the other outcomes have their boxes only
    // The panel stays usable.
    press(panel, 1);
    ASSERT_TRUE(log.waitForBoxes(2));
    EXPECT_EQ(log.boxes.at(1), "Perform Successfully|Successfully perform  triggerFunction1.");
    EXPECT_NE(out.text().find("handleBatchOprateRegister : triggerFunction1 , 0 "), std::string::npos);
}

TEST_F(TriggerFixture, WithoutCameraOrControllerNoWorkerStarts)
{
    TriggerPanelDock panel(nullptr);
    BoxLog log;
    // Before setStreamHub: nothing at all.
    press(panel, 1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.boxes.isEmpty());
    EXPECT_EQ(panel.runningWorkers(), 0);

    hub->resetDepthCamera();
    panel.setStreamHub(hub.get());
    press(panel, 1);
    ASSERT_TRUE(log.waitForBoxes(1));
    EXPECT_EQ(log.boxes.at(0), "No DepthCamera|No running camera to perform funcion.");
    EXPECT_EQ(panel.runningWorkers(), 0);
    EXPECT_EQ(out.text().find("trigger funtion thread start:"), std::string::npos);

    // A worker that finds no camera any more tells the camera cannot do it.
    panel.triggerFunction("triggerFunction3", "1", "99");
    ASSERT_TRUE(log.waitForBoxes(2));
    EXPECT_EQ(log.boxes.at(1), "Perform fail|This camera can't support triggerFunction3.");
}

TEST_F(TriggerFixture, OverlappingSlowCallsEachShowTheirBox)
{
    auto panel = slowPanel(300);
    BoxLog log;
    press(*panel, 8);
    press(*panel, 8);
    press(*panel, 1);
    EXPECT_EQ(count(out.text(), "trigger funtion thread start:"), 3);
    ASSERT_TRUE(log.waitForBoxes(3));
    EXPECT_EQ(log.boxes.count("Perform Successfully|Successfully perform  triggerFunction8."), 2);
    EXPECT_EQ(log.boxes.count("Perform Successfully|Successfully perform  triggerFunction1."), 1);
    // Every worker is released once it has finished.
    EXPECT_TRUE(KelvraTest::waitFor([&] { return panel->runningWorkers() == 0; }));
}

TEST_F(TriggerFixture, DestroyingThePanelWaitsForItsWorkersAndShowsNothingAfter)
{
    // Long enough that both calls are still running when the panel goes.
    BoxLog log;
    auto panel = slowPanel(1000);
    press(*panel, 8);
    press(*panel, 8);
    EXPECT_EQ(panel->runningWorkers(), 2);
    panel.reset();
    // Both calls ended before the destructor returned ...
    EXPECT_EQ(count(out.text(), " perform triggerFunction8  ok "), 2);
    // ... and their outcomes went with the panel.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.boxes.isEmpty());
    EXPECT_FALSE(QApplication::activeModalWidget());
}

TEST_F(TriggerFixture, AWorkerKeepsItsCameraWhileTheControllerTakesAnother)
{
    auto panel = slowPanel(300);
    BoxLog log;
    press(*panel, 8);
    // Once the worker has its camera, the controller takes another one
    // (a QuentaD, which has no triggerFunction8).
    ASSERT_TRUE(KelvraTest::waitFor(
        [&] { return out.text().find("trigger function d.triggerFunction8") != std::string::npos; }));
    const Tavik::DepthCameraPtr other = system.connect(system.scan().at(1));
    ASSERT_TRUE(other);
    hub->setDepthCamera(other);
    camera.reset();
    ASSERT_TRUE(log.waitForBoxes(1));
    EXPECT_EQ(log.boxes.at(0), "Perform Successfully|Successfully perform  triggerFunction8.");
    EXPECT_EQ(hub->getDepthCamera(), other);
}
