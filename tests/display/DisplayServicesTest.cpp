// The display services as every test run sees them: the "cannot switch"
// services, the replace hook, and the platform's services on whatever X
// server the suite runs on (Xvfb, whose RandR offers one mode without
// timings). Nothing here switches a mode: other tests share that server.

#include "platform/display/DisplayServices.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr DisplayID kMadeUpDisplay = 0x7ffffff0;

void expectUnknown(const DisplayServices& services, DisplayID display)
{
    EXPECT_FALSE(services.displayCurrentMode(display));
    EXPECT_TRUE(services.displayAvailableModes(display).empty());
    EXPECT_EQ(services.displayPixelsWide(display), 0);
    EXPECT_EQ(services.displayPixelsHigh(display), 0);
    EXPECT_TRUE(services.displayBounds(display).isEmpty());
}

TEST(CannotSwitchDisplayServices, KnowsNoDisplayAndSwitchesNothing)
{
    CannotSwitchDisplayServices services;
    EXPECT_FALSE(services.canSwitchModes());
    EXPECT_EQ(services.mainDisplayID(), kNoDisplay);
    expectUnknown(services, services.mainDisplayID());
    EXPECT_FALSE(services.displaySwitchToMode(kNoDisplay, {{DisplayModeKey::Width, qint64(640)}}));
    services.releaseAllDisplays();
}

TEST(DisplayServices, ReplaceInstallsTestServicesAndNullRestoresThePlatforms)
{
    // Knows when it is gone: the services replaced must be destroyed, since
    // destroying them is what releases their displays.
    class Fake final : public CannotSwitchDisplayServices {
    public:
        explicit Fake(bool& destroyed)
            : mDestroyed(destroyed)
        {
        }
        ~Fake() override { mDestroyed = true; }

    private:
        bool& mDestroyed;
    };
    bool destroyed = false;
    auto fake = std::make_unique<Fake>(destroyed);
    DisplayServices* installed = fake.get();
    DisplayServices::replace(std::move(fake));
    EXPECT_EQ(&DisplayServices::shared(), installed);

    DisplayServices::replace(nullptr);
    EXPECT_TRUE(destroyed);
    DisplayServices& platform = DisplayServices::shared();
    EXPECT_EQ(&DisplayServices::shared(), &platform) << "the platform's services are made once";
}

TEST(DisplayServices, PlatformServicesDescribeTheServerTheyRunOn)
{
    DisplayServices& services = DisplayServices::shared();
    expectUnknown(services, kMadeUpDisplay);
    EXPECT_FALSE(services.displaySwitchToMode(kMadeUpDisplay, {}));
    if (!services.canSwitchModes()) {
        EXPECT_TRUE(services.displayAvailableModes(services.mainDisplayID()).empty());
        return;
    }

    const DisplayID main = services.mainDisplayID();
    const auto current = services.displayCurrentMode(main);
    ASSERT_TRUE(current);
    const auto modes = services.displayAvailableModes(main);
    ASSERT_FALSE(modes.empty());
    EXPECT_NE(std::ranges::find(modes, *current), modes.end()) << "the current mode is one of the display's";
    for (const auto& mode : modes) {
        for (const char* key : {DisplayModeKey::Width, DisplayModeKey::Height, DisplayModeKey::BitsPerPixel,
                                DisplayModeKey::IOFlags, DisplayModeKey::ModeID})
            EXPECT_EQ(mode.value(key).typeId(), QMetaType::LongLong) << key;
        const double refreshRate = mode.value(DisplayModeKey::RefreshRate).toDouble();
        EXPECT_TRUE(std::isfinite(refreshRate) && refreshRate >= 0) << refreshRate;
    }
    EXPECT_EQ(services.displayPixelsWide(main), current->value(DisplayModeKey::Width).toInt());
    EXPECT_EQ(services.displayPixelsHigh(main), current->value(DisplayModeKey::Height).toInt());
    // Xvfb's one screen stands at the desktop's origin.
    EXPECT_EQ(services.displayBounds(main), QRect(0, 0, services.displayPixelsWide(main), services.displayPixelsHigh(main)));

    auto unknownMode = *current;
    unknownMode[DisplayModeKey::ModeID] = qint64(-1);
    EXPECT_FALSE(services.displaySwitchToMode(main, unknownMode));
}

} // namespace
