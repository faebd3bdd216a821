#pragma once
// What the docks of one view share: the view container of one format in the
// scroll-area body, the status bar handed to it, drawing switched on and off
// with the dock's visibility, and a title that follows the stream
// controller's camera. The amplitude, phase and point-cloud docks differ only
// in what they pass to the constructor and in the name of their view field.

#include <QDockWidget>
#include <QString>

class DataEngine;
class DataViewContainer;
class QScrollArea;
class QVBoxLayout;
class StatusMessageBar;

namespace Kelvra {

class StreamHub;

class SingleViewDock : public QDockWidget {
    Q_OBJECT
public:
    // Hands the status bar to the view.
    void setStatusBar(StatusMessageBar* statusBar);
    // Keeps the controller; connects nothing (the host connects onDepthCameraSet).
    void setStreamHub(StreamHub* streamHub);

    QScrollArea* const scroller;
    DataEngine* const dataEngine;
    QVBoxLayout* const layout;
    StreamHub* streamHub = nullptr;

public slots:
    // The caption with a camera or a recording current, "Disconnect" without
    // (or before setStreamHub).
    void onDepthCameraSet();
    // Shown: resetView first where the dock asks for it, then ShowView(true);
    // hidden: ShowView(false), nothing else.
    void visibilityChangedHanling(bool visible);

protected:
    // What the view container is given besides the engine and the format.
    enum class ViewKeywords {
        Defaults, // the container's own
        LinkedWithDepth, // shouldLinkViewBox and displayDepth
    };
    // What showing the dock does to the view.
    enum class OnShow {
        ShowOnly,
        ResetThenShow,
    };

    // `caption` is the title at first and while a camera is selected.
    SingleViewDock(DataEngine* dataEngine, const QString& caption, int minimumHeight, const QString& formatName,
                   ViewKeywords keywords, OnShow onShow);

    // The container of `formatName`; each dock names it its own way.
    DataViewContainer* const view;

private:
    const QString caption;
    const OnShow onShow;
};

} // namespace Kelvra
