#include "platform/system/Defaults.h"

#include "platform/system/PropertyList.h"
#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"

namespace Defaults {

std::optional<QVariantMap> dictionary()
{
    const auto path = ResourceBundle::mainBundle().pathForResource(QStringLiteral("Defaults"), QStringLiteral("plist"));
    if (!path)
        return std::nullopt;
    return PropertyList::dictionaryWithContentsOfFile(*path);
}

void registerWithStandardStore()
{
    if (const auto defaults = dictionary())
        SettingsStore::shared().registerDefaults(*defaults);
}

} // namespace Defaults
