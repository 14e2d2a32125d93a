#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QStringList>
#include <QToolBar>
#include <array>
#include <memory>
#include <optional>
#include <vector>

class ActionRegistry;

// The identifiers of the items every toolbar makes itself, beside the
// commands it shows.
namespace ToolbarItemIdentifier {
inline const QString Separator = QStringLiteral("Toolbar Separator Item");
inline const QString FlexibleSpace = QStringLiteral("Toolbar Flexible Space Item");
inline const QString Space = QStringLiteral("Toolbar Space Item");
inline const QString CustomizeToolbar = QStringLiteral("Toolbar Customise Item");
} // namespace ToolbarItemIdentifier

// A window's tool bar of commands, each shown through the one action
// registered for it, in an arrangement the user may change and that is kept
// between runs. Whether a command is enabled or checked is its action's to
// say, kept by the action's owner: the toolbar never asks.
//
// The arrangement is a list of identifiers: of the commands the toolbar
// offers, and of the items it makes itself (separators, spaces and the
// customise item). It is the stored one when there is one, else the
// default. An identifier the toolbar does not offer (one left in the store
// by another version) is skipped without complaint, and a command listed
// twice shows once, where it stands first.
//
// The store keeps, under the toolbar's identifier, the list of item
// identifiers, and under the identifier followed by " Display Mode" the
// number of the display mode (kDisplayModes), each written as soon as the
// user changes it.
class Toolbar : public QToolBar {
    Q_OBJECT // so that a window can tell its Toolbar from other tool bars

public:
    // Offers the commands of defaultItems, found in commands, and shows them
    // until the user arranges otherwise. The registry must outlive the
    // toolbar.
    Toolbar(QString identifier, const ActionRegistry& commands, QStringList defaultItems);

    const QString& identifier() const { return mIdentifier; }

    // The identifiers of the items shown, left to right, one for each of
    // actions().
    const QStringList& itemIdentifiers() const { return mItemIdentifiers; }
    // Shows the items of these identifiers in this order, as a user's
    // arrangement, and stores it.
    void setItemIdentifiers(const QStringList& identifiers);

    // Opens the palette, or brings it forward when it is open already.
    void runCustomizationPalette();
    // The open palette, or null.
    QDialog* customizationPalette() const { return mPalette; }

    struct DisplayMode {
        Qt::ToolButtonStyle style;
        int stored; // what the store keeps for it
        const char* title;
    };
    // What the user may choose, in the context menu and the palette; the
    // first is the one of a toolbar nobody has chosen for.
    static constexpr std::array kDisplayModes{
        DisplayMode{Qt::ToolButtonTextUnderIcon, 1, "Icon and Label"},
        DisplayMode{Qt::ToolButtonIconOnly, 2, "Icon Only"},
        DisplayMode{Qt::ToolButtonTextOnly, 3, "Label Only"},
    };
    // Shows the buttons in that mode, as the user's choice, and stores it.
    void chooseDisplayMode(const DisplayMode& mode);

    // The size of the icons, in points.
    static constexpr int kIconSize = 32;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class ToolbarPalette;

    // How an item shows in the palette.
    struct Look {
        QIcon image;
        QString label;
    };

    // Everything the palette offers, in its order.
    QStringList allowedItemIdentifiers() const;
    // Null for a command the toolbar does not offer; the customise item's
    // action for its identifier.
    QAction* command(const QString& identifier) const;
    // Nothing for an item the toolbar does not offer.
    std::optional<Look> look(const QString& identifier) const;
    // Separators and spaces may stand anywhere, any number of times; every
    // other item at most once.
    static bool isRepeatable(const QString& identifier);

    QAction* makeSpacer(const QString& identifier);
    void showItems(const QStringList& identifiers);
    void restoreDefaultItems();
    QString displayModeKey() const;
    void showContextMenu(const QPoint& position);

    QString mIdentifier;
    const ActionRegistry& mCommands;
    QStringList mDefaultItems;
    QAction* mCustomise;
    QStringList mItemIdentifiers;
    // The separators and spaces shown: a place of its own for each.
    std::vector<std::unique_ptr<QAction>> mSpacers;
    QPointer<QDialog> mPalette;
};
