#include "CallGate.h"

void CallGate::call(const std::function<void(int)> &post)
{
    {
        const std::lock_guard<std::mutex> pass(turnstile);
    }
    const std::shared_lock<std::shared_mutex> hold(order);
    post(posted.load());
}

void CallGate::cancel(const std::function<void(int)> &post)
{
    const std::lock_guard<std::mutex> pass(turnstile);
    const std::unique_lock<std::shared_mutex> hold(order);
    post(posted.fetch_add(1) + 1);
}

int CallGate::cancelsPosted() const
{
    return posted.load();
}
