#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

// Reads Apple property lists (XML or binary) through libplist into Qt values:
// dictionaries become QVariantMap, arrays QVariantList, reals double,
// integers qint64, booleans bool, strings QString and data QByteArray.
namespace PropertyList {

// The property list held in the bytes, or nothing if they are not one.
std::optional<QVariant> fromData(const QByteArray& data);

// The dictionary stored in the file, or nothing when the file is missing,
// unreadable, not a property list or not a dictionary at its root.
std::optional<QVariantMap> dictionaryWithContentsOfFile(const QString& path);

} // namespace PropertyList
