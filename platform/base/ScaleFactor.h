#pragma once
// Helpers of the host application that plug-ins may call.

#include <optional>
#include <utility>

// (scale_x, scale_y): the primary screen's logical DPI over 96, so widgets
// sized in pixels at 96 DPI keep their look on denser screens. (1, 1) when no
// GUI application or screen exists, or while an override is set.
std::pair<double, double> get_program_scale_factor();

// Tests set a fixed factor (e.g. (1, 1)); nothing restores the screen's.
void set_program_scale_factor_override(std::optional<std::pair<double, double>> scale);
