#pragma once
// Product texts shown by the About dialog and the log panel's banner.

#include <QString>

inline const QString SOFTWARE_NAME = QStringLiteral("Ornavu");
inline const QString VERSION_NUMBER = QStringLiteral("2.3.0");
inline const QString COMPANY_NAME = QStringLiteral("Ornavu Vision Systems");
inline const QString SHORT_DESCRIPTION =
    QStringLiteral("Viewer for time-of-flight depth cameras: live and recorded streams, "
                   "amplitude, phase and point-cloud views, camera parameters and filter chains.");
inline const QString LICENSE =
    QStringLiteral("Copyright (c) 2019-2024 Ornavu Vision Systems. All rights reserved.\n"
                   "This software is provided to owners of Ornavu depth cameras for use with "
                   "those cameras. It is provided \"as is\", without warranty of any kind.");
