#pragma once

// Handing a request to one of the two transports. Every request LyDevice sends goes out here.

#include <transport/p2p_sdk.h>
#include <transport/tcp_scheduler.h>

#include <QJsonObject>
#include <QPair>
#include <QString>
#include <QVector>

namespace lydevice
{

// Query pairs of an HTTP request, in sending order, values in their final form.
using Query = QVector<QPair<QString, QString>>;

// One HTTP GET of path?query to the device behind handle; the callback gets the raw reply.
void sendHttpCommand(quint64 handle, const QString &path, Query query, TCPCommandCallback &&callback);
// The same for requests whose reply nobody reads (closing requests).
void sendHttpCommand(quint64 handle, const QString &path, Query query);

// One P2P command to the device behind handle (the SDK addresses it by the low 32 bits).
void sendP2pCommand(quint64 handle, IPCCommand command, const QJsonObject &request, P2PCommandCallback &&callback);
void sendP2pCommand(quint64 handle, NVRCommand command, const QJsonObject &request, P2PCommandCallback &&callback);
// Closing commands whose reply nobody reads.
void sendP2pCommand(quint64 handle, NVRCommand command, const QJsonObject &request);

} // namespace lydevice
