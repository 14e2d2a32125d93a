#include "platform/toolkit/ToolbarPalette.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

namespace {

int modeIndex(Qt::ToolButtonStyle style)
{
    const auto& modes = Toolbar::kDisplayModes;
    return int(std::ranges::find(modes, style, &Toolbar::DisplayMode::style) - modes.begin());
}

} // namespace

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
    setWindowTitle(kTitle);
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
    for (const Toolbar::DisplayMode& mode : Toolbar::kDisplayModes)
        mShow->addItem(QString::fromLatin1(mode.title));
    connect(mShow, &QComboBox::currentIndexChanged, this,
            [this](int index) { mToolbar.chooseDisplayMode(Toolbar::kDisplayModes.at(index)); });

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

// Items without an image (separators, spaces) get a blank one, so that all
// labels line up.
QListWidgetItem* ToolbarPalette::entry(const QString& identifier) const
{
    const std::optional<Toolbar::Look> look = mToolbar.look(identifier);
    if (!look)
        return nullptr;
    QIcon image = look->image;
    if (image.isNull()) {
        QPixmap blank(kListIconSize, kListIconSize);
        blank.fill(Qt::transparent);
        image = QIcon(blank);
    }
    auto* entry = new QListWidgetItem(image, look->label);
    entry->setData(Qt::UserRole, identifier);
    return entry;
}

void ToolbarPalette::refresh(int currentRow)
{
    mCurrentItems->clear();
    for (const QString& identifier : mToolbar.itemIdentifiers())
        mCurrentItems->addItem(entry(identifier));
    mCurrentItems->setCurrentRow(std::min(currentRow, mCurrentItems->count() - 1));
    fillAllowedItems();
    const QSignalBlocker quiet(mShow);
    mShow->setCurrentIndex(modeIndex(mToolbar.toolButtonStyle()));
    updateButtons();
}

// An item the toolbar already shows and may show only once is offered
// greyed.
void ToolbarPalette::fillAllowedItems()
{
    const int row = mAllowedItems->currentRow();
    mAllowedItems->clear();
    const QStringList shown = mToolbar.itemIdentifiers();
    for (const QString& identifier : mToolbar.allowedItemIdentifiers()) {
        QListWidgetItem* offered = entry(identifier);
        if (!offered)
            continue;
        if (!Toolbar::isRepeatable(identifier) && shown.contains(identifier))
            offered->setFlags(offered->flags() & ~Qt::ItemIsEnabled);
        mAllowedItems->addItem(offered);
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
