#pragma once
// The host's point-cloud view: the XYZI points of the engine's newest frame
// set drawn as a projected scatter coloured by distance, redrawn per frame
// while shown. The view hub's displayConeToggle shows or hides the camera's
// field-of-view cone.

#include "host/base/DataView.h"
#include "host/engine/FrameImages.h"

#include <QImage>

class PointCloudView : public DataView {
    Q_OBJECT
public:
    explicit PointCloudView(DataEngine* dataEngine, QWidget* parent = nullptr);

    bool isShown() const { return isShow; }
    bool isConeShown() const { return coneShown; }
    // The picture drawn last (empty before the first frame).
    const QImage& picture() const { return image; }
    // Id of the frame set drawn last, -1 before the first.
    int64_t drawnFrameId() const { return drawnId; }

    QSize sizeHint() const override { return QSize(400, 300); }

public slots:
    void ShowView(bool isShow) override;
    void displayData() override;
    void setConeShown(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();

    bool isShow = true;
    bool coneShown = false;
    FrameImagesPtr drawn;
    int64_t drawnId = -1;
    QImage image;
};
