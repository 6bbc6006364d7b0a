#pragma once

#include "HttpFrontEnd.h"

#include <QByteArray>
#include <QObject>

class QTcpSocket;

namespace lydevice::sim
{

// One client connection: reads requests in turn (pipelined ones wait for the one before), answers
// each through the front end and keeps the connection open or closes it as the request asks.
// The connection is a child of the front end and deletes itself once its socket has closed.
class HttpConnection : public QObject
{
    Q_OBJECT

public:
    // Takes over `socket` (it becomes a child of the connection).
    HttpConnection(QTcpSocket *socket, HttpFrontEnd &frontEnd);
    // Drops the connection; safe from within the connection's own calls.
    void shutdown();

private:
    void onReadyRead();
    void processNext();
    void respond(const HttpFrontEnd::Exchange &exchange);
    void refuse(int status);

    QTcpSocket *socket;
    HttpFrontEnd &frontEnd;
    QByteArray buffer;
    bool busy = false; // a request is being answered (possibly after a delay)
    bool closing = false;
};

} // namespace lydevice::sim
