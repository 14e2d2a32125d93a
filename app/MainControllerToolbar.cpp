// The MainController's part as the toolbar's delegate and the target of its
// items. The controller keeps no reference to the toolbar or its items: the
// window owns the toolbar, the toolbar its items, and the toolbar keeps the
// user's arrangement between runs under its identifier.
#include "app/MainController.h"

#include "platform/toolkit/Window.h"

#include <algorithm>
#include <iterator>

namespace {

const QString kToolbarIdentifier = QStringLiteral("Toolbar Identifier");
const QString kFullScreenItem = QStringLiteral("FullScreen Item Identifier");
const QString kStartItem = QStringLiteral("Start Item Identifier");
const QString kStopItem = QStringLiteral("Stop Item Identifier");
const QString kWireFrameItem = QStringLiteral("WireFrame Item Identifier");
const QString kPrefsItem = QStringLiteral("Prefs Item Identifier");

struct ItemDescription {
    QString identifier;
    QString label; // also the palette label
    QString toolTip;
    QString imageName;
    void (MainController::*action)();
};

// In the order a requested identifier is compared with them.
const ItemDescription kItems[] = {
    {kFullScreenItem, QStringLiteral("Full Screen"), QStringLiteral("Switch to Full Screen mode (use esc key to exit)"),
     QStringLiteral("Present"), &MainController::selectFullScreen},
    {kStartItem, QStringLiteral("Start"), QStringLiteral("Start Animation"), QStringLiteral("Run"),
     &MainController::selectStartAnimation},
    {kStopItem, QStringLiteral("Stop"), QStringLiteral("Stop Animation"), QStringLiteral("Stop"),
     &MainController::selectStopAnimation},
    {kWireFrameItem, QStringLiteral("Wire Frame"), QStringLiteral("Toggle Wire Frame Mode"),
     QStringLiteral("wireframe"), &MainController::toggleWireFrame},
    {kPrefsItem, QStringLiteral("Preferences"), QStringLiteral("Preferences"), QStringLiteral("ferlowprefs"),
     &MainController::openPrefsWindow},
};

const QStringList kDefaultItems{kStartItem, kStopItem, kFullScreenItem, kWireFrameItem, kPrefsItem};

} // namespace

void MainController::setupToolbar()
{
    auto toolbar = std::make_unique<Toolbar>(kToolbarIdentifier);
    toolbar->setAllowsUserCustomization(true);
    toolbar->setAutosavesConfiguration(true);
    toolbar->setShowsBaselineSeparator(false);
    toolbar->setDisplayMode(ToolbarDisplayMode::Default);
    toolbar->setDelegate(this);
    mFerlowWindow->setToolbar(std::move(toolbar));
}

// The same item serves the toolbar and the customisation palette.
std::unique_ptr<ToolbarItem> MainController::toolbar(Toolbar&, const QString& itemIdentifier, bool)
{
    const auto found = std::ranges::find(kItems, itemIdentifier, &ItemDescription::identifier);
    if (found == std::end(kItems))
        return nullptr;
    auto item = ToolbarItem::initWithItemIdentifier(itemIdentifier);
    item->setLabel(found->label);
    item->setPaletteLabel(found->label);
    item->setToolTip(found->toolTip);
    item->setImage(ToolbarImage::imageNamed(found->imageName));
    item->setAction([this, action = found->action] { (this->*action)(); });
    return item;
}

QStringList MainController::toolbarDefaultItemIdentifiers(Toolbar&)
{
    return kDefaultItems;
}

QStringList MainController::toolbarAllowedItemIdentifiers(Toolbar&)
{
    using namespace ToolbarItemIdentifier;
    return kDefaultItems + QStringList{Separator, FlexibleSpace, Space, CustomizeToolbar};
}

// Start and Stop offer only the change animation can make.
bool MainController::validateToolbarItem(const ToolbarItem& item)
{
    if (item.itemIdentifier() == kStartItem)
        return !isAnimating;
    if (item.itemIdentifier() == kStopItem)
        return isAnimating;
    return true;
}
