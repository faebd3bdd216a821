#pragma once
// The About box: program name and version, maker, and a text area with the
// short description and the licence.

#include <QDialog>

class QPushButton;
class QTextBrowser;

namespace Kelvra {

class InfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit InfoDialog(QWidget* parent = nullptr);

    // Builds a new About box, runs it modally and returns when it was closed.
    static void showDialog(QWidget* parent = nullptr);

    QTextBrowser* messageBox;
    QPushButton* okButton;
};

} // namespace Kelvra
