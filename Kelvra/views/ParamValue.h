#pragma once
// Value helpers of the parameter handlers and their editors (module-internal).

#include <QString>
#include <QVariant>

namespace Kelvra::paramvalue {

// Plain value text: decimal integers, "False"/"True", floats in the shortest
// form that reads back as the same value (a whole float keeps one decimal).
// A float is written by its own shortest digits, not by those of the double
// it widens to (0.1f is "0.1").
QString plainText(const QVariant& value);

// Plain equality in the type of `current` (no tolerance for floats); false
// when `value` does not convert to that type.
bool sameValue(const QVariant& current, const QVariant& value);

bool isIntegral(const QVariant& value);

// A number as a 32-bit signed control value: truncated toward zero and
// clamped into the int range (an unsigned limit above INT32_MAX becomes
// INT32_MAX, never a wrapped negative number).
int toControlInt(const QVariant& value);

} // namespace Kelvra::paramvalue
