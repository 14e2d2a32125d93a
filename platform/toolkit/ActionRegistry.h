#pragma once

#include <QHash>
#include <QPointer>
#include <QString>

class QAction;

// The commands of the application's windows, each one QAction made once by
// the object that carries it out and kept here under an identifier that
// stays the same from version to version. Menus and toolbars take their
// commands from here, and a toolbar stores its arrangement as a list of
// these identifiers.
class ActionRegistry {
public:
    // The action's owner keeps it; the registry forgets it when it goes.
    void add(const QString& identifier, QAction* action);
    // Null for an identifier nobody registered.
    QAction* action(const QString& identifier) const;

private:
    QHash<QString, QPointer<QAction>> mActions;
};
