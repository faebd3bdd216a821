#pragma once
// The host's point-cloud view: the XYZI points of the engine's newest frame
// set in 3-D (PointCloudRenderer), coloured by depth or intensity. Dragging
// with the left button orbits the scene, the wheel zooms, the context menu
// resets the view and picks the colouring. The field-of-view cone starts
// shown and follows the view hub's displayConeToggle. Nothing is drawn while
// the view is hidden (ShowView(false)).

#include "platform/base/DataView.h"
#include "host/engine/FrameImages.h"
#include "host/engine/PointCloudRenderer.h"

#include <QImage>
#include <QPoint>

#include <cstdint>
#include <optional>

class QAction;
class QMenu;

class PointCloudView : public DataView {
    Q_OBJECT
public:
    // Degrees the orbit turns per pixel dragged; zoom factor per wheel notch.
    static constexpr float DEGREES_PER_PIXEL = 0.4f;
    static constexpr float ZOOM_PER_NOTCH = 1.15f;

    explicit PointCloudView(DataEngine* dataEngine, QWidget* parent = nullptr);

    bool isShown() const { return isShow; }
    bool isConeShown() const { return cloudRenderer.isConeShown(); }
    const PointCloudRenderer& renderer() const { return cloudRenderer; }
    // The picture drawn last (null before the first frame).
    const QImage& picture() const { return cloudRenderer.image(); }
    // Id of the frame set drawn last, -1 before the first.
    int64_t drawnFrameId() const { return drawn ? drawn->id : -1; }
    // Pictures drawn so far.
    int64_t renderCount() const { return renders; }
    QMenu* getMenu() const { return menu; }

    QSize sizeHint() const override { return QSize(400, 300); }

public slots:
    void ShowView(bool isShow) override;
    void displayData() override;
    // The default orbit and zoom, fitted again to the next cloud.
    void resetView() override;
    void setConeShown(bool shown);
    void setColorMode(PointCloudRenderer::ColorMode mode);
    // Draws only the points whose depth lies within these limits (metres,
    // either order); the kept cloud is drawn again at once.
    void setDepthLimits(double nearZ, double farZ);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Draws the kept set again (after a turn, a zoom or a resize) while shown.
    void redraw();
    void render();

    bool isShow = true;
    FrameImagesPtr drawn;
    int64_t renders = 0;
    PointCloudRenderer cloudRenderer;
    std::optional<QPoint> dragFrom;
    QMenu* menu = nullptr;
    QAction* depthColorAction = nullptr;
    QAction* intensityColorAction = nullptr;
};
