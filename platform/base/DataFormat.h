#pragma once
// How a view shows one image format: name, display levels in raw units,
// colour map and the scaling factor (raw units per shown unit).
//
// The scaling factor keeps its kind: an integer selects the views' integer
// slider mode, a floating-point number (10.0 too) the float mode.

#include <QRgb>
#include <QString>
#include <QVector>

#include <array>
#include <variant>

class DataFormat {
public:
    using ScalingFactor = std::variant<int, double>;
    static constexpr int COLOR_MAP_SIZE = 256;

    // Defaults by name: "amplitude" [0, 4095] on grey, "phase" [0, 4095] on a
    // hue ramp (the data's whole range), anything else [0, 1000] on grey;
    // integer factor 1; not depth.
    explicit DataFormat(const QString& name);
    DataFormat(const QString& name, std::array<double, 2> levels, ScalingFactor scalingFactor, bool depthType = false);

    QString name;
    std::array<double, 2> levels;
    QVector<QRgb> colorMap;
    ScalingFactor scalingFactor;

    bool isDepthType() const { return depthType; }
    bool isIntegerScaling() const { return std::holds_alternative<int>(scalingFactor); }
    // The factor as a number, whatever its kind.
    double scalingValue() const;

    void setScalingFactor(int factor) { scalingFactor = factor; }
    void setScalingFactor(double factor) { scalingFactor = factor; }

    static QVector<QRgb> greyMap();
    static QVector<QRgb> hueMap();

private:
    bool depthType = false;
};
