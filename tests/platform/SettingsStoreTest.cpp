#include "platform/system/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

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
    QByteArray readFile(const QString& name = QStringLiteral("ferlow.conf")) const
    {
        QFile file(dir.filePath(QStringLiteral("ferlow/") + name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // A path this process has not read, so that nothing comes from
    // QSettings' cache of files it has read: what the next run sees.
    QString nextRun() const
    {
        const QString copy = dir.filePath(QStringLiteral("next-run-%1.conf").arg(++mCopies));
        EXPECT_TRUE(QFile::copy(path(), copy));
        return copy;
    }

    QTemporaryDir dir;
    mutable int mCopies = 0;
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

// Each line stands alone: one that cannot be read counts as missing and
// takes no other line with it; the next run still reads every other value,
// and the file as it was is kept beside it before the first save.
struct DamagedFile {
    const char* name;
    QByteArray contents;
    const char* missing; // a key that must read as missing, or none
    bool damaged;        // whether the file has lines a save drops
};

void PrintTo(const DamagedFile& file, std::ostream* out)
{
    *out << file.name;
}

class DamagedLines : public SettingsStoreTest, public testing::WithParamInterface<DamagedFile> {};

TEST_P(DamagedLines, CostNoOtherSetting)
{
    const DamagedFile& c = GetParam();
    writeFile(c.contents);
    testing::internal::CaptureStderr();
    {
        SettingsStore store(path());
        if (c.missing) {
            EXPECT_EQ(store.objectForKey(QString::fromLatin1(c.missing)), QVariant()) << c.missing;
        }
        store.setFloat(7.5f, QStringLiteral("LookAhead"));
    }
    const std::string log = testing::internal::GetCapturedStderr();

    const SettingsStore next(nextRun());
    EXPECT_EQ(next.integerForKey(QStringLiteral("GridSize")), 128);
    EXPECT_EQ(next.floatForKey(QStringLiteral("Speed")), 40.0f);
    EXPECT_EQ(next.objectForKey(QStringLiteral("FogColour")), (QVariantList{0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(next.floatForKey(QStringLiteral("LookAhead")), 7.5f);
    if (c.missing) {
        EXPECT_EQ(next.objectForKey(QString::fromLatin1(c.missing)), QVariant()) << c.missing;
    }
    if (c.damaged) {
        EXPECT_EQ(readFile(QStringLiteral("ferlow.conf.damaged")), c.contents);
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_NE(log.find("ferlow.conf.damaged"), std::string::npos) << log;
    } else {
        EXPECT_FALSE(QFile::exists(path() + QStringLiteral(".damaged")));
        EXPECT_EQ(log, "");
    }
}

const QByteArray kAfter = "GridSize=128\nSpeed=40\nFogColour=0.25, 0.5, 0.75, 1\n";

INSTANTIATE_TEST_SUITE_P(
    SettingsStore, DamagedLines,
    testing::Values(DamagedFile{"UnclosedQuote", "[General]\nFogDensity=\"2\n" + kAfter, "FogDensity", true},
                    DamagedFile{"TrailingBackslash", "[General]\nCameraHeight=3\\\n" + kAfter, "CameraHeight", true},
                    DamagedFile{"NoEquals", "[General]\nCameraHeight 3\n" + kAfter, "CameraHeight", true},
                    DamagedFile{"UnclosedSection", "[General\nFerlowHeight=1\n" + kAfter, nullptr, true},
                    DamagedFile{"BinaryBytes", QByteArray("[General]\nFogDensity=\x01\xff\xfe\x00\x80\n", 27) + kAfter,
                                "FogDensity", true},
                    DamagedFile{"ControlKey", "[General]\n%01layout=1\n" + kAfter, nullptr, true},
                    DamagedFile{"Crlf", QByteArray("[General]\n" + kAfter).replace("\n", "\r\n"), nullptr, false},
                    DamagedFile{"ByteOrderMark", "\xEF\xBB\xBF[General]\n" + kAfter, nullptr, false},
                    DamagedFile{"TopLevelWithoutSection", kAfter, nullptr, false}),
    [](const testing::TestParamInfo<DamagedFile>& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, NumbersReadInFullWidthAndClampToThirtyTwoBits)
{
    struct Case {
        const char* stored;
        qint64 full;
        std::int32_t clamped;
    };
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const Case cases[] = {{"128", 128, 128},
                          {"4294967296", qint64(1) << 32, kMax},
                          {"4294967298", (qint64(1) << 32) + 2, kMax},
                          {"-4294967296", -(qint64(1) << 32), kMin},
                          {"2147483647", kMax, kMax},
                          {"-2147483648", kMin, kMin},
                          {"9223372036854775807", std::numeric_limits<qint64>::max(), kMax},
                          {"1e300", 0, 0}};
    QByteArray contents = "[General]\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        contents += "Key" + QByteArray::number(qulonglong(i)) + "=" + cases[i].stored + "\n";
    writeFile(contents);
    {
        SettingsStore store(path());
        store.setInteger(1, QStringLiteral("Other"));
    }
    const SettingsStore next(nextRun());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const QString key = QStringLiteral("Key%1").arg(i);
        EXPECT_EQ(next.integerForKey(key), cases[i].full) << cases[i].stored;
        EXPECT_EQ(next.int32ForKey(key), cases[i].clamped) << cases[i].stored;
    }
}

// What the user wrote stays where it was: comments, blank lines, unknown
// keys and sections, and the order of the lines; a changed value takes the
// old one's place, a new key follows the last setting of its section, and a
// removed key goes.
TEST_F(SettingsStoreTest, SavesKeepCommentsUnknownKeysAndTheOrderOfLines)
{
    writeFile("; Ferlow's settings, by hand\n"
              "\n"
              "[General]\n"
              "# the speed I like\n"
              "Speed=40\n"
              "Mine = \"spaced out\" \n"
              "GridSize=128\n"
              "; end of general\n"
              "\n"
              "[Elsewhere]\n"
              "a\\b=1\n");
    {
        SettingsStore store(path());
        store.setFloat(41.0f, QStringLiteral("Speed"));
        store.setInteger(256, QStringLiteral("NewKey"));
        store.removeObjectForKey(QStringLiteral("GridSize"));
        store.setObject(QStringList{QStringLiteral("x")}, QStringLiteral("Fresh/one"));
    }
    EXPECT_EQ(readFile(), "; Ferlow's settings, by hand\n"
                          "\n"
                          "[General]\n"
                          "# the speed I like\n"
                          "Speed=41\n"
                          "Mine = \"spaced out\" \n"
                          "NewKey=256\n"
                          "; end of general\n"
                          "\n"
                          "[Elsewhere]\n"
                          "a\\b=1\n"
                          "\n"
                          "[Fresh]\n"
                          "one=x\n");
    const SettingsStore next(nextRun());
    EXPECT_EQ(next.stringArrayForKey(QStringLiteral("Mine")), QStringList{QStringLiteral("spaced out")});
    EXPECT_EQ(next.integerForKey(QStringLiteral("Elsewhere/a/b")), 1);
}

// Files that QSettings wrote (earlier versions of the program) read the
// same, and what the store writes reads the same through QSettings.
TEST_F(SettingsStoreTest, ReadsAndWritesTheSyntaxQSettingsUses)
{
    const QStringList texts{QStringLiteral("Start Item Identifier"), QStringLiteral("a, b; c = d"),
                            QStringLiteral(" padded "), QStringLiteral("quote \" and back\\slash"),
                            QStringLiteral("tab\tnew\nline"), QStringLiteral("@at"), QStringLiteral("ünïcødé €"),
                            QStringLiteral("\x01" "7")};
    const QString key = QStringLiteral("Toolbar Identifier/with, odd=chars");
    {
        QDir().mkpath(dir.filePath(QStringLiteral("ferlow")));
        QSettings qt(path(), QSettings::IniFormat);
        qt.setValue(key, texts);
        qt.setValue(QStringLiteral("One"), QStringLiteral(" lone, text "));
        qt.setValue(QStringLiteral("Speed"), QStringLiteral("2.5"));
    }
    {
        const SettingsStore store(nextRun());
        EXPECT_EQ(store.stringArrayForKey(key), texts);
        EXPECT_EQ(store.stringArrayForKey(QStringLiteral("One")), QStringList{QStringLiteral(" lone, text ")});
        EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 2.5f);
    }
    ASSERT_TRUE(QFile::remove(path()));
    {
        SettingsStore store(path());
        store.setObject(texts, key);
        store.setObject(QStringList{QStringLiteral(" lone, text ")}, QStringLiteral("One"));
    }
    const QSettings qt(nextRun(), QSettings::IniFormat);
    EXPECT_EQ(qt.value(key).toStringList(), texts);
    EXPECT_EQ(qt.value(QStringLiteral("One")).toString(), QStringLiteral(" lone, text "));
}

// A second damaged file later on keeps its own copy: no copy is written over.
TEST_F(SettingsStoreTest, EachDamagedFileKeepsACopyOfItsOwn)
{
    const QByteArray first = "[General]\nSpeed=\"1\n";
    const QByteArray second = "[General]\nSpeed=2\\\n";
    writeFile(first);
    SettingsStore(path()).setFloat(3.0f, QStringLiteral("Speed"));
    writeFile(second);
    SettingsStore(path() + QString()).setFloat(4.0f, QStringLiteral("LookAhead"));
    EXPECT_EQ(readFile(QStringLiteral("ferlow.conf.damaged")), first);
    EXPECT_EQ(readFile(QStringLiteral("ferlow.conf.damaged-2")), second);
    EXPECT_EQ(SettingsStore(nextRun()).floatForKey(QStringLiteral("LookAhead")), 4.0f);
}

// A save killed between writing its temporary file and renaming it leaves
// "ferlow.conf.XXXXXX" behind; the next start removes it, unless a save of
// another instance may be under way, and never touches other files there.
TEST_F(SettingsStoreTest, StaleTemporaryFilesGoAtTheNextStart)
{
    writeFile("[General]\nSpeed=1\n");
    const QStringList kept{QStringLiteral("ferlow.conf.backup"), QStringLiteral("ferlow.conf.damaged"),
                           QStringLiteral("ferlow.conf.Ab1dEf"), QStringLiteral("other.conf.AbCdEf")};
    const QString stale = QStringLiteral("ferlow.conf.qWeRty");
    const QDir folder(dir.filePath(QStringLiteral("ferlow")));
    for (const QString& name : kept + QStringList{stale}) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    {
        QLockFile saving(path() + QStringLiteral(".lock"));
        ASSERT_TRUE(saving.tryLock(0));
        SettingsStore store(path());
        EXPECT_TRUE(folder.exists(stale)) << "removed while a save may be under way";
    }
    const SettingsStore store(path());
    EXPECT_FALSE(folder.exists(stale));
    for (const QString& name : kept)
        EXPECT_TRUE(folder.exists(name)) << name.toStdString();
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), 1.0f);
}

// A FIFO would block the first read until a writer came; a device could be
// anything; a directory cannot be saved over. None is opened: the run
// starts from the defaults, keeps its values in memory, and says so once.
TEST_F(SettingsStoreTest, APathThatIsNoRegularFileIsNeverOpened)
{
    const QByteArray fifo = path().toLocal8Bit();
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("ferlow"))));
    for (const bool isFifo : {true, false}) {
        SCOPED_TRACE(isFifo ? "FIFO" : "directory");
        ASSERT_TRUE(isFifo ? mkfifo(fifo.constData(), 0600) == 0 : QDir().mkdir(path()));
        testing::internal::CaptureStderr();
        auto made = std::async(std::launch::async, [&] {
            SettingsStore store(path());
            store.registerDefaults({{QStringLiteral("Speed"), 4.5}});
            const float before = store.floatForKey(QStringLiteral("Speed"));
            store.setFloat(9.0f, QStringLiteral("Speed"));
            return std::pair(before, store.floatForKey(QStringLiteral("Speed")));
        });
        if (made.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Opening the other end lets a blocked reader go on.
            ::close(::open(fifo.constData(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << "the store waited on the path";
        }
        const auto [before, after] = made.get();
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(before, 4.5f);
        EXPECT_EQ(after, 9.0f);
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        const QFileInfo info(path());
        EXPECT_TRUE(isFifo ? !info.isFile() && !info.isDir() : info.isDir());
        EXPECT_TRUE(QDir(path()).isEmpty() || isFifo);
        ASSERT_TRUE(isFifo ? QFile::remove(path()) : QDir().rmdir(path()));
    }
}

TEST(StandardSettingsStore, LivesUnderXdgConfigHome)
{
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    ASSERT_FALSE(configHome.isEmpty());
    EXPECT_EQ(SettingsStore::shared().fileName(),
              QString::fromLocal8Bit(configHome) + QStringLiteral("/ferlow/ferlow.conf"));
}

} // namespace
