#include "host/app/CameraParametersPage.h"

#include "Kelvra/models/CameraDisplayParamMap.h"
#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/ParamControl.h"
#include "Kelvra/views/ParameterViews.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

using Kelvra::EnumParameterView;
using Kelvra::ParamControl;
using Kelvra::RangeParameterDetailedView;

CameraParametersPage::CameraParametersPage(HostWindow* /*window*/, Tavik::CameraSystem* /*cameraSystem*/,
                                           Kelvra::StreamHub* depthCameraController, bool /*protection*/,
                                           const NameTable& table)
    : QWidget(nullptr)
    , depthCameraController(depthCameraController)
    , table(table)
    , layout(new QVBoxLayout(this))
    , emptyText(new QLabel(QStringLiteral("No camera parameters to show")))
{
    emptyText->setStyleSheet(QStringLiteral("QLabel { color: #777; }"));
    layout->addWidget(emptyText);
    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Minimum);
    rebuild();
}

CameraParametersPage::~CameraParametersPage() = default;

QString CameraParametersPage::getID()
{
    return QStringLiteral("camera_parameters");
}

QString CameraParametersPage::getTitle() const
{
    return QStringLiteral("Camera Parameters");
}

QWidget* CameraParametersPage::editorOf(const std::string& name) const
{
    for (const Row& row : rows_)
        if (row.name == name)
            return row.editor;
    return nullptr;
}

CameraParametersPage::Row* CameraParametersPage::find(const std::string& name)
{
    for (Row& row : rows_)
        if (row.name == name)
            return &row;
    return nullptr;
}

void CameraParametersPage::clearRows()
{
    for (Row& row : rows_)
        if (row.handler)
            row.handler->releaseDepthCamera();
    rows_.clear();
    cameraType.clear();
    if (rowsWidget) {
        // Out of sight now, deleted once control is back in the event loop.
        layout->removeWidget(rowsWidget);
        rowsWidget->hide();
        rowsWidget->deleteLater();
        rowsWidget = nullptr;
        grid = nullptr;
    }
    emptyText->show();
}

void CameraParametersPage::releaseDepthCamera()
{
    clearRows();
}

void CameraParametersPage::rebuild()
{
    clearRows();
    const Tavik::DepthCameraPtr camera = depthCameraController ? depthCameraController->getDepthCamera() : nullptr;
    if (!camera)
        return;
    const auto entry = table.find(camera->cameraType());
    if (entry == table.end())
        return;
    cameraType = entry->first;
    rowsWidget = new QWidget();
    grid = new QGridLayout(rowsWidget);
    grid->setContentsMargins(0, 0, 0, 0);
    std::vector<std::string> names = entry->second;
    for (const std::string& name : SWITCHES)
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    for (const std::string& name : names)
        if (auto handler = ParamControl::getParamControl(camera, name))
            addRow(name, std::move(handler));
    if (rows_.empty()) {
        delete rowsWidget;
        rowsWidget = nullptr;
        grid = nullptr;
        return;
    }
    emptyText->hide();
    layout->addWidget(rowsWidget);
}

void CameraParametersPage::addRow(const std::string& name, std::shared_ptr<ParamControl> handler)
{
    // Numbers get the slider editor, which writes by itself; enum and bool
    // kinds have only the combo box, whose choice the page writes.
    QWidget* editor = handler->getDetailedDisplayWidget();
    if (auto* detailed = qobject_cast<RangeParameterDetailedView*>(editor)) {
        connect(detailed, &RangeParameterDetailedView::valueChanged, this, [this, name] { written(name); });
    } else {
        delete editor;
        editor = handler->getDisplayWidget();
        auto* combo = qobject_cast<EnumParameterView*>(editor);
        if (!combo) {
            delete editor;
            return;
        }
        connect(combo, &EnumParameterView::paramValueChanged, this,
                [this, name](const QVariant& value) { writeValue(name, value); });
    }
    auto* label = new QLabel(handler->getName());
    const QString help = handler->getDescription();
    label->setToolTip(help);
    editor->setToolTip(help);
    const int r = grid->rowCount();
    grid->addWidget(label, r, 0, Qt::AlignRight);
    grid->addWidget(editor, r, 1);
    rows_.push_back({name, std::move(handler), label, editor});
}

void CameraParametersPage::writeValue(const std::string& name, const QVariant& value)
{
    Row* row = find(name);
    if (!row)
        return;
    const QString text = QStringLiteral("Failed to set parameter \"") + row->handler->getName() + QStringLiteral("\"");
    // A refusal puts back what the camera holds.
    if (writeGuard_.write(*row->handler, value, this, QStringLiteral("Parameter Set Failed"), text,
                          [this, row] { refresh(*row); })
        == Kelvra::WriteGuard::Outcome::Written)
        written(name);
}

void CameraParametersPage::written(const std::string& name)
{
    const auto deps = Kelvra::ParameterDependencyMap.find(cameraType);
    if (deps != Kelvra::ParameterDependencyMap.end())
        for (const auto& [dependent, on] : deps->second)
            if (on == name)
                if (const Row* row = find(dependent))
                    refresh(*row);
    emit valueChanged();
}

void CameraParametersPage::refresh(const Row& row)
{
    if (auto* detailed = qobject_cast<RangeParameterDetailedView*>(row.editor)) {
        detailed->init();
        return;
    }
    auto* combo = qobject_cast<EnumParameterView*>(row.editor);
    if (!combo)
        return;
    if (const auto [ok, value] = row.handler->get(); ok)
        combo->showValue(value);
}

void CameraParametersPage::init()
{
    for (const Row& row : rows_)
        refresh(row);
}
