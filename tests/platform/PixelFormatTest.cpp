#include "platform/gl/OpenGLView.h"
#include "platform/gl/PixelFormat.h"
#include "tests/support/OffscreenGL.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using namespace PixelFormatAttribute;

TEST(PixelFormat, TranslatesWhatQtCanExpress)
{
    ensureGuiApplication();
    const auto format = PixelFormat::fromAttributes(
        {NoRecovery, ColorSize, 32, DepthSize, 24, DoubleBuffer, Accelerated, SampleBuffers, 1, Samples, 2, Multisample,
         AllRenderers, AllowOfflineRenderers, 0});
    ASSERT_TRUE(format);
    const QSurfaceFormat& f = format->surfaceFormat();
    EXPECT_EQ(f.redBufferSize(), 8);
    EXPECT_EQ(f.depthBufferSize(), 24);
    EXPECT_EQ(f.samples(), 2);
    EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
    EXPECT_EQ(f.profile(), QSurfaceFormat::CompatibilityProfile);

    const auto plain = PixelFormat::fromAttributes({ColorSize, 16, DepthSize, 24, SampleBuffers, 0, Samples, 0, 0});
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->surfaceFormat().greenBufferSize(), 6);
    EXPECT_EQ(plain->surfaceFormat().samples(), -1);
    EXPECT_EQ(plain->surfaceFormat().swapBehavior(), QSurfaceFormat::SingleBuffer);
}

TEST(PixelFormat, ListsNoRendererMeetsYieldNothing)
{
    ensureGuiApplication();
    EXPECT_FALSE(PixelFormat::fromAttributes({ColorSize, 128, DepthSize, 24, 0}));
    EXPECT_FALSE(PixelFormat::fromAttributes({DepthSize, 64, DoubleBuffer, 0}));
    EXPECT_FALSE(PixelFormat::fromAttributes({SampleBuffers, 1, Samples, 64, 0}));
    EXPECT_FALSE(PixelFormat::fromAttributes({4242, 0}));     // unknown attribute
    EXPECT_FALSE(PixelFormat::fromAttributes({ColorSize}));   // value missing

    OpenGLView view;
    EXPECT_FALSE(view.setUp({100, 100}, nullptr));
    EXPECT_EQ(view.openGLContext(), nullptr);
}

// Where no configuration meets a multisampled request (Mesa's softpipe has
// none), the same request without samples gives the picture; a request
// nothing meets even so still gives none.
TEST(PixelFormat, AMultisampledRequestNoConfigurationMeetsFallsBackToSingleSampled)
{
    ensureGuiApplication();
    const std::vector<std::uint32_t> unmet{NoRecovery, ColorSize, 32, DepthSize, 24, DoubleBuffer, Accelerated,
                                           SampleBuffers, 1, Samples, 64, Multisample, AllRenderers, 0};
    ASSERT_FALSE(PixelFormat::fromAttributes(unmet));
    testing::internal::CaptureStderr();
    const auto format = PixelFormat::fromAttributesOrSingleSampled(unmet);
    const auto again = PixelFormat::fromAttributesOrSingleSampled(unmet);
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(format);
    ASSERT_TRUE(again);
    const QSurfaceFormat& f = format->surfaceFormat();
    EXPECT_EQ(f.samples(), -1);
    EXPECT_EQ(f.redBufferSize(), 8);
    EXPECT_EQ(f.depthBufferSize(), 24);
    EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
    // Said once in the run, which may have said it before this test.
    EXPECT_LE(std::count(log.begin(), log.end(), '\n'), 1) << log;

    const auto met = PixelFormat::fromAttributesOrSingleSampled({ColorSize, 32, SampleBuffers, 1, Samples, 2, 0});
    ASSERT_TRUE(met);
    EXPECT_EQ(met->surfaceFormat().samples(), 2);
    EXPECT_FALSE(PixelFormat::fromAttributesOrSingleSampled({ColorSize, 128, SampleBuffers, 1, Samples, 2, 0}));
    EXPECT_FALSE(PixelFormat::fromAttributesOrSingleSampled({DepthSize, 64, 0}));
    EXPECT_FALSE(PixelFormat::fromAttributesOrSingleSampled({4242, 0}));
}

} // namespace
