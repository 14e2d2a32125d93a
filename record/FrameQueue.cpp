#include "record/FrameQueue.h"

#include <chrono>

FrameQueue::FrameQueue(std::size_t frameBytes, int frames, Consume consume)
    : mConsume(std::move(consume))
    , mFrames(std::size_t(frames), std::vector<std::uint8_t>(frameBytes))
{
    for (std::vector<std::uint8_t>& frame : mFrames)
        mFree.push_back(frame.data());
    mThread = std::thread([this] { consumeUntilClosed(); });
}

FrameQueue::~FrameQueue()
{
    {
        const std::lock_guard lock(mMutex);
        mClosed = true;
    }
    mChanged.notify_all();
    mThread.join();
}

std::uint8_t* FrameQueue::emptyFrame()
{
    std::unique_lock lock(mMutex);
    mChanged.wait(lock, [this] { return mFailed || !mFree.empty(); });
    if (mFailed)
        return nullptr;
    std::uint8_t* frame = mFree.front();
    mFree.pop_front();
    return frame;
}

void FrameQueue::push(std::uint8_t* frame)
{
    {
        const std::lock_guard lock(mMutex);
        mFull.push_back(frame);
    }
    mChanged.notify_all();
}

bool FrameQueue::drain()
{
    std::unique_lock lock(mMutex);
    mChanged.wait(lock, [this] { return mFailed || (mFull.empty() && !mBusy); });
    return !mFailed;
}

double FrameQueue::consumingSeconds() const
{
    const std::lock_guard lock(mMutex);
    return mConsumingSeconds;
}

void FrameQueue::consumeUntilClosed()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        mChanged.wait(lock, [this] { return mClosed || !mFull.empty(); });
        if (mFull.empty() || mFailed)
            return;
        std::uint8_t* frame = mFull.front();
        mFull.pop_front();
        mBusy = true;
        lock.unlock();
        const auto start = std::chrono::steady_clock::now();
        const bool consumed = mConsume(frame);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        lock.lock();
        mBusy = false;
        mConsumingSeconds += took.count();
        mFailed = !consumed;
        mFree.push_back(frame);
        mChanged.notify_all();
    }
}
