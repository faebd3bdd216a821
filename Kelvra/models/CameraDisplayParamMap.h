#pragma once
// The camera parameters the host shows per camera type, and which of them
// depend on another. Tables only; built once when the module is loaded.

#include <map>
#include <string>
#include <vector>

namespace Kelvra {

// Camera type ("Quenta14Camera", ...) -> parameter names, in display order.
extern const std::map<std::string, std::vector<std::string>> CameraDisplayParamMap;

// Camera type -> (parameter -> the parameter it depends on).
extern const std::map<std::string, std::map<std::string, std::string>> ParameterDependencyMap;

} // namespace Kelvra
