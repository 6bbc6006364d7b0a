#include "Hammer.h"

#include "LogTally.h"
#include "Worker.h"

#include <lydevice/lydevice.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{

// A worker still in a call this long after it was asked to stop is stuck.
constexpr qint64 stopTimeoutMs = 30000;
// After the final cancel: how long the closing requests may take to reach the devices.
constexpr qint64 closeTimeoutMs = 10000;
// After the final cancel: callbacks that come this late would still be seen.
constexpr qint64 lingerMs = 1000;

QString megabytes(qint64 kb)
{
    return QString::number(double(kb) / 1024.0, 'f', 1);
}

} // namespace

Hammer::Hammer(const HammerOptions &options)
    : options(options)
    , out(stdout)
    , ledger(options.threads)
    , farm(options)
    , random(options.seed)
{
}

Hammer::~Hammer() = default;

int Hammer::run()
{
    QString error;
    if (!farm.start(&error)) {
        QTextStream(stderr) << "lydevice-hammer: " << error << "\n";
        return 1;
    }
    printHeading();
    clock.start();
    startWorkers();
    callFor(qint64(options.seconds) * 1000);
    callingMs = clock.elapsed();
    if (!stopWorkers()) {
        report();
        out.flush();
        std::fflush(stdout);
        std::_Exit(1); // a worker is stuck in a call: it cannot be joined
    }
    drain();
    finish();
    report();
    const bool grewTooMuch = options.soak && !reportGrowth();
    return ledger.violationCount() > 0 || grewTooMuch ? 1 : 0;
}

void Hammer::printHeading()
{
    out << "lydevice-hammer: " << options.threads << " threads for " << options.seconds << " s, seed " << options.seed
        << "; " << farm.description() << "; faults " << (options.faults && farm.inProcess() ? "on" : "off")
        << "; a worker cancels everything once in ~" << options.cancelEvery << " calls\n";
    out.flush();
}

void Hammer::startWorkers()
{
    Worker::Shared shared;
    shared.ledger = &ledger;
    shared.gate = &gate;
    shared.mainContext = &mainContext;
    shared.targets = farm.targets();
    shared.cancelEvery = options.cancelEvery;
    shared.maxOpen = options.maxOpen;
    for (int i = 0; i < options.threads; ++i) {
        const quint64 seed = options.seed * 1000003u + quint64(i) + 1;
        workers.push_back(std::make_unique<Worker>(i, seed, shared));
    }
    for (const auto &worker : workers)
        worker->start();
}

void Hammer::callFor(qint64 ms)
{
    QTimer faults;
    QObject::connect(&faults, &QTimer::timeout, [this]() {
        if (random.percent(50))
            farm.armRandomFault(random);
    });
    if (options.faults)
        faults.start(100);
    QTimer samples;
    QObject::connect(&samples, &QTimer::timeout, [this]() { sample(); });
    if (options.soak) {
        out << "\n   time   resident MB   descriptors        calls\n";
        sample();
        samples.start(options.sampleSeconds * 1000);
    }
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
    if (options.soak && clock.elapsed() - sampler.samples().last().elapsedMs > 500)
        sample();
}

bool Hammer::stopWorkers()
{
    for (const auto &worker : workers)
        worker->requestStop();
    const bool stopped = runUntil(
        [this]() {
            return std::all_of(workers.begin(), workers.end(), [](const auto &worker) { return worker->isDone(); });
        },
        stopTimeoutMs);
    for (std::size_t i = 0; i < workers.size(); ++i) {
        if (workers[i]->isDone())
            workers[i]->join();
        else
            ledger.violation(QStringLiteral("worker %1 is stuck in a call %2 s after it was asked to stop")
                                 .arg(i)
                                 .arg(stopTimeoutMs / 1000));
    }
    return stopped;
}

void Hammer::drain()
{
    runUntil([this]() { return ledger.openTotal() == 0; }, qint64(options.drainSeconds) * 1000);
    ledger.reportUnanswered();
}

// Ends the readings still held, cancels everything and checks what the devices hold open.
void Hammer::finish()
{
    for (const auto &worker : workers) {
        for (quint64 id : worker->unendedReadings()) {
            ledger.counted(Export::SearchVideoEnd);
            lydevice::search_video_end(id);
        }
    }
    gate.cancel([this](int number) {
        ledger.counted(Export::CancelAll);
        lydevice::cancel_all_record_searching();
        ledger.cancelRan(number);
    });
    runUntil([]() { return false; }, lingerMs);
    if (farm.inProcess())
        checkDevices();
}

void Hammer::checkDevices()
{
    runUntil([this]() { return farm.openHandles().isEmpty(); }, closeTimeoutMs);
    const QMap<QString, int> open = farm.openHandles();
    for (auto it = open.cbegin(); it != open.cend(); ++it) {
        leftOpen += it.value();
        ledger.violation(
            QStringLiteral("open after the final cancel: %1 x %2").arg(it.key()).arg(it.value()), it.value());
    }
}

void Hammer::sample()
{
    const ResourceSampler::Sample taken = sampler.take(clock.elapsed(), totalCalls());
    out << QStringLiteral("%1 s  %2  %3  %4\n")
               .arg(taken.elapsedMs / 1000, 5)
               .arg(megabytes(taken.residentKb), 12)
               .arg(taken.descriptors, 12)
               .arg(taken.calls, 11);
    out.flush();
}

// Prints the growth of the soak; false when it is beyond the limits.
bool Hammer::reportGrowth()
{
    const ResourceSampler::Growth growth = sampler.growth(qint64(options.warmupSeconds) * 1000);
    if (!growth.valid) {
        out << "growth: too few samples after the " << options.warmupSeconds << " s warm-up to compare\n";
        return true;
    }
    const qint64 grownKb = growth.lastKb - growth.firstKb;
    const int grownFds = growth.lastDescriptors - growth.firstDescriptors;
    const bool ok = grownKb <= qint64(options.rssGrowthLimitMb) * 1024 && grownFds <= options.fdGrowthLimit;
    out << QStringLiteral("growth (median of the %1 s after the %2 s warm-up -> median of the last %1 s): "
                          "resident %3 -> %4 MB (%5%6 MB, limit +%7), descriptors %8 -> %9 (%10%11, limit +%12): %13\n")
               .arg(growth.windowMs / 1000)
               .arg(growth.firstFromMs / 1000)
               .arg(megabytes(growth.firstKb), megabytes(growth.lastKb), grownKb >= 0 ? QStringLiteral("+") : QString())
               .arg(megabytes(grownKb))
               .arg(options.rssGrowthLimitMb)
               .arg(growth.firstDescriptors)
               .arg(growth.lastDescriptors)
               .arg(grownFds >= 0 ? QStringLiteral("+") : QString())
               .arg(grownFds)
               .arg(options.fdGrowthLimit)
               .arg(ok ? QStringLiteral("within the limits") : QStringLiteral("BEYOND THE LIMITS"));
    if (!farm.inProcess())
        out << "simulators (child processes) resident at the end: " << megabytes(farm.childrenResidentKb()) << " MB\n";
    return ok;
}

qint64 Hammer::totalCalls() const
{
    qint64 calls = 0;
    for (const CallLedger::Row &row : ledger.rows())
        calls += row.calls;
    return calls;
}

bool Hammer::runUntil(const std::function<bool()> &done, qint64 timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick;
    tick.start(20);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

void Hammer::report()
{
    const auto rows = ledger.rows();
    out << "\nexport                         calls   answered  callbacks   failures  cancelled      ended unanswered\n";
    qint64 calls = 0, callbacks = 0;
    for (int i = 0; i < kExportCount; ++i) {
        const CallLedger::Row &row = rows[std::size_t(i)];
        const Export what = Export(i);
        const bool answers = what != Export::Init && what != Export::Cleanup && what != Export::CancelAll
            && what != Export::SearchVideoEnd;
        const auto cell = [answers](qint64 value) {
            return answers ? QStringLiteral("%1").arg(value, 10) : QStringLiteral("%1").arg(QStringLiteral("-"), 10);
        };
        out << QStringLiteral("%1 %2 ").arg(QLatin1String(exportName(what)), -27).arg(row.calls, 9)
            << cell(row.answered) << " " << cell(row.callbacks) << " " << cell(row.failures) << " "
            << cell(row.cancelled) << " " << cell(row.ended) << " " << cell(row.unanswered) << "\n";
        calls += row.calls;
        callbacks += row.callbacks;
    }
    const double seconds = qMax<double>(0.001, double(callingMs) / 1000.0);
    out << QStringLiteral("\n%1 calls in %2 s (%3/s), %4 callbacks (%5/s), %6 cancels of all\n")
               .arg(calls)
               .arg(seconds, 0, 'f', 1)
               .arg(double(calls) / seconds, 0, 'f', 0)
               .arg(callbacks)
               .arg(double(callbacks) / seconds, 0, 'f', 0)
               .arg(gate.cancelsPosted());
    if (farm.inProcess()) {
        const DeviceFarm::Totals totals = farm.totals();
        out << QStringLiteral("devices: %1 requests served, %2 handles opened, %3 open after the final cancel, "
                              "%4 closes of handles not open\n")
                   .arg(totals.requests)
                   .arg(totals.handlesOpened)
                   .arg(leftOpen)
                   .arg(totals.strayCloses);
    }
    out << "library log: " << LogTally::summary(6) << "\n";
    out << "violations: " << ledger.violationCount() << "\n";
    for (const QString &text : ledger.violationSamples())
        out << "  " << text << "\n";
    out.flush();
}
