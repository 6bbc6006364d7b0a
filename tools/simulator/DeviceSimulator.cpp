#include "DeviceSimulator.h"

#include "CameraDevice.h"
#include "HttpFrontEnd.h"
#include "P2pFrontEnd.h"
#include "RecorderDevice.h"

namespace lydevice::sim
{

DeviceSimulator::DeviceSimulator(const SimulatorOptions &options, QObject *parent)
    : QObject(parent)
    , settings(options)
    , content(options)
    , ledger(options.requestLogLimit)
{
    qRegisterMetaType<lydevice::sim::RequestRecord>();
    if (settings.kind == DeviceKind::Camera)
        device = std::make_unique<CameraDevice>(content, ledger, settings);
    else
        device = std::make_unique<RecorderDevice>(content, ledger, settings);
    for (const FaultRule &rule : settings.faults)
        injector.add(rule);
    http = std::make_unique<HttpFrontEnd>(*device, ledger, injector, settings);
    link = std::make_unique<P2pFrontEnd>(*device, ledger, injector);
    connect(http.get(), &HttpFrontEnd::requestServed, this, &DeviceSimulator::requestServed);
    connect(link.get(), &P2pFrontEnd::requestServed, this, &DeviceSimulator::requestServed);
}

DeviceSimulator::~DeviceSimulator()
{
    // The front ends use the device, the books and the settings: they go first.
    link.reset();
    http.reset();
}

bool DeviceSimulator::listen(const QHostAddress &address, quint16 httpPort, quint16 p2pPort)
{
    close();
    if (!http->listen(address, httpPort)) {
        error = QStringLiteral("http: ") + http->errorString();
        return false;
    }
    if (!link->listen(address, p2pPort)) {
        error = QStringLiteral("p2p: ") + link->errorString();
        http->close();
        return false;
    }
    error.clear();
    return true;
}

void DeviceSimulator::close()
{
    http->close();
    link->close();
}

quint16 DeviceSimulator::httpPort() const
{
    return http->port();
}

quint16 DeviceSimulator::p2pPort() const
{
    return link->port();
}

QString DeviceSimulator::errorString() const
{
    return error;
}

DeviceKind DeviceSimulator::kind() const
{
    return settings.kind;
}

const SimulatorOptions &DeviceSimulator::options() const
{
    return settings;
}

const Catalogue &DeviceSimulator::catalogue() const
{
    return content;
}

DeviceBooks &DeviceSimulator::books()
{
    return ledger;
}

const DeviceBooks &DeviceSimulator::books() const
{
    return ledger;
}

QVector<HandleRecord> DeviceSimulator::openHandles() const
{
    return ledger.openHandles();
}

void DeviceSimulator::addFault(const FaultRule &rule)
{
    injector.add(rule);
}

void DeviceSimulator::addFault(FaultKind kind, const QString &match, int count, int delayMs)
{
    FaultRule rule;
    rule.kind = kind;
    rule.match = match;
    rule.count = count;
    rule.delayMs = delayMs;
    injector.add(rule);
}

void DeviceSimulator::clearFaults()
{
    injector.clear();
}

void DeviceSimulator::setChunked(bool chunked, const QVector<int> &chunkSizes)
{
    settings.chunked = chunked;
    if (!chunkSizes.isEmpty())
        settings.chunkSizes = chunkSizes;
}

void DeviceSimulator::setCredentials(const QString &user, const QString &password)
{
    settings.user = user;
    settings.password = password;
}

void DeviceSimulator::setKeepAlive(bool keepAlive)
{
    settings.keepAlive = keepAlive;
}

} // namespace lydevice::sim
