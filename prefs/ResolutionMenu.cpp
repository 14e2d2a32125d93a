#include "prefs/ResolutionMenu.h"

#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"

#include <QComboBox>
#include <algorithm>

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
    return SettingsStore::shared();
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

// Items of one size read alike but for their rate; the menu holds a single
// depth, so depth never tells two apart.
bool sameSize(const DisplayModeDictionary& a, const DisplayModeDictionary& b)
{
    using namespace DisplayModeKey;
    return modeValue(a, Width) == modeValue(b, Width) && modeValue(a, Height) == modeValue(b, Height)
        && isStretched(a) == isStretched(b);
}

double refreshRate(const DisplayModeDictionary& mode)
{
    return mode.value(QString::fromLatin1(DisplayModeKey::RefreshRate)).toDouble();
}

// Tenths of a hertz are the finest a title shows.
int refreshTenths(const DisplayModeDictionary& mode)
{
    return qRound(refreshRate(mode) * 10);
}

// Modes of one size whose rates agree to a tenth would be items no one can
// tell apart.
bool readAlike(const DisplayModeDictionary& a, const DisplayModeDictionary& b)
{
    return sameSize(a, b) && refreshTenths(a) == refreshTenths(b);
}

// The title of `mode`, one of `modes`: the rate is added only where the size
// alone would read as another item's, in whole hertz unless that too would.
QString title(const DisplayModeDictionary& mode, const std::vector<DisplayModeDictionary>& modes)
{
    using namespace DisplayModeKey;
    const QString size = QString::asprintf(isStretched(mode) ? "%d x %d (Stretched)" : "%d x %d",
                                           modeValue(mode, Width), modeValue(mode, Height));
    const auto alsoOfSize = [&](const DisplayModeDictionary& other) {
        return &other != &mode && sameSize(other, mode);
    };
    if (std::ranges::none_of(modes, alsoOfSize))
        return size;
    const int hertz = qRound(refreshRate(mode));
    const auto sameHertz = [&](const auto& other) { return alsoOfSize(other) && qRound(refreshRate(other)) == hertz; };
    if (std::ranges::any_of(modes, sameHertz))
        return size + QString::asprintf(", %.1f Hz", refreshTenths(mode) / 10.0);
    return size + QString::asprintf(", %d Hz", hertz);
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
    // Of modes that read alike, the first in the platform's order stands for
    // them all.
    for (const DisplayModeDictionary& mode : available) {
        if (modeValue(mode, BitsPerPixel) == depth
            && std::ranges::none_of(mDisplayModes, [&](const auto& kept) { return readAlike(kept, mode); }))
            mDisplayModes.push_back(mode);
    }
    // Stable, so that modes alike in all three keys keep the platform's order.
    std::stable_sort(mDisplayModes.begin(), mDisplayModes.end(),
                     [](const auto& a, const auto& b) { return compareDisplayModes(a, b) < 0; });

    const ResourceBundle& bundle = ResourceBundle::mainBundle();
    mResolutionPopUpButton->clear();
    mResolutionPopUpButton->addItem(bundle.localizedStringForKey(kDontChangeKey, QString(), kStringTable));
    mResolutionPopUpButton->insertSeparator(mResolutionPopUpButton->count());
    mResolutionPopUpButton->setCurrentIndex(0);

    for (std::size_t i = 0; i < mDisplayModes.size(); ++i) {
        const DisplayModeDictionary& mode = mDisplayModes[i];
        const int w = modeValue(mode, Width);
        const int h = modeValue(mode, Height);
        const bool stretched = isStretched(mode);
        mResolutionPopUpButton->addItem(title(mode, mDisplayModes));
        if (storedWidth == qint64(w) && storedHeight == qint64(h) && storedStretched == stretched)
            mResolutionPopUpButton->setCurrentIndex(static_cast<int>(i) + 2);
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
    const int k = mResolutionPopUpButton->currentIndex();
    if (k < 2 || std::size_t(k - 2) >= mDisplayModes.size())
        return std::nullopt;
    return mDisplayModes[std::size_t(k - 2)];
}
