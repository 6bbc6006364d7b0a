#pragma once

#include "DeviceBooks.h"
#include "DeviceLogic.h"
#include "FaultInjector.h"
#include "HttpMessage.h"
#include "SimulatorOptions.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace lydevice::sim
{

// The device's web server: accepts connections, checks credentials, applies the armed faults,
// hands each request to the device and books it. Each connection is an HttpConnection.
class HttpFrontEnd : public QObject
{
    Q_OBJECT

public:
    // A request on its way through a connection: what it is and what will happen to it.
    struct Exchange {
        HttpRequest request;
        QString kind;
        bool authorized = true;
        FaultDecision decision;
    };

    HttpFrontEnd(DeviceLogic &device, DeviceBooks &books, FaultInjector &faults, const SimulatorOptions &options);
    ~HttpFrontEnd() override;

    bool listen(const QHostAddress &address, quint16 port);
    void close();
    quint16 port() const;
    QString errorString() const;

    // Used by the connections. receive() runs when a request has arrived, answer() when it is
    // answered (after any delay): only then does the device act on it. A request that ends in a
    // fault other than a delay never reaches the device.
    Exchange receive(const HttpRequest &request);
    HttpReply answer(const Exchange &exchange);
    void served(const Exchange &exchange, int status);
    bool chunked() const;
    bool keepAlive() const;
    QByteArray chunk(const QByteArray &body, bool complete);

signals:
    void requestServed(const lydevice::sim::RequestRecord &record);

private:
    void onNewConnection();
    bool authorized(const HttpRequest &request) const;

    DeviceLogic &device;
    DeviceBooks &books;
    FaultInjector &faults;
    const SimulatorOptions &options;
    QTcpServer server;
    int chunkCursor = 0;
};

} // namespace lydevice::sim
