#pragma once

#include "platform/toolkit/ActionRegistry.h"

#include <QMainWindow>
#include <QString>
#include <memory>

class ExportMenu;
class FerlowOpenGLView;
class MainController;
class PreferencesPanel;
class PrefsController;
class TerrainMenu;
class Toolbar;

// The main window, titled "Ferlow": the OpenGL view with the menu bar and
// the toolbar, the preferences panel beside it, and the controllers that
// run them. Each command of the menus and the toolbar is made once, by the
// object that carries it out.
class MainWindow : public QMainWindow {
public:
    static constexpr int kDefaultWidth = 1024;
    static constexpr int kDefaultHeight = 640;

    // Flies terrainFile when one is given (the command line's), else the
    // terrain stored, else the built-in one.
    explicit MainWindow(const QString& terrainFile = {});
    ~MainWindow() override;

    // Null, as the controllers, where no OpenGL view could be made: the
    // window then says so instead.
    FerlowOpenGLView* view() const { return mView; }
    MainController* controller() const { return mController.get(); }
    PrefsController* prefsController() const;
    PreferencesPanel* preferencesPanel() const { return mPanel; }
    TerrainMenu* terrainMenu() const { return mTerrainMenu.get(); }
    ExportMenu* exportMenu() const { return mExportMenu.get(); }
    Toolbar* toolbar() const;

protected:
    // Keys the window gets, whichever of its widgets (or none) the window
    // system gave the keyboard to, are the view's. Menu shortcuts come first,
    // as ever.
    void keyPressEvent(QKeyEvent* event) override;
    // A press anywhere in the window (its toolbar, its menu bar) asks for
    // the keyboard. Qt does so itself only for a window it does not take for
    // the active one yet, and it notices the loss of the keyboard late: a
    // click that came soon after, or while the program was busy, left the
    // keys with the other window where no window manager gives them back.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void addMenu(const QString& title, const QStringList& items);
    void showNoOpenGLMessage();

    ActionRegistry mCommands; // outlives the menus and the toolbar
    FerlowOpenGLView* mView = nullptr; // owned by the window, through its container
    PreferencesPanel* mPanel = nullptr; // owned by the window
    // The controllers go before the window's children: they refer to the
    // view and the panel.
    std::unique_ptr<MainController> mController;
    std::unique_ptr<TerrainMenu> mTerrainMenu;
    // Goes first: a recording under way draws a copy of the view's scene.
    std::unique_ptr<ExportMenu> mExportMenu;
};
