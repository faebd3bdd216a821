#pragma once
// Helpers of the parameter-handler tests: a connected simulated camera,
// a watcher that records and closes modal message boxes, and a small engine
// with parameters of chosen shapes for what the simulated devices lack.

#include "Kelvra/views/ParamControl.h"
#include "Kelvra/views/ParameterViews.h"

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Simulation.h"
#include "tavik/src/Detail.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <ostream>

// Readable values in failure messages (QString: TestSupport.h).
inline void PrintTo(const QVariant& value, std::ostream* os)
{
    *os << (value.isValid() ? value.typeName() : "invalid") << '(' << value.toString().toStdString() << ')';
}

namespace ParamTest {

// The first simulated device, "Quenta14Camera", connected.
class CameraFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto devices = system.scan();
        ASSERT_FALSE(devices.empty());
        camera = system.connect(devices.front());
        ASSERT_TRUE(camera);
        ASSERT_EQ(camera->cameraType(), "Quenta14Camera");
    }

    std::shared_ptr<Kelvra::ParamControl> handler(const std::string& name)
    {
        return Kelvra::ParamControl::getParamControl(camera, name);
    }
    int calls(const std::string& name) { return system.simulation().setterCalls(camera, name); }
    Tavik::Simulation& sim() { return system.simulation(); }

    Tavik::CameraSystem system;
    Tavik::DepthCameraPtr camera;
};

// Records every modal message box that opens while it lives, and closes it.
// `onShow` runs once, inside the first box's event loop, before it closes.
class MessageBoxWatcher {
public:
    MessageBoxWatcher()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    QStringList titles;
    QStringList texts;
    std::function<void()> onShow;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("seenByWatcher").toBool())
            return;
        box->setProperty("seenByWatcher", true);
        titles << box->windowTitle();
        texts << box->text();
        QPointer<QMessageBox> guard(box);
        if (onShow) {
            auto hook = std::move(onShow);
            onShow = nullptr;
            hook();
        }
        if (guard)
            guard->done(QMessageBox::Ok);
    }

    QTimer timer_;
};

// An engine whose parameters are made to order; counts the typed writes
// that reach it and can refuse them.
class FakeEngine : public Tavik::detail::ParamHost, public Tavik::ParameterEngine {
public:
    FakeEngine()
        : ParamHost(std::make_shared<Tavik::detail::SystemShared>())
    {
    }

    void failNext(const std::string& operation, int count = 1) { shared()->set(operation, count); }
    int writes(const std::string& name) const
    {
        auto it = writes_.find(name);
        return it == writes_.end() ? 0 : it->second;
    }

    Tavik::Result<int32_t> seti(const std::string& name, int32_t value) override
    {
        return typed<int32_t>(name, Tavik::detail::Setter::I, value);
    }
    Tavik::Result<bool> setb(const std::string& name, bool value) override
    {
        return typed<bool>(name, Tavik::detail::Setter::B, value ? 1.0 : 0.0);
    }
    Tavik::Result<uint32_t> setu(const std::string& name, uint32_t value) override
    {
        return typed<uint32_t>(name, Tavik::detail::Setter::U, value);
    }
    Tavik::Result<float> setf(const std::string& name, float value) override
    {
        return typed<float>(name, Tavik::detail::Setter::F, value);
    }

private:
    template <class T> Tavik::Result<T> typed(const std::string& name, Tavik::detail::Setter setter, double value)
    {
        ++writes_[name];
        return Tavik::detail::typed<T>(writeParam(name, setter, value));
    }

    std::map<std::string, int> writes_;
};

// A parameter of `engine` built from `shape` (camera or filter kind class).
inline Tavik::ParameterPtr addParam(const std::shared_ptr<FakeEngine>& engine, const Tavik::detail::ParamSpec& shape,
                                    bool filterSide = false)
{
    engine->addParam(shape);
    return Tavik::detail::makeParameter(shape, engine, filterSide);
}

using Tavik::detail::makeSpec;

} // namespace ParamTest
