#pragma once
// How the main window and its docks take the screen: the window at its
// preferred size where the screen has room for it, else as much of the
// available area as fits, its frame included once the window manager has
// drawn one; the views' column beside the tabbed docks; the log, of fixed
// width, in a column of its own at the right edge where the window is wide
// enough for it, else floating over the window.

#include <QDockWidget>
#include <QMargins>
#include <QRect>
#include <QSize>

class QMainWindow;

class WindowLayout {
public:
    // Size the window takes when the screen has room for it.
    static constexpr QSize PREFERRED_SIZE{1600, 1000};
    // Share of the window's width the views' column takes at start.
    static constexpr double VIEW_COLUMN_SHARE = 0.38;

    // The docks are the window's: `upperView` over `lowerView` in the left
    // column, `tabbed` (with the docks tabbed behind it) on the right, and `log`.
    WindowLayout(QMainWindow* window, QDockWidget* upperView, QDockWidget* lowerView, QDockWidget* tabbed,
                 QDockWidget* log);

    // Where the window's frame goes on an available screen area when the
    // window manager draws `frame` around the window: the preferred size
    // where the whole frame fits, else as much of the area as it fits,
    // centred. The window itself is that rectangle less `frame`.
    static QRect fittedFrame(const QRect& available, const QMargins& frame, const QSize& preferred = PREFERRED_SIZE);
    // Whether a window of that width has room for the log's column beside
    // the views' and the tabbed docks' minimum widths.
    bool fitsLogColumn(int windowWidth) const;
    // Sizes and places the window and its docks for that available screen area.
    void layOutFor(const QRect& available);
    // The same for the screen the window is on.
    void layOutOnScreen();
    // Once the window manager has put its frame around the window: a frame
    // that does not fit the screen's available area is made to fit, once.
    void fitFrameToScreen();
    // After the window took a new geometry (it was at `before`): a floating
    // log that stood over it stays over it where it fits, and on the screen.
    void keepLogOnScreen(const QRect& before);

private:
    // The log in a column of its own when a window of that geometry has
    // room for it, else floating over it.
    void placeLogDock(const QRect& frame);

    QMainWindow* const window;
    QDockWidget* const upperView;
    QDockWidget* const lowerView;
    QDockWidget* const tabbed;
    QDockWidget* const log;
    const QDockWidget::DockWidgetFeatures logFeatures; // the log's own, for its column
    bool frameFitted = false; // the window manager's frame was seen and fitted
};
