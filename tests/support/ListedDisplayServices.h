#pragma once

#include "platform/display/DisplayServices.h"

#include <QList>

// A display-mode dictionary as the display services give them.
DisplayModeDictionary displayMode(int width, int height, int depth, bool stretched = false, double refresh = 60.0);

// Display services over a given list of modes, for tests that choose what
// the display offers. A switch only records the mode and takes its size.
class ListedDisplayServices : public DisplayServices {
public:
    ListedDisplayServices(std::vector<DisplayModeDictionary> modes, DisplayModeDictionary current, bool canSwitch);

    bool canSwitchModes() const override { return mCanSwitch; }
    DisplayID mainDisplayID() const override { return 1; }
    std::optional<DisplayModeDictionary> displayCurrentMode(DisplayID) const override { return mCurrent; }
    std::vector<DisplayModeDictionary> displayAvailableModes(DisplayID) const override { return mModes; }
    bool displaySwitchToMode(DisplayID, const DisplayModeDictionary& mode) override;
    // At the desktop's origin, the size of the current mode.
    QRect displayBounds(DisplayID) const override;
    void releaseAllDisplays() override;

    QList<DisplayModeDictionary> switches;
    int releases = 0;

private:
    std::vector<DisplayModeDictionary> mModes;
    DisplayModeDictionary mOriginal;
    DisplayModeDictionary mCurrent;
    bool mCanSwitch;
};
