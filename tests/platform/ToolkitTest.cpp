#include "platform/Events.h"
#include "platform/OpenGLView.h"
#include "platform/PixelFormat.h"
#include "platform/Timer.h"
#include "tests/support/OffscreenGL.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

using namespace PixelFormatAttribute;

TEST(PixelFormat, TranslatesWhatQtCanExpress)
{
    ensureGuiApplication();
    const auto format = PixelFormat::initWithAttributes(
        {NoRecovery, ColorSize, 32, DepthSize, 24, DoubleBuffer, Accelerated, SampleBuffers, 1, Samples, 2, Multisample,
         AllRenderers, AllowOfflineRenderers, 0});
    ASSERT_TRUE(format);
    const QSurfaceFormat& f = format->surfaceFormat();
    EXPECT_EQ(f.redBufferSize(), 8);
    EXPECT_EQ(f.depthBufferSize(), 24);
    EXPECT_EQ(f.samples(), 2);
    EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
    EXPECT_EQ(f.profile(), QSurfaceFormat::CompatibilityProfile);

    const auto plain = PixelFormat::initWithAttributes({ColorSize, 16, DepthSize, 24, SampleBuffers, 0, Samples, 0, 0});
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->surfaceFormat().greenBufferSize(), 6);
    EXPECT_EQ(plain->surfaceFormat().samples(), -1);
    EXPECT_EQ(plain->surfaceFormat().swapBehavior(), QSurfaceFormat::SingleBuffer);
}

TEST(PixelFormat, ListsNoRendererMeetsYieldNothing)
{
    ensureGuiApplication();
    EXPECT_FALSE(PixelFormat::initWithAttributes({ColorSize, 128, DepthSize, 24, 0}));
    EXPECT_FALSE(PixelFormat::initWithAttributes({DepthSize, 64, DoubleBuffer, 0}));
    EXPECT_FALSE(PixelFormat::initWithAttributes({SampleBuffers, 1, Samples, 64, 0}));
    EXPECT_FALSE(PixelFormat::initWithAttributes({4242, 0}));     // unknown attribute
    EXPECT_FALSE(PixelFormat::initWithAttributes({ColorSize}));   // value missing

    OpenGLView view;
    EXPECT_FALSE(view.initWithFrame({0, 0, 100, 100}, nullptr));
    EXPECT_EQ(view.openGLContext(), nullptr);
}

TEST(Timer, RepeatsAtItsIntervalUntilInvalidated)
{
    ensureGuiApplication();
    const int before = Timer::activeCount();
    int ticks = 0;
    QElapsedTimer clock;
    clock.start();
    auto timer = Timer::scheduledTimerWithTimeInterval(0.017, [&](Timer&) { ++ticks; }, true);
    EXPECT_EQ(Timer::activeCount(), before + 1);
    QTest::qWait(200);
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(ticks, int(elapsed / 17) - 3);
    EXPECT_LE(ticks, int(elapsed / 17) + 1);
    timer->invalidate();
    EXPECT_EQ(Timer::activeCount(), before);
    const int stopped = ticks;
    QTest::qWait(60);
    EXPECT_EQ(ticks, stopped);
    timer.reset();
    EXPECT_EQ(Timer::activeCount(), before);

    int once = 0;
    auto single = Timer::scheduledTimerWithTimeInterval(0.005, [&](Timer& t) { once += t.isValid() ? 100 : 1; }, false);
    QTest::qWait(50);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(Timer::activeCount(), before);
}

TEST(Events, KeysCarryTheirCharactersIgnoringModifiers)
{
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        std::u16string expected;
    };
    const Case cases[] = {
        {Qt::Key_Up, Qt::NoModifier, {}, u"\uF700"},
        {Qt::Key_Down, Qt::KeypadModifier, {}, u"\uF701"},
        {Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"), u"\x1b"},
        {Qt::Key_S, Qt::NoModifier, QStringLiteral("s"), u"s"},
        {Qt::Key_S, Qt::ShiftModifier, QStringLiteral("S"), u"S"},
        {Qt::Key_W, Qt::ControlModifier, QStringLiteral("\x17"), u"w"},
        {Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("\x17"), u"W"},
        {Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), u" "},
        {Qt::Key_Space, Qt::ControlModifier, QStringLiteral("\0"), u" "},
        {Qt::Key_Space, Qt::AltModifier, {}, u" "},
        {Qt::Key_S, Qt::AltModifier, {}, u"s"},
        {Qt::Key_X, Qt::MetaModifier, {}, u"x"},
        {Qt::Key_A, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, {}, u"A"},
        {Qt::Key_Up, Qt::ControlModifier, {}, u"\uF700"},
        {Qt::Key_Escape, Qt::AltModifier, {}, u"\x1b"},
        {Qt::Key_Shift, Qt::ShiftModifier, {}, u""},
    };
    for (const Case& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.text);
        const KeyEvent converted = Events::fromQt(event);
        EXPECT_EQ(converted.type, EventType::KeyDown);
        EXPECT_TRUE(converted.charactersIgnoringModifiers == c.expected) << c.key;
    }
}

TEST(Events, WheelNotchesAndTrackpadPixelsGiveTheSameDelta)
{
    const QWheelEvent notch({}, {}, {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const QWheelEvent twoDown({}, {}, {}, {0, -240}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const QWheelEvent pixels({}, {}, {0, int(Events::kPixelsPerNotch)}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                             Qt::ScrollUpdate, false);
    EXPECT_EQ(Events::fromQt(notch).deltaY, 1.0);
    EXPECT_EQ(Events::fromQt(twoDown).deltaY, -2.0);
    EXPECT_EQ(Events::fromQt(pixels).deltaY, 1.0);
}

} // namespace
