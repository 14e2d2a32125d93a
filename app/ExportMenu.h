#pragma once

#include "record/FlightRecorder.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class ActionRegistry;
class BackgroundTask;
class FerlowOpenGLView;
class QAction;
class QProgressDialog;
class QWidget;

// File ▸ Save Picture… and File ▸ Export Flight Video…: the view's flight,
// as it stands when asked, drawn offscreen on a thread of its own into a
// picture or a video, while the window flies on. A video shows its progress
// with Cancel; a picture or video that fails says why in a message box and
// leaves no file. One at a time: the commands wait while one is made.
class ExportMenu : public QObject {
public:
    static inline const QString kSavePictureItem = QStringLiteral("SavePicture Item Identifier");
    static inline const QString kExportVideoItem = QStringLiteral("ExportVideo Item Identifier");

    ExportMenu(QWidget& window, FerlowOpenGLView& view, ActionRegistry& commands);
    // A recording under way is cancelled and waited for.
    ~ExportMenu() override;

    void savePictureWithDialog();
    void exportVideoWithDialog();
    // What the dialogs start, once they are accepted.
    void savePicture(const QString& path, QSize size);
    void exportVideo(const FlightRecorder::Video& video);
    void cancel() { mCancel.store(true); }
    bool busy() const { return mTask != nullptr; }
    // Shown while a video is made, and while a large picture is.
    QProgressDialog* progress() const { return mProgress; }

private:
    using Job = std::function<FlightRecorder::Outcome(FlightRecorder&, BackgroundTask&)>;
    void start(const Job& job);
    void finished(const FlightRecorder::Outcome& outcome);
    // A video's frames, or for a picture (no frames) only that it is being
    // drawn, once that takes a while.
    void showProgress(const QString& path, std::int64_t frames);

    QWidget& mWindow;
    FerlowOpenGLView& mView;
    QAction* mSavePicture;
    QAction* mExportVideo;
    std::atomic<bool> mCancel{false};
    // Made and dropped here, on the GUI thread; drawn with on the task's.
    std::unique_ptr<FlightRecorder> mRecorder;
    QPointer<QProgressDialog> mProgress;
    std::unique_ptr<BackgroundTask> mTask; // last: goes first, while the recorder is still there
};
