#pragma once

// Registration API of our LyIO stand-in: a device becomes reachable through
// tcp_scheduler_enqueue_command once it is registered here, under the handle returned.
//
// All functions are for the application's main thread (the thread of
// QCoreApplication::instance()); every callback runs there, later, exactly once. Without an
// application object, calls do nothing and callbacks are dropped.

#include <transport/tcp_scheduler.h>

#include "lyio_export.h"

#include <QString>

// Largest reply accepted, status line and headers included; a longer one fails the command.
constexpr qint64 TcpSchedulerMaxReplySize = 64 * 1024 * 1024;

// Registers a device reached over HTTP at host:port. With a user name, requests carry HTTP Basic
// authorization. Returns the handle to put into TargetDesc::handle (never 0, never reused), or 0
// when called without an application or outside its thread.
LYIO_EXPORT quint64 tcp_scheduler_add_target(
    const QString &host, quint16 port, const QString &user = {}, const QString &password = {});
// Forgets a device; its running and queued commands are answered with ok false.
LYIO_EXPORT void tcp_scheduler_remove_target(quint64 target);
// Timeouts in milliseconds for descriptors whose connectTimeout or replyTimeout is zero or less;
// initially 3000 and 30000. A value of zero or less restores the initial one.
LYIO_EXPORT void tcp_scheduler_set_default_timeouts(int connectTimeoutMs, int replyTimeoutMs);

// The scheduler itself (declared in transport/tcp_scheduler.h), exported from this library.
// Of a descriptor it uses path, query, method, contentType, body, headers and the two timeouts;
// priority, fragment, flags, progress and started are ignored, and so is retries: a failed
// command is answered with ok false and not tried again.
// A request is written twice in one case only: it went out on a kept-alive connection (one that
// had carried a reply before) and the device closed that connection without sending a byte of
// the reply. That is how a device's close of an idle connection looks when it crosses the
// request, and the request is written once more on a new connection, never a third time. A
// device that read the request and then closed without answering sees it twice.
// Requests go out per target one at a time, in order, over a kept-alive connection; targets run in
// parallel. Returns the command id, or 0 when called without an application.
LYIO_EXPORT quint64 tcp_scheduler_enqueue_command(
    quint64 target, QVector<TCPCommandDescriptor> commands, TCPCommandCallback &&callback);
