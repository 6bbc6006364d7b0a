#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <shared_mutex>

// Orders the workers' calls against cancel_all_record_searching.
//
// A worker makes every call inside call(), under a shared hold of the gate, and every cancel
// inside cancel(), under an exclusive one: a call and a cancel are never handed to the main thread
// at the same time, so each call is posted either before or after each cancel. A call's epoch is
// the number of cancels posted before it. The main thread runs what was posted to it in the order
// it was posted, so cancel number k ends exactly the calls with epoch < k that were still running
// when it ran, and none after it.
//
// A blocking export (search_video_begin, read_picture) holds the gate until it returns. A waiting
// cancel keeps new calls out (the turnstile), so that a stream of calls cannot starve it.
class CallGate
{
public:
    // Runs `post` with the call's epoch, under a shared hold.
    void call(const std::function<void(int epoch)> &post);
    // Runs `post` with the number of this cancel (from 1), under an exclusive hold.
    void cancel(const std::function<void(int number)> &post);
    int cancelsPosted() const;

private:
    std::mutex turnstile;
    std::shared_mutex order;
    std::atomic<int> posted { 0 };
};
