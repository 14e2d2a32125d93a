#include "platform/toolkit/ActionRegistry.h"

#include <QAction>

void ActionRegistry::add(const QString& identifier, QAction* action)
{
    Q_ASSERT(!mActions.contains(identifier));
    mActions.insert(identifier, action);
}

QAction* ActionRegistry::action(const QString& identifier) const
{
    return mActions.value(identifier);
}
