#pragma once
// Non-modal dialog listing every parameter of one filter, each with a name
// label and a compact editor; every change is written to the filter at once.
// What a read-only parameter shows (a count the filter reports) is read
// again while the dialog is shown.

#include "Kelvra/views/WriteGuard.h"
#include "Tavik/Filter.h"

#include <QDialog>
#include <QPointer>
#include <QVariant>

#include <memory>
#include <vector>

class QDoubleSpinBox;

namespace Kelvra {

class ParamControl;

class FilterSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // Builds one row per parameter the handler factory can wrap.
    explicit FilterSettingsDialog(Tavik::FilterPtr filter, QWidget* parent = nullptr);
    ~FilterSettingsDialog() override;

    // Writes a value a row's editor reported, once per report. One report is
    // not written: a float editor reports the value it shows, rounded to its
    // decimals, when left unchanged, so a value equal to the editor's rounding
    // of what the filter holds now is skipped (writing it would change the
    // filter's value). A refused write shows a message box; the editor keeps
    // the value.
    void setParam(const std::shared_ptr<ParamControl>& handler, const QVariant& value);

    // Builds a new dialog, shows it non-modally and returns at once; the
    // dialog deletes itself when closed.
    static void showDialog(const Tavik::FilterPtr& filter, QWidget* parent = nullptr);

    // How often the read-only rows are read again.
    static constexpr int READ_ONLY_REFRESH_MS = 500;

    const Tavik::FilterPtr filter;

private:
    struct Row {
        std::shared_ptr<ParamControl> handler;
        QPointer<QDoubleSpinBox> floatBox; // the spin box of a float editor
        QWidget* editor;
    };
    const Row* rowOf(const ParamControl* handler) const;
    // The read-only rows show what their parameters hold now.
    void refreshReadOnly();

    std::vector<Row> rows_;
    WriteGuard writeGuard_;
};

} // namespace Kelvra
