#include "TimeoutQueue.h"

#include <algorithm>
#include <climits>

namespace lyio
{

TimeoutQueue::TimeoutQueue()
{
    clock_.start();
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this]() { onTimer(); });
}

void TimeoutQueue::onTimer()
{
    const qint64 now = clock_.elapsed();
    while (!running_.empty() && running_.begin()->first <= now) {
        Timeout *timeout = running_.begin()->second;
        running_.erase(running_.begin());
        timeout->running_ = false;
        timeout->expired_();
    }
    armTimer();
}

void TimeoutQueue::armTimer()
{
    if (running_.empty()) {
        timer_.stop();
        return;
    }
    // A timer that fires early finds nothing expired and waits again for the rest.
    const qint64 wait = running_.begin()->first - clock_.elapsed();
    timer_.start(static_cast<int>(std::clamp<qint64>(wait, 0, INT_MAX)));
}

TimeoutQueue::Timeout::Timeout(TimeoutQueue &queue, std::function<void()> expired)
    : queue_(queue)
    , expired_(std::move(expired))
{
}

TimeoutQueue::Timeout::~Timeout()
{
    stop();
}

void TimeoutQueue::Timeout::start(int ms)
{
    stop();
    const qint64 deadline = queue_.clock_.elapsed() + std::max(ms, 0);
    // Timeouts of one length end in the order they start: inserted at the end in O(1).
    entry_ = queue_.running_.emplace_hint(queue_.running_.end(), deadline, this);
    running_ = true;
    if (entry_ == queue_.running_.begin())
        queue_.armTimer();
}

void TimeoutQueue::Timeout::stop()
{
    if (!running_)
        return;
    // The QTimer is left to wake for nothing rather than re-armed on every stop.
    queue_.running_.erase(entry_);
    running_ = false;
}

} // namespace lyio
