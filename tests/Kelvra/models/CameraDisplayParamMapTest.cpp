#include "Kelvra/models/CameraDisplayParamMap.h"

#include "Tavik/CameraSystem.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Simulation.h"

#include <gtest/gtest.h>

#include <algorithm>

using Kelvra::CameraDisplayParamMap;
using Kelvra::ParameterDependencyMap;

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

// The two lists differ only in "vco_freq", which QuentaD lacks.
TEST(CameraDisplayParamMap, QuentaDListIsQuenta14sWithoutVco)
{
    ASSERT_EQ(CameraDisplayParamMap.size(), 2u);
    auto withoutVco = CameraDisplayParamMap.at("Quenta14Camera");
    ASSERT_TRUE(listed(withoutVco, "vco_freq"));
    withoutVco.erase(std::find(withoutVco.begin(), withoutVco.end(), "vco_freq"));
    EXPECT_EQ(CameraDisplayParamMap.at("QuentaDCamera"), withoutVco);
    EXPECT_EQ(CameraDisplayParamMap.count("Quenta14"), 0u);
    EXPECT_EQ(CameraDisplayParamMap.count(""), 0u);
}

// The display order is part of the tables: a host lists the rows in it.
TEST(CameraDisplayParamMap, ListsAreInTheirFixedOrder)
{
    EXPECT_EQ(CameraDisplayParamMap.at("Quenta14Camera"),
              (std::vector<std::string>{"intg_time", "illum_volt", "mix_volt", "vco_freq", "mod_freq1", "mod_freq2"}));
    EXPECT_EQ(CameraDisplayParamMap.at("QuentaDCamera"),
              (std::vector<std::string>{"intg_time", "illum_volt", "mix_volt", "mod_freq1", "mod_freq2"}));
}

TEST(CameraDisplayParamMap, DependenciesOnlyForQuenta14AndWithinItsList)
{
    ASSERT_EQ(ParameterDependencyMap.size(), 1u);
    EXPECT_EQ(ParameterDependencyMap.count("QuentaDCamera"), 0u);
    const auto& deps = ParameterDependencyMap.at("Quenta14Camera");
    EXPECT_EQ(deps, (std::map<std::string, std::string>{{"mod_freq1", "vco_freq"}, {"mod_freq2", "vco_freq"}}));
    const auto& names = CameraDisplayParamMap.at("Quenta14Camera");
    for (const auto& [dependent, on] : deps) {
        EXPECT_TRUE(listed(names, dependent)) << dependent;
        EXPECT_TRUE(listed(names, on)) << on;
    }
}

// The simulated cameras of each type offer every parameter listed for it
// (the degraded one is meant to lack most).
TEST(CameraDisplayParamMap, SimulatedCamerasHaveTheListedParameters)
{
    Tavik::CameraSystem system;
    int checked = 0;
    for (const auto& device : system.scan()) {
        if (device->description().find("degraded") != std::string::npos)
            continue;
        auto camera = system.connect(device);
        if (!camera->isConnected())
            continue; // the busy device
        const auto entry = CameraDisplayParamMap.find(camera->cameraType());
        ASSERT_NE(entry, CameraDisplayParamMap.end()) << camera->cameraType();
        for (const auto& name : entry->second)
            EXPECT_TRUE(camera->getParam(name)) << camera->cameraType() << " lacks " << name;
        ++checked;
    }
    EXPECT_EQ(checked, 2);
}
