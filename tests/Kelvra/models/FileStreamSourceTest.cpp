// Recorded-file source: transport, at-once delivery, seeking and paced playback.

#include "StreamTestSupport.h"
#include "Kelvra/common/FileNames.h"
#include "tests/support/FailingDisk.h"
#include "tests/support/ManualClock.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>

using namespace Kelvra;
using namespace StreamTest;

namespace {

class FileStreamSourceTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }
    // A source for a recording of `sets`, with the log installed.
    std::unique_ptr<FileStreamSource> open(const std::vector<SetSpec>& sets, bool withDepthScaling = true)
    {
        const std::string p = path("rec.tvk");
        EXPECT_TRUE(writeRecording(p, sets, withDepthScaling));
        auto s = std::make_unique<FileStreamSource>(QString::fromStdString(p), &system);
        s->setCallback(frames.callback());
        return s;
    }
    // The bytes of a set of evenSets(): every one takes as many.
    uint64_t setBytes()
    {
        const auto size = [&](int sets) {
            EXPECT_TRUE(writeRecording(path("n.tvk"), evenSets(sets)));
            return static_cast<uint64_t>(QFileInfo(dir.filePath("n.tvk")).size());
        };
        return size(2) - size(1) - 8; // less its index entry
    }
    // Where the index of the recording of `sets` begins.
    uint64_t indexStart(int sets) const
    {
        return static_cast<uint64_t>(QFileInfo(dir.filePath("rec.tvk")).size()) - (8 * sets + 16);
    }
    static bool ended(FileStreamSource& s, SignalLog& log)
    {
        return KelvraTest::waitFor([&] { return !s.isRunning() && log.names.contains("stopped"); });
    }

    QTemporaryDir dir;
    Tavik::CameraSystem system;
    FrameLog frames;
};

std::vector<int64_t> idsFrom(int64_t first, int64_t last)
{
    std::vector<int64_t> ids;
    for (int64_t id = first; id <= last; ++id)
        ids.push_back(id);
    return ids;
}

} // namespace

TEST_F(FileStreamSourceTest, AnUnreadableFileRefusesAndSaysWhy)
{
    FileStreamSource s(dir.filePath("missing.tvk"), &system);
    SignalLog log(&s);
    EXPECT_EQ(s.getName(), "missing.tvk");
    EXPECT_FALSE(s.isInitialized() || s.start() || s.seek(0) || s.stop());
    EXPECT_TRUE(s.isSeekable() && !s.isLiveStream());
    EXPECT_TRUE(log.names.isEmpty());
    EXPECT_EQ(s.errorString(), "file not found");
    FileStreamSource folder(dir.path(), &system);
    EXPECT_EQ(folder.errorString(), "a folder, not a file");
    FileStreamSource none(QString::fromStdString(path("rec.tvk")), nullptr);
    EXPECT_FALSE(none.isInitialized() || none.start());
    EXPECT_FALSE(none.errorString().isEmpty());

    auto good = open(evenSets(2));
    EXPECT_TRUE(good->errorString().isEmpty());
    EXPECT_TRUE(good->stopReason().isEmpty());
}

TEST_F(FileStreamSourceTest, ANameThatIsNotUtf8OpensAsGiven)
{
    const QByteArray bytes = QFile::encodeName(dir.path()) + "/bad\xff\xfe.tvk";
    ASSERT_TRUE(writeRecording(bytes.toStdString(), evenSets(3)));
    const QString name = decodeFileName(bytes);
    EXPECT_EQ(encodeFileName(name), bytes);
    FileStreamSource s(name, &system);
    EXPECT_TRUE(s.isInitialized()) << s.errorString().toStdString();
    EXPECT_EQ(s.length(), 3);
    // Valid names read as Qt reads them; any bytes come back as they were.
    for (const QByteArray& other : {QByteArray("caf\xc3\xa9 \xf0\x9f\x98\x80.tvk"), QByteArray("\xed\xa0\x80\xc3"),
                                    QByteArray("\xf0\x9f\x98\x80\xed\xb2\x80"), QByteArray("\x80\xc0\xaf")}) {
        EXPECT_EQ(encodeFileName(decodeFileName(other)), other) << other.toHex().constData();
        if (QFile::encodeName(QFile::decodeName(other)) == other) {
            EXPECT_EQ(decodeFileName(other), QFile::decodeName(other));
        }
    }
}

TEST_F(FileStreamSourceTest, AReaderOpenedAlreadyIsTheOneUsed)
{
    ASSERT_TRUE(writeRecording(path("rec.tvk"), evenSets(5)));
    const QString file = dir.filePath("rec.tvk");
    auto reader = std::make_shared<Tavik::FrameStreamReader>(path("rec.tvk"), system);
    reader->seekTo(3);
    EXPECT_EQ(FileStreamSource(file, &system, reader).currentPosition(), 3);
    StreamHub hub(&system);
    QString error = "before";
    const int index = hub.addOpenedFileSource(file, reader, &error);
    EXPECT_EQ(hub.getSources().at(static_cast<std::size_t>(index))->currentPosition(), 3);
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(FileStreamSourceTest, SeekDeliversAtOnceAndRefusesOutOfRange)
{
    auto s = open(evenSets(10), false);
    EXPECT_EQ(s->length(), 10);
    EXPECT_EQ(s->deliveredPosition(), -1);
    EXPECT_TRUE(s->seek(7));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{8}));
    EXPECT_EQ(frames.entries().front().camera, nullptr);
    EXPECT_EQ(frames.entries().front().thread, std::this_thread::get_id());
    EXPECT_EQ(s->currentPosition(), 7);
    EXPECT_EQ(s->deliveredPosition(), 7);
    EXPECT_FALSE(s->seek(-1));
    EXPECT_FALSE(s->seek(10));
    EXPECT_EQ(s->currentPosition(), 7);
    s->setCallback(frames.callback()); // a new consumer has been shown nothing
    EXPECT_EQ(s->deliveredPosition(), -1);
    EXPECT_EQ(frames.size(), 4u);
    EXPECT_EQ(s->getDepthScalingFactor(), 0.f); // missing in this file
    EXPECT_EQ(s->getAmplitudeScalingFactor(), 1.f);
}

TEST_F(FileStreamSourceTest, ASetReadWithNoCallbackIsNotCountedAsShown)
{
    auto s = open(evenSets(10));
    s->removeCallback();
    EXPECT_TRUE(s->seek(3));
    EXPECT_EQ(s->currentPosition(), 3);
    EXPECT_EQ(s->deliveredPosition(), -1);
    EXPECT_EQ(frames.size(), 0u);
}

TEST_F(FileStreamSourceTest, PlaysToTheEndAndStartsAgain)
{
    auto s = open(evenSets(5, 100000));
    SignalLog log(s.get());
    EXPECT_FLOAT_EQ(s->getDepthScalingFactor(), Tavik::StreamGenerator::Spec().unambiguousRange / 4096);
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(log.joined(), "beforestart started stopped");
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{1, 2, 3, 4, 5}));
    for (const auto& e : frames.entries()) // from position 0: nothing at once
        EXPECT_NE(e.thread, std::this_thread::get_id());
    EXPECT_FALSE(s->stop()); // ended by itself: nothing to stop
    EXPECT_EQ(s->currentPosition(), 5);
    EXPECT_EQ(s->deliveredPosition(), 4);
    EXPECT_EQ(s->startPosition(), 0);

    // At the end: rewound with set 0 delivered at once, then played on after
    // it by a new thread once the finished one is joined, paced from set 0.
    frames.clear();
    log.names.clear();
    KelvraTest::ManualClock clock;
    s->setPassClock(clock.passClock());
    ASSERT_TRUE(s->start());
    EXPECT_FALSE(s->start()); // already playing: refused silently
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(log.joined(), "beforestart started stopped");
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(frames.entries()[0].thread, std::this_thread::get_id());
    EXPECT_NE(frames.entries()[4].thread, std::this_thread::get_id());
    EXPECT_EQ(clock.sleeps().size(), 4u); // after sets 2 to 5

    // A recording of one set plays it once.
    frames.clear();
    auto one = open(evenSets(1));
    SignalLog oneLog(one.get());
    ASSERT_TRUE(one->start());
    ASSERT_TRUE(ended(*one, oneLog));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{1}));
}

TEST_F(FileStreamSourceTest, AFailureWhileTheRewindShowsSetZeroIsCaughtAndNamed)
{
    auto s = open(evenSets(3));
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    frames.clear();
    log.names.clear();
    // The rewind runs on this thread: its failure must not leave start().
    std::atomic<bool> failed{false};
    s->setCallback([&](const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame, Tavik::FrameType type) {
        if (!failed.exchange(true))
            throw std::bad_alloc();
        frames.callback()(camera, frame, type);
    });
    CoutCapture out;
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_NE(out.text().find("FileStreamSource: showing frame set 1 / 3 failed: std::bad_alloc"), std::string::npos)
        << out.text();
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{1, 2, 3})); // the pass reads set 0 itself
}

TEST_F(FileStreamSourceTest, StopAndPauseEndPlaybackAtOnce)
{
    // Both waits are a minute long: pause and stop must not sit them out.
    auto s = open({{1, 1000000}, {2, 61000000}, {3, 62000000}, {4, 122000000}});
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return frames.setIds().size() == 2; }));
    const auto before = Clock::now();
    EXPECT_TRUE(s->pause());
    EXPECT_LT(Clock::now() - before, KelvraTest::budget(std::chrono::seconds(5)));
    EXPECT_FALSE(s->isRunning());
    EXPECT_TRUE(s->isPaused());
    EXPECT_FALSE(s->pause());
    // Paused in the wait after set 2; or while set 2 was still being
    // delivered, which steps it back to be read again first.
    const int64_t at = s->currentPosition();
    ASSERT_TRUE(at == 2 || at == 1) << at;

    ASSERT_TRUE(s->start()); // from the pause: on from set 2, no resume
    EXPECT_FALSE(s->isPaused());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return frames.setIds().size() == 4; }));
    const auto stopAt = Clock::now();
    EXPECT_TRUE(s->stop());
    EXPECT_LT(Clock::now() - stopAt, KelvraTest::budget(std::chrono::seconds(5)));
    EXPECT_EQ(log.joined(), "beforestart started paused beforestart started paused stopped");
    // Set 0 again on stop.
    EXPECT_EQ(frames.setIds(), at == 2 ? (std::vector<int64_t>{1, 2, 3, 4, 1}) : (std::vector<int64_t>{1, 2, 2, 3, 1}));
    EXPECT_EQ(s->currentPosition(), 0);
    EXPECT_FALSE(s->isPaused() || s->isRunning());
    EXPECT_FALSE(s->stop());
}

TEST_F(FileStreamSourceTest, StopAfterAPlaybackEndedByItselfWaitsForItsThreadToLeave)
{
    // The playback thread lingers in a receiver of its own `stopped`; stop()
    // must not return while it is still there (the owner may go next).
    auto s = open(evenSets(2, 1000));
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> tailDone{false};
    QObject::connect(
        s.get(), &StreamSource::stopped, s.get(),
        [&] {
            if (std::this_thread::get_id() == caller)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            tailDone = true;
        },
        Qt::DirectConnection);
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !s->isRunning(); }));
    EXPECT_FALSE(s->stop()); // ended by itself: nothing to stop
    EXPECT_TRUE(tailDone);
}

TEST_F(FileStreamSourceTest, StopFromThePauseRewinds)
{
    auto s = open(evenSets(6, 500000));
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return frames.setIds().size() >= 2; }));
    ASSERT_TRUE(s->pause());
    log.names.clear();
    EXPECT_TRUE(s->stop());
    EXPECT_EQ(log.joined(), "stopped");
    EXPECT_EQ(s->currentPosition(), 0);
}

TEST_F(FileStreamSourceTest, AnEmptyRecordingEndsPlaybackAtOnce)
{
    auto empty = open({});
    SignalLog emptyLog(empty.get());
    ASSERT_TRUE(empty->isInitialized());
    ASSERT_TRUE(empty->start());
    ASSERT_TRUE(ended(*empty, emptyLog));
    EXPECT_EQ(emptyLog.joined(), "beforestart started stopped");
    EXPECT_TRUE(empty->stopReason().isEmpty()); // the end, not damage
}

TEST_F(FileStreamSourceTest, ADamagedSetStopsPlaybackWithItsReasonAndStartGoesOnAfterIt)
{
    ASSERT_TRUE(writeRecording(path("bad.tvk"), evenSets(8), true, {3}));
    FileStreamSource bad(dir.filePath("bad.tvk"), &system);
    bad.setCallback(frames.callback());
    SignalLog log(&bad);
    ASSERT_TRUE(bad.start());
    ASSERT_TRUE(ended(bad, log));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(bad.currentPosition(), 4); // past the damaged set
    EXPECT_EQ(bad.deliveredPosition(), 2); // on show: the set before it
    EXPECT_EQ(bad.startPosition(), 4);
    // The set counted from 1, as positions are shown.
    EXPECT_EQ(bad.stopReason(), "frame set 4 / 8 skipped: frame set checksum mismatch");
    EXPECT_TRUE(bad.errorString().isEmpty()); // the recording itself plays
    EXPECT_TRUE(bad.damageNotes().isEmpty()); // a checksum is met only when read

    // Start goes on with the set after the damaged one, and this time the
    // playback ends at the end.
    frames.clear();
    log.names.clear();
    ASSERT_TRUE(bad.start());
    EXPECT_TRUE(bad.stopReason().isEmpty());
    ASSERT_TRUE(ended(bad, log));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{5, 6, 7, 8}));
    EXPECT_TRUE(bad.stopReason().isEmpty());

    // Seeking to the damaged set while idle delivers nothing and stays there.
    frames.clear();
    EXPECT_TRUE(bad.seek(3));
    EXPECT_EQ(frames.size(), 0u);
    EXPECT_EQ(bad.currentPosition(), 3);
    EXPECT_EQ(bad.deliveredPosition(), 7);
}

TEST_F(FileStreamSourceTest, WhatTheOpenFoundLostIsToldAndPlaybackStopsAtTheSetItSkips)
{
    Tavik::StreamGenerator::Spec spec;
    spec.sets = 6;
    spec.width = 8;
    spec.height = 6;
    spec.intervalUs = 1000;
    spec.damagedLengthSets = {2};
    ASSERT_TRUE(Tavik::StreamGenerator::write(path("length.tvk"), spec));
    FileStreamSource damaged(dir.filePath("length.tvk"), &system);
    damaged.setCallback(frames.callback());
    EXPECT_EQ(damaged.damageNotes(), QStringList({"frame set 3 / 6 skipped: frame set length mismatch"}));
    SignalLog log(&damaged);
    ASSERT_TRUE(damaged.start());
    ASSERT_TRUE(ended(damaged, log));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(damaged.stopReason(), "frame set 3 / 6 skipped: frame set length mismatch");
    frames.clear();
    ASSERT_TRUE(damaged.start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !damaged.isRunning() && frames.setIds().size() == 3; }));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{4, 5, 6}));

    // Cut in the middle of its last set: the sets before it play.
    spec.damagedLengthSets.clear();
    spec.truncateLastSet = true;
    ASSERT_TRUE(Tavik::StreamGenerator::write(path("cut.tvk"), spec));
    FileStreamSource cut(dir.filePath("cut.tvk"), &system);
    EXPECT_EQ(cut.length(), 5);
    ASSERT_EQ(cut.damageNotes().size(), 1);
    EXPECT_TRUE(cut.damageNotes()[0].startsWith("recording cut short in frame set 6: "))
        << cut.damageNotes()[0].toStdString();

    EXPECT_TRUE(FileStreamSource(dir.filePath("missing.tvk"), &system).damageNotes().isEmpty());
    EXPECT_TRUE(FileStreamSource(dir.filePath("cut.tvk"), nullptr).damageNotes().isEmpty());
}

TEST_F(FileStreamSourceTest, ARecordingCutShortWhilePlayingEndsWhereItNowEndsAndSaysSoOnce)
{
    const uint64_t setLength = setBytes();
    auto s = open(evenSets(20));
    const uint64_t firstSet = indexStart(20) - 20 * setLength;
    KelvraTest::ManualClock clock;
    s->setPassClock(clock.passClock());
    // Cut in set 11 while set 5 is on show.
    s->setCallback([&](const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame, Tavik::FrameType type) {
        frames.callback()(camera, frame, type);
        if (type == Tavik::FRAME_RAW_FRAME_UNPROCESSED && frame->id == 5)
            std::filesystem::resize_file(path("rec.tvk"), firstSet + 10 * setLength + 100);
    });
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(frames.setIds(), idsFrom(1, 10));
    EXPECT_EQ(s->stopReason(), QString("recording cut short in frame set 11: 100 of %1 bytes").arg(setLength));
    EXPECT_EQ(s->length(), 10);
    EXPECT_EQ(s->deliveredPosition(), 9);
    EXPECT_EQ(s->startPosition(), 0);
    // Start plays what is left, to its end.
    frames.clear();
    log.names.clear();
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(frames.setIds(), idsFrom(1, 10));
    EXPECT_TRUE(s->stopReason().isEmpty());
    EXPECT_EQ(s->length(), 10);
}

TEST_F(FileStreamSourceTest, AReadTheDiskFailsStopsPlaybackNamingTheSystemsReason)
{
    auto s = open(evenSets(6));
    KelvraTest::ManualClock clock;
    s->setPassClock(clock.passClock());
    const uint64_t inSet4 = indexStart(6) - 2 * setBytes() - setBytes() / 2;
    const KelvraTest::FailingDisk::Watch failing(path("rec.tvk"), inSet4, inSet4 + 1, EIO);
    ASSERT_TRUE(failing.watching);
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(frames.setIds(), idsFrom(1, 3));
    EXPECT_EQ(s->stopReason(), QString("cannot read frame set 4 / 6: ") + std::strerror(EIO));
    EXPECT_EQ(s->startPosition(), 4);
}

TEST_F(FileStreamSourceTest, ASetBeingDeliveredWhenPausedIsReadAgainFirst)
{
    // pause() sets the pause flag before it ends the playback: a set whose
    // delivery ends between the two is stepped back all the same. Set 3 is
    // held on the playback thread until the flag is set; the test then looks
    // at the position from inside that gap (the `paused` signal), while the
    // playback thread waits after the set.
    auto s = open(evenSets(6, 100000));
    FileStreamSource* source = s.get();
    std::atomic<bool> inSet3{false};
    std::atomic<bool> waitingAfterSet3{false};
    auto until = [](const std::function<bool()>& condition) {
        for (int i = 0; i < 10000 && !condition(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    PassClock clock;
    clock.now = [] { return 0.0; };
    clock.sleep = [&](double) {
        if (!inSet3)
            return;
        waitingAfterSet3 = true;
        until([&] { return !source->isRunning(); });
    };
    s->setPassClock(clock);
    s->setCallback([&](const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame, Tavik::FrameType type) {
        frames.callback()(camera, frame, type);
        if (type == Tavik::FRAME_RAW_FRAME_UNPROCESSED && frame->id == 3 && !inSet3.exchange(true))
            until([&] { return source->isPaused(); });
    });
    int64_t positionWhilePausing = -1;
    QObject::connect(
        source, &StreamSource::paused, source,
        [&] {
            until([&] { return waitingAfterSet3.load(); });
            positionWhilePausing = source->currentPosition();
        },
        Qt::DirectConnection);
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return inSet3.load(); }));
    ASSERT_TRUE(s->pause());
    EXPECT_TRUE(waitingAfterSet3);
    EXPECT_EQ(positionWhilePausing, 2); // stepped back onto set 3
    EXPECT_EQ(s->currentPosition(), 2);
    EXPECT_EQ(s->deliveredPosition(), 2); // and set 3 is on show

    QObject::disconnect(source, &StreamSource::paused, source, nullptr);
    s->setPassClock(PassClock());
    frames.clear();
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{3, 4, 5, 6}));
}

TEST_F(FileStreamSourceTest, PacingFollowsTimestampsAndIdGapsLessTheWork)
{
    // 10 ms of work per set. Waits: none after the first set, then 100 ms,
    // then 600 ms over an id gap of 3, then 100 ms, each less the work.
    KelvraTest::ManualClock clock;
    auto s = open({{9, 1000000}, {10, 1100000}, {13, 1700000}, {14, 1800000}});
    s->setPassClock(clock.passClock());
    s->setCallback([&](const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame, Tavik::FrameType type) {
        frames.callback()(camera, frame, type);
        if (type == Tavik::FRAME_RAW_FRAME_UNPROCESSED)
            clock.advance(0.010);
    });
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{9, 10, 13, 14}));
    const auto waits = clock.sleeps();
    ASSERT_EQ(waits.size(), 3u);
    EXPECT_NEAR(waits[0], 0.090, 1e-9);
    EXPECT_NEAR(waits[1], 0.590 / 3, 1e-9);
    EXPECT_NEAR(waits[2], 0.090, 1e-9);
}

TEST_F(FileStreamSourceTest, WaitsAreCutToFiveSecondsAndNegativeGapsWaitNothing)
{
    // Ids 0 then 1 and equal ids divide nothing; timestamps far apart, near
    // both ends of their range, and going back.
    const int64_t far = 10000000LL * 1000000LL; // 10^7 s in microseconds
    KelvraTest::ManualClock clock;
    auto s = open({{0, 1000000},
                   {1, 1000000 + far},
                   {1, 500000},
                   {2, LLONG_MAX},
                   {3, LLONG_MIN + 1},
                   {4, 1},
                   {5, LLONG_MAX - 1}});
    s->setPassClock(clock.passClock());
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{0, 1, 1, 2, 3, 4, 5}));
    // 10^7 s ahead: cut. Back by 10^7 s: none. From 500 ms to the end of the
    // range: cut. From there to the start of the range: none. A last
    // timestamp below 1 (LLONG_MIN + 1) is no base for a wait. From 1 to the
    // end of the range: cut.
    const double cut = FileStreamSource::MAX_SET_WAIT;
    EXPECT_EQ(clock.sleeps(), (std::vector<double>{cut, cut, cut}));
}

TEST_F(FileStreamSourceTest, PacingHoldsForIdsAndTimestampsOfAnySize)
{
    // Ids one apart from 2^53 on, where doubles are 2 apart, and timestamps
    // 33 ms apart near 2^62, where they are 1024 us apart.
    const int64_t id = int64_t{1} << 53, at = int64_t{1} << 62;
    KelvraTest::ManualClock clock;
    auto s = open({{id, 1000000}, {id + 1, 1033000}, {id + 2, 1066000}, {id + 3, at}, {id + 4, at + 33000}});
    s->setPassClock(clock.passClock());
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    const auto waits = clock.sleeps();
    ASSERT_EQ(waits.size(), 4u);
    EXPECT_NEAR(waits[0], 0.033, 1e-9);
    EXPECT_NEAR(waits[1], 0.033, 1e-9);
    EXPECT_EQ(waits[2], FileStreamSource::MAX_SET_WAIT);
    EXPECT_NEAR(waits[3], 0.033, 1e-9);
}

TEST_F(FileStreamSourceTest, PlaybackWaitsOnTheRealClock)
{
    // Lower bounds only: a loaded machine waits longer, never shorter.
    auto s = open({{1, 1000000}, {2, 1100000}, {3, 1300000}});
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    std::vector<Clock::time_point> at;
    for (const auto& x : frames.entries())
        if (x.type == Tavik::FRAME_RAW_FRAME_UNPROCESSED)
            at.push_back(x.at);
    ASSERT_EQ(at.size(), 3u);
    // The wait after set 2 is 100 ms less the work of its pass, whose read of
    // set 2 comes before set 2 is shown: set 3 follows set 1, not set 2, by
    // at least 100 ms.
    EXPECT_GE(at[2] - at[0], std::chrono::milliseconds(95));
}

TEST_F(FileStreamSourceTest, AFirstTimestampOfZeroMeansNoWaitAfterTheSecondSet)
{
    KelvraTest::ManualClock clock;
    auto s = open({{1, 0}, {2, 400000}, {3, 800000}});
    s->setPassClock(clock.passClock());
    SignalLog log(s.get());
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(ended(*s, log));
    EXPECT_EQ(frames.setIds(), (std::vector<int64_t>{1, 2, 3}));
    const auto waits = clock.sleeps(); // after the third set only
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_NEAR(waits[0], 0.4, 1e-9);
}

TEST_F(FileStreamSourceTest, DestroyedWhilePlaying)
{
    auto s = open(evenSets(50, 100000));
    KelvraTest::ThreadEnd playback;
    const auto caller = std::this_thread::get_id();
    s->setCallback([&](const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType) {
        if (std::this_thread::get_id() != caller)
            playback.watchThisThread();
    });
    ASSERT_TRUE(s->start());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return playback.isWatching(); }));
    s.reset(); // stops and joins: nothing delivers any more
    EXPECT_TRUE(playback.hasEnded());
}
