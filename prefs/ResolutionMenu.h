#pragma once

#include "platform/display/DisplayServices.h"

#include <cstdint>
#include <optional>
#include <vector>

class QComboBox;

// The full-screen resolution pop-up of the preferences panel: first an item
// that keeps the display's mode, a separator, then the display's modes at
// its current depth, smallest first, each titled by its size and, where
// another has the same size, its refresh rate; modes that would read the
// same make one item. The choice is stored under "FullScreenWidth",
// "FullScreenHeight" (integers) and "FullScreenStretched" (bool); 0, 0 and
// false keep the display's mode. A reset of the scene settings leaves the
// choice alone.
class ResolutionMenu {
public:
    static constexpr std::int64_t kStretchedFlag = 0x800;

    // The pop-up it fills, given once by the preferences controller.
    void setPopUpButton(QComboBox* popUpButton) { mResolutionPopUpButton = popUpButton; }

    // Takes the display's current mode and its list of modes anew and fills
    // the pop-up, selecting the stored choice where the display offers it.
    void createResolutionMenu();
    // Stores the selected item's mode.
    void selectResolution();
    // The mode chosen for full screen, or nothing to keep the display's.
    std::optional<DisplayModeDictionary> displayMode() const;

private:
    QComboBox* mResolutionPopUpButton = nullptr;
    // The modes behind the pop-up's items from the third on, in their order.
    std::vector<DisplayModeDictionary> mDisplayModes;
};

// Orders display modes by area, then depth, stretched modes first among
// equals: negative, zero or positive like a comparison function.
int compareDisplayModes(const DisplayModeDictionary& a, const DisplayModeDictionary& b);
