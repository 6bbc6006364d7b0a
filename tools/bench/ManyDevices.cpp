#include "ManyDevices.h"

#include <lydevice/lydevice.h>
#include <lyio/lyio.h>

#include <QElapsedTimer>

using namespace lydevice;

namespace
{

constexpr int timeoutMs = 600000;

QVector<TargetDesc> registerTargets(const Search &search, int devices)
{
    QVector<TargetDesc> targets;
    for (int i = 0; i < devices; ++i) {
        TargetDesc target;
        target.deviceType = DeviceType::NVR;
        target.handle = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), search.port);
        targets.append(target);
    }
    return targets;
}

qint64 searchAll(const Search &search, const QVector<TargetDesc> &targets, int *failures)
{
    int answered = 0;
    QElapsedTimer clock;
    clock.start();
    for (const TargetDesc &target : targets) {
        search_video(target,
            search.channels,
            RecordVideoType::All,
            StreamType::Main,
            search.start,
            search.end,
            [&](int code, QList<QVariant> records) {
                ++answered;
                *failures += code < 0 || records.size() != search.expected ? 1 : 0;
            });
    }
    runUntil([&]() { return answered == targets.size(); }, timeoutMs);
    return clock.nsecsElapsed();
}

qint64 readAll(const Search &search, const QVector<TargetDesc> &targets, int *failures)
{
    int ended = 0;
    QVector<quint64> ids;
    QElapsedTimer clock;
    clock.start();
    const RecordVideoDesc desc { search.channels, RecordVideoType::All, StreamType::Main, search.start, search.end };
    for (const TargetDesc &target : targets) {
        ids.append(search_video_begin(target, desc, [&](int code, RecordVideoType type, QList<QVariant> records) {
            // Over HTTP a reading ends with the end delivery or a failure.
            const bool last = code == -1 || (type == RecordVideoType::Alarm && records.isEmpty());
            ended += last ? 1 : 0;
            *failures += code == -1 ? 1 : 0;
        }));
    }
    runUntil([&]() { return ended == targets.size(); }, timeoutMs);
    const qint64 elapsed = clock.nsecsElapsed();
    for (const quint64 id : qAsConst(ids))
        search_video_end(id);
    return elapsed;
}

} // namespace

ManyDevicesRun runManyDevices(const Search &search, int devices)
{
    ManyDevicesRun run;
    run.devices = devices;
    const QVector<TargetDesc> targets = registerTargets(search, devices);
    run.searchNs = searchAll(search, targets, &run.failures);
    run.readingNs = readAll(search, targets, &run.failures);
    cancel_all_record_searching();
    // Lets the closes go out and forgets the targets before the next round.
    runUntil([]() { return false; }, 500);
    for (const TargetDesc &target : targets)
        tcp_scheduler_remove_target(target.handle);
    return run;
}
