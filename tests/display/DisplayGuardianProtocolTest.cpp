// GoogleTest before Xlib, whose macros (None, Bool) break it.
#include <gtest/gtest.h>

#include "platform/display/DisplayGuardianProtocol.h"

namespace {

using namespace DisplayGuardianProtocol;

std::optional<Message> roundTrip(const Message& message)
{
    std::string line = encode(message);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per message";
    line.pop_back();
    return decode(line);
}

TEST(DisplayGuardianProtocol, EveryMessageComesBackAsSent)
{
    const Layout layout{{3200, 1080, 846, 285},
                        {{0x3f, 0x5e, -1280, 40, RR_Rotate_90, {0x4e, 0x51}},
                         {0x40, None, 0, 0, RR_Rotate_0, {}},
                         {0x41, 0x60, 1920, 0, RR_Rotate_0 | RR_Reflect_X, {0x52}}}};
    EXPECT_EQ(roundTrip(layout), Message(layout));

    const Layout noCrtc{{1024, 768, 271, 203}, {}};
    EXPECT_EQ(roundTrip(noCrtc), Message(noCrtc));

    EXPECT_EQ(roundTrip(ModeSet{0x4e, 0x60}), Message(ModeSet{0x4e, 0x60}));
    EXPECT_EQ(roundTrip(Release{}), Message(Release{}));
}

TEST(DisplayGuardianProtocol, IgnoresLinesThatAreNotWholeMessages)
{
    for (const char* line : {
             "",
             "restore 78 94",
             "set 78",
             "set 78 94 12",
             "set seventy-eight 94",
             "release now",
             // A CRTC or an output short, one too many, and counts beyond
             // any real configuration.
             "layout 2048 768 542 203 2 63 94 0 0 1 1 78",
             "layout 2048 768 542 203 1 63 94 0 0 1 2 78",
             "layout 2048 768 542 203 1 63 94 0 0 1 1 78 79",
             "layout 2048 768 542 203 1 63 94 0 0 1 1000000000 78",
             "layout 2048 768 542 203 1000000000 63 94 0 0 1 1 78",
             "save 78 63 94 0 0 1 1024 768 271 203 1 78",
         })
        EXPECT_FALSE(decode(line)) << line;
}

} // namespace
