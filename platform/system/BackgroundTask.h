#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// Work that would freeze the window if it ran on the main thread (decoding a
// large image, baking a light map) runs on a thread of its own; what it
// hands back runs afterwards on the thread that started it, from that
// thread's event loop, so that it may touch widgets and the scene.
//
// Cancelling only asks: the work looks at isCancelled() and returns early;
// nothing it hands back or posts runs once the task is cancelled. Destroying
// the task cancels it and waits for the thread, so the work must return
// soon after it is asked to.
class BackgroundTask {
public:
    using Continuation = std::function<void()>;
    using Work = std::function<Continuation(BackgroundTask& task)>;

    explicit BackgroundTask(Work work);
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    void cancel() { mCancelled.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return mCancelled.load(std::memory_order_relaxed); }
    // Until the continuation has run (or the task was cancelled).
    bool isRunning() const { return !mFinished && !isCancelled(); }

    // From the work's thread: runs step on the starting thread, in order,
    // unless the task is cancelled by then.
    void post(Continuation step);

    // Cancels task and destroys it from the event loop: its owner may be
    // inside the task's own continuation, which must not destroy it.
    static void discard(std::unique_ptr<BackgroundTask> task);

private:
    std::atomic<bool> mCancelled{false};
    bool mFinished = false; // starting thread only
    QObject mReceiver;      // lives on the starting thread; its queued calls die with it
    std::thread mThread;
};
