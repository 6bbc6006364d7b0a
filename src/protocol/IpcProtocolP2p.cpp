#include "protocol/IpcProtocolP2p.h"

#include "parse/HashAccess.h"
#include "protocol/CameraFiles.h"
#include "protocol/WireFormat.h"
#include "transport/SendCommand.h"

#include <QJsonArray>

#include <cmath>

namespace lydevice
{

IpcProtocolP2p::IpcProtocolP2p(quint64 handle)
    : handle(handle)
{
}

void IpcProtocolP2p::filePageCount(const QDateTime &start, const QDateTime &end, P2PCommandCallback &&reply) const
{
    sendP2pCommand(handle,
        IPCCommand::SearchRecordFirstPage,
        { { QStringLiteral("start_time"), timeObject(start) }, { QStringLiteral("end_time"), timeObject(end) } },
        std::move(reply));
}

void IpcProtocolP2p::filePage(const QDateTime &start, const QDateTime &end, int page, P2PCommandCallback &&reply) const
{
    sendP2pCommand(handle,
        IPCCommand::SearchRecordPage,
        { { QStringLiteral("start_time"), timeObject(start) },
            { QStringLiteral("end_time"), timeObject(end) },
            { QStringLiteral("page"), page },
            { QStringLiteral("type"), 0 } },
        std::move(reply));
}

int IpcProtocolP2p::wholePageCount(const QJsonObject &reply)
{
    const QJsonValue value = reply.value(QStringLiteral("total_page"));
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (!(number >= -2147483648.0 && number <= 2147483647.0) || std::trunc(number) != number)
        return 0;
    return int(number);
}

int IpcProtocolP2p::truncatedPageCount(const QJsonObject &reply)
{
    return truncatedInt(reply.value(QStringLiteral("total_page")).toVariant());
}

QVariantList IpcProtocolP2p::filePage(const QJsonObject &reply)
{
    return recordFileEntries(reply.value(QStringLiteral("file_list")).toArray());
}

} // namespace lydevice
