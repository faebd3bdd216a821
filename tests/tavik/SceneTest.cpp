// The synthetic scene: parameters really change the frames.

#include "TavikTestUtil.h"

#include <cmath>
#include <numeric>

using namespace Tavik;
using TavikTest::Rig;

namespace {

double meanAmplitude(const Frame& proc)
{
    double sum = 0;
    int n = 0;
    for (std::size_t i = 0; i < proc.amplitude.size(); ++i)
        if (!(proc.flags[i] & Frame::FLAG_SATURATED)) {
            sum += proc.amplitude[i];
            ++n;
        }
    return n ? sum / n : 0.0;
}

// Spread of the depth at one pixel over several sets.
double depthSpread(Rig& rig, std::size_t pixel, int sets)
{
    std::vector<double> values;
    for (int i = 0; i < sets; ++i)
        values.push_back(rig.nextSet()[FRAME_DEPTH_FRAME]->depth[pixel]);
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    double var = 0;
    for (double v : values)
        var += (v - mean) * (v - mean);
    return std::sqrt(var / values.size());
}

} // namespace

TEST(Scene, FrameContentsAreConsistent)
{
    Rig rig;
    rig.record();
    auto set = rig.nextSet();
    const Frame& raw = *set[FRAME_RAW_FRAME_UNPROCESSED];
    const Frame& proc = *set[FRAME_RAW_FRAME_PROCESSED];
    const Frame& depth = *set[FRAME_DEPTH_FRAME];
    const Frame& cloud = *set[FRAME_XYZI_POINT_CLOUD_FRAME];
    const std::size_t n = 320 * 240;
    EXPECT_EQ(raw.rawSamples.size(), 4 * n); // quad_cnt_max planes
    EXPECT_EQ(raw.subFrameCount, 2);
    ASSERT_EQ(proc.phase.size(), n);
    ASSERT_EQ(depth.depth.size(), n);
    ASSERT_EQ(cloud.points.size(), n);

    const float range = rig.camera->getf("unambiguous_range").value;
    const float dsf = rig.camera->getStreamParamf("depthScalingFactor").value;
    int valid = 0;
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_LT(proc.phase[i], 4096);
        if (proc.flags[i] != 0) {
            EXPECT_EQ(depth.depth[i], 0.f);
            EXPECT_EQ(cloud.points[i].z, 0.f);
            continue;
        }
        ++valid;
        EXPECT_GE(depth.depth[i], 0.f);
        EXPECT_LT(depth.depth[i], range);
        EXPECT_NEAR(depth.depth[i], proc.phase[i] * dsf, dsf); // metres = counts x factor
        // The point lies on the pixel's ray at the measured distance (pinhole).
        const XYZIPoint& p = cloud.points[i];
        const float u = static_cast<float>(i % 320), v = static_cast<float>(i / 320);
        EXPECT_NEAR(200.f * p.x / p.z + 160.f, u, 1e-2f);
        EXPECT_NEAR(200.f * p.y / p.z + 120.f, v, 1e-2f);
        EXPECT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), depth.depth[i], 1e-4f);
    }
    EXPECT_GT(valid, static_cast<int>(n / 2));
}

TEST(Scene, IntegrationTimeScalesAmplitude)
{
    Rig rig;
    rig.record();
    const double base = meanAmplitude(*rig.nextSet()[FRAME_RAW_FRAME_PROCESSED]);
    ASSERT_TRUE(rig.camera->setu("intg_time", 100).ok);
    const double half = meanAmplitude(*rig.nextSet()[FRAME_RAW_FRAME_PROCESSED]);
    EXPECT_NEAR(half / base, 0.5, 0.08);
    ASSERT_TRUE(rig.camera->seti("illum_power", 0).ok);
    EXPECT_LT(meanAmplitude(*rig.nextSet()[FRAME_RAW_FRAME_PROCESSED]), 5.0);
}

TEST(Scene, ModulationFrequencySetsWherePhaseWraps)
{
    Rig rig;
    rig.record();
    // The centre of the wall lies at about 2.8 m: no wrap at the default
    // range, a wrap once the range is shorter.
    const std::size_t centre = 120 * 320 + 20; // left of the sphere's path
    auto before = rig.nextSet();
    const float far = before[FRAME_DEPTH_FRAME]->depth[centre];
    ASSERT_GT(far, 2.0f);
    ASSERT_TRUE(rig.camera->setf("mod_freq1", 100.f).ok); // range 1.5 m
    auto after = rig.nextSet();
    const float range = rig.camera->getf("unambiguous_range").value;
    EXPECT_NEAR(range, 1.499f, 1e-3f);
    EXPECT_NEAR(after[FRAME_DEPTH_FRAME]->depth[centre], std::fmod(far, range), 0.03f);
    EXPECT_NE(after[FRAME_RAW_FRAME_PROCESSED]->phase[centre], before[FRAME_RAW_FRAME_PROCESSED]->phase[centre]);
}

TEST(Scene, NoiseGrowsAsAmplitudeFalls)
{
    Rig rig;
    rig.record();
    const std::size_t pixel = 60 * 320 + 40;
    const double bright = depthSpread(rig, pixel, 12);
    ASSERT_TRUE(rig.camera->setu("intg_time", 40).ok);
    ASSERT_TRUE(rig.camera->setf("illum_volt", 1.0f).ok);
    const double dark = depthSpread(rig, pixel, 12);
    EXPECT_GT(dark, 3 * bright);
}

TEST(Scene, SameSeedSameFramesAndTheSphereMoves)
{
    auto sets = [](uint32_t seed) {
        Rig rig;
        rig.record();
        rig.system.simulation().setSeed(rig.camera, seed);
        std::vector<FrameSet> out;
        for (int i = 0; i < 20; ++i)
            out.push_back(rig.nextSet());
        return out;
    };
    auto a = sets(7), b = sets(7), c = sets(8);
    EXPECT_EQ(a[0][FRAME_RAW_FRAME_PROCESSED]->phase, b[0][FRAME_RAW_FRAME_PROCESSED]->phase);
    EXPECT_NE(a[0][FRAME_RAW_FRAME_PROCESSED]->phase, c[0][FRAME_RAW_FRAME_PROCESSED]->phase);
    // The sphere is what lies between 1.3 and 2.3 m above the floor; its
    // centre column moves from set to set.
    auto sphereColumn = [](const FrameSet& s) {
        const Frame& d = *s[FRAME_DEPTH_FRAME];
        double sum = 0;
        int n = 0;
        for (int v = 0; v < 180; ++v)
            for (int u = 0; u < d.width; ++u) {
                const float z = d.depth[static_cast<std::size_t>(v) * d.width + u];
                if (z > 1.3f && z < 2.3f) {
                    sum += u;
                    ++n;
                }
            }
        return n > 100 ? sum / n : -1.0;
    };
    ASSERT_GT(sphereColumn(a[0]), 0.0);
    EXPECT_GT(std::fabs(sphereColumn(a[19]) - sphereColumn(a[0])), 10.0);
}
