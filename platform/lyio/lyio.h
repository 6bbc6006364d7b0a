#pragma once

// Registration API of our LyIO stand-in: a device becomes reachable through
// tcp_scheduler_enqueue_command once it is registered here, under the handle returned.

#include <transport/tcp_scheduler.h>

#include <QString>

// Registers a device reached over HTTP at host:port. With a user name, requests carry HTTP Basic
// authorization. Returns the handle to put into TargetDesc::handle (never 0).
quint64 tcp_scheduler_add_target(const QString &host, quint16 port, const QString &user = {}, const QString &password = {});
// Forgets a device; its queued commands are answered with ok false.
void tcp_scheduler_remove_target(quint64 target);
