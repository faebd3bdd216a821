// A camera's trigger commands: which it offers, how long each takes and what
// it answers to its two arguments.

#include "Detail.h"

namespace Tavik::detail {

namespace {

bool isDecimal(const std::string& text)
{
    std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i >= text.size())
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

} // namespace

TriggerResult CameraState::callTrigger(int number, const std::string& a, const std::string& b, std::string* why)
{
    if (!connected)
        return TriggerResult::False;
    if (!model.triggers.count(number))
        return TriggerResult::Unsupported;
    {
        std::unique_lock<std::mutex> lock(m_);
        auto it = settings.triggerDelayMs.find(number);
        const int delay = it != settings.triggerDelayMs.end() ? it->second : (number == 8 ? 2000 : 0);
        if (delay > 0)
            triggerCv_.wait_for(lock, std::chrono::milliseconds(delay), [&] { return !connected.load(); });
    }
    if (!connected)
        return TriggerResult::False;
    if (number == 9 && a == "fault") {
        if (why)
            *why = "the camera sent no answer";
        return TriggerResult::Error;
    }
    return isDecimal(a) && isDecimal(b) ? TriggerResult::True : TriggerResult::False;
}

} // namespace Tavik::detail
