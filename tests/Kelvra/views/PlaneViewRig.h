#pragma once
// Shared set-up of the image view tests: a simulated camera system, a stream
// controller (with or without a camera), a frame store the tests fill, and a
// view that records the calls of its overridable operations.

#include "Kelvra/models/StreamHub.h"
#include "Kelvra/views/PlaneView.h"
#include "Tavik/Tavik.h"
#include "platform/base/DataEngine.h"
#include "platform/base/DataFormat.h"
#include "platform/base/ViewCommunicator.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace PlaneViewTest {

inline bool sameImage(const cv::Mat& a, const cv::Mat& b)
{
    return a.size == b.size && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

// A view that notes every autoLevels and resetView with the frame count at
// the call, and may save its exports under a chosen folder.
class RecordingView : public Kelvra::PlaneView {
public:
    using Kelvra::PlaneView::_setDataFormat;
    using Kelvra::PlaneView::fliplr;
    using Kelvra::PlaneView::flipud;
    using Kelvra::PlaneView::isLensFocusing;
    using Kelvra::PlaneView::isShow;
    using Kelvra::PlaneView::PlaneView;

    struct Call {
        std::string name;
        std::int64_t count;
        bool operator==(const Call& o) const { return name == o.name && count == o.count; }
    };
    std::vector<Call> calls;
    QString folder;

    void autoLevels() override
    {
        calls.push_back({"autoLevels", updateCount});
        Kelvra::PlaneView::autoLevels();
    }
    void resetView() override
    {
        calls.push_back({"resetView", updateCount});
        Kelvra::PlaneView::resetView();
    }
    int callCount(const std::string& name) const
    {
        int n = 0;
        for (const Call& c : calls)
            n += c.name == name;
        return n;
    }

    QString programFolder() const override { return folder.isEmpty() ? Kelvra::PlaneView::programFolder() : folder; }
};

inline std::ostream& operator<<(std::ostream& os, const RecordingView::Call& c)
{
    return os << c.name << "@" << c.count;
}

// The host side of a view: camera system, controller and frame store.
struct Host {
    explicit Host(bool withCamera = false)
    {
        if (withCamera) {
            const auto devices = system.scan();
            camera = system.connect(devices.at(0));
        }
        hub = std::make_unique<Kelvra::StreamHub>(&system, camera);
        engine = std::make_unique<DataEngine>(hub.get());
    }
    ~Host()
    {
        engine.reset();
        hub.reset();
        if (camera)
            system.disconnect(camera, true);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    std::unique_ptr<RecordingView> view(DataFormat* format, bool displayDepth = false,
                                        std::optional<QRectF> sizeRect = std::nullopt)
    {
        return std::make_unique<RecordingView>(engine.get(), format, displayDepth, sizeRect);
    }

    Tavik::CameraSystem system;
    Tavik::DepthCameraPtr camera;
    std::unique_ptr<Kelvra::StreamHub> hub;
    std::unique_ptr<DataEngine> engine;
};

// w x h image ([x][y]) with the value f(x, y).
template <class F> cv::Mat image(int w, int h, F f, int type = CV_32F)
{
    cv::Mat img(w, h, CV_64F);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            img.at<double>(x, y) = f(x, y);
    cv::Mat out;
    img.convertTo(out, type);
    return out;
}

inline cv::Mat constant(int w, int h, double value)
{
    return image(w, h, [value](int, int) { return value; });
}

// Alternating 0 / `high` cells: every Laplacian element is +-4 * high.
inline cv::Mat checkerboard(int w, int h, double high, int type = CV_32F)
{
    return image(
        w, h, [high](int x, int y) { return (x + y) % 2 ? high : 0.0; }, type);
}

inline QString lensText(const QString& figure)
{
    return " <span style='font-size: 20pt'>Len clarity : <span style='color: red'> " + figure + "  </span>    ";
}

// Closes the next message box that opens and notes what it said.
class MessageBoxCatcher {
public:
    MessageBoxCatcher()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box && box->isVisible()) {
                    seen.push_back({box->icon(), box->windowTitle(), box->text(), box->textFormat()});
                    box->done(QMessageBox::Ok);
                }
            }
        });
        timer.start();
    }

    struct Box {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        Qt::TextFormat format;
    };
    std::vector<Box> seen;

private:
    QTimer timer;
};

} // namespace PlaneViewTest
