#pragma once
// Drives modal dialogs from inside their exec(): a timer waits for the
// dialog (or message box) to become the active modal widget and then hands
// it to the test's action, which typically clicks or closes it.

#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace KelvraTest {

// Runs `action` once on the next widget that becomes active and modal. Gives
// up after `timeoutMs` so a test that never opens a dialog leaves no timer.
inline void onModal(std::function<void(QWidget*)> action, int timeoutMs = 10000)
{
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action, bound = budget(timeoutMs)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && clock->elapsed() < bound)
            return;
        timer->stop();
        timer->deleteLater();
        if (modal)
            action(modal);
    });
    timer->start(5);
}

// Watches for modal widgets for as long as it lives and runs `action` on
// each new one (a message box that a write shows, say), counting them.
class ModalWatch {
public:
    explicit ModalWatch(std::function<void(QWidget*)> action)
        : action_(std::move(action))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == last_)
                return;
            last_ = modal;
            ++seen_;
            action_(modal);
        });
        timer_.start(5);
    }
    int seen() const { return seen_; }

private:
    std::function<void(QWidget*)> action_;
    QTimer timer_;
    QPointer<QWidget> last_;
    int seen_ = 0;
};

// Closes every message box as it appears and keeps "title / text" of each.
struct MessageBoxLog {
    QStringList seen;
    ModalWatch watch{[this](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            seen << box->windowTitle() + " / " + box->text();
        static_cast<QDialog*>(w)->reject();
    }};
};

// The visible top-level widgets of one class (non-modal dialogs, say).
template <class Widget> std::vector<Widget*> visibleTopLevels()
{
    std::vector<Widget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<Widget*>(w); d && d->isVisible())
            found.push_back(d);
    return found;
}

// Presses Alt+`key` on the dialog and waits until it has closed accepted. A
// mnemonic presses its button with a short animation, hence the wait. The
// dialog is rejected afterwards if still open, so a failing test never hangs.
inline bool acceptsByMnemonic(QDialog* dialog, Qt::Key key)
{
    // Shortcuts only reach the active window; under load the new dialog may
    // not be active yet when the timer hands it over.
    dialog->activateWindow();
    (void)QTest::qWaitForWindowActive(dialog, budget(10000)); // the key press below tells
    QTest::keyClick(dialog, key, Qt::AltModifier);
    const bool accepted =
        waitFor([dialog] { return !dialog->isVisible(); }, 10000) && dialog->result() == QDialog::Accepted;
    dialog->reject();
    return accepted;
}

} // namespace KelvraTest
