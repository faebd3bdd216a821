#pragma once
// What scripts reach through the environment: where the docks, tabs and
// diagram blocks are (scripts/screenshot), the frame figures
// (scripts/bench-viewer) and a pulled cable of the simulated camera.

#include "Tavik/Common.h"

#include <optional>

class MainWindow;

namespace Tavik {
class CameraSystem;
}

namespace EnvironmentHooks {

// KELVRA_DOCK_GEOMETRY prints the layout once it has settled, then every
// second; KELVRA_FRAME_STATS_AFTER=<s> counts frame figures from then on;
// `unplugAfterMs` (KELVRA_UNPLUG_AFTER_MS, read by main) pulls the camera's cable.
void install(MainWindow& window, Tavik::CameraSystem& cameraSystem, const Tavik::DepthCameraPtr& camera,
             std::optional<int> unplugAfterMs);
// False with KELVRA_NO_STREAM (the idle viewer of scripts/bench-viewer).
bool streamsAtStart();
// With KELVRA_FRAME_STATS: the sets shown, dropped and the most lag.
void printFrameStats(const MainWindow& window);

} // namespace EnvironmentHooks
