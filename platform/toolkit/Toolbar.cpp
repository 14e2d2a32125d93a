#include "platform/toolkit/Toolbar.h"

#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/ToolbarPalette.h"

#include <QAbstractEventDispatcher>
#include <QMenu>
#include <QPainter>
#include <QWidgetAction>
#include <optional>

namespace {

const QString kImageFolder = QStringLiteral("toolbar/");
const QString kImageType = QStringLiteral("svg");
const QString kDisplayModeKeySuffix = QStringLiteral(" Display Mode");

Qt::ToolButtonStyle buttonStyle(ToolbarDisplayMode shownMode)
{
    switch (shownMode) {
    case ToolbarDisplayMode::IconOnly:
        return Qt::ToolButtonIconOnly;
    case ToolbarDisplayMode::LabelOnly:
        return Qt::ToolButtonTextOnly;
    default:
        return Qt::ToolButtonTextUnderIcon;
    }
}

bool isStandard(const QString& identifier)
{
    using namespace ToolbarItemIdentifier;
    return identifier == Separator || identifier == FlexibleSpace || identifier == Space
        || identifier == CustomizeToolbar;
}

// An empty widget that keeps items apart, one icon wide or as wide as the
// toolbar leaves free.
std::unique_ptr<QAction> spaceView(QSizePolicy::Policy horizontalPolicy)
{
    auto* spacer = new QWidget;
    spacer->setMinimumWidth(Toolbar::kIconSize);
    spacer->setSizePolicy(horizontalPolicy, QSizePolicy::Preferred);
    auto view = std::make_unique<QWidgetAction>(nullptr);
    view->setDefaultWidget(spacer); // the action owns it from here on
    return view;
}

std::unique_ptr<QAction> separatorView()
{
    auto view = std::make_unique<QAction>();
    view->setSeparator(true);
    return view;
}

} // namespace

QIcon ToolbarImage::imageNamed(const QString& name)
{
    const auto path = ResourceBundle::mainBundle().pathForResource(kImageFolder + name, kImageType);
    return path ? QIcon(*path) : QIcon();
}

std::unique_ptr<ToolbarItem> ToolbarItem::initWithItemIdentifier(const QString& itemIdentifier)
{
    return std::unique_ptr<ToolbarItem>(new ToolbarItem(itemIdentifier, std::make_unique<QAction>()));
}

ToolbarItem::ToolbarItem(QString itemIdentifier, std::unique_ptr<QAction> view)
    : mItemIdentifier(std::move(itemIdentifier))
    , mView(std::move(view))
{
    QObject::connect(mView.get(), &QAction::triggered, mView.get(), [this] {
        if (mAction)
            mAction();
    });
}

ToolbarItem::~ToolbarItem() = default;

void ToolbarItem::setLabel(const QString& label)
{
    mView->setText(label);
}

QString ToolbarItem::label() const
{
    return mView->text();
}

void ToolbarItem::setToolTip(const QString& toolTip)
{
    mView->setToolTip(toolTip);
}

QString ToolbarItem::toolTip() const
{
    return mView->toolTip();
}

void ToolbarItem::setImage(const QIcon& image)
{
    mView->setIcon(image);
}

QIcon ToolbarItem::image() const
{
    return mView->icon();
}

void ToolbarItem::setEnabled(bool enabled)
{
    mView->setEnabled(enabled);
}

bool ToolbarItem::isEnabled() const
{
    return mView->isEnabled();
}

ToolbarDisplayMode Toolbar::shownMode(ToolbarDisplayMode mode)
{
    return mode == ToolbarDisplayMode::Default ? ToolbarDisplayMode::IconAndLabel : mode;
}

bool Toolbar::isRepeatable(const QString& identifier)
{
    return isStandard(identifier) && identifier != ToolbarItemIdentifier::CustomizeToolbar;
}

Toolbar::Toolbar(QString identifier)
    : mIdentifier(std::move(identifier))
{
    setObjectName(mIdentifier);
    setWindowTitle(QStringLiteral("Toolbar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(kIconSize, kIconSize));
    setContextMenuPolicy(Qt::PreventContextMenu);
    applyDisplayMode(mDisplayMode);
    connect(this, &QWidget::customContextMenuRequested, this, &Toolbar::showContextMenu);
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &Toolbar::validateVisibleItems);
}

Toolbar::~Toolbar() = default;

void Toolbar::setAllowsUserCustomization(bool allows)
{
    mAllowsUserCustomization = allows;
    setContextMenuPolicy(allows ? Qt::CustomContextMenu : Qt::PreventContextMenu);
}

void Toolbar::setAutosavesConfiguration(bool autosaves)
{
    mAutosavesConfiguration = autosaves;
    if (autosaves)
        loadConfiguration();
}

void Toolbar::setShowsBaselineSeparator(bool shows)
{
    mShowsBaselineSeparator = shows;
    update();
}

// Default leaves a choice the user made in an earlier run in place.
void Toolbar::setDisplayMode(ToolbarDisplayMode mode)
{
    if (mode == ToolbarDisplayMode::Default && mAutosavesConfiguration)
        mode = storedDisplayMode();
    if (mode == mDisplayMode)
        return;
    applyDisplayMode(mode);
    if (mAutosavesConfiguration)
        SettingsStore::standardUserDefaults().setInteger(static_cast<int>(mode), displayModeKey());
}

void Toolbar::setDelegate(ToolbarDelegate* delegate)
{
    mDelegate = delegate;
    loadConfiguration();
}

QStringList Toolbar::itemIdentifiers() const
{
    QStringList identifiers;
    for (const auto& item : mItems)
        identifiers.append(item->itemIdentifier());
    return identifiers;
}

void Toolbar::setItemIdentifiers(const QStringList& identifiers)
{
    showItems(identifiers);
    if (mAutosavesConfiguration)
        SettingsStore::standardUserDefaults().setObject(itemIdentifiers(), mIdentifier);
}

void Toolbar::validateVisibleItems()
{
    if (!mDelegate)
        return;
    for (const auto& item : mItems)
        item->setEnabled(mDelegate->validateToolbarItem(*item));
}

void Toolbar::runCustomizationPalette()
{
    if (!mAllowsUserCustomization || !mDelegate)
        return;
    if (!mPalette)
        mPalette = new ToolbarPalette(*this);
    mPalette->open(); // modal to the window, as a sheet is
    mPalette->raise();
    mPalette->activateWindow();
}

// Without the separator the toolbar is a plain band of the window's colour,
// with none of the style's shading or lines.
void Toolbar::paintEvent(QPaintEvent* event)
{
    if (mShowsBaselineSeparator) {
        QToolBar::paintEvent(event);
        return;
    }
    QPainter(this).fillRect(rect(), palette().window());
}

std::unique_ptr<ToolbarItem> Toolbar::makeItem(const QString& identifier, bool willBeInserted)
{
    if (isStandard(identifier))
        return makeStandardItem(identifier);
    return mDelegate->toolbar(*this, identifier, willBeInserted);
}

std::unique_ptr<ToolbarItem> Toolbar::makeStandardItem(const QString& identifier)
{
    using namespace ToolbarItemIdentifier;
    const auto standard = [&identifier](std::unique_ptr<QAction> view, const QString& paletteLabel) {
        auto item = std::unique_ptr<ToolbarItem>(new ToolbarItem(identifier, std::move(view)));
        item->setPaletteLabel(paletteLabel);
        return item;
    };
    if (identifier == Separator)
        return standard(separatorView(), QStringLiteral("Separator"));
    if (identifier == Space)
        return standard(spaceView(QSizePolicy::Fixed), QStringLiteral("Space"));
    if (identifier == FlexibleSpace)
        return standard(spaceView(QSizePolicy::Expanding), QStringLiteral("Flexible Space"));
    auto customise = standard(std::make_unique<QAction>(), QStringLiteral("Customise"));
    customise->setLabel(customise->paletteLabel());
    customise->setToolTip(QStringLiteral("Add, remove or rearrange the items of the toolbar"));
    customise->setImage(ToolbarImage::imageNamed(QStringLiteral("Customise")));
    customise->setAction([this] { runCustomizationPalette(); });
    return customise;
}

// The mode the user chose in an earlier run comes back first, so that a
// later setDisplayMode(Default) keeps it.
void Toolbar::loadConfiguration()
{
    if (mAutosavesConfiguration && storedDisplayMode() != ToolbarDisplayMode::Default)
        applyDisplayMode(storedDisplayMode());
    if (!mDelegate)
        return;
    const std::optional<QStringList> stored =
        mAutosavesConfiguration ? SettingsStore::standardUserDefaults().stringArrayForKey(mIdentifier) : std::nullopt;
    showItems(stored ? *stored : mDelegate->toolbarDefaultItemIdentifiers(*this));
}

void Toolbar::showItems(const QStringList& identifiers)
{
    clear();
    mItems.clear();
    for (const QString& identifier : identifiers) {
        if (std::unique_ptr<ToolbarItem> item = makeItem(identifier, true)) {
            addAction(item->view());
            // A click on an item leaves the keyboard where it was.
            if (QWidget* button = widgetForAction(item->view()))
                button->setFocusPolicy(Qt::NoFocus);
            mItems.push_back(std::move(item));
        }
    }
    validateVisibleItems();
}

// The stored arrangement goes, rather than being overwritten with today's
// defaults, so that the defaults of a later version apply.
void Toolbar::restoreDefaultItems()
{
    showItems(mDelegate->toolbarDefaultItemIdentifiers(*this));
    if (mAutosavesConfiguration)
        SettingsStore::standardUserDefaults().removeObjectForKey(mIdentifier);
}

void Toolbar::applyDisplayMode(ToolbarDisplayMode mode)
{
    mDisplayMode = mode;
    setToolButtonStyle(buttonStyle(shownMode(mode)));
}

// A number that is no mode (a hand-edited file) counts as no choice.
ToolbarDisplayMode Toolbar::storedDisplayMode() const
{
    const qint64 stored = SettingsStore::standardUserDefaults().integerForKey(displayModeKey());
    const bool known = stored >= static_cast<int>(ToolbarDisplayMode::Default)
        && stored <= static_cast<int>(ToolbarDisplayMode::LabelOnly);
    return known ? static_cast<ToolbarDisplayMode>(stored) : ToolbarDisplayMode::Default;
}

QString Toolbar::displayModeKey() const
{
    return mIdentifier + kDisplayModeKeySuffix;
}

void Toolbar::showContextMenu(const QPoint& position)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const ToolbarPalette::DisplayModeChoice& choice : ToolbarPalette::kDisplayModeChoices) {
        QAction* action = menu->addAction(QString::fromLatin1(choice.title), this,
                                          [this, mode = choice.mode] { setDisplayMode(mode); });
        action->setCheckable(true);
        action->setChecked(shownMode(mDisplayMode) == choice.mode);
    }
    menu->addSeparator();
    menu->addAction(ToolbarPalette::kTitle + QStringLiteral("…"), this, &Toolbar::runCustomizationPalette);
    menu->popup(mapToGlobal(position));
}
