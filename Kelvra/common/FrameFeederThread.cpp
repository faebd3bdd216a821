#include "Kelvra/common/FrameFeederThread.h"

namespace Kelvra {

FrameFeederThread::FrameFeederThread(FrameDeque& queue)
    : queue(queue)
{
}

void FrameFeederThread::produceFunction(const Tavik::DepthCameraPtr&, const Tavik::FramePtr& frame, Tavik::FrameType)
{
    queue.append(frame);
}

void FrameFeederThread::stop()
{
}

} // namespace Kelvra
