#include "Kelvra/dialogs/FilterSettingsDialog.h"

#include "Kelvra/common/Diagnostics.h"
#include "Kelvra/views/ParamControl.h"
#include "Kelvra/views/ParameterViews.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace Kelvra {

namespace {

// Connects a compact editor of kind View to the dialog's write; false when
// the editor is not of that kind.
template <class View>
bool wireEditor(QWidget* widget, FilterSettingsDialog* dialog, const std::shared_ptr<ParamControl>& handler)
{
    auto* editor = qobject_cast<View*>(widget);
    if (!editor)
        return false;
    QObject::connect(editor, &View::paramValueChanged, dialog,
                     [dialog, handler](const QVariant& value) { dialog->setParam(handler, value); });
    return true;
}

// A value as the spin box shows it: rounded to its decimals the way it rounds.
double shownBy(const QDoubleSpinBox& box, double value)
{
    return QString::number(value, 'f', box.decimals()).toDouble();
}

} // namespace

FilterSettingsDialog::FilterSettingsDialog(Tavik::FilterPtr filter_, QWidget* parent)
    : QDialog(parent)
    , filter(std::move(filter_))
{
    const QString name = filter ? QString::fromStdString(filter->name()) : QString();
    setWindowTitle("Filter Parameters (" + name + ")");
    setMinimumWidth(100);
    setMinimumHeight(80);

    std::vector<Tavik::ParameterPtr> params;
    if (filter)
        for (const auto& entry : filter->parameters())
            params.push_back(entry.second);

    auto* mainLayout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setSizeConstraint(QLayout::SetMaximumSize);

    int r = 0;
    bool readOnlyRows = false;
    for (const auto& p : params) {
        auto handler = ParamControl::getParamControl(filter, p, nullptr, ParamControl::PARAM_TYPE_FILTER);
        QWidget* editor = handler ? handler->getDisplayWidget() : nullptr;
        if (!editor
            || !(wireEditor<EnumParameterView>(editor, this, handler)
                 || wireEditor<RangeParameterView>(editor, this, handler))) {
            // Not fatal: the other parameters stay editable.
            delete editor;
            diag::printTuple(std::string("FilterSettingsDialog"), std::string("no editor for parameter"),
                             p ? p->name() : std::string());
            continue;
        }
        auto* label = new QLabel(QString::fromStdString(p->displayName()));
        label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        grid->addWidget(label, r, 0, Qt::AlignRight);

        editor->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        const QString description = QString::fromStdString(p->description());
        label->setToolTip(description);
        editor->setToolTip(description);
        grid->addWidget(editor, r, 1, Qt::AlignLeft);

        auto* range = qobject_cast<RangeParameterView*>(editor);
        rows_.push_back({handler, range ? qobject_cast<QDoubleSpinBox*>(range->spinbox) : nullptr, editor});
        readOnlyRows |= handler->isReadOnly();
        ++r;
    }
    if (readOnlyRows) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &FilterSettingsDialog::refreshReadOnly);
        timer->start(READ_ONLY_REFRESH_MS);
    }

    mainLayout->addStretch(0);
    auto* heading = new QLabel(name);
    heading->setAlignment(Qt::AlignCenter);
    heading->setStyleSheet("font-weight: 500;");
    mainLayout->addWidget(heading);
    mainLayout->addStretch(0);
    mainLayout->addLayout(grid);
    mainLayout->addStretch(0);
}

FilterSettingsDialog::~FilterSettingsDialog()
{
    // The base destructor hides the dialog, and an editor that loses the
    // focus then reports its value: it must not reach this dialog, which is
    // no longer whole by then.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
}

const FilterSettingsDialog::Row* FilterSettingsDialog::rowOf(const ParamControl* handler) const
{
    for (const auto& row : rows_)
        if (row.handler.get() == handler)
            return &row;
    return nullptr;
}

void FilterSettingsDialog::refreshReadOnly()
{
    if (!isVisible())
        return;
    for (const Row& row : rows_) {
        if (!row.handler->isReadOnly())
            continue;
        const auto [ok, value] = row.handler->get();
        if (!ok)
            continue;
        if (auto* range = qobject_cast<RangeParameterView*>(row.editor))
            range->showValue(value);
        else if (auto* choice = qobject_cast<EnumParameterView*>(row.editor))
            choice->showValue(value);
    }
}

void FilterSettingsDialog::setParam(const std::shared_ptr<ParamControl>& handler, const QVariant& value)
{
    if (!handler)
        return;
    // A float editor left unchanged reports the filter's value rounded to its
    // decimals; writing that back would change the value. Compared with what
    // the filter holds now, so a value changed elsewhere is still put back.
    if (const Row* row = rowOf(handler.get()); row && row->floatBox) {
        const auto now = handler->get();
        if (now.ok && value.toDouble() == shownBy(*row->floatBox, now.value.toDouble()))
            return;
    }
    writeGuard_.write(*handler, value, this, "Parameter Set Failed", "Failed to set parameter");
}

void FilterSettingsDialog::showDialog(const Tavik::FilterPtr& filter, QWidget* parent)
{
    auto* dialog = new FilterSettingsDialog(filter, parent);
    // Nobody keeps a handle on it: it goes when the user closes it, and its
    // handlers with it.
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

} // namespace Kelvra
