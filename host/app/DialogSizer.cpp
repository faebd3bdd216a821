#include "host/app/DialogSizer.h"

#include "Kelvra/dialogs/CameraPickerDialog.h"
#include "Kelvra/dialogs/FilterSettingsDialog.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLayout>
#include <QListWidget>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

QSize DialogSizer::wantedSize(const QDialog* dialog)
{
    QSize wanted = dialog->size();
    if (const auto* picker = qobject_cast<const Kelvra::CameraPickerDialog*>(dialog)) {
        const QListWidget* list = picker->listview;
        const QMargins margins = picker->layout() ? picker->layout()->contentsMargins() : QMargins();
        const int rows = list->sizeHintForColumn(0) + 2 * list->frameWidth()
            + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
        wanted.setWidth(std::max(wanted.width(), rows + margins.left() + margins.right()));
    } else if (qobject_cast<const Kelvra::FilterSettingsDialog*>(dialog)) {
        const QSize rows = dialog->layout() ? dialog->layout()->totalSizeHint() : dialog->sizeHint();
        const int title = QFontMetrics(QApplication::font()).horizontalAdvance(dialog->windowTitle()) + TITLE_BAR_EXTRA;
        wanted = wanted.expandedTo(rows).expandedTo(QSize(title, 0));
    }
    return wanted;
}

bool DialogSizer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show)
        if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && dialog->isWindow()) {
            const QSize wanted = wantedSize(dialog);
            if (wanted != dialog->size())
                dialog->resize(wanted);
        }
    return QObject::eventFilter(watched, event);
}
