#include "scene/SceneSettings.h"

#include "terrain/HeightField.h"

#include "platform/system/SettingsStore.h"
#include "platform/system/SystemLog.h"

#include <QStringList>
#include <QVariantList>
#include <algorithm>
#include <cmath>

namespace {

// A value of a defaults dictionary as a number, if it is a usable one.
std::optional<double> numberIn(const QVariantMap& dictionary, const QString& key)
{
    const QVariant value = dictionary.value(key);
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number) || value.typeId() == QMetaType::QVariantList)
        return std::nullopt;
    return number;
}

// A colour's components, as the colour dialog gives them.
constexpr SceneSetting::Range kComponentRange{0.0, 1.0, 0};

// A stored value, or a colour's numbers, as the log shows them.
QString numbers(const QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantList)
        return value.toString();
    QStringList texts;
    for (const QVariant& number : value.toList())
        texts << number.toString();
    return texts.join(QStringLiteral(", "));
}

} // namespace

QVariant SceneSetting::read(const SettingsStore& store, const Range& within) const
{
    return usable(stored(store), within);
}

QVariant SceneSetting::readReporting(const SettingsStore& store) const
{
    const QVariant value = stored(store);
    const Range within = widestRange();
    const QVariant used = usable(value, within);
    if (used != value) {
        const Range shown = type == Type::Colour ? kComponentRange : within;
        systemLog(QStringLiteral("Ferlow: %1=%2 in the settings lies outside %3 to %4; using %5")
                      .arg(key, numbers(store.objectForKey(key)), QString::number(shown.min), QString::number(shown.max),
                           numbers(used))
                      .toStdString());
    }
    return used;
}

QVariant SceneSetting::stored(const SettingsStore& store) const
{
    switch (type) {
    case Type::Float:
        return store.floatForKey(key);
    case Type::Integer:
        return store.int32ForKey(key);
    case Type::Colour:
        // A text is no colour: read as black fog, it would darken the whole
        // distance.
        if (const std::optional<QVariantList> colour = store.numberArrayForKey(key))
            return *colour;
        return {};
    }
    return {};
}

QVariant SceneSetting::usable(const QVariant& value, const Range& within) const
{
    switch (type) {
    case Type::Float:
        return std::clamp(value.toFloat(), float(within.min), float(within.max));
    case Type::Integer:
        return std::clamp(value.toInt(), std::int32_t(within.min), std::int32_t(within.max));
    case Type::Colour: {
        if (!value.isValid())
            return value;
        QVariantList components = value.toList();
        for (QVariant& component : components)
            component = std::clamp(component.toDouble(), kComponentRange.min, kComponentRange.max);
        return components;
    }
    }
    return value;
}

void SceneSetting::write(SettingsStore& store, const QVariant& value) const
{
    switch (type) {
    case Type::Float:
        store.setFloat(value.toFloat(), key);
        break;
    case Type::Integer:
        store.setInteger(value.toInt(), key);
        break;
    case Type::Colour:
        store.setObject(value, key);
        break;
    }
}

void SceneSetting::apply(Scene& scene, const QVariant& value) const
{
    switch (type) {
    case Type::Float:
        (scene.*setFloat)(value.toFloat() * static_cast<float>(scale));
        break;
    case Type::Integer:
        (scene.*setInteger)(value.toInt());
        break;
    case Type::Colour: {
        const std::array<float, 4> colour = Scene::fogColourFromSetting(value);
        (scene.*setColour)(colour[0], colour[1], colour[2], colour[3]);
        break;
    }
    }
}

std::optional<QVariant> SceneSetting::defaultValue(const QVariantMap& defaults) const
{
    if (type == Type::Colour) {
        const QVariantList colour = defaults.value(key).toList();
        return colour.size() >= 4 ? std::optional<QVariant>(colour) : std::nullopt;
    }
    const std::optional<double> number = numberIn(defaults, key);
    if (!number)
        return std::nullopt;
    if (type == Type::Integer)
        return QVariant(static_cast<std::int32_t>(static_cast<qint64>(*number)));
    return QVariant(static_cast<float>(*number));
}

QString SceneSetting::text(const QVariant& value) const
{
    if (type == Type::Integer)
        return QString::number(value.toInt());
    return QString::asprintf(format, static_cast<double>(value.toFloat() * static_cast<float>(scale)));
}

QString SceneSetting::textAtStartUp(const QVariant& value) const
{
    if (type == Type::Integer)
        return QString::number(value.toInt());
    return QString::asprintf(format, static_cast<double>(value.toFloat()) * scale);
}

SceneSetting::Range SceneSetting::sliderRange(int heightImageWidth) const
{
    if (!rangeEndsAtImageWidth)
        return range;
    const int finest = std::min(heightImageWidth, HeightField::kMaxGridSize);
    const double max = std::max(static_cast<double>(finest), range.max);
    return {range.min, max, static_cast<int>(max - range.min)};
}

SceneSetting::Range SceneSetting::widestRange() const
{
    return sliderRange(HeightField::kMaxGridSize);
}

float SceneSetting::raised(float value) const
{
    const float next = value + keySteps->up;
    return keySteps->bounded ? std::min(next, static_cast<float>(range.max)) : next;
}

float SceneSetting::lowered(float value) const
{
    const float next = value - keySteps->down;
    return keySteps->bounded ? std::max(next, static_cast<float>(range.min)) : next;
}
