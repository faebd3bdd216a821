#include "host/app/WindowLayout.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace {

int minimumWidthOf(const QWidget* widget)
{
    return std::max(widget->minimumWidth(), widget->minimumSizeHint().width());
}

// `r` moved into `area` along each axis on which it fits there.
QRect keptWithin(QRect r, const QRect& area)
{
    if (r.width() <= area.width())
        r.moveLeft(std::clamp(r.left(), area.left(), area.right() - r.width() + 1));
    if (r.height() <= area.height())
        r.moveTop(std::clamp(r.top(), area.top(), area.bottom() - r.height() + 1));
    return r;
}

} // namespace

WindowLayout::WindowLayout(QMainWindow* window, QDockWidget* upperView, QDockWidget* lowerView, QDockWidget* tabbed,
                           QDockWidget* log)
    : window(window)
    , upperView(upperView)
    , lowerView(lowerView)
    , tabbed(tabbed)
    , log(log)
    , logFeatures(log->features())
{
}

QRect WindowLayout::fittedFrame(const QRect& available, const QMargins& frame, const QSize& preferred)
{
    const QSize outer = preferred.grownBy(frame).boundedTo(available.size());
    return QRect(available.x() + (available.width() - outer.width()) / 2,
                 available.y() + (available.height() - outer.height()) / 2, outer.width(), outer.height());
}

bool WindowLayout::fitsLogColumn(int windowWidth) const
{
    int tabs = minimumWidthOf(tabbed); // tabs share one place: the widest minimum counts
    for (const QDockWidget* dock : window->tabifiedDockWidgets(tabbed))
        tabs = std::max(tabs, minimumWidthOf(dock));
    const int separators = 2 * window->style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, window);
    return minimumWidthOf(upperView) + tabs + log->maximumWidth() + separators <= windowWidth;
}

void WindowLayout::layOutOnScreen()
{
    QScreen* onScreen = window->screen();
    layOutFor(onScreen ? onScreen->availableGeometry() : QRect(QPoint(0, 0), PREFERRED_SIZE));
}

void WindowLayout::layOutFor(const QRect& available)
{
    // Within the available area, whatever the window's minimum size asks.
    // The window manager's frame is not known before the window is shown:
    // fitFrameToScreen() makes room for it then.
    const QRect frame = fittedFrame(available, QMargins());
    window->resize(frame.size());
    window->move(frame.topLeft());
    // A shown window takes its new size later, from the window system.
    placeLogDock(frame);
    const QSize size = frame.size();
    const int logWidth = log->isFloating() ? 0 : log->maximumWidth();
    const int column = static_cast<int>(size.width() * VIEW_COLUMN_SHARE);
    window->resizeDocks({upperView, tabbed}, {column, size.width() - column - logWidth}, Qt::Horizontal);
    window->resizeDocks({upperView, lowerView}, {size.height() / 2, size.height() / 2}, Qt::Vertical);
}

void WindowLayout::placeLogDock(const QRect& frame)
{
    window->removeDockWidget(log);
    if (fitsLogColumn(frame.width())) {
        window->addDockWidget(Qt::RightDockWidgetArea, log, Qt::Horizontal); // right of the tabbed docks
        // Anywhere else its fixed width would leave an empty band beside it
        // (as a tab, or in a column with other docks): a drag of its title
        // never docks it; the float button takes it out and back.
        log->setFeatures(logFeatures & ~QDockWidget::DockWidgetMovable);
        log->setFloating(false); // docks it where it was just added
        log->show();
    } else {
        // Over the bottom right of the window, above the tabs and the status
        // bar, where the views and pages, which start at the top, leave most
        // room. Shown once the window is: a window manager keeps a tool
        // window above the window it belongs to only when that one was there first.
        log->setFloating(true);
        // No column to go back to: a drag of its title only moves it, and
        // neither a float button nor a double click docks it.
        log->setFeatures(logFeatures & ~(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable));
        const int height = std::max(log->minimumHeight(), frame.height() / 3);
        log->setGeometry(frame.right() - log->maximumWidth() - 8, frame.bottom() - height - 70, log->maximumWidth(),
                         height);
        log->setVisible(window->isVisible());
    }
}

void WindowLayout::fitFrameToScreen()
{
    if (frameFitted || !window->isVisible() || (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QRect outer = window->frameGeometry(), inner = window->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    if (frame.isNull())
        return; // no window manager, or its frame not there yet
    frameFitted = true;
    QScreen* onScreen = window->screen();
    if (!onScreen || onScreen->availableGeometry().contains(outer))
        return;
    const QRect fitted = fittedFrame(onScreen->availableGeometry(), frame, window->size());
    window->resize(fitted.size().shrunkBy(frame));
    window->move(fitted.topLeft()); // a window's position is its frame's
}

void WindowLayout::keepLogOnScreen(const QRect& before)
{
    if (!log->isFloating())
        return;
    QRect r = log->geometry();
    if (before.isValid() && before.contains(r))
        r = keptWithin(r, window->geometry()); // over the window it was over
    if (const QScreen* onScreen = window->screen())
        r = keptWithin(r, onScreen->availableGeometry());
    if (r != log->geometry())
        log->move(r.topLeft());
}
