#pragma once
// What a host main window looks like to plug-ins: a main window with a status
// bar, for tests of what plug-ins show on their host.

#include "platform/base/HostWindow.h"
#include "platform/base/StatusMessageBar.h"

#include <QMainWindow>

namespace KelvraTest {

class HostTestWindow : public QMainWindow, public HostWindow {
public:
    HostTestWindow() { setStatusBar(bar = new StatusMessageBar); }
    StatusMessageBar* statusMessage() const override { return bar; }
    QWidget* windowWidget() override { return this; }
    StatusMessageBar* bar;
};

} // namespace KelvraTest
