#pragma once
// Settings page "Unambiguous Range (unambiguous_range)": the slider editor of
// the camera's "unambiguous_range" and, below it, a grey summary of the
// modulation and dealiasing parameters listed for the camera's chipset. The
// range is broadcast as the "depth" thresholds when built and after every
// successful edit.
//
// The camera is read once, when the page is built: a page for another camera
// is a new page.

#include "Tavik/DepthCamera.h"

#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class HostWindow;
class QLabel;

namespace Kelvra {

class ParamControl;
class StreamHub;

class UnambiguousRangeView : public QWidget {
    Q_OBJECT
public:
    using NameTable = std::map<std::string, std::vector<std::string>>;
    // Chipset key ("meridian.tk", or "common" for any other) -> the names the
    // summary always lists, and those it adds while "dealias_en" is on.
    static const NameTable paramsToShow;
    static const NameTable paramsToShowIfDealiasing;

    // `protection` is accepted and not used.
    UnambiguousRangeView(HostWindow* window, StreamHub* depthCameraController, bool protection = false);

    static QString getID();
    QString getTitle() const;
    // Forgets the camera and releases the handler; the editor stays shown and
    // refuses edits from now on (its write goes nowhere).
    void releaseDepthCamera();
    // Appends "name = value\n" for the named parameter when the camera has
    // it; gives the handler (or nothing) and the text.
    std::pair<std::shared_ptr<ParamControl>, QString> showParam(const std::string& paramName, const QString& text);

    HostWindow* window;
    StreamHub* depthCameraController;
    QLabel* details;
    QWidget* paramWidget = nullptr; // the detailed editor, or nothing
    Tavik::DepthCameraPtr depthCamera;
    std::string chipset;
    std::string paramSetToShow;
    // Shared with the editor, which keeps it after a release.
    std::shared_ptr<ParamControl> param;

signals:
    // The editor wrote the range.
    void valueChanged();

public slots:
    // Refreshes the editor, broadcasts the range and rebuilds the summary.
    void init();
};

} // namespace Kelvra
