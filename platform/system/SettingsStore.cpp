#include "platform/system/SettingsStore.h"

#include "platform/system/SettingsFile.h"
#include "platform/system/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
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
std::optional<QVariant> objectFrom(const QVariant& value)
{
    const int type = value.typeId();
    if (type == QMetaType::QStringList || type == QMetaType::QVariantList) {
        const std::optional<QVariantList> numbers = numberListFrom(value);
        return numbers ? std::optional<QVariant>(*numbers) : std::nullopt;
    }
    return value.isValid() ? std::optional<QVariant>(value) : std::nullopt;
}

// A double beyond the float range would turn into infinity: such a value
// counts as unusable, like any other non-finite number.
std::optional<float> floatFrom(const QVariant& value)
{
    const std::optional<double> number = numberFrom(value);
    if (!number || !std::isfinite(static_cast<float>(*number)))
        return std::nullopt;
    return static_cast<float>(*number);
}

std::optional<qint64> integerFrom(const QVariant& value)
{
    constexpr double kLimit = 9.2e18; // inside the qint64 range
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
}

std::optional<QStringList> textsFrom(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QString)
        return value.toString().isEmpty() ? QStringList() : QStringList{value.toString()};
    return std::nullopt;
}

// Whether the path is there but is no regular file: reading a FIFO would
// wait for a writer, a device could be anything, and a save would replace
// either with a file.
bool unusableFilePath(const QString& filePath)
{
    const QFileInfo info(filePath);
    return info.exists() && !info.isFile();
}

// A save killed between writing its temporary file and renaming it over the
// settings leaves the temporary behind: the file's name, a dot and six
// random letters, upper and lower case mixed, as QSaveFile makes them. The
// mix spares a name a person would give a copy ("ferlow.conf.backup").
// Holding the save lock, no save is under way, so every such file is stale;
// while another instance saves, they are left for the next start.
void removeStaleTemporaries(const QString& filePath)
{
    QLockFile lock(filePath + QStringLiteral(".lock"));
    if (!lock.tryLock(0))
        return;
    const QFileInfo settings(filePath);
    const QRegularExpression temporary(QStringLiteral("^%1\\.(?=.*[a-z])(?=.*[A-Z])[A-Za-z]{6}$")
                                           .arg(QRegularExpression::escape(settings.fileName())));
    const QFileInfoList entries = QDir(settings.absolutePath()).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo& entry : entries) {
        if (!entry.isSymLink() && temporary.match(entry.fileName()).hasMatch())
            QFile::remove(entry.absoluteFilePath());
    }
}

// Beside the file, a name no earlier copy has taken.
std::optional<QString> freeCopyName(const QString& filePath)
{
    constexpr int kMostCopies = 100;
    const QString first = filePath + QStringLiteral(".damaged");
    for (int n = 1; n <= kMostCopies; ++n) {
        const QString name = n == 1 ? first : QStringLiteral("%1-%2").arg(first).arg(n);
        if (!QFileInfo::exists(name))
            return name;
    }
    return std::nullopt;
}

bool writeNewFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    if (file.write(contents) == contents.size() && file.flush())
        return true;
    file.remove();
    return false;
}

} // namespace

SettingsStore& SettingsStore::shared()
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
    : mFilePath(filePath)
{
    if (unusableFilePath(filePath)) {
        systemLog(QStringLiteral("Ferlow: %1 is not a regular file; starting from the defaults, and saving no setting "
                                 "there")
                      .arg(filePath)
                      .toStdString());
        return;
    }
    removeStaleTemporaries(filePath);
    mSettings = std::make_unique<QSettings>(filePath, SettingsFile::format());
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::fileName() const
{
    return mFilePath;
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

QVariant SettingsStore::storedValue(const QString& key) const
{
    return mSettings ? mSettings->value(key) : mSession.value(key);
}

template <typename Read>
auto SettingsStore::readableValue(const QString& key, Read read) const -> decltype(read(QVariant()))
{
    if (auto stored = read(storedValue(key)))
        return stored;
    return read(mRegistered.value(key));
}

float SettingsStore::floatForKey(const QString& key) const
{
    return readableValue(key, floatFrom).value_or(0.0f);
}

std::optional<QVariantList> SettingsStore::numberArrayForKey(const QString& key) const
{
    return readableValue(key, numberListFrom);
}

qint64 SettingsStore::integerForKey(const QString& key) const
{
    return readableValue(key, integerFrom).value_or(0);
}

std::int32_t SettingsStore::int32ForKey(const QString& key) const
{
    return static_cast<std::int32_t>(std::clamp<qint64>(integerForKey(key), std::numeric_limits<std::int32_t>::min(),
                                                         std::numeric_limits<std::int32_t>::max()));
}

bool SettingsStore::boolForKey(const QString& key) const
{
    return readableValue(key, numberFrom).value_or(0.0) != 0.0;
}

std::optional<bool> SettingsStore::storedBoolForKey(const QString& key) const
{
    const std::optional<double> number = readableValue(key, numberFrom);
    return number ? std::optional<bool>(*number != 0.0) : std::nullopt;
}

QVariant SettingsStore::objectForKey(const QString& key) const
{
    return readableValue(key, objectFrom).value_or(QVariant());
}

std::optional<QStringList> SettingsStore::stringArrayForKey(const QString& key) const
{
    return readableValue(key, textsFrom);
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
    if (!mSettings) {
        mSession.remove(key);
    } else if (mayOverwriteFile()) {
        mSettings->remove(key);
        save();
    }
}

void SettingsStore::removeAllObjects()
{
    if (!mSettings) {
        mSession.clear();
    } else if (mayOverwriteFile()) {
        mSettings->clear();
        save();
    }
}

void SettingsStore::write(const QString& key, const QVariant& value)
{
    if (!mSettings) {
        mSession.insert(key, value);
    } else if (mayOverwriteFile()) {
        mSettings->setValue(key, value);
        save();
    }
}

bool SettingsStore::mayOverwriteFile() const
{
    // A path that has stopped being a regular file is left alone, as at start.
    if (unusableFilePath(mFilePath))
        return false;
    QFile file(mFilePath);
    if (!file.open(QIODevice::ReadOnly))
        return true; // nothing there to lose
    const QByteArray contents = file.readAll();
    if (!SettingsFile::hasUnreadableLines(contents))
        return true;
    const std::optional<QString> copy = freeCopyName(mFilePath);
    if (!copy || !writeNewFile(*copy, contents)) {
        systemLog(QStringLiteral("Ferlow: %1 has lines it cannot read, and no copy of it could be kept; "
                                 "the file is left as it is")
                      .arg(mFilePath)
                      .toStdString());
        return false;
    }
    systemLog(QStringLiteral("Ferlow: %1 has lines it cannot read; they count as missing, and the file as it was "
                             "is kept as %2")
                  .arg(mFilePath, *copy)
                  .toStdString());
    return true;
}

void SettingsStore::save()
{
    mSettings->sync();
    if (mSettings->status() == QSettings::AccessError)
        qWarning("Ferlow: could not write the settings file %s", qPrintable(mFilePath));
}
