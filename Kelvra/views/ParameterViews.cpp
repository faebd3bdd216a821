// Editor widgets of the parameter handlers.

#include "Kelvra/views/ParameterViews.h"

#include "Kelvra/common/LimitSpinBox.h"
#include "Kelvra/views/ParamValue.h"

#include <QDoubleSpinBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSizePolicy>
#include <QSlider>
#include <QSpinBox>

#include <cmath>
#include <utility>

namespace Kelvra {

using paramvalue::isIntegral;
using paramvalue::sameValue;
using paramvalue::toControlInt;

namespace {

// A spin box whose steps (arrows, keys, wheel) go to a hook; the hook runs the
// box's own stepping through baseStepBy.
template <class Base> class StepHookSpinBox : public LimitSpinBox<Base> {
public:
    std::function<void(int)> stepHook;
    void stepBy(int steps) override
    {
        if (stepHook)
            stepHook(steps);
        else
            LimitSpinBox<Base>::stepBy(steps);
    }
    void baseStepBy(int steps) { LimitSpinBox<Base>::stepBy(steps); }
};
using IntSpinBox = StepHookSpinBox<QSpinBox>;
using DoubleSpinBox = StepHookSpinBox<QDoubleSpinBox>;

// Builds a hooked spin box of the wanted kind and hands back its own stepping.
QAbstractSpinBox* makeSpinBox(bool isInteger, std::function<void(int)> hook, std::function<void(int)>& oldStepBy)
{
    if (isInteger) {
        auto* box = new IntSpinBox();
        box->stepHook = std::move(hook);
        oldStepBy = [box](int steps) { box->baseStepBy(steps); };
        return box;
    }
    auto* box = new DoubleSpinBox();
    box->stepHook = std::move(hook);
    oldStepBy = [box](int steps) { box->baseStepBy(steps); };
    return box;
}

QVariant spinBoxValue(const QAbstractSpinBox* box)
{
    if (auto* i = qobject_cast<const QSpinBox*>(box))
        return QVariant(i->value());
    if (auto* d = qobject_cast<const QDoubleSpinBox*>(box))
        return QVariant(d->value());
    return QVariant();
}

void setSpinBoxValue(QAbstractSpinBox* box, const QVariant& value)
{
    if (auto* i = qobject_cast<QSpinBox*>(box))
        i->setValue(toControlInt(value));
    else if (auto* d = qobject_cast<QDoubleSpinBox*>(box))
        d->setValue(value.toDouble());
}

// Limits of an integer spin box stay within 32-bit signed values, so a large
// unsigned limit can never wrap into an inverted range.
void setSpinBoxRange(QAbstractSpinBox* box, const QVariant& minimum, const QVariant& maximum)
{
    if (auto* i = qobject_cast<QSpinBox*>(box)) {
        i->setMinimum(toControlInt(minimum));
        i->setMaximum(toControlInt(maximum));
    } else if (auto* d = qobject_cast<QDoubleSpinBox*>(box)) {
        d->setMinimum(minimum.toDouble());
        d->setMaximum(maximum.toDouble());
    }
}

// Whether the spin box stands at its upper (1) or lower (-1) limit, or between (0).
int atLimit(const QAbstractSpinBox* box)
{
    if (auto* i = qobject_cast<const QSpinBox*>(box))
        return i->value() >= i->maximum() ? 1 : i->value() <= i->minimum() ? -1 : 0;
    if (auto* d = qobject_cast<const QDoubleSpinBox*>(box))
        return d->value() >= d->maximum() ? 1 : d->value() <= d->minimum() ? -1 : 0;
    return 0;
}

// The slider's end for a limit: the whole position at or beyond it, where the
// spin box then takes the limit itself, so that a drag reaches both limits.
int sliderEnd(const QVariant& limit, bool upper)
{
    if (isIntegral(limit))
        return toControlInt(limit);
    const double v = limit.toDouble();
    return toControlInt(QVariant(upper ? std::ceil(v) : std::floor(v)));
}

// A spin box that shows a value the user cannot change, and looks it: on the
// window's grey, without arrows, never taking the focus (nor its frame).
void showReadOnly(QAbstractSpinBox* box, bool readOnly)
{
    box->setReadOnly(readOnly);
    box->setButtonSymbols(readOnly ? QAbstractSpinBox::NoButtons : QAbstractSpinBox::UpDownArrows);
    box->setFocusPolicy(readOnly ? Qt::NoFocus : Qt::WheelFocus);
    if (readOnly) {
        box->clearFocus();
        QPalette grey = box->palette();
        grey.setColor(QPalette::Base, grey.color(QPalette::Window));
        box->setPalette(grey);
    } else {
        box->setPalette(QPalette()); // the inherited one again
    }
}

} // namespace

// --- EnumParameterView ---------------------------------------------------------

EnumParameterView::EnumParameterView(const QVariantList& values, const QStringList& displayValues,
                                     const QVariant& current, QWidget* parent)
    : QComboBox(parent)
    , values(values)
{
    addItems(displayValues);
    if (current.isValid()) {
        for (int i = 0; i < this->values.size(); ++i) {
            if (sameValue(this->values[i], current)) {
                setCurrentIndex(i);
                break;
            }
        }
    }
    setAutoFillBackground(true);
    setContentsMargins(0, 0, 0, 0);
    connect(this, qOverload<int>(&QComboBox::currentIndexChanged), this, &EnumParameterView::indexChanged);
}

QVariant EnumParameterView::getValue() const
{
    const int index = currentIndex();
    if (index >= 0 && index < values.size())
        return values[index];
    return QVariant();
}

void EnumParameterView::showValue(const QVariant& value)
{
    for (int i = 0; i < values.size(); ++i) {
        if (sameValue(values[i], value)) {
            const QSignalBlocker block(this);
            setCurrentIndex(i);
            return;
        }
    }
}

void EnumParameterView::setReadOnly(bool readOnly)
{
    setEnabled(!readOnly);
}

void EnumParameterView::indexChanged(int index)
{
    if (index >= 0 && index < values.size())
        emit paramValueChanged(values[currentIndex()]);
}

// --- RangeParameterView --------------------------------------------------------

RangeParameterView::RangeParameterView(const QVariant& minimum, const QVariant& maximum, const QVariant& current,
                                       const QString& unit, QWidget* parent)
    : QWidget(parent)
    , layout(new QHBoxLayout())
{
    spinbox = makeSpinBox(
        isIntegral(minimum), [this](int steps) { stepBy(spinbox, steps); }, oldStepBy);
    setSpinBoxRange(spinbox, minimum, maximum);
    setSpinBoxValue(spinbox, current);
    spinbox->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout->addWidget(spinbox);
    if (!unit.isEmpty())
        layout->addWidget(new QLabel(unit));
    setLayout(layout);
    spinbox->setFocus();
    setAutoFillBackground(true);
    setContentsMargins(0, 0, 0, 0);
    layout->setContentsMargins(0, 0, 0, 0);
    setFocusProxy(spinbox);
    connect(spinbox, &QAbstractSpinBox::editingFinished, this, &RangeParameterView::editFinished);
}

void RangeParameterView::stepBy(QAbstractSpinBox* /*spinbox*/, int value)
{
    if (readOnly)
        return;
    oldStepBy(value);
    emit paramValueChanged(getValue());
}

void RangeParameterView::editFinished()
{
    if (!readOnly)
        emit paramValueChanged(getValue());
}

void RangeParameterView::setReadOnly(bool on)
{
    readOnly = on;
    showReadOnly(spinbox, on);
}

QVariant RangeParameterView::getValue() const
{
    return spinBoxValue(spinbox);
}

void RangeParameterView::showValue(const QVariant& value)
{
    const QSignalBlocker block(spinbox);
    setSpinBoxValue(spinbox, value);
}

// --- WheelEventFilter ----------------------------------------------------------

WheelEventFilter::WheelEventFilter(QObject* parent)
    : QObject(parent)
{
}

bool WheelEventFilter::eventFilter(QObject* obj, QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(obj, event);
}

// --- RangeParameterDetailedView ------------------------------------------------

RangeParameterDetailedView::RangeParameterDetailedView(std::shared_ptr<RangeParamControl> paramHandler,
                                                       const QString& unit, bool isInteger, QWidget* parent)
    : QWidget(parent)
    , layout(new QHBoxLayout())
    , paramHandler(std::move(paramHandler))
    , slider(new QSlider(Qt::Horizontal))
{
    layout->setSpacing(10);
    layout->setContentsMargins(0, 0, 0, 0);
    slider->setMinimumWidth(100);
    slider->setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Preferred);
    layout->addWidget(slider);

    spinbox = makeSpinBox(
        isInteger, [this](int steps) { stepBy(spinbox, steps); }, oldStepBy);
    slider->installEventFilter(new WheelEventFilter(this));
    spinbox->installEventFilter(new WheelEventFilter(this));
    layout->addWidget(spinbox);
    if (!unit.isEmpty())
        layout->addWidget(new QLabel(unit));
    setLayout(layout);

    connect(slider, &QSlider::valueChanged, this, &RangeParameterDetailedView::updateSpinBox);
    connect(spinbox, &QAbstractSpinBox::editingFinished, this, &RangeParameterDetailedView::updateParam);
    init();
}

QVariant RangeParameterDetailedView::spinValue() const
{
    return spinBoxValue(spinbox);
}

void RangeParameterDetailedView::showValue(const QVariant& value)
{
    const QSignalBlocker blockSpin(spinbox);
    const QSignalBlocker blockSlider(slider);
    setSpinBoxValue(spinbox, value);
    slider->setValue(sliderPosition());
}

int RangeParameterDetailedView::sliderPosition() const
{
    // From what the spin box shows: 1.9986 shows as 2.00 and stands at 2.
    const int limit = atLimit(spinbox);
    return limit > 0 ? slider->maximum() : limit < 0 ? slider->minimum() : toControlInt(spinValue());
}

void RangeParameterDetailedView::init()
{
    if (!paramHandler)
        return;
    const QVariant lower = paramHandler->getLowerLimit();
    const QVariant upper = paramHandler->getUpperLimit();
    {
        const QSignalBlocker blockSpin(spinbox);
        const QSignalBlocker blockSlider(slider);
        setSpinBoxRange(spinbox, lower, upper);
        slider->setRange(sliderEnd(lower, false), sliderEnd(upper, true));
    }
    const ParamControl::Result read = paramHandler->get();
    if (!read.ok)
        return;
    showValue(read.value);
    old_value = read.value;
    shownValue_ = spinValue();
}

void RangeParameterDetailedView::updateSpinBox()
{
    {
        const QSignalBlocker blockSpin(spinbox);
        setSpinBoxValue(spinbox, QVariant(slider->value()));
    }
    updateParam();
}

void RangeParameterDetailedView::stepBy(QAbstractSpinBox* /*spinbox*/, int value)
{
    oldStepBy(value);
    updateParam();
}

void RangeParameterDetailedView::setReadOnly(bool on)
{
    readOnly = on;
    showReadOnly(spinbox, on);
    slider->setEnabled(!on);
}

void RangeParameterDetailedView::updateParam()
{
    if (!paramHandler || readOnly)
        return;
    const QVariant value = spinValue();
    // Compared with what the spin box showed for the parameter's value, so
    // leaving or tabbing through a rounded display writes nothing.
    if (old_value.isValid() && sameValue(shownValue_, value))
        return;

    // A refusal puts the controls back before the box; with no value ever
    // read there is nothing to put back.
    const WriteGuard::Outcome outcome = writeGuard_.write(
        *paramHandler, value, this, QStringLiteral("Parameter set failed"),
        QStringLiteral("Failed to set parameter \"") + paramHandler->getName() + QStringLiteral("\""), [this] {
            if (old_value.isValid()) {
                showValue(old_value);
                shownValue_ = spinValue();
            }
        });
    if (outcome != WriteGuard::Outcome::Written)
        return;
    {
        const QSignalBlocker blockSlider(slider);
        slider->setValue(sliderPosition());
    }
    old_value = value;
    shownValue_ = value;
    emit valueChanged();
    init();
}

} // namespace Kelvra
