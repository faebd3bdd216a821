#include "Kelvra/views/PairSpinBox.h"

#include "Kelvra/common/LimitSpinBox.h"

#include <QHBoxLayout>
#include <QLabel>

namespace Kelvra {

PairSpinBox::PairSpinBox(QWidget* parent, Qt::WindowFlags /*flags*/)
    : QWidget(parent)
    , xSpinBox(new LimitSpinBox<QSpinBox>())
    , ySpinBox(new LimitSpinBox<QSpinBox>())
{
    auto* layout = new QHBoxLayout();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(xSpinBox);
    layout->addWidget(new QLabel(QStringLiteral(",")));
    layout->addWidget(ySpinBox);
    setLayout(layout);
}

void PairSpinBox::setXY(int x, int y)
{
    xSpinBox->setValue(x);
    ySpinBox->setValue(y);
}

QList<int> PairSpinBox::getXY() const
{
    return {xSpinBox->value(), ySpinBox->value()};
}

void PairSpinBox::setRange(int x1, int x2, int y1, int y2)
{
    xSpinBox->setRange(x1, x2);
    ySpinBox->setRange(y1, y2);
}

void PairSpinBox::installEventFilter(QObject* filter)
{
    QWidget::installEventFilter(filter);
    xSpinBox->installEventFilter(filter);
    ySpinBox->installEventFilter(filter);
}

} // namespace Kelvra
