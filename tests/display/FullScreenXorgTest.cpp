// Full screen on a display that can switch modes: a private Xorg server with
// the dummy video driver, started around this program by
// ferlow-run-on-desktop --xorg-dummy.
#include "app/MainWindow.h"
#include "app/MainController.h"
#include "platform/display/DisplayServices.h"
#include "platform/gl/GL.h"
#include "platform/toolkit/Application.h"
#include "prefs/PreferencesPanel.h"
#include "prefs/PrefsController.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/WaitUntil.h"
#include "view/FerlowOpenGLView.h"

#include <QTest>
#include <QTimer>
#include <array>
#include <gtest/gtest.h>

namespace {

QSize currentSize()
{
    DisplayServices& display = DisplayServices::shared();
    return {display.displayPixelsWide(display.mainDisplayID()), display.displayPixelsHigh(display.mainDisplayID())};
}

class FullScreenOnXorg : public testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsSet("FERLOW_XORG_UNAVAILABLE"))
            GTEST_SKIP() << qPrintable(qEnvironmentVariable("FERLOW_XORG_UNAVAILABLE"));
        ensureGuiApplication();
        ASSERT_TRUE(DisplayServices::shared().canSwitchModes());
        original = currentSize();
    }

    QSize original;
};

TEST_F(FullScreenOnXorg, SwitchesToTheChosenModeAndGivesTheOriginalBackOnEscape)
{
    MainWindow mainWindow;
    mainWindow.show();
    mainWindow.activateWindow();
    ASSERT_TRUE(waitUntilShown(mainWindow));
    QComboBox& menu = *mainWindow.preferencesPanel()->resolutionPopUpButton;
    EXPECT_TRUE(menu.isEnabled());
    const int item = menu.findText(QStringLiteral("800 x 600"));
    ASSERT_GE(item, 2);
    menu.setCurrentIndex(item);
    mainWindow.prefsController()->selectResolution();

    // Inside the full-screen loop: looks once the mode has switched, then
    // leaves; a switch that never comes ends the loop after a generous wait.
    MainController& controller = *mainWindow.controller();
    QSize during;
    std::array<GLint, 4> viewport{};
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!controller.inFullScreenLoop() || !controller.isInFullScreenMode() || currentSize() != QSize(800, 600))
            return;
        watch.stop();
        during = currentSize();
        glGetIntegerv(GL_VIEWPORT, viewport.data());
        QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Escape);
    });
    watch.start(20);
    QObject giveUp;
    QTimer::singleShot(kWaitLimitMilliseconds, &giveUp,
                       [&] { QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Escape); });
    controller.selectFullScreen();
    EXPECT_EQ(during, QSize(800, 600));
    EXPECT_EQ(viewport, (std::array<GLint, 4>{0, 0, 800, 600}));
    EXPECT_EQ(currentSize(), original);
}

// The server's own modes hold 640 x 480 at four rates, xorg-dummy.conf 960 x 600 at three.
TEST_F(FullScreenOnXorg, ResolutionMenuTellsModesOfOneSizeApartByTheirRate)
{
    MainWindow mainWindow;
    const QComboBox& menu = *mainWindow.preferencesPanel()->resolutionPopUpButton;
    QStringList titles;
    for (int item = 2; item < menu.count(); ++item)
        titles.append(menu.itemText(item));
    EXPECT_EQ(titles.filter(QStringLiteral("960 x 600")).join(QStringLiteral("; ")).toStdString(),
              "960 x 600, 75 Hz; 960 x 600, 60.0 Hz; 960 x 600, 59.9 Hz");
    EXPECT_EQ(titles.removeDuplicates(), 0) << titles.join(QStringLiteral("; ")).toStdString();
}

} // namespace
