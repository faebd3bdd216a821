#pragma once
// Test helper: a bare frame that tests tell apart by its id.

#include "Tavik/Frame.h"

#include <memory>

namespace KelvraTest {

inline Tavik::FramePtr frameWithId(int64_t id)
{
    auto f = std::make_shared<Tavik::Frame>();
    f->id = id;
    return f;
}

} // namespace KelvraTest
