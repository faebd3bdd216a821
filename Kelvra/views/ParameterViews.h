#pragma once
// Editor widgets of the parameter handlers: the compact editors that report a
// value, and the slider editor that writes through its handler.

#include "Kelvra/views/ParamControl.h"
#include "Kelvra/views/WriteGuard.h"

#include <QComboBox>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <memory>

class QAbstractSpinBox;
class QHBoxLayout;
class QSlider;

namespace Kelvra {

// Compact editor of an enumerated or boolean parameter: reports the allowed
// value the user picks; writes nothing itself.
class EnumParameterView : public QComboBox {
    Q_OBJECT
public:
    EnumParameterView(const QVariantList& values, const QStringList& displayValues, const QVariant& current,
                      QWidget* parent = nullptr);

    // The value of the current item, or nothing (an invalid QVariant) when the
    // current item stands for no value. Right after construction it is the
    // value the editor shows.
    Q_INVOKABLE QVariant getValue() const;
    // Shows the item of `value`, if any, without reporting it.
    void showValue(const QVariant& value);
    // A read-only parameter: shown, not offered for choice.
    void setReadOnly(bool readOnly);

    QVariantList values;

signals:
    void paramValueChanged(const QVariant& value);

public slots:
    void indexChanged(int index);
};

// Compact editor of a numeric parameter: a spin box (integer when `minimum`
// is an integer) and an optional unit label; reports its value on every step
// and when editing finishes. Integer limits and values are clamped into the
// spin box's 32-bit signed range; a number typed beyond a limit is the limit.
class RangeParameterView : public QWidget {
    Q_OBJECT
public:
    RangeParameterView(const QVariant& minimum, const QVariant& maximum, const QVariant& current, const QString& unit,
                       QWidget* parent = nullptr);

    void stepBy(QAbstractSpinBox* spinbox, int value);
    // The spin box's value: int or double. Right after construction it is the
    // value the editor shows.
    Q_INVOKABLE QVariant getValue() const;
    // Shows `value` without reporting it.
    void showValue(const QVariant& value);
    // A read-only parameter: shown without arrows on grey, neither editable
    // nor taking the focus, and nothing reported.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return readOnly; }

    QHBoxLayout* layout;
    QAbstractSpinBox* spinbox;
    std::function<void(int)> oldStepBy; // the spin box's own stepping

signals:
    void paramValueChanged(const QVariant& value);

public slots:
    void editFinished();

private:
    bool readOnly = false;
};

// Keeps mouse-wheel turns from the watched object and leaves them unaccepted,
// so the enclosing widgets (a scroll area) get them instead.
class WheelEventFilter : public QObject {
    Q_OBJECT
public:
    explicit WheelEventFilter(QObject* parent = nullptr);
    bool eventFilter(QObject* obj, QEvent* event) override;
};

// Slider editor of a numeric parameter that writes by itself through its
// handler: a refused write shows a message box and puts the controls back,
// a successful one emits valueChanged() and reads limits and value back. The
// slider's ends stand for the limits (a float limit between two whole
// positions gets the outer one), so a drag or Home and End reach both; a
// number typed beyond a limit is the limit.
class RangeParameterDetailedView : public QWidget {
    Q_OBJECT
public:
    RangeParameterDetailedView(std::shared_ptr<RangeParamControl> paramHandler, const QString& unit, bool isInteger,
                               QWidget* parent = nullptr);

    void stepBy(QAbstractSpinBox* spinbox, int value);

    QHBoxLayout* layout;
    std::shared_ptr<RangeParamControl> paramHandler;
    QSlider* slider;
    QAbstractSpinBox* spinbox; // QSpinBox or QDoubleSpinBox
    std::function<void(int)> oldStepBy;
    QVariant old_value; // last value known to be in the parameter; invalid until read

signals:
    void valueChanged();

public slots:
    void init();
    void updateSpinBox();
    void updateParam();
    // A read-only parameter: the value shown, the controls not editable.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return readOnly; }

private:
    QVariant spinValue() const;
    void showValue(const QVariant& value); // both controls, signals blocked
    // Where the slider stands for the spin box's value: at its ends for the
    // limits, else at the value truncated.
    int sliderPosition() const;

    // What the spin box showed for old_value. Edits are compared with this,
    // so a value the spin box shows rounded is never written back unchanged.
    QVariant shownValue_;
    WriteGuard writeGuard_;
    bool readOnly = false;
};

} // namespace Kelvra
