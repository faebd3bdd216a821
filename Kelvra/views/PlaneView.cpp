#include "Kelvra/views/PlaneView.h"
#include "platform/base/DataChannels.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/models/StreamHub.h"
#include "platform/base/DataEngine.h"
#include "platform/base/DataFormat.h"
#include "platform/base/StatusMessageBar.h"
#include "platform/base/ViewCommunicator.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QMessageBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <opencv2/imgproc.hpp>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace Kelvra {

namespace {

QString lensClarityText(const QString& figure)
{
    return QStringLiteral(" <span style='font-size: 20pt'>Len clarity : <span style='color: red'> ") + figure
        + QStringLiteral("  </span>    ");
}

// A modal box whose text is shown as it is.
void showPlainText(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// Integer part of a value for "%d"-style output; NaN reads as 0 and the
// value is held inside the range of the type.
long long truncated(double value)
{
    if (!std::isfinite(value))
        return std::isnan(value)
            ? 0
            : (value > 0 ? std::numeric_limits<long long>::max() : std::numeric_limits<long long>::min());
    constexpr double limit = 9.2e18;
    return static_cast<long long>(std::trunc(std::max(-limit, std::min(limit, value))));
}

int toInt(double value)
{
    return static_cast<int>(
        std::clamp<long long>(truncated(value), std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A factor that may divide: finite and not zero.
bool usableDivisor(double value)
{
    return std::isfinite(value) && value != 0.0;
}

// The image stored under `name`, or an empty matrix when the entry is missing
// or holds nothing.
cv::Mat entry(const DataEngine& engine, const QString& name)
{
    const DataEngine::Images& images = engine.data();
    const auto it = images.constFind(name);
    return it == images.constEnd() ? cv::Mat() : it.value();
}

bool contains(const cv::Mat& image, const PlaneView::Pixel& p)
{
    return p[0] >= 0 && p[1] >= 0 && p[0] < image.rows && p[1] < image.cols;
}

// Value at [x][y] of a single-channel image of any element type.
double valueAt(const cv::Mat& image, int x, int y)
{
    cv::Mat one;
    image(cv::Rect(y, x, 1, 1)).convertTo(one, CV_64F);
    return one.at<double>(0, 0);
}

// Runs a slot's work; an error (an image the item or the flip refuses) is
// printed and stays here.
template <class Work> void guarded(const char* where, Work&& work)
{
    try {
        work();
    } catch (const std::exception& e) {
        diag::printLine(diag::tuple(where, std::string(e.what())));
    } catch (...) {
        diag::printLine(diag::tuple(where, "unknown error"));
    }
}

// The view whose pointer position the status bar shows now.
const PlaneView* pointerOwner = nullptr;

// A position mirrored within [0, extent): a position on a pixel's left edge
// maps into the mirrored pixel, not onto the edge of the next one.
double mirrored(double position, int extent)
{
    const double m = extent - position;
    return m == std::floor(m) ? std::nextafter(m, -std::numeric_limits<double>::infinity()) : m;
}

QAction* addMenuAction(QMenu* menu, PlaneView* parent, const char* icon, const QString& text, const QString& shortcut,
                       void (PlaneView::*slot)())
{
    auto* action = new QAction(QIcon::fromTheme(QString::fromLatin1(icon)), text, parent);
    action->setShortcut(QKeySequence(shortcut));
    QObject::connect(action, &QAction::triggered, parent, [parent, slot] { (parent->*slot)(); });
    menu->addAction(action);
    return action;
}

} // namespace

PlaneViewMenu::PlaneViewMenu(PlaneView* parent)
    : QMenu(parent)
{
    resetAction =
        addMenuAction(this, parent, "reset", QStringLiteral("&Reset view"), QStringLiteral("R"), &PlaneView::resetView);
    autoLevelsAction = addMenuAction(this, parent, "auto", QStringLiteral("Upd&ate Thresholds"), QStringLiteral("A"),
                                     &PlaneView::autoLevels);
    addSeparator();
    exportAction = addMenuAction(this, parent, "export", QStringLiteral("&Export Image"), QStringLiteral("E"),
                                 &PlaneView::exportImage);
}

PlaneView::PlaneView(DataEngine* dataEngine, DataFormat* dataFormat, bool displayDepth, std::optional<QRectF> sizeRect,
                     QWidget* parent)
    : DataView(dataEngine, dataFormat, parent)
    , displayDepth(displayDepth)
{
    graphicsWidget = new Plot::GraphicsLayoutWidget();
    graphicsWidget->setBackground(QColor(0, 0, 0, 255));
    label = new Plot::LabelItem();

    auto* imageRow = new QHBoxLayout();
    imageRow->setContentsMargins(0, 0, 0, 0);
    viewBox = new ZoomViewBox();
    graphicsWidget->addItem(viewBox, 0, 0);
    connect(viewBox, &Plot::ViewBox::sigRangeChanged, this, [this] { computeChangedRange(); });
    imageItem = new Plot::ImageItem();
    viewBox->addItem(imageItem);
    if (sizeRect) {
        viewBox->setRange(*sizeRect);
        fittedSize = std::array<int, 2>{{static_cast<int>(sizeRect->width()), static_cast<int>(sizeRect->height())}};
    }
    imageRow->addWidget(graphicsWidget);
    connect(viewBox, &ZoomViewBox::resetView, this, &PlaneView::resetView);
    connect(viewBox, &ZoomViewBox::autoHistogram, this, [this] { autoLevels(); });

    auto* layout = new QVBoxLayout();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addLayout(imageRow);

    auto* sliderRow = new QHBoxLayout();
    spanLabel = new QLabel(QStringLiteral("Threshold:"));
    sliderRow->addWidget(spanLabel);
    spanSlider = new QxtSpanSlider();
    connect(spanSlider, &QxtSpanSlider::lowerPositionChanged, this, &PlaneView::updateLowerLevel);
    connect(spanSlider, &QxtSpanSlider::upperPositionChanged, this, &PlaneView::updateUpperLevel);
    sliderRow->addWidget(spanSlider);
    layout->addLayout(sliderRow);

    auto* statusRow = new QHBoxLayout();
    status = new QLabel(this);
    status->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    // A long read-out never widens the view (and the window): where the
    // column is too narrow for one line it wraps onto the next.
    status->setMinimumWidth(1);
    status->setWordWrap(true);
    status->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Monospace"), 12);
    font.setStyleHint(QFont::TypeWriter);
    status->setFont(font);
    if (displayDepth) {
        statusRow->addWidget(status);
        dataEngine->connectData(DataChannels::DEPTH, this, &PlaneView::setData, Qt::QueuedConnection);
    } else {
        status->hide();
    }
    layout->addLayout(statusRow);
    setLayout(layout);

    setFocusProxy(graphicsWidget);
    setDataFormat(dataFormat);

    connect(graphicsWidget->scene(), &Plot::GraphicsScene::sigMouseMoved, this,
            [this](const QPointF& pos) { getMousePosition(pos); });
    connect(graphicsWidget->scene(), &Plot::GraphicsScene::sigMouseClicked, this,
            [this](const Plot::MouseClickEvent& ev) { sendClickPosition(ev); });

    depthCameraController = dataEngine->getDepthCameraController();
    if (depthCameraController)
        connect(depthCameraController, &StreamHub::started, this, &PlaneView::streamStarted);

    menu = new PlaneViewMenu(this);
    viewBox->setMenu(menu);
    setContextMenuPolicy(Qt::CustomContextMenu);

    ViewCommunicator* hub = DataView::communicator();
    connect(hub, &ViewCommunicator::hFlipChanged, this, &PlaneView::hFlipChanged, Qt::QueuedConnection);
    connect(hub, &ViewCommunicator::vFlipChanged, this, &PlaneView::vFlipChanged, Qt::QueuedConnection);
    connect(hub, &ViewCommunicator::lensFocusing, this, &PlaneView::lensFocusingChanged, Qt::QueuedConnection);
    connect(this, &PlaneView::dataAvailable, this, &PlaneView::updateDepthStatus, Qt::QueuedConnection);
}

PlaneView::~PlaneView()
{
    if (pointerOwner == this)
        pointerOwner = nullptr;
    // While out of the grid the label is ours; in it, the scene deletes it.
    if (!graphicsWidget->containsItem(label))
        delete label;
}

// --- state slots -------------------------------------------------------------

// A flip shows at once (no frame may come: paused, or the end of a
// recording), and the read-out names the pixel now under the pointer.
void PlaneView::hFlipChanged(bool flip)
{
    if (fliplr == flip)
        return;
    fliplr = flip;
    if (isShow)
        showCurrentImage();
    followPointer();
}

void PlaneView::vFlipChanged(bool flip)
{
    if (flipud == flip)
        return;
    flipud = flip;
    if (isShow)
        showCurrentImage();
    followPointer();
}

void PlaneView::lensFocusingChanged(bool focusing)
{
    isLensFocusing = focusing;
    if (!displayDepth || !dataFormat || dataFormat->name != DataChannels::AMPLITUDE)
        return;
    if (isLensFocusing) {
        graphicsWidget->addItem(label, 1, 0);
        label->setText(lensClarityText(QStringLiteral("0")));
    } else {
        graphicsWidget->removeItem(label);
    }
    updateCount = 2;
}

void PlaneView::ShowView(bool show)
{
    isShow = show;
    if (!isShow)
        return;
    updateCount = 0;
    // What came while hidden: no frame may follow (paused, or the end of a recording).
    guarded("PlaneView.ShowView", [this] { showFitted(currentImage()); });
}

void PlaneView::streamStarted()
{
    updateCount = 0;
}

void PlaneView::linkViewBox()
{
    link(viewBox);
}

void PlaneView::unlink()
{
    viewBox->unregister();
    DataView::unlink();
}

void PlaneView::resizeEvent(QResizeEvent*)
{
    resetView();
}

// --- display format and levels -------------------------------------------------

void PlaneView::setDataFormat(DataFormat* format)
{
    _setDataFormat(format);
    updateCount = 0;
}

void PlaneView::_setDataFormat(DataFormat* format)
{
    DataView::setDataFormat(format);
    if (!dataFormat)
        return;
    StreamHub* controller = dataEngine->depthCameraController();
    if (dataFormat->isDepthType() && controller) {
        // An unknown factor (0 or not finite) is treated like no source.
        if (const auto source = controller->getCurrentSource()) {
            const double factor = source->getDepthScalingFactor();
            if (usableDivisor(factor))
                dataFormat->setScalingFactor(factor);
        }
    }
    levels = {{dataFormat->levels[0], dataFormat->levels[1]}};
    imageItem->setLookupTable(dataFormat->colorMap);

    std::array<int, 2> size{{80, 60}};
    if (const auto frameSize = dataEngine->frameSize(); frameSize && (*frameSize)[0] > 0 && (*frameSize)[1] > 0)
        size = *frameSize;
    imageItem->setImage(cv::Mat::zeros(size[0], size[1], CV_32F));

    if (dataFormat->isIntegerScaling()) {
        spanSlider->setRange(toInt(levels[0]), toInt(levels[1]));
        spanSlider->setSpan(levels[0], levels[1]);
    } else {
        // The slider divides by the factor; an unusable one leaves it alone.
        const double factor = dataFormat->scalingValue();
        if (usableDivisor(factor))
            spanSlider->setFloatRange(levels[0], levels[1], factor);
    }
}

void PlaneView::autoLevels()
{
    if (!dataFormat)
        return;
    const auto histogram = imageItem->getHistogram(HISTOGRAM_BINS);
    if (!histogram)
        return;
    const auto& counts = histogram->counts;
    int first = -1;
    int last = -1;
    for (int k = 0; k < static_cast<int>(counts.size()); ++k) {
        if (std::max<std::int64_t>(counts[k] - HISTOGRAM_THRESHOLD, 0) > 0) {
            if (first < 0)
                first = k;
            last = k;
        }
    }
    if (first < 0)
        return;
    const double lower = histogram->edges[first];
    const double upper = histogram->edges[last];
    if (upper == 0.0) {
        const double formatUpper = dataFormat->levels[1];
        updateImageLevels(0.0, formatUpper);
        emit DataView::communicator()->thresholdsChanged(dataFormat->name, 0.0, formatUpper);
    } else {
        updateImageLevels(lower, upper);
        emit DataView::communicator()->thresholdsChanged(dataFormat->name, lower, upper);
    }
}

void PlaneView::updateImageLevels(double lower, double upper)
{
    levels = {{lower, upper}};
    spanSlider->setSpan(levels[0], levels[1]);
    imageItem->setLevels(levels);
    emit DataView::communicator()->thresholdsChanged(dataFormat->name, levels[0], levels[1]);
}

void PlaneView::updateLowerLevel(int lower)
{
    levels[0] = lower;
    imageItem->setLevels(levels);
    if (dataFormat)
        emit DataView::communicator()->thresholdsChanged(dataFormat->name, levels[0], levels[1]);
}

void PlaneView::updateUpperLevel(int upper)
{
    levels[1] = upper;
    imageItem->setLevels(levels);
    if (dataFormat)
        emit DataView::communicator()->thresholdsChanged(dataFormat->name, levels[0], levels[1]);
}

// --- view reset and export -------------------------------------------------------

void PlaneView::resetView()
{
    viewBox->autoRange(0.0);
    if (!dataFormat)
        return;
    if (dataFormat->name == DataChannels::PHASE)
        applyPhaseUpperLevel();
    _setDataFormat(dataFormat);
    // The current frame again at once, levelled on itself: the next frame
    // may never come (paused, or the end of a recording).
    showCurrentImage();
    fittedSize = imageItem->hasImage() ? std::array<int, 2>{{imageItem->image().rows, imageItem->image().cols}}
                                       : std::array<int, 2>{{0, 0}};
    autoLevels();

    if (!isLinked())
        return;
    for (DataView* other : DataView::linkedViews())
        if (other != this)
            other->autoLevels();
}

std::optional<PlaneView::PhaseLevel> PlaneView::phaseUpperLevel(double oldUpper, double depthScalingFactor,
                                                                const Tavik::Result<float>& range)
{
    if (!range.ok || !usableDivisor(depthScalingFactor))
        return std::nullopt;
    const double quotient = std::trunc(static_cast<double>(range.value) / depthScalingFactor);
    if (!std::isfinite(quotient) || std::abs(quotient) > std::numeric_limits<int>::max())
        return std::nullopt;
    const int upper = static_cast<int>(quotient);
    if (upper == oldUpper)
        return std::nullopt;
    PhaseLevel level{upper, std::nullopt};
    // With an old level of 0 the factor cannot follow; it stays as it was.
    if (usableDivisor(oldUpper)) {
        const double q = std::trunc(upper / oldUpper);
        if (std::abs(q) <= std::numeric_limits<int>::max())
            level.scalingFactor = static_cast<int>(q);
    }
    return level;
}

// Without a current source or a camera the step is skipped.
void PlaneView::applyPhaseUpperLevel()
{
    StreamHub* controller = dataEngine->depthCameraController();
    if (!controller)
        return;
    const auto source = controller->getCurrentSource();
    const auto camera = controller->getDepthCamera();
    if (!source || !camera)
        return;
    const auto level =
        phaseUpperLevel(dataFormat->levels[1], source->getDepthScalingFactor(), camera->getf("unambiguous_range"));
    if (!level)
        return;
    dataFormat->levels[1] = level->upper;
    if (level->scalingFactor)
        dataFormat->setScalingFactor(*level->scalingFactor);
}

QString PlaneView::programFolder() const
{
    const QString program = QCoreApplication::arguments().value(0);
    QFileInfo info(QDir::current(), program);
    const QString canonical = info.canonicalFilePath();
    QString folder = QFileInfo(canonical.isEmpty() ? info.absoluteFilePath() : canonical).absolutePath();
#ifdef Q_OS_WIN
    const std::wstring shortPath = QDir::toNativeSeparators(folder).toStdWString();
    const DWORD needed = GetLongPathNameW(shortPath.c_str(), nullptr, 0);
    if (needed > 0) {
        std::wstring longPath(needed, L'\0');
        const DWORD written = GetLongPathNameW(shortPath.c_str(), longPath.data(), needed);
        if (written > 0 && written < needed) {
            longPath.resize(written);
            folder = QString::fromStdWString(longPath);
        }
    }
#endif
    return QDir::toNativeSeparators(folder);
}

void PlaneView::exportImage()
{
    const auto pixmap = imageItem->getPixmap();
    if (!pixmap) {
        QMessageBox::critical(this, QStringLiteral("Blank Image"), QStringLiteral("There is no image to export."));
        return;
    }
    const QString folder = programFolder() + QDir::separator() + QStringLiteral("export_images");
    const bool folderReady = QDir(folder).exists() || QDir().mkpath(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy_MM_dd_HH_mm_ss"));
    const QString name = dataFormat ? dataFormat->name : QString();
    const QString base = folder + QDir::separator() + name + QStringLiteral("_") + stamp;
    QString file = base + QStringLiteral(".jpg");

    // A snapshot never replaces another: the later ones of a second are
    // "_2", "_3", ... (a new file only, so nothing written meanwhile is lost).
    bool saved = false;
    for (int next = 2; folderReady; ++next) {
        QFile out(file);
        if (out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            saved = pixmap->toImage().save(&out, "JPG");
            if (!saved)
                out.remove();
            break;
        }
        if (!QFileInfo::exists(file))
            break; // not writable
        file = base + QStringLiteral("_%1.jpg").arg(next);
    }
    if (saved)
        showPlainText(this, QMessageBox::Information, QStringLiteral("Export Image Successfully"),
                      QStringLiteral("Successfully save image to \"") + file + QStringLiteral("\"."));
    else
        showPlainText(this, QMessageBox::Critical, QStringLiteral("Save Image Failed"),
                      QStringLiteral("Failed to save image to \"") + file + QStringLiteral("\"."));
}

// --- per-frame update ------------------------------------------------------------

void PlaneView::displayData()
{
    if (!isShow)
        return;
    ++updateCount;
    guarded("PlaneView.displayData", [this] { drawFrame(); });
}

void PlaneView::drawFrame()
{
    if (!dataFormat)
        return;
    const bool amplitude = dataFormat->name == DataChannels::AMPLITUDE;
    if (amplitude && updateCount == 3)
        autoLevels();
    if (!amplitude && updateCount == 7)
        autoLevels();
    const cv::Mat image = currentImage();
    if (updateCount == 3)
        resetView();
    const cv::Mat shown = showFitted(image);
    if (shown.empty())
        return;
    if (isLensFocusing && updateCount % 6 == 0 && amplitude && displayDepth)
        showLensClarity(shown);
}

cv::Mat PlaneView::showFitted(const cv::Mat& image)
{
    const cv::Mat shown = showImage(image);
    if (image.empty() || !fittedSize || *fittedSize == std::array<int, 2>{{image.rows, image.cols}})
        return shown;
    // A new size, or the first picture after nothing: the range and the
    // levels suited other frames.
    resetView();
    return imageItem->image();
}

const QString& PlaneView::channel() const
{
    return dataFormat->name == DataChannels::AMPLITUDE ? DataChannels::AMPLITUDE : DataChannels::PHASE;
}

cv::Mat PlaneView::currentImage() const
{
    // A missing entry counts as no image.
    return dataFormat ? entry(*dataEngine, channel()) : cv::Mat();
}

void PlaneView::showCurrentImage()
{
    guarded("PlaneView.showCurrentImage", [this] { showImage(currentImage()); });
}

bool PlaneView::showsNothing() const
{
    return dataFormat && dataEngine->data().contains(channel()) && currentImage().empty();
}

cv::Mat PlaneView::showImage(const cv::Mat& image)
{
    if (image.empty()) {
        if (showsNothing()) {
            imageItem->clear();
            clearReadOut();
            fittedSize = std::array<int, 2>{{0, 0}};
        }
        return image;
    }
    cv::Mat shown = image;
    if (flipud || fliplr) {
        // Reverse y (second index, the columns), x (first index, the rows) or both.
        const int code = flipud && fliplr ? -1 : (flipud ? 1 : 0);
        shown = cv::Mat(); // a fresh matrix each time: the item keeps the last one
        cv::flip(image, shown, code);
    }
    // Neither the engine's image nor a fresh flip changes afterwards: no copy.
    imageItem->setSharedImage(shown, levels);
    return shown;
}

// Variance of the Laplacian: the sharper the picture, the higher the figure.
void PlaneView::showLensClarity(const cv::Mat& image)
{
    // The filter has no float-to-double path: the engine's float images (and
    // any integer ones) go through doubles.
    cv::Mat source = image;
    if (image.depth() != CV_64F)
        image.convertTo(source, CV_64F);
    cv::Mat laplacian;
    cv::Laplacian(source, laplacian, CV_64F);
    cv::Scalar mean, stddev;
    cv::meanStdDev(laplacian, mean, stddev);
    const double figure = stddev[0] * stddev[0];
    if (!std::isfinite(figure))
        return;
    label->setText(lensClarityText(QString::number(truncated(figure))));
}

// --- read-out, clicks and visible range --------------------------------------------

void PlaneView::getMousePosition(const QPointF& pos)
{
    const QPointF p = imageItem->mapFromScene(pos);
    const auto size = dataEngine->frameSize();
    if (!size)
        return;
    if (p.x() < 0 || p.x() >= (*size)[0] || p.y() < 0 || p.y() >= (*size)[1])
        return;
    pointerPos = p;
    pointerOwner = this;
    pointAt(p);
}

// The read-out and the status bar name the frame's pixel shown at `p`.
void PlaneView::pointAt(const QPointF& p)
{
    const QPointF q = framePosition(p);
    point = Pixel{{static_cast<int>(q.x()), static_cast<int>(q.y())}};
    setData();
    if (statusBar && pointerOwner == this)
        statusBar->setPoint(q);
}

void PlaneView::followPointer()
{
    if (!pointerPos || !point)
        return;
    const auto size = dataEngine->frameSize();
    if (!size || pointerPos->x() >= (*size)[0] || pointerPos->y() >= (*size)[1])
        return;
    pointAt(*pointerPos);
}

QPointF PlaneView::framePosition(const QPointF& picturePos) const
{
    const auto size = dataEngine->frameSize();
    if (!size)
        return picturePos;
    return QPointF(fliplr ? mirrored(picturePos.x(), (*size)[0]) : picturePos.x(),
                   flipud ? mirrored(picturePos.y(), (*size)[1]) : picturePos.y());
}

void PlaneView::setData()
{
    if (!isShow || !point)
        return;
    const cv::Mat phase = entry(*dataEngine, DataChannels::PHASE);
    const cv::Mat amplitude = entry(*dataEngine, DataChannels::AMPLITUDE);
    const cv::Mat depth = entry(*dataEngine, DataChannels::DEPTH);
    if (phase.empty() || amplitude.empty() || depth.empty())
        return;
    // A later frame of another size forgets the point.
    if (!contains(depth, *point) || !contains(amplitude, *point) || !contains(phase, *point)) {
        point.reset();
        return;
    }
    const int x = (*point)[0];
    const int y = (*point)[1];
    char line[160];
    std::snprintf(line, sizeof line, "@(%d, %d) -> Amplitude: %04lld, Phase: %04lld, Z: %07.4fm", x, y,
                  truncated(valueAt(amplitude, x, y)), truncated(valueAt(phase, x, y)), valueAt(depth, x, y));
    text = QString::fromLatin1(line);
    emit dataAvailable();
}

void PlaneView::clearReadOut()
{
    point.reset();
    pointerPos.reset();
    text.reset();
    status->clear();
}

void PlaneView::updateDepthStatus()
{
    if (text && !text->isEmpty())
        status->setText(*text);
}

void PlaneView::sendClickPosition(const Plot::MouseClickEvent& ev)
{
    if (ev.button() != Qt::LeftButton)
        return;
    if (ev.modifiers() & Qt::ControlModifier)
        emit DataView::communicator()->setCurrentPoint2D(imageItem->mapFromScene(ev.scenePos()));
    else if (ev.modifiers() & Qt::ShiftModifier)
        emit DataView::communicator()->setShiftClickPoint2D(imageItem->mapFromScene(ev.scenePos()));
}

void PlaneView::computeChangedRange()
{
    if (!imageItem) // the box may report a range before the item exists
        return;
    const QRectF r = viewBox->viewRect().intersected(imageItem->boundingRect());
    emit DataView::communicator()->viewRangeChanged(r.x(), r.y(), static_cast<int>(r.x() + r.width()),
                                                    static_cast<int>(r.y() + r.height()));
}

} // namespace Kelvra
