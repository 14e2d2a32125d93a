#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>

class QSettings;

// The current user's settings: an INI file at
// $XDG_CONFIG_HOME/ferlow/ferlow.conf (~/.config when unset), written through
// QSettings.
//
// Contract:
// - Registered defaults live in memory only and are never written; they
//   answer reads of keys that have no stored value.
// - Every setter has put the value on disk before it returns.
// - Missing keys read as 0, false or an invalid QVariant.
// - A stored value that is not a number where a number is asked for, a
//   non-finite number (a hand-edited "nan" or "inf"), or a line the file
//   format cannot parse reads as if absent; other keys are unaffected.
// - Numbers are stored as text so that the file stays readable and
//   hand-editable; arrays of numbers as comma-separated lists, each element
//   with enough digits to read back the same double.
class SettingsStore {
public:
    // The one store of the current user, created on first use at
    // standardFilePath().
    static SettingsStore& standardUserDefaults();
    static QString standardFilePath();

    explicit SettingsStore(const QString& filePath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    void registerDefaults(const QVariantMap& defaults);
    // Forgets every registered default: reads answer from stored values only.
    void clearRegisteredDefaults();

    float floatForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    // A stored array of numbers comes back as a QVariantList of doubles; an
    // array with any element that is not a finite number reads as absent.
    QVariant objectForKey(const QString& key) const;
    // A stored list of texts, or nothing when the key has no value. The file
    // keeps a list of one as a plain text, which reads as that list of one,
    // and an empty list as an empty text.
    std::optional<QStringList> stringArrayForKey(const QString& key) const;

    void setFloat(float value, const QString& key);
    void setInteger(qint64 value, const QString& key);
    void setBool(bool value, const QString& key);
    // A QVariantList is stored as numbers, a QStringList as texts (an empty
    // one as an empty text); other values as their text.
    void setObject(const QVariant& value, const QString& key);
    // Forgets the stored value: reads answer from the registered defaults.
    void removeObjectForKey(const QString& key);
    // Forgets every stored value, on disk too.
    void removeAllObjects();

    QString fileName() const;

private:
    std::optional<double> numberForKey(const QString& key) const;
    void write(const QString& key, const QVariant& value);

    std::unique_ptr<QSettings> mSettings;
    QVariantMap mRegistered;
};
