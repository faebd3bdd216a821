#pragma once
// Modal dialog for a message too long for a message box: a scrollable,
// read-only text area above a single "&Ok" button.

#include <QDialog>

class QPushButton;
class QTextBrowser;

namespace Kelvra {

class LongMessageDialog : public QDialog {
    Q_OBJECT
public:
    LongMessageDialog(const QString& title, const QString& message, QWidget* parent = nullptr);

    // Builds a new dialog, runs it modally and returns when it was closed.
    static void showDialog(const QString& title, const QString& message, QWidget* parent = nullptr);

    QTextBrowser* messageBox;
    QPushButton* okButton;
};

} // namespace Kelvra
