#include "host/app/EnvironmentHooks.h"

#include "host/app/MainWindow.h"
#include "host/app/SettingsDock.h"
#include "host/engine/HostDataEngine.h"
#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/docks/DataBlockView.h"
#include "Kelvra/docks/PipelineDiagramDock.h"
#include "Kelvra/views/ParameterViews.h"
#include "Kelvra/views/PlaneView.h"
#include "Kelvra/views/UnwrapParamControl.h"
#include "platform/base/DataViewContainer.h"
#include "Tavik/CameraSystem.h"
#include "Tavik/Simulation.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDockWidget>
#include <QGraphicsView>
#include <QLabel>
#include <QSlider>
#include <QTabBar>
#include <QTimer>
#include <QToolBox>

#include <memory>

namespace {

// Each settings page's title button, whether its page is shown, the page's
// height and its item's; the range page's slider when shown.
void printSettingsLayout(const SettingsDock& settings)
{
    using Kelvra::diag::printTuple;
    if (!MainWindow::isDockShowing(&settings))
        return;
    const QToolBox* box = settings.toolBox();
    for (const QAbstractButton* button : box->findChildren<QAbstractButton*>())
        for (int i = 0; i < box->count(); ++i)
            if (button->isVisible() && button->text() == box->itemText(i)) {
                const QPoint at = button->mapToGlobal(button->rect().center());
                const QWidget* page = settings.pageAt(i);
                printTuple("page", box->itemText(i), at.x(), at.y(), box->currentIndex() == i, page->height(),
                           box->widget(i)->height());
            }
    const auto* range = settings.unambiguousRangePage();
    if (const auto* editor = qobject_cast<const Kelvra::RangeParameterDetailedView*>(range->paramWidget);
        editor && editor->slider->isVisible()) {
        const QPoint at = editor->slider->mapToGlobal(QPoint(0, 0));
        printTuple("slider", at.x(), at.y(), editor->slider->width(), editor->slider->height());
    }
}

// The amplitude view's read-out line, and whether all of it shows.
void printReadOut(const MainWindow& window)
{
    const auto* view = window.amplitudeContainer()->viewAs<Kelvra::PlaneView>();
    const QLabel* status = view ? view->getStatus() : nullptr;
    if (!status || status->text().isEmpty())
        return;
    const QRect room = status->contentsRect();
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    Kelvra::diag::printTuple("readout", status->text(),
                             room.contains(status->fontMetrics().boundingRect(room, flags, status->text())));
}

void printLayout(MainWindow& window)
{
    using Kelvra::diag::printTuple;
    printTuple("window", window.x(), window.y(), window.width(), window.height());
    printReadOut(window);
    // The source shown and its position; where the source chooser and Start are.
    const QComboBox* sources = window.sourceChooser();
    const QPoint chooser = sources->mapToGlobal(sources->rect().center());
    const QWidget* start = window.getTransportBar()->widgetForAction(window.startAction);
    const QPoint startAt = start ? start->mapToGlobal(start->rect().center()) : QPoint();
    printTuple("transport", sources->currentText(), window.positionText(), chooser.x(), chooser.y(), startAt.x(),
               startAt.y());
    for (QDockWidget* dock : window.getDocks()) {
        const QPoint at = dock->mapToGlobal(QPoint(0, 0));
        printTuple("dock", dock->objectName(), at.x(), at.y(), dock->width(), dock->height(),
                   MainWindow::isDockShowing(dock));
    }
    for (QTabBar* bar : window.findChildren<QTabBar*>())
        if (bar->isVisible())
            for (int i = 0; i < bar->count(); ++i) {
                const QPoint at = bar->mapToGlobal(bar->tabRect(i).center());
                printTuple("tab", bar->tabText(i), at.x(), at.y());
            }
    printSettingsLayout(*window.getSettingsDock());
    const Kelvra::PipelineDiagramDock* diagram = window.getDiagramDock();
    if (!MainWindow::isDockShowing(diagram))
        return;
    for (QGraphicsItem* item : diagram->getItemsView())
        if (auto* block = dynamic_cast<Kelvra::DataBlockView*>(item); block && block->isVisible()) {
            const QPoint inView = diagram->getView()->mapFromScene(block->sceneBoundingRect().center());
            const QPoint at = diagram->getView()->viewport()->mapToGlobal(inView);
            printTuple("block", block->getBlockName(), at.x(), at.y());
        }
}

} // namespace

namespace EnvironmentHooks {

void install(MainWindow& window, Tavik::CameraSystem& cameraSystem, const Tavik::DepthCameraPtr& camera,
             std::optional<int> unplugAfterMs)
{
    if (qEnvironmentVariableIsSet("KELVRA_DOCK_GEOMETRY")) {
        auto* layoutTimer = new QTimer(&window);
        QObject::connect(layoutTimer, &QTimer::timeout, &window, [&window] { printLayout(window); });
        layoutTimer->start(1000);
        QTimer::singleShot(500, &window, [&window] { printLayout(window); });
    }
    bool counted = false;
    const int warmUp = qEnvironmentVariableIntValue("KELVRA_FRAME_STATS_AFTER", &counted);
    if (counted)
        QTimer::singleShot(1000 * warmUp, &window, [&window] { window.getDataEngine()->restartFrameStats(); });
    if (camera && unplugAfterMs)
        QTimer::singleShot(*unplugAfterMs, &window, [&cameraSystem, weak = std::weak_ptr<Tavik::DepthCamera>(camera)] {
            if (const auto unplugged = weak.lock())
                cameraSystem.simulation().unplug(unplugged);
        });
}

bool streamsAtStart()
{
    return !qEnvironmentVariableIsSet("KELVRA_NO_STREAM");
}

void printFrameStats(const MainWindow& window)
{
    if (!qEnvironmentVariableIsSet("KELVRA_FRAME_STATS"))
        return;
    const auto stats = window.getDataEngine()->frameStats();
    Kelvra::diag::printTuple("frame sets shown", static_cast<long long>(stats.published), "dropped",
                             static_cast<long long>(stats.dropped), "max lag", static_cast<long long>(stats.maxLag));
}

} // namespace EnvironmentHooks
