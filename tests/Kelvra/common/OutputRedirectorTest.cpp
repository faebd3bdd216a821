#include "Kelvra/common/OutputRedirector.h"

#include "Kelvra/common/Diagnostics.h"
#include "tests/Kelvra/common/CaptureStream.h"
#include "tests/support/TestSupport.h"

#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using Kelvra::OutputRedirector;
using KelvraTest::CaptureStream;

namespace {

QString emitted(const QSignalSpy& spy, int i)
{
    return spy.at(i).at(0).toString();
}

} // namespace

TEST(OutputRedirector, EveryWriteIsPassedOnThenEmittedWholeAndUnchanged)
{
    CaptureStream kept;
    OutputRedirector redirector(nullptr);
    QSignalSpy spy(&redirector, &OutputRedirector::outputWritten);
    // The kept stream has the text when the signal goes out.
    std::vector<std::string> keptAtEmit;
    QObject::connect(&redirector, &OutputRedirector::outputWritten,
                     [&](const QString&) { keptAtEmit.push_back(kept.text()); });

    std::cout << "two\nlines" << std::endl; // text, then the line end on its own
    redirector.write("");
    Kelvra::diag::printTuple("cam", true);

    ASSERT_EQ(spy.count(), 4);
    EXPECT_EQ(emitted(spy, 0), "two\nlines");
    EXPECT_EQ(emitted(spy, 1), "\n");
    EXPECT_EQ(emitted(spy, 2), "");
    EXPECT_EQ(emitted(spy, 3), "('cam', True)\n");
    EXPECT_EQ(kept.text(), "two\nlines\n('cam', True)\n");
    EXPECT_EQ(keptAtEmit[0], "two\nlines");
    EXPECT_EQ(keptAtEmit[3], kept.text());
}

TEST(OutputRedirector, FlushReachesTheKeptStream)
{
    CaptureStream kept;
    OutputRedirector redirector(nullptr);
    const int before = kept.buffer().syncCount();
    std::cout.flush();
    EXPECT_EQ(kept.buffer().syncCount(), before + 1);
}

TEST(OutputRedirector, DestructionRestoresTheStreamAndEndsEmission)
{
    CaptureStream kept;
    auto* old = std::cout.rdbuf();
    int count = 0;
    {
        OutputRedirector redirector(nullptr);
        EXPECT_NE(std::cout.rdbuf(), old);
        QObject::connect(&redirector, &OutputRedirector::outputWritten, [&](const QString&) { ++count; });
        std::cout << "a";
    }
    EXPECT_EQ(std::cout.rdbuf(), old);
    std::cout << "b";
    EXPECT_EQ(count, 1);
    EXPECT_EQ(kept.text(), "ab");
}

TEST(OutputRedirector, ErrorSlotIsCapturedApartFromOutput)
{
    CaptureStream keptOut(std::cout);
    CaptureStream keptErr(std::cerr);
    OutputRedirector errors(nullptr, false);
    QSignalSpy errSpy(&errors, &OutputRedirector::outputWritten);
    std::cout << "out";
    EXPECT_EQ(errSpy.count(), 0);

    OutputRedirector output(nullptr, true);
    QSignalSpy outSpy(&output, &OutputRedirector::outputWritten);
    std::cerr << "err";
    std::cout << "out2";
    ASSERT_EQ(errSpy.count(), 1);
    ASSERT_EQ(outSpy.count(), 1);
    EXPECT_EQ(emitted(errSpy, 0), "err");
    EXPECT_EQ(emitted(outSpy, 0), "out2");
    EXPECT_EQ(keptOut.text(), "outout2");
    EXPECT_EQ(keptErr.text(), "err");
}

TEST(OutputRedirector, StackedRedirectorsEmitInnerFirstAndUnwindInReverse)
{
    CaptureStream kept;
    auto* original = std::cout.rdbuf();
    std::vector<std::string> order;
    {
        OutputRedirector first(nullptr);
        QObject::connect(&first, &OutputRedirector::outputWritten,
                         [&](const QString& t) { order.push_back("first:" + kept.text() + "|" + t.toStdString()); });
        {
            OutputRedirector second(nullptr);
            QObject::connect(&second, &OutputRedirector::outputWritten,
                             [&](const QString& t) { order.push_back("second:" + t.toStdString()); });
            std::cout << "x";
        }
        std::cout << "y"; // the first one is back in the slot
    }
    EXPECT_EQ(std::cout.rdbuf(), original);
    EXPECT_EQ(order, (std::vector<std::string>{"first:x|x", "second:x", "first:xy|y"}));
}

TEST(OutputRedirector, RefusedTextIsNotEmitted)
{
    struct Refusing : std::streambuf {
        std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
    } refusing;
    auto* old = std::cout.rdbuf(&refusing);
    {
        OutputRedirector redirector(nullptr);
        QSignalSpy spy(&redirector, &OutputRedirector::outputWritten);
        EXPECT_FALSE(redirector.write("lost"));
        std::cout << "lost";
        EXPECT_TRUE(std::cout.bad());
        EXPECT_EQ(spy.count(), 0);
    }
    std::cout.rdbuf(old); // also clears the stream's state
    EXPECT_TRUE(std::cout.good());
}

TEST(OutputRedirector, WritesFromManyThreadsArriveWholeAndQueuedToTheReceiver)
{
    CaptureStream kept;
    OutputRedirector redirector(nullptr);
    QObject receiver; // lives in the test's (UI) thread
    std::vector<QString> received;
    bool allOnReceiverThread = true;
    QObject::connect(&redirector, &OutputRedirector::outputWritten, &receiver, [&](const QString& t) {
        received.push_back(t);
        allOnReceiverThread = allOnReceiverThread && QThread::currentThread() == receiver.thread();
    });

    constexpr int threads = 4;
    constexpr int perThread = 200;
    std::vector<std::thread> writers;
    for (int w = 0; w < threads; ++w)
        writers.emplace_back([w] {
            for (int i = 0; i < perThread; ++i)
                Kelvra::diag::printLine("writer " + std::to_string(w) + " line " + std::to_string(i));
        });
    for (auto& t : writers)
        t.join();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return received.size() == threads * perThread; }));
    EXPECT_TRUE(allOnReceiverThread);
    for (const auto& t : received) {
        EXPECT_TRUE(t.startsWith("writer ") && t.endsWith("\n") && t.count('\n') == 1) << t.toStdString();
    }
    // The kept stream holds whole lines too, none interleaved.
    std::istringstream in(kept.text());
    int lines = 0;
    for (std::string line; std::getline(in, line); ++lines)
        EXPECT_EQ(line.rfind("writer ", 0), 0u) << line;
    EXPECT_EQ(lines, threads * perThread);
}
