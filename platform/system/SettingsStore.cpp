#include "platform/system/SettingsStore.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <cmath>
#include <limits>

namespace {

std::optional<double> finite(double value)
{
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

std::optional<double> numberFromText(const QString& raw)
{
    const QString text = raw.trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("yes"))
        return 1.0;
    if (text == QLatin1String("false") || text == QLatin1String("no"))
        return 0.0;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? finite(value) : std::nullopt;
}

// The number a stored or registered value stands for, if it is one.
std::optional<double> numberFrom(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1.0 : 0.0;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return finite(value.toDouble());
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return numberFromText(value.toString());
    default:
        return std::nullopt;
    }
}

// A list whose every element is a finite number, as doubles; otherwise nothing.
std::optional<QVariantList> numberListFrom(const QVariant& value)
{
    const int type = value.typeId();
    if (type != QMetaType::QStringList && type != QMetaType::QVariantList)
        return std::nullopt;
    QVariantList numbers;
    for (const QVariant& element : value.toList()) {
        const std::optional<double> number = numberFrom(element);
        if (!number)
            return std::nullopt;
        numbers.append(*number);
    }
    return numbers;
}

// What a value of either source reads as through objectForKey.
QVariant objectFrom(const QVariant& value)
{
    const int type = value.typeId();
    if (type == QMetaType::QStringList || type == QMetaType::QVariantList) {
        const std::optional<QVariantList> numbers = numberListFrom(value);
        return numbers ? QVariant(*numbers) : QVariant();
    }
    return value;
}

} // namespace

SettingsStore& SettingsStore::standardUserDefaults()
{
    static SettingsStore store(standardFilePath());
    return store;
}

QString SettingsStore::standardFilePath()
{
    // GenericConfigLocation honours XDG_CONFIG_HOME.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/ferlow/ferlow.conf");
}

SettingsStore::SettingsStore(const QString& filePath)
    : mSettings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::fileName() const
{
    return mSettings->fileName();
}

void SettingsStore::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        mRegistered.insert(it.key(), it.value());
}

void SettingsStore::clearRegisteredDefaults()
{
    mRegistered.clear();
}

std::optional<double> SettingsStore::numberForKey(const QString& key) const
{
    if (const std::optional<double> stored = numberFrom(mSettings->value(key)))
        return stored;
    return numberFrom(mRegistered.value(key));
}

float SettingsStore::floatForKey(const QString& key) const
{
    // A double beyond the float range would turn into infinity: such a
    // stored value counts as unusable, like any other non-finite number.
    const auto asFloat = [](const QVariant& value) -> std::optional<float> {
        const std::optional<double> number = numberFrom(value);
        if (!number || !std::isfinite(static_cast<float>(*number)))
            return std::nullopt;
        return static_cast<float>(*number);
    };
    if (const auto stored = asFloat(mSettings->value(key)))
        return *stored;
    return asFloat(mRegistered.value(key)).value_or(0.0f);
}

qint64 SettingsStore::integerForKey(const QString& key) const
{
    constexpr double kLimit = 9.2e18; // inside the qint64 range
    const auto asInteger = [](const QVariant& value) -> std::optional<qint64> {
        if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
            return value.toLongLong();
        bool exact = false;
        const qint64 integer = value.toString().trimmed().toLongLong(&exact);
        if (exact)
            return integer;
        const std::optional<double> number = numberFrom(value);
        if (!number || std::fabs(*number) > kLimit)
            return std::nullopt;
        return static_cast<qint64>(*number);
    };
    if (const auto stored = asInteger(mSettings->value(key)))
        return *stored;
    return asInteger(mRegistered.value(key)).value_or(0);
}

bool SettingsStore::boolForKey(const QString& key) const
{
    return numberForKey(key).value_or(0.0) != 0.0;
}

QVariant SettingsStore::objectForKey(const QString& key) const
{
    const QVariant stored = objectFrom(mSettings->value(key));
    return stored.isValid() ? stored : objectFrom(mRegistered.value(key));
}

std::optional<QStringList> SettingsStore::stringArrayForKey(const QString& key) const
{
    const auto texts = [](const QVariant& value) -> std::optional<QStringList> {
        if (value.typeId() == QMetaType::QStringList)
            return value.toStringList();
        if (value.typeId() == QMetaType::QString)
            return value.toString().isEmpty() ? QStringList() : QStringList{value.toString()};
        return std::nullopt;
    };
    if (const auto stored = texts(mSettings->value(key)))
        return stored;
    return texts(mRegistered.value(key));
}

void SettingsStore::setFloat(float value, const QString& key)
{
    write(key, QString::number(static_cast<double>(value), 'g', std::numeric_limits<float>::max_digits10));
}

void SettingsStore::setInteger(qint64 value, const QString& key)
{
    write(key, QString::number(value));
}

void SettingsStore::setBool(bool value, const QString& key)
{
    write(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void SettingsStore::setObject(const QVariant& value, const QString& key)
{
    if (value.typeId() == QMetaType::QStringList) {
        // The file format keeps an empty list as no value at all; an empty
        // text keeps it as an empty list.
        const QStringList texts = value.toStringList();
        write(key, texts.isEmpty() ? QVariant(QString()) : value);
        return;
    }
    if (value.typeId() == QMetaType::QVariantList) {
        QStringList texts;
        for (const QVariant& element : value.toList())
            texts.append(QString::number(element.toDouble(), 'g', std::numeric_limits<double>::max_digits10));
        write(key, texts);
        return;
    }
    write(key, value.toString());
}

void SettingsStore::removeObjectForKey(const QString& key)
{
    mSettings->remove(key);
    mSettings->sync();
}

void SettingsStore::removeAllObjects()
{
    mSettings->clear();
    mSettings->sync();
}

void SettingsStore::write(const QString& key, const QVariant& value)
{
    mSettings->setValue(key, value);
    mSettings->sync();
    if (mSettings->status() == QSettings::AccessError)
        qWarning("Ferlow: could not write the settings file %s", qPrintable(mSettings->fileName()));
}
