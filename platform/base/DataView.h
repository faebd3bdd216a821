#pragma once
// Base of the host's data views (the image view, the point-cloud view).
//
// Holds the frame store, the display format and the status bar, and offers
// the two class-wide services: the view hub communicator() and the registry
// of linked views, whose view boxes share their x and y ranges.

#include <QList>
#include <QPair>
#include <QWidget>

class DataEngine;
class DataFormat;
class StatusMessageBar;
class ViewCommunicator;

namespace Plot {
class ViewBox;
}

class DataView : public QWidget {
    Q_OBJECT
public:
    // The format is kept as it is; subclasses apply it themselves (a virtual
    // call from this constructor would not reach them).
    DataView(DataEngine* dataEngine, DataFormat* dataFormat, QWidget* parent = nullptr);
    ~DataView() override; // unlinks

    DataEngine* getDataEngine() const { return dataEngine; }
    DataFormat* getDataFormat() const { return dataFormat; }
    StatusMessageBar* getStatusBar() const { return statusBar; }

    virtual void setDataFormat(DataFormat* format);
    void setStatusBar(StatusMessageBar* bar);

    // Adds this view with its box to the registry and links the box's ranges
    // with the box of every view already there. Linking again with another
    // box replaces the old one; with the same box it changes nothing.
    void link(Plot::ViewBox* viewBox);
    // Leaves the registry and drops the range links of this view's box.
    virtual void unlink();
    bool isLinked() const;

    // Hooks the host and the registry call through the base; no-ops here.
    virtual void resetView() { }
    virtual void ShowView(bool isShow) { (void)isShow; }
    virtual void displayData() { }
    virtual void autoLevels() { }

    // The one view hub of the application.
    static ViewCommunicator* communicator();
    // Linked views with their boxes, in the order they were linked. A box
    // destroyed while its view stays linked shows as null.
    static QList<QPair<DataView*, Plot::ViewBox*>> linkedViewBoxes();
    static QList<DataView*> linkedViews();

protected:
    DataEngine* dataEngine;
    DataFormat* dataFormat;
    StatusMessageBar* statusBar = nullptr;
};
