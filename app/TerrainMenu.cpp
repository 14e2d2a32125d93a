#include "app/TerrainMenu.h"

#include "platform/system/Image.h"
#include "platform/system/SettingsStore.h"
#include "platform/system/SystemLog.h"
#include "platform/toolkit/Window.h"
#include "prefs/PrefsController.h"
#include "scene/Scene.h"
#include "terrain/TerrainImage.h"
#include "view/FerlowOpenGLView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <cstdio>

namespace {

const QString kTitle = QStringLiteral("Ferlow");

// "*.png *.jpg …": every type Qt's image readers on this system handle.
QString readableImagePatterns()
{
    QStringList patterns;
    for (const QByteArray& suffix : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(suffix);
    return patterns.join(QLatin1Char(' '));
}

// The first local file among the dropped URLs, or nothing.
QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

// Shows a busy cursor while it lives.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

TerrainMenu::TerrainMenu(Window& window, FerlowOpenGLView& view, PrefsController& prefs, SettingsStore& store,
                         int builtInWidth)
    : mWindow(window)
    , mView(view)
    , mPrefs(prefs)
    , mStore(store)
    , mBuiltInWidth(builtInWidth)
{
    mWindow.setAcceptDrops(true);
    mWindow.installEventFilter(this);
    // The flight is a window of its own in a container, which hands drags
    // to it and reports them taken: they never reach the main window.
    mView.container()->installEventFilter(this);
}

void TerrainMenu::addTo(QMenuBar& menuBar)
{
    // "F&ile": Alt+F opens the Ferlow menu.
    QMenu* file = menuBar.addMenu(QStringLiteral("F&ile"));
    QAction* open = file->addAction(QStringLiteral("&Open Terrain…"), this, [this] { openTerrainWithDialog(); });
    open->setShortcut(QKeySequence::Open);
    mRecentMenu = file->addMenu(QStringLiteral("Open &Recent"));
    connect(mRecentMenu, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
    file->addAction(QStringLiteral("&Built-in Terrain"), this, [this] { openBuiltInTerrain(); });
}

void TerrainMenu::openAtStart(const QString& commandLineFile)
{
    if (!commandLineFile.isEmpty()) {
        openTerrain(commandLineFile, Failure::StandardError);
    } else if (const QString stored = mStore.objectForKey(kTerrainImageKey).toString(); !stored.isEmpty()) {
        const TerrainImage::Opened opened =
            TerrainImage::open(stored, Scene::kTerrainExtent, mView.getScene()->getFerlowHeight());
        if (opened.terrain)
            fly(opened.terrain);
        else
            systemLog(QStringLiteral("Ferlow: the terrain %1 could not be opened (%2); flying the built-in terrain")
                          .arg(stored, opened.failure)
                          .toStdString());
    }
    showTitle();
}

bool TerrainMenu::openTerrain(const QString& path, Failure tell)
{
    TerrainImage::Opened opened;
    {
        const BusyCursor busy;
        opened = TerrainImage::open(path, Scene::kTerrainExtent, mView.getScene()->getFerlowHeight());
    }
    if (!opened.terrain) {
        const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
        const QString message = QStringLiteral("“%1” could not be opened: %2.").arg(name, opened.failure);
        if (tell == Failure::StandardError) {
            std::fprintf(stderr, "ferlow: %s Flying the built-in terrain.\n", qPrintable(message));
        } else {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Could Not Open Terrain"), message, QMessageBox::Ok,
                            &mWindow);
            box.setInformativeText(QStringLiteral("The current terrain flies on."));
            box.exec();
            mWindow.activateWindow();
        }
        return false;
    }
    const BusyCursor busy;
    mStore.setObject(opened.terrain->path(), kTerrainImageKey);
    remember(opened.terrain->path());
    fly(opened.terrain);
    showTitle();
    return true;
}

void TerrainMenu::openBuiltInTerrain()
{
    mStore.removeObjectForKey(kTerrainImageKey);
    fly(nullptr);
    showTitle();
}

void TerrainMenu::openTerrainWithDialog()
{
    const TerrainImage* current = mView.getScene()->terrain();
    const QString folder = current ? QFileInfo(current->path()).absolutePath() : QString();
    const QString path = QFileDialog::getOpenFileName(
        &mWindow, QStringLiteral("Open Terrain"), folder,
        QStringLiteral("Height images (%1);;All files (*)").arg(readableImagePatterns()));
    // Keys work again without a click once the dialog is gone: where no
    // window manager hands the keyboard back, it would stay with nobody.
    mWindow.activateWindow();
    if (!path.isEmpty())
        openTerrain(path, Failure::MessageBox);
}

QStringList TerrainMenu::recentTerrains() const
{
    QStringList existing;
    for (const QString& path : mStore.stringArrayForKey(kRecentTerrainImagesKey).value_or(QStringList()))
        if (QFileInfo(path).isFile())
            existing << path;
    return existing;
}

bool TerrainMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &mWindow && watched != mView.container())
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* move = static_cast<QDragMoveEvent*>(event);
        if (!droppedFile(move->mimeData()).isEmpty())
            move->acceptProposedAction();
        else
            move->ignore();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = droppedFile(drop->mimeData());
        if (!path.isEmpty()) {
            drop->acceptProposedAction();
            // After the drop has been answered: the source waits for that,
            // and a message box would keep it waiting.
            QMetaObject::invokeMethod(
                this, [this, path] { openTerrain(path, Failure::MessageBox); }, Qt::QueuedConnection);
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TerrainMenu::fly(std::shared_ptr<const TerrainImage> terrain)
{
    const int width = terrain ? terrain->heights()->pixelsWide() : mBuiltInWidth;
    mPrefs.flyTerrain(std::move(terrain), width);
}

// The newest first, each path once, at most kRecentCount.
void TerrainMenu::remember(const QString& path)
{
    QStringList recent = mStore.stringArrayForKey(kRecentTerrainImagesKey).value_or(QStringList());
    recent.removeAll(path);
    recent.prepend(path);
    mStore.setObject(recent.mid(0, kRecentCount), kRecentTerrainImagesKey);
}

void TerrainMenu::showTitle()
{
    const TerrainImage* terrain = mView.getScene()->terrain();
    mWindow.setWindowTitle(terrain ? kTitle + QStringLiteral(" — ") + terrain->name() : kTitle);
}

void TerrainMenu::fillRecentMenu()
{
    mRecentMenu->clear();
    for (const QString& path : recentTerrains())
        mRecentMenu->addAction(QFileInfo(path).fileName(), this, [this, path] { openTerrain(path, Failure::MessageBox); })
            ->setToolTip(path);
    mRecentMenu->setEnabled(true);
    if (mRecentMenu->isEmpty())
        mRecentMenu->addAction(QStringLiteral("No Recent Terrains"))->setEnabled(false);
}
