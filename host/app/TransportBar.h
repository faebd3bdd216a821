#pragma once
// The viewer's transport bar: the source chooser, Start / Pause / Resume /
// Stop, the seek slider (a click on its groove jumps there; a recording
// playing waits while it is held and plays on from where it is let go) and
// the position of a recording ("set shown / length", 0 while none is; "live"
// for the camera). It follows the stream hub's sources and states by itself; the
// window hands it each new frame (followFrame) and reacts to
// transportUpdated(). Choosing another source is told (sourceChosen); the
// current one again changes nothing.

#include <QString>
#include <QToolBar>

class QAction;
class QComboBox;
class QLabel;
class QSlider;

namespace Kelvra {
class StreamHub;
}

class TransportBar : public QToolBar {
    Q_OBJECT
public:
    // Lists the hub's sources with the current one selected; the hub must
    // outlive the bar.
    explicit TransportBar(Kelvra::StreamHub* streamHub, QWidget* parent = nullptr);

    QComboBox* sourceChooser() const { return sourceBox; }
    QSlider* seekSlider() const { return seekBar; }
    // "set shown / length" of a recording, "live" for the camera.
    QString positionText() const;

    QAction* startAction = nullptr;
    QAction* pauseAction = nullptr;
    QAction* resumeAction = nullptr;
    QAction* stopAction = nullptr;

public slots:
    void startStream();
    void pauseStream();
    void resumeStream();
    void stopStream();
    // The slider and the position follow the set the current source shows.
    void followFrame();

signals:
    // The actions, the slider and the position were set for a new source,
    // source list or state of the current source.
    void transportUpdated();
    // The user chose another source than the current one.
    void sourceChosen(int index);

private:
    void refreshSources();
    void followSelection(int index);
    void updateTransport();
    void sizePositionLabel(int length);
    void seekTo(int position);
    // A recording playing waits while the slider is held, and plays on from
    // where it is let go.
    void holdPlayback();
    void releasePlayback();

    Kelvra::StreamHub* const streamHub;
    QComboBox* sourceBox = nullptr;
    QSlider* seekBar = nullptr;
    QLabel* positionLabel = nullptr;
    bool playsOnRelease = false;
};
