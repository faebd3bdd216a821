#pragma once
// Helpers of the settings-page tests: the simulated devices by position, a
// fixture with a camera system and a controller, and the slider editor
// driven as a user typing into its spin box.

#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/ParameterViews.h"
#include "tests/Kelvra/views/ParamTestSupport.h"

#include <QDoubleSpinBox>
#include <QSpinBox>
#include <gtest/gtest.h>

namespace PageTest {

// Positions in the default device list.
enum Device { Quenta14 = 0, QuentaD = 1, Degraded = 2 };

class PageFixture : public ::testing::Test {
protected:
    Tavik::DepthCameraPtr connect(Device device)
    {
        auto camera = system.connect(system.scan().at(device));
        EXPECT_TRUE(camera);
        return camera;
    }
    // A controller holding `camera` (or none), in place of the last one.
    Kelvra::StreamHub* makeHub(const Tavik::DepthCameraPtr& camera)
    {
        hub = std::make_unique<Kelvra::StreamHub>(&system, camera);
        return hub.get();
    }
    float range(const Tavik::DepthCameraPtr& camera) { return camera->getf("unambiguous_range").value; }

    Tavik::CameraSystem system;
    std::unique_ptr<Kelvra::StreamHub> hub;
};

// The value a slider editor's spin box shows; -1 for another widget.
inline double shown(QWidget* editor)
{
    auto* view = qobject_cast<Kelvra::RangeParameterDetailedView*>(editor);
    if (!view)
        return -1;
    if (auto* i = qobject_cast<QSpinBox*>(view->spinbox))
        return i->value();
    return static_cast<QDoubleSpinBox*>(view->spinbox)->value();
}

// Types `value` into a slider editor and finishes editing, which writes.
inline void typeInto(QWidget* editor, double value)
{
    auto* view = qobject_cast<Kelvra::RangeParameterDetailedView*>(editor);
    ASSERT_TRUE(view);
    if (auto* i = qobject_cast<QSpinBox*>(view->spinbox))
        i->setValue(static_cast<int>(value));
    else
        static_cast<QDoubleSpinBox*>(view->spinbox)->setValue(value);
    emit view->spinbox->editingFinished();
}

} // namespace PageTest
