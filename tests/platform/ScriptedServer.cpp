#include "ScriptedServer.h"

#include <QTimer>

ScriptedServer::ScriptedServer(QByteArray terminator)
    : terminator_(std::move(terminator))
{
    connect(this, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket *connection = nextPendingConnection()) {
            connections.append(connection);
            auto pending = std::make_shared<QByteArray>();
            connect(connection, &QTcpSocket::readyRead, this, [this, connection, pending]() {
                *pending += connection->readAll();
                for (int end; (end = pending->indexOf(terminator_)) >= 0;) {
                    const QByteArray message = pending->left(end + terminator_.size());
                    pending->remove(0, message.size());
                    messages.append(message);
                    if (onMessage)
                        onMessage(connection, message);
                }
            });
        }
    });
    listen(QHostAddress::LocalHost, 0);
}

void ScriptedServer::writeInPieces(QTcpSocket *connection, const QByteArray &bytes, int pieceSize, bool close)
{
    if (!connection)
        return;
    const int size = pieceSize > 0 ? pieceSize : bytes.size();
    connection->write(bytes.left(size));
    if (bytes.size() <= size) {
        if (close)
            connection->disconnectFromHost();
        return;
    }
    connection->flush();
    QPointer<QTcpSocket> guard(connection);
    QTimer::singleShot(0, connection, [guard, rest = bytes.mid(size), pieceSize, close]() {
        writeInPieces(guard, rest, pieceSize, close);
    });
}
