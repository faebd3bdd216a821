#include "Kelvra/views/PressableLabel.h"

namespace Kelvra {

PressableLabel::PressableLabel(QWidget* parent)
    : QLabel(parent)
{
}

void PressableLabel::mouseReleaseEvent(QMouseEvent*)
{
    emit clicked();
}

} // namespace Kelvra
