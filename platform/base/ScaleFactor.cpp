#include "platform/base/ScaleFactor.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {

constexpr double REFERENCE_DPI = 96.0;

std::optional<std::pair<double, double>>& scaleOverride()
{
    static std::optional<std::pair<double, double>> value;
    return value;
}

double ratio(double dpi)
{
    return std::isfinite(dpi) && dpi > 0.0 ? dpi / REFERENCE_DPI : 1.0;
}

} // namespace

std::pair<double, double> get_program_scale_factor()
{
    if (scaleOverride())
        return *scaleOverride();
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {1.0, 1.0};
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {1.0, 1.0};
    return {ratio(screen->logicalDotsPerInchX()), ratio(screen->logicalDotsPerInchY())};
}

void set_program_scale_factor_override(std::optional<std::pair<double, double>> scale)
{
    scaleOverride() = scale;
}
