#include "SearchRuns.h"

#include "BareHttpClient.h"
#include "BareRecorderSearch.h"
#include "Catalogue.h"
#include "ProcStatus.h"

#include <lydevice/lydevice.h>
#include <lyio/lyio.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

using namespace lydevice;

namespace
{
// Longest a single search may take before the benchmark gives up on it.
constexpr int runTimeoutMs = 300000;
} // namespace

bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick;
    tick.start(50);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

Search searchOf(const sim::SimulatorOptions &options)
{
    Search search;
    for (int channel = 0; channel < options.channels; ++channel)
        search.channels.append(channel);
    search.start = options.spanStart;
    search.end = options.spanStart.addSecs(options.spanSeconds);
    // What the search must find, from the same content description the device uses.
    search.expected = sim::Catalogue(options).expectedVideoSearch(search.channels, 0, search.start, search.end).size();
    return search;
}

Run runFloor(const Search &search)
{
    BareHttpClient client(QStringLiteral("127.0.0.1"), search.port);
    BareRecorderSearch bare(client, search.channels, search.start, search.end);
    Run run;
    bool finished = false;
    bare.start([&](const BareRecorderSearch::Result &result) {
        run.ok = result.ok;
        run.records = result.records;
        run.requests = result.requests;
        run.elapsedNs = result.elapsedNs;
        finished = true;
    });
    runUntil([&]() { return finished; }, runTimeoutMs);
    // The closes go out after the clock stopped; the client stays until they are answered.
    runUntil([&]() { return !client.isBusy(); }, 10000);
    return run;
}

Run runLibrary(const Search &search, bool collect)
{
    // A new target each run: a new connection, and no session of an earlier run to close first.
    TargetDesc target;
    target.deviceType = DeviceType::NVR;
    target.transport = TransportType::Ip;
    target.handle = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), search.port);

    Run run;
    procstatus::resetPeak();
    bool finished = false;
    QElapsedTimer clock;
    clock.start();
    if (collect)
        CALLGRIND_TOGGLE_COLLECT;
    search_video(target,
        search.channels,
        RecordVideoType::All,
        StreamType::Main,
        search.start,
        search.end,
        [&](int code, QList<QVariant> records) {
            run.elapsedNs = clock.nsecsElapsed();
            run.ok = code >= 0;
            run.records = records.size();
            finished = true;
        });
    runUntil([&]() { return finished; }, runTimeoutMs);
    if (collect)
        CALLGRIND_TOGGLE_COLLECT;
    run.peakKb = procstatus::peakKb();
    // Closes the playback session; the stop goes out later, not waited for.
    cancel_all_record_searching();
    return run;
}

namespace
{

// The requests of one search as the device received them, with the handles masked (each search
// has its own) and the closing requests left out (they go out after the figures are taken).
QStringList searchRequests(const sim::DeviceBooks &books)
{
    QStringList requests;
    for (const sim::RequestRecord &record : books.requests()) {
        if (record.kind == QLatin1String("get.playback.evt_backup_search_close")
            || record.kind == QLatin1String("set.playback.stop_batch"))
            continue;
        QStringList pairs;
        for (const auto &pair : record.query)
            pairs.append(pair.first + QLatin1Char('=')
                + (pair.first == QLatin1String("sid") ? QStringLiteral("*") : pair.second));
        requests.append(record.path + QLatin1Char('?') + pairs.join(QLatin1Char('&')));
    }
    return requests;
}

} // namespace

void compareRequests(QTextStream &out, sim::DeviceBooks &books, const Search &search)
{
    books.clearRequests();
    runFloor(search);
    const QStringList floorRequests = searchRequests(books);
    books.clearRequests();
    runLibrary(search);
    const QStringList libraryRequests = searchRequests(books);
    out << "same requests as LyDevice: "
        << (floorRequests == libraryRequests ? QStringLiteral("yes") : QStringLiteral("NO")) << " ("
        << floorRequests.size() << " and " << libraryRequests.size() << ")\n";
}

QByteArray runLine(const Run &run)
{
    return QStringLiteral("run ok=%1 records=%2 ns=%3 requests=%4 peakKb=%5\n")
        .arg(run.ok ? 1 : 0)
        .arg(run.records)
        .arg(run.elapsedNs)
        .arg(run.requests)
        .arg(run.peakKb)
        .toLatin1();
}

std::optional<Run> parseRunLine(const QByteArray &line)
{
    const QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() != 6 || words.first() != "run")
        return std::nullopt;
    const auto value = [&](int i) { return words.at(i).mid(words.at(i).indexOf('=') + 1).toLongLong(); };
    Run run;
    run.ok = value(1) != 0;
    run.records = int(value(2));
    run.elapsedNs = value(3);
    run.requests = int(value(4));
    run.peakKb = value(5);
    return run;
}
