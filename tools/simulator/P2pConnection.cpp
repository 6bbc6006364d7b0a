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
    const bool faulty = exchange.decision.faulty && exchange.decision.kind != FaultKind::Delay;
    bool sent = true;
    if (faulty && exchange.decision.kind == FaultKind::Drop) {
        sent = false;
        closing = true;
        socket->abort();
    } else if (faulty && exchange.decision.kind == FaultKind::TruncatedChunked) {
        const QJsonObject frame { { QStringLiteral("id"), exchange.id },
            { QStringLiteral("reply"), QJsonObject { { QStringLiteral("res"), QStringLiteral("0") } } } };
        const QByteArray bytes = QJsonDocument(frame).toJson(QJsonDocument::Compact);
        socket->write(bytes.left(bytes.size() / 2));
        sent = false;
        closing = true;
        socket->disconnectFromHost();
    } else if (faulty && exchange.decision.kind == FaultKind::Status500) {
        writeFrame(exchange.id,
            QJsonObject { { QStringLiteral("res"), QStringLiteral("-1") },
                { QStringLiteral("error"), QStringLiteral("internal error") } });
    } else if (faulty) {
        writeFrame(exchange.id, QStringLiteral("malformed"));
    } else {
        writeFrame(exchange.id, frontEnd.answer(exchange));
    }
    // Booked last: a listener may close the simulator from within, and nothing here runs after.
    frontEnd.served(exchange, sent);
}

void P2pConnection::shutdown()
{
    // What was written still goes out; the connection is deleted once the socket has closed.
    closing = true;
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        deleteLater();
}

void P2pConnection::writeFrame(const QJsonValue &id, const QJsonValue &reply)
{
    const QJsonObject frame { { QStringLiteral("id"), id }, { QStringLiteral("reply"), reply } };
    socket->write(QJsonDocument(frame).toJson(QJsonDocument::Compact) + '\n');
}

} // namespace lydevice::sim
