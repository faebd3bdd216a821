#pragma once
// The one way an editor writes a value through its handler and shows a
// refusal. The refusal box takes the focus from the editor, which then
// reports its value again: that report is the same edit, so while the box is
// open the guard writes nothing and shows no second box.

#include <QString>
#include <QVariant>

#include <functional>

class QWidget;

namespace Kelvra {

class ParamControl;

class WriteGuard {
public:
    enum class Outcome { Written, Refused, Dropped };

    // Writes `value` through the handler. Refused: `putBack` runs (the editor
    // shows what the parameter holds), then the modal critical box with
    // `title` and `text`. Dropped: a report made while that box is open.
    Outcome write(ParamControl& handler, const QVariant& value, QWidget* boxParent, const QString& title,
                  const QString& text, const std::function<void()>& putBack = nullptr);

private:
    bool boxOpen_ = false;
};

} // namespace Kelvra
