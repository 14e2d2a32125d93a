#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Frames handed from the thread that draws them to a thread of its own that
// consumes them (encodes them), so that drawing the next frame and encoding
// the last go on at once. A fixed few frames circulate: the drawer waits
// for one to come back when the consumer lags, so memory stays flat however
// long the video.
class FrameQueue {
public:
    // Consume answers false on a failure, after which it is called no more.
    using Consume = std::function<bool(const std::uint8_t* frame)>;

    FrameQueue(std::size_t frameBytes, int frames, Consume consume);
    // Consumes what was pushed, then ends the thread.
    ~FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // A frame to draw into, once one is free; null once consuming failed.
    std::uint8_t* emptyFrame();
    void push(std::uint8_t* frame);
    // Waits until everything pushed is consumed; false if consuming failed.
    bool drain();
    // Seconds the consumer spent consuming, so far.
    double consumingSeconds() const;

private:
    void consumeUntilClosed();

    Consume mConsume;
    std::vector<std::vector<std::uint8_t>> mFrames;
    mutable std::mutex mMutex;
    std::condition_variable mChanged;
    std::deque<std::uint8_t*> mFree;
    std::deque<std::uint8_t*> mFull;
    bool mBusy = false;
    bool mClosed = false;
    bool mFailed = false;
    double mConsumingSeconds = 0.0;
    std::thread mThread; // last: starts once the rest is there
};
