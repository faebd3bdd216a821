#pragma once
// What plug-ins may reach of the host's main window, without including the
// main window class: its status bar and the window itself (dialog parent,
// style for standard icons).

class QWidget;
class StatusMessageBar;

class HostWindow {
public:
    virtual ~HostWindow() = default;
    virtual StatusMessageBar* statusMessage() const = 0;
    virtual QWidget* windowWidget() = 0;

protected:
    HostWindow() = default;
    HostWindow(const HostWindow&) = default;
    HostWindow& operator=(const HostWindow&) = default;
};
