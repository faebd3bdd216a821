#include "platform/plot/LabelItem.h"

#include <QEvent>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QTextDocument>

namespace Plot {

const QColor LabelItem::DefaultColor(200, 200, 200);

LabelItem::LabelItem(const QString& text, QGraphicsItem* parent)
    : QGraphicsWidget(parent)
    , textItem_(new QGraphicsTextItem(this))
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
    textPending_ = true;
    if (isOnScreen()) {
        showText();
        return;
    }
    // A view that comes to paint brings the text up to date first (see
    // itemChange). Its size is asked for again (and the text laid out then),
    // but the layout that holds it is left alone until then.
    QGraphicsLayoutItem::updateGeometry();
}

QVariant LabelItem::itemChange(GraphicsItemChange change, const QVariant& value)
{
    if (change == ItemSceneHasChanged && scene())
        for (QGraphicsView* view : scene()->views())
            view->viewport()->installEventFilter(this);
    return QGraphicsWidget::itemChange(change, value);
}

QGraphicsTextItem* LabelItem::textItem() const
{
    layOutText();
    return textItem_;
}

bool LabelItem::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && textPending_)
        showText();
    return QGraphicsWidget::eventFilter(watched, event);
}

// A dock tabbed away is moved out of the window, not hidden: what counts is
// whether some of a view is on the window.
bool LabelItem::isOnScreen() const
{
    if (scene())
        for (const QGraphicsView* view : scene()->views())
            if (view->isVisible() && !view->viewport()->visibleRegion().isEmpty())
                return true;
    return false;
}

void LabelItem::layOutText() const
{
    if (!textPending_)
        return;
    textPending_ = false;
    textItem_->setHtml(text_);
}

void LabelItem::showText()
{
    layOutText();
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
    layOutText();
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
    layOutText();
    const QSizeF t = textItem_->boundingRect().size();
    textItem_->setPos((size().width() - t.width()) / 2.0, (size().height() - t.height()) / 2.0);
}

} // namespace Plot
