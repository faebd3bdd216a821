#include "platform/base/DataView.h"

#include "platform/base/ViewCommunicator.h"
#include "platform/plot/ViewBox.h"

#include <QPointer>

namespace {

struct LinkedEntry {
    DataView* view;
    QPointer<Plot::ViewBox> box;
};

QList<LinkedEntry>& registry()
{
    static QList<LinkedEntry> entries;
    return entries;
}

int indexOf(const DataView* view)
{
    const QList<LinkedEntry>& entries = registry();
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].view == view)
            return i;
    return -1;
}

} // namespace

DataView::DataView(DataEngine* dataEngine, DataFormat* dataFormat, QWidget* parent)
    : QWidget(parent)
    , dataEngine(dataEngine)
    , dataFormat(dataFormat)
{
}

DataView::~DataView()
{
    // The base version on purpose: a subclass is already gone here.
    DataView::unlink();
}

void DataView::setDataFormat(DataFormat* format)
{
    dataFormat = format;
}

void DataView::setStatusBar(StatusMessageBar* bar)
{
    statusBar = bar;
}

void DataView::link(Plot::ViewBox* viewBox)
{
    const int at = indexOf(this);
    if (at >= 0) {
        if (registry()[at].box == viewBox)
            return;
        DataView::unlink();
    }
    // The toolkit shares target ranges across a linked group, so following
    // boxes never re-enter each other's range changes.
    if (viewBox) {
        for (const LinkedEntry& e : registry())
            if (e.box && e.box != viewBox)
                viewBox->linkView(e.box);
    }
    registry().append({this, viewBox});
}

void DataView::unlink()
{
    const int at = indexOf(this);
    if (at < 0)
        return;
    const QPointer<Plot::ViewBox> box = registry().takeAt(at).box;
    if (!box)
        return;
    for (const LinkedEntry& e : registry()) {
        if (e.box && e.box != box) {
            box->unlinkX(e.box);
            box->unlinkY(e.box);
        }
    }
}

bool DataView::isLinked() const
{
    return indexOf(this) >= 0;
}

ViewCommunicator* DataView::communicator()
{
    static ViewCommunicator hub;
    return &hub;
}

QList<QPair<DataView*, Plot::ViewBox*>> DataView::linkedViewBoxes()
{
    QList<QPair<DataView*, Plot::ViewBox*>> out;
    for (const LinkedEntry& e : registry())
        out.append(qMakePair(e.view, e.box.data()));
    return out;
}

QList<DataView*> DataView::linkedViews()
{
    QList<DataView*> out;
    for (const LinkedEntry& e : registry())
        out.append(e.view);
    return out;
}
