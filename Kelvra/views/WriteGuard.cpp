#include "Kelvra/views/WriteGuard.h"

#include "Kelvra/views/ParamControl.h"

#include <QMessageBox>

namespace Kelvra {

WriteGuard::Outcome WriteGuard::write(ParamControl& handler, const QVariant& value, QWidget* boxParent,
                                      const QString& title, const QString& text, const std::function<void()>& putBack)
{
    if (boxOpen_)
        return Outcome::Dropped;
    if (handler.set(value).ok)
        return Outcome::Written;
    boxOpen_ = true;
    if (putBack)
        putBack();
    QMessageBox::critical(boxParent, title, text);
    boxOpen_ = false;
    return Outcome::Refused;
}

} // namespace Kelvra
