#pragma once
// Modal dialog that lists the cameras the camera system finds, lets the user
// rescan, and connects the chosen one.

#include "Tavik/CameraSystem.h"

#include <QDialog>

#include <vector>

class QListWidget;
class QPushButton;

namespace Kelvra {

class CameraPickerDialog : public QDialog {
    Q_OBJECT
public:
    // Scans once while building. A null camera system lists no device.
    explicit CameraPickerDialog(Tavik::CameraSystem* cameraSystem, QWidget* parent = nullptr);

    // Connects the device of the current row and returns what the camera
    // system gave back, unchecked (a camera that is not connected when the
    // connection failed).
    Tavik::DepthCameraPtr getDepthCamera();

    // Builds a new dialog and runs it modally: what getDepthCamera() gave,
    // or nothing when the user cancelled.
    static Tavik::DepthCameraPtr showDialog(Tavik::CameraSystem* cameraSystem, QWidget* parent = nullptr);

    std::vector<Tavik::CameraDevicePtr> devices; // the most recent scan; row i shows entry i
    QListWidget* listview;
    QPushButton* okButton;
    QPushButton* refreshButton;

public slots:
    // Rescans and refills the list; the first row is current again.
    void populateList();

private:
    Tavik::CameraSystem* cameraSystem;
};

} // namespace Kelvra
