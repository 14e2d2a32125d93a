#pragma once

#include <QVariantMap>
#include <optional>

// The first values of the settings, from the resource Defaults.plist.
namespace Defaults {

// The dictionary of Defaults.plist in the main bundle, or nothing when the
// file is missing or unreadable.
std::optional<QVariantMap> dictionary();

// Registers Defaults.plist with the standard settings store as fallback
// values. A missing or unreadable file registers nothing, silently; repeating
// it changes nothing.
void registerWithStandardStore();

} // namespace Defaults
