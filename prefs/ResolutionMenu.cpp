#include "prefs/ResolutionMenu.h"

#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Controls.h"

#include <algorithm>
#include <iterator>

namespace {

const QString kFullScreenWidth = QStringLiteral("FullScreenWidth");
const QString kFullScreenHeight = QStringLiteral("FullScreenHeight");
const QString kFullScreenStretched = QStringLiteral("FullScreenStretched");
const QString kStringTable = QStringLiteral("Custom");
const QString kDontChangeKey = QStringLiteral("DontChange");
const QString kNotEnabledKey = QStringLiteral(
    "Not enabled because this setting is not used by computers running Mac OS X Leopard or later.");

SettingsStore& store()
{
    return SettingsStore::standardUserDefaults();
}

int modeValue(const DisplayModeDictionary& mode, const char* key)
{
    return mode.value(QString::fromLatin1(key)).toInt();
}

bool isStretched(const DisplayModeDictionary& mode)
{
    return (mode.value(QString::fromLatin1(DisplayModeKey::IOFlags)).toLongLong() & ResolutionMenu::kStretchedFlag)
        != 0;
}

} // namespace

int compareDisplayModes(const DisplayModeDictionary& a, const DisplayModeDictionary& b)
{
    using namespace DisplayModeKey;
    const std::int32_t areaA = modeValue(a, Width) * modeValue(a, Height);
    const std::int32_t areaB = modeValue(b, Width) * modeValue(b, Height);
    if (areaA != areaB)
        return areaA - areaB;
    const int depthA = modeValue(a, BitsPerPixel);
    const int depthB = modeValue(b, BitsPerPixel);
    if (depthA != depthB)
        return depthA - depthB;
    const bool stretchedA = isStretched(a);
    const bool stretchedB = isStretched(b);
    if (stretchedA == stretchedB)
        return 0;
    return stretchedA ? -1 : 1;
}

void ResolutionMenu::createResolutionMenu()
{
    using namespace DisplayModeKey;
    const DisplayServices& services = DisplayServices::shared();
    const std::optional<DisplayModeDictionary> originalMode = services.displayCurrentMode(services.mainDisplayID());
    const qint64 storedWidth = store().integerForKey(kFullScreenWidth);
    const qint64 storedHeight = store().integerForKey(kFullScreenHeight);
    const bool storedStretched = store().boolForKey(kFullScreenStretched);

    const std::vector<DisplayModeDictionary> available = services.displayAvailableModes(services.mainDisplayID());
    mDisplayModes.clear();
    const int depth = originalMode ? modeValue(*originalMode, BitsPerPixel) : 0;
    std::copy_if(available.begin(), available.end(), std::back_inserter(mDisplayModes),
                 [depth](const DisplayModeDictionary& mode) { return modeValue(mode, BitsPerPixel) == depth; });
    // Stable, so that modes alike in all three keys keep the platform's order.
    std::stable_sort(mDisplayModes.begin(), mDisplayModes.end(),
                     [](const auto& a, const auto& b) { return compareDisplayModes(a, b) < 0; });

    const ResourceBundle& bundle = ResourceBundle::mainBundle();
    mResolutionPopUpButton->removeAllItems();
    mResolutionPopUpButton->addItemWithTitle(bundle.localizedStringForKey(kDontChangeKey, QString(), kStringTable));
    mResolutionPopUpButton->addSeparatorItem();
    mResolutionPopUpButton->selectItemAtIndex(0);

    for (std::size_t i = 0; i < mDisplayModes.size(); ++i) {
        const DisplayModeDictionary& mode = mDisplayModes[i];
        const int w = modeValue(mode, Width);
        const int h = modeValue(mode, Height);
        const bool stretched = isStretched(mode);
        mResolutionPopUpButton->addItemWithTitle(
            QString::asprintf(stretched ? "%d x %d (Stretched)" : "%d x %d", w, h));
        if (storedWidth == qint64(w) && storedHeight == qint64(h) && storedStretched == stretched)
            mResolutionPopUpButton->selectItemAtIndex(static_cast<int>(i) + 2);
    }

    // Full screen uses the chosen mode only where the display can switch.
    if (!services.canSwitchModes()) {
        mResolutionPopUpButton->setEnabled(false);
        mResolutionPopUpButton->setToolTip(bundle.localizedStringForKey(kNotEnabledKey, QString(), kStringTable));
    }
}

// The first item, or none selected, stores 0, 0 and false.
void ResolutionMenu::selectResolution()
{
    qint64 width = 0;
    qint64 height = 0;
    bool stretched = false;
    if (const auto mode = displayMode()) {
        width = modeValue(*mode, DisplayModeKey::Width);
        height = modeValue(*mode, DisplayModeKey::Height);
        stretched = isStretched(*mode);
    }
    store().setInteger(width, kFullScreenWidth);
    store().setInteger(height, kFullScreenHeight);
    store().setBool(stretched, kFullScreenStretched);
}

std::optional<DisplayModeDictionary> ResolutionMenu::displayMode() const
{
    const int k = mResolutionPopUpButton->indexOfSelectedItem();
    if (k < 2 || std::size_t(k - 2) >= mDisplayModes.size())
        return std::nullopt;
    return mDisplayModes[std::size_t(k - 2)];
}
