#pragma once
// Sizes dialogs as they are first shown, for the whole application: the
// camera picker as wide as its longest row, the filter settings dialog large
// enough for its title and every row. Neither dialog sets a size of its own,
// and Qt's default would cut both.

#include <QObject>
#include <QSize>

class QDialog;

class DialogSizer : public QObject {
    Q_OBJECT
public:
    // Room the window manager's title bar takes besides the title's text:
    // the icon and the buttons.
    static constexpr int TITLE_BAR_EXTRA = 150;

    using QObject::QObject;

    // The size the dialog should at least have; its own size for any other dialog.
    static QSize wantedSize(const QDialog* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
