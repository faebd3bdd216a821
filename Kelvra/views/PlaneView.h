#pragma once
// The 2D view of one image format ("amplitude" or "phase") of the data
// engine: the image in a zoomable area with a "Threshold:" slider for its
// display levels and, in views with the depth read-out, the pixel read-out
// line and the lens-clarity figure.

#include "Kelvra/views/ZoomViewBox.h"
#include "platform/base/DataView.h"
#include "platform/base/QxtSpanSlider.h"
#include "platform/plot/GraphicsLayoutWidget.h"
#include "platform/plot/ImageItem.h"
#include "platform/plot/LabelItem.h"
#include "Tavik/Common.h"

#include <QLabel>
#include <QMenu>
#include <QRectF>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <opencv2/core.hpp>

class QAction;

namespace Kelvra {

class StreamHub;
class PlaneView;

// The image area's context menu; the actions belong to the view.
class PlaneViewMenu : public QMenu {
    Q_OBJECT
public:
    explicit PlaneViewMenu(PlaneView* parent);

    QAction* resetAction;
    QAction* autoLevelsAction;
    QAction* exportAction;
};

class PlaneView : public DataView {
    Q_OBJECT
public:
    using Levels = Plot::ImageItem::Levels;
    using Pixel = std::array<int, 2>;

    // Count a histogram bin must exceed to take part in the automatic levels.
    static constexpr int HISTOGRAM_THRESHOLD = 10;
    static constexpr int HISTOGRAM_BINS = 100;

    PlaneView(DataEngine* dataEngine, DataFormat* dataFormat, bool displayDepth = false,
              std::optional<QRectF> sizeRect = std::nullopt, QWidget* parent = nullptr);
    ~PlaneView() override;

    // Hiding stops drawing and the read-out; showing restarts the frame count
    // and shows the engine's current picture.
    void ShowView(bool isShow) override;
    // Applies the format and restarts the frame count.
    void setDataFormat(DataFormat* dataFormat) override;
    void linkViewBox();
    void unlink() override;
    // Levels from the 100-bin histogram of the image shown now.
    void autoLevels() override;
    void updateImageLevels(double lower, double upper);
    // Saves the shown image as a time-stamped JPEG in "export_images".
    void exportImage();
    void getMousePosition(const QPointF& pos);
    void sendClickPosition(const Plot::MouseClickEvent& ev);
    void computeChangedRange();
    // Forgets the pixel under the mouse and empties the read-out line (the
    // host's call when frames of another size come).
    void clearReadOut();
    // The frame position shown at a position of the picture: the flips undone.
    // A position on a pixel's edge stays in that pixel.
    QPointF framePosition(const QPointF& picturePos) const;

    // The phase view's upper level from the camera's unambiguous range and
    // the depth scaling factor, with the format's integer scaling factor to
    // go with it (none: leave it). Nothing when the level stays or the inputs
    // are unusable (failed read, factor 0 or not finite).
    struct PhaseLevel {
        int upper;
        std::optional<int> scalingFactor;
    };
    static std::optional<PhaseLevel> phaseUpperLevel(double oldUpper, double depthScalingFactor,
                                                     const Tavik::Result<float>& range);

    // Read access for the host and for tests.
    std::int64_t getUpdateCount() const { return updateCount; }
    const Levels& getLevels() const { return levels; }
    bool isDisplayDepth() const { return displayDepth; }
    const std::optional<Pixel>& getPoint() const { return point; }
    const std::optional<QString>& getText() const { return text; }
    Plot::GraphicsLayoutWidget* getGraphicsWidget() const { return graphicsWidget; }
    ZoomViewBox* getViewBox() const { return viewBox; }
    Plot::ImageItem* getImageItem() const { return imageItem; }
    Plot::LabelItem* getLabel() const { return label; }
    QLabel* getSpanLabel() const { return spanLabel; }
    QxtSpanSlider* getSpanSlider() const { return spanSlider; }
    QLabel* getStatus() const { return status; }
    PlaneViewMenu* getMenu() const { return menu; }

public slots:
    void hFlipChanged(bool flip);
    void vFlipChanged(bool flip);
    void lensFocusingChanged(bool focusing);
    void setData();
    void updateDepthStatus();
    void resetView() override;
    void streamStarted();
    // Draws the current frame; called by the host once per new frame.
    void displayData() override;
    void updateLowerLevel(int lower);
    void updateUpperLevel(int upper);

signals:
    void dataAvailable();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Applies a format without touching the frame count (also used by resetView).
    void _setDataFormat(DataFormat* dataFormat);
    // The folder of the program as started; "export_images" goes inside it.
    virtual QString programFolder() const;

    std::int64_t updateCount = 0;
    bool isShow = true;
    bool flipud = false;
    bool fliplr = false;
    bool isLensFocusing = false;
    std::optional<Pixel> point;
    std::optional<QString> text;
    bool displayDepth;
    Plot::GraphicsLayoutWidget* graphicsWidget = nullptr;
    Plot::LabelItem* label = nullptr;
    ZoomViewBox* viewBox = nullptr;
    Plot::ImageItem* imageItem = nullptr;
    QLabel* spanLabel = nullptr;
    QxtSpanSlider* spanSlider = nullptr;
    QLabel* status = nullptr;
    StreamHub* depthCameraController = nullptr;
    Levels levels{{0.0, 0.0}};
    PlaneViewMenu* menu = nullptr;
    // Picture position of the pointer's last move over the image.
    std::optional<QPointF> pointerPos;
    // Size of the picture the range was last fitted to (0 x 0: to nothing),
    // none before the first fit; a picture of another size is fitted and
    // levelled, the first after nothing too.
    std::optional<std::array<int, 2>> fittedSize;

private:
    void drawFrame();
    // showImage, then a picture of another size than the range was fitted
    // to (or the first after nothing) is fitted and levelled on itself.
    cv::Mat showFitted(const cv::Mat& image);
    // Shows `image` with the flips and the view's levels; the picture shown.
    // With nothing to show, the view is blank: no picture, no read-out.
    cv::Mat showImage(const cv::Mat& image);
    // The engine's image of this view's format, kept under this name; empty
    // when there is none.
    const QString& channel() const;
    cv::Mat currentImage() const;
    // Whether the engine holds nothing to show (an empty image, as after its
    // frames were cleared), rather than lacking the image.
    bool showsNothing() const;
    // The current image shown again (after a reset or a flip); errors stay inside.
    void showCurrentImage();
    void pointAt(const QPointF& picturePos);
    // The pixel under the last pointer position again (after a flip).
    void followPointer();
    void applyPhaseUpperLevel();
    void showLensClarity(const cv::Mat& image);
};

} // namespace Kelvra
