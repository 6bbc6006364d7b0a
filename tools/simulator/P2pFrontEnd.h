#pragma once

#include "DeviceBooks.h"
#include "DeviceLogic.h"
#include "FaultInjector.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QTcpServer>

namespace lydevice::sim
{

// The device's end of the P2P link: a TCP server whose connections carry one compact JSON object
// per line each way. A request frame is {"id": <number>, "kind": "ipc"|"nvr", "command": <int>,
// "request": <object>}; the answer is {"id": <same>, "reply": <object>}. Frames are answered
// independently, so a delayed one does not hold back the others. A frame for the other kind of
// device, or with an unknown command, gets the reply {"res": "-1", "error": ...}; a line that is
// not such a frame (or has no "id") is dropped.
class P2pFrontEnd : public QObject
{
    Q_OBJECT

public:
    struct Exchange {
        QJsonValue id;
        QString deviceKind;
        int command = -1;
        QJsonObject request;
        QString kind; // "nvr.<command>" / "ipc.<command>"
        FaultDecision decision;
    };

    P2pFrontEnd(DeviceLogic &device, DeviceBooks &books, FaultInjector &faults);
    ~P2pFrontEnd() override;

    bool listen(const QHostAddress &address, quint16 port);
    void close();
    quint16 port() const;
    QString errorString() const;

    // Used by the connections, as in HttpFrontEnd.
    Exchange receive(const QJsonObject &frame);
    QJsonObject answer(const Exchange &exchange);
    void served(const Exchange &exchange, bool sent);

signals:
    void requestServed(const lydevice::sim::RequestRecord &record);

private:
    void onNewConnection();

    DeviceLogic &device;
    DeviceBooks &books;
    FaultInjector &faults;
    QTcpServer server;
};

} // namespace lydevice::sim
