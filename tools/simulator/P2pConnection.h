#pragma once

#include "P2pFrontEnd.h"

#include <QByteArray>
#include <QObject>

class QTcpSocket;

namespace lydevice::sim
{

// One link connection: splits the incoming bytes into lines and answers each frame through the
// front end. A child of the front end; deletes itself once its socket has closed.
class P2pConnection : public QObject
{
    Q_OBJECT

public:
    // Takes over `socket` (it becomes a child of the connection).
    P2pConnection(QTcpSocket *socket, P2pFrontEnd &frontEnd);
    // Drops the link; safe from within the connection's own calls.
    void shutdown();

private:
    void onReadyRead();
    void handleLine(const QByteArray &line);
    void respond(const P2pFrontEnd::Exchange &exchange);
    void writeFrame(const QJsonValue &id, const QJsonValue &reply);

    QTcpSocket *socket;
    P2pFrontEnd &frontEnd;
    QByteArray buffer;
    bool closing = false;
};

} // namespace lydevice::sim
