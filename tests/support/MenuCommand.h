#pragma once

#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

// The command of that text in a menu of the window's menu bar, as a user
// finds it; null when there is none.
inline QAction* menuCommand(const QMainWindow& window, const QString& text)
{
    for (const QAction* menu : window.menuBar()->actions())
        for (QAction* command : menu->menu()->actions())
            if (command->text() == text)
                return command;
    return nullptr;
}
