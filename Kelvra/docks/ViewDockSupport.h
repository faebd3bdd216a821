#pragma once
// What the view docks share: the scroll area that carries a dock's layout,
// the title that follows the controller's camera, and showing or hiding the
// embedded views with the dock.

#include "Kelvra/models/StreamHub.h"
#include "platform/base/DataViewContainer.h"

#include <QDockWidget>
#include <QBoxLayout>
#include <QScrollArea>
#include <QString>

#include <initializer_list>

namespace Kelvra::ViewDock {

inline const QString DISCONNECTED_TITLE = QStringLiteral("Disconnect");
inline constexpr int MINIMUM_WIDTH = 300;

// The caption while the controller holds a camera or a recording is its
// current source, "Disconnect" otherwise; a dock not yet handed a controller
// counts as having no camera.
inline QString cameraTitle(const StreamHub* streamHub, const QString& caption)
{
    if (!streamHub)
        return DISCONNECTED_TITLE;
    const auto source = streamHub->getCurrentSource();
    const bool recording = source && !source->isLiveStream();
    return streamHub->getDepthCamera() || recording ? caption : DISCONNECTED_TITLE;
}

// Installs `layout` on the scroll area itself (the area gets no content
// widget) and makes the area the dock's widget.
inline void install(QDockWidget* dock, QScrollArea* scroller, QLayout* layout)
{
    scroller->setLayout(layout);
    dock->setWidget(scroller);
}

// The body of a dock with one view: minimum size MINIMUM_WIDTH x
// `minimumHeight`, `view` in `layout` (a stretch when there is no view), the
// layout on `scroller`, `scroller` the dock's widget.
inline void buildSingleView(QDockWidget* dock, int minimumHeight, QScrollArea* scroller, QBoxLayout* layout,
                            DataViewContainer* view)
{
    dock->setMinimumWidth(MINIMUM_WIDTH);
    dock->setMinimumHeight(minimumHeight);
    if (view)
        layout->addWidget(view);
    else
        layout->addStretch();
    install(dock, scroller, layout);
}

// When `visible`, resets the views of `reset` in order; then hands `visible`
// to ShowView of every view of `shown`, in order.
inline void followVisibility(bool visible, std::initializer_list<DataViewContainer*> reset,
                             std::initializer_list<DataViewContainer*> shown)
{
    if (visible)
        for (DataViewContainer* view : reset)
            view->resetView();
    for (DataViewContainer* view : shown)
        view->ShowView(visible);
}

} // namespace Kelvra::ViewDock
