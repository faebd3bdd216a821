#include "platform/base/DataFormat.h"
#include "platform/base/DataChannels.h"

#include <QColor>

namespace {

// The camera's amplitude and phase are 12-bit counts.
constexpr double FULL_SCALE = 4095.0;

std::array<double, 2> defaultLevels(const QString& name)
{
    if (name == DataChannels::PHASE || name == DataChannels::AMPLITUDE)
        return {0.0, FULL_SCALE};
    return {0.0, 1000.0};
}

} // namespace

DataFormat::DataFormat(const QString& name)
    : DataFormat(name, defaultLevels(name), 1)
{
}

DataFormat::DataFormat(const QString& name, std::array<double, 2> levels, ScalingFactor scalingFactor, bool depthType)
    : name(name)
    , levels(levels)
    , colorMap(name == DataChannels::PHASE ? hueMap() : greyMap())
    , scalingFactor(scalingFactor)
    , depthType(depthType)
{
}

double DataFormat::scalingValue() const
{
    return std::visit([](auto v) { return static_cast<double>(v); }, scalingFactor);
}

QVector<QRgb> DataFormat::greyMap()
{
    QVector<QRgb> map(COLOR_MAP_SIZE);
    for (int i = 0; i < COLOR_MAP_SIZE; ++i)
        map[i] = qRgb(i, i, i);
    return map;
}

QVector<QRgb> DataFormat::hueMap()
{
    // Blue for near, through green and yellow, to red for far; stopping at
    // red keeps both ends of the range apart.
    QVector<QRgb> map(COLOR_MAP_SIZE);
    for (int i = 0; i < COLOR_MAP_SIZE; ++i) {
        const int hue = 240 - (240 * i) / (COLOR_MAP_SIZE - 1);
        map[i] = QColor::fromHsv(hue, 255, 255).rgb();
    }
    return map;
}
