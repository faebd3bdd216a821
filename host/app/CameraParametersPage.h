#pragma once
// Settings page "Camera Parameters": for the connected camera's type, the
// parameters of CameraDisplayParamMap in table order, then the SWITCHES the
// table does not list, each with its name and editor (the slider editor for
// numbers, the combo box for enum and bool kinds); parameters the camera
// lacks are left out. After a successful write the parameters that depend on
// the written one are read again and valueChanged() is emitted.

#include "Kelvra/models/CameraDisplayParamMap.h"
#include "Kelvra/views/WriteGuard.h"
#include "Tavik/CameraSystem.h"

#include <QString>
#include <QVariant>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

class HostWindow;
class QGridLayout;
class QLabel;
class QVBoxLayout;

namespace Kelvra {
class ParamControl;
class StreamHub;
} // namespace Kelvra

class CameraParametersPage : public QWidget {
    Q_OBJECT
public:
    using NameTable = std::map<std::string, std::vector<std::string>>;
    // Offered after the table's names wherever the camera has them: dealiasing
    // sets the range the unambiguous-range page edits.
    static inline const std::vector<std::string> SWITCHES{"dealias_en"};

    // Built for the controller's camera of the moment, from `table` (camera
    // type -> parameter names); `protection` is not used.
    CameraParametersPage(HostWindow* window, Tavik::CameraSystem* cameraSystem,
                         Kelvra::StreamHub* depthCameraController, bool protection = false,
                         const NameTable& table = Kelvra::CameraDisplayParamMap);
    ~CameraParametersPage() override;

    static QString getID();
    QString getTitle() const;

    // Releases every handler and takes the rows off the page.
    void releaseDepthCamera();
    // Rows for the controller's camera now (none without a camera).
    void rebuild();

    struct Row {
        std::string name;
        std::shared_ptr<Kelvra::ParamControl> handler;
        QLabel* label;
        QWidget* editor; // RangeParameterDetailedView or EnumParameterView
    };
    const std::vector<Row>& rows() const { return rows_; }
    QWidget* editorOf(const std::string& name) const;
    // What the page shows when it has no rows.
    QLabel* placeholder() const { return emptyText; }

signals:
    // A parameter was written.
    void valueChanged();

public slots:
    // Shows every parameter's value as the camera holds it now.
    void init();

private:
    void clearRows();
    void addRow(const std::string& name, std::shared_ptr<Kelvra::ParamControl> handler);
    void writeValue(const std::string& name, const QVariant& value);
    void written(const std::string& name);
    void refresh(const Row& row);
    Row* find(const std::string& name);

    Kelvra::StreamHub* depthCameraController;
    const NameTable table;
    std::string cameraType;
    QVBoxLayout* layout;
    QWidget* rowsWidget = nullptr; // holds the grid of rows
    QGridLayout* grid = nullptr;
    QLabel* emptyText;
    std::vector<Row> rows_;
    Kelvra::WriteGuard writeGuard_;
};
