#pragma once

#include "platform/toolkit/Toolbar.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLayout;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The palette of a toolbar: the items it shows, in order, beside the items
// it may show. Every change goes to the toolbar at once (and so into the
// store), which is why the palette has nothing to confirm or cancel.
// Only the toolbar opens it.
class ToolbarPalette : public QDialog {
public:
    // The palette's window title, and the context menu's command to open it.
    static inline const QString kTitle = QStringLiteral("Customise Toolbar");

    explicit ToolbarPalette(Toolbar& toolbar);

private:
    QLayout* commandColumn();
    QLayout* bottomRow();
    // Null for an item the toolbar cannot show.
    QListWidgetItem* entry(const QString& identifier) const;
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
