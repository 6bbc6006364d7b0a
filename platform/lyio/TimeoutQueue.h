#pragma once

// The timeouts of all connections, waited for by one QTimer.

#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <map>

namespace lyio
{

// Qt keeps the timers of a thread in one list, searched on every stop of a QTimer and on most
// starts, so a timer per connection made each request cost time in proportion to the number of
// busy targets. Here stopping a timeout costs O(1) and starting one O(log n) in the number
// running, O(1) when it ends after all of them (as timeouts of one length do); one QTimer waits
// for the earliest. For the application's thread only.
class TimeoutQueue
{
public:
    // One timeout, used like a single-shot QTimer: start() restarts it, and it stops when
    // destroyed. `expired` runs from the event loop and may start or stop any timeout.
    class Timeout
    {
    public:
        Timeout(TimeoutQueue &queue, std::function<void()> expired);
        ~Timeout();
        Timeout(const Timeout &) = delete;
        Timeout &operator=(const Timeout &) = delete;

        void start(int ms);
        void stop();

    private:
        friend class TimeoutQueue;

        TimeoutQueue &queue_;
        const std::function<void()> expired_;
        bool running_ = false;
        std::multimap<qint64, Timeout *>::iterator entry_; // while running
    };

    // Its timeouts must go before it.
    TimeoutQueue();

private:
    void onTimer();
    void armTimer();

    QElapsedTimer clock_;
    QTimer timer_;
    std::multimap<qint64, Timeout *> running_; // by deadline on clock_, in ms
};

} // namespace lyio
