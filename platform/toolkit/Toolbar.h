#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QStringList>
#include <QToolBar>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class Toolbar;
class ToolbarPalette;

// The identifiers of the items every toolbar makes itself: its delegate is
// never asked for them, and may offer them among its allowed items.
namespace ToolbarItemIdentifier {
inline const QString Separator = QStringLiteral("Toolbar Separator Item");
inline const QString FlexibleSpace = QStringLiteral("Toolbar Flexible Space Item");
inline const QString Space = QStringLiteral("Toolbar Space Item");
inline const QString CustomizeToolbar = QStringLiteral("Toolbar Customise Item");
} // namespace ToolbarItemIdentifier

// How items show. Default is the user's choice, when the toolbar keeps one,
// and otherwise an icon with its label under it. The values are stored.
enum class ToolbarDisplayMode { Default = 0, IconAndLabel = 1, IconOnly = 2, LabelOnly = 3 };

namespace ToolbarImage {
// The application's toolbar image of that name (":/toolbar/<name>.svg" in
// the main bundle), drawn from its vector source at whatever size and scale
// it is shown; an empty icon, which draws as nothing, when there is none.
QIcon imageNamed(const QString& name);
} // namespace ToolbarImage

// One command of a toolbar. It is shown through a QAction of its own, which
// carries its label, tool tip, image and enabled state to the tool button.
class ToolbarItem {
public:
    static std::unique_ptr<ToolbarItem> initWithItemIdentifier(const QString& itemIdentifier);
    ~ToolbarItem();
    ToolbarItem(const ToolbarItem&) = delete;
    ToolbarItem& operator=(const ToolbarItem&) = delete;

    const QString& itemIdentifier() const { return mItemIdentifier; }

    // The text under the icon in the toolbar.
    void setLabel(const QString& label);
    QString label() const;
    // The text in the customisation palette.
    void setPaletteLabel(const QString& paletteLabel) { mPaletteLabel = paletteLabel; }
    const QString& paletteLabel() const { return mPaletteLabel; }
    void setToolTip(const QString& toolTip);
    QString toolTip() const;
    void setImage(const QIcon& image);
    QIcon image() const;
    // What a click on the item does.
    void setAction(std::function<void()> action) { mAction = std::move(action); }

    // A disabled item shows greyed and does nothing when clicked.
    void setEnabled(bool enabled);
    bool isEnabled() const;

    // The Qt action that shows the item in a tool bar.
    QAction* view() const { return mView.get(); }

private:
    friend class Toolbar;
    ToolbarItem(QString itemIdentifier, std::unique_ptr<QAction> view);

    QString mItemIdentifier;
    QString mPaletteLabel;
    std::unique_ptr<QAction> mView;
    std::function<void()> mAction;
};

// What a toolbar asks of the object that supplies its items.
class ToolbarDelegate {
public:
    virtual ~ToolbarDelegate() = default;
    // A new item for the identifier, or null for an identifier the delegate
    // does not know. willBeInserted is false when the item is only shown in
    // the customisation palette.
    virtual std::unique_ptr<ToolbarItem> toolbar(Toolbar& toolbar, const QString& itemIdentifier,
                                                 bool willBeInserted) = 0;
    // The arrangement of a toolbar nobody has customised, left to right.
    virtual QStringList toolbarDefaultItemIdentifiers(Toolbar& toolbar) = 0;
    // Everything the customisation palette offers, in its order.
    virtual QStringList toolbarAllowedItemIdentifiers(Toolbar& toolbar) = 0;
    // Whether the item is enabled now; asked again each time the toolbar
    // refreshes.
    virtual bool validateToolbarItem(const ToolbarItem& item) = 0;
};

// A window's toolbar whose items come from a delegate, by identifier, in an
// arrangement the user may customise and the toolbar may keep between runs.
//
// Items are made when the delegate is set (and again whenever the
// arrangement changes), from the stored arrangement when the toolbar
// autosaves and one is stored, and otherwise from the delegate's defaults.
// An identifier nobody can make an item for (one left in the store by
// another version) is skipped without complaint.
//
// Validation: the toolbar asks the delegate about every item each time the
// event loop is about to wait for events (the dispatcher's aboutToBlock),
// i.e. after every batch of events and timer ticks. So whatever changed the
// state the items follow (a click, a key, a menu command, a full-screen
// loop), the items are in step before the loop next sleeps, and the
// repaint of a changed button comes in the pass that follows. Nothing has
// to remember to tell the toolbar, and no timer polls it. It costs one call
// per item per wait: about sixty rounds of a few calls a second while the
// animation timer runs. A loop that never waits (the display-capture
// full-screen loop) leaves the items as they were until it ends; the
// window is covered meanwhile.
//
// Autosave: under the toolbar's identifier the store keeps the list of item
// identifiers, and under the identifier followed by " Display Mode" the
// display mode, each written as soon as the user changes it.
//
// The delegate must outlive the toolbar's use of it: it is asked only from
// the event loop and while the toolbar is set up or customised.
class Toolbar : public QToolBar {
    Q_OBJECT // so that a window can tell its Toolbar from other tool bars

public:
    explicit Toolbar(QString identifier);
    ~Toolbar() override;

    const QString& identifier() const { return mIdentifier; }

    // Whether the user may open the customisation palette, from the
    // customise item or the toolbar's context menu.
    void setAllowsUserCustomization(bool allows);
    bool allowsUserCustomization() const { return mAllowsUserCustomization; }
    // Turning it on restores the stored arrangement and display mode.
    void setAutosavesConfiguration(bool autosaves);
    // The line under the toolbar that sets it off from the window's content.
    void setShowsBaselineSeparator(bool shows);
    void setDisplayMode(ToolbarDisplayMode mode);
    ToolbarDisplayMode displayMode() const { return mDisplayMode; }
    void setDelegate(ToolbarDelegate* delegate);

    // The identifiers of the items shown, left to right.
    QStringList itemIdentifiers() const;
    // Shows the items of these identifiers in this order, as a user's
    // arrangement: stored when the toolbar autosaves.
    void setItemIdentifiers(const QStringList& identifiers);
    const std::vector<std::unique_ptr<ToolbarItem>>& items() const { return mItems; }

    // Enables each item as the delegate says.
    void validateVisibleItems();

    // Opens the palette, or brings it forward when it is open already.
    void runCustomizationPalette();
    // The open palette, or null.
    QDialog* customizationPalette() const { return mPalette; }

    // The size of the icons, in points.
    static constexpr int kIconSize = 32;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class ToolbarPalette;

    // What Default stands for when no choice of the user's is known.
    static ToolbarDisplayMode shownMode(ToolbarDisplayMode mode);
    // Separators and spaces may stand anywhere, any number of times; every
    // other item at most once.
    static bool isRepeatable(const QString& identifier);

    std::unique_ptr<ToolbarItem> makeItem(const QString& identifier, bool willBeInserted);
    std::unique_ptr<ToolbarItem> makeStandardItem(const QString& identifier);
    void loadConfiguration();
    void showItems(const QStringList& identifiers);
    void restoreDefaultItems();
    void applyDisplayMode(ToolbarDisplayMode mode);
    ToolbarDisplayMode storedDisplayMode() const;
    QString displayModeKey() const;
    void showContextMenu(const QPoint& position);

    QString mIdentifier;
    ToolbarDelegate* mDelegate = nullptr;
    bool mAllowsUserCustomization = false;
    bool mAutosavesConfiguration = false;
    bool mShowsBaselineSeparator = true;
    ToolbarDisplayMode mDisplayMode = ToolbarDisplayMode::Default;
    std::vector<std::unique_ptr<ToolbarItem>> mItems;
    QPointer<QDialog> mPalette;
};
