#include "CallLedger.h"

#include <QCoreApplication>
#include <QThread>

namespace
{

// Violations kept word for word; the rest are only counted.
constexpr int kSampleLimit = 25;

const char *lateCallback(const CallRecord &call)
{
    switch (call.fate) {
    case Fate::Answered:
        return call.what == Export::SearchVideoBegin ? "a delivery after the last one of its reading"
                                                     : "a second answer";
    case Fate::Ended:
        return "a delivery after the tool's search_video_end ran";
    case Fate::Cancelled:
        return "a callback after a cancel_all_record_searching that covered the call";
    case Fate::Open:
        break;
    }
    return "";
}

bool onMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

const char *exportName(Export what)
{
    static const char *const names[kExportCount] = { "init",
        "cleanup",
        "cancel_all_record_searching",
        "search_video",
        "search_video_begin",
        "search_video_end",
        "search_picture",
        "read_picture_page",
        "read_picture" };
    return names[int(what)];
}

CallLedger::CallLedger(int workers)
    : openPerWorker(std::size_t(workers), 0)
{
}

CallPtr CallLedger::open(Export what, int worker, int epoch, const lydevice::TargetDesc &target, bool mustFail)
{
    auto call = std::make_shared<CallRecord>();
    call->what = what;
    call->worker = worker;
    call->epoch = epoch;
    call->target = target;
    call->mustFail = mustFail;
    const std::lock_guard<std::mutex> hold(lock);
    call->serial = ++lastSerial;
    live.emplace(call->serial, call);
    ++openPerWorker[std::size_t(worker)];
    ++table[int(what)].calls;
    return call;
}

void CallLedger::counted(Export what)
{
    const std::lock_guard<std::mutex> hold(lock);
    ++table[int(what)].calls;
}

void CallLedger::answered(const CallPtr &call, bool failure, bool last)
{
    const bool mainThread = onMainThread();
    const std::lock_guard<std::mutex> hold(lock);
    Row &row = table[int(call->what)];
    ++row.callbacks;
    row.failures += failure ? 1 : 0;
    if (!mainThread)
        violationLocked(describe(*call) + QStringLiteral(": a callback outside the main thread"));
    if (call->fate != Fate::Open) {
        violationLocked(describe(*call) + QStringLiteral(": ") + QLatin1String(lateCallback(*call)));
        return;
    }
    ++call->callbacks;
    if (call->mustFail && !(failure && last))
        violationLocked(describe(*call) + QStringLiteral(": cannot start, yet not answered in the failure form"));
    if (last)
        retire(*call, Fate::Answered);
}

void CallLedger::begun(const CallPtr &call, quint64 id)
{
    const std::lock_guard<std::mutex> hold(lock);
    call->readingId = id;
    if (call->mustFail && id != 0)
        violationLocked(describe(*call) + QStringLiteral(": cannot start, yet search_video_begin returned an id"));
}

void CallLedger::cancelRan(int number)
{
    const std::lock_guard<std::mutex> hold(lock);
    std::vector<CallRecord *> covered;
    for (const auto &entry : live) {
        if (entry.second->epoch < number)
            covered.push_back(entry.second.get());
    }
    for (CallRecord *call : covered)
        retire(*call, Fate::Cancelled);
}

void CallLedger::endRan(const CallPtr &reading)
{
    const std::lock_guard<std::mutex> hold(lock);
    if (reading->fate == Fate::Open)
        retire(*reading, Fate::Ended);
}

void CallLedger::violation(const QString &text, qint64 count)
{
    const std::lock_guard<std::mutex> hold(lock);
    violationLocked(text, count);
}

bool CallLedger::isOpen(const CallPtr &call) const
{
    const std::lock_guard<std::mutex> hold(lock);
    return call->fate == Fate::Open;
}

int CallLedger::openCount(int worker) const
{
    const std::lock_guard<std::mutex> hold(lock);
    return openPerWorker[std::size_t(worker)];
}

int CallLedger::openTotal() const
{
    const std::lock_guard<std::mutex> hold(lock);
    return int(live.size());
}

int CallLedger::reportUnanswered()
{
    const std::lock_guard<std::mutex> hold(lock);
    for (const auto &entry : live) {
        const CallRecord &call = *entry.second;
        ++table[int(call.what)].unanswered;
        violationLocked(describe(call)
            + QStringLiteral(": never answered (%1 callbacks, reading id %2)").arg(call.callbacks).arg(call.readingId));
    }
    return int(live.size());
}

std::array<CallLedger::Row, kExportCount> CallLedger::rows() const
{
    const std::lock_guard<std::mutex> hold(lock);
    return table;
}

qint64 CallLedger::violationCount() const
{
    const std::lock_guard<std::mutex> hold(lock);
    return violations;
}

QStringList CallLedger::violationSamples() const
{
    const std::lock_guard<std::mutex> hold(lock);
    return samples;
}

QString CallLedger::describe(const CallRecord &call)
{
    const lydevice::TargetDesc &target = call.target;
    const QString kind = target.deviceType == lydevice::DeviceType::NVR
        ? QStringLiteral("nvr")
        : (target.deviceType == lydevice::DeviceType::IPC ? QStringLiteral("ipc") : QStringLiteral("unknown kind"));
    return QStringLiteral("%1 #%2 (worker %3, %4 %5 handle %6, after %7 cancels)")
        .arg(QLatin1String(exportName(call.what)))
        .arg(call.serial)
        .arg(call.worker)
        .arg(kind, target.transport == lydevice::TransportType::Ip ? QStringLiteral("ip") : QStringLiteral("p2p"))
        .arg(target.handle)
        .arg(call.epoch);
}

void CallLedger::retire(CallRecord &call, Fate fate)
{
    call.fate = fate;
    Row &row = table[int(call.what)];
    row.answered += fate == Fate::Answered ? 1 : 0;
    row.cancelled += fate == Fate::Cancelled ? 1 : 0;
    row.ended += fate == Fate::Ended ? 1 : 0;
    --openPerWorker[std::size_t(call.worker)];
    // The map may hold the last reference to the call: keep the key out of it.
    const quint64 serial = call.serial;
    live.erase(serial);
}

void CallLedger::violationLocked(const QString &text, qint64 count)
{
    violations += count;
    if (samples.size() < kSampleLimit)
        samples.append(text);
}
