#include "Kelvra/models/CameraDisplayParamMap.h"

namespace Kelvra {

const std::map<std::string, std::vector<std::string>> CameraDisplayParamMap = {
    {"Quenta14Camera", {"intg_time", "illum_volt", "mix_volt", "vco_freq", "mod_freq1", "mod_freq2"}},
    {"QuentaDCamera", {"intg_time", "illum_volt", "mix_volt", "mod_freq1", "mod_freq2"}},
};

const std::map<std::string, std::map<std::string, std::string>> ParameterDependencyMap = {
    {"Quenta14Camera", {{"mod_freq1", "vco_freq"}, {"mod_freq2", "vco_freq"}}},
};

} // namespace Kelvra
