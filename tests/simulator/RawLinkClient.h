#pragma once

#include <QJsonObject>
#include <QTcpSocket>
#include <QVector>

// A bare client of the simulator's P2P link: writes request frames and collects the reply frames
// line by line, in arrival order. Waiting runs the event loop with a deadline.
class RawLinkClient
{
public:
    explicit RawLinkClient(quint16 port);

    bool connectToDevice(int timeoutMs = 5000);
    // Writes one frame and returns its id.
    int send(const QString &kind, int command, const QJsonObject &request);
    // The reply frame with `id` ({"id", "reply"}); an empty object when none came in time.
    QJsonObject waitFrame(int id, int timeoutMs = 10000);
    // The reply object of a command sent and waited for.
    QJsonObject call(const QString &kind, int command, const QJsonObject &request);
    bool waitForClose(int timeoutMs = 5000);

    QTcpSocket socket;
    QVector<QJsonObject> frames; // every reply frame received, in order
    QByteArray pending; // bytes after the last complete line

private:
    void readFrames();

    quint16 port;
    int nextId = 1;
};
