#pragma once

#include <QString>

// The settings the scene reads when it is created and the preferences panel
// writes as they change.
namespace SettingsKey {
inline const QString kSpeed = QStringLiteral("Speed");
inline const QString kLookAhead = QStringLiteral("LookAhead");
inline const QString kCameraHeight = QStringLiteral("CameraHeight");
inline const QString kFerlowHeight = QStringLiteral("FerlowHeight");
inline const QString kGridSize = QStringLiteral("GridSize");
inline const QString kFogDensity = QStringLiteral("FogDensity");
inline const QString kFogColour = QStringLiteral("FogColour");
} // namespace SettingsKey
