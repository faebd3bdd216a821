#pragma once
// The per-format view container the host and the view docks embed: a
// PlaneView for "amplitude" and "phase" (each container with a display format
// of its own), the host's PointCloudView for "pointcloud". It routes the
// engine's frameUpdated() to the view's displayData() and forwards resetView,
// ShowView and setStatusBar, announcing the first two (the docks' calls are
// thus visible to the host and to tests). A PlaneView's E and H keys export
// its picture and show or hide its "Threshold:" row.

#include <QString>
#include <QWidget>

#include <memory>

class DataEngine;
class DataFormat;
class DataView;
class PointCloudView;
class StatusMessageBar;

namespace Kelvra {
class PlaneView;
}

class DataViewContainer : public QWidget {
    Q_OBJECT
public:
    DataViewContainer(DataEngine* dataEngine, const QString& formatName, bool shouldLinkViewBox = false,
                      bool displayDepth = false, QWidget* parent = nullptr);
    ~DataViewContainer() override;

    QString getFormatName() const { return formatName; }
    // The embedded view; null for a format name without a view.
    DataView* view() const { return dataView; }
    Kelvra::PlaneView* planeView() const;
    PointCloudView* pointCloudView() const;

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
