#include "tests/support/ListedDisplayServices.h"

DisplayModeDictionary displayMode(int width, int height, int depth, bool stretched, double refresh)
{
    return {{QStringLiteral("Width"), qint64(width)},
            {QStringLiteral("Height"), qint64(height)},
            {QStringLiteral("BitsPerPixel"), qint64(depth)},
            {QStringLiteral("IOFlags"), qint64(stretched ? 0x800 : 0)},
            {QStringLiteral("RefreshRate"), refresh}};
}

ListedDisplayServices::ListedDisplayServices(std::vector<DisplayModeDictionary> modes, DisplayModeDictionary current,
                                             bool canSwitch)
    : mModes(std::move(modes))
    , mOriginal(current)
    , mCurrent(std::move(current))
    , mCanSwitch(canSwitch)
{
}

bool ListedDisplayServices::displaySwitchToMode(DisplayID, const DisplayModeDictionary& mode)
{
    switches.append(mode);
    mCurrent = mode;
    return true;
}

QRect ListedDisplayServices::displayBounds(DisplayID) const
{
    return {0, 0, mCurrent.value(QStringLiteral("Width")).toInt(), mCurrent.value(QStringLiteral("Height")).toInt()};
}

void ListedDisplayServices::releaseAllDisplays()
{
    ++releases;
    mCurrent = mOriginal;
}
