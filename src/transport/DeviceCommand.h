#pragma once

// How LyDevice hands its requests to the two transports and reads their replies.

#include <transport/p2p_sdk.h>
#include <transport/tcp_scheduler.h>

#include <QJsonObject>
#include <QString>
#include <QVariantHash>
#include <QVector>

namespace lydevice
{

using Query = QVector<QPair<QString, QString>>;

// Every P2P command carries this timeout (seconds).
constexpr int p2pTimeoutSeconds = 20;

// The P2P SDK addresses a device by the low 32 bits of its handle.
int p2pHandle(quint64 handle);

// One HTTP GET of path?query to the device behind handle; the callback gets the raw reply.
void sendHttpCommand(quint64 handle, const QString &path, Query query, TCPCommandCallback &&callback);
// The same for requests whose reply nobody reads (closing requests).
void sendHttpCommand(quint64 handle, const QString &path, Query query);

void sendP2pCommand(quint64 handle, IPCCommand command, const QJsonObject &request, P2PCommandCallback &&callback);
void sendP2pCommand(quint64 handle, NVRCommand command, const QJsonObject &request, P2PCommandCallback &&callback);
// Closing commands whose reply nobody reads.
void sendP2pCommand(quint64 handle, NVRCommand command, const QJsonObject &request);

// A usable HTTP reply: the transport succeeded and the status is 200.
bool httpReplyGood(bool ok, const QVector<QByteArray> &replies);
// The first reply as received ("" when there is none).
QByteArray firstReply(const QVector<QByteArray> &replies);
// The body of the first reply, parsed as recorder key=value lines / camera "OK " lines.
QVariantHash keyValueReply(const QVector<QByteArray> &replies, bool numeric);
QVariantHash okLinesReply(const QVector<QByteArray> &replies, bool numeric);
// The body of the first reply, a camera picture list repaired and parsed as JSON.
QVariantHash pictureListReply(const QVector<QByteArray> &replies);

} // namespace lydevice
