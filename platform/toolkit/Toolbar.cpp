#include "platform/toolkit/Toolbar.h"

#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"

#include <QAbstractEventDispatcher>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QWidgetAction>
#include <algorithm>
#include <array>
#include <optional>

namespace {

const QString kImageFolder = QStringLiteral("toolbar/");
const QString kImageType = QStringLiteral("svg");
const QString kDisplayModeKeySuffix = QStringLiteral(" Display Mode");
const QString kPaletteTitle = QStringLiteral("Customise Toolbar");

struct DisplayModeChoice {
    ToolbarDisplayMode mode;
    const char* title;
};
// What the user may choose, in the palette and in the context menu.
constexpr std::array kDisplayModeChoices{
    DisplayModeChoice{ToolbarDisplayMode::IconAndLabel, "Icon and Label"},
    DisplayModeChoice{ToolbarDisplayMode::IconOnly, "Icon Only"},
    DisplayModeChoice{ToolbarDisplayMode::LabelOnly, "Label Only"},
};

// What Default stands for when no choice of the user's is known.
ToolbarDisplayMode shownMode(ToolbarDisplayMode mode)
{
    return mode == ToolbarDisplayMode::Default ? ToolbarDisplayMode::IconAndLabel : mode;
}

Qt::ToolButtonStyle buttonStyle(ToolbarDisplayMode mode)
{
    switch (shownMode(mode)) {
    case ToolbarDisplayMode::IconOnly:
        return Qt::ToolButtonIconOnly;
    case ToolbarDisplayMode::LabelOnly:
        return Qt::ToolButtonTextOnly;
    default:
        return Qt::ToolButtonTextUnderIcon;
    }
}

int choiceIndex(ToolbarDisplayMode mode)
{
    const auto found = std::ranges::find(kDisplayModeChoices, shownMode(mode), &DisplayModeChoice::mode);
    return int(found - kDisplayModeChoices.begin());
}

bool isStandard(const QString& identifier)
{
    using namespace ToolbarItemIdentifier;
    return identifier == Separator || identifier == FlexibleSpace || identifier == Space
        || identifier == CustomizeToolbar;
}

// Separators and spaces may stand anywhere, any number of times; every other
// item at most once.
bool isRepeatable(const QString& identifier)
{
    return isStandard(identifier) && identifier != ToolbarItemIdentifier::CustomizeToolbar;
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

// Items without an image (separators, spaces) get a blank one, so that all
// labels line up.
QListWidgetItem* paletteEntry(const ToolbarItem& item, int iconSize)
{
    QIcon image = item.image();
    if (image.isNull()) {
        QPixmap blank(iconSize, iconSize);
        blank.fill(Qt::transparent);
        image = QIcon(blank);
    }
    auto* entry = new QListWidgetItem(image, item.paletteLabel());
    entry->setData(Qt::UserRole, item.itemIdentifier());
    return entry;
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

// The palette of a toolbar: the items it shows, in order, beside the items
// it may show. Every change goes to the toolbar at once (and so into the
// store), which is why the palette has nothing to confirm or cancel.
class ToolbarPalette : public QDialog {
public:
    explicit ToolbarPalette(Toolbar& toolbar);

private:
    QLayout* commandColumn();
    QLayout* bottomRow();
    void refresh(int currentRow);
    void fillAllowedItems();
    void updateButtons();
    void addSelectedItem();
    void removeSelectedItem();
    void moveSelectedItem(int by);
    void rearrange(const QStringList& identifiers, int currentRow);

    static constexpr int kListIconSize = 24;
    // Tall enough for the rows of a usual toolbar's items without scrolling.
    static constexpr int kListHeight = 10 * (kListIconSize + 4);

    Toolbar& mToolbar;
    QListWidget* mCurrentItems;
    QListWidget* mAllowedItems;
    QPushButton* mAdd;
    QPushButton* mRemove;
    QPushButton* mMoveUp;
    QPushButton* mMoveDown;
    QComboBox* mShow;
};

ToolbarPalette::ToolbarPalette(Toolbar& toolbar)
    : QDialog(&toolbar)
    , mToolbar(toolbar)
    , mCurrentItems(new QListWidget)
    , mAllowedItems(new QListWidget)
    , mAdd(new QPushButton(QStringLiteral("Add")))
    , mRemove(new QPushButton(QStringLiteral("Remove")))
    , mMoveUp(new QPushButton(QStringLiteral("Move Up")))
    , mMoveDown(new QPushButton(QStringLiteral("Move Down")))
    , mShow(new QComboBox)
{
    setWindowTitle(kPaletteTitle);
    setAttribute(Qt::WA_DeleteOnClose);
    mCurrentItems->setObjectName(QStringLiteral("currentItems"));
    mAllowedItems->setObjectName(QStringLiteral("allowedItems"));
    for (QListWidget* list : {mCurrentItems, mAllowedItems}) {
        list->setIconSize(QSize(kListIconSize, kListIconSize));
        list->setMinimumHeight(kListHeight);
        connect(list, &QListWidget::currentRowChanged, this, &ToolbarPalette::updateButtons);
    }
    connect(mAllowedItems, &QListWidget::itemDoubleClicked, this, &ToolbarPalette::addSelectedItem);
    connect(mCurrentItems, &QListWidget::itemDoubleClicked, this, &ToolbarPalette::removeSelectedItem);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("In the toolbar")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Available")), 0, 2);
    grid->addWidget(mCurrentItems, 1, 0);
    grid->addLayout(commandColumn(), 1, 1);
    grid->addWidget(mAllowedItems, 1, 2);
    grid->addLayout(bottomRow(), 2, 0, 1, 3);
    refresh(-1);
}

QLayout* ToolbarPalette::commandColumn()
{
    auto* column = new QVBoxLayout;
    const std::array<std::pair<QPushButton*, const char*>, 4> buttons{
        {{mAdd, "add"}, {mRemove, "remove"}, {mMoveUp, "moveUp"}, {mMoveDown, "moveDown"}}};
    for (const auto& [button, name] : buttons) {
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        column->addWidget(button);
    }
    column->addStretch();
    connect(mAdd, &QPushButton::clicked, this, &ToolbarPalette::addSelectedItem);
    connect(mRemove, &QPushButton::clicked, this, &ToolbarPalette::removeSelectedItem);
    connect(mMoveUp, &QPushButton::clicked, this, [this] { moveSelectedItem(-1); });
    connect(mMoveDown, &QPushButton::clicked, this, [this] { moveSelectedItem(1); });
    return column;
}

QLayout* ToolbarPalette::bottomRow()
{
    mShow->setObjectName(QStringLiteral("show"));
    for (const DisplayModeChoice& choice : kDisplayModeChoices)
        mShow->addItem(QString::fromLatin1(choice.title));
    connect(mShow, &QComboBox::currentIndexChanged, this,
            [this](int index) { mToolbar.setDisplayMode(kDisplayModeChoices.at(index).mode); });

    auto* restore = new QPushButton(QStringLiteral("Restore Default Set"));
    restore->setObjectName(QStringLiteral("restoreDefaults"));
    restore->setAutoDefault(false);
    connect(restore, &QPushButton::clicked, this, [this] {
        mToolbar.restoreDefaultItems();
        refresh(-1);
    });
    auto* done = new QPushButton(QStringLiteral("Done"));
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Show")));
    row->addWidget(mShow);
    row->addStretch();
    row->addWidget(restore);
    row->addWidget(done);
    return row;
}

void ToolbarPalette::refresh(int currentRow)
{
    mCurrentItems->clear();
    for (const auto& item : mToolbar.items())
        mCurrentItems->addItem(paletteEntry(*item, kListIconSize));
    mCurrentItems->setCurrentRow(std::min(currentRow, mCurrentItems->count() - 1));
    fillAllowedItems();
    const QSignalBlocker quiet(mShow);
    mShow->setCurrentIndex(choiceIndex(mToolbar.displayMode()));
    updateButtons();
}

// An item the toolbar already shows and may show only once is offered
// greyed.
void ToolbarPalette::fillAllowedItems()
{
    const int row = mAllowedItems->currentRow();
    mAllowedItems->clear();
    const QStringList shown = mToolbar.itemIdentifiers();
    for (const QString& identifier : mToolbar.mDelegate->toolbarAllowedItemIdentifiers(mToolbar)) {
        const std::unique_ptr<ToolbarItem> item = mToolbar.makeItem(identifier, false);
        if (!item)
            continue;
        QListWidgetItem* entry = paletteEntry(*item, kListIconSize);
        if (!isRepeatable(identifier) && shown.contains(identifier))
            entry->setFlags(entry->flags() & ~Qt::ItemIsEnabled);
        mAllowedItems->addItem(entry);
    }
    mAllowedItems->setCurrentRow(row);
}

void ToolbarPalette::updateButtons()
{
    const QListWidgetItem* allowed = mAllowedItems->currentItem();
    mAdd->setEnabled(allowed && allowed->flags().testFlag(Qt::ItemIsEnabled));
    const int row = mCurrentItems->currentRow();
    mRemove->setEnabled(row >= 0);
    mMoveUp->setEnabled(row > 0);
    mMoveDown->setEnabled(row >= 0 && row < mCurrentItems->count() - 1);
}

// After the selected item of the toolbar, or at its end when none is.
void ToolbarPalette::addSelectedItem()
{
    if (!mAdd->isEnabled())
        return;
    QStringList identifiers = mToolbar.itemIdentifiers();
    const int row = mCurrentItems->currentRow();
    const int at = row < 0 ? int(identifiers.size()) : row + 1;
    identifiers.insert(at, mAllowedItems->currentItem()->data(Qt::UserRole).toString());
    rearrange(identifiers, at);
}

void ToolbarPalette::removeSelectedItem()
{
    const int row = mCurrentItems->currentRow();
    if (row < 0)
        return;
    QStringList identifiers = mToolbar.itemIdentifiers();
    identifiers.removeAt(row);
    rearrange(identifiers, row);
}

void ToolbarPalette::moveSelectedItem(int by)
{
    const int row = mCurrentItems->currentRow();
    QStringList identifiers = mToolbar.itemIdentifiers();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= identifiers.size())
        return;
    identifiers.move(row, to);
    rearrange(identifiers, to);
}

void ToolbarPalette::rearrange(const QStringList& identifiers, int currentRow)
{
    mToolbar.setItemIdentifiers(identifiers);
    refresh(currentRow);
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
    setToolButtonStyle(buttonStyle(mode));
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
    for (const DisplayModeChoice& choice : kDisplayModeChoices) {
        QAction* action = menu->addAction(QString::fromLatin1(choice.title), this,
                                          [this, mode = choice.mode] { setDisplayMode(mode); });
        action->setCheckable(true);
        action->setChecked(shownMode(mDisplayMode) == choice.mode);
    }
    menu->addSeparator();
    menu->addAction(kPaletteTitle + QStringLiteral("…"), this, &Toolbar::runCustomizationPalette);
    menu->popup(mapToGlobal(position));
}
