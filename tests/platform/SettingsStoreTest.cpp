#include "platform/system/SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

class SettingsStoreTest : public testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("ferlow/ferlow.conf")); }
    void writeFile(const QByteArray& contents) const
    {
        QDir().mkpath(dir.filePath(QStringLiteral("ferlow")));
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    QByteArray readFile() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

TEST_F(SettingsStoreTest, ValuesSurviveIntoAFreshStore)
{
    {
        SettingsStore store(path());
        store.setFloat(2.5f, QStringLiteral("Speed"));
        store.setFloat(0.1f, QStringLiteral("LookAhead"));
        store.setInteger(-7, QStringLiteral("GridSize"));
        store.setInteger(qint64(1) << 40, QStringLiteral("Big"));
        store.setBool(true, QStringLiteral("FullScreenStretched"));
        store.setObject(QVariantList{0.1, 1.0 / 3.0, 0.7, 1.0}, QStringLiteral("FogColour"));
        // On disk before the store goes: no flush at exit needed.
        SettingsStore reader(path());
        EXPECT_EQ(reader.floatForKey(QStringLiteral("Speed")), 2.5f);
    }
    SettingsStore store(path());
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 2.5f);
    EXPECT_EQ(store.floatForKey(QStringLiteral("LookAhead")), 0.1f);
    EXPECT_EQ(store.integerForKey(QStringLiteral("GridSize")), -7);
    EXPECT_EQ(store.integerForKey(QStringLiteral("Big")), qint64(1) << 40);
    EXPECT_TRUE(store.boolForKey(QStringLiteral("FullScreenStretched")));
    EXPECT_EQ(store.objectForKey(QStringLiteral("FogColour")), (QVariantList{0.1, 1.0 / 3.0, 0.7, 1.0}));
}

TEST_F(SettingsStoreTest, MissingKeysReadAsZeroFalseOrNothing)
{
    SettingsStore store(path());
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 0.0f);
    EXPECT_EQ(store.integerForKey(QStringLiteral("GridSize")), 0);
    EXPECT_FALSE(store.boolForKey(QStringLiteral("FullScreenStretched")));
    EXPECT_FALSE(store.objectForKey(QStringLiteral("FogColour")).isValid());
}

TEST_F(SettingsStoreTest, RegisteredDefaultsAnswerReadsButAreNeverWritten)
{
    const QVariantMap defaults{{QStringLiteral("Speed"), 4.5},
                               {QStringLiteral("GridSize"), qint64(256)},
                               {QStringLiteral("FogColour"), QVariantList{0.5, 0.6, 0.7, 1.0}}};
    {
        SettingsStore store(path());
        store.registerDefaults(defaults);
        store.registerDefaults(defaults); // repeating changes nothing
        EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 4.5f);
        EXPECT_EQ(store.integerForKey(QStringLiteral("GridSize")), 256);
        EXPECT_EQ(store.objectForKey(QStringLiteral("FogColour")), defaults.value(QStringLiteral("FogColour")));
        store.setFloat(9.0f, QStringLiteral("Speed"));
        EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 9.0f); // a written value wins
    }
    SettingsStore fresh(path());
    EXPECT_EQ(fresh.floatForKey(QStringLiteral("Speed")), 9.0f);
    EXPECT_EQ(fresh.integerForKey(QStringLiteral("GridSize")), 0);
    EXPECT_FALSE(readFile().contains("GridSize"));
    EXPECT_FALSE(readFile().contains("FogColour"));
}

TEST_F(SettingsStoreTest, UnusableStoredValuesReadAsAbsentAndLoseNoOtherKey)
{
    writeFile("[General]\n"
              "Speed=nan\n"
              "LookAhead=inf\n"
              "CameraHeight=high\n"
              "FerlowHeight=1e300\n"
              "GridSize=lots\n"
              "FogColour=0.5, nan, 0.5, 1\n"
              "FogDensity=1.5\n"
              "this line is not a setting\n"
              "=\n"
              "[General\n"
              "FullScreenWidth=1024\n");
    SettingsStore store(path());
    store.registerDefaults({{QStringLiteral("Speed"), 3.0}, {QStringLiteral("FogColour"), QVariantList{1, 1, 1, 1}}});
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 3.0f);
    EXPECT_EQ(store.floatForKey(QStringLiteral("LookAhead")), 0.0f);
    EXPECT_EQ(store.floatForKey(QStringLiteral("CameraHeight")), 0.0f);
    EXPECT_EQ(store.floatForKey(QStringLiteral("FerlowHeight")), 0.0f);
    EXPECT_EQ(store.integerForKey(QStringLiteral("GridSize")), 0);
    EXPECT_EQ(store.objectForKey(QStringLiteral("FogColour")), (QVariantList{1.0, 1.0, 1.0, 1.0}));
    EXPECT_EQ(store.floatForKey(QStringLiteral("FogDensity")), 1.5f);
    EXPECT_EQ(store.integerForKey(QStringLiteral("FullScreenWidth")), 1024);

    store.setFloat(2.0f, QStringLiteral("Speed"));
    SettingsStore fresh(path());
    EXPECT_EQ(fresh.floatForKey(QStringLiteral("Speed")), 2.0f);
    EXPECT_EQ(fresh.floatForKey(QStringLiteral("FogDensity")), 1.5f);
    EXPECT_EQ(fresh.integerForKey(QStringLiteral("FullScreenWidth")), 1024);
}

TEST_F(SettingsStoreTest, BinaryGarbageIsSurvivedAndReplacedByWrites)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 131 + 7) & 0xff));
    writeFile(garbage);
    SettingsStore store(path());
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 0.0f);
    store.setFloat(6.0f, QStringLiteral("Speed"));
    EXPECT_EQ(SettingsStore(path()).floatForKey(QStringLiteral("Speed")), 6.0f);
}

TEST_F(SettingsStoreTest, HandEditedNumbersAreRead)
{
    writeFile("[General]\nSpeed= 12.5 \nGridSize=300.9\nFullScreenStretched=YES\nCameraHeight=-0\n");
    SettingsStore store(path());
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 12.5f);
    EXPECT_EQ(store.integerForKey(QStringLiteral("GridSize")), 300);
    EXPECT_TRUE(store.boolForKey(QStringLiteral("FullScreenStretched")));
    EXPECT_EQ(store.floatForKey(QStringLiteral("CameraHeight")), 0.0f);
}

// The file keeps a list of one as a plain text and would keep no trace of
// an empty list; both must come back as lists in the next run, which knows
// only the file: a copy at a path this process has not read, so that
// nothing comes from QSettings' cache of files it has read.
TEST_F(SettingsStoreTest, ListsOfTextsOfAnyLengthSurviveIntoTheNextRun)
{
    const QStringList three{QStringLiteral("Start Item Identifier"), QStringLiteral("A, with a comma"),
                            QStringLiteral("Stop")};
    {
        SettingsStore store(path());
        store.setObject(three, QStringLiteral("Three"));
        store.setObject(QStringList{QStringLiteral("Only")}, QStringLiteral("One"));
        store.setObject(QStringList(), QStringLiteral("None"));
        store.setObject(three, QStringLiteral("Removed"));
        store.removeObjectForKey(QStringLiteral("Removed"));
    }
    const QString nextRun = dir.filePath(QStringLiteral("next-run.conf"));
    ASSERT_TRUE(QFile::copy(path(), nextRun));
    SettingsStore store(nextRun);
    store.registerDefaults({{QStringLiteral("Removed"), QStringList{QStringLiteral("Registered")}}});
    EXPECT_EQ(store.stringArrayForKey(QStringLiteral("Three")), three);
    EXPECT_EQ(store.stringArrayForKey(QStringLiteral("One")), QStringList{QStringLiteral("Only")});
    EXPECT_EQ(store.stringArrayForKey(QStringLiteral("None")), QStringList());
    EXPECT_EQ(store.stringArrayForKey(QStringLiteral("Removed")), QStringList{QStringLiteral("Registered")});
    EXPECT_FALSE(store.stringArrayForKey(QStringLiteral("Missing")));
}

// What a test starts from: no stored value, on disk or in QSettings' cache,
// and no registered default; the store keeps working afterwards.
TEST_F(SettingsStoreTest, ForgettingEverythingLeavesNoStoredValueAndNoDefault)
{
    SettingsStore store(path());
    store.registerDefaults({{QStringLiteral("Speed"), 4.5}, {QStringLiteral("GridSize"), qint64(256)}});
    store.setFloat(9.0f, QStringLiteral("Speed"));
    store.setInteger(1024, QStringLiteral("FullScreenWidth"));
    store.setObject(QStringList{QStringLiteral("Start")}, QStringLiteral("Toolbar"));

    store.removeAllObjects();
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 4.5f); // the default answers again
    EXPECT_EQ(store.integerForKey(QStringLiteral("FullScreenWidth")), 0);
    EXPECT_FALSE(store.stringArrayForKey(QStringLiteral("Toolbar")));
    EXPECT_EQ(SettingsStore(path()).integerForKey(QStringLiteral("FullScreenWidth")), 0);
    const QString nextRun = dir.filePath(QStringLiteral("next-run.conf"));
    ASSERT_TRUE(!QFile::exists(path()) || QFile::copy(path(), nextRun));
    const SettingsStore next(nextRun);
    EXPECT_EQ(next.floatForKey(QStringLiteral("Speed")), 0.0f);
    EXPECT_EQ(next.integerForKey(QStringLiteral("FullScreenWidth")), 0);

    store.clearRegisteredDefaults();
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 0.0f);
    EXPECT_EQ(store.integerForKey(QStringLiteral("GridSize")), 0);

    store.setFloat(2.0f, QStringLiteral("Speed"));
    EXPECT_EQ(SettingsStore(path()).floatForKey(QStringLiteral("Speed")), 2.0f);
}

TEST(StandardSettingsStore, LivesUnderXdgConfigHome)
{
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    ASSERT_FALSE(configHome.isEmpty());
    EXPECT_EQ(SettingsStore::standardUserDefaults().fileName(),
              QString::fromLocal8Bit(configHome) + QStringLiteral("/ferlow/ferlow.conf"));
}

} // namespace
