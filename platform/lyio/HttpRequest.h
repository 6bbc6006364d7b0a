#pragma once

// Building the HTTP requests the scheduler sends: pure functions over a command descriptor.

#include <transport/tcp_scheduler.h>

#include <QByteArray>
#include <QString>

namespace lyio
{

// Percent-encodes the UTF-8 bytes of `text` that cannot stand in the path of a request target:
// control bytes, space, bytes from 0x80 on, "#" and "?". Everything else, "%" included, is kept:
// callers hand over values that are already encoded where they want it ("%20" in dates).
QByteArray encodePath(const QString &text);

// Same for a query key or value; "&", "=" and "+" are encoded too, since they would split or
// change the pair.
QByteArray encodeQueryPart(const QString &text);

// The request target: the path (a missing leading "/" added), then "?" and the pairs joined with
// "&" in their order; no "?" when there is no pair.
QByteArray requestTarget(const TCPCommandDescriptor &command);

// The complete request: request line, "Host", "Authorization" when `authorization` is not empty,
// "Connection: keep-alive", the descriptor's extra header lines (lines holding a line break are
// dropped) and, with a body, "Content-Type" and "Content-Length", then the body.
QByteArray buildRequest(
    const TCPCommandDescriptor &command, const QByteArray &hostHeader, const QByteArray &authorization);

// The value of the "Host" header for host and port: IPv6 addresses in brackets, ":port" unless 80.
QByteArray hostHeaderValue(const QString &host, quint16 port);

// "Basic " and the Base64 of "user:password", or empty when there is no user.
QByteArray basicAuthorization(const QString &user, const QString &password);

} // namespace lyio
