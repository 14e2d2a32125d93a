#include "platform/system/BackgroundTask.h"

#include <QCoreApplication>

BackgroundTask::BackgroundTask(Work work)
{
    // Started last: the thread may post before the constructor returns.
    mThread = std::thread([this, work = std::move(work)] {
        Continuation done = work(*this);
        post([this, done = std::move(done)] {
            mFinished = true;
            if (done)
                done();
        });
    });
}

BackgroundTask::~BackgroundTask()
{
    cancel();
    mThread.join();
}

void BackgroundTask::discard(std::unique_ptr<BackgroundTask> task)
{
    if (!task)
        return;
    task->cancel();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [task = std::shared_ptr<BackgroundTask>(std::move(task))] {},
        Qt::QueuedConnection);
}

void BackgroundTask::post(Continuation step)
{
    QMetaObject::invokeMethod(
        &mReceiver,
        [this, step = std::move(step)] {
            if (!isCancelled())
                step();
        },
        Qt::QueuedConnection);
}
