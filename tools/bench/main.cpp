// lydevice-bench: how fast search_video reads a recorder that holds many event records, over
// HTTP through the LyIO stand-in, and how much memory the host needs for it; measured against the
// floor, the same request sequence sent by a bare keep-alive client that parses nothing.

#include "BareHttpClient.h"
#include "BareRecorderSearch.h"
#include "ProcStatus.h"
#include "SimulatorProcess.h"

#include "Catalogue.h"
#include "DeviceSimulator.h"

#include <lydevice/lydevice.h>
#include <lyio/lyio.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace lydevice;

namespace
{
// Longest a single search may take before the benchmark gives up on it.
constexpr int runTimeoutMs = 300000;

struct Settings {
    int records = 100000;
    int channels = 50;
    int runs = 3;
    bool inProcess = false;
    bool chunked = false;
    QString simulatorProgram = QStringLiteral(LYDEVICE_SIMULATOR_PATH);
};

struct Run {
    bool ok = false;
    int records = 0;
    qint64 elapsedNs = 0;
    int requests = 0; // floor runs
    qint64 peakKb = -1; // LyDevice runs: the host's peak during the search
};

// The simulated recorder: every record is a motion record, so that the event search for record
// type "all" finds them all; `records` of them spread over the channels.
sim::SimulatorOptions simulatorOptions(const Settings &settings)
{
    sim::SimulatorOptions options;
    options.kind = sim::DeviceKind::Recorder;
    options.channels = settings.channels;
    options.recordsPerType.fill(0);
    options.recordsPerType[int(sim::RecordType::Motion)]
        = (settings.records + settings.channels - 1) / settings.channels;
    options.tagsPerChannel = 0;
    options.setPictureCount(0);
    options.chunked = settings.chunked;
    return options;
}

QStringList simulatorArguments(const sim::SimulatorOptions &options)
{
    QStringList arguments { QStringLiteral("--kind"),
        QStringLiteral("nvr"),
        QStringLiteral("--channels"),
        QString::number(options.channels),
        QStringLiteral("--records"),
        QStringLiteral("0"),
        QStringLiteral("--records-of"),
        QStringLiteral("motion=%1").arg(options.recordsPerType[int(sim::RecordType::Motion)]),
        QStringLiteral("--tags"),
        QStringLiteral("0"),
        QStringLiteral("--pictures"),
        QStringLiteral("0") };
    if (options.chunked)
        arguments.append(QStringLiteral("--chunked"));
    return arguments;
}

bool readSettings(const QCoreApplication &app, Settings *settings, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times search_video on a simulated recorder over HTTP against a bare client sending the same requests."));
    parser.addHelpOption();
    const QCommandLineOption records(
        QStringLiteral("records"), QStringLiteral("Event records in the span (default 100000)."), QStringLiteral("n"));
    const QCommandLineOption channels(QStringLiteral("channels"),
        QStringLiteral("Recorder channels holding them (default 50)."),
        QStringLiteral("n"));
    const QCommandLineOption runs(
        QStringLiteral("runs"), QStringLiteral("Measured runs of each client (default 3)."), QStringLiteral("n"));
    const QCommandLineOption inProcess(
        QStringLiteral("in-process"), QStringLiteral("Run the simulator in this process instead of a child."));
    const QCommandLineOption chunked(QStringLiteral("chunked"), QStringLiteral("Chunked replies."));
    const QCommandLineOption simulator(QStringLiteral("simulator"),
        QStringLiteral("The lydevice-simulator executable (default: the built one)."),
        QStringLiteral("path"));
    parser.addOptions({ records, channels, runs, inProcess, chunked, simulator });
    parser.process(app);

    const auto number = [&](const QCommandLineOption &option, int low, int high, int *value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const int read = parser.value(option).toInt(&ok);
        if (!ok || read < low || read > high) {
            *error = QStringLiteral("--%1 wants a number from %2 to %3").arg(option.names().first()).arg(low).arg(high);
            return false;
        }
        *value = read;
        return true;
    };
    if (!number(records, 1, 10000000, &settings->records) || !number(channels, 1, 64, &settings->channels)
        || !number(runs, 1, 100, &settings->runs))
        return false;
    settings->inProcess = parser.isSet(inProcess);
    settings->chunked = parser.isSet(chunked);
    if (parser.isSet(simulator))
        settings->simulatorProgram = parser.value(simulator);
    return true;
}

// Runs the event loop until `done` holds or the deadline passes.
bool runUntil(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick;
    tick.start(50);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

Run runFloor(quint16 port, const QVector<int> &channels, const QDateTime &start, const QDateTime &end)
{
    BareHttpClient client(QStringLiteral("127.0.0.1"), port);
    BareRecorderSearch search(client, channels, start, end);
    Run run;
    bool finished = false;
    search.start([&](const BareRecorderSearch::Result &result) {
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

Run runLibrary(quint16 port, const QVector<int> &channels, const QDateTime &start, const QDateTime &end)
{
    // A new target each run: a new connection, and no session of an earlier run to close first.
    TargetDesc target;
    target.deviceType = DeviceType::NVR;
    target.transport = TransportType::Ip;
    target.handle = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), port);

    Run run;
    procstatus::resetPeak();
    bool finished = false;
    QElapsedTimer clock;
    clock.start();
    search_video(
        target, channels, RecordVideoType::All, StreamType::Main, start, end, [&](int code, QList<QVariant> records) {
            run.elapsedNs = clock.nsecsElapsed();
            run.ok = code >= 0;
            run.records = records.size();
            finished = true;
        });
    runUntil([&]() { return finished; }, runTimeoutMs);
    run.peakKb = procstatus::peakKb();
    // Closes the playback session; the stop goes out later, not waited for.
    cancel_all_record_searching();
    return run;
}

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

template <typename Value> Value median(QVector<Value> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? Value() : values.at(values.size() / 2);
}

double seconds(qint64 ns)
{
    return double(ns) / 1e9;
}

double megabytes(qint64 kb)
{
    return kb < 0 ? -1.0 : double(kb) / 1024.0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lydevice-bench"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    Settings settings;
    QString error;
    if (!readSettings(app, &settings, &error)) {
        err << "lydevice-bench: " << error << "\n";
        return 2;
    }

    const sim::SimulatorOptions options = simulatorOptions(settings);
    const QDateTime start = options.spanStart;
    const QDateTime end = options.spanStart.addSecs(options.spanSeconds);
    QVector<int> channels;
    for (int channel = 0; channel < settings.channels; ++channel)
        channels.append(channel);
    // What the search must find, from the same content description the device uses.
    const int expected = sim::Catalogue(options).expectedVideoSearch(channels, 0, start, end).size();

    std::unique_ptr<sim::DeviceSimulator> inProcess;
    SimulatorProcess child;
    quint16 port = 0;
    if (settings.inProcess) {
        inProcess = std::make_unique<sim::DeviceSimulator>(options);
        if (!inProcess->listen()) {
            err << "lydevice-bench: the simulator cannot listen: " << inProcess->errorString() << "\n";
            return 1;
        }
        port = inProcess->httpPort();
    } else {
        if (!child.start(settings.simulatorProgram, simulatorArguments(options), 30000, &error)) {
            err << "lydevice-bench: " << error << "\n";
            return 1;
        }
        port = child.httpPort();
    }

    init();
    const bool peakResets = procstatus::resetPeak();
    out << "lydevice-bench: search_video, recorder over HTTP (LyIO stand-in), " << expected << " event records on "
        << settings.channels << " channels, " << (settings.chunked ? "chunked" : "Content-Length")
        << " replies, simulator " << (settings.inProcess ? "in this process" : "in a child process") << "\n";
    if (!peakResets)
        out << "note: /proc/self/clear_refs is not writable; peaks are the process's peak since start\n";

    // One untimed round of each warms up the device's and the client's allocations. Its memory
    // counts: it is the first search of a fresh process, the one that grows the heap.
    const qint64 idleKb = procstatus::residentKb();
    runFloor(port, channels, start, end);
    const Run first = runLibrary(port, channels, start, end);
    if (inProcess) {
        // The floor must send what LyDevice sends: compare the two as the device saw them.
        sim::DeviceBooks &books = inProcess->books();
        books.clearRequests();
        runFloor(port, channels, start, end);
        const QStringList floorRequests = searchRequests(books);
        books.clearRequests();
        runLibrary(port, channels, start, end);
        const QStringList libraryRequests = searchRequests(books);
        out << "same requests as LyDevice: "
            << (floorRequests == libraryRequests ? QStringLiteral("yes") : QStringLiteral("NO")) << " ("
            << floorRequests.size() << " and " << libraryRequests.size() << ")\n";
    }

    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
               .arg(QStringLiteral("run"), 4)
               .arg(QStringLiteral("requests"), 9)
               .arg(QStringLiteral("floor s"), 9)
               .arg(QStringLiteral("LyDevice s"), 11)
               .arg(QStringLiteral("records/s"), 11)
               .arg(QStringLiteral("ratio"), 7)
               .arg(QStringLiteral("host peak MB"), 13);
    QVector<qint64> floorNs, libraryNs;
    QVector<double> ratios;
    qint64 peakKb = first.peakKb;
    bool allFound = true;
    int requests = 0;
    for (int i = 1; i <= settings.runs; ++i) {
        const Run floor = runFloor(port, channels, start, end);
        const Run library = runLibrary(port, channels, start, end);
        allFound = allFound && floor.ok && library.ok && floor.records == expected && library.records == expected;
        if (!floor.ok || !library.ok || library.records != expected || floor.records != expected) {
            err << "lydevice-bench: run " << i << " found " << library.records << " records with LyDevice and "
                << floor.records << " with the bare client, " << expected << " expected\n";
        }
        requests = floor.requests;
        floorNs.append(floor.elapsedNs);
        libraryNs.append(library.elapsedNs);
        const double ratio = floor.elapsedNs > 0 ? double(library.elapsedNs) / double(floor.elapsedNs) : 0.0;
        ratios.append(ratio);
        peakKb = std::max(peakKb, library.peakKb);
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                   .arg(i, 4)
                   .arg(floor.requests, 9)
                   .arg(seconds(floor.elapsedNs), 9, 'f', 3)
                   .arg(seconds(library.elapsedNs), 11, 'f', 3)
                   .arg(library.elapsedNs > 0 ? double(library.records) / seconds(library.elapsedNs) : 0.0, 11, 'f', 0)
                   .arg(ratio, 7, 'f', 2)
                   .arg(megabytes(library.peakKb), 13, 'f', 1);
    }

    const qint64 libraryMedianNs = median(libraryNs);
    const double recordsPerSecond = libraryMedianNs > 0 ? double(expected) / seconds(libraryMedianNs) : 0.0;
    const double ratio = median(ratios);
    out << "\nmedian of " << settings.runs << " runs, " << requests << " requests each:\n";
    out << QStringLiteral("  LyDevice end to end  %1 s, %2 records/s\n")
               .arg(seconds(libraryMedianNs), 0, 'f', 3)
               .arg(recordsPerSecond, 0, 'f', 0);
    out << QStringLiteral("  bare client floor    %1 s, %2 records/s\n")
               .arg(seconds(median(floorNs)), 0, 'f', 3)
               .arg(median(floorNs) > 0 ? double(expected) / seconds(median(floorNs)) : 0.0, 0, 'f', 0);
    out << QStringLiteral("  ratio to the floor   %1\n").arg(ratio, 0, 'f', 2);
    out << QStringLiteral("  host peak memory     %1 MB during the searches (%2 MB resident before the first)%3\n")
               .arg(megabytes(peakKb), 0, 'f', 1)
               .arg(megabytes(idleKb), 0, 'f', 1)
               .arg(settings.inProcess ? QStringLiteral(", simulator included") : QString());
    if (!settings.inProcess)
        out << QStringLiteral("  simulator peak       %1 MB (child process)\n")
                   .arg(megabytes(child.peakKb()), 0, 'f', 1);

    const auto verdict = [](bool met) { return met ? QStringLiteral("met") : QStringLiteral("NOT MET"); };
    out << "targets: >= 100000 records/s " << verdict(recordsPerSecond >= 100000.0) << "; peak < 200 MB "
        << verdict(peakKb >= 0 && megabytes(peakKb) < 200.0) << "; within 1.5x the floor " << verdict(ratio <= 1.5)
        << "\n";
    return allFound ? 0 : 1;
}
