// Ten minutes of flight with the user busy: every second start or stop, wire
// frame, a drag and a scroll. Resident memory may not grow by more than 2 MB
// after the first minute, and OpenGL reports no error. Not in the default
// run: `ctest -L soak` (FERLOW_SOAK_SECONDS=240 shortens it to the shortest
// run that still compares two different minutes).
#include "app/MainWindow.h"
#include "app/MainController.h"
#include "platform/gl/GL.h"
#include "platform/gl/OpenGLContext.h"
#include "platform/system/Clock.h"
#include "platform/toolkit/Application.h"
#include "scene/Scene.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/ResidentMemory.h"
#include "view/FerlowOpenGLView.h"
#include "tests/support/WaitUntil.h"

#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <malloc.h>
#include <vector>
#include <gtest/gtest.h>

namespace {

constexpr int kStretchSeconds = 120;

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

TEST(Soak, TenMinutesOfBusyFlightNeitherLeaksNorErrs)
{
    const int seconds = qEnvironmentVariableIsSet("FERLOW_SOAK_SECONDS") ? qEnvironmentVariableIntValue("FERLOW_SOAK_SECONDS") : 600;
    // The second minute of the first stretch is compared with the second
    // minute of the last: only then are they two minutes of the same flight
    // and input. Anything shorter than two stretches compares a minute with
    // itself or with another part of the path, and cannot tell a leak.
    ASSERT_TRUE(seconds >= 2 * kStretchSeconds && seconds % kStretchSeconds == 0)
        << "FERLOW_SOAK_SECONDS=" << qgetenv("FERLOW_SOAK_SECONDS").toStdString()
        << " is refused: the run must last whole stretches of " << kStretchSeconds << " s, at least "
        << 2 * kStretchSeconds << " s, so that the second minute of its first stretch and the second minute of "
        << "its last are two different minutes of the same flight";
    ensureGuiApplication();
    MainWindow mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    FerlowOpenGLView* view = mainWindow.view();
    MainController& controller = *mainWindow.controller();
    Scene& scene = *view->getScene();
    ASSERT_TRUE(waitUntilShown(mainWindow));

    // Resident memory swings by a display list's size (several MB) as the
    // terrain is recorded anew: growth is judged on medians of one sample a
    // second, over the second minute and over the last one. On a software
    // renderer the memory a frame takes follows what is on screen, by tens of
    // megabytes, and the path does not repeat within ten minutes: so every
    // two minutes fly the same stretch of it with the same input, and the
    // minutes compare like with like. Two, because wire frame changes fifteen
    // times a minute: each stretch then starts with it off.
    std::vector<double> secondMinute, lastMinute;
    const std::uint64_t firstFrames = view->framesDrawn();
    Scene::PathState stretchStart;
    for (int second = 0; second < seconds; ++second) {
        const int phase = second % kStretchSeconds;
        if (second == 0) {
            stretchStart = scene.pathState();
        } else if (phase == 0) {
            stretchStart.sLastTimeStamp = Clock().now();
            scene.setPathState(stretchStart);
        }
        switch (second % 4) {
        case 0:
            controller.toggleAnimation();
            break;
        case 1:
            controller.toggleWireFrame();
            break;
        case 2: {
            const QPoint from(300, 200);
            QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, from);
            const QPoint to = from + QPoint(phase % 90, -(phase % 50));
            QTest::mouseMove(view, to);
            QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, to);
            break;
        }
        default: {
            QWheelEvent wheel(QPointF(300, 200), view->mapToGlobal(QPointF(300, 200)), {}, {0, phase % 8 < 4 ? 240 : -240},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(view, &wheel);
            break;
        }
        }
        if (!controller.animating() && second % 4 == 3)
            controller.toggleAnimation();
        QTest::qWait(1000);
        view->openGLContext()->makeCurrentContext();
        ASSERT_EQ(OffscreenGL::takeError(), GLenum(GL_NO_ERROR)) << "second " << second;
        const double resident = residentMegabytes();
        if (second >= 60 && second < 120)
            secondMinute.push_back(resident);
        if (second >= seconds - 60)
            lastMinute.push_back(resident);
        if (second % 60 == 59) {
            const struct mallinfo2 heap = mallinfo2();
            std::printf("after %d s: resident %.1f MB, heap in use %.1f MB, held free %.1f MB, mapped %.1f MB\n",
                        second + 1, resident, heap.uordblks / 1048576.0, heap.fordblks / 1048576.0,
                        heap.hblkhd / 1048576.0);
            std::fflush(stdout);
        }
    }
    const double frames = double(view->framesDrawn() - firstFrames);
    const double early = median(secondMinute);
    const double late = median(lastMinute);
    std::printf("median resident in the second minute %.1f MB, in the last %.1f MB; %.0f frames, %.1f per second\n",
                early, late, frames, frames / seconds);
    std::fflush(stdout);
    EXPECT_LE(late - early, 2.0);
    EXPECT_GT(frames, seconds * 1.0); // the flight is stopped half the time
}

} // namespace
