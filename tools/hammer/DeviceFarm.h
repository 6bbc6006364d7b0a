#pragma once

#include "HammerOptions.h"

#include <lydevice/lydevice.h>

#include <QMap>
#include <QString>
#include <QVector>

#include <memory>
#include <vector>

namespace lydevice::sim
{
class DeviceSimulator;
}
class ChildSimulator;
class RandomArguments;

// The simulated devices the hammer calls: recorders and cameras on loopback, each over HTTP and
// over the P2P link. In this process (hammer mode: their books tell what the library left open)
// or in child processes (soak mode: their memory is not the host's).
//
// Every target has a handle of its own, also across the two transports, so that the library
// takes each (device, transport) for a device of its own: the two stand-ins number their handles
// independently, and equal handles name one device.
class DeviceFarm
{
public:
    struct Totals {
        qint64 requests = 0;
        qint64 handlesOpened = 0;
        qint64 strayCloses = 0;
    };

    explicit DeviceFarm(const HammerOptions &options);
    ~DeviceFarm();

    bool start(QString *error);
    // Every device over ip, then over p2p, then a target of a kind no device has.
    QVector<lydevice::TargetDesc> targets() const;
    QString description() const;
    bool inProcess() const;

    // In this process only: arms one fault for the next matching request of a random device.
    // Closing requests are spared (a failed close leaves the handle open, which is no fault of
    // the library's), and so is everything that breaks a link, on which closes may be waiting.
    void armRandomFault(RandomArguments &random);
    // In this process only: the handles the devices hold open, counted by device and kind.
    QMap<QString, int> openHandles() const;
    Totals totals() const;
    // Soak: the children's resident sets, in kB.
    qint64 childrenResidentKb() const;

private:
    struct Endpoint {
        lydevice::DeviceType kind;
        quint16 http;
        quint16 link;
    };

    bool startInProcess(QString *error);
    bool startChildren(QString *error);
    void registerEndpoints(const QVector<Endpoint> &endpoints);

    const HammerOptions options;
    std::vector<std::unique_ptr<lydevice::sim::DeviceSimulator>> simulators;
    std::vector<std::unique_ptr<ChildSimulator>> children;
    QVector<lydevice::TargetDesc> registered;
};
