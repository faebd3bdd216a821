#include "host/plot/LabelItem.h"

#include <QGraphicsTextItem>
#include <QTextDocument>

namespace Plot {

const QColor LabelItem::DefaultColor(200, 200, 200);

LabelItem::LabelItem(const QString& text, QGraphicsItem* parent)
    : QGraphicsWidget(parent), textItem_(new QGraphicsTextItem(this))
{
    textItem_->setDefaultTextColor(DefaultColor);
    textItem_->setAcceptedMouseButtons(Qt::NoButton);
    setFlag(ItemClipsChildrenToShape);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setText(text);
}

void LabelItem::setText(const QString& richText)
{
    text_ = richText;
    textItem_->setHtml(richText);
    updateGeometry();
    placeText();
}

void LabelItem::setColor(const QColor& color)
{
    textItem_->setDefaultTextColor(color);
}

QColor LabelItem::color() const
{
    return textItem_->defaultTextColor();
}

QSizeF LabelItem::sizeHint(Qt::SizeHint which, const QSizeF& constraint) const
{
    // Any width will do (the text is clipped), the height is the text's.
    const QSizeF t = textItem_->boundingRect().size();
    if (which == Qt::MinimumSize)
        return QSizeF(0, t.height());
    if (which == Qt::PreferredSize)
        return t;
    return QGraphicsWidget::sizeHint(which, constraint);
}

void LabelItem::resizeEvent(QGraphicsSceneResizeEvent* ev)
{
    QGraphicsWidget::resizeEvent(ev);
    placeText();
}

// Centred in the cell the layout gives.
void LabelItem::placeText()
{
    const QSizeF t = textItem_->boundingRect().size();
    textItem_->setPos((size().width() - t.width()) / 2.0, (size().height() - t.height()) / 2.0);
}

} // namespace Plot
