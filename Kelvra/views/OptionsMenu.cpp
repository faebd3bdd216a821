#include "Kelvra/views/OptionsMenu.h"

#include "Kelvra/dialogs/StatsSettingsDialog.h"
#include "platform/base/HostWindow.h"

#include <QAction>
#include <QIcon>

namespace Kelvra {

OptionsMenu::OptionsMenu(HostWindow* window, DataEngine* dataEngine, QWidget* parent)
    : QMenu(parent)
    , dataEngine(dataEngine)
    , window(window)
    , statusBar(window ? window->statusMessage() : nullptr)
{
    initMenu();
    setTitle("&Settings");
}

void OptionsMenu::initMenu()
{
    clear();
    auto* parameters = new QAction(QIcon::fromTheme("parameters"), "&Parameters", this);
    connect(parameters, &QAction::triggered, this, &OptionsMenu::showParametersDialog);
    parameters->setShortcut(QKeySequence("Ctrl+S"));
    addAction(parameters);
}

void OptionsMenu::showParametersDialog()
{
    StatsSettingsDialog::showDialog(statusBar, dataEngine, window ? window->windowWidget() : nullptr);
}

} // namespace Kelvra
