#include "Detail.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace Tavik {

bool recordFromCamera(const DepthCameraPtr& camera, const std::string& path, int sets, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!camera || !camera->isConnected())
        return fail("no connected camera");
    FrameStreamWriter writer(path, FrameStreamWriter::headerFor(*camera));
    if (!writer.isOpen())
        return fail("cannot write " + path);

    auto& state = *camera->state();
    std::mutex m;
    std::condition_variable cv;
    std::deque<FrameSet> queue;
    int taken = 0;
    const int token = state.addTap([&](const FrameSet& set) {
        std::lock_guard<std::mutex> lock(m);
        if (taken < sets) {
            ++taken;
            queue.push_back(set);
        }
        cv.notify_all();
    });
    if (token < 0)
        return fail("camera disconnected");
    const bool startedHere = !camera->isRunning();
    if (startedHere && !camera->start()) {
        state.removeTap(token);
        return fail("camera refused to start");
    }

    std::string problem;
    int written = 0;
    const auto patience =
        std::chrono::milliseconds(5000) + std::chrono::milliseconds(static_cast<int>(3000.0 / state.frameRate()));
    while (written < sets && problem.empty()) {
        if (state.isManualRun())
            state.deliverFrameSets(1);
        FrameSet set;
        {
            std::unique_lock<std::mutex> lock(m);
            if (!cv.wait_for(lock, patience, [&] { return !queue.empty() || !camera->isConnected(); })) {
                problem = "no frames from the camera";
                break;
            }
            if (queue.empty()) {
                problem = "camera disconnected";
                break;
            }
            set = std::move(queue.front());
            queue.pop_front();
        }
        if (!writer.write(set))
            problem = "write failed";
        else
            ++written;
    }
    state.removeTap(token);
    if (startedHere)
        camera->stop();
    if (!writer.close() && problem.empty())
        problem = "write failed";
    return problem.empty() ? true : fail(problem);
}

} // namespace Tavik
