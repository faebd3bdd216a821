#pragma once
// A text item for a graphics layout; takes rich text.

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
    QGraphicsTextItem* textItem() const { return textItem_; }

protected:
    QSizeF sizeHint(Qt::SizeHint which, const QSizeF& constraint = QSizeF()) const override;
    void resizeEvent(QGraphicsSceneResizeEvent* ev) override;

private:
    void placeText();

    QGraphicsTextItem* textItem_;
    QString text_;
};

} // namespace Plot
