#include "Kelvra/views/PairSpinBox.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using Kelvra::PairSpinBox;

namespace {

// Records which object each key press was seen on.
class KeyRecorder : public QObject {
public:
    std::vector<QObject*> watched;
    bool eventFilter(QObject* obj, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            watched.push_back(obj);
        return false;
    }
};

} // namespace

TEST(PairSpinBox, SetAndGetPairWithinRange)
{
    PairSpinBox box;
    box.setRange(0, 640, 0, 480);
    box.setXY(10, 20);
    EXPECT_EQ(box.getXY(), (QList<int>{10, 20}));

    box.setXY(700, -5); // each half clamps to its own range
    EXPECT_EQ(box.getXY(), (QList<int>{640, 0}));

    box.setXY(600, 400);
    box.setRange(0, 100, 0, 200); // a narrower range clamps the pair too
    EXPECT_EQ(box.getXY(), (QList<int>{100, 200}));
}

TEST(PairSpinBox, ANumberTypedBeyondALimitIsThatLimit)
{
    PairSpinBox box;
    box.setRange(0, 640, 0, 480);
    box.setXY(10, 20);
    for (QSpinBox* spin : {box.xSpinBox, box.ySpinBox}) {
        spin->selectAll();
        QTest::keyClicks(spin, "900");
        QTest::keyClick(spin, Qt::Key_Return);
    }
    EXPECT_EQ(box.getXY(), (QList<int>{640, 480}));
}

TEST(PairSpinBox, LaysOutXCommaY)
{
    PairSpinBox box;
    auto* layout = box.QWidget::layout();
    ASSERT_NE(layout, nullptr);
    ASSERT_EQ(layout->count(), 3);
    EXPECT_EQ(layout->itemAt(0)->widget(), box.xSpinBox);
    EXPECT_EQ(layout->itemAt(2)->widget(), box.ySpinBox);
    auto* label = qobject_cast<QLabel*>(layout->itemAt(1)->widget());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral(","));
    EXPECT_EQ(box.xSpinBox->parentWidget(), &box);
    EXPECT_EQ(layout->contentsMargins(), QMargins(0, 0, 0, 0));
}

TEST(PairSpinBox, FlagsAreNotApplied)
{
    PairSpinBox plain;
    PairSpinBox flagged(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    EXPECT_EQ(flagged.windowFlags(), plain.windowFlags());
}

TEST(PairSpinBox, OneFilterWatchesCompositeAndBothSpinBoxes)
{
    PairSpinBox box;
    KeyRecorder recorder;
    box.installEventFilter(&recorder);

    QTest::keyClick(box.ySpinBox, Qt::Key_Up);
    QTest::keyClick(box.xSpinBox, Qt::Key_Up);
    QTest::keyClick(&box, Qt::Key_A);
    ASSERT_GE(recorder.watched.size(), 3u);
    EXPECT_NE(std::find(recorder.watched.begin(), recorder.watched.end(), box.ySpinBox), recorder.watched.end());
    EXPECT_NE(std::find(recorder.watched.begin(), recorder.watched.end(), box.xSpinBox), recorder.watched.end());
    EXPECT_NE(std::find(recorder.watched.begin(), recorder.watched.end(), &box), recorder.watched.end());
}
