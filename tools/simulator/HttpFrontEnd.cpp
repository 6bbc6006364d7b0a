#include "HttpFrontEnd.h"

#include "ListenBacklog.h"

#include "HttpConnection.h"

#include <QTcpSocket>

namespace lydevice::sim
{

HttpFrontEnd::HttpFrontEnd(
    DeviceLogic &device, DeviceBooks &books, FaultInjector &faults, const SimulatorOptions &options)
    : device(device)
    , books(books)
    , faults(faults)
    , options(options)
{
    connect(&server, &QTcpServer::newConnection, this, &HttpFrontEnd::onNewConnection);
}

HttpFrontEnd::~HttpFrontEnd()
{
    // The connections are children and go with this object; stop accepting first.
    server.close();
}

bool HttpFrontEnd::listen(const QHostAddress &address, quint16 port)
{
    return listenWithLongBacklog(server, address, port);
}

void HttpFrontEnd::close()
{
    server.close();
    for (HttpConnection *connection : findChildren<HttpConnection *>(QString(), Qt::FindDirectChildrenOnly))
        connection->shutdown();
}

quint16 HttpFrontEnd::port() const
{
    return server.serverPort();
}

QString HttpFrontEnd::errorString() const
{
    return server.errorString();
}

void HttpFrontEnd::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection())
        new HttpConnection(socket, *this); // owned by this front end as its child
}

bool HttpFrontEnd::authorized(const HttpRequest &request) const
{
    if (options.user.isEmpty())
        return true;
    const QByteArray header = request.header(QByteArrayLiteral("Authorization")).trimmed();
    if (!header.startsWith("Basic "))
        return false;
    const QByteArray credentials = QByteArray::fromBase64(header.mid(6).trimmed());
    return credentials == (options.user + QLatin1Char(':') + options.password).toUtf8();
}

HttpFrontEnd::Exchange HttpFrontEnd::receive(const HttpRequest &request)
{
    Exchange exchange;
    exchange.request = request;
    exchange.kind = device.httpRequestKind(request);
    exchange.authorized = authorized(request);
    if (exchange.authorized)
        exchange.decision = faults.take(exchange.kind);
    return exchange;
}

HttpReply HttpFrontEnd::answer(const Exchange &exchange)
{
    if (!exchange.authorized) {
        HttpReply reply = HttpReply::text(QByteArrayLiteral("authorization required\r\n"), 401);
        reply.headers.append(
            qMakePair(QByteArrayLiteral("WWW-Authenticate"), QByteArrayLiteral("Basic realm=\"device\"")));
        return reply;
    }
    if (exchange.request.method != "GET")
        return HttpReply::text(QByteArrayLiteral("only GET\r\n"), 405);
    return device.answerHttp(exchange.request);
}

void HttpFrontEnd::served(const Exchange &exchange, int status)
{
    RequestRecord record;
    record.kind = exchange.kind;
    record.path = exchange.request.path;
    record.query = exchange.request.query;
    record.status = status;
    if (exchange.authorized && exchange.decision.faulty)
        record.fault = FaultInjector::kindName(exchange.decision.kind);
    else if (exchange.decision.delayMs > 0)
        record.fault = FaultInjector::kindName(FaultKind::Delay);
    books.logRequest(record);
    emit requestServed(record);
}

bool HttpFrontEnd::chunked() const
{
    return options.chunked;
}

bool HttpFrontEnd::keepAlive() const
{
    return options.keepAlive;
}

QByteArray HttpFrontEnd::chunk(const QByteArray &body, bool complete)
{
    return chunkedBody(body, options.chunkSizes, &chunkCursor, complete);
}

} // namespace lydevice::sim
