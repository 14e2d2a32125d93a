#include "platform/toolkit/ToolbarImage.h"

#include "platform/system/ResourceBundle.h"

namespace {

const QString kImageFolder = QStringLiteral("toolbar/");
const QString kImageType = QStringLiteral("svg");

} // namespace

QIcon ToolbarImage::icon(const QString& name)
{
    const auto path = ResourceBundle::mainBundle().pathForResource(kImageFolder + name, kImageType);
    return path ? QIcon(*path) : QIcon();
}
