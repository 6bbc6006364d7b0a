#pragma once

#include <functional>

namespace lydevice::e2e
{

// Long enough for any answer on loopback, sanitizers included; a hang fails the test after it.
constexpr int answerTimeoutMs = 10000;

// Runs the event loop until `condition` holds or `timeoutMs` have passed; returns the condition.
// Unlike QTRY_* and QTest::qWaitFor, which sleep between polls, it sleeps only while no event
// is pending, so a chain of a thousand loopback round trips takes no longer than they take.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = answerTimeoutMs);

} // namespace lydevice::e2e
