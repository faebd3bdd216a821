#include "Kelvra/dialogs/FilterSettingsDialog.h"
#include "Kelvra/views/ParamControl.h"
#include "Kelvra/views/ParameterViews.h"
#include "tests/Kelvra/dialogs/ModalDriver.h"
#include "tests/support/TestSupport.h"

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Frame.h"
#include "Tavik/Simulation.h"
#include "tavik/src/Detail.h" // to give a filter a parameter no handler fits

#include <QAbstractSpinBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

using Kelvra::EnumParameterView;
using Kelvra::FilterSettingsDialog;
using Kelvra::RangeParameterView;
using KelvraTest::ModalWatch;

namespace {

QGridLayout* gridOf(QWidget* dialog)
{
    return dialog->findChild<QGridLayout*>();
}

QStringList rowLabels(QWidget* dialog)
{
    QStringList labels;
    QGridLayout* grid = gridOf(dialog);
    for (int r = 0; r < grid->rowCount(); ++r)
        if (auto* item = grid->itemAtPosition(r, 0))
            labels << static_cast<QLabel*>(item->widget())->text();
    return labels;
}

// The editor of the row whose label reads `label`.
template <class Editor> Editor* editorOf(QWidget* dialog, const QString& label)
{
    QGridLayout* grid = gridOf(dialog);
    for (int r = 0; r < grid->rowCount(); ++r) {
        auto* name = grid->itemAtPosition(r, 0);
        auto* editor = grid->itemAtPosition(r, 1);
        if (name && editor && static_cast<QLabel*>(name->widget())->text() == label)
            return qobject_cast<Editor*>(editor->widget());
    }
    return nullptr;
}

QAbstractSpinBox* spinOf(QWidget* dialog, const QString& label)
{
    auto* view = editorOf<RangeParameterView>(dialog, label);
    return view ? view->spinbox : nullptr;
}

template <class Kind> auto valueOf(const Tavik::FilterPtr& filter, const std::string& name)
{
    return Kind::typeCast(filter->parameters().at(name))->get();
}

std::vector<FilterSettingsDialog*> openDialogs()
{
    return KelvraTest::visibleTopLevels<FilterSettingsDialog>();
}

// A 4 x 3 processed raw frame whose first `gated` pixels lie below the
// amplitude gate's threshold of 20.
Tavik::Frame gateFrame(int gated)
{
    Tavik::Frame frame;
    frame.type = Tavik::FRAME_RAW_FRAME_PROCESSED;
    frame.width = 4;
    frame.height = 3;
    frame.amplitude.assign(12, 50);
    std::fill_n(frame.amplitude.begin(), gated, 5);
    frame.phase.assign(12, 100);
    frame.flags.assign(12, 0);
    return frame;
}

// Closes every refusal box as it appears and keeps its title and text.
using RefusalBoxes = KelvraTest::MessageBoxLog;

} // namespace

class FilterSettingsDialogTest : public ::testing::Test {
protected:
    Tavik::FilterPtr make(const std::string& name, Tavik::FrameType type = Tavik::FRAME_RAW_FRAME_PROCESSED)
    {
        auto filter = system.createFilter(name, type);
        EXPECT_TRUE(filter) << name;
        return filter;
    }
    void TearDown() override
    {
        for (auto* d : openDialogs())
            d->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    Tavik::CameraSystem system;
};

TEST_F(FilterSettingsDialogTest, OneRowPerParameterInMapOrderWithDescriptionsAsTooltips)
{
    auto filter = make("Tavik::BilateralFilter");
    FilterSettingsDialog dialog(filter);
    EXPECT_EQ(dialog.windowTitle(), "Filter Parameters (Tavik::BilateralFilter)");
    EXPECT_EQ(dialog.minimumWidth(), 100);
    EXPECT_EQ(dialog.minimumHeight(), 80);
    // sigma_range, sigma_spatial, window: the map's order.
    EXPECT_EQ(rowLabels(&dialog), QStringList({"Range Sigma", "Spatial Sigma", "Window"}));

    auto* range = editorOf<RangeParameterView>(&dialog, "Range Sigma");
    ASSERT_TRUE(range);
    const QString description = "In phase counts on raw frames$in centimetres on depth frames";
    EXPECT_EQ(range->toolTip(), description); // "$" kept as the SDK gives it
    auto* label = static_cast<QLabel*>(gridOf(&dialog)->itemAtPosition(0, 0)->widget());
    EXPECT_EQ(label->toolTip(), description);

    bool heading = false;
    for (auto* l : dialog.findChildren<QLabel*>())
        heading |= l->text() == "Tavik::BilateralFilter" && l->styleSheet() == "font-weight: 500;"
            && l->alignment() == Qt::AlignCenter;
    EXPECT_TRUE(heading);
}

TEST_F(FilterSettingsDialogTest, EveryRowNamedAndFilterWithoutParameters)
{
    FilterSettingsDialog median(make("Tavik::MedianFilter"));
    EXPECT_EQ(rowLabels(&median), QStringList({"Deadband", "Window Size"}));
    // The unit beside the editor.
    auto* size = editorOf<RangeParameterView>(&median, "Window Size");
    ASSERT_TRUE(size);
    QStringList units;
    for (auto* l : size->findChildren<QLabel*>())
        units << l->text();
    EXPECT_EQ(units, QStringList({"px"}));

    FilterSettingsDialog passThrough(make("Tavik::PassThroughFilter"));
    EXPECT_TRUE(rowLabels(&passThrough).isEmpty());
    EXPECT_EQ(passThrough.findChildren<QLabel*>().size(), 1); // the heading only
    EXPECT_EQ(passThrough.minimumSize(), QSize(100, 80));
}

TEST_F(FilterSettingsDialogTest, EditsAreWrittenToTheFilterAtOnce)
{
    auto filter = make("Tavik::AmplitudeGateFilter");
    FilterSettingsDialog dialog(filter);
    RefusalBoxes boxes;

    auto* threshold = spinOf(&dialog, "Threshold");
    ASSERT_TRUE(threshold);
    QTest::keyClick(threshold, Qt::Key_Up);
    EXPECT_EQ(valueOf<Tavik::SignedFilterParameter>(filter, "threshold").value, 21);

    auto* mode = editorOf<EnumParameterView>(&dialog, "Mode");
    ASSERT_TRUE(mode);
    mode->setCurrentIndex(2);
    EXPECT_EQ(valueOf<Tavik::EnumFilterParameter>(filter, "mode").value, 2);

    auto* invert = editorOf<EnumParameterView>(&dialog, "Invert");
    ASSERT_TRUE(invert);
    invert->setCurrentIndex(1);
    EXPECT_TRUE(valueOf<Tavik::BoolFilterParameter>(filter, "invert").value);
    EXPECT_TRUE(boxes.seen.isEmpty());
}

TEST_F(FilterSettingsDialogTest, RefusedWriteShowsOneBoxAndKeepsTheEditorValue)
{
    auto filter = make("Tavik::BilateralFilter");
    FilterSettingsDialog dialog(filter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* window = qobject_cast<QSpinBox*>(spinOf(&dialog, "Window"));
    ASSERT_TRUE(window);
    window->setFocus();
    RefusalBoxes boxes;

    system.simulation().failNext("set:window");
    QTest::keyClick(window, Qt::Key_Up);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return !boxes.seen.isEmpty(); }));
    EXPECT_EQ(boxes.seen.front(), "Parameter Set Failed / Failed to set parameter");
    EXPECT_EQ(window->value(), 6); // the refused value stays shown
    EXPECT_EQ(valueOf<Tavik::UnsignedFilterParameter>(filter, "window").value, 5u); // nothing written
    // The box taking the focus makes the editor report again: still one box
    // once what the box left queued has run.
    KelvraTest::drainEvents();
    EXPECT_EQ(boxes.seen.size(), 1);

    // A further step tries again.
    system.simulation().failNext("set:window");
    QTest::keyClick(window, Qt::Key_Up);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return boxes.seen.size() == 2; }));
    QTest::keyClick(window, Qt::Key_Up);
    EXPECT_EQ(valueOf<Tavik::UnsignedFilterParameter>(filter, "window").value, 8u);
    EXPECT_EQ(boxes.seen.size(), 2);
}

TEST_F(FilterSettingsDialogTest, ReadOnlyParameterIsShownNotOffered)
{
    auto filter = make("Tavik::AmplitudeGateFilter");
    FilterSettingsDialog dialog(filter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    RefusalBoxes boxes;
    auto* dropped = spinOf(&dialog, "Gated Pixels");
    ASSERT_TRUE(dropped);
    EXPECT_TRUE(dropped->isReadOnly());
    EXPECT_EQ(dropped->buttonSymbols(), QAbstractSpinBox::NoButtons);
    EXPECT_FALSE(spinOf(&dialog, "Threshold")->isReadOnly());
    // It looks it: on grey, and never given the focus (nor its frame).
    EXPECT_EQ(dropped->palette().color(QPalette::Base), dropped->palette().color(QPalette::Window));
    EXPECT_NE(spinOf(&dialog, "Threshold")->palette().color(QPalette::Base), dropped->palette().color(QPalette::Base));
    EXPECT_EQ(dropped->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(dropped->hasFocus());

    // It shows the count the filter reports while the dialog is open.
    Tavik::Frame frame = gateFrame(12);
    filter->apply(frame);
    EXPECT_TRUE(KelvraTest::waitFor([&] { return qobject_cast<QSpinBox*>(dropped)->value() == 12; }));

    // Neither a step nor an edit left behind tries a write (a refusal box).
    dropped->setFocus();
    QTest::keyClick(dropped, Qt::Key_Up);
    QTest::keyClicks(dropped, "7");
    QTest::keyClick(dropped, Qt::Key_Return);
    spinOf(&dialog, "Threshold")->setFocus();
    KelvraTest::drainEvents();
    EXPECT_TRUE(boxes.seen.isEmpty());
    EXPECT_EQ(qobject_cast<QSpinBox*>(dropped)->value(), 12);
}

TEST_F(FilterSettingsDialogTest, RefreshingReadOnlyRowsLeavesAnEditInProgressAlone)
{
    auto filter = make("Tavik::AmplitudeGateFilter");
    FilterSettingsDialog dialog(filter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* dropped = qobject_cast<QSpinBox*>(spinOf(&dialog, "Gated Pixels"));
    auto* threshold = qobject_cast<QSpinBox*>(spinOf(&dialog, "Threshold"));
    ASSERT_TRUE(dropped && threshold);
    threshold->setFocus();
    threshold->selectAll();
    QTest::keyClicks(threshold, "35"); // not confirmed

    // Two refreshes, each seen on the read-only row: 12 pixels gated, then 6.
    for (const int gated : {12, 6}) {
        Tavik::Frame frame = gateFrame(gated);
        filter->apply(frame);
        ASSERT_TRUE(KelvraTest::waitFor([&] { return dropped->value() == gated; }));
    }
    EXPECT_EQ(threshold->text(), "35");
    EXPECT_EQ(valueOf<Tavik::SignedFilterParameter>(filter, "threshold").value, 20); // nothing written yet
}

TEST_F(FilterSettingsDialogTest, ANumberTypedBeyondALimitIsWrittenAsThatLimit)
{
    auto filter = make("Tavik::AmplitudeGateFilter");
    FilterSettingsDialog dialog(filter);
    RefusalBoxes boxes;
    auto* threshold = qobject_cast<QSpinBox*>(spinOf(&dialog, "Threshold"));
    ASSERT_TRUE(threshold);
    for (const auto& [typed, limit] : {std::pair{"5000", 4095}, std::pair{"-500", -100}}) {
        threshold->selectAll();
        QTest::keyClicks(threshold, typed);
        QTest::keyClick(threshold, Qt::Key_Return);
        EXPECT_EQ(valueOf<Tavik::SignedFilterParameter>(filter, "threshold").value, limit) << typed;
    }
    EXPECT_TRUE(boxes.seen.isEmpty());
}

TEST_F(FilterSettingsDialogTest, LeavingARoundedFloatEditorWritesNothing)
{
    auto filter = make("Tavik::BilateralFilter");
    ASSERT_TRUE(filter->setf("sigma_spatial", 1.234f).ok);
    FilterSettingsDialog dialog(filter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* spatial = qobject_cast<QDoubleSpinBox*>(spinOf(&dialog, "Spatial Sigma"));
    ASSERT_TRUE(spatial);
    EXPECT_DOUBLE_EQ(spatial->value(), 1.23); // shown rounded

    // Any write attempt would now be refused and show a box.
    system.simulation().failNext("set:sigma_spatial");
    RefusalBoxes boxes;
    spatial->setFocus();
    QTest::keyClick(spatial, Qt::Key_Tab);
    QTest::keyClick(spatial, Qt::Key_Return); // editing finished again, same value
    dialog.close();
    KelvraTest::drainEvents();
    EXPECT_TRUE(boxes.seen.isEmpty());
    EXPECT_FLOAT_EQ(valueOf<Tavik::FloatFilterParameter>(filter, "sigma_spatial").value, 1.234f);
    system.simulation().clearFailures();
}

TEST_F(FilterSettingsDialogTest, AValueTheUserChangesBackIsWrittenAgain)
{
    auto filter = make("Tavik::BilateralFilter");
    FilterSettingsDialog dialog(filter);
    auto* window = qobject_cast<QSpinBox*>(spinOf(&dialog, "Window"));
    ASSERT_TRUE(window);
    QTest::keyClick(window, Qt::Key_Up);
    EXPECT_EQ(valueOf<Tavik::UnsignedFilterParameter>(filter, "window").value, 6u);
    // Changed elsewhere meanwhile; stepping back to the shown-at-build value
    // is a real edit and must be written.
    ASSERT_TRUE(filter->setu("window", 9).ok);
    QTest::keyClick(window, Qt::Key_Down);
    EXPECT_EQ(valueOf<Tavik::UnsignedFilterParameter>(filter, "window").value, 5u);
}

TEST_F(FilterSettingsDialogTest, EveryChoiceOfABoolIsWrittenAfterARefusal)
{
    auto filter = make("Tavik::AmplitudeGateFilter");
    FilterSettingsDialog dialog(filter);
    RefusalBoxes boxes;
    auto* invert = editorOf<EnumParameterView>(&dialog, "Invert");
    ASSERT_TRUE(invert);
    ASSERT_EQ(invert->currentIndex(), 0); // False, as the filter holds

    system.simulation().failNext("set:invert");
    invert->setCurrentIndex(1);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return boxes.seen.size() == 1; }));
    EXPECT_FALSE(valueOf<Tavik::BoolFilterParameter>(filter, "invert").value);
    // Back to False, the value shown when the dialog was built: still a write
    // of its own (a refusal shows that it was tried).
    system.simulation().failNext("set:invert");
    invert->setCurrentIndex(0);
    ASSERT_TRUE(KelvraTest::waitFor([&] { return boxes.seen.size() == 2; }));
    system.simulation().clearFailures();
}

TEST_F(FilterSettingsDialogTest, ADialogDestroyedWhileAnEditorHasTheFocusWritesNothing)
{
    auto filter = make("Tavik::BilateralFilter");
    {
        FilterSettingsDialog dialog(filter);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        auto* window = qobject_cast<QSpinBox*>(spinOf(&dialog, "Window"));
        ASSERT_TRUE(window);
        window->setFocus();
        window->selectAll();
        QTest::keyClicks(window, "7"); // typed, not confirmed
        ASSERT_EQ(window->value(), 7);
    } // the base destructor hides it: the editor's report must find no dialog
    EXPECT_EQ(valueOf<Tavik::UnsignedFilterParameter>(filter, "window").value, 5u);
}

TEST_F(FilterSettingsDialogTest, ConfirmingTheShownValuePutsBackAValueChangedElsewhere)
{
    auto filter = make("Tavik::BilateralFilter");
    ASSERT_TRUE(filter->setf("sigma_spatial", 1.5f).ok);
    FilterSettingsDialog dialog(filter);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    RefusalBoxes boxes;

    // Changed meanwhile, as by a second dialog on the same filter.
    ASSERT_TRUE(filter->setu("window", 9).ok);
    ASSERT_TRUE(filter->setf("sigma_spatial", 2.25f).ok);

    auto* window = qobject_cast<QSpinBox*>(spinOf(&dialog, "Window"));
    ASSERT_TRUE(window);
    window->setFocus();
    QTest::keyClick(window, Qt::Key_Return); // confirms the 5 it shows
    EXPECT_EQ(valueOf<Tavik::UnsignedFilterParameter>(filter, "window").value, 5u);

    auto* spatial = qobject_cast<QDoubleSpinBox*>(spinOf(&dialog, "Spatial Sigma"));
    ASSERT_TRUE(spatial);
    spatial->setFocus();
    QTest::keyClick(spatial, Qt::Key_Return); // confirms the 1.50 it shows
    EXPECT_FLOAT_EQ(valueOf<Tavik::FloatFilterParameter>(filter, "sigma_spatial").value, 1.5f);
    EXPECT_TRUE(boxes.seen.isEmpty());
}

TEST_F(FilterSettingsDialogTest, ShowDialogOpensIndependentNonModalDialogsThatDeleteThemselves)
{
    auto filter = make("Tavik::BilateralFilter");
    const long baseline = filter.use_count();
    FilterSettingsDialog::showDialog(filter);
    FilterSettingsDialog::showDialog(filter);
    auto dialogs = openDialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_FALSE(dialogs[0]->isModal());
    EXPECT_FALSE(dialogs[0]->parentWidget());
    EXPECT_GT(filter.use_count(), baseline); // the dialogs and their handlers hold the filter

    // An edit in one is not seen by the other.
    QTest::keyClick(spinOf(dialogs[0], "Window"), Qt::Key_Up);
    EXPECT_EQ(valueOf<Tavik::UnsignedFilterParameter>(filter, "window").value, 6u);
    EXPECT_EQ(qobject_cast<QSpinBox*>(spinOf(dialogs[1], "Window"))->value(), 5);

    QPointer<FilterSettingsDialog> first(dialogs[0]);
    QPointer<FilterSettingsDialog> second(dialogs[1]);
    first->close();
    QTest::keyClick(second.data(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(filter.use_count(), baseline); // handlers gone with their dialogs
}

TEST_F(FilterSettingsDialogTest, ParameterWithoutHandlerIsSkippedWithADiagnostic)
{
    auto filter = make("Tavik::RawFrameAverageFilter", Tavik::FRAME_RAW_FRAME_UNPROCESSED);
    // A camera-side parameter fits none of the filter kinds.
    auto devices = system.scan();
    auto camera = system.connect(devices.front());
    ASSERT_TRUE(camera);
    auto cameraParam = camera->getParam("frame_rate");
    ASSERT_TRUE(cameraParam);
    filter->state()->params["aaa_camera_side"] = cameraParam;

    std::ostringstream captured;
    auto* old = std::cout.rdbuf(captured.rdbuf());
    FilterSettingsDialog dialog(filter);
    std::cout.rdbuf(old);
    EXPECT_EQ(rowLabels(&dialog), QStringList({"Frames"}));
    EXPECT_NE(captured.str().find("frame_rate"), std::string::npos);
    // The remaining row sits in grid row 0 and still writes.
    QTest::keyClick(spinOf(&dialog, "Frames"), Qt::Key_Up);
    EXPECT_EQ(valueOf<Tavik::UnsignedFilterParameter>(filter, "frames").value, 3u);
}
