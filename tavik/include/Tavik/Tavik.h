#pragma once
// The camera SDK in one include.
#include "Tavik/CameraSystem.h"
#include "Tavik/Common.h"
#include "Tavik/DepthCamera.h"
#include "Tavik/Filter.h"
#include "Tavik/Frame.h"
#include "Tavik/FrameStream.h"
#include "Tavik/Parameter.h"
#include "Tavik/Simulation.h"
