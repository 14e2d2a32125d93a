#include "platform/system/Defaults.h"
#include "platform/system/PropertyList.h"
#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

const QByteArray kPlistHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n";

TEST(ResourceBundle, FindsCompiledInResourcesByNameAndType)
{
    const ResourceBundle& bundle = ResourceBundle::mainBundle();
    for (const auto& [name, type] : {std::pair{"Defaults", "plist"}, {"heightmap", "png"}, {"lightmap", "png"},
                                     {"grass", "jpg"}, {"Custom", "strings"}}) {
        const auto path = bundle.pathForResource(QString::fromLatin1(name), QString::fromLatin1(type));
        ASSERT_TRUE(path) << name;
        EXPECT_TRUE(QFile::exists(*path));
    }
    EXPECT_FALSE(bundle.pathForResource(QStringLiteral("heightmap"), QStringLiteral("jpg")));
    EXPECT_FALSE(bundle.pathForResource(QStringLiteral(""), QStringLiteral("png")));
}

TEST(ResourceBundle, SplitsFileNamesAtTheLastDotOfTheLastComponent)
{
    struct Case {
        const char* name;
        const char* base;
        const char* extension;
    };
    for (const Case c : {Case{"grass.jpg", "grass", "jpg"}, Case{"a.b.png", "a.b", "png"}, Case{"noext", "noext", ""},
                         Case{"dir.d/file", "dir.d/file", ""}, Case{".hidden", ".hidden", ""}}) {
        EXPECT_EQ(ResourceBundle::stringByDeletingPathExtension(QString::fromLatin1(c.name)), QLatin1String(c.base));
        EXPECT_EQ(ResourceBundle::pathExtension(QString::fromLatin1(c.name)), QLatin1String(c.extension));
    }
}

TEST(ResourceBundle, StringTableFallsBackToValueThenKey)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Custom.strings")),
              kPlistHead + "<dict><key>DontChange</key><string>Keep it</string></dict></plist>\n");
    writeFile(dir.filePath(QStringLiteral("Broken.strings")), "not a property list");
    const ResourceBundle bundle(dir.path());
    EXPECT_EQ(bundle.localizedStringForKey(QStringLiteral("DontChange"), {}, QStringLiteral("Custom")),
              QStringLiteral("Keep it"));
    EXPECT_EQ(bundle.localizedStringForKey(QStringLiteral("Other"), {}, QStringLiteral("Custom")), QStringLiteral("Other"));
    EXPECT_EQ(bundle.localizedStringForKey(QStringLiteral("Other"), QStringLiteral("Fallback"), QStringLiteral("Custom")),
              QStringLiteral("Fallback"));
    EXPECT_EQ(bundle.localizedStringForKey(QStringLiteral("DontChange"), {}, QStringLiteral("Broken")),
              QStringLiteral("DontChange"));
    EXPECT_EQ(bundle.localizedStringForKey(QStringLiteral("DontChange"), {}, QStringLiteral("Missing")),
              QStringLiteral("DontChange"));
}

TEST(ResourceBundle, ShippedStringTableHasBothTexts)
{
    const ResourceBundle& bundle = ResourceBundle::mainBundle();
    const QString tip = QStringLiteral(
        "Not enabled because this setting is not used by computers running Mac OS X Leopard or later.");
    EXPECT_NE(bundle.localizedStringForKey(QStringLiteral("DontChange"), {}, QStringLiteral("Custom")),
              QStringLiteral("DontChange"));
    EXPECT_NE(bundle.localizedStringForKey(tip, {}, QStringLiteral("Custom")), tip);
}

TEST(PropertyList, ReadsXmlValuesOfEveryKindUsed)
{
    const auto value = PropertyList::fromData(kPlistHead + "<dict>"
                                                           "<key>r</key><real>2.5</real>"
                                                           "<key>i</key><integer>-5</integer>"
                                                           "<key>b</key><true/>"
                                                           "<key>s</key><string>x y</string>"
                                                           "<key>a</key><array><real>0.25</real><integer>1</integer></array>"
                                                           "</dict></plist>\n");
    ASSERT_TRUE(value);
    const QVariantMap map = value->toMap();
    EXPECT_EQ(map.value(QStringLiteral("r")).toDouble(), 2.5);
    EXPECT_EQ(map.value(QStringLiteral("i")).toLongLong(), -5);
    EXPECT_EQ(map.value(QStringLiteral("b")).toBool(), true);
    EXPECT_EQ(map.value(QStringLiteral("s")).toString(), QStringLiteral("x y"));
    EXPECT_EQ(map.value(QStringLiteral("a")).toList().value(0).toDouble(), 0.25);
    EXPECT_EQ(map.value(QStringLiteral("a")).toList().value(1).toLongLong(), 1);
}

TEST(PropertyList, RefusesWhatIsNoDictionary)
{
    QTemporaryDir dir;
    const QString garbage = dir.filePath(QStringLiteral("garbage.plist"));
    const QString array = dir.filePath(QStringLiteral("array.plist"));
    const QString truncated = dir.filePath(QStringLiteral("truncated.plist"));
    writeFile(garbage, "\x00\x01\x02 definitely not a plist");
    writeFile(array, kPlistHead + "<array><real>1</real></array></plist>\n");
    writeFile(truncated, kPlistHead + "<dict><key>Speed</key><real>1");
    EXPECT_FALSE(PropertyList::dictionaryWithContentsOfFile(garbage));
    EXPECT_FALSE(PropertyList::dictionaryWithContentsOfFile(array));
    EXPECT_FALSE(PropertyList::dictionaryWithContentsOfFile(truncated));
    EXPECT_FALSE(PropertyList::dictionaryWithContentsOfFile(dir.filePath(QStringLiteral("missing.plist"))));
    EXPECT_FALSE(PropertyList::fromData({}));
}

TEST(Defaults, HoldsTheSevenSceneKeysInTheirForms)
{
    const auto defaults = Defaults::dictionary();
    ASSERT_TRUE(defaults);
    for (const char* key : {"Speed", "LookAhead", "CameraHeight", "FerlowHeight", "FogDensity"})
        EXPECT_EQ(defaults->value(QString::fromLatin1(key)).typeId(), QMetaType::Double) << key;
    EXPECT_EQ(defaults->value(QStringLiteral("GridSize")).typeId(), QMetaType::LongLong);
    const QVariantList colour = defaults->value(QStringLiteral("FogColour")).toList();
    ASSERT_EQ(colour.size(), 4);
    for (const QVariant& component : colour) {
        EXPECT_GE(component.toDouble(), 0.0);
        EXPECT_LE(component.toDouble(), 1.0);
    }
    // A setting of 1 or less would turn the fog off.
    EXPECT_GT(defaults->value(QStringLiteral("FogDensity")).toFloat() * 0.01f, 0.01f);
    EXPECT_FALSE(defaults->contains(QStringLiteral("FullScreenWidth")));
}

TEST(Defaults, RegistrationFeedsTheStandardStore)
{
    SettingsStore& store = SettingsStore::shared();
    store.clearRegisteredDefaults();
    ASSERT_EQ(store.floatForKey(QStringLiteral("Speed")), 0.0f);
    Defaults::registerWithStandardStore();
    const auto defaults = Defaults::dictionary();
    ASSERT_TRUE(defaults);
    EXPECT_EQ(store.floatForKey(QStringLiteral("Speed")), defaults->value(QStringLiteral("Speed")).toFloat());
    EXPECT_EQ(store.integerForKey(QStringLiteral("GridSize")), defaults->value(QStringLiteral("GridSize")).toLongLong());
    EXPECT_EQ(store.integerForKey(QStringLiteral("FullScreenWidth")), 0);
}

} // namespace
