#include "HttpConnection.h"

#include <QTcpSocket>
#include <QTimer>

namespace lydevice::sim
{

namespace
{
    // What a device answers when something inside it went wrong: text in no format a client reads.
    const QByteArray malformedBody = QByteArrayLiteral(
        "<html><body>\x01\x7f unexpected</body></html>\ncnt=\xff\xfe\r\n=12\r\nsid\r\n{\"aaData\": [\"x\"");
} // namespace

HttpConnection::HttpConnection(QTcpSocket *socket, HttpFrontEnd &frontEnd)
    : QObject(&frontEnd)
    , socket(socket)
    , frontEnd(frontEnd)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::onReadyRead);
    // The socket may still be inside its own signal: delete the connection from the event loop.
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &HttpConnection::onReadyRead);
}

void HttpConnection::onReadyRead()
{
    if (closing) {
        socket->readAll();
        return;
    }
    buffer += socket->readAll();
    processNext();
}

void HttpConnection::processNext()
{
    while (!busy && !closing) {
        HttpRequest request;
        int consumed = 0;
        switch (parseHttpRequest(buffer, &request, &consumed)) {
        case HttpParse::Incomplete:
            return;
        case HttpParse::Malformed:
            refuse(400);
            return;
        case HttpParse::TooLarge:
            refuse(431);
            return;
        case HttpParse::Complete:
            break;
        }
        buffer.remove(0, consumed);
        const HttpFrontEnd::Exchange exchange = frontEnd.receive(request);
        busy = true;
        if (exchange.decision.delayMs > 0) {
            QTimer::singleShot(exchange.decision.delayMs, this, [this, exchange]() {
                respond(exchange);
                processNext();
            });
            return;
        }
        respond(exchange);
    }
}

void HttpConnection::respond(const HttpFrontEnd::Exchange &exchange)
{
    busy = false;
    const bool keepAlive = exchange.request.keepAlive() && frontEnd.keepAlive();
    const bool faulty = exchange.authorized && exchange.decision.faulty && exchange.decision.kind != FaultKind::Delay;
    int status = -1;
    if (faulty && exchange.decision.kind == FaultKind::Drop) {
        closing = true;
        socket->abort();
    } else if (faulty && exchange.decision.kind == FaultKind::TruncatedChunked) {
        const HttpReply reply = HttpReply::text(QByteArrayLiteral("res=0\r\ncnt=0\r\nallCnt=0\r\n"));
        socket->write(replyHead(reply, true, false) + frontEnd.chunk(reply.body, false));
        closing = true;
        socket->disconnectFromHost();
    } else {
        HttpReply reply;
        if (faulty && exchange.decision.kind == FaultKind::Status500)
            reply = HttpReply::text(QByteArrayLiteral("internal error\r\n"), 500);
        else if (faulty)
            reply = HttpReply::text(malformedBody);
        else
            reply = frontEnd.answer(exchange);
        const bool chunked = !faulty && frontEnd.chunked() && reply.mayChunk;
        QByteArray bytes = replyHead(reply, chunked, keepAlive);
        bytes += chunked ? frontEnd.chunk(reply.body, true) : reply.body;
        socket->write(bytes);
        status = reply.status;
        if (!keepAlive) {
            closing = true;
            socket->disconnectFromHost();
        }
    }
    // Booked last: a listener may close the simulator from within, and nothing here runs after.
    frontEnd.served(exchange, status);
}

void HttpConnection::shutdown()
{
    // What was written still goes out; the connection is deleted once the socket has closed.
    closing = true;
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        deleteLater();
}

void HttpConnection::refuse(int status)
{
    closing = true;
    const HttpReply reply = HttpReply::text(reasonPhrase(status) + "\r\n", status);
    socket->write(replyHead(reply, false, false) + reply.body);
    socket->disconnectFromHost();
}

} // namespace lydevice::sim
