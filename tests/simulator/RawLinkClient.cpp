#include "RawLinkClient.h"

#include "RawHttpClient.h"
#include <QJsonDocument>

RawLinkClient::RawLinkClient(quint16 port)
    : port(port)
{
}

bool RawLinkClient::connectToDevice(int timeoutMs)
{
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    pending.clear();
    return waitOnSocket(
        socket, [this]() { return socket.state() == QAbstractSocket::ConnectedState; }, timeoutMs);
}

int RawLinkClient::send(const QString &kind, int command, const QJsonObject &request)
{
    const int id = nextId++;
    const QJsonObject frame { { QStringLiteral("id"), id },
        { QStringLiteral("kind"), kind },
        { QStringLiteral("command"), command },
        { QStringLiteral("request"), request } };
    socket.write(QJsonDocument(frame).toJson(QJsonDocument::Compact) + '\n');
    return id;
}

void RawLinkClient::readFrames()
{
    pending += socket.readAll();
    int newline;
    while ((newline = pending.indexOf('\n')) >= 0) {
        frames.append(QJsonDocument::fromJson(pending.left(newline)).object());
        pending.remove(0, newline + 1);
    }
}

QJsonObject RawLinkClient::waitFrame(int id, int timeoutMs)
{
    QJsonObject found;
    waitOnSocket(
        socket,
        [&]() {
            readFrames();
            for (const QJsonObject &frame : frames) {
                if (frame.value(QLatin1String("id")).toInt() == id) {
                    found = frame;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

QJsonObject RawLinkClient::call(const QString &kind, int command, const QJsonObject &request)
{
    return waitFrame(send(kind, command, request)).value(QLatin1String("reply")).toObject();
}

bool RawLinkClient::waitForClose(int timeoutMs)
{
    return waitOnSocket(
        socket,
        [this]() {
            readFrames();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}
