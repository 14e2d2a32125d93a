#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <optional>

class QSettings;

// The current user's settings: an INI file at
// $XDG_CONFIG_HOME/ferlow/ferlow.conf (~/.config when unset), read and written
// line by line (SettingsFile) through QSettings, which saves atomically: a
// temporary file beside it, renamed over it, under a lock file.
//
// Contract:
// - Registered defaults live in memory only and are never written; they
//   answer reads of keys that have no stored value.
// - Every setter has put the value on disk before it returns.
// - Missing keys read as 0, false or an invalid QVariant.
// - A stored value that is not a number where a number is asked for, a
//   non-finite number (a hand-edited "nan" or "inf"), or a line the file
//   format cannot parse reads as if absent; other keys are unaffected.
// - Before the first save over a file with lines it cannot read, the file as
//   it was is kept beside it, as ferlow.conf.damaged (or .damaged-2 and on,
//   so that no earlier copy is overwritten), and the system log says so; a
//   save that cannot keep that copy is not made.
// - A path that exists but is not a regular file (a FIFO, a device, a
//   directory) is never opened: the store starts empty, says so once in the
//   system log, and keeps what is set in memory for the run only.
// - Temporary files left by a save that was killed are removed when the
//   store is made.
// - Numbers are stored as text so that the file stays readable and
//   hand-editable; arrays of numbers as comma-separated lists, each element
//   with enough digits to read back the same double.
class SettingsStore {
public:
    // The one store of the current user, created on first use at
    // standardFilePath().
    static SettingsStore& shared();
    static QString standardFilePath();

    explicit SettingsStore(const QString& filePath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    void registerDefaults(const QVariantMap& defaults);
    // Forgets every registered default: reads answer from stored values only.
    void clearRegisteredDefaults();

    float floatForKey(const QString& key) const;
    // The whole stored number, to 64 bits; one beyond that range reads as absent.
    qint64 integerForKey(const QString& key) const;
    // The same clamped to the 32-bit range, for settings that are 32-bit
    // integers: a stored 4294967296 reads as the largest 32-bit integer,
    // never as the 0 that cutting it to 32 bits would give.
    std::int32_t int32ForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;
    // The same, but nothing where neither a stored nor a registered value
    // can be read: for settings whose default is decided at run time.
    std::optional<bool> storedBoolForKey(const QString& key) const;
    // A stored array of numbers comes back as a QVariantList of doubles; an
    // array with any element that is not a finite number reads as absent.
    QVariant objectForKey(const QString& key) const;
    // A list of finite numbers, as doubles: the stored one, else the
    // registered one, else nothing. Anything else stored (a text, an empty
    // value, a list with a word in it) reads as absent.
    std::optional<QVariantList> numberArrayForKey(const QString& key) const;
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
    // What `read` makes of the stored value, else of the registered default.
    template <typename Read>
    auto readableValue(const QString& key, Read read) const -> decltype(read(QVariant()));
    QVariant storedValue(const QString& key) const;
    void write(const QString& key, const QVariant& value);
    // Whether the file may be saved over now: it is still a regular file (or
    // none), and whatever a save would drop of it has been copied aside.
    bool mayOverwriteFile() const;
    void save();

    QString mFilePath;
    // Null when the path cannot be used: the run then keeps its values in
    // mSession.
    std::unique_ptr<QSettings> mSettings;
    QVariantMap mSession;
    QVariantMap mRegistered;
};
