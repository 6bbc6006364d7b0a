#pragma once

// Waiting in a test: the event loop runs until a condition holds or a deadline passes. It sleeps
// only while no event is pending, so a chain of loopback round trips takes no longer than they
// take (QTRY_* and QTest::qWaitFor sleep between polls).

#include <QTest>

#include <functional>

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// Waits for `condition` within seconds; a failure names it.
#define WAIT_FOR(condition) QVERIFY2(waitUntil([&]() { return bool(condition); }), "waited in vain for " #condition)
