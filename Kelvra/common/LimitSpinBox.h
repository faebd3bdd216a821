#pragma once
// The spin boxes of the viewer: a number typed beyond a limit is taken as
// that limit when editing finishes. Qt's own box would keep only the digits
// that fit ("30" of "300") or silently go back to its last value.

#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QString>
#include <QValidator>

namespace Kelvra {

template <class Base> class LimitSpinBox : public Base {
public:
    using Base::Base;

    QValidator::State validate(QString& input, int& pos) const override
    {
        const QValidator::State state = Base::validate(input, pos);
        if (state == QValidator::Invalid && beyondLimit(input) != 0)
            return QValidator::Intermediate;
        return state;
    }
    void fixup(QString& input) const override
    {
        if (const int beyond = beyondLimit(input); beyond != 0)
            input = this->textFromValue(beyond > 0 ? this->maximum() : this->minimum());
        else
            Base::fixup(input);
    }

private:
    // 1 for a number typed above the upper limit, -1 below the lower, else 0.
    int beyondLimit(const QString& input) const
    {
        bool ok = false;
        const double typed = this->locale().toDouble(input.trimmed(), &ok);
        return !ok ? 0 : typed > this->maximum() ? 1 : typed < this->minimum() ? -1 : 0;
    }
};

} // namespace Kelvra
