#include "P2pFrontEnd.h"

#include "ListenBacklog.h"

#include "P2pConnection.h"

#include <QTcpSocket>

namespace lydevice::sim
{

P2pFrontEnd::P2pFrontEnd(DeviceLogic &device, DeviceBooks &books, FaultInjector &faults)
    : device(device)
    , books(books)
    , faults(faults)
{
    connect(&server, &QTcpServer::newConnection, this, &P2pFrontEnd::onNewConnection);
}

P2pFrontEnd::~P2pFrontEnd()
{
    server.close();
}

bool P2pFrontEnd::listen(const QHostAddress &address, quint16 port)
{
    return listenWithLongBacklog(server, address, port);
}

void P2pFrontEnd::close()
{
    server.close();
    for (P2pConnection *connection : findChildren<P2pConnection *>(QString(), Qt::FindDirectChildrenOnly))
        connection->shutdown();
}

quint16 P2pFrontEnd::port() const
{
    return server.serverPort();
}

QString P2pFrontEnd::errorString() const
{
    return server.errorString();
}

void P2pFrontEnd::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection())
        new P2pConnection(socket, *this); // owned by this front end as its child
}

P2pFrontEnd::Exchange P2pFrontEnd::receive(const QJsonObject &frame)
{
    Exchange exchange;
    exchange.id = frame.value(QLatin1String("id"));
    exchange.deviceKind = frame.value(QLatin1String("kind")).toString();
    exchange.command = linkInt(frame.value(QLatin1String("command")), -1);
    exchange.request = frame.value(QLatin1String("request")).toObject();
    exchange.kind = exchange.deviceKind + QLatin1Char('.') + QString::number(exchange.command);
    exchange.decision = faults.take(exchange.kind);
    return exchange;
}

QJsonObject P2pFrontEnd::answer(const Exchange &exchange)
{
    if (exchange.deviceKind != device.linkKind())
        return QJsonObject { { QStringLiteral("res"), QStringLiteral("-1") },
            { QStringLiteral("error"), QStringLiteral("wrong device kind") } };
    return device.answerLink(exchange.command, exchange.request);
}

void P2pFrontEnd::served(const Exchange &exchange, bool sent)
{
    RequestRecord record;
    record.overLink = true;
    record.kind = exchange.kind;
    record.request = exchange.request;
    record.status = sent ? 0 : -1;
    if (exchange.decision.faulty)
        record.fault = FaultInjector::kindName(exchange.decision.kind);
    else if (exchange.decision.delayMs > 0)
        record.fault = FaultInjector::kindName(FaultKind::Delay);
    books.logRequest(record);
    emit requestServed(record);
}

} // namespace lydevice::sim
