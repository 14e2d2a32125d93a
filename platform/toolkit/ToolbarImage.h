#pragma once

#include <QIcon>
#include <QString>

namespace ToolbarImage {
// The application's toolbar image of that name (":/toolbar/<name>.svg" in
// the main bundle), drawn from its vector source at whatever size and scale
// it is shown; an empty icon, which draws as nothing, when there is none.
QIcon icon(const QString& name);
} // namespace ToolbarImage
