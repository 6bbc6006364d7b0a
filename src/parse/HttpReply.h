#pragma once

// Taking raw HTTP replies apart. Pure functions: no state, any thread.

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

namespace lydevice
{

// Status code of the status line "HTTP/1.0 <code> " or "HTTP/1.1 <code> " at the very start of
// the reply; -1 when there is none or the code does not fit 32 bits.
int httpStatusCode(const QString &reply);

// Body of a "200 OK" reply (byte-exact status line), de-chunked when the headers announce chunked
// transfer coding; empty for any other reply, and for a reply without an end of headers.
QByteArray httpReplyBody(const QByteArray &reply);

// Reply bytes as text, UTF-8 up to the first NUL byte: devices write their replies as C strings,
// and what follows a NUL is no part of them.
QString replyText(const QByteArray &bytes);

// The scheduler hands a reply over as a vector holding the raw reply: its first element ("" when
// there is none).
QByteArray firstReply(const QVector<QByteArray> &replies);
// A usable reply: the transport succeeded and the status is 200.
bool httpReplyGood(bool ok, const QVector<QByteArray> &replies);
// The body of a usable reply that is at most maxBytes long as received; none otherwise (with a
// warning for a longer one, which is not parsed at all).
std::optional<QByteArray> boundedReplyBody(bool ok, const QVector<QByteArray> &replies, int maxBytes);

} // namespace lydevice
