#pragma once

// A simulated recorder or camera on loopback, for tests, the benchmark and demonstrations.
//
//     lydevice::sim::SimulatorOptions options;
//     options.kind = lydevice::sim::DeviceKind::Recorder;
//     options.channels = 2;
//     lydevice::sim::DeviceSimulator device(options);
//     device.listen(); // free ports on 127.0.0.1
//     ... point a client at device.httpPort() / device.p2pPort() ...
//     QCOMPARE(device.openHandles().size(), 0); // the client closed what it opened
//
// One simulator plays one device, over HTTP and over the P2P link at once (two ports); for a
// recorder and a camera start two. Everything runs in the thread that owns the simulator, through
// its event loop; nothing blocks. What the device holds and how it maps record and picture types
// to the wire is described in SimulatorOptions.h, the recorder's replies in RecorderDevice.h, the
// camera's in CameraDevice.h, the link framing in P2pFrontEnd.h, the faults in FaultInjector.h.
//
// - catalogue(): the content, with accessors that give what a search should find, in the order
//   the device serves it, and the JPEG of each picture.
// - books(): handles opened, paged and closed (openHandles(), strayCloses()) and the request log.
// - Options can be changed while running through the setters below; they apply to the next
//   request. Content options are fixed at construction.

#include "Catalogue.h"
#include "DeviceBooks.h"
#include "FaultInjector.h"
#include "SimulatorOptions.h"

#include <QHostAddress>
#include <QObject>

#include <memory>

namespace lydevice::sim
{

class DeviceLogic;
class HttpFrontEnd;
class P2pFrontEnd;

class DeviceSimulator : public QObject
{
    Q_OBJECT

public:
    explicit DeviceSimulator(const SimulatorOptions &options = SimulatorOptions(), QObject *parent = nullptr);
    ~DeviceSimulator() override;

    // Listens for HTTP and for the link; port 0 picks a free port. False (with errorString())
    // when either port cannot be had; nothing listens then.
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 httpPort = 0, quint16 p2pPort = 0);
    // Stops listening and drops every connection. The books and the device's handles stay.
    void close();
    quint16 httpPort() const;
    quint16 p2pPort() const;
    QString errorString() const;

    DeviceKind kind() const;
    const SimulatorOptions &options() const;
    const Catalogue &catalogue() const;
    DeviceBooks &books();
    const DeviceBooks &books() const;
    QVector<HandleRecord> openHandles() const;

    void addFault(const FaultRule &rule);
    void addFault(FaultKind kind, const QString &match, int count = -1, int delayMs = 0);
    void clearFaults();
    void setChunked(bool chunked, const QVector<int> &chunkSizes = QVector<int>());
    void setCredentials(const QString &user, const QString &password);
    void setKeepAlive(bool keepAlive);

signals:
    // After each request has been answered (or dropped). A listener may call close() or change
    // options; it must not destroy the simulator.
    void requestServed(const lydevice::sim::RequestRecord &record);

private:
    SimulatorOptions settings;
    Catalogue content;
    DeviceBooks ledger;
    FaultInjector injector;
    std::unique_ptr<DeviceLogic> device;
    std::unique_ptr<HttpFrontEnd> http;
    std::unique_ptr<P2pFrontEnd> link;
    QString error;
};

} // namespace lydevice::sim
