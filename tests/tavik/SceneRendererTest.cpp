// The vectorised scene renderer against the pixel-at-a-time reference, and the
// frame pool behind it.

#include "TavikTestUtil.h"

#include "tavik/src/FramePool.h"
#include "tavik/src/SceneModel.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

using namespace Tavik;
using Tavik::detail::SceneRenderer;
using Tavik::detail::SceneRendererReference;
using Tavik::detail::SceneSettings;
using TavikTest::Rig;

namespace {

template <class T> bool sameBits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

// Empty when the frames agree to the bit, else what differs.
std::string difference(const Frame& a, const Frame& b)
{
    std::string out;
    auto check = [&out](bool same, const char* what) {
        if (!same)
            out += std::string(out.empty() ? "" : ", ") + what;
    };
    check(a.type == b.type, "type");
    check(a.id == b.id && a.timestamp == b.timestamp, "id or timestamp");
    check(a.width == b.width && a.height == b.height, "size");
    check(a.subFrameCount == b.subFrameCount, "subFrameCount");
    check(sameBits(a.rawSamples, b.rawSamples), "rawSamples");
    check(sameBits(a.phase, b.phase), "phase");
    check(sameBits(a.amplitude, b.amplitude), "amplitude");
    check(sameBits(a.flags, b.flags), "flags");
    check(sameBits(a.depth, b.depth), "depth");
    check(sameBits(a.points, b.points), "points");
    return out;
}

struct Variant {
    const char* name;
    SceneSettings settings;
};

std::vector<Variant> variants()
{
    std::vector<Variant> out;
    auto add = [&out](const char* name, auto change) {
        SceneSettings s;
        change(s);
        out.push_back({name, s});
    };
    add("default", [](SceneSettings&) {});
    // The sphere far left, partly out of the image, and far right.
    add("sphere left", [](SceneSettings& s) { s.time = 5.2; });
    add("sphere right", [](SceneSettings& s) { s.time = 1.75; });
    add("80x60", [](SceneSettings& s) {
        s.width = 80;
        s.height = 60;
        s.fx = s.fy = 50.f;
        s.cx = 40.f;
        s.cy = 30.f;
    });
    // Rows that end inside a vector and a block, fewer rows than stripes.
    add("odd size", [](SceneSettings& s) {
        s.width = 131;
        s.height = 23;
        s.cx = 65.f;
        s.cy = 11.f;
        s.fx = 0.f; // falls back to fy
    });
    add("three rows", [](SceneSettings& s) {
        s.width = 7;
        s.height = 3;
    });
    add("one pixel", [](SceneSettings& s) {
        s.width = 1;
        s.height = 1;
    });
    add("empty", [](SceneSettings& s) { s.width = 0; });
    add("one quad", [](SceneSettings& s) { s.quadCount = 1; });
    add("three quads", [](SceneSettings& s) { s.quadCount = 3; });
    add("five quads", [](SceneSettings& s) { s.quadCount = 5; });
    add("eight quads", [](SceneSettings& s) { s.quadCount = 8; });
    add("short range", [](SceneSettings& s) { s.range = 0.7f; });
    add("negative offset", [](SceneSettings& s) { s.depthOffset = -3.1f; });
    add("no light", [](SceneSettings& s) { s.illumPower = 0; });
    add("saturated", [](SceneSettings& s) {
        s.intgTime = 4000.f;
        s.mixVolt = 3.5f;
    });
    add("dim", [](SceneSettings& s) {
        s.intgTime = 20.f;
        s.illumPower = 1;
    });
    add("other seed", [](SceneSettings& s) { s.noiseSeed = 987654321; });
    return out;
}

FrameSet copyOf(const FrameSet& set)
{
    FrameSet out;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        out[t] = set[t]->copy();
    return out;
}

} // namespace

// With the wide (AVX2, where the processor has it) and the portable kernels.
class SceneRendererKernels : public testing::TestWithParam<bool> { };

TEST_P(SceneRendererKernels, GiveTheReferenceFramesToTheBit)
{
    // One renderer of each kind through every variant, so the renderer also
    // adapts its geometry, noise stripes and pooled frames on the way.
    SceneRenderer renderer(GetParam());
    SceneRendererReference reference;
    int64_t id = 1;
    for (const auto& variant : variants()) {
        for (int repeat = 0; repeat < 2; ++repeat, ++id) {
            const FrameSet got = renderer.render(variant.settings, id, 1000 * id);
            const FrameSet want = reference.render(variant.settings, id, 1000 * id);
            for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
                EXPECT_EQ(difference(*got[t], *want[t]), "") << variant.name << ", frame type " << t;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WideAndPortable, SceneRendererKernels, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Portable"; });

TEST(SceneRenderer, HeldFramesAreNeverRenderedIntoAndReleasedOnesAreReused)
{
    SceneRenderer renderer;
    SceneSettings s;
    const FrameSet held = renderer.render(s, 1, 1);
    const FrameSet heldCopy = copyOf(held);

    // Sets let go at once: their frames come back for the next set.
    std::array<const Frame*, FRAME_TYPE_COUNT> released{};
    {
        const FrameSet first = renderer.render(s, 2, 2);
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
            released[t] = first[t].get();
    }
    const auto made = Frame::constructedCount();
    for (int64_t id = 3; id < 12; ++id) {
        s.time = 0.1 * static_cast<double>(id);
        const FrameSet set = renderer.render(s, id, id);
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t) {
            EXPECT_EQ(set[t].get(), released[t]) << "set " << id << ", type " << t;
            EXPECT_NE(set[t].get(), held[t].get());
            EXPECT_EQ(set[t]->id, id);
        }
    }
    EXPECT_EQ(Frame::constructedCount(), made);
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        EXPECT_EQ(difference(*held[t], *heldCopy[t]), "") << "type " << t;
}

TEST(SceneRenderer, PooledFrameOfAnotherSizeOrTypeIsReshaped)
{
    SceneRenderer renderer;
    SceneRendererReference reference;
    SceneSettings big;
    big.quadCount = 8;
    {
        FrameSet first = renderer.render(big, 1, 1);
        // A holder that turned a frame into another type files it there.
        first[FRAME_DEPTH_FRAME]->type = FRAME_XYZI_POINT_CLOUD_FRAME;
    }
    SceneSettings small;
    small.width = 20;
    small.height = 10;
    const FrameSet got = renderer.render(small, 2, 2);
    const FrameSet want = reference.render(small, 2, 2);
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        EXPECT_EQ(difference(*got[t], *want[t]), "") << "type " << t;
}

TEST(SceneRenderer, FramesOutliveTheirRenderer)
{
    FrameSet set;
    {
        SceneRenderer renderer;
        set = renderer.render(SceneSettings{}, 1, 1);
    } // the pool goes with it; the frames are deleted when let go of
    const FrameSet want = SceneRendererReference().render(SceneSettings{}, 1, 1);
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        EXPECT_EQ(difference(*set[t], *want[t]), "") << "type " << t;
}

TEST(FramePool, KeepsAFewIdleFramesPerType)
{
    auto pool = detail::FramePool::create(2);
    std::vector<FramePtr> taken;
    for (int i = 0; i < 3; ++i)
        taken.push_back(pool->take(FRAME_DEPTH_FRAME));
    EXPECT_EQ(taken[0]->type, FRAME_DEPTH_FRAME);
    taken[0]->depth.assign(5, 1.f);
    const Frame* first = taken[0].get();
    taken.clear();
    EXPECT_EQ(pool->idleCount(FRAME_DEPTH_FRAME), 2u);
    EXPECT_EQ(pool->idleCount(FRAME_RAW_FRAME_PROCESSED), 0u);

    // A frame given back keeps its buffers for the next taker of its type.
    const FramePtr again = pool->take(FRAME_DEPTH_FRAME);
    const FramePtr other = pool->take(FRAME_DEPTH_FRAME);
    EXPECT_TRUE(again.get() == first || other.get() == first);
    EXPECT_EQ((again.get() == first ? again : other)->depth.size(), 5u);
    EXPECT_EQ(pool->take(FRAME_RAW_FRAME_PROCESSED)->phase.size(), 0u);
}

TEST(CameraDelivery, AKeptFrameStaysAsDeliveredWhileLaterSetsReuseTheOthers)
{
    Rig rig;
    std::mutex m;
    std::vector<FramePtr> kept, keptCopy;
    std::vector<const Frame*> later;
    for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
        rig.camera->registerCallback(t, [&](const DepthCameraPtr&, const FramePtr& frame, FrameType) {
            std::lock_guard<std::mutex> lock(m);
            if (frame->id == 1) {
                kept.push_back(frame);
                keptCopy.push_back(frame->copy());
            } else {
                later.push_back(frame.get());
            }
        });
    rig.deliver(8);
    ASSERT_EQ(kept.size(), 4u);
    ASSERT_EQ(later.size(), 28u);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(difference(*kept[i], *keptCopy[i]), "") << "type " << i;
        EXPECT_EQ(std::count(later.begin(), later.end(), kept[i].get()), 0);
    }
    // The frames let go of were rendered into again.
    EXPECT_LT(std::set<const Frame*>(later.begin(), later.end()).size(), later.size());
}
