#include "Kelvra/views/PressableLabel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using Kelvra::PressableLabel;

namespace {

// Counts the mouse releases that travel up to it.
class ReleaseCounter : public QWidget {
public:
    int releases = 0;

protected:
    void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
};

void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent ev(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &ev);
}

} // namespace

TEST(PressableLabel, EveryButtonsReleaseIsAClick)
{
    PressableLabel label;
    label.setText("click me");
    EXPECT_EQ(label.text(), "click me");
    QSignalSpy clicked(&label, &PressableLabel::clicked);
    QTest::mouseClick(&label, Qt::RightButton);
    EXPECT_EQ(clicked.count(), 1);
    QTest::mouseClick(&label, Qt::MiddleButton, Qt::ControlModifier);
    QTest::mouseClick(&label, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(clicked.count(), 3);
    // A press alone is not a click.
    QTest::mousePress(&label, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 3);
    QTest::mouseRelease(&label, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 4);
}

TEST(PressableLabel, ReleaseOutsideAfterAPressOnItCounts)
{
    PressableLabel label;
    label.resize(100, 30);
    QSignalSpy clicked(&label, &PressableLabel::clicked);
    send(&label, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    send(&label, QEvent::MouseMove, {300, -50}, Qt::NoButton, Qt::LeftButton);
    send(&label, QEvent::MouseButtonRelease, {300, -50}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(PressableLabel, DoubleClickEmitsForEachRelease)
{
    PressableLabel label;
    QSignalSpy clicked(&label, &PressableLabel::clicked);
    send(&label, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    send(&label, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    send(&label, QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    send(&label, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicked.count(), 2);
}

TEST(PressableLabel, ReleaseDoesNotReachTheParent)
{
    ReleaseCounter parent;
    auto* plain = new QLabel("plain", &parent);
    auto* pressable = new PressableLabel(&parent);
    EXPECT_EQ(pressable->parentWidget(), &parent);
    QTest::mouseClick(plain, Qt::LeftButton);
    ASSERT_EQ(parent.releases, 1); // a plain label lets it through
    QTest::mouseClick(pressable, Qt::LeftButton);
    QTest::mouseClick(pressable, Qt::RightButton);
    EXPECT_EQ(parent.releases, 1);
}
