#include "transport/DeviceCommand.h"

#include "parse/HttpReply.h"
#include "parse/ReplyParsers.h"

namespace lydevice
{

int p2pHandle(quint64 handle)
{
    return static_cast<int>(static_cast<quint32>(handle & 0xffffffffu));
}

void sendHttpCommand(quint64 handle, const QString &path, Query query, TCPCommandCallback &&callback)
{
    TCPCommandDescriptor command;
    command.retries = 0; // a failed step fails the request; nothing is resent behind the caller's back
    command.path = path;
    command.query = std::move(query);
    tcp_scheduler_enqueue_command(handle, { command }, std::move(callback));
}

void sendHttpCommand(quint64 handle, const QString &path, Query query)
{
    sendHttpCommand(handle, path, std::move(query), [](bool, quint64, QVector<QByteArray>) {});
}

void sendP2pCommand(quint64 handle, IPCCommand command, const QJsonObject &request, P2PCommandCallback &&callback)
{
    lyp2psdk_send_command(p2pHandle(handle), command, request, std::move(callback), p2pTimeoutSeconds);
}

void sendP2pCommand(quint64 handle, NVRCommand command, const QJsonObject &request, P2PCommandCallback &&callback)
{
    lyp2psdk_send_command(p2pHandle(handle), command, request, std::move(callback), p2pTimeoutSeconds);
}

void sendP2pCommand(quint64 handle, NVRCommand command, const QJsonObject &request)
{
    sendP2pCommand(handle, command, request, [](bool, QJsonObject) {});
}

QByteArray firstReply(const QVector<QByteArray> &replies)
{
    return replies.isEmpty() ? QByteArray() : replies.first();
}

bool httpReplyGood(bool ok, const QVector<QByteArray> &replies)
{
    return ok && httpStatusCode(QString::fromUtf8(firstReply(replies))) == 200;
}

QVariantHash keyValueReply(const QVector<QByteArray> &replies, bool numeric)
{
    return parseKeyValueHash(QString::fromUtf8(httpReplyBody(firstReply(replies))), numeric);
}

QVariantHash okLinesReply(const QVector<QByteArray> &replies, bool numeric)
{
    return parseOkLines(QString::fromUtf8(httpReplyBody(firstReply(replies))), numeric).toVariantHash();
}

QVariantHash pictureListReply(const QVector<QByteArray> &replies)
{
    const QByteArray body = repairPictureList(httpReplyBody(firstReply(replies)));
    return parseJsonObject(QString::fromUtf8(body)).toVariantHash();
}

} // namespace lydevice
