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

// What every run asks the simulator for, and what it must find.
struct Search {
    quint16 port = 0;
    QVector<int> channels;
    QDateTime start;
    QDateTime end;
    int expected = 0;
};

// The measured runs, gathered for the summary.
struct Figures {
    QVector<qint64> floorNs;
    QVector<qint64> libraryNs;
    QVector<double> ratios;
    qint64 idleKb = -1; // resident before the first search
    qint64 peakKb = -1; // the host's peak over the LyDevice searches
    int requests = 0; // of one search
    bool allFound = true;
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
    QStringList arguments
        = QStringLiteral("--kind nvr --channels %1 --records 0 --records-of motion=%2 --tags 0 --pictures 0")
              .arg(options.channels)
              .arg(options.recordsPerType[int(sim::RecordType::Motion)])
              .split(QLatin1Char(' '));
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

// The search the simulator's content asks for: every channel over the whole span.
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

Run runLibrary(const Search &search)
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
    const auto finish = [&](int code, QList<QVariant> records) {
        run.elapsedNs = clock.nsecsElapsed();
        run.ok = code >= 0;
        run.records = records.size();
        finished = true;
    };
    search_video(target, search.channels, RecordVideoType::All, StreamType::Main, search.start, search.end, finish);
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

// The floor must send what LyDevice sends: compares the two as the device saw them.
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

void printHeading(QTextStream &out, const Settings &settings, int expected, bool peakResets)
{
    out << "lydevice-bench: search_video, recorder over HTTP (LyIO stand-in), " << expected << " event records on "
        << settings.channels << " channels, " << (settings.chunked ? "chunked" : "Content-Length")
        << " replies, simulator " << (settings.inProcess ? "in this process" : "in a child process") << "\n";
    if (!peakResets)
        out << "note: /proc/self/clear_refs is not writable; peaks are the process's peak since start\n";
}

// A line of the table of runs, each cell right-aligned in its column.
QString tableRow(const QStringList &cells)
{
    static const int widths[] = { 4, 9, 9, 11, 11, 7, 13 };
    QStringList row;
    for (int i = 0; i < cells.size(); ++i)
        row.append(cells.at(i).rightJustified(widths[i]));
    return row.join(QLatin1Char(' ')) + QLatin1Char('\n');
}

// One measured run of each client; prints its line of the table, and complains when either
// client found other than the expected records.
void measure(int index, const Search &search, Figures &figures, QTextStream &out, QTextStream &err)
{
    const Run floor = runFloor(search);
    const Run library = runLibrary(search);
    const bool found = floor.ok && library.ok && floor.records == search.expected && library.records == search.expected;
    figures.allFound = figures.allFound && found;
    if (!found) {
        err << "lydevice-bench: run " << index << " found " << library.records << " records with LyDevice and "
            << floor.records << " with the bare client, " << search.expected << " expected\n";
    }
    figures.requests = floor.requests;
    figures.floorNs.append(floor.elapsedNs);
    figures.libraryNs.append(library.elapsedNs);
    const double ratio = floor.elapsedNs > 0 ? double(library.elapsedNs) / double(floor.elapsedNs) : 0.0;
    figures.ratios.append(ratio);
    figures.peakKb = std::max(figures.peakKb, library.peakKb);
    const double recordsPerSecond = library.elapsedNs > 0 ? double(library.records) / seconds(library.elapsedNs) : 0.0;
    out << tableRow({ QString::number(index),
        QString::number(floor.requests),
        QString::number(seconds(floor.elapsedNs), 'f', 3),
        QString::number(seconds(library.elapsedNs), 'f', 3),
        QString::number(recordsPerSecond, 'f', 0),
        QString::number(ratio, 'f', 2),
        QString::number(megabytes(library.peakKb), 'f', 1) });
}

// The medians of the runs, and whether they meet the targets.
void printSummary(
    QTextStream &out, const Settings &settings, int expected, const Figures &figures, const SimulatorProcess &child)
{
    const qint64 libraryNs = median(figures.libraryNs);
    const qint64 floorNs = median(figures.floorNs);
    const double recordsPerSecond = libraryNs > 0 ? double(expected) / seconds(libraryNs) : 0.0;
    const double ratio = median(figures.ratios);
    out << "\nmedian of " << settings.runs << " runs, " << figures.requests << " requests each:\n";
    out << QStringLiteral("  LyDevice end to end  %1 s, %2 records/s\n")
               .arg(seconds(libraryNs), 0, 'f', 3)
               .arg(recordsPerSecond, 0, 'f', 0);
    out << QStringLiteral("  bare client floor    %1 s, %2 records/s\n")
               .arg(seconds(floorNs), 0, 'f', 3)
               .arg(floorNs > 0 ? double(expected) / seconds(floorNs) : 0.0, 0, 'f', 0);
    out << QStringLiteral("  ratio to the floor   %1\n").arg(ratio, 0, 'f', 2);
    out << QStringLiteral("  host peak memory     %1 MB during the searches (%2 MB resident before the first)%3\n")
               .arg(megabytes(figures.peakKb), 0, 'f', 1)
               .arg(megabytes(figures.idleKb), 0, 'f', 1)
               .arg(settings.inProcess ? QStringLiteral(", simulator included") : QString());
    if (!settings.inProcess)
        out << QStringLiteral("  simulator peak       %1 MB (child process)\n")
                   .arg(megabytes(child.peakKb()), 0, 'f', 1);

    const auto verdict = [](bool met) { return met ? QStringLiteral("met") : QStringLiteral("NOT MET"); };
    out << "targets: >= 100000 records/s " << verdict(recordsPerSecond >= 100000.0) << "; peak < 200 MB "
        << verdict(figures.peakKb >= 0 && megabytes(figures.peakKb) < 200.0) << "; within 1.5x the floor "
        << verdict(ratio <= 1.5) << "\n";
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
    Search search = searchOf(options);
    std::unique_ptr<sim::DeviceSimulator> inProcess;
    SimulatorProcess child;
    if (settings.inProcess)
        inProcess = std::make_unique<sim::DeviceSimulator>(options);
    if (inProcess ? !inProcess->listen()
                  : !child.start(settings.simulatorProgram, simulatorArguments(options), 30000, &error)) {
        err << "lydevice-bench: "
            << (inProcess ? QStringLiteral("the simulator cannot listen: ") + inProcess->errorString() : error) << "\n";
        return 1;
    }
    search.port = inProcess ? inProcess->httpPort() : child.httpPort();

    init();
    printHeading(out, settings, search.expected, procstatus::resetPeak());
    // One untimed round of each warms up the device's and the client's allocations. Its memory
    // counts: it is the first search of a fresh process, the one that grows the heap.
    Figures figures;
    figures.idleKb = procstatus::residentKb();
    runFloor(search);
    figures.peakKb = runLibrary(search).peakKb;
    if (inProcess)
        compareRequests(out, inProcess->books(), search);
    out << tableRow(
        QStringLiteral("run,requests,floor s,LyDevice s,records/s,ratio,host peak MB").split(QLatin1Char(',')));
    for (int i = 1; i <= settings.runs; ++i)
        measure(i, search, figures, out, err);
    printSummary(out, settings, search.expected, figures, child);
    return figures.allFound ? 0 : 1;
}
