// Camera parameters: kinds, limits, derived values and refusals.

#include "TavikTestUtil.h"
#include "tavik/src/Detail.h" // the models' and filters' tables

#include <cmath>

using namespace Tavik;
using TavikTest::Rig;

namespace {

float getFloat(const DepthCameraPtr& camera, const std::string& name)
{
    auto p = FloatParameter::typeCast(camera->getParam(name));
    EXPECT_TRUE(p) << name;
    return p ? p->get().value : 0.f;
}

} // namespace

TEST(CameraParameters, KindsFollowTheFactoryTrialOrder)
{
    Rig rig;
    auto strobe = rig.camera->getParam("soft_reset");
    EXPECT_TRUE(StrobeBoolParameter::typeCast(strobe));
    EXPECT_TRUE(BoolParameter::typeCast(strobe)); // why "StrobeBool" must be tried first

    auto dealias = rig.camera->getParam("dealias_en");
    EXPECT_FALSE(StrobeBoolParameter::typeCast(dealias));
    EXPECT_TRUE(BoolParameter::typeCast(dealias));

    auto power = rig.camera->getParam("illum_power");
    EXPECT_TRUE(EnumParameter::typeCast(power));
    EXPECT_TRUE(IntegerParameter::typeCast(power)); // why "Enum" precedes "Int"
    EXPECT_EQ(EnumParameter::typeCast(power)->allowedValues(), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(EnumParameter::typeCast(power)->valueMeaning(), (std::vector<std::string>{"Off", "Low", "High"}));
    EXPECT_EQ(EnumParameter::typeCast(power)->valueDescription(), (std::vector<std::string>{"", "short", ""}));

    EXPECT_TRUE(IntegerParameter::typeCast(rig.camera->getParam("depth_offset")));
    EXPECT_TRUE(UnsignedIntegerParameter::typeCast(rig.camera->getParam("intg_time")));
    EXPECT_TRUE(FloatParameter::typeCast(rig.camera->getParam("unambiguous_range")));
    // Camera parameters are no filter kinds.
    EXPECT_FALSE(BoolFilterParameter::typeCast(dealias));
    EXPECT_FALSE(SignedFilterParameter::typeCast(power));

    // An unknown name gives a handle every cast rejects.
    auto unknown = rig.camera->getParam("no_such_param");
    EXPECT_FALSE(unknown);
    EXPECT_FALSE(BoolParameter::typeCast(unknown));
    EXPECT_FALSE(FloatParameter::typeCast(unknown));
}

TEST(CameraParameters, DescribeThemselves)
{
    Rig rig;
    auto ma = rig.camera->getParam("ma");
    EXPECT_EQ(ma->address(), 0x1au);
    EXPECT_EQ(ma->msb(), 7);
    EXPECT_EQ(ma->lsb(), 4);
    EXPECT_EQ(ma->displayName(), "Dealiasing Coefficient 1");
    EXPECT_NE(rig.camera->getParam("intg_time")->description().find('$'), std::string::npos);
    EXPECT_EQ(rig.camera->getParam("chip_temp")->ioType(), Parameter::IO_READ_ONLY);
    EXPECT_EQ(rig.camera->getParam("soft_reset")->ioType(), Parameter::IO_WRITE_ONLY);
    EXPECT_EQ(rig.camera->getParam("intg_time")->ioType(), Parameter::IO_READ_WRITE);
    auto offset = IntegerParameter::typeCast(rig.camera->getParam("depth_offset"));
    EXPECT_EQ(offset->unit(), "mm");
    EXPECT_EQ(offset->lowerLimit(), -500);
    EXPECT_EQ(offset->upperLimit(), 500);
    EXPECT_EQ(offset->get().value, 12);
    auto mix = FloatParameter::typeCast(rig.camera->getParam("mix_volt"));
    EXPECT_FLOAT_EQ(mix->lowerLimit(), 0.5f);
    EXPECT_FLOAT_EQ(mix->upperLimit(), 3.7f);
}

TEST(CameraParameters, RangeAndScalingFactorAgree)
{
    Rig rig;
    auto range = rig.camera->getf("unambiguous_range");
    ASSERT_TRUE(range.ok);
    EXPECT_NEAR(range.value, 3.9972f, 1e-3f);
    EXPECT_EQ(range.value, getFloat(rig.camera, "unambiguous_range"));
    auto dsf = rig.camera->getStreamParamf("depthScalingFactor");
    ASSERT_TRUE(dsf.ok);
    EXPECT_EQ(std::trunc(range.value / dsf.value), 4096.f);
    EXPECT_EQ(rig.camera->getStreamParamf("amplitudeScalingFactor").value, 1.f);
    auto other = rig.camera->getStreamParamf("frameRate");
    EXPECT_FALSE(other.ok);
    EXPECT_EQ(other.value, 0.f);
}

TEST(CameraParameters, FrequenciesAreQuantisedToTheVco)
{
    Rig rig;
    auto r = rig.camera->setf("mod_freq1", 41.f);
    EXPECT_TRUE(r.ok);
    EXPECT_FLOAT_EQ(r.value, 40.f); // 600 / 15
    EXPECT_FLOAT_EQ(getFloat(rig.camera, "mod_freq1"), 40.f);
    EXPECT_FLOAT_EQ(rig.camera->setf("mod_freq1", 150.f).value, 100.f); // clamped
    rig.camera->setf("mod_freq1", 37.5f);

    // A new VCO keeps the dividers where it can (16 and 20) ...
    EXPECT_EQ(rig.camera->setu("vco_freq", 900).value, 900u);
    EXPECT_FLOAT_EQ(getFloat(rig.camera, "mod_freq1"), 56.25f);
    EXPECT_FLOAT_EQ(getFloat(rig.camera, "mod_freq2"), 45.f);
    // ... and requantises where the kept divider leaves the limits.
    EXPECT_EQ(rig.camera->setu("vco_freq", 300).value, 300u);
    EXPECT_FLOAT_EQ(getFloat(rig.camera, "mod_freq1"), 60.f);
    EXPECT_FLOAT_EQ(getFloat(rig.camera, "mod_freq2"), 300.f / 7.f);
}

TEST(CameraParameters, RangeWritesMoveTheFrequenciesOrAreRefused)
{
    Rig rig;
    auto r = rig.camera->setf("unambiguous_range", 5.0f);
    ASSERT_TRUE(r.ok);
    EXPECT_NE(r.value, 5.0f); // quantised: 600 / 20 = 30 MHz
    EXPECT_NEAR(r.value, 299.792458f / 60.f, 1e-4f);
    EXPECT_FLOAT_EQ(getFloat(rig.camera, "mod_freq1"), 30.f);

    // Beyond what 20 MHz reaches without dealiasing: refused, nothing moves.
    auto refused = rig.camera->setf("unambiguous_range", 9.0f);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.value, r.value);
    EXPECT_FLOAT_EQ(getFloat(rig.camera, "mod_freq1"), 30.f);
    EXPECT_FALSE(rig.camera->setf("unambiguous_range", 1.2f).ok);

    // Dealiasing reaches it through the beat of both frequencies.
    ASSERT_TRUE(rig.camera->setb("dealias_en", true).ok);
    auto far = rig.camera->setf("unambiguous_range", 9.0f);
    ASSERT_TRUE(far.ok);
    EXPECT_NEAR(far.value, 9.0f, 0.5f);
    EXPECT_NEAR(rig.camera->getf("unambiguous_range").value, far.value, 1e-6f);
    EXPECT_FALSE(rig.camera->setf("unambiguous_range", 16.0f).ok);
}

// Every range between the limits the parameter reports, in centimetre steps
// as an editor of two decimals offers them, is taken; the limits themselves
// as floats too; a centimetre beyond either is refused.
static void expectEveryRangeWithinTheLimitsTaken(const DepthCameraPtr& camera, const std::string& state)
{
    auto range = FloatParameter::typeCast(camera->getParam("unambiguous_range"));
    ASSERT_TRUE(range);
    const float lower = range->lowerLimit(), upper = range->upperLimit();
    ASSERT_LT(lower, upper) << state;
    int refused = 0;
    for (int cm = static_cast<int>(std::ceil(lower * 100.f)); cm <= static_cast<int>(upper * 100.f); ++cm) {
        const auto r = camera->setf("unambiguous_range", cm / 100.f);
        refused += !r.ok;
        EXPECT_TRUE(r.ok) << state << ": " << cm / 100.f << " m refused";
        if (refused > 3)
            break;
    }
    // The limits are reached, as an editor of two decimals shows them.
    const auto atLower = camera->setf("unambiguous_range", lower);
    EXPECT_TRUE(atLower.ok) << state;
    EXPECT_LT(atLower.value, lower + 0.005f) << state;
    const auto atUpper = camera->setf("unambiguous_range", upper);
    EXPECT_TRUE(atUpper.ok) << state;
    EXPECT_GE(atUpper.value, upper - 0.005f) << state;
    if (lower > 1.01f) {
        EXPECT_FALSE(camera->setf("unambiguous_range", lower - 0.01f).ok) << state;
    }
    if (upper < 14.99f) {
        EXPECT_FALSE(camera->setf("unambiguous_range", upper + 0.01f).ok) << state;
    }
    // Limits and value agree: what is read back lies within the limits.
    EXPECT_EQ(range->lowerLimit(), lower) << state;
    EXPECT_EQ(range->upperLimit(), upper) << state;
}

TEST(CameraParameters, RangeLimitsAreWhatTheFrequenciesReach)
{
    Rig rig;
    auto range = FloatParameter::typeCast(rig.camera->getParam("unambiguous_range"));
    // Without dealiasing: 100 MHz reaches 1.499 m, 20 MHz 7.495 m.
    EXPECT_FLOAT_EQ(range->lowerLimit(), 1.5f);
    EXPECT_FLOAT_EQ(range->upperLimit(), 7.49f);
    expectEveryRangeWithinTheLimitsTaken(rig.camera, "VCO 600, dealiasing off");

    // With it: from the widest beat of 37.5 MHz (with 100 MHz) to the table's 15 m.
    ASSERT_TRUE(rig.camera->setf("mod_freq1", 37.5f).ok);
    ASSERT_TRUE(rig.camera->setb("dealias_en", true).ok);
    EXPECT_FLOAT_EQ(range->lowerLimit(), 2.4f);
    EXPECT_FLOAT_EQ(range->upperLimit(), 15.f);
    expectEveryRangeWithinTheLimitsTaken(rig.camera, "VCO 600, dealiasing on");
    // At 30 MHz the beat nearest 15 m (with 20 or 40 MHz) falls short of
    // it; a nearer step reaches the cap.
    ASSERT_TRUE(rig.camera->setf("mod_freq1", 30.f).ok);
    EXPECT_FLOAT_EQ(range->upperLimit(), 15.f);
    expectEveryRangeWithinTheLimitsTaken(rig.camera, "VCO 600 at 30 MHz, dealiasing on");
    EXPECT_FLOAT_EQ(getFloat(rig.camera, "mod_freq1"), 30.f);

    // Coarse steps at a low VCO: from 100 MHz the nearest other step is 75 MHz.
    ASSERT_TRUE(rig.camera->setu("vco_freq", 300).ok);
    ASSERT_TRUE(rig.camera->setf("mod_freq1", 100.f).ok);
    EXPECT_FLOAT_EQ(range->upperLimit(), 5.99f);
    expectEveryRangeWithinTheLimitsTaken(rig.camera, "VCO 300 at 100 MHz, dealiasing on");
    ASSERT_TRUE(rig.camera->setb("dealias_en", false).ok);
    expectEveryRangeWithinTheLimitsTaken(rig.camera, "VCO 300, dealiasing off");

    Rig b(TavikTest::CameraB); // steps of 0.5 MHz
    expectEveryRangeWithinTheLimitsTaken(b.camera, "0.5 MHz steps, dealiasing off");
    ASSERT_TRUE(b.camera->setb("dealias_en", true).ok);
    expectEveryRangeWithinTheLimitsTaken(b.camera, "0.5 MHz steps, dealiasing on");
}

TEST(CameraParameters, FilterChainsReadBackInOrder)
{
    Rig rig;
    const auto add = [&](int before) {
        return rig.camera->addFilter(rig.system.createFilter("Tavik::PassThroughFilter", 1), 1, before);
    };
    const int first = add(-1), last = add(-1);
    const int middle = add(last);
    ASSERT_GE(first, 0);
    ASSERT_GE(middle, 0);
    const auto chain = rig.camera->getFilterChain(1);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0].index, first);
    EXPECT_EQ(chain[1].index, middle);
    EXPECT_EQ(chain[2].index, last);
    EXPECT_EQ(chain[0].filter->name(), "Tavik::PassThroughFilter");
    EXPECT_TRUE(rig.camera->getFilterChain(2).empty());
    EXPECT_TRUE(rig.camera->getFilterChain(FRAME_TYPE_COUNT).empty());
    ASSERT_TRUE(rig.camera->removeFilter(middle, 1));
    EXPECT_EQ(rig.camera->getFilterChain(1).size(), 2u);
    rig.system.disconnect(rig.camera, true);
    EXPECT_TRUE(rig.camera->getFilterChain(1).empty());
}

TEST(CameraParameters, RefusalsReportTheHeldValue)
{
    Rig rig;
    // Read-only: the write is refused, the value is the current one.
    auto temp = rig.camera->setf("chip_temp", 80.f);
    EXPECT_FALSE(temp.ok);
    EXPECT_NEAR(temp.value, 35.f, 3.f);
    // Write-only: reads fail with the zero of the kind, every write succeeds.
    auto reset = BoolParameter::typeCast(rig.camera->getParam("soft_reset"));
    EXPECT_FALSE(reset->get().ok);
    EXPECT_FALSE(reset->get().value);
    EXPECT_TRUE(rig.camera->setb("soft_reset", true).ok);
    EXPECT_TRUE(rig.camera->setb("soft_reset", true).ok);
    // Wrong setter for the kind.
    EXPECT_FALSE(rig.camera->seti("intg_time", 300).ok);
    EXPECT_FALSE(rig.camera->setf("intg_time", 300.f).ok);
    EXPECT_EQ(rig.camera->seti("intg_time", 300).value, 200);
    // Enum values outside the allowed list.
    EXPECT_FALSE(rig.camera->seti("illum_power", 3).ok);
    EXPECT_TRUE(rig.camera->seti("illum_power", 1).ok);
    // Numbers outside the limits are clamped.
    EXPECT_EQ(rig.camera->setu("intg_time", 5000).value, 1000u);
    EXPECT_EQ(rig.camera->seti("depth_offset", -900).value, -500);
    // Unknown names.
    auto unknown = rig.camera->setu("nothing", 1);
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.value, 0u);
}

TEST(CameraParameters, InjectedFailuresAndSetterCounts)
{
    Rig rig;
    Simulation& sim = rig.system.simulation();
    auto range = FloatParameter::typeCast(rig.camera->getParam("unambiguous_range"));
    sim.failNext("get:unambiguous_range");
    auto failed = range->get();
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.value, 0.f);
    EXPECT_TRUE(range->get().ok); // used up

    sim.failNext("getf:unambiguous_range", 2);
    EXPECT_FALSE(rig.camera->getf("unambiguous_range").ok);
    EXPECT_EQ(rig.camera->getf("unambiguous_range").value, 0.f);
    EXPECT_TRUE(rig.camera->getf("unambiguous_range").ok);

    sim.failNext("set:intg_time");
    auto refused = rig.camera->setu("intg_time", 400);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.value, 200u);
    EXPECT_TRUE(rig.camera->setu("intg_time", 400).ok);
    rig.camera->seti("intg_time", 1); // wrong kind, still reached the parameter
    EXPECT_EQ(sim.setterCalls(rig.camera, "intg_time"), 3);
    EXPECT_EQ(sim.setterCalls(rig.camera, "mix_volt"), 0);
}

TEST(CameraParameters, OutliveTheirCamera)
{
    std::shared_ptr<FloatParameter> mix;
    {
        Rig rig;
        mix = FloatParameter::typeCast(rig.camera->getParam("mix_volt"));
        ASSERT_TRUE(mix->get().ok);
        ASSERT_TRUE(rig.system.disconnect(rig.camera));
        EXPECT_FALSE(mix->get().ok);
        EXPECT_FALSE(rig.camera->setf("mix_volt", 1.f).ok);
        EXPECT_FALSE(rig.camera->getParam("mix_volt"));
    }
    // Camera and system are gone; the handle still answers.
    EXPECT_FALSE(mix->get().ok);
    EXPECT_FLOAT_EQ(mix->upperLimit(), 3.7f);
    EXPECT_EQ(mix->name(), "mix_volt");
}

TEST(CameraParameters, ModelsDiffer)
{
    Rig b(TavikTest::CameraB);
    EXPECT_EQ(b.camera->chipset(), "meridian.tk");
    EXPECT_EQ(b.camera->cameraType(), "QuentaDCamera");
    EXPECT_FALSE(b.camera->getParam("vco_freq"));
    EXPECT_TRUE(EnumParameter::typeCast(b.camera->getParam("alt_freq_sel")));
    EXPECT_FLOAT_EQ(b.camera->setf("mod_freq1", 40.3f).value, 40.5f); // 0.5 MHz steps
    EXPECT_NEAR(b.camera->getf("unambiguous_range").value, 299.792458f / 81.f, 1e-4f);

    Rig c(TavikTest::CameraC);
    EXPECT_EQ(c.camera->chipset(), "");
    EXPECT_FALSE(c.camera->getParam("unambiguous_range"));
    EXPECT_FALSE(c.camera->getParam("dealias_en"));
    EXPECT_FALSE(c.camera->getf("unambiguous_range").ok);
    EXPECT_TRUE(c.camera->getStreamParamf("depthScalingFactor").ok); // derived from mod_freq1 anyway
}

TEST(CameraParameters, DevicesCanLackParameters)
{
    CameraSystem system;
    auto devices = Simulation::defaultDevices();
    devices[0].removedParameters = {"dealias_en", "chip_temp"};
    system.simulation().setDevices(devices);
    auto camera = system.connect(system.scan().front());
    ASSERT_TRUE(camera);
    EXPECT_FALSE(camera->getParam("dealias_en"));
    EXPECT_FALSE(camera->setb("dealias_en", true).ok);
    EXPECT_TRUE(camera->getParam("mod_freq1"));
    // Without the switch the range follows mod_freq1 alone.
    EXPECT_NEAR(camera->getf("unambiguous_range").value, 3.9972f, 1e-3f);
}

TEST(CameraParameters, EveryParameterOfCamerasAndFiltersHasADisplayName)
{
    for (CameraModel model : {CameraModel::Quenta14, CameraModel::QuentaD, CameraModel::Degraded})
        for (const auto& spec : detail::cameraModel(model).params)
            EXPECT_FALSE(spec.displayName.empty()) << spec.name;
    for (const auto& kind : detail::filterKinds())
        for (const auto& spec : kind.params)
            EXPECT_FALSE(spec.displayName.empty()) << kind.name << " " << spec.name;

    // Units where there is one; the range sigma's is that of the plane smoothed.
    CameraSystem system;
    auto unitOf = [&](const char* filter, FrameType type, const char* name) {
        const auto params = system.createFilter(filter, type)->parameters();
        if (auto p = FloatFilterParameter::typeCast(params.at(name)))
            return p->unit();
        return UnsignedFilterParameter::typeCast(params.at(name))->unit();
    };
    EXPECT_EQ(unitOf("Tavik::BilateralFilter", FRAME_RAW_FRAME_PROCESSED, "sigma_range"), "counts");
    EXPECT_EQ(unitOf("Tavik::BilateralFilter", FRAME_DEPTH_FRAME, "sigma_range"), "cm");
    EXPECT_EQ(unitOf("Tavik::TemporalMedianFilter", FRAME_DEPTH_FRAME, "order"), "frames");
    EXPECT_EQ(unitOf("Tavik::RawFrameAverageFilter", FRAME_RAW_FRAME_UNPROCESSED, "frames"), "frames");
}
