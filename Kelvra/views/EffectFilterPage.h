#pragma once
// Settings page "Filters Setting": adds filters the camera system supports to
// the current camera's chain (frame type 1) and takes them out again, one row
// per filter the page added.
//
// Settings pages share no base class; each offers by convention a static
// getID(), getTitle(), the valueChanged() signal, the init() refresh slot and
// releaseDepthCamera(), which the host calls before a camera goes away.

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Filter.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class HostWindow;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace Kelvra {

class StreamHub;

class PointCloudEffectSettingView : public QWidget {
    Q_OBJECT
public:
    // The frame type every filter operation of the page passes.
    static constexpr Tavik::FrameType FILTER_FRAME_TYPE = 1;

    // `protection` is accepted and not used.
    PointCloudEffectSettingView(HostWindow* window, Tavik::CameraSystem* cameraSystem, StreamHub* depthCameraController,
                                bool protection = false);

    static QString getID();
    QString getTitle() const;
    // The page holds no camera between two additions or removals.
    void releaseDepthCamera();

    // Creates the filter and adds it to the current camera's chain; the
    // filter, or nothing (a message box says why).
    Tavik::FilterPtr addFilter(const std::string& filterName);
    // Removes the filter of that index from the camera it was added to, which
    // must still be the current one; false (with a message box) otherwise.
    bool removeFilter(int filterIndex, const std::weak_ptr<Tavik::DepthCamera>& addedTo);
    void showFilterParameters(const std::string& fullName, const Tavik::FilterPtr& filter);
    // A row's check box changed; an unticked row goes, then its filter.
    void btnstate(const std::string& fullName, QHBoxLayout* row, const Tavik::FilterPtr& filter, int filterIndex,
                  const std::weak_ptr<Tavik::DepthCamera>& addedTo, int state);

    // The text between the first "::" and the next one (or the end); the
    // whole name when it holds no "::".
    static QString shortName(const std::string& fullName);

    // The row layouts on the page, top to bottom, and the filter index each stands for.
    std::vector<std::pair<QHBoxLayout*, int>> rows() const;

    HostWindow* window;
    Tavik::CameraSystem* cameraSystem;
    StreamHub* depthCameraController;
    // Index and camera of the latest successful addition (-1 after a refusal).
    int currentFilterIndex = -1;
    std::weak_ptr<Tavik::DepthCamera> currentFilterCamera;
    std::vector<std::string> filters; // supported filters, read once

    QVBoxLayout* vlayout;
    QVBoxLayout* filterslayout; // one row per added filter
    QHBoxLayout* hlayoutFilterList;
    QLabel* filtersLabel;
    QComboBox* modeList;

signals:
    void valueChanged();

public slots:
    void filterChanged(int pos);
    void vertical_flip(int stateChanged);
    void auto_exposure(int stateChanged);
    void init();
    // Shows the current camera's chain as it holds it, on a camera change
    // (the controller's onDepthCameraSet) and on an edit in either chain
    // editor: rows of its filters no longer there, and of any other camera,
    // go; its filters without a row get one, below the others. Without a
    // camera the rows stay.
    void refreshFilters();

private:
    // The controller's camera; a message box when there is none.
    Tavik::DepthCameraPtr currentCamera();
    // A ticked row for a filter in the chain, below the others.
    void addRow(const std::string& fullName, const Tavik::FilterPtr& filter, int index,
                const std::weak_ptr<Tavik::DepthCamera>& addedTo);
    // Takes the row off the page, its widgets hidden; gives what is to be deleted.
    QList<QObject*> takeRowOff(QHBoxLayout* row);

    struct FilterRow {
        QHBoxLayout* row;
        int index;
        std::weak_ptr<Tavik::DepthCamera> addedTo;
    };
    std::vector<FilterRow> filterRows; // in the order of filterslayout
};

} // namespace Kelvra
