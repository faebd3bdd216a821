// Filters: what the system offers, the chain rules, and what filters do.

#include "TavikTestUtil.h"
#include "tests/support/TestSupport.h"
#include "tavik/src/Detail.h" // to read a chain

#include <algorithm>
#include <cmath>
#include <cstring>
#include <atomic>
#include <set>

using namespace Tavik;
using TavikTest::Rig;

TEST(Filters, OfferedInAFixedOrderWithDescriptions)
{
    CameraSystem system;
    const std::vector<std::string> expected = {
        "Tavik::MedianFilter",        "Tavik::TemporalMedianFilter",  "Tavik::BilateralFilter",
        "Tavik::AmplitudeGateFilter", "Tavik::RawFrameAverageFilter", "Tavik::PointCloud::OutlierFilter",
        "Tavik::PassThroughFilter",   "Tavik::LegacyFilter",          "Tavik::ReservedFilter"};
    EXPECT_EQ(system.getSupportedFilters(), expected);

    auto supported = [&](const std::string& name) {
        FilterDescription d;
        std::vector<FrameType> types;
        if (!system.getFilterDescription(name, d))
            return std::vector<FrameType>{-1};
        for (FrameType t = 0; t < FRAME_TYPE_COUNT; ++t)
            if (d.supports(t))
                types.push_back(t);
        return types;
    };
    EXPECT_EQ(supported("Tavik::MedianFilter"), (std::vector<FrameType>{1, 2}));
    EXPECT_EQ(supported("Tavik::AmplitudeGateFilter"), (std::vector<FrameType>{1, 3}));
    EXPECT_EQ(supported("Tavik::RawFrameAverageFilter"), (std::vector<FrameType>{0}));
    EXPECT_EQ(supported("Tavik::PointCloud::OutlierFilter"), (std::vector<FrameType>{3}));
    EXPECT_EQ(supported("Tavik::PassThroughFilter"), (std::vector<FrameType>{0, 1, 2, 3}));
    EXPECT_EQ(supported("Tavik::ReservedFilter"), std::vector<FrameType>{});
    EXPECT_EQ(supported("Tavik::LegacyFilter"), std::vector<FrameType>{-1});
    EXPECT_EQ(supported("Nothing"), std::vector<FrameType>{-1});

    // A reused description is cleared before it is filled.
    FilterDescription d;
    ASSERT_TRUE(system.getFilterDescription("Tavik::PassThroughFilter", d));
    ASSERT_TRUE(system.getFilterDescription("Tavik::RawFrameAverageFilter", d));
    EXPECT_FALSE(d.supports(1));
    EXPECT_FALSE(d.supports(7));
}

TEST(Filters, CreatedOnlyWhereTheyCanStand)
{
    CameraSystem system;
    auto median = system.createFilter("Tavik::MedianFilter", 1);
    ASSERT_TRUE(median);
    EXPECT_EQ(median->name(), "Tavik::MedianFilter");
    EXPECT_EQ(median->frameType(), 1);
    EXPECT_NE(system.createFilter("Tavik::MedianFilter", 1), median); // always a new one
    EXPECT_FALSE(system.createFilter("Tavik::RawFrameAverageFilter", 1));
    EXPECT_FALSE(system.createFilter("Tavik::PointCloud::OutlierFilter", 1));
    EXPECT_FALSE(system.createFilter("Tavik::LegacyFilter", 0));
    EXPECT_FALSE(system.createFilter("Tavik::ReservedFilter", 0));
    EXPECT_FALSE(system.createFilter("Tavik::MedianFilter", 4));
    EXPECT_FALSE(system.createFilter("MedianFilter", 1));
    system.simulation().failNext("createFilter");
    EXPECT_FALSE(system.createFilter("Tavik::PassThroughFilter", 1));
    EXPECT_TRUE(system.createFilter("Tavik::PassThroughFilter", 1));
    EXPECT_TRUE(system.createFilter("Tavik::PassThroughFilter", 1)->parameters().empty());
}

TEST(Filters, ARefusedCreationSaysWhy)
{
    CameraSystem system;
    const auto why = [&](const std::string& name, FrameType type) {
        std::string reason = "untouched";
        EXPECT_FALSE(system.createFilter(name, type, &reason)) << name;
        return reason;
    };
    // Which frame types the filter takes.
    EXPECT_EQ(why("Tavik::PointCloud::OutlierFilter", 1), "it takes only point-cloud frames");
    EXPECT_EQ(why("Tavik::AmplitudeGateFilter", 2), "it takes only raw processed and point-cloud frames");
    EXPECT_EQ(why("Tavik::MedianFilter", 0), "it takes only raw processed and depth frames");
    EXPECT_EQ(why("Tavik::ReservedFilter", 0), "it takes no frames");
    EXPECT_EQ(why("Tavik::LegacyFilter", 0), "the filter has no description");
    EXPECT_EQ(why("MedianFilter", 1), "no filter of that name");
    EXPECT_EQ(why("Tavik::MedianFilter", 4), "no frame type 4");
    system.simulation().failNext("createFilter");
    EXPECT_EQ(why("Tavik::PassThroughFilter", 1), "refused by the camera system");

    std::string untouched = "untouched";
    EXPECT_TRUE(system.createFilter("Tavik::PassThroughFilter", 1, &untouched));
    EXPECT_EQ(untouched, "untouched");
}

TEST(Filters, ParametersOfEveryFilterKind)
{
    CameraSystem system;
    auto gate = system.createFilter("Tavik::AmplitudeGateFilter", 1);
    auto params = gate->parameters();
    std::vector<std::string> names;
    for (auto& p : params)
        names.push_back(p.first);
    EXPECT_EQ(names, (std::vector<std::string>{"dropped", "invert", "mode", "threshold"}));
    EXPECT_TRUE(SignedFilterParameter::typeCast(params["threshold"]));
    EXPECT_FALSE(EnumFilterParameter::typeCast(params["threshold"]));
    EXPECT_TRUE(EnumFilterParameter::typeCast(params["mode"]));
    EXPECT_TRUE(SignedFilterParameter::typeCast(params["mode"]));
    EXPECT_TRUE(BoolFilterParameter::typeCast(params["invert"]));
    EXPECT_FALSE(BoolParameter::typeCast(params["invert"])); // filter side only
    EXPECT_EQ(EnumFilterParameter::typeCast(params["mode"])->valueMeaning(),
              (std::vector<std::string>{"Zero", "Drop", "Flag"}));
    EXPECT_EQ(params["dropped"]->ioType(), Parameter::IO_READ_ONLY);
    EXPECT_FALSE(gate->setu("dropped", 5).ok);
    EXPECT_TRUE(gate->setb("invert", false).ok);
    EXPECT_TRUE(gate->setb("invert", false).ok); // written every time
    EXPECT_EQ(gate->seti("threshold", -200).value, -100);
    EXPECT_FALSE(gate->seti("mode", 3).ok);
    EXPECT_FALSE(gate->setu("threshold", 3).ok); // wrong setter

    auto median = system.createFilter("Tavik::MedianFilter", 2);
    auto size = UnsignedFilterParameter::typeCast(median->parameters()["size"]);
    EXPECT_FALSE(median->setu("size", 4).ok);
    EXPECT_EQ(median->setu("size", 4).value, 3u);
    EXPECT_TRUE(median->setu("size", 5).ok);
    EXPECT_EQ(size->get().value, 5u);
    auto deadband = FloatFilterParameter::typeCast(median->parameters()["deadband"]);
    EXPECT_EQ(deadband->displayName(), "Deadband");
    EXPECT_NE(deadband->description().find('$'), std::string::npos);
    EXPECT_FLOAT_EQ(deadband->get().value, 0.05f);

    system.simulation().failNext("get:deadband");
    EXPECT_FALSE(deadband->get().ok);
}

TEST(FilterChains, IndexesAreStableAndSystemWide)
{
    Rig rig;
    CameraSystem& sys = rig.system;
    const DepthCameraPtr& cam = rig.camera;
    auto f1 = sys.createFilter("Tavik::MedianFilter", 1);
    auto f2 = sys.createFilter("Tavik::BilateralFilter", 1);
    auto f3 = sys.createFilter("Tavik::PassThroughFilter", 1);
    const int i1 = cam->addFilter(f1, 1);
    const int i2 = cam->addFilter(f2, 1);
    ASSERT_GE(i1, 0);
    ASSERT_GE(i2, 0);
    EXPECT_NE(i1, i2);
    EXPECT_LT(cam->addFilter(f1, 1), 0); // already in a chain
    EXPECT_LT(cam->addFilter(f3, 2), 0); // made for another type
    EXPECT_LT(cam->addFilter(f3, 1, 999), 0); // no such member
    EXPECT_LT(cam->addFilter(nullptr, 1), 0);
    const int i3 = cam->addFilter(f3, 1, i2); // before f2

    EXPECT_TRUE(cam->removeFilter(i1, 1));
    EXPECT_FALSE(cam->removeFilter(i1, 1)); // second removal
    EXPECT_FALSE(cam->removeFilter(i2, 2)); // wrong chain
    // The others keep their indexes, and a re-added filter gets a new one.
    f1->reset();
    const int i1b = cam->addFilter(f1, 1, i3);
    EXPECT_GE(i1b, 0);
    EXPECT_NE(i1b, i1);
    EXPECT_TRUE(cam->removeFilter(i2, 1));
    EXPECT_TRUE(cam->removeFilter(i3, 1));

    // A stale index of another camera names nothing here.
    auto other = sys.connect(rig.devices[1]);
    auto g = sys.createFilter("Tavik::PassThroughFilter", 1);
    const int j = other->addFilter(g, 1);
    EXPECT_GT(j, i1b);
    EXPECT_FALSE(cam->removeFilter(j, 1));
    EXPECT_TRUE(cam->removeFilter(i1b, 1));

    // Every call is counted on the camera it reached, refused ones included.
    EXPECT_EQ(sys.simulation().filterCalls(cam), 15);
    EXPECT_EQ(sys.simulation().filterCalls(other), 1);
    EXPECT_EQ(sys.simulation().filterCalls(nullptr), 0);
}

TEST(FilterChains, AnIndexNamesItsFilterUntilRemovedAndIsNeverReused)
{
    Rig rig;
    CameraSystem& sys = rig.system;
    const DepthCameraPtr& cam = rig.camera;
    auto chain = [&](FrameType type) {
        return cam->state()->withLock([&] {
            std::vector<FilterPtr> filters;
            for (const auto& entry : cam->state()->chains[type])
                filters.push_back(entry.filter);
            return filters;
        });
    };
    std::set<int> given;
    auto add = [&](const FilterPtr& filter, FrameType type, int before = -1) {
        const int index = cam->addFilter(filter, type, before);
        EXPECT_GE(index, 0);
        EXPECT_TRUE(given.insert(index).second) << "index " << index << " given twice";
        return index;
    };
    auto make = [&] { return sys.createFilter("Tavik::PassThroughFilter", 1); };
    auto a = make(), b = make(), c = make(), d = make(), e = make();

    const int ia = add(a, 1), ib = add(b, 1), ic = add(c, 1);
    ASSERT_TRUE(cam->removeFilter(ia, 1));
    add(d, 1, ic); // c keeps its index after a removal ahead of it
    EXPECT_EQ(chain(1), (std::vector<FilterPtr>{b, d, c}));
    add(e, 1, ib);
    EXPECT_EQ(chain(1), (std::vector<FilterPtr>{e, b, d, c}));
    ASSERT_TRUE(cam->removeFilter(ib, 1));
    ASSERT_TRUE(cam->removeFilter(ic, 1));
    EXPECT_EQ(chain(1), (std::vector<FilterPtr>{e, d}));
    EXPECT_FALSE(cam->removeFilter(ib, 1)); // a removed filter's index names nothing
    EXPECT_LT(cam->addFilter(make(), 1, ic), 0);

    // Removed and re-added filters, in other chains and on another camera:
    // every index is new.
    auto other = sys.connect(rig.devices[1]);
    for (int round = 0; round < 10; ++round) {
        a->reset();
        const int again = add(a, 1);
        ASSERT_TRUE(cam->removeFilter(again, 1));
        const int there = other->addFilter(sys.createFilter("Tavik::PassThroughFilter", 2), 2);
        EXPECT_TRUE(given.insert(there).second);
        ASSERT_TRUE(other->removeFilter(there, 2));
    }
    EXPECT_EQ(chain(1), (std::vector<FilterPtr>{e, d}));
}

TEST(FilterChains, HoldFourAndHonourInjectedRefusals)
{
    Rig rig;
    std::vector<int> indexes;
    for (int i = 0; i < 4; ++i)
        indexes.push_back(rig.camera->addFilter(rig.system.createFilter("Tavik::PassThroughFilter", 3), 3));
    EXPECT_TRUE(std::all_of(indexes.begin(), indexes.end(), [](int i) { return i >= 0; }));
    auto fifth = rig.system.createFilter("Tavik::PassThroughFilter", 3);
    EXPECT_LT(rig.camera->addFilter(fifth, 3), 0);
    EXPECT_GE(rig.camera->addFilter(rig.system.createFilter("Tavik::PassThroughFilter", 2), 2), 0); // other chain

    rig.system.simulation().failNext("removeFilter");
    EXPECT_FALSE(rig.camera->removeFilter(indexes[0], 3));
    EXPECT_TRUE(rig.camera->removeFilter(indexes[0], 3));
    rig.system.simulation().failNext("addFilter");
    EXPECT_LT(rig.camera->addFilter(fifth, 3), 0);
    EXPECT_GE(rig.camera->addFilter(fifth, 3), 0);
}

TEST(FilterChains, ARefusedAdditionSaysWhy)
{
    Rig rig;
    const auto make = [&](FrameType type) { return rig.system.createFilter("Tavik::PassThroughFilter", type); };
    const auto why = [&](const FilterPtr& filter, FrameType type, int before = -1) {
        std::string reason = "untouched";
        EXPECT_LT(rig.camera->addFilter(filter, type, before, &reason), 0);
        return reason;
    };
    const auto made = make(3);
    std::string untouched = "untouched";
    ASSERT_GE(rig.camera->addFilter(made, 3, -1, &untouched), 0);
    EXPECT_EQ(untouched, "untouched");
    for (int i = 0; i < 3; ++i)
        ASSERT_GE(rig.camera->addFilter(make(3), 3), 0);
    EXPECT_EQ(why(make(3), 3), "a chain holds at most 4 filters");
    EXPECT_EQ(why(made, 2), "the filter was made for point-cloud frames");
    EXPECT_EQ(why(make(2), 2, 999), "no filter of index 999 in that chain");
    EXPECT_EQ(why(nullptr, 2), "no filter given");
    EXPECT_EQ(why(make(2), 7), "no frame type 7");
    const auto twice = make(2);
    ASSERT_GE(rig.camera->addFilter(twice, 2), 0);
    EXPECT_EQ(why(twice, 2), "the filter stands in a chain already");
    rig.system.simulation().failNext("addFilter");
    EXPECT_EQ(why(make(2), 2), "refused by the camera");
    ASSERT_TRUE(rig.system.disconnect(rig.camera));
    EXPECT_EQ(why(make(2), 2), "the camera is not connected");
}

TEST(FilterChains, FiltersActOnDeliveredFrames)
{
    Rig rig;
    rig.record();
    auto gate = rig.system.createFilter("Tavik::AmplitudeGateFilter", FRAME_RAW_FRAME_PROCESSED);
    ASSERT_TRUE(gate->seti("threshold", 4095).ok); // gates every unsaturated pixel
    const int index = rig.camera->addFilter(gate, FRAME_RAW_FRAME_PROCESSED);
    ASSERT_GE(index, 0);
    auto set = rig.nextSet();
    const Frame& proc = *set[FRAME_RAW_FRAME_PROCESSED];
    const auto zeros = std::count(proc.amplitude.begin(), proc.amplitude.end(), 0);
    EXPECT_GT(zeros, static_cast<long>(proc.amplitude.size() * 9 / 10));
    auto dropped = UnsignedFilterParameter::typeCast(gate->parameters()["dropped"])->get();
    EXPECT_TRUE(dropped.ok);
    EXPECT_EQ(dropped.value, static_cast<uint32_t>(zeros));
    // A gated pixel has no depth and no point; removal takes effect with the next set.
    const Frame& depth = *set[FRAME_DEPTH_FRAME];
    const Frame& cloud = *set[FRAME_XYZI_POINT_CLOUD_FRAME];
    long gatedWithout = 0;
    for (std::size_t i = 0; i < proc.amplitude.size(); ++i)
        if (proc.amplitude[i] == 0)
            gatedWithout += depth.depth[i] == 0.f && depth.amplitude[i] == 0 && cloud.points[i].z == 0.f;
    EXPECT_EQ(gatedWithout, zeros);
    ASSERT_TRUE(rig.camera->removeFilter(index, FRAME_RAW_FRAME_PROCESSED));
    set = rig.nextSet();
    EXPECT_LT(std::count(set[FRAME_RAW_FRAME_PROCESSED]->amplitude.begin(),
                         set[FRAME_RAW_FRAME_PROCESSED]->amplitude.end(), 0),
              100);
}

TEST(FilterChains, DepthAndPointsFollowTheFilteredPhase)
{
    // Two cameras of one seed render the same first set; one smooths its phase.
    Rig filtered, plain;
    filtered.record();
    plain.record();
    auto median = filtered.system.createFilter("Tavik::MedianFilter", FRAME_RAW_FRAME_PROCESSED);
    ASSERT_TRUE(median->setu("size", 7).ok);
    ASSERT_TRUE(median->setf("deadband", 0.f).ok);
    ASSERT_GE(filtered.camera->addFilter(median, FRAME_RAW_FRAME_PROCESSED), 0);
    const auto set = filtered.nextSet();
    const auto reference = plain.nextSet();
    const float range = filtered.camera->getf("unambiguous_range").value;
    ASSERT_GT(range, 0.f);

    const Frame& proc = *set[FRAME_RAW_FRAME_PROCESSED];
    const Frame& depth = *set[FRAME_DEPTH_FRAME];
    const Frame& cloud = *set[FRAME_XYZI_POINT_CLOUD_FRAME];
    const Frame& plainDepth = *reference[FRAME_DEPTH_FRAME];
    std::size_t moved = 0, valid = 0;
    for (std::size_t i = 0; i < depth.depth.size(); ++i) {
        const float d = depth.depth[i];
        const XYZIPoint& p = cloud.points[i];
        if (proc.flags[i] != 0 || proc.amplitude[i] == 0) {
            EXPECT_EQ(d, 0.f) << i;
            EXPECT_EQ(p.z, 0.f) << i;
            continue;
        }
        ++valid;
        // The depth lies within the pixel's phase count, the point at that depth.
        const float counts = d / range * 4096.f;
        ASSERT_GT(counts, proc.phase[i] - 0.05f) << i;
        ASSERT_LT(counts, proc.phase[i] + 1.05f) << i;
        ASSERT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), d, 1e-4f) << i;
        moved += std::abs(d - plainDepth.depth[i]) > range / 4096.f;
    }
    EXPECT_GT(valid, depth.depth.size() / 2);
    EXPECT_GT(moved, 100u); // the smoothing reached the depth
}

TEST(FilterChains, FiltersThatChangeNothingLeaveDepthAndPointsAsRendered)
{
    Rig filtered, plain;
    filtered.record();
    plain.record();
    for (FrameType type : {FRAME_RAW_FRAME_PROCESSED, FRAME_DEPTH_FRAME})
        ASSERT_GE(filtered.camera->addFilter(filtered.system.createFilter("Tavik::PassThroughFilter", type), type), 0);
    const auto set = filtered.nextSet();
    const auto reference = plain.nextSet();
    EXPECT_EQ(set[FRAME_DEPTH_FRAME]->depth, reference[FRAME_DEPTH_FRAME]->depth);
    EXPECT_EQ(set[FRAME_DEPTH_FRAME]->amplitude, reference[FRAME_DEPTH_FRAME]->amplitude);
    const auto& points = set[FRAME_XYZI_POINT_CLOUD_FRAME]->points;
    const auto& plainPoints = reference[FRAME_XYZI_POINT_CLOUD_FRAME]->points;
    ASSERT_EQ(points.size(), plainPoints.size());
    EXPECT_EQ(std::memcmp(points.data(), plainPoints.data(), points.size() * sizeof(XYZIPoint)), 0);
}

namespace {

Frame flatPhaseFrame(uint16_t value)
{
    Frame f;
    f.type = FRAME_RAW_FRAME_PROCESSED;
    f.width = 8;
    f.height = 6;
    f.phase.assign(48, value);
    f.amplitude.assign(48, 500);
    f.flags.assign(48, 0);
    return f;
}

} // namespace

TEST(FilterAlgorithms, SpatialMedianRemovesASpike)
{
    CameraSystem system;
    auto median = system.createFilter("Tavik::MedianFilter", FRAME_RAW_FRAME_PROCESSED);
    Frame f = flatPhaseFrame(1000);
    f.phase[20] = 3000;
    f.phase[21] = 1010; // inside the deadband: kept
    median->apply(f);
    EXPECT_EQ(f.phase[20], 1000);
    EXPECT_EQ(f.phase[21], 1010);
    Frame depth; // another type passes untouched
    depth.type = FRAME_DEPTH_FRAME;
    depth.width = 2;
    depth.height = 1;
    depth.depth = {1.f, 2.f};
    median->apply(depth);
    EXPECT_EQ(depth.depth, (std::vector<float>{1.f, 2.f}));
}

TEST(FilterAlgorithms, TemporalMedianKeepsHistoryUntilReset)
{
    CameraSystem system;
    auto temporal = system.createFilter("Tavik::TemporalMedianFilter", FRAME_RAW_FRAME_PROCESSED);
    ASSERT_TRUE(temporal->setf("deadband", 0.f).ok);
    Frame a = flatPhaseFrame(1000), b = flatPhaseFrame(1000), spike = flatPhaseFrame(4000);
    temporal->apply(a);
    temporal->apply(b);
    temporal->apply(spike);
    EXPECT_EQ(spike.phase[0], 1000); // median of 1000, 1000, 4000
    temporal->reset();
    Frame fresh = flatPhaseFrame(4000);
    temporal->apply(fresh);
    EXPECT_EQ(fresh.phase[0], 4000);
}

TEST(FilterAlgorithms, OutlierAndGateOnPointClouds)
{
    CameraSystem system;
    auto outlier = system.createFilter("Tavik::PointCloud::OutlierFilter", FRAME_XYZI_POINT_CLOUD_FRAME);
    ASSERT_TRUE(outlier->setu("neighbours", 4).ok);
    Frame cloud;
    cloud.type = FRAME_XYZI_POINT_CLOUD_FRAME;
    cloud.width = 5;
    cloud.height = 5;
    for (int i = 0; i < 25; ++i)
        cloud.points.push_back({0.001f * (i % 5), 0.001f * (i / 5), 2.f, 100.f});
    cloud.points[12].z = 3.f; // far from its neighbours
    outlier->apply(cloud);
    EXPECT_EQ(cloud.points[12].z, 0.f);
    EXPECT_EQ(cloud.points[11].z, 2.f);

    auto gate = system.createFilter("Tavik::AmplitudeGateFilter", FRAME_XYZI_POINT_CLOUD_FRAME);
    ASSERT_TRUE(gate->seti("mode", 1).ok); // drop: the point becomes invalid, intensity stays
    cloud.points[3].i = 5.f;
    gate->apply(cloud);
    EXPECT_EQ(cloud.points[3].z, 0.f);
    EXPECT_EQ(cloud.points[3].i, 5.f);
    EXPECT_EQ(cloud.points[4].z, 2.f);
    ASSERT_TRUE(gate->setb("invert", true).ok);
    gate->apply(cloud);
    EXPECT_EQ(cloud.points[4].z, 0.f);
}

TEST(FilterChains, EditsWhileStreaming)
{
    Rig rig(TavikTest::CameraA, false);
    rig.system.simulation().setCameraProfile(rig.camera, 4); // small frames, many sets
    rig.system.simulation().setFrameRate(rig.camera, 1000);
    std::atomic<int> sets{0};
    rig.camera->registerCallback(FRAME_XYZI_POINT_CLOUD_FRAME,
                                 [&](const DepthCameraPtr&, const FramePtr&, FrameType) { ++sets; });
    ASSERT_TRUE(rig.camera->start());
    const char* names[] = {"Tavik::MedianFilter", "Tavik::BilateralFilter", "Tavik::TemporalMedianFilter",
                           "Tavik::AmplitudeGateFilter"};
    for (int round = 0; round < 30; ++round) {
        std::vector<std::pair<int, FilterPtr>> added;
        for (const char* name : names) {
            auto f = rig.system.createFilter(name, FRAME_RAW_FRAME_PROCESSED);
            added.emplace_back(rig.camera->addFilter(f, FRAME_RAW_FRAME_PROCESSED), f);
            f->setf("deadband", 0.1f * (round % 3));
        }
        for (auto& a : added) {
            EXPECT_GE(a.first, 0);
            EXPECT_TRUE(rig.camera->removeFilter(a.first, FRAME_RAW_FRAME_PROCESSED));
            a.second->reset();
        }
    }
    const int before = sets;
    EXPECT_TRUE(KelvraTest::waitFor([&] { return sets >= before + 3; }));
}
