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
// Why the last command of `target` failed: empty when it succeeded with replies of status 2xx
// only, or before its first command has been answered. Otherwise one short lower-case sentence
// that names the device's address, set before that command's callback runs:
//   "connection refused by 192.0.2.10:80", "host cam.local not found",
//   "cannot connect to 192.0.2.10:80 (<the socket's error text>)",
//   "no answer within 3 s from 192.0.2.10:80 while connecting",
//   "no reply within 30 s from 192.0.2.10:80", "reply from 192.0.2.10:80 not complete within 30 s",
//   "connection closed by 192.0.2.10:80 without a reply" (and "... before the reply ended"),
//   "connection to 192.0.2.10:80 broken (<the socket's error text>)",
//   "malformed reply from 192.0.2.10:80", "reply too large from 192.0.2.10:80 (over 64 MiB, ...)",
//   "credentials refused (HTTP 401) by 192.0.2.10:80",
//   "HTTP status 500 (Internal Server Error) from 192.0.2.10:80" (the device's reason phrase).
// A reply with a status outside 2xx is handed to the callback with ok true, the scheduler having
// done its part, and still counts here: the first such reply of a command is its error, unless a
// transport failure ended the command. "unknown target <n>" for a handle never registered or
// removed. Each error is also logged as a warning under the category "lyio.transport" when it
// happens (QT_LOGGING_RULES="lyio.transport.warning=false" silences it).
LYIO_EXPORT QString tcp_scheduler_last_error(quint64 target);
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
