#pragma once

#include "CallGate.h"
#include "CallLedger.h"
#include "DeviceFarm.h"
#include "HammerOptions.h"
#include "RandomArguments.h"
#include "ResourceSampler.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTextStream>

#include <functional>
#include <memory>
#include <vector>

class Worker;

// One run of lydevice-hammer, in the main thread: starts the devices and the workers, lets them
// call for the time asked (arming faults, or sampling the process in a soak), stops them, waits
// for the answers still owed, ends what is left, cancels everything, checks that the devices hold
// nothing open any more and reports. The exit code is 0 only without any violation (and, in a
// soak, without growth beyond the limits).
class Hammer
{
public:
    explicit Hammer(const HammerOptions &options);
    ~Hammer();

    int run();

private:
    void printHeading();
    void startWorkers();
    void callFor(qint64 ms);
    bool stopWorkers();
    void drain();
    void finish();
    void checkDevices();
    void sample();
    bool reportGrowth();
    void report();
    qint64 totalCalls() const;
    // Runs the event loop until `done` holds or `timeoutMs` has passed; returns `done()`.
    static bool runUntil(const std::function<bool()> &done, qint64 timeoutMs);

    const HammerOptions options;
    QTextStream out;
    QObject mainContext; // posted functors of the workers run in the main thread through it
    CallLedger ledger;
    CallGate gate;
    DeviceFarm farm;
    RandomArguments random; // the main thread's own choices (faults)
    ResourceSampler sampler;
    std::vector<std::unique_ptr<Worker>> workers;
    QElapsedTimer clock;
    qint64 callingMs = 0;
    int leftOpen = 0;
};
