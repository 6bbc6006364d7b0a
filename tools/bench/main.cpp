// lydevice-bench: how fast search_video reads a recorder that holds many event records, over HTTP
// through the LyIO stand-in, and how much memory the host needs for it; measured against the floor,
// the same request sequence sent by a bare keep-alive client that parses nothing. Each client runs
// in a child process of its own, LyDevice twice: with the host's TZ as it is, and with
// TZ=:/etc/localtime, which spares glibc a look at /etc/localtime for every local time it makes.

#include "BenchSettings.h"
#include "ManyDevices.h"
#include "ProcStatus.h"
#include "SearchRuns.h"
#include "SimulatorProcess.h"

#include "DeviceSimulator.h"

#include <lydevice/lydevice.h>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <memory>

namespace
{

template <typename Value> Value median(QVector<Value> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? Value() : values.at(values.size() / 2);
}

double seconds(qint64 ns)
{
    return double(ns) / 1e9;
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("NOT MET");
}

// The recorder in a child process, so that the device's work and memory are not the host's.
bool startSimulator(const BenchSettings &settings, SimulatorProcess *child, Search *search, QTextStream &err)
{
    const auto options = simulatorOptions(settings);
    *search = searchOf(options);
    QString error;
    if (!child->start(settings.simulatorProgram, simulatorArguments(options), 30000, &error)) {
        err << "lydevice-bench: " << error << "\n";
        return false;
    }
    search->port = child->httpPort();
    return true;
}

// In a child process: a warm-up run, then one measured run for each "run" line on standard input,
// reported on a line of standard output. The parent asks the clients in turn, so that all of them
// run under the same load.
int clientMain(const BenchSettings &settings)
{
    Search search = searchOf(simulatorOptions(settings));
    search.port = settings.port;
    lydevice::init();
    const bool floor = settings.client == QLatin1String("floor");
    const auto once = [&](bool collect) { return floor ? runFloor(search) : runLibrary(search, collect); };
    once(false);
    QTextStream in(stdin);
    QTextStream out(stdout);
    out << "ready\n" << Qt::flush;
    for (QString line; in.readLineInto(&line) && line == QLatin1String("run");)
        out << runLine(once(settings.collect)) << Qt::flush;
    return 0;
}

// A client in a child process of its own, with its own environment.
class ClientProcess
{
public:
    ClientProcess(const QString &label, const QStringList &arguments, const QProcessEnvironment &environment)
        : label(label)
    {
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(), arguments);
    }
    ~ClientProcess()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(10000))
            process.kill();
    }
    // The next line the client writes, once it has come.
    QByteArray nextLine()
    {
        while (!process.canReadLine() && process.waitForReadyRead(-1)) { }
        return process.readLine();
    }
    std::optional<Run> run()
    {
        process.write("run\n");
        return parseRunLine(nextLine());
    }

    const QString label;
    QVector<Run> runs;

private:
    QProcess process;
};

QString row(const QStringList &cells)
{
    QStringList padded;
    for (const QString &cell : cells)
        padded.append(cell.rightJustified(padded.isEmpty() ? 4 : 14));
    return padded.join(QString()) + QLatin1Char('\n');
}

// The runs side by side, then the medians and the targets.
void report(QTextStream &out, const Search &search, const std::vector<std::unique_ptr<ClientProcess>> &clients)
{
    out << row({ QStringLiteral("run"),
        clients[0]->label,
        clients[1]->label,
        QStringLiteral("ratio"),
        clients[2]->label,
        QStringLiteral("ratio") });
    QVector<double> ratios[2];
    for (int i = 0; i < clients[0]->runs.size(); ++i) {
        const double floorS = seconds(clients[0]->runs[i].elapsedNs);
        ratios[0].append(seconds(clients[1]->runs[i].elapsedNs) / floorS);
        ratios[1].append(seconds(clients[2]->runs[i].elapsedNs) / floorS);
        out << row({ QString::number(i + 1),
            QString::number(floorS, 'f', 3),
            QString::number(seconds(clients[1]->runs[i].elapsedNs), 'f', 3),
            QString::number(ratios[0].last(), 'f', 2),
            QString::number(seconds(clients[2]->runs[i].elapsedNs), 'f', 3),
            QString::number(ratios[1].last(), 'f', 2) });
    }
    qint64 peakKb = -1;
    bool found = true;
    for (const auto &client : clients) {
        for (const Run &run : client->runs) {
            peakKb = std::max(peakKb, run.peakKb);
            found = found && run.ok && run.records == search.expected;
        }
    }
    const double unset = median(ratios[0]);
    const double set = median(ratios[1]);
    out << "\nmedians: ratio to the floor " << QString::number(unset, 'f', 2) << " with the host's TZ, "
        << QString::number(set, 'f', 2) << " with TZ=:/etc/localtime; host peak memory "
        << QString::number(double(peakKb) / 1024.0, 'f', 1) << " MB; every run found the " << search.expected
        << " records: " << (found ? "yes" : "NO") << "\n";
    out << "targets: ratio <= 3.0 with TZ unset " << verdict(unset <= 3.0) << "; <= 1.8 with TZ set "
        << verdict(set <= 1.8) << "; peak <= 54 MB " << verdict(peakKb >= 0 && peakKb <= 54 * 1024) << "\n";
}

int compareMain(const BenchSettings &settings, QTextStream &out, QTextStream &err)
{
    SimulatorProcess child;
    Search search;
    if (!startSimulator(settings, &child, &search, err))
        return 1;
    const QProcessEnvironment host = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment localtime = host;
    localtime.insert(QStringLiteral("TZ"), QStringLiteral(":/etc/localtime"));
    out << "lydevice-bench: search_video, recorder over HTTP (LyIO stand-in), " << search.expected
        << " event records on " << settings.channels << " channels, " << settings.runs
        << " runs of each client in a child process, in turn; the host's TZ is "
        << (host.contains(QStringLiteral("TZ")) ? host.value(QStringLiteral("TZ")) : QStringLiteral("unset")) << "\n\n";
    std::vector<std::unique_ptr<ClientProcess>> clients;
    clients.push_back(std::make_unique<ClientProcess>(
        QStringLiteral("floor s"), clientArguments(settings, QStringLiteral("floor"), search.port), host));
    clients.push_back(std::make_unique<ClientProcess>(
        QStringLiteral("LyDevice s"), clientArguments(settings, QStringLiteral("lydevice"), search.port), host));
    clients.push_back(std::make_unique<ClientProcess>(QStringLiteral("LyDevice TZ s"),
        clientArguments(settings, QStringLiteral("lydevice"), search.port),
        localtime));
    for (const auto &client : clients) {
        if (client->nextLine().trimmed() != "ready") {
            err << "lydevice-bench: the " << client->label << " client did not start\n";
            return 1;
        }
    }
    for (int i = 0; i < settings.runs; ++i) {
        for (const auto &client : clients) {
            const std::optional<Run> run = client->run();
            if (!run) {
                err << "lydevice-bench: the " << client->label << " client failed\n";
                return 1;
            }
            client->runs.append(*run);
        }
    }
    report(out, search, clients);
    return 0;
}

// LyDevice under callgrind, counting only the measured searches.
int callgrindMain(const BenchSettings &settings, QTextStream &out, QTextStream &err)
{
    SimulatorProcess child;
    Search search;
    if (!startSimulator(settings, &child, &search, err))
        return 1;
    BenchSettings one = settings;
    one.runs = 1;
    QProcess valgrind;
    valgrind.setProcessChannelMode(QProcess::SeparateChannels);
    valgrind.start(QStringLiteral("valgrind"),
        QStringList { QStringLiteral("--tool=callgrind"),
            QStringLiteral("--collect-atstart=no"),
            QStringLiteral("--callgrind-out-file=/dev/null"),
            QCoreApplication::applicationFilePath() }
            + clientArguments(one, QStringLiteral("lydevice"), search.port)
            + QStringList { QStringLiteral("--collect") });
    valgrind.write("run\n");
    valgrind.closeWriteChannel();
    if (!valgrind.waitForFinished(-1) || valgrind.exitCode() != 0) {
        err << "lydevice-bench: valgrind did not run the search (is valgrind installed?)\n";
        return 1;
    }
    const QString log = QString::fromLocal8Bit(valgrind.readAllStandardError());
    const QRegularExpressionMatch collected = QRegularExpression(QStringLiteral("Collected : (\\d+)")).match(log);
    const qint64 instructions = collected.captured(1).toLongLong();
    const double perRecord = double(instructions) / std::max(1, search.expected);
    out << "lydevice-bench --callgrind: " << instructions << " instructions for one search_video of " << search.expected
        << " records: " << QString::number(perRecord, 'f', 0) << " a record; target <= 13000 "
        << verdict(collected.hasMatch() && perRecord <= 13000.0) << "\n";
    return collected.hasMatch() ? 0 : 1;
}

// Many recorders at once: the simulator's default recorder, channel 0 over its first day.
int devicesMain(const BenchSettings &settings, QTextStream &out, QTextStream &err)
{
    SimulatorProcess child;
    QString error;
    if (!child.start(settings.simulatorProgram, { QStringLiteral("--kind"), QStringLiteral("nvr") }, 30000, &error)) {
        err << "lydevice-bench: " << error << "\n";
        return 1;
    }
    lydevice::sim::SimulatorOptions options;
    options.channels = 1;
    Search search = searchOf(options);
    search.port = child.httpPort();
    lydevice::init();
    out << "lydevice-bench --devices: recorders searched at once over HTTP, " << search.expected << " records each\n";
    QVector<double> perDevice;
    int failures = 0;
    for (const int devices : settings.devices) {
        const ManyDevicesRun run = runManyDevices(search, devices);
        failures += run.failures;
        perDevice.append(seconds(run.searchNs + run.readingNs) / devices);
        out << QStringLiteral("%1 devices: search_video %2 s, readings %3 s; %4 ms a device; %5 failed\n")
                   .arg(devices, 5)
                   .arg(seconds(run.searchNs), 0, 'f', 2)
                   .arg(seconds(run.readingNs), 0, 'f', 2)
                   .arg(perDevice.last() * 1000.0, 0, 'f', 2)
                   .arg(run.failures);
    }
    if (perDevice.size() > 1) {
        const double growth = perDevice.last() / perDevice.first();
        out << "time a device grows " << QString::number(growth, 'f', 2) << "x from " << settings.devices.first()
            << " to " << settings.devices.last() << " devices (linear cost: about 1x)\n";
    }
    return failures == 0 ? 0 : 1;
}

// Everything in this process: the simulator, both clients, and the check that they send the same
// requests.
int inProcessMain(const BenchSettings &settings, QTextStream &out, QTextStream &err)
{
    const auto options = simulatorOptions(settings);
    Search search = searchOf(options);
    lydevice::sim::DeviceSimulator device(options);
    if (!device.listen()) {
        err << "lydevice-bench: the simulator cannot listen: " << device.errorString() << "\n";
        return 1;
    }
    search.port = device.httpPort();
    lydevice::init();
    compareRequests(out, device.books(), search);
    for (int i = 1; i <= settings.runs; ++i) {
        const Run floor = runFloor(search);
        const Run library = runLibrary(search);
        out << QStringLiteral("run %1: floor %2 s, LyDevice %3 s, ratio %4 (simulator in this process)\n")
                   .arg(i)
                   .arg(seconds(floor.elapsedNs), 0, 'f', 3)
                   .arg(seconds(library.elapsedNs), 0, 'f', 3)
                   .arg(double(library.elapsedNs) / double(std::max<qint64>(1, floor.elapsedNs)), 0, 'f', 2);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lydevice-bench"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    // What the library logs on its way is not the benchmark's output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    BenchSettings settings;
    QString error;
    if (!readSettings(app, &settings, &error)) {
        err << "lydevice-bench: " << error << "\n";
        return 2;
    }
    if (!settings.client.isEmpty())
        return clientMain(settings);
    if (!settings.devices.isEmpty())
        return devicesMain(settings, out, err);
    if (settings.callgrind)
        return callgrindMain(settings, out, err);
    if (settings.inProcess)
        return inProcessMain(settings, out, err);
    return compareMain(settings, out, err);
}
