#pragma once

#include "terrain/TerrainImage.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QStringList>
#include <memory>

class ActionRegistry;
class BackgroundTask;
class FerlowOpenGLView;
class PrefsController;
class QMenu;
class SettingsStore;
class TerrainImage;
class QMainWindow;

// The terrain flown and the three ways to choose it: the command line, the
// File menu (Open Terrain…, Open Recent, Built-in Terrain) and a height image
// dropped on the main window. The choice is stored at once and opened again
// at the next start; the window's title names it. A file that cannot be
// opened changes nothing, neither the flight nor anything stored: the user
// is told why, in a message box from the menu or a drop, on standard error
// from the command line.
//
// A file is read, decoded and baked on a thread of its own while the
// current terrain flies on; after half a second a progress dialog offers to
// cancel, which leaves everything as it was. Only one file opens at a time:
// asking for another cancels the one still opening.
class TerrainMenu : public QObject {
    Q_OBJECT
public:
    static inline const QString kTerrainImageKey = QStringLiteral("TerrainImage");
    static inline const QString kRecentTerrainImagesKey = QStringLiteral("RecentTerrainImages");
    // Shown: the newest that still exist. Kept: more, so that a file gone
    // leaves room for an older one that is still there.
    static constexpr int kRecentCount = 5;
    static constexpr int kRecentKept = 10;

    // The identifiers of the File menu's commands.
    static inline const QString kOpenTerrainItem = QStringLiteral("OpenTerrain Item Identifier");
    static inline const QString kOpenRecentItem = QStringLiteral("OpenRecent Item Identifier");
    static inline const QString kBuiltInTerrainItem = QStringLiteral("BuiltInTerrain Item Identifier");

    // Takes drops anywhere on window, the view included, and registers the
    // File menu's commands in commands. The built-in height image is
    // builtInWidth pixels wide.
    TerrainMenu(QMainWindow& window, FerlowOpenGLView& view, PrefsController& prefs, SettingsStore& store,
                int builtInWidth, ActionRegistry& commands);
    // Cancels an opening under way and waits for its thread.
    ~TerrainMenu() override;

    // Before the first frame: the file named on the command line if there is
    // one, else the stored one, else the built-in terrain.
    void openAtStart(const QString& commandLineFile);

    // How a failure is told.
    enum class Failure { MessageBox, StandardError };
    // Starts opening the height image at path (or file:// URL); once it is
    // ready it flies, else the flight and the store stay as they were.
    // opened() tells either way, unless the opening was cancelled.
    void openTerrain(const QString& path, Failure tell);
    // The progress dialog of the opening under way, null when none is; it
    // shows once the opening has taken half a second.
    QProgressDialog* progressDialog() const { return mProgress; }
    void openBuiltInTerrain();
    void openTerrainWithDialog();

    // The kRecentCount newest recent files that still exist, the newest
    // first.
    QStringList recentTerrains() const;
    // What the Open Recent menu calls each of paths: the file's name, and
    // where two share it, the nearest folders that tell them apart
    // ("heights.png — maps/alps").
    static QStringList recentLabels(const QStringList& paths);

signals:
    void opened(bool flying);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Source { Chosen, Stored };
    void startOpening(const QString& path, Source source, Failure tell);
    void finishOpening(const QString& path, Source source, Failure tell, const TerrainImage::Opened& opened);
    void tellFailure(const QString& path, const QString& reason, Failure tell);
    void showProgress(const QString& path);
    void closeProgress();
    void fly(std::shared_ptr<const TerrainImage> terrain);
    void remember(const QString& path);
    void showTitle();
    void fillRecentMenu();

    QMainWindow& mWindow;
    FerlowOpenGLView& mView;
    PrefsController& mPrefs;
    SettingsStore& mStore;
    int mBuiltInWidth;
    QMenu* mRecentMenu; // owned by the window
    std::unique_ptr<BackgroundTask> mOpening;
    QPointer<QProgressDialog> mProgress;
};
