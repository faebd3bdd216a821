#pragma once
// The main window's "&Settings" menu; its one action "&Parameters" (Ctrl+S)
// opens the statistics settings dialog over the main window.

#include <QMenu>

class DataEngine;
class HostWindow;
class StatusMessageBar;

namespace Kelvra {

class OptionsMenu : public QMenu {
    Q_OBJECT
public:
    // Reads the window's status bar once, here.
    OptionsMenu(HostWindow* window, DataEngine* dataEngine, QWidget* parent = nullptr);

    void initMenu();

public slots:
    // Runs the dialog modally; returns when it was closed.
    void showParametersDialog();

private:
    DataEngine* dataEngine;
    HostWindow* window;
    StatusMessageBar* statusBar;
};

} // namespace Kelvra
