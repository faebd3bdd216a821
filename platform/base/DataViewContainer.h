#pragma once
// The per-format view container the host and the view docks embed. Its view
// comes from the factory the host installs at start-up (a PlaneView for
// "amplitude" and "phase", each container with a display format of its own;
// the point-cloud view for "pointcloud"). It routes the engine's
// frameUpdated() to the view's displayData() and forwards resetView, ShowView
// and setStatusBar, announcing the first two (the docks' calls are thus
// visible to the host and to tests).

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class DataEngine;
class DataFormat;
class DataView;
class StatusMessageBar;

class DataViewContainer : public QWidget {
    Q_OBJECT
public:
    // Makes the view of `format` (owned by the container, which outlives the
    // view) as a child of `parent`; null for a format it has no view for.
    using ViewFactory = std::function<DataView*(DataEngine* dataEngine, DataFormat* format, bool shouldLinkViewBox,
                                                bool displayDepth, QWidget* parent)>;
    // Used by every container made afterwards; without one a container
    // embeds no view.
    static void setViewFactory(ViewFactory factory);

    DataViewContainer(DataEngine* dataEngine, const QString& formatName, bool shouldLinkViewBox = false,
                      bool displayDepth = false, QWidget* parent = nullptr);
    ~DataViewContainer() override;

    QString getFormatName() const { return formatName; }
    // The embedded view; null for a format name without a view.
    DataView* view() const { return dataView; }
    // The embedded view when it is a `View`, else null.
    template <class View> View* viewAs() const { return qobject_cast<View*>(dataView); }

public slots:
    void resetView();
    void ShowView(bool isShow);
    void setStatusBar(StatusMessageBar* statusBar);

signals:
    // After the view has been reset or shown or hidden (also without a view).
    void resetViewCalled();
    void showViewCalled(bool isShow);

private:
    const QString formatName;
    std::unique_ptr<DataFormat> dataFormat; // the destructor deletes the view before it
    DataView* dataView = nullptr;
};
