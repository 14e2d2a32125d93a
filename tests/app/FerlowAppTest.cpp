#include "app/MainWindow.h"
#include "app/MainController.h"
#include "app/TerrainMenu.h"
#include "platform/gl/GL.h"
#include "platform/gl/OpenGLContext.h"
#include "platform/gl/Renderer.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Application.h"
#include "tests/support/MenuCommand.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QDir>
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QTemporaryDir>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <utility>

namespace {

// The real main window, shown as at start-up.
class FerlowApp : public testing::Test {
protected:
    void SetUp() override
    {
        ensureGuiApplication();
        mainWindow = std::make_unique<MainWindow>();
        mainWindow->show();
        mainWindow->activateWindow();
        ASSERT_TRUE(waitUntilShown(*mainWindow));
    }

    FerlowOpenGLView* view() const { return mainWindow->view(); }
    MainController& controller() const { return *mainWindow->controller(); }
    Scene& scene() const { return *view()->getScene(); }
    Camera& camera() const { return scene().camera(); }

    // Stops the flight and places the camera at known angles.
    void holdCameraAt(float azimuth, float elevation, float distance)
    {
        controller().selectStopAnimation();
        camera().lookAt(0, 0, 0);
        camera().positionAt(distance, 0, 0);
        camera().rotateByDegrees(azimuth, elevation);
    }

    QImage grab() const
    {
        return view()->screen()->grabWindow(mainWindow.get()->winId()).toImage();
    }
    // Waits until the view has drawn `count` frames more than it has now.
    bool drawsFrames(std::uint64_t count) const
    {
        const std::uint64_t target = view()->framesDrawn() + count;
        return waitUntil([&] { return view()->framesDrawn() >= target; });
    }

    std::unique_ptr<MainWindow> mainWindow;
};

TEST_F(FerlowApp, StartUpRunsThePreciseTimer)
{
    EXPECT_EQ(mainWindow.get()->windowTitle(), QStringLiteral("Ferlow"));
    EXPECT_TRUE(controller().animating());
    EXPECT_TRUE(scene().getAnimate());
    EXPECT_TRUE(controller().timer().isActive());
    EXPECT_EQ(controller().timer().interval(), 17);
    EXPECT_EQ(controller().timer().timerType(), Qt::PreciseTimer);
}

TEST_F(FerlowApp, StartAndStopAreIdempotent)
{
    controller().selectStartAnimation();
    EXPECT_TRUE(controller().timer().isActive());
    controller().selectStopAnimation();
    EXPECT_FALSE(controller().animating());
    EXPECT_FALSE(scene().getAnimate());
    EXPECT_FALSE(controller().timer().isActive());
    controller().selectStopAnimation();
    EXPECT_FALSE(controller().timer().isActive());
    controller().toggleAnimation();
    controller().selectStartAnimation();
    EXPECT_TRUE(controller().animating());
    EXPECT_TRUE(scene().getAnimate());
    EXPECT_TRUE(controller().timer().isActive());
}

TEST_F(FerlowApp, TimerTicksRedrawTheWindow)
{
    const double before = scene().pathState().sLastTimeStamp;
    EXPECT_TRUE(waitUntil([&] { return scene().pathState().sLastTimeStamp > before; }));
}

TEST_F(FerlowApp, WireFrameWhileRunningAsksOneRedrawAndKeepsTheTimerRunning)
{
    ASSERT_TRUE(drawsFrames(1));
    const bool animate = scene().getAnimate();
    controller().toggleWireFrame();
    EXPECT_TRUE(scene().getWireFrame());
    EXPECT_TRUE(view()->needsDisplay());
    EXPECT_TRUE(controller().animating());
    EXPECT_TRUE(controller().timer().isActive());
    EXPECT_EQ(scene().getAnimate(), animate);
}

TEST_F(FerlowApp, WireFrameWhileStoppedRedrawsOnceAndStaysStopped)
{
    controller().selectStopAnimation();
    ASSERT_TRUE(waitUntil([this] { return !view()->needsDisplay(); }));
    const std::uint64_t frames = view()->framesDrawn();
    controller().toggleWireFrame();
    EXPECT_TRUE(scene().getWireFrame());
    EXPECT_TRUE(view()->needsDisplay());
    EXPECT_TRUE(waitUntil([this] { return !view()->needsDisplay(); }));
    EXPECT_GT(view()->framesDrawn(), frames); // an expose may add frames of its own
    EXPECT_FALSE(controller().animating());
    EXPECT_FALSE(controller().timer().isActive());
}

TEST_F(FerlowApp, DraggingTurnsTheCameraByAbsoluteAngles)
{
    holdCameraAt(10, 40, 8);
    const QPoint start(200, 200);
    QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, start);
    const QPointF to = start + QPoint(30, -20); // 30 right, 20 up
    QMouseEvent drag(QEvent::MouseMove, to, view()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view(), &drag);
    EXPECT_NEAR(camera().getXDegrees(), 40.0f, 1e-3f);
    EXPECT_NEAR(camera().getYDegrees(), 20.0f, 1e-3f);
    EXPECT_TRUE(view()->needsDisplay());

    // Past the pole the camera stops at 89 degrees and comes back at once.
    QTest::mouseMove(view(), start + QPoint(30, -200));
    EXPECT_NEAR(camera().getYDegrees(), -89.0f, 1e-3f);
    QTest::mouseMove(view(), start + QPoint(30, -100));
    EXPECT_NEAR(camera().getYDegrees(), -60.0f, 1e-3f);
    QTest::mouseMove(view(), start + QPoint(30, 100));
    EXPECT_NEAR(camera().getYDegrees(), 89.0f, 1e-3f);
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, start + QPoint(30, 100));
    EXPECT_NEAR(camera().getDistance(), 8.0f, 1e-4f);
}

TEST_F(FerlowApp, ScrollingZoomsByAQuarterUnitPerNotch)
{
    holdCameraAt(30, 20, 10);
    const QPointF centre(100, 100);
    QWheelEvent wheel(centre, view()->mapToGlobal(centre), {}, {0, 4 * 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view(), &wheel);
    EXPECT_NEAR(camera().getDistance(), 9.0f, 1e-5f);
    EXPECT_TRUE(view()->needsDisplay());

    QWheelEvent away(centre, view()->mapToGlobal(centre), {}, {0, -200 * 120}, Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view(), &away);
    EXPECT_NEAR(camera().getDistance(), 59.0f, 1e-4f);
    QWheelEvent close(centre, view()->mapToGlobal(centre), {}, {0, 400 * 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view(), &close);
    EXPECT_NEAR(camera().getDistance(), 0.0001f, 1e-6f);

    // A trackpad's 20 pixels make a notch, whatever angle it reports.
    QWheelEvent pixels(centre, view()->mapToGlobal(centre), {0, -40}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                       Qt::ScrollUpdate, false);
    QCoreApplication::sendEvent(view(), &pixels);
    EXPECT_NEAR(camera().getDistance(), 0.5001f, 1e-6f);
}

TEST_F(FerlowApp, WithoutRenderingTheFrameIsBlackAndThePathStands)
{
    controller().selectStopAnimation();
    scene().setAnimate(true); // the scene would move on every frame
    view()->setRender(false);
    const double t = scene().pathState().sPathParameter;
    const std::uint64_t frames = view()->framesDrawn();
    view()->display();
    ASSERT_EQ(view()->framesDrawn(), frames + 1);
    EXPECT_EQ(scene().pathState().sPathParameter, t);
    const QPoint centre = view()->container()->mapTo(mainWindow.get(), view()->container()->rect().center());
    const auto centreColour = [&] { return QColor(grab().pixel(centre)).rgb() & 0xffffff; };
    EXPECT_TRUE(waitUntil([&] { return centreColour() == 0u; })) << std::hex << centreColour();
}

TEST_F(FerlowApp, TheControllerTakesEveryKeyAndAClickAlonePointsNothing)
{
    QKeyEvent handled(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"));
    EXPECT_TRUE(QCoreApplication::sendEvent(view(), &handled));

    holdCameraAt(10, 20, 5);
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_NEAR(camera().getXDegrees(), 10.0f, 1e-3f);
}

TEST_F(FerlowApp, ScreenshotOfTheRunningWindow)
{
    const QRect area(view()->container()->mapTo(mainWindow.get(), QPoint(0, 0)), view()->container()->size());
    // The frame is drawn: not the clear colour all over.
    QImage shot;
    int lit = 0;
    const bool drawn = waitUntil([&] {
        shot = grab();
        lit = 0;
        for (int y = area.top(); y < area.bottom(); y += 16)
            for (int x = area.left(); x < area.right(); x += 16)
                lit += (shot.pixel(x, y) & 0xffffff) != 0;
        return lit > 0;
    });
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("ferlow-window.png"));
    shot.save(path);
    EXPECT_TRUE(drawn) << path.toStdString();
}

// Which renderers get antialiasing without being asked, and that a stored
// choice, and only a readable one, overrides that.
TEST(Antialiasing, FollowsTheRendererUnlessAChoiceIsStored)
{
    const std::string software[] = {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Software Rasterizer (swrast)"};
    const std::string hardware[] = {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "AMD Radeon RX 6600 (navi23, LLVM 15.0.6)",
                                    "NVIDIA GeForce GTX 1060/PCIe/SSE2"};
    SettingsStore& store = SettingsStore::shared();
    for (const std::string& name : software) {
        EXPECT_TRUE(isSoftwareRenderer(name)) << name;
        EXPECT_FALSE(FerlowOpenGLView::antialiasingAsStored(store, name)) << name;
    }
    for (const std::string& name : hardware) {
        EXPECT_FALSE(isSoftwareRenderer(name)) << name;
        EXPECT_TRUE(FerlowOpenGLView::antialiasingAsStored(store, name)) << name;
    }
    store.setBool(false, FerlowOpenGLView::kAntialiasingKey);
    EXPECT_FALSE(FerlowOpenGLView::antialiasingAsStored(store, hardware[0]));
    store.setBool(true, FerlowOpenGLView::kAntialiasingKey);
    EXPECT_TRUE(FerlowOpenGLView::antialiasingAsStored(store, software[0]));
    store.setObject(QStringLiteral("sometimes"), FerlowOpenGLView::kAntialiasingKey);
    EXPECT_FALSE(FerlowOpenGLView::antialiasingAsStored(store, software[0]));
    EXPECT_TRUE(FerlowOpenGLView::antialiasingAsStored(store, hardware[0]));
}

TEST_F(FerlowApp, AntialiasingStartsAsTheRendererMakesItCheap)
{
    EXPECT_EQ(view()->fullSceneAntialiasing(), !isSoftwareRenderer(defaultRendererName()));
    EXPECT_EQ(view()->openGLContext()->samples() > 0, view()->fullSceneAntialiasing());
}

// The menu item changes the picture at once, without a new window, and the
// next start takes the stored choice; without it, the default is back.
TEST_F(FerlowApp, AntialiasingMenuItemActsAtOnceAndIsRemembered)
{
    QAction* item = menuCommand(*mainWindow, QStringLiteral("&Antialiasing"));
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(item->isCheckable());
    const bool initially = view()->fullSceneAntialiasing();
    EXPECT_EQ(item->isChecked(), initially);

    holdCameraAt(30, 20, 3);
    controller().toggleWireFrame(); // edges everywhere: where samples show
    const QRect area(view()->container()->mapTo(mainWindow.get(), QPoint(0, 0)), view()->container()->size());
    const auto shownAfterDrawing = [&] {
        view()->display();
        return grab().copy(area);
    };
    QImage before = shownAfterDrawing();
    EXPECT_TRUE(waitUntil([&] {
        const QImage again = shownAfterDrawing();
        return std::exchange(before, again) == again; // a steady picture
    }));

    item->trigger();
    EXPECT_EQ(view()->fullSceneAntialiasing(), !initially);
    EXPECT_EQ(view()->openGLContext()->samples() > 0, !initially);
    EXPECT_EQ(SettingsStore(SettingsStore::shared().fileName())
                  .storedBoolForKey(FerlowOpenGLView::kAntialiasingKey),
              std::optional<bool>(!initially));
    EXPECT_TRUE(waitUntil([&] { return shownAfterDrawing() != before; }));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    item->trigger();
    EXPECT_TRUE(waitUntil([&] { return shownAfterDrawing() == before; }));

    item->trigger();
    mainWindow.reset();
    mainWindow = std::make_unique<MainWindow>();
    EXPECT_EQ(view()->fullSceneAntialiasing(), !initially);
    mainWindow.reset();
    SettingsStore::shared().removeObjectForKey(FerlowOpenGLView::kAntialiasingKey);
    mainWindow = std::make_unique<MainWindow>();
    EXPECT_EQ(view()->fullSceneAntialiasing(), initially);
}

// A flying window that no one can see draws nothing, and draws again as
// soon as it can be seen: hidden, and covered by another window.
TEST_F(FerlowApp, NothingIsDrawnUnseenAndDrawingResumesWhenSeen)
{
    ASSERT_TRUE(controller().animating());
    // About a second of the timer's ticks, each asking for a frame.
    constexpr std::uint64_t kTicks = 60;
    // Frames drawn while the timer asks for kTicks more, from the first frame
    // that went unseen after `unseen` had gone so.
    const auto framesDrawnUnseen = [&](std::uint64_t unseen) -> std::uint64_t {
        if (!waitUntil([&] { return view()->framesUnseen() > unseen; }))
            return view()->framesDrawn();
        const std::uint64_t drawn = view()->framesDrawn();
        const std::uint64_t target = view()->framesUnseen() + kTicks;
        EXPECT_TRUE(waitUntil([&] { return view()->framesUnseen() >= target; }));
        return view()->framesDrawn() - drawn;
    };
    const auto drawsAgain = [&] { return drawsFrames(3); };

    const std::uint64_t unseenWhileShown = view()->framesUnseen();
    mainWindow.get()->hide();
    EXPECT_EQ(framesDrawnUnseen(unseenWhileShown), 0u);
    mainWindow->show();
    mainWindow->activateWindow();
    EXPECT_TRUE(drawsAgain());

    QWidget cover;
    cover.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    cover.setGeometry(mainWindow.get()->frameGeometry().adjusted(-10, -10, 10, 10));
    const std::uint64_t unseenWhileUncovered = view()->framesUnseen();
    cover.show();
    EXPECT_EQ(framesDrawnUnseen(unseenWhileUncovered), 0u);
    cover.hide();
    EXPECT_TRUE(drawsAgain());
}

} // namespace

namespace {

// Two files of one name are told apart by the nearest folders that differ.
TEST(OpenRecent, LabelsTellFilesOfOneNameApart)
{
    EXPECT_EQ(TerrainMenu::recentLabels({"/a/maps/alps/heights.png", "/b/maps/andes/heights.png", "/c/x.png"}),
              (QStringList{"heights.png — alps", "heights.png — andes", "x.png"}));
    EXPECT_EQ(TerrainMenu::recentLabels({"/one/alps/h.png", "/two/alps/h.png"}),
              (QStringList{"h.png — one/alps", "h.png — two/alps"}));
}

// Ten are kept, the five newest that still exist shown; Clear Menu forgets
// them all.
TEST_F(FerlowApp, OpenRecentShowsTheFiveNewestThatExistAndClears)
{
    QTemporaryDir folder;
    QStringList paths;
    for (int i = 0; i < 7; ++i) {
        paths << folder.filePath(QStringLiteral("%1.png").arg(i));
        QFile(paths.last()).open(QIODevice::WriteOnly);
    }
    SettingsStore& store = SettingsStore::shared();
    store.setObject(paths, TerrainMenu::kRecentTerrainImagesKey);
    QFile::remove(paths[1]);
    QAction* openRecent = menuCommand(*mainWindow, QStringLiteral("Open &Recent"));
    ASSERT_TRUE(openRecent);
    QMenu* recent = openRecent->menu();
    emit recent->aboutToShow();
    QStringList shown;
    for (const QAction* item : recent->actions())
        shown << item->text();
    EXPECT_EQ(shown, (QStringList{"0.png", "2.png", "3.png", "4.png", "5.png", QString(), "Clear Menu"}));
    recent->actions().last()->trigger();
    EXPECT_FALSE(store.stringArrayForKey(TerrainMenu::kRecentTerrainImagesKey));
}

} // namespace
