#include "platform/base/DataEngine.h"
#include "tests/support/TestSupport.h"

#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include <thread>

namespace {

// A subscriber that records each call and the frame size it saw then.
class Subscriber : public QObject {
    Q_OBJECT
public:
    explicit Subscriber(DataEngine* engine)
        : engine(engine)
    {
    }
    void onDepth()
    {
        ++calls;
        sawSize = engine->frameSize();
        sawDepth = engine->data().value("depth");
        calledOn = QThread::currentThread();
    }
    DataEngine* engine;
    int calls = 0;
    std::optional<DataEngine::FrameSize> sawSize;
    cv::Mat sawDepth;
    QThread* calledOn = nullptr;
};

cv::Mat image(int width, int height, float value)
{
    return cv::Mat(width, height, CV_32F, cv::Scalar(value));
}

TEST(DataEngineTest, StartsWithoutFrameAndHoldsTheController)
{
    auto* controller = reinterpret_cast<Kelvra::StreamHub*>(0x10); // only held, never used
    DataEngine engine(controller);
    EXPECT_FALSE(engine.frameSize().has_value());
    EXPECT_TRUE(engine.data().isEmpty());
    EXPECT_EQ(engine.depthCameraController(), controller);
    EXPECT_EQ(engine.getDepthCameraController(), controller);
    EXPECT_EQ(engine.settlingTime(), DataEngine::DEFAULT_SETTLING_TIME);
}

TEST(DataEngineTest, QueuedSubscribersRunLaterAndSeeTheFrameTheyWereNotifiedFor)
{
    DataEngine engine(nullptr);
    Subscriber sub(&engine);
    engine.connectData("depth", &sub, &Subscriber::onDepth, Qt::QueuedConnection);
    QSignalSpy updated(&engine, &DataEngine::frameUpdated);

    const cv::Mat depth = image(320, 240, 1.5f);
    engine.publishFrame({{"amplitude", image(320, 240, 7)}, {"phase", cv::Mat()}, {"depth", depth}});
    EXPECT_EQ(updated.count(), 1);
    EXPECT_EQ(sub.calls, 0); // queued even on the engine's own thread
    ASSERT_TRUE(engine.frameSize().has_value());
    EXPECT_EQ(*engine.frameSize(), (DataEngine::FrameSize{320, 240}));
    EXPECT_TRUE(engine.data().contains("phase"));
    EXPECT_TRUE(engine.data().value("phase").empty()); // nothing, not absent
    EXPECT_EQ(engine.data().value("amplitude").at<float>(319, 239), 7.0f);

    ASSERT_TRUE(KelvraTest::waitFor([&] { return sub.calls == 1; }));
    EXPECT_EQ(*sub.sawSize, (DataEngine::FrameSize{320, 240}));
    EXPECT_EQ(sub.sawDepth.data, depth.data);
}

TEST(DataEngineTest, OnlyChannelsOfPublishedNamesFireAndSubscriptionsStay)
{
    DataEngine engine(nullptr);
    Subscriber sub(&engine);
    engine.connectData("depth", &sub, &Subscriber::onDepth, Qt::DirectConnection);

    engine.publishFrame({{"amplitude", image(4, 3, 1)}});
    EXPECT_EQ(sub.calls, 0);
    EXPECT_FALSE(engine.data().contains("depth")); // absent: lacking
    engine.publishFrame({{"depth", image(4, 3, 2)}});
    engine.publishFrame({{"depth", image(4, 3, 3)}});
    EXPECT_EQ(sub.calls, 2);
    engine.notifyChannel("depth");
    engine.notifyChannel("never-subscribed");
    EXPECT_EQ(sub.calls, 3);
    EXPECT_EQ(engine.channel("depth"), engine.channel("depth"));
    EXPECT_EQ(engine.channel("depth")->getName(), "depth");
}

TEST(DataEngineTest, ImagesAreReplacedNotChangedInPlace)
{
    DataEngine engine(nullptr);
    engine.publishFrame({{"amplitude", image(8, 6, 1)}});
    const cv::Mat held = engine.data().value("amplitude");
    engine.publishFrame({{"amplitude", image(8, 6, 2)}});
    EXPECT_EQ(held.at<float>(0, 0), 1.0f);
    EXPECT_EQ(engine.data().value("amplitude").at<float>(0, 0), 2.0f);
}

TEST(DataEngineTest, FrameSizeFollowsTheFirstImageOrTheGivenSize)
{
    DataEngine engine(nullptr);
    engine.publishFrame({{"phase", image(160, 120, 0)}, {"depth", image(80, 60, 0)}});
    EXPECT_EQ(*engine.frameSize(), (DataEngine::FrameSize{160, 120}));
    engine.publishFrame({{"amplitude", cv::Mat()}});
    EXPECT_EQ(*engine.frameSize(), (DataEngine::FrameSize{160, 120})); // kept
    engine.publishFrame({}, DataEngine::FrameSize{640, 480});
    EXPECT_EQ(*engine.frameSize(), (DataEngine::FrameSize{640, 480}));
}

TEST(DataEngineTest, FramesPublishedOnAnotherThreadArriveOnTheEnginesThread)
{
    DataEngine engine(nullptr);
    Subscriber sub(&engine);
    engine.connectData("depth", &sub, &Subscriber::onDepth, Qt::QueuedConnection);
    QThread* updatedOn = nullptr;
    int updates = 0;
    QObject::connect(&engine, &DataEngine::frameUpdated, &engine, [&] {
        updatedOn = QThread::currentThread();
        ++updates;
    });

    std::thread producer([&] {
        for (int i = 0; i < 5; ++i)
            engine.publishFrame({{"depth", image(10, 10, float(i))}});
    });
    producer.join();
    ASSERT_TRUE(KelvraTest::waitFor([&] { return updates == 5 && sub.calls == 5; }));
    EXPECT_EQ(updatedOn, QThread::currentThread());
    EXPECT_EQ(sub.calledOn, QThread::currentThread());
    EXPECT_EQ(engine.data().value("depth").at<float>(0, 0), 4.0f); // last one wins
}

TEST(DataEngineTest, SettlingTimeIsClampedToItsRange)
{
    DataEngine engine(nullptr);
    engine.setSettlingTime(1);
    EXPECT_EQ(engine.settlingTime(), 1);
    engine.setSettlingTime(200);
    EXPECT_EQ(engine.settlingTime(), 200);
    engine.setSettlingTime(0);
    EXPECT_EQ(engine.settlingTime(), 1);
    engine.setSettlingTime(201);
    EXPECT_EQ(engine.settlingTime(), 200);
}

TEST(DataEngineTest, RateFactorSignalsEachChangeQueuedAcrossThreads)
{
    DataEngine engine(nullptr);
    QObject receiver;
    QList<double> seen;
    QObject::connect(
        &engine, &DataEngine::rateFactorChanged, &receiver, [&](double v) { seen << v; }, Qt::QueuedConnection);

    std::thread other([&] {
        engine.setRateFactor(29.5);
        engine.setRateFactor(29.5); // no change, no signal
        engine.setRateFactor(30.0);
    });
    other.join();
    EXPECT_TRUE(seen.isEmpty());
    ASSERT_TRUE(KelvraTest::waitFor([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (QList<double>{29.5, 30.0}));
    EXPECT_DOUBLE_EQ(engine.rateFactor(), 30.0);
}

} // namespace

#include "DataEngineTest.moc"
