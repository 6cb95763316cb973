// The application's own icon, from the rendered art in the bundle's resources.
#pragma once

#include <QIcon>
#include <QString>

namespace nubbo {

// The desktop identifies the app by this id: icon files, the desktop entry and the Wayland app id.
inline constexpr char kAppId[] = "dev.nubbo.Nubbo";

// Every hicolor size of <resources>/icons/hicolor/<n>x<n>/apps/<app id>.png; null when none is there.
QIcon applicationIcon(const QString& resourcesDirectory);

} // namespace nubbo
