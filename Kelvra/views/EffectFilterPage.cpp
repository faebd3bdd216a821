#include "Kelvra/views/EffectFilterPage.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/dialogs/FilterSettingsDialog.h"
#include "Kelvra/models/FilterChainModel.h"
#include "Kelvra/models/StreamHub.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Kelvra {

namespace {

QString quoted(const std::string& name)
{
    return QStringLiteral("\"") + QString::fromStdString(name) + QStringLiteral("\"");
}

} // namespace

PointCloudEffectSettingView::PointCloudEffectSettingView(HostWindow* window, Tavik::CameraSystem* cameraSystem,
                                                         StreamHub* depthCameraController, bool /*protection*/)
    : QWidget(nullptr)
    , window(window)
    , cameraSystem(cameraSystem)
    , depthCameraController(depthCameraController)
{
    if (cameraSystem)
        filters = cameraSystem->getSupportedFilters();

    vlayout = new QVBoxLayout(this);
    vlayout->setSpacing(0);
    vlayout->setContentsMargins(0, 0, 0, 0);

    filterslayout = new QVBoxLayout();
    filterslayout->setSpacing(0);
    filterslayout->setContentsMargins(0, 0, 0, 0);
    vlayout->addLayout(filterslayout);

    hlayoutFilterList = new QHBoxLayout();
    hlayoutFilterList->setSpacing(0);
    hlayoutFilterList->setContentsMargins(0, 0, 0, 0);
    filtersLabel = new QLabel(QStringLiteral("Filters:"));
    filtersLabel->setAlignment(Qt::AlignCenter);
    hlayoutFilterList->addWidget(filtersLabel);
    modeList = new QComboBox();
    hlayoutFilterList->addWidget(modeList);

    modeList->setMinimumContentsLength(12);
    modeList->addItem(QStringLiteral("  Please Select "));
    for (const auto& name : filters)
        modeList->addItem(shortName(name));
    // After the entries exist, so filling the box adds nothing.
    connect(modeList, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &PointCloudEffectSettingView::filterChanged);

    vlayout->addLayout(hlayoutFilterList);
    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Minimum);

    // The rows are those of the camera whose chain they edit, as it holds it.
    if (depthCameraController) {
        connect(depthCameraController, &StreamHub::onDepthCameraSet, this,
                &PointCloudEffectSettingView::refreshFilters);
        connect(FilterChainModel::of(depthCameraController), &FilterChainModel::chainsEdited, this,
                &PointCloudEffectSettingView::refreshFilters);
    }
}

QString PointCloudEffectSettingView::getID()
{
    return QStringLiteral("pointcloud_effect_setting");
}

QString PointCloudEffectSettingView::getTitle() const
{
    return QStringLiteral("Filters Setting");
}

void PointCloudEffectSettingView::releaseDepthCamera()
{
    diag::printLine(" filters seeting releaseDepthCamera ");
}

QString PointCloudEffectSettingView::shortName(const std::string& fullName)
{
    const auto start = fullName.find("::");
    if (start == std::string::npos)
        return QString::fromStdString(fullName);
    const auto from = start + 2;
    const auto end = fullName.find("::", from);
    return QString::fromStdString(fullName.substr(from, end == std::string::npos ? std::string::npos : end - from));
}

void PointCloudEffectSettingView::filterChanged(int pos)
{
    diag::printTuple(std::string(" filter pos : "), pos);
    pos -= 1;
    if (pos < 0 || pos >= static_cast<int>(filters.size()))
        return;
    const std::string fullName = filters[static_cast<size_t>(pos)];
    diag::printLine(fullName);

    Tavik::FilterPtr filter = addFilter(fullName);
    diag::printTuple(std::string("createFilter:  "), filter ? filter->name() : std::string("None"), currentFilterIndex);
    if (!filter)
        return;

    addRow(fullName, filter, currentFilterIndex, currentFilterCamera);
    FilterChainModel::edited(depthCameraController);
}

void PointCloudEffectSettingView::addRow(const std::string& fullName, const Tavik::FilterPtr& filter, int index,
                                         const std::weak_ptr<Tavik::DepthCamera>& addedTo)
{
    auto* row = new QHBoxLayout();
    row->setSpacing(3);
    const bool temporalMedian = fullName.find("TemporalMedianFilter") != std::string::npos;
    auto* filterCheckBox = new QCheckBox(temporalMedian ? QStringLiteral("TmprMedianFilter") : shortName(fullName));
    filterCheckBox->setTristate(false);
    auto* perpertyBtn = new QPushButton(QStringLiteral("Setting"));

    connect(perpertyBtn, &QPushButton::clicked, this,
            [this, fullName, filter] { showFilterParameters(fullName, filter); });
    // The row keeps the index and a weak reference to the camera it got them
    // from: the page keeps no camera alive.
    connect(filterCheckBox, &QCheckBox::stateChanged, this, [this, fullName, row, filter, index, addedTo](int state) {
        btnstate(fullName, row, filter, index, addedTo, state);
    });
    filterCheckBox->toggle(); // ticked; btnstate ignores that state

    row->addWidget(filterCheckBox);
    row->addStretch();
    row->addWidget(perpertyBtn);
    filterslayout->addLayout(row);
    filterRows.push_back({row, index, addedTo});
}

Tavik::FilterPtr PointCloudEffectSettingView::addFilter(const std::string& filterName)
{
    diag::printLine(filterName);
    Tavik::FilterPtr filter =
        cameraSystem ? FilterChainModel::createFilter(*cameraSystem, filterName, FILTER_FRAME_TYPE) : nullptr;
    if (!filter) {
        QMessageBox::critical(this, QStringLiteral("Filter not found"),
                              QStringLiteral("Could not create filter ") + quoted(filterName));
        return nullptr;
    }
    const Tavik::DepthCameraPtr camera = currentCamera();
    if (!camera)
        return nullptr;
    const int index = FilterChainModel::addFilter(*camera, filter, FILTER_FRAME_TYPE);
    diag::printTuple(std::string("ADD filterIndex: "), index);
    if (index < 0) {
        QMessageBox::critical(this, QStringLiteral("Failed to add filter"),
                              QStringLiteral("Could not add filter ") + quoted(filterName));
        currentFilterIndex = -1;
        currentFilterCamera.reset();
        return nullptr;
    }
    diag::printLine(" ok  to add filter ");
    currentFilterIndex = index;
    currentFilterCamera = camera;
    return filter;
}

void PointCloudEffectSettingView::btnstate(const std::string& fullName, QHBoxLayout* row,
                                           const Tavik::FilterPtr& /*filter*/, int filterIndex,
                                           const std::weak_ptr<Tavik::DepthCamera>& addedTo, int state)
{
    diag::printLine(
        QString::fromStdString(fullName)
        + QStringLiteral(" check state : %1 (0:uncheck ,2:checked),filterIndex:%2 ").arg(state).arg(filterIndex));
    if (state != Qt::Unchecked)
        return;

    // The row goes before the camera is asked. Its widgets are deleted once
    // control is back in the event loop, not by a message box's: the check
    // box is still delivering the signal that brought us here.
    const QList<QObject*> leftovers = takeRowOff(row);
    if (removeFilter(filterIndex, addedTo))
        FilterChainModel::edited(depthCameraController);
    for (QObject* object : leftovers)
        object->deleteLater();
}

QList<QObject*> PointCloudEffectSettingView::takeRowOff(QHBoxLayout* row)
{
    QList<QObject*> leftovers;
    while (row->count() > 0) {
        QLayoutItem* item = row->itemAt(0);
        if (QWidget* widget = item->widget()) {
            widget->setVisible(false);
            leftovers << widget;
        }
        row->removeItem(item);
        delete item;
    }
    filterslayout->removeItem(row);
    filterRows.erase(
        std::remove_if(filterRows.begin(), filterRows.end(), [row](const FilterRow& r) { return r.row == row; }),
        filterRows.end());
    leftovers << row;
    return leftovers;
}

std::vector<std::pair<QHBoxLayout*, int>> PointCloudEffectSettingView::rows() const
{
    std::vector<std::pair<QHBoxLayout*, int>> out;
    for (const FilterRow& r : filterRows)
        out.emplace_back(r.row, r.index);
    return out;
}

void PointCloudEffectSettingView::refreshFilters()
{
    const Tavik::DepthCameraPtr camera = depthCameraController ? depthCameraController->getDepthCamera() : nullptr;
    std::vector<FilterChainModel::Shown> shown;
    for (const FilterRow& r : filterRows)
        shown.push_back({r.index, r.addedTo});
    const std::vector<FilterRow> before = filterRows;
    FilterChainModel::reconcile(
        shown, camera, FILTER_FRAME_TYPE,
        [&](std::size_t i) {
            for (QObject* object : takeRowOff(before[i].row))
                object->deleteLater();
        },
        [&](const Tavik::DepthCamera::ChainedFilter& member, int /*after: rows stand in the order they came*/) {
            addRow(member.filter->name(), member.filter, member.index, camera);
        });
}

Tavik::DepthCameraPtr PointCloudEffectSettingView::currentCamera()
{
    Tavik::DepthCameraPtr camera = depthCameraController ? depthCameraController->getDepthCamera() : nullptr;
    if (!camera)
        QMessageBox::critical(this, QStringLiteral("Depth Camera Missing"),
                              QStringLiteral("No depth camera selected to add filter"));
    return camera;
}

bool PointCloudEffectSettingView::removeFilter(int filterIndex, const std::weak_ptr<Tavik::DepthCamera>& addedTo)
{
    diag::printTuple(std::string("remove filter : "), filterIndex);
    if (filterIndex < 0)
        return false;
    const Tavik::DepthCameraPtr camera = currentCamera();
    if (!camera)
        return false;
    // The index names a filter of the camera it came from; another camera
    // is not asked.
    if (camera == addedTo.lock() && camera->removeFilter(filterIndex, FILTER_FRAME_TYPE))
        return true;
    QMessageBox::critical(this, QStringLiteral("Remove Filter Failed"), QStringLiteral("Failed to remove filter"));
    return false;
}

void PointCloudEffectSettingView::showFilterParameters(const std::string& /*fullName*/, const Tavik::FilterPtr& filter)
{
    diag::printTuple(std::string(" seeting for filer named : ") + (filter ? filter->name() : std::string()),
                     std::string(filter ? "Filter" : "None"));
    FilterSettingsDialog::showDialog(filter);
}

void PointCloudEffectSettingView::vertical_flip(int stateChanged)
{
    diag::printLine(QStringLiteral("vertical_flip %1").arg(stateChanged));
}

void PointCloudEffectSettingView::auto_exposure(int stateChanged)
{
    diag::printLine(QStringLiteral("auto_exposure %1").arg(stateChanged));
}

void PointCloudEffectSettingView::init()
{
}

} // namespace Kelvra
