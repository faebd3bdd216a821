#pragma once
// Names of the data engine's channels and of the view formats built on them.
// The engine publishes the three images under these names; views and charts
// subscribe and look them up by the same names.

#include <QString>

namespace DataChannels {

inline const QString AMPLITUDE = QStringLiteral("amplitude");
inline const QString PHASE = QStringLiteral("phase");
inline const QString DEPTH = QStringLiteral("depth");
// A view format only: the point-cloud view reads the engine's cloud, not an image.
inline const QString POINTCLOUD = QStringLiteral("pointcloud");

} // namespace DataChannels
