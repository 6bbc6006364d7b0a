#include "P2pConnection.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QTimer>

namespace lydevice::sim
{

namespace
{
    constexpr int kMaxLineBytes = 4 * 1024 * 1024;
} // namespace

P2pConnection::P2pConnection(QTcpSocket *socket, P2pFrontEnd &frontEnd)
    : QObject(&frontEnd)
    , socket(socket)
    , frontEnd(frontEnd)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &P2pConnection::onReadyRead);
    // The socket may still be inside its own signal: delete the connection from the event loop.
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &P2pConnection::onReadyRead);
}

void P2pConnection::onReadyRead()
{
    buffer += socket->readAll();
    int start = 0;
    while (!closing) {
        const int end = buffer.indexOf('\n', start);
        if (end < 0)
            break;
        handleLine(buffer.mid(start, end - start));
        start = end + 1;
    }
    buffer.remove(0, start);
    if (!closing && buffer.size() > kMaxLineBytes) {
        closing = true;
        socket->abort();
    }
}

void P2pConnection::handleLine(const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return;
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject() || !document.object().contains(QLatin1String("id")))
        return;
    const P2pFrontEnd::Exchange exchange = frontEnd.receive(document.object());
    if (exchange.decision.delayMs > 0) {
        QTimer::singleShot(exchange.decision.delayMs, this, [this, exchange]() { respond(exchange); });
        return;
    }
    respond(exchange);
}

void P2pConnection::respond(const P2pFrontEnd::Exchange &exchange)
{
    if (closing)
        return;
    if (exchange.decision.faulty) {
        switch (exchange.decision.kind) {
        case FaultKind::Delay:
            break;
        case FaultKind::Drop:
            frontEnd.served(exchange, false);
            closing = true;
            socket->abort();
            return;
        case FaultKind::Status500:
            writeFrame(exchange.id,
                QJsonObject { { QStringLiteral("res"), QStringLiteral("-1") },
                    { QStringLiteral("error"), QStringLiteral("internal error") } });
            frontEnd.served(exchange, true);
            return;
        case FaultKind::Malformed:
            writeFrame(exchange.id, QStringLiteral("malformed"));
            frontEnd.served(exchange, true);
            return;
        case FaultKind::TruncatedChunked: {
            const QJsonObject frame { { QStringLiteral("id"), exchange.id },
                { QStringLiteral("reply"), QJsonObject { { QStringLiteral("res"), QStringLiteral("0") } } } };
            const QByteArray bytes = QJsonDocument(frame).toJson(QJsonDocument::Compact);
            socket->write(bytes.left(bytes.size() / 2));
            frontEnd.served(exchange, false);
            closing = true;
            socket->disconnectFromHost();
            return;
        }
        }
    }
    writeFrame(exchange.id, frontEnd.answer(exchange));
    frontEnd.served(exchange, true);
}

void P2pConnection::writeFrame(const QJsonValue &id, const QJsonValue &reply)
{
    const QJsonObject frame { { QStringLiteral("id"), id }, { QStringLiteral("reply"), reply } };
    socket->write(QJsonDocument(frame).toJson(QJsonDocument::Compact) + '\n');
}

} // namespace lydevice::sim
