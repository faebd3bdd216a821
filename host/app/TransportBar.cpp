#include "host/app/TransportBar.h"

#include "Kelvra/models/StreamHub.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <utility>

namespace {

// A click on the seek slider's groove jumps there, as in a media player,
// rather than stepping a page towards the click.
class JumpClickStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

TransportBar::TransportBar(Kelvra::StreamHub* streamHub, QWidget* parent)
    : QToolBar(parent)
    , streamHub(streamHub)
{
    setWindowTitle(QStringLiteral("Transport"));
    setObjectName(QStringLiteral("transport"));
    setMovable(false);
    addWidget(new QLabel(QStringLiteral(" Source: "), this));
    sourceBox = new QComboBox(this);
    sourceBox->setMinimumContentsLength(18);
    addWidget(sourceBox);
    // Choosing the current source again changes nothing (selecting it would stop it).
    connect(sourceBox, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        if (index != this->streamHub->getCurrentSourceIndex())
            emit sourceChosen(index);
    });
    addSeparator();
    startAction = addAction(QStringLiteral("Start"), this, &TransportBar::startStream);
    pauseAction = addAction(QStringLiteral("Pause"), this, &TransportBar::pauseStream);
    resumeAction = addAction(QStringLiteral("Resume"), this, &TransportBar::resumeStream);
    stopAction = addAction(QStringLiteral("Stop"), this, &TransportBar::stopStream);
    addSeparator();
    seekBar = new QSlider(Qt::Horizontal, this);
    seekBar->setMinimumWidth(240);
    auto* jump = new JumpClickStyle;
    jump->setParent(seekBar);
    seekBar->setStyle(jump);
    addWidget(seekBar);
    positionLabel = new QLabel(this);
    sizePositionLabel(0);
    addWidget(positionLabel);
    connect(seekBar, &QSlider::valueChanged, this, &TransportBar::seekTo);
    connect(seekBar, &QSlider::sliderPressed, this, &TransportBar::holdPlayback);
    connect(seekBar, &QSlider::sliderReleased, this, &TransportBar::releasePlayback);

    using Kelvra::StreamHub;
    connect(streamHub, &StreamHub::sourceListChanged, this, &TransportBar::refreshSources);
    connect(streamHub, &StreamHub::sourceSelected, this, &TransportBar::followSelection);
    for (auto signal : {&StreamHub::started, &StreamHub::stopped, &StreamHub::paused, &StreamHub::resumed,
                        &StreamHub::onDepthCameraSet})
        connect(streamHub, signal, this, &TransportBar::updateTransport);
    refreshSources();
}

void TransportBar::startStream()
{
    streamHub->start();
}

void TransportBar::pauseStream()
{
    streamHub->pause();
}

void TransportBar::resumeStream()
{
    const auto source = streamHub->getCurrentSource();
    if (!source)
        return;
    // A paused recording has no playback thread to resume: only start() goes on.
    if (source->isLiveStream())
        source->resume();
    else
        streamHub->start();
}

void TransportBar::stopStream()
{
    streamHub->stop();
}

void TransportBar::refreshSources()
{
    {
        const QSignalBlocker blocker(sourceBox);
        sourceBox->clear();
        for (const auto& source : streamHub->getSources())
            sourceBox->addItem(source->getName());
        sourceBox->setCurrentIndex(streamHub->getCurrentSourceIndex());
    }
    updateTransport();
}

void TransportBar::followSelection(int index)
{
    {
        const QSignalBlocker blocker(sourceBox);
        sourceBox->setCurrentIndex(index);
    }
    updateTransport();
}

void TransportBar::updateTransport()
{
    const auto source = streamHub->getCurrentSource();
    const bool running = source && source->isRunning();
    const bool paused = source && source->isPaused();
    // A paused recording is not running, a paused camera is: either goes on with Resume.
    startAction->setEnabled(source && !running && !paused);
    pauseAction->setEnabled(running && !paused);
    resumeAction->setEnabled(paused);
    stopAction->setEnabled(running || paused);

    const bool seekable = source && source->isSeekable();
    seekBar->setEnabled(seekable);
    {
        const QSignalBlocker blocker(seekBar);
        seekBar->setRange(0, seekable ? std::max(0, source->length() - 1) : 0);
    }
    sizePositionLabel(seekable ? source->length() : 0);
    followFrame();
    emit transportUpdated();
}

// The position changes with every frame set, the label's size only with the
// source: a label of free size would have the tool bar laid out again for
// every set.
void TransportBar::sizePositionLabel(int length)
{
    const QFontMetrics metrics = positionLabel->fontMetrics();
    const QString digits(QString::number(std::max(length, 0)).size(), QLatin1Char('8'));
    const int text = std::max(metrics.horizontalAdvance(QStringLiteral("%1 / %1").arg(digits)),
                              metrics.horizontalAdvance(QStringLiteral("live")));
    const QMargins margins = positionLabel->contentsMargins();
    const int extra = 2 * positionLabel->margin();
    positionLabel->setFixedSize(std::max(90, text + margins.left() + margins.right() + extra),
                                metrics.height() + margins.top() + margins.bottom() + extra);
}

void TransportBar::followFrame()
{
    const auto source = streamHub->getCurrentSource();
    if (source && source->isSeekable()) {
        // The set on show, counted from 1 (0 for none); the reader's own
        // position is the set after it while playing. With none on show the
        // slider stands where Start goes on.
        const int64_t shown = source->deliveredPosition();
        const int64_t at = shown >= 0 ? shown : source->startPosition();
        if (!seekBar->isSliderDown()) {
            const QSignalBlocker blocker(seekBar);
            seekBar->setValue(static_cast<int>(std::min<int64_t>(at, seekBar->maximum())));
        }
        const int length = source->length();
        const int64_t number = length > 0 && shown >= 0 ? std::min<int64_t>(shown, length - 1) + 1 : 0;
        positionLabel->setText(QStringLiteral("%1 / %2").arg(number).arg(length));
    } else {
        positionLabel->setText(source && source->isLiveStream() ? QStringLiteral("live") : QString());
    }
}

QString TransportBar::positionText() const
{
    return positionLabel->text();
}

void TransportBar::seekTo(int position)
{
    const auto source = streamHub->getCurrentSource();
    if (source && source->isSeekable())
        source->seek(position);
}

void TransportBar::holdPlayback()
{
    const auto source = streamHub->getCurrentSource();
    playsOnRelease = source && source->isSeekable() && source->isRunning() && streamHub->pause();
}

void TransportBar::releasePlayback()
{
    seekTo(seekBar->value()); // shown at once, and where playback goes on
    if (std::exchange(playsOnRelease, false))
        streamHub->start();
}
