// Compact editors, the wheel filter and the slider editor driven like a user.

#include "ParamTestSupport.h"

#include "Kelvra/views/WriteGuard.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <QMetaMethod>
#include <QThread>

#include <climits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

using Kelvra::EnumParameterView;
using Kelvra::ParamControl;
using Kelvra::RangeParameterDetailedView;
using Kelvra::RangeParameterView;
using Kelvra::WheelEventFilter;
using ParamTest::CameraFixture;
using ParamTest::MessageBoxWatcher;
using Tavik::detail::ParamKind;

namespace {

// One wheel notch up, sent to `target`; tells whether it ended accepted.
bool sendWheelUp(QObject* target)
{
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(0, 0), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    wheel.accept();
    QApplication::sendEvent(target, &wheel);
    return wheel.isAccepted();
}

// Counts the wheel and key events that reach it.
class EventCounter : public QWidget {
public:
    int wheels = 0;
    int keys = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::Wheel)
            ++wheels;
        if (e->type() == QEvent::KeyPress)
            ++keys;
        return QWidget::event(e);
    }
};

void typeInto(QAbstractSpinBox* box, const QString& text)
{
    auto* edit = box->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

double doubleValue(QAbstractSpinBox* box)
{
    return qobject_cast<QDoubleSpinBox*>(box)->value();
}

} // namespace

// Qt's hook for watching every signal emission, receivers or not (QtTest's
// signal dumper uses it): the only way to see what an object emits while it
// is being built, before anything can connect to it.
struct QSignalSpyCallbackSet {
    using BeginCallback = void (*)(QObject* caller, int signalIndex, void** argv);
    using EndCallback = void (*)(QObject* caller, int signalIndex);
    BeginCallback signal_begin_callback, slot_begin_callback;
    EndCallback signal_end_callback, slot_end_callback;
};
void Q_CORE_EXPORT qt_register_signal_spy_callbacks(QSignalSpyCallbackSet* callback_set);

namespace {

// Records (object, signal index) of every emission on this thread while it lives.
class EmissionLog {
public:
    EmissionLog()
    {
        owner() = this;
        static QSignalSpyCallbackSet set{&onSignal, nullptr, nullptr, nullptr};
        qt_register_signal_spy_callbacks(&set);
    }
    ~EmissionLog()
    {
        qt_register_signal_spy_callbacks(nullptr);
        owner() = nullptr;
    }
    // How often `object` emitted `signal` (a normalised signature).
    int count(const QObject* object, const char* signal) const
    {
        const int index = signalIndex(object->metaObject(), signal);
        int n = 0;
        for (const auto& e : emitted_)
            n += e.first == object && e.second == index;
        return n;
    }

private:
    // Signals are numbered over the class and its bases, counting signals only.
    static int signalIndex(const QMetaObject* meta, const char* signal)
    {
        const int method = meta->indexOfSignal(signal);
        int index = 0;
        for (int m = 0; m < method; ++m)
            index += meta->method(m).methodType() == QMetaMethod::Signal;
        return method < 0 ? -1 : index;
    }
    static void onSignal(QObject* caller, int signalIndex, void**)
    {
        if (EmissionLog* log = owner(); log && QThread::currentThread() == log->thread_)
            log->emitted_.emplace_back(caller, signalIndex);
    }
    static EmissionLog*& owner()
    {
        static EmissionLog* log = nullptr;
        return log;
    }
    QThread* const thread_ = QThread::currentThread();
    std::vector<std::pair<const QObject*, int>> emitted_;
};

} // namespace

// --- EnumParameterView ---------------------------------------------------------

TEST(EnumParameterView, BuildsSilentlyAtFirstMatchingValue)
{
    const QVariantList values{0, 1, 1, 3};
    std::unique_ptr<EnumParameterView> built;
    {
        EmissionLog log;
        built = std::make_unique<EnumParameterView>(values, QStringList{"a", "b", "b2", "d"}, QVariant(3));
        // Filling the combo box does change its index: the hook sees that much.
        EXPECT_GT(log.count(built.get(), "currentIndexChanged(int)"), 0);
        EXPECT_EQ(log.count(built.get(), "paramValueChanged(QVariant)"), 0);
    }
    EXPECT_EQ(built->currentIndex(), 3);

    EnumParameterView view(values, {"a", "b", "b2", "d"}, QVariant(1));
    EXPECT_EQ(view.currentIndex(), 1); // first of two equal values

    EnumParameterView missing(values, {"a", "b", "b2", "d"}, QVariant(9));
    EXPECT_EQ(missing.currentIndex(), 0);
    EXPECT_EQ(missing.getValue(), QVariant(0));
}

TEST(EnumParameterView, ReportsChosenValueOnly)
{
    EnumParameterView view({10, 20}, {"ten", "twenty", "extra"}, QVariant(10));
    QSignalSpy spy(&view, &EnumParameterView::paramValueChanged);
    view.setCurrentIndex(1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<QVariant>(), QVariant(20));

    // An item beyond the list of values reports nothing.
    view.setCurrentIndex(2);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_FALSE(view.getValue().isValid());
}

// --- RangeParameterView ----------------------------------------------------------

TEST(RangeParameterView, IntegerMinimumGivesIntegerSpinBoxWithClampedValue)
{
    RangeParameterView view(QVariant(-5), QVariant(5), QVariant(9), QString());
    auto* spin = qobject_cast<QSpinBox*>(view.spinbox);
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->value(), 5);
    EXPECT_EQ(view.findChildren<QLabel*>().size(), 0); // no unit, no label

    RangeParameterView floats(QVariant(0.5f), QVariant(3.7f), QVariant(0.1f), QStringLiteral("V"));
    auto* dspin = qobject_cast<QDoubleSpinBox*>(floats.spinbox);
    ASSERT_NE(dspin, nullptr);
    EXPECT_DOUBLE_EQ(dspin->value(), 0.5);
    EXPECT_EQ(dspin->decimals(), 2);
    auto labels = floats.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front()->text(), "V");
    EXPECT_EQ(floats.layout->indexOf(labels.front()), 1); // behind the spin box
}

TEST(RangeParameterView, LargeUnsignedLimitsNeverWrapIntoAnInvertedRange)
{
    RangeParameterView view(QVariant(0u), QVariant(4000000000u), QVariant(3500000000u), QString());
    auto* spin = qobject_cast<QSpinBox*>(view.spinbox);
    EXPECT_EQ(spin->minimum(), 0);
    EXPECT_EQ(spin->maximum(), INT_MAX);
    EXPECT_EQ(spin->value(), INT_MAX);
}

TEST(RangeParameterView, StepsAndEditingFinishedReport)
{
    RangeParameterView view(QVariant(0), QVariant(10), QVariant(9), QString());
    QSignalSpy spy(&view, &RangeParameterView::paramValueChanged);
    EXPECT_EQ(spy.count(), 0); // building reports nothing

    QTest::keyClick(view.spinbox, Qt::Key_PageUp); // ten steps from 9 stop at the maximum
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<QVariant>(), QVariant(10));
    QTest::keyClick(view.spinbox, Qt::Key_Down);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).value<QVariant>(), QVariant(9));

    typeInto(view.spinbox, "4");
    EXPECT_EQ(spy.count(), 2); // typing alone reports nothing
    QTest::keyClick(view.spinbox, Qt::Key_Return);
    ASSERT_GE(spy.count(), 3);
    EXPECT_EQ(spy.last().at(0).value<QVariant>(), QVariant(4));

    const int before = spy.count();
    emit view.spinbox->editingFinished(); // leaving unchanged reports the value again
    ASSERT_EQ(spy.count(), before + 1);
    EXPECT_EQ(spy.last().at(0).value<QVariant>(), QVariant(4));
}

TEST(RangeParameterView, WheelStepsLikeAnyOtherStep)
{
    RangeParameterView view(QVariant(0.0f), QVariant(3.0f), QVariant(1.0f), QString());
    QSignalSpy spy(&view, &RangeParameterView::paramValueChanged);
    sendWheelUp(view.spinbox);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<QVariant>(), QVariant(2.0));
}

// --- WheelEventFilter -------------------------------------------------------------

TEST(WheelEventFilter, SwallowsWheelLeavesItUnacceptedPassesOthers)
{
    EventCounter target;
    WheelEventFilter filter;
    target.installEventFilter(&filter);

    EXPECT_FALSE(sendWheelUp(&target));
    EXPECT_EQ(target.wheels, 0);

    QTest::keyClick(&target, Qt::Key_A);
    EXPECT_EQ(target.keys, 1);
}

// --- RangeParameterDetailedView ---------------------------------------------------

class DetailedView : public CameraFixture {
protected:
    std::unique_ptr<RangeParameterDetailedView> editor(const std::string& name)
    {
        handlerKept = handler(name);
        return std::unique_ptr<RangeParameterDetailedView>(
            qobject_cast<RangeParameterDetailedView*>(handlerKept->getDetailedDisplayWidget()));
    }
    float value(const std::string& name) { return handler(name)->get().value.toFloat(); }

    std::shared_ptr<ParamControl> handlerKept;
};

TEST_F(DetailedView, FloatRangesAndValueInBothControls)
{
    auto view = editor("mix_volt");
    ASSERT_TRUE(view);
    auto* spin = qobject_cast<QDoubleSpinBox*>(view->spinbox);
    ASSERT_NE(spin, nullptr);
    EXPECT_NEAR(spin->minimum(), 0.5, 1e-9);
    EXPECT_NEAR(spin->maximum(), 3.7, 1e-9);
    EXPECT_EQ(view->slider->minimum(), 0); // the whole positions that take in both limits
    EXPECT_EQ(view->slider->maximum(), 4);
    EXPECT_DOUBLE_EQ(spin->value(), 2.75);
    EXPECT_EQ(view->slider->value(), 2);
    EXPECT_EQ(view->slider->orientation(), Qt::Horizontal);
    EXPECT_EQ(view->layout->spacing(), 10);
    ASSERT_EQ(view->layout->count(), 3);
    EXPECT_EQ(qobject_cast<QLabel*>(view->layout->itemAt(2)->widget())->text(), "V");
    EXPECT_EQ(calls("mix_volt"), 0); // building writes nothing

    auto integer = editor("quad_cnt_max");
    EXPECT_NE(qobject_cast<QSpinBox*>(integer->spinbox), nullptr);
    EXPECT_EQ(integer->layout->count(), 2); // no unit, no label
}

TEST_F(DetailedView, DraggingTheSliderWritesWholeNumbers)
{
    auto view = editor("mix_volt");
    QSignalSpy changed(view.get(), &RangeParameterDetailedView::valueChanged);
    view->slider->setValue(3);
    EXPECT_DOUBLE_EQ(doubleValue(view->spinbox), 3.0);
    EXPECT_EQ(calls("mix_volt"), 1);
    EXPECT_FLOAT_EQ(value("mix_volt"), 3.0f);
    EXPECT_EQ(changed.count(), 1);

    view->slider->setValue(1);
    EXPECT_EQ(calls("mix_volt"), 2);
    EXPECT_FLOAT_EQ(value("mix_volt"), 1.0f);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(DetailedView, TheSliderReachesBothLimitsAndStandsWhereTheBoxReads)
{
    // 1.50 m to 7.49 m, each written through the nearest frequency step.
    auto view = editor("unambiguous_range");
    auto* spin = qobject_cast<QDoubleSpinBox*>(view->spinbox);
    ASSERT_TRUE(spin);
    QTest::keyClick(view->slider, Qt::Key_End);
    EXPECT_EQ(view->slider->value(), view->slider->maximum());
    EXPECT_DOUBLE_EQ(spin->value(), spin->maximum());
    EXPECT_NEAR(value("unambiguous_range"), spin->maximum(), 0.01);
    QTest::keyClick(view->slider, Qt::Key_Home);
    EXPECT_EQ(view->slider->value(), view->slider->minimum());
    EXPECT_DOUBLE_EQ(spin->value(), spin->minimum());
    EXPECT_NEAR(value("unambiguous_range"), spin->minimum(), 0.01);
    // 2 m reads back as 1.9986 m: the box shows 2.00 and the slider stays at 2.
    view->slider->setValue(2);
    EXPECT_NE(value("unambiguous_range"), 2.0f);
    EXPECT_DOUBLE_EQ(spin->value(), 2.0);
    EXPECT_EQ(view->slider->value(), 2);
}

TEST_F(DetailedView, ANumberTypedBeyondALimitIsTheLimit)
{
    auto view = editor("unambiguous_range");
    auto* spin = qobject_cast<QDoubleSpinBox*>(view->spinbox);
    ASSERT_TRUE(spin);
    typeInto(spin, "20");
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(spin->value(), spin->maximum());
    EXPECT_NEAR(value("unambiguous_range"), spin->maximum(), 0.01);
    EXPECT_EQ(view->slider->value(), view->slider->maximum());
    typeInto(spin, "0.5");
    QTest::keyClick(spin, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(spin->value(), spin->minimum());
    EXPECT_NEAR(value("unambiguous_range"), spin->minimum(), 0.01);

    // The compact editor's integer box too.
    RangeParameterView compact(QVariant(20), QVariant(1000), QVariant(200), QString());
    QSignalSpy reported(&compact, &RangeParameterView::paramValueChanged);
    typeInto(compact.spinbox, "5000");
    QTest::keyClick(compact.spinbox, Qt::Key_Return);
    ASSERT_EQ(reported.count(), 1);
    EXPECT_EQ(reported.at(0).at(0).value<QVariant>().toInt(), 1000);
}

TEST_F(DetailedView, TypedValueIsWrittenAndReadBack)
{
    auto view = editor("intg_time");
    QSignalSpy changed(view.get(), &RangeParameterDetailedView::valueChanged);
    typeInto(view->spinbox, "640");
    EXPECT_EQ(calls("intg_time"), 0);
    QTest::keyClick(view->spinbox, Qt::Key_Return);
    EXPECT_EQ(calls("intg_time"), 1);
    EXPECT_EQ(handler("intg_time")->get().value.toUInt(), 640u);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(view->slider->value(), 640);
    EXPECT_EQ(view->old_value.toUInt(), 640u);
}

TEST_F(DetailedView, LeavingUnchangedWritesNothing)
{
    auto view = editor("intg_time");
    QSignalSpy changed(view.get(), &RangeParameterDetailedView::valueChanged);
    emit view->spinbox->editingFinished();
    QTest::keyClick(view->spinbox, Qt::Key_Return);
    EXPECT_EQ(calls("intg_time"), 0);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(DetailedView, RoundedFloatIsNeverWrittenBackWhenOnlyLeaving)
{
    ASSERT_TRUE(camera->setf("illum_volt", 1.234f).ok);
    auto view = editor("illum_volt");
    EXPECT_DOUBLE_EQ(doubleValue(view->spinbox), 1.23);
    const int before = calls("illum_volt");

    emit view->spinbox->editingFinished();
    QTest::keyClick(view->spinbox, Qt::Key_Tab);
    EXPECT_EQ(calls("illum_volt"), before);
    EXPECT_FLOAT_EQ(value("illum_volt"), 1.234f);

    // A real change still goes through.
    QTest::keyClick(view->spinbox, Qt::Key_Up);
    EXPECT_EQ(calls("illum_volt"), before + 1);
    EXPECT_FLOAT_EQ(value("illum_volt"), 2.23f);
}

TEST_F(DetailedView, StepPastTheLimitWritesTheLimitOnce)
{
    ASSERT_TRUE(camera->setu("intg_time", 995).ok);
    auto view = editor("intg_time");
    const int before = calls("intg_time");
    QTest::keyClick(view->spinbox, Qt::Key_PageUp); // ten steps stop at 1000
    QTest::keyClick(view->spinbox, Qt::Key_PageUp); // already at the limit: nothing new
    EXPECT_EQ(calls("intg_time"), before + 1);
    EXPECT_EQ(handler("intg_time")->get().value.toUInt(), 1000u);
}

TEST_F(DetailedView, RefusedWriteShowsBoxAndRestores)
{
    auto view = editor("mix_volt");
    QSignalSpy changed(view.get(), &RangeParameterDetailedView::valueChanged);
    MessageBoxWatcher boxes;
    sim().failNext("set:mix_volt");

    typeInto(view->spinbox, "1.5");
    QTest::keyClick(view->spinbox, Qt::Key_Return);

    ASSERT_EQ(boxes.titles.size(), 1);
    EXPECT_EQ(boxes.titles.front(), "Parameter set failed");
    EXPECT_EQ(boxes.texts.front(), "Failed to set parameter \"mix_volt\"");
    EXPECT_EQ(calls("mix_volt"), 1);
    EXPECT_DOUBLE_EQ(doubleValue(view->spinbox), 2.75);
    EXPECT_EQ(view->slider->value(), 2);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FLOAT_EQ(value("mix_volt"), 2.75f);

    // The restored value is not an edit.
    emit view->spinbox->editingFinished();
    EXPECT_EQ(calls("mix_volt"), 1);
    EXPECT_EQ(boxes.titles.size(), 1);
}

// The one guard of the editors' writes: a refusal puts the editor back, then
// shows its box; a report made while the box is open is the same edit.
TEST_F(CameraFixture, AWriteGuardShowsARefusalOnceAfterPuttingBack)
{
    using Outcome = Kelvra::WriteGuard::Outcome;
    auto intg = handler("intg_time");
    Kelvra::WriteGuard guard;
    MessageBoxWatcher boxes;
    QStringList order;
    std::optional<Outcome> during;
    boxes.onShow = [&] {
        order << "box";
        during = guard.write(*intg, QVariant(400u), nullptr, "Again", "Again");
    };
    sim().failNext("set:intg_time");
    EXPECT_EQ(guard.write(*intg, QVariant(300u), nullptr, "Title", "Text", [&] { order << "put back"; }),
              Outcome::Refused);
    EXPECT_EQ(during, Outcome::Dropped);
    EXPECT_EQ(order, QStringList({"put back", "box"}));
    EXPECT_EQ(boxes.titles, QStringList{"Title"});
    EXPECT_EQ(boxes.texts, QStringList{"Text"});
    EXPECT_EQ(calls("intg_time"), 1);

    // The box closed: the next report is a write of its own.
    EXPECT_EQ(guard.write(*intg, QVariant(300u), nullptr, "Title", "Text"), Outcome::Written);
    EXPECT_EQ(intg->get().value.toUInt(), 300u);
    EXPECT_EQ(boxes.titles.size(), 1);
}

TEST_F(DetailedView, RefusedSliderMoveRestoresTheSlider)
{
    auto view = editor("mix_volt");
    MessageBoxWatcher boxes;
    sim().failNext("set:mix_volt");
    view->slider->setValue(1);
    EXPECT_EQ(boxes.titles.size(), 1);
    EXPECT_EQ(view->slider->value(), 2);
    EXPECT_DOUBLE_EQ(doubleValue(view->spinbox), 2.75);
}

TEST_F(DetailedView, ValueAlreadyHeldCountsAsSuccessWithoutWriting)
{
    auto view = editor("intg_time");
    ASSERT_TRUE(camera->setu("intg_time", 300).ok); // changed behind the editor's back
    const int before = calls("intg_time");
    QSignalSpy changed(view.get(), &RangeParameterDetailedView::valueChanged);
    typeInto(view->spinbox, "300");
    QTest::keyClick(view->spinbox, Qt::Key_Return);
    EXPECT_EQ(calls("intg_time"), before);
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(DetailedView, ControlsShowWhatIsReadBack)
{
    auto view = editor("depth_offset");
    typeInto(view->spinbox, "499");
    ASSERT_TRUE(camera->getParam("depth_offset"));
    // valueChanged() comes before the read-back: change the value in between.
    QObject::connect(view.get(), &RangeParameterDetailedView::valueChanged,
                     [this] { ASSERT_TRUE(camera->seti("depth_offset", -7).ok); });
    QTest::keyClick(view->spinbox, Qt::Key_Return);
    EXPECT_EQ(qobject_cast<QSpinBox*>(view->spinbox)->value(), -7);
    EXPECT_EQ(view->slider->value(), -7);
}

TEST_F(DetailedView, WheelChangesNeitherControl)
{
    auto view = editor("intg_time");
    sendWheelUp(view->slider);
    sendWheelUp(view->spinbox);
    EXPECT_EQ(view->slider->value(), 200);
    EXPECT_EQ(qobject_cast<QSpinBox*>(view->spinbox)->value(), 200);
    EXPECT_EQ(calls("intg_time"), 0);
}

TEST_F(DetailedView, WithoutAPreviousValueAnEditTriesTheWrite)
{
    sim().failNext("get:mix_volt");
    auto view = editor("mix_volt");
    EXPECT_FALSE(view->old_value.isValid());
    EXPECT_NEAR(qobject_cast<QDoubleSpinBox*>(view->spinbox)->maximum(), 3.7, 1e-9);

    // Refused: the box, and the controls stay as the user left them. A second
    // editing-finished while the box is open is not a second edit.
    MessageBoxWatcher boxes;
    boxes.onShow = [&] { emit view->spinbox->editingFinished(); };
    sim().failNext("set:mix_volt");
    typeInto(view->spinbox, "1.5");
    QTest::keyClick(view->spinbox, Qt::Key_Return);
    EXPECT_EQ(boxes.titles.size(), 1);
    EXPECT_EQ(calls("mix_volt"), 1);
    EXPECT_DOUBLE_EQ(doubleValue(view->spinbox), 1.5);
    EXPECT_FALSE(view->old_value.isValid());

    // Accepted: written, announced, and the value is known from then on.
    QSignalSpy changed(view.get(), &RangeParameterDetailedView::valueChanged);
    QTest::keyClick(view->spinbox, Qt::Key_Return);
    EXPECT_EQ(calls("mix_volt"), 2);
    EXPECT_FLOAT_EQ(value("mix_volt"), 1.5f);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(view->old_value.isValid());
    QTest::keyClick(view->spinbox, Qt::Key_Return);
    EXPECT_EQ(calls("mix_volt"), 2);
}

TEST_F(DetailedView, ReleasedHandlerTakesTheRefusalPath)
{
    auto view = editor("intg_time");
    handlerKept->releaseDepthCamera();
    handlerKept.reset(); // the editor keeps the handler alive
    MessageBoxWatcher boxes;
    QTest::keyClick(view->spinbox, Qt::Key_Up);
    EXPECT_EQ(boxes.texts, QStringList{"Failed to set parameter \"intg_time\""});
    EXPECT_EQ(calls("intg_time"), 0);
    EXPECT_EQ(qobject_cast<QSpinBox*>(view->spinbox)->value(), 200);
}

TEST_F(DetailedView, InitAfterAFailedReadKeepsControlsAndAppliesLimits)
{
    auto view = editor("intg_time");
    ASSERT_TRUE(camera->setu("intg_time", 700).ok);
    sim().failNext("get:intg_time");
    view->init();
    EXPECT_EQ(qobject_cast<QSpinBox*>(view->spinbox)->value(), 200);
    EXPECT_EQ(view->old_value.toUInt(), 200u);
    view->init();
    EXPECT_EQ(qobject_cast<QSpinBox*>(view->spinbox)->value(), 700);
    EXPECT_EQ(view->slider->value(), 700);
}

TEST(DetailedViewEdge, UnsignedLimitsAboveInt32AreClampedAndNeverWrittenBack)
{
    auto engine = std::make_shared<ParamTest::FakeEngine>();
    auto p = ParamTest::addParam(engine, ParamTest::makeSpec(ParamKind::Uint, "big", 5, 4000000000.0, 3000000000.0));
    auto h = ParamControl::getParamControl(engine, p);
    std::unique_ptr<RangeParameterDetailedView> view(
        qobject_cast<RangeParameterDetailedView*>(h->getDetailedDisplayWidget()));
    ASSERT_TRUE(view);
    auto* spin = qobject_cast<QSpinBox*>(view->spinbox);
    EXPECT_EQ(spin->minimum(), 5);
    EXPECT_EQ(spin->maximum(), INT_MAX);
    EXPECT_EQ(view->slider->minimum(), 5);
    EXPECT_EQ(view->slider->maximum(), INT_MAX);
    EXPECT_EQ(spin->value(), INT_MAX);

    emit spin->editingFinished();
    EXPECT_EQ(engine->writes("big"), 0);
    EXPECT_EQ(h->get().value.toUInt(), 3000000000u);

    spin->setValue(100);
    emit spin->editingFinished();
    EXPECT_EQ(engine->writes("big"), 1);
    EXPECT_EQ(h->get().value.toUInt(), 100u);
}
