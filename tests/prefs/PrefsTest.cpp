#include "app/MainWindow.h"
#include "app/MainController.h"
#include "app/TerrainMenu.h"
#include "platform/display/DisplayServices.h"
#include "platform/system/Defaults.h"
#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Application.h"
#include "prefs/PreferencesPanel.h"
#include "prefs/PrefsController.h"
#include "prefs/ResolutionMenu.h"
#include "scene/Scene.h"
#include "terrain/HeightField.h"
#include "terrain/TerrainImage.h"
#include "platform/gl/TextureLoader.h"
#include "tests/support/ListedDisplayServices.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A float as its text field shows it.
QString twoDecimals(float value)
{
    return QString::asprintf("%.2f ", static_cast<double>(value));
}

// A store read afresh from the file, to see what really reached the disk.
SettingsStore diskStore()
{
    return SettingsStore(SettingsStore::standardFilePath());
}

class Prefs : public testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        useModes({displayMode(640, 480, 32), displayMode(1024, 768, 32)}, displayMode(1024, 768, 32), true);
    }

    void useModes(std::vector<DisplayModeDictionary> modes, DisplayModeDictionary current, bool canSwitch)
    {
        DisplayServices::replace(std::make_unique<ListedDisplayServices>(std::move(modes), std::move(current), canSwitch));
    }
    void start()
    {
        mainWindow = std::make_unique<MainWindow>();
        mainWindow->show();
        mainWindow->activateWindow();
        ASSERT_TRUE(waitUntilShown(*mainWindow));
        // The camera stands on its path only once a frame has been drawn,
        // which under load comes after the window shows.
        ASSERT_TRUE(waitUntil([this] { return frames() > 0; }));
    }
    PreferencesPanel& panel() const { return *mainWindow->preferencesPanel(); }
    FloatSlider* slider(SceneSettingId id) const { return panel().row(id).slider; }
    QLabel* field(SceneSettingId id) const { return panel().row(id).textField; }
    PrefsController& prefs() const { return *mainWindow->prefsController(); }
    MainController& controller() const { return *mainWindow->controller(); }
    Scene& scene() const { return *mainWindow->view()->getScene(); }
    std::uint64_t frames() const { return mainWindow->view()->framesDrawn(); }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(mainWindow->view(), &event);
    }
    // Moves a slider as a user would: valueChanged follows.
    static void drag(FloatSlider* slider, double value)
    {
        const double fraction = (value - slider->minValue()) / (slider->maxValue() - slider->minValue());
        slider->setValue(int(std::lround(fraction * slider->maximum())));
    }

    std::unique_ptr<MainWindow> mainWindow;
};

TEST_F(Prefs, ControlsStartFromTheStore)
{
    SettingsStore& store = SettingsStore::shared();
    store.setFloat(12.5f, QStringLiteral("Speed"));
    store.setFloat(2.0f, QStringLiteral("FogDensity"));
    store.setInteger(300, QStringLiteral("GridSize"));
    store.setObject(QVariantList{0.5, 0.25}, QStringLiteral("FogColour")); // short: the rest reads as 0
    start();
    EXPECT_EQ(field(SceneSettingId::Speed)->text(), QStringLiteral("12.50 "));
    EXPECT_EQ(slider(SceneSettingId::Speed)->floatValue(), 12.5f);
    EXPECT_EQ(field(SceneSettingId::FogDensity)->text(), QStringLiteral("0.020 "));
    EXPECT_EQ(field(SceneSettingId::GridSize)->text(), QStringLiteral("300"));
    EXPECT_EQ(slider(SceneSettingId::GridSize)->intValue(), 300);
    EXPECT_EQ(panel().fogColourButton->color(), (ColorButton::Components{0.5f, 0.25f, 0.0f, 0.0f}));
    EXPECT_EQ(field(SceneSettingId::LookAhead)->text(),
              twoDecimals(Defaults::dictionary()->value(QStringLiteral("LookAhead")).toFloat()));
}

TEST_F(Prefs, FloatSlidersShowTwoDecimalsAndStoreTheValue)
{
    start();
    drag(slider(SceneSettingId::Speed), 2.5);
    EXPECT_EQ(field(SceneSettingId::Speed)->text(), QStringLiteral("2.50 "));
    EXPECT_EQ(scene().getAnimationSpeed(), 2.5f);
    EXPECT_EQ(diskStore().floatForKey(QStringLiteral("Speed")), 2.5f);

    const std::uint64_t before = frames();
    drag(slider(SceneSettingId::HeightScale), 20.0);
    EXPECT_EQ(field(SceneSettingId::HeightScale)->text(), QStringLiteral("20.00 "));
    EXPECT_EQ(scene().getFerlowHeight(), 20.0f);
    EXPECT_EQ(diskStore().floatForKey(QStringLiteral("FerlowHeight")), 20.0f);
    EXPECT_EQ(frames(), before + 1); // drawn at once
    EXPECT_TRUE(scene().getAnimate());
}

TEST_F(Prefs, FogDensityIsShownAndUsedInHundredths)
{
    start();
    const std::uint64_t before = frames();
    drag(slider(SceneSettingId::FogDensity), 25.0);
    EXPECT_EQ(field(SceneSettingId::FogDensity)->text(), QStringLiteral("0.250 "));
    EXPECT_EQ(scene().getFogDensity(), 25.0f * 0.01f);
    EXPECT_EQ(diskStore().floatForKey(QStringLiteral("FogDensity")), 25.0f);
    EXPECT_EQ(frames(), before + 1);
}

TEST_F(Prefs, SameGridSizeStillStoresAndRedraws)
{
    start();
    const int size = scene().getGridSize();
    const std::uint64_t before = frames();
    drag(slider(SceneSettingId::GridSize), size + 2);
    EXPECT_EQ(scene().getGridSize(), size + 2);
    drag(slider(SceneSettingId::GridSize), size + 2); // no movement: nothing happens
    slider(SceneSettingId::GridSize)->setIntValue(size);
    prefs().selectGridSize(slider(SceneSettingId::GridSize)); // the same value sent again
    prefs().selectGridSize(slider(SceneSettingId::GridSize));
    EXPECT_EQ(scene().getGridSize(), size);
    EXPECT_EQ(diskStore().integerForKey(QStringLiteral("GridSize")), size);
    EXPECT_EQ(frames(), before + 3);
    EXPECT_TRUE(scene().getAnimate()); // a running animation goes on

    controller().selectStopAnimation();
    prefs().selectGridSize(slider(SceneSettingId::GridSize));
    EXPECT_FALSE(scene().getAnimate()); // a stopped one stays stopped
}

TEST_F(Prefs, LookAheadAndHeightWhileStoppedRedrawAtTheSamePointOfThePath)
{
    start();
    controller().selectStopAnimation();
    const double t = scene().pathState().sPathParameter;
    const Point eye = scene().camera().position();
    const float speed = scene().getAnimationSpeed();
    const std::uint64_t before = frames();

    drag(slider(SceneSettingId::LookAhead), 6.0);
    EXPECT_EQ(frames(), before + 1);
    EXPECT_EQ(scene().pathState().sPathParameter, t);
    const Point look = scene().camera().lookAtPoint();
    EXPECT_NEAR(std::hypot(look.x - eye.x, look.z - eye.z), 6.0f, 1e-4f);

    drag(slider(SceneSettingId::CameraHeight), 3.0);
    EXPECT_EQ(frames(), before + 2);
    EXPECT_EQ(scene().camera().position().y, 3.0f);
    EXPECT_NEAR(scene().camera().position().x, eye.x, 1e-5f);
    EXPECT_NEAR(scene().camera().position().z, eye.z, 1e-5f);
    EXPECT_EQ(scene().getAnimationSpeed(), speed);
    EXPECT_EQ(diskStore().floatForKey(QStringLiteral("CameraHeight")), 3.0f);
}

// An opened terrain's shadows follow the relief: a new height scale bakes its
// light map again, off the main thread, into the texture the list binds. An
// opening cancelled before it is done leaves everything as it was.
TEST_F(Prefs, AnOpenedTerrainsLightMapFollowsTheHeightScaleAndACancelledOpenChangesNothing)
{
    start();
    QTemporaryDir folder;
    QImage ridge(64, 64, QImage::Format_Grayscale8);
    ridge.fill(0);
    for (int y = 0; y < 64; ++y)
        std::fill_n(ridge.scanLine(y) + 28, 8, 255);
    const QString path = folder.filePath(QStringLiteral("ridge.png"));
    ASSERT_TRUE(ridge.save(path));
    TerrainMenu& menu = *mainWindow->terrainMenu();

    menu.openTerrain(path, TerrainMenu::Failure::StandardError);
    emit menu.progressDialog()->canceled();
    const std::uint64_t cancelledAt = frames();
    ASSERT_TRUE(waitUntil([&] { return frames() > cancelledAt + 3; }));
    EXPECT_FALSE(scene().terrain());
    EXPECT_FALSE(diskStore().objectForKey(TerrainMenu::kTerrainImageKey).isValid());

    menu.openTerrain(path, TerrainMenu::Failure::StandardError);
    ASSERT_TRUE(waitUntil([&] { return scene().terrain() && scene().heightField(); }));
    // Built at the image's 64 however fine the stored grid: field and slider say so.
    EXPECT_EQ(field(SceneSettingId::GridSize)->text(), QStringLiteral("64"));
    EXPECT_EQ(slider(SceneSettingId::GridSize)->intValue(), 64);
    const QImage before = scene().terrain()->lightMap();
    const GLuint texture = scene().heightField()->lightTexture()->name();
    drag(slider(SceneSettingId::HeightScale), 2.0);
    drag(slider(SceneSettingId::HeightScale), 30.0);
    EXPECT_TRUE(waitUntil([&] { return scene().terrain()->bakedHeight() == 30.0f; }));
    EXPECT_NE(scene().terrain()->lightMap(), before);
    EXPECT_EQ(scene().heightField()->lightTexture()->name(), texture);
    menu.openBuiltInTerrain();
}

// Georeferenced elevation data offers its true proportions: a metre up is a
// metre across, at a height scale the slider reaches; a picture does not.
TEST_F(Prefs, TrueProportionsAreOfferedForElevationDataOfKnownGround)
{
    start();
    QTemporaryDir folder;
    constexpr int kSide = 1201; // an SRTM tile, 93 x 111 km at 33° N, -30 to 32 km
    QByteArray tile(2 * kSide * kSide, Qt::Uninitialized);
    for (int i = 0; i < kSide * kSide; ++i) {
        const int metres = i % kSide == 0 ? -30000 : 32000;
        tile[2 * i] = char(metres >> 8);
        tile[2 * i + 1] = char(metres & 0xff);
    }
    QFile file(folder.filePath(QStringLiteral("N33W098.hgt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(tile) == tile.size());
    file.close();
    TerrainMenu& menu = *mainWindow->terrainMenu();
    menu.openTerrain(file.fileName(), TerrainMenu::Failure::StandardError);
    ASSERT_TRUE(waitUntil([&] { return scene().terrain() != nullptr; }));
    const std::optional<float> trueHeight = scene().terrain()->trueProportionsHeight(Scene::kTerrainExtent);
    ASSERT_TRUE(trueHeight);
    ASSERT_TRUE(panel().trueProportionsButton->isEnabled());
    panel().trueProportionsButton->click();
    EXPECT_EQ(scene().getFerlowHeight(), *trueHeight);
    EXPECT_EQ(diskStore().floatForKey(QStringLiteral("FerlowHeight")), *trueHeight);
    EXPECT_NEAR(*trueHeight, 100.0f * 62000.0f / 101955.0f, 0.1f);

    // Beyond the built-in terrain's slider: flown at its end, kept in the
    // store, and flown again with the terrain it was chosen for.
    menu.openBuiltInTerrain();
    EXPECT_FALSE(panel().trueProportionsButton->isEnabled());
    EXPECT_EQ(scene().getFerlowHeight(), 40.0f);
    EXPECT_EQ(diskStore().floatForKey(QStringLiteral("FerlowHeight")), *trueHeight);
    menu.openTerrain(file.fileName(), TerrainMenu::Failure::StandardError);
    ASSERT_TRUE(waitUntil([&] { return scene().terrain() != nullptr; }));
    EXPECT_EQ(scene().getFerlowHeight(), *trueHeight);
}

TEST_F(Prefs, FogColourIsStoredAsFourDoubles)
{
    start();
    const ColorButton::Components colour{0.1f, 1.0f / 3.0f, 0.7f, 0.9f};
    panel().fogColourButton->setColor(colour);
    const std::uint64_t before = frames();
    prefs().selectFogColour(panel().fogColourButton);
    EXPECT_EQ(diskStore().objectForKey(QStringLiteral("FogColour")), (QVariantList{0.1f, 1.0f / 3.0f, 0.7f, 0.9f}));
    EXPECT_EQ(scene().getFogColour(), colour);
    EXPECT_EQ(frames(), before + 1);

    panel().fogColourButton->takeColor(QColor()); // no RGB form
    EXPECT_EQ(diskStore().objectForKey(QStringLiteral("FogColour")), (QVariantList{0.0, 0.0, 0.0, 0.0}));
}

TEST_F(Prefs, ResetBringsControlsStoreAndSceneToTheDefaultsAndKeepsTheResolution)
{
    start();
    drag(slider(SceneSettingId::Speed), 40.0);
    drag(slider(SceneSettingId::FogDensity), 10.0);
    drag(slider(SceneSettingId::GridSize), 100);
    panel().fogColourButton->takeColor(Qt::red);
    panel().resolutionPopUpButton->setCurrentIndex(3);
    prefs().selectResolution();

    prefs().selectDefaultSettings();
    const QVariantMap defaults = *Defaults::dictionary();
    const SettingsStore disk = diskStore();
    for (const char* key : {"Speed", "LookAhead", "CameraHeight", "FerlowHeight", "FogDensity"})
        EXPECT_EQ(disk.floatForKey(QString::fromLatin1(key)), defaults.value(QString::fromLatin1(key)).toFloat()) << key;
    EXPECT_EQ(disk.integerForKey(QStringLiteral("GridSize")), defaults.value(QStringLiteral("GridSize")).toLongLong());
    EXPECT_EQ(scene().getAnimationSpeed(), defaults.value(QStringLiteral("Speed")).toFloat());
    EXPECT_EQ(scene().getFogDensity(), defaults.value(QStringLiteral("FogDensity")).toFloat() * 0.01f);
    EXPECT_EQ(scene().getGridSize(), defaults.value(QStringLiteral("GridSize")).toInt());
    EXPECT_EQ(field(SceneSettingId::Speed)->text(),
              twoDecimals(defaults.value(QStringLiteral("Speed")).toFloat()));
    const QVariantList colour = defaults.value(QStringLiteral("FogColour")).toList();
    EXPECT_EQ(panel().fogColourButton->color()[1], colour[1].toFloat());
    EXPECT_EQ(disk.integerForKey(QStringLiteral("FullScreenWidth")), 1024);
    EXPECT_EQ(panel().resolutionPopUpButton->currentIndex(), 3);
}

TEST_F(Prefs, ResetLeavesKeysTheDefaultsFileLacks)
{
    QTemporaryDir bundle;
    QFile file(bundle.filePath(QStringLiteral("Defaults.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Speed</key><real>7</real>"
               "<key>FogColour</key><array><real>1</real></array></dict></plist>");
    file.close();
    start();
    drag(slider(SceneSettingId::LookAhead), 9.0);
    const std::array<float, 4> colour = scene().getFogColour();
    ResourceBundle::replaceMainBundle(bundle.path());
    prefs().selectDefaultSettings();
    EXPECT_EQ(scene().getAnimationSpeed(), 7.0f);
    EXPECT_EQ(scene().getLookAhead(), 9.0f);
    EXPECT_EQ(diskStore().floatForKey(QStringLiteral("LookAhead")), 9.0f);
    EXPECT_EQ(scene().getFogColour(), colour);
    EXPECT_EQ(field(SceneSettingId::LookAhead)->text(), QStringLiteral("9.00 "));
}

TEST_F(Prefs, SpeedKeysStopAtTheirBounds)
{
    start();
    struct Case {
        float from;
        int key;
        float to;
    };
    for (const Case c : {Case{49, Qt::Key_Up, 50}, Case{50, Qt::Key_Up, 50}, Case{55, Qt::Key_Up, 50},
                         Case{-4, Qt::Key_Down, -5}, Case{-5, Qt::Key_Down, -5}, Case{-8, Qt::Key_Down, -5},
                         Case{10, Qt::Key_Up, 12}}) {
        scene().setAnimationSpeed(c.from);
        press(c.key);
        EXPECT_EQ(scene().getAnimationSpeed(), c.to) << c.from;
        EXPECT_EQ(diskStore().floatForKey(QStringLiteral("Speed")), c.to);
        EXPECT_EQ(field(SceneSettingId::Speed)->text(), twoDecimals(c.to));
    }
}

TEST_F(Prefs, LookAheadAndHeightKeysTakeUnevenSteps)
{
    start();
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* text;
        float lookAhead;
        float height;
    };
    for (const Case c : {Case{Qt::Key_S, Qt::NoModifier, "s", 1.0f + 0.06f, 1.0f},
                         Case{Qt::Key_S, Qt::ShiftModifier, "S", 1.0f + 0.06f, 1.0f},
                         Case{Qt::Key_X, Qt::ControlModifier, "\x18", 1.0f - 0.03f, 1.0f},
                         Case{Qt::Key_A, Qt::AltModifier, "", 1.0f, 1.0f + 0.03f},
                         Case{Qt::Key_Z, Qt::ShiftModifier, "Z", 1.0f, 1.0f - 0.06f}}) {
        scene().setLookAhead(1.0f);
        scene().setCameraHeight(1.0f);
        press(c.key, c.modifiers, QString::fromLatin1(c.text));
        EXPECT_EQ(scene().getLookAhead(), c.lookAhead) << c.text;
        EXPECT_EQ(scene().getCameraHeight(), c.height) << c.text;
    }
    EXPECT_EQ(scene().getLookAhead(), 1.0f);
    EXPECT_EQ(diskStore().floatForKey(QStringLiteral("CameraHeight")), 0.94f);
}

TEST_F(Prefs, KeysWhileStoppedStepTheCameraAndNothingElse)
{
    start();
    controller().selectStopAnimation();
    scene().setLookAhead(1.0f);
    scene().setCameraHeight(1.0f);
    for (const auto& [key, text] : {std::pair{Qt::Key_S, "s"}, {Qt::Key_X, "x"}, {Qt::Key_A, "a"}, {Qt::Key_Z, "z"},
                                    {Qt::Key_Q, "q"}, {Qt::Key_Escape, "\x1b"}})
        press(key, Qt::NoModifier, QString::fromLatin1(text));
    EXPECT_EQ(scene().getLookAhead(), 1.0f);
    EXPECT_EQ(scene().getCameraHeight(), 1.0f);
    EXPECT_FALSE(controller().animating());

    Camera& camera = scene().camera();
    camera.positionAt(0, 0, 0);
    camera.lookAt(0, 0, 5);
    const auto drawn = [this] { return !mainWindow->view()->needsDisplay(); };
    EXPECT_TRUE(waitUntil(drawn));
    press(Qt::Key_Up);
    EXPECT_NEAR(camera.position().z, 0.1f, 1e-6f);
    EXPECT_TRUE(mainWindow->view()->needsDisplay());
    ASSERT_TRUE(waitUntil(drawn));
    press(Qt::Key_Down, Qt::KeypadModifier);
    EXPECT_NEAR(camera.position().z, 0.0f, 1e-6f);
    EXPECT_TRUE(mainWindow->view()->needsDisplay());

    press(Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    EXPECT_TRUE(controller().animating());
    press(Qt::Key_W, Qt::ShiftModifier, QStringLiteral("W"));
    EXPECT_TRUE(scene().getWireFrame());
}

// The resolution menu, from lists of modes given to the display services.
TEST_F(Prefs, MenuKeepsOneDepthSmallestFirst)
{
    useModes({displayMode(1024, 768, 32), displayMode(640, 480, 16), displayMode(800, 600, 32), displayMode(640, 480, 32), displayMode(1024, 768, 16),
              displayMode(800, 600, 16)},
             displayMode(800, 600, 32), true);
    start();
    QComboBox& menu = *panel().resolutionPopUpButton;
    ASSERT_EQ(menu.count(), 5);
    EXPECT_EQ(menu.itemText(0), QStringLiteral("Keep current resolution"));
    EXPECT_EQ(menu.itemText(2), QStringLiteral("640 x 480"));
    EXPECT_EQ(menu.itemText(3), QStringLiteral("800 x 600"));
    EXPECT_EQ(menu.itemText(4), QStringLiteral("1024 x 768"));
    EXPECT_EQ(menu.currentIndex(), 0); // nothing stored
    EXPECT_FALSE(prefs().displayMode());
    EXPECT_TRUE(menu.isEnabled());
    EXPECT_TRUE(menu.toolTip().isEmpty());
}

TEST_F(Prefs, RefreshRatesTellOneSizeApartAndTheLastMatchIsSelected)
{
    SettingsStore& store = SettingsStore::shared();
    store.setInteger(1024, QStringLiteral("FullScreenWidth"));
    store.setInteger(768, QStringLiteral("FullScreenHeight"));
    store.setBool(false, QStringLiteral("FullScreenStretched"));
    useModes({displayMode(1024, 768, 24, false, 75), displayMode(1024, 768, 24, false, 60), displayMode(800, 600, 24),
              displayMode(1024, 768, 24, false, 74.98)}, displayMode(800, 600, 24), true);
    start();
    QComboBox& menu = *panel().resolutionPopUpButton;
    ASSERT_EQ(menu.count(), 5);
    EXPECT_EQ(menu.itemText(3), QStringLiteral("1024 x 768, 75 Hz"));
    EXPECT_EQ(menu.itemText(4), QStringLiteral("1024 x 768, 60 Hz"));
    EXPECT_EQ(menu.currentIndex(), 4);
    EXPECT_EQ(prefs().displayMode()->value(QStringLiteral("RefreshRate")).toDouble(), 60.0);
}

TEST_F(Prefs, StretchedModesComeFirstAndStoreTheirFlag)
{
    useModes({displayMode(1280, 800, 32), displayMode(1280, 800, 32, true)}, displayMode(1280, 800, 32), true);
    start();
    QComboBox& menu = *panel().resolutionPopUpButton;
    EXPECT_EQ(menu.itemText(2), QStringLiteral("1280 x 800 (Stretched)"));
    EXPECT_EQ(menu.itemText(3), QStringLiteral("1280 x 800"));
    QTest::keyClick(&menu, Qt::Key_Down); // as a user picks: past the separator, stored at once
    EXPECT_TRUE(diskStore().boolForKey(QStringLiteral("FullScreenStretched")));
    QTest::keyClick(&menu, Qt::Key_Down);
    EXPECT_FALSE(diskStore().boolForKey(QStringLiteral("FullScreenStretched")));
    EXPECT_EQ(diskStore().integerForKey(QStringLiteral("FullScreenWidth")), 1280);

    QTest::keyClick(&menu, Qt::Key_Home);
    EXPECT_EQ(diskStore().integerForKey(QStringLiteral("FullScreenWidth")), 0);
    EXPECT_EQ(diskStore().integerForKey(QStringLiteral("FullScreenHeight")), 0);
    EXPECT_FALSE(diskStore().boolForKey(QStringLiteral("FullScreenStretched")));
    EXPECT_FALSE(prefs().displayMode());
}

TEST_F(Prefs, DisplaysThatCannotSwitchDisableTheMenu)
{
    useModes({}, displayMode(1920, 1080, 24), false);
    start();
    QComboBox& menu = *panel().resolutionPopUpButton;
    EXPECT_EQ(menu.count(), 2); // the first item and the separator
    EXPECT_FALSE(menu.isEnabled());
    EXPECT_FALSE(menu.toolTip().isEmpty());
    EXPECT_FALSE(menu.toolTip().contains(QStringLiteral("Leopard")));
}

TEST(CompareDisplayModes, OrdersByAreaDepthThenStretched)
{
    EXPECT_LT(compareDisplayModes(displayMode(640, 480, 32), displayMode(800, 600, 32)), 0);
    EXPECT_GT(compareDisplayModes(displayMode(800, 600, 16), displayMode(800, 600, 8)), 0);
    EXPECT_EQ(compareDisplayModes(displayMode(800, 600, 32, true), displayMode(800, 600, 32, true)), 0);
    EXPECT_EQ(compareDisplayModes(displayMode(800, 600, 32, true), displayMode(800, 600, 32)), -1);
    EXPECT_EQ(compareDisplayModes(displayMode(800, 600, 32), displayMode(800, 600, 32, true)), 1);
    EXPECT_EQ(compareDisplayModes(displayMode(1280, 1024, 32), displayMode(1024, 1280, 32)), 0);
}

} // namespace
