#include "platform/toolkit/Toolbar.h"

#include "platform/system/SettingsStore.h"
#include "platform/toolkit/ActionRegistry.h"
#include "platform/toolkit/ToolbarImage.h"
#include "platform/toolkit/ToolbarPalette.h"

#include <QMenu>
#include <QPainter>
#include <QWidgetAction>
#include <algorithm>

namespace {

const QString kDisplayModeKeySuffix = QStringLiteral(" Display Mode");

// An empty widget that keeps items apart, one icon wide or as wide as the
// toolbar leaves free.
std::unique_ptr<QAction> space(QSizePolicy::Policy horizontalPolicy)
{
    auto* spacer = new QWidget;
    spacer->setMinimumWidth(Toolbar::kIconSize);
    spacer->setSizePolicy(horizontalPolicy, QSizePolicy::Preferred);
    auto action = std::make_unique<QWidgetAction>(nullptr);
    action->setDefaultWidget(spacer); // the action owns it from here on
    return action;
}

} // namespace

// A number stored that is no mode (a hand-edited file) counts as no choice.
Toolbar::Toolbar(QString identifier, const ActionRegistry& commands, QStringList defaultItems)
    : mIdentifier(std::move(identifier))
    , mCommands(commands)
    , mDefaultItems(std::move(defaultItems))
    , mCustomise(new QAction(QStringLiteral("Customise"), this))
{
    setObjectName(mIdentifier);
    setWindowTitle(QStringLiteral("Toolbar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(kIconSize, kIconSize));
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &Toolbar::showContextMenu);
    mCustomise->setToolTip(QStringLiteral("Add, remove or rearrange the items of the toolbar"));
    mCustomise->setIcon(ToolbarImage::icon(QStringLiteral("Customise")));
    connect(mCustomise, &QAction::triggered, this, &Toolbar::runCustomizationPalette);

    SettingsStore& store = SettingsStore::shared();
    const qint64 storedMode = store.integerForKey(displayModeKey());
    const auto mode = std::ranges::find(kDisplayModes, storedMode, &DisplayMode::stored);
    setToolButtonStyle(mode == kDisplayModes.end() ? kDisplayModes.front().style : mode->style);
    showItems(store.stringArrayForKey(mIdentifier).value_or(mDefaultItems));
}

void Toolbar::setItemIdentifiers(const QStringList& identifiers)
{
    showItems(identifiers);
    SettingsStore::shared().setObject(mItemIdentifiers, mIdentifier);
}

void Toolbar::chooseDisplayMode(const DisplayMode& mode)
{
    setToolButtonStyle(mode.style);
    SettingsStore::shared().setInteger(mode.stored, displayModeKey());
}

void Toolbar::runCustomizationPalette()
{
    if (!mPalette)
        mPalette = new ToolbarPalette(*this);
    mPalette->open(); // modal to the window, as a sheet is
    mPalette->raise();
    mPalette->activateWindow();
}

// No line sets the toolbar off from the window's content: it is a plain
// band of the window's colour, with none of the style's shading or lines.
void Toolbar::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), palette().window());
}

QStringList Toolbar::allowedItemIdentifiers() const
{
    using namespace ToolbarItemIdentifier;
    return mDefaultItems + QStringList{Separator, FlexibleSpace, Space, CustomizeToolbar};
}

QAction* Toolbar::command(const QString& identifier) const
{
    if (identifier == ToolbarItemIdentifier::CustomizeToolbar)
        return mCustomise;
    return mDefaultItems.contains(identifier) ? mCommands.action(identifier) : nullptr;
}

std::optional<Toolbar::Look> Toolbar::look(const QString& identifier) const
{
    using namespace ToolbarItemIdentifier;
    if (identifier == Separator)
        return Look{{}, QStringLiteral("Separator")};
    if (identifier == Space)
        return Look{{}, QStringLiteral("Space")};
    if (identifier == FlexibleSpace)
        return Look{{}, QStringLiteral("Flexible Space")};
    if (const QAction* action = command(identifier))
        return Look{action->icon(), action->iconText()};
    return std::nullopt;
}

bool Toolbar::isRepeatable(const QString& identifier)
{
    using namespace ToolbarItemIdentifier;
    return identifier == Separator || identifier == FlexibleSpace || identifier == Space;
}

QAction* Toolbar::makeSpacer(const QString& identifier)
{
    std::unique_ptr<QAction> spacer;
    if (identifier == ToolbarItemIdentifier::Separator) {
        spacer = std::make_unique<QAction>();
        spacer->setSeparator(true);
    } else {
        spacer = space(identifier == ToolbarItemIdentifier::Space ? QSizePolicy::Fixed : QSizePolicy::Expanding);
    }
    return mSpacers.emplace_back(std::move(spacer)).get();
}

void Toolbar::showItems(const QStringList& identifiers)
{
    clear();
    mSpacers.clear();
    mItemIdentifiers.clear();
    for (const QString& identifier : identifiers) {
        const bool repeatable = isRepeatable(identifier);
        if (!repeatable && mItemIdentifiers.contains(identifier))
            continue;
        QAction* item = repeatable ? makeSpacer(identifier) : command(identifier);
        if (!item)
            continue;
        addAction(item);
        // A click on an item leaves the keyboard where it was.
        if (QWidget* button = widgetForAction(item))
            button->setFocusPolicy(Qt::NoFocus);
        mItemIdentifiers.append(identifier);
    }
}

// The stored arrangement goes, rather than being overwritten with today's
// defaults, so that the defaults of a later version apply.
void Toolbar::restoreDefaultItems()
{
    showItems(mDefaultItems);
    SettingsStore::shared().removeObjectForKey(mIdentifier);
}

QString Toolbar::displayModeKey() const
{
    return mIdentifier + kDisplayModeKeySuffix;
}

void Toolbar::showContextMenu(const QPoint& position)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const DisplayMode& mode : kDisplayModes) {
        QAction* action =
            menu->addAction(QString::fromLatin1(mode.title), this, [this, &mode] { chooseDisplayMode(mode); });
        action->setCheckable(true);
        action->setChecked(toolButtonStyle() == mode.style);
    }
    menu->addSeparator();
    menu->addAction(ToolbarPalette::kTitle + QStringLiteral("…"), this, &Toolbar::runCustomizationPalette);
    menu->popup(mapToGlobal(position));
}
