#pragma once
// A text item for a graphics layout; takes rich text.
//
// Laying out rich text is costly, and a label in a dock tabbed away may get a
// new text with every frame: while no view of its scene shows on the window,
// the label only keeps the text, and lays it out when a view comes to paint
// (or when its text item or its size is asked for).

#include <QGraphicsWidget>

class QGraphicsTextItem;

namespace Plot {

class LabelItem : public QGraphicsWidget {
    Q_OBJECT
public:
    // Light grey, so that text shows on the black backgrounds of the views.
    static const QColor DefaultColor;

    explicit LabelItem(const QString& text = QString(), QGraphicsItem* parent = nullptr);

    void setText(const QString& richText);
    QString text() const { return text_; }
    void setColor(const QColor& color);
    QColor color() const;
    // Holds the current text.
    QGraphicsTextItem* textItem() const;

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;
    void resizeEvent(QGraphicsSceneResizeEvent* ev) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Watches the paints of the views of the scene it joins.
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;

private:
    bool isOnScreen() const;
    // Lays the kept text out in the text item, if not done yet.
    void layOutText() const;
    void showText();
    void placeText();

    QGraphicsTextItem* textItem_;
    QString text_;
    mutable bool textPending_ = false;
};

} // namespace Plot
