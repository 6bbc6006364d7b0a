#include "ScriptedServer.h"

#include <QHostAddress>
#include <QTimer>

ScriptedServer::ScriptedServer(QByteArray terminator)
    : terminator_(std::move(terminator))
{
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedServer::onNewConnection);
    server_.listen(QHostAddress::LocalHost, 0);
}

quint16 ScriptedServer::port() const
{
    return server_.serverPort();
}

int ScriptedServer::connectionCount() const
{
    return connections_.size();
}

QTcpSocket *ScriptedServer::connection(int index) const
{
    return connections_.value(index);
}

void ScriptedServer::stopListening()
{
    server_.close();
}

void ScriptedServer::writeInPieces(QTcpSocket *connection, const QByteArray &bytes, int pieceSize, bool close)
{
    if (!connection)
        return;
    if (pieceSize <= 0 || bytes.size() <= pieceSize) {
        connection->write(bytes);
        if (close)
            connection->disconnectFromHost();
        return;
    }
    connection->write(bytes.left(pieceSize));
    connection->flush();
    QPointer<QTcpSocket> guard(connection);
    QTimer::singleShot(0, connection, [guard, rest = bytes.mid(pieceSize), pieceSize, close]() {
        writeInPieces(guard, rest, pieceSize, close);
    });
}

void ScriptedServer::onNewConnection()
{
    while (QTcpSocket *connection = server_.nextPendingConnection()) {
        const int index = connections_.size();
        connections_.append(connection);
        pending_.append(QByteArray());
        connect(
            connection, &QTcpSocket::readyRead, this, [this, connection, index]() { onReadyRead(connection, index); });
    }
}

void ScriptedServer::onReadyRead(QTcpSocket *connection, int index)
{
    QByteArray &pending = pending_[index];
    pending += connection->readAll();
    for (;;) {
        const int end = pending.indexOf(terminator_);
        if (end < 0)
            break;
        const QByteArray message = pending.left(end + terminator_.size());
        pending.remove(0, message.size());
        messages.append({ index, message });
        if (onMessage)
            onMessage(connection, message);
    }
}
