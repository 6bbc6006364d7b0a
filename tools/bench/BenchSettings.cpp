#include "BenchSettings.h"

#include <QCommandLineParser>

namespace
{

// Reads a whole number within [low, high] when the option is given.
bool number(
    const QCommandLineParser &parser, const QCommandLineOption &option, int low, int high, int *value, QString *error)
{
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
}

bool deviceCounts(const QString &text, QVector<int> *counts, QString *error)
{
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int count = part.toInt(&ok);
        if (!ok || count < 1 || count > 10000) {
            *error = QStringLiteral("--devices wants numbers from 1 to 10000, separated by commas");
            return false;
        }
        counts->append(count);
    }
    return true;
}

} // namespace

bool readSettings(const QCoreApplication &app, BenchSettings *settings, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times search_video on a simulated recorder over HTTP: a bare client sending the same requests (the "
        "floor), LyDevice with the host's TZ as it is, and LyDevice with TZ=:/etc/localtime, a child process each."));
    parser.addHelpOption();
    const QCommandLineOption records(
        QStringLiteral("records"), QStringLiteral("Event records in the span (default 100000)."), QStringLiteral("n"));
    const QCommandLineOption channels(QStringLiteral("channels"),
        QStringLiteral("Recorder channels holding them (default 50)."),
        QStringLiteral("n"));
    const QCommandLineOption runs(
        QStringLiteral("runs"), QStringLiteral("Measured runs of each client (default 5)."), QStringLiteral("n"));
    const QCommandLineOption inProcess(QStringLiteral("in-process"),
        QStringLiteral("Run the simulator and both clients in this process, and check that they send the same "
                       "requests."));
    const QCommandLineOption chunked(QStringLiteral("chunked"), QStringLiteral("Chunked replies."));
    const QCommandLineOption simulator(QStringLiteral("simulator"),
        QStringLiteral("The lydevice-simulator executable (default: the built one)."),
        QStringLiteral("path"));
    const QCommandLineOption callgrind(QStringLiteral("callgrind"),
        QStringLiteral("Count LyDevice's instructions per record under valgrind's callgrind."));
    const QCommandLineOption devices(QStringLiteral("devices"),
        QStringLiteral("Search that many recorders at once instead, e.g. 500,2000."),
        QStringLiteral("n[,n...]"));
    const QCommandLineOption client(QStringLiteral("client"),
        QStringLiteral("(internal) Run one client, floor or lydevice, against --port."),
        QStringLiteral("name"));
    const QCommandLineOption port(
        QStringLiteral("port"), QStringLiteral("(internal) The device's port."), QStringLiteral("n"));
    const QCommandLineOption collect(
        QStringLiteral("collect"), QStringLiteral("(internal) Under callgrind, count only the measured searches."));
    parser.addOptions(
        { records, channels, runs, inProcess, chunked, simulator, callgrind, devices, client, port, collect });
    parser.process(app);

    int portNumber = 0;
    if (!number(parser, records, 1, 10000000, &settings->records, error)
        || !number(parser, channels, 1, 64, &settings->channels, error)
        || !number(parser, runs, 1, 100, &settings->runs, error) || !number(parser, port, 1, 65535, &portNumber, error)
        || !deviceCounts(parser.value(devices), &settings->devices, error))
        return false;
    settings->port = quint16(portNumber);
    settings->inProcess = parser.isSet(inProcess);
    settings->chunked = parser.isSet(chunked);
    settings->callgrind = parser.isSet(callgrind);
    settings->collect = parser.isSet(collect);
    settings->client = parser.value(client);
    settings->simulatorProgram
        = parser.isSet(simulator) ? parser.value(simulator) : QStringLiteral(LYDEVICE_SIMULATOR_PATH);
    if (!settings->client.isEmpty() && settings->client != QLatin1String("floor")
        && settings->client != QLatin1String("lydevice")) {
        *error = QStringLiteral("--client is floor or lydevice");
        return false;
    }
    return true;
}

QStringList clientArguments(const BenchSettings &settings, const QString &client, quint16 port)
{
    QStringList arguments { QStringLiteral("--client"),
        client,
        QStringLiteral("--port"),
        QString::number(port),
        QStringLiteral("--records"),
        QString::number(settings.records),
        QStringLiteral("--channels"),
        QString::number(settings.channels),
        QStringLiteral("--runs"),
        QString::number(settings.runs) };
    if (settings.chunked)
        arguments.append(QStringLiteral("--chunked"));
    return arguments;
}

lydevice::sim::SimulatorOptions simulatorOptions(const BenchSettings &settings)
{
    using namespace lydevice::sim;
    SimulatorOptions options;
    options.kind = DeviceKind::Recorder;
    options.channels = settings.channels;
    options.recordsPerType.fill(0);
    options.recordsPerType[int(RecordType::Motion)] = (settings.records + settings.channels - 1) / settings.channels;
    options.tagsPerChannel = 0;
    options.setPictureCount(0);
    options.chunked = settings.chunked;
    return options;
}

QStringList simulatorArguments(const lydevice::sim::SimulatorOptions &options)
{
    using namespace lydevice::sim;
    QStringList arguments
        = QStringLiteral("--kind nvr --channels %1 --records 0 --records-of motion=%2 --tags 0 --pictures 0")
              .arg(options.channels)
              .arg(options.recordsPerType[int(RecordType::Motion)])
              .split(QLatin1Char(' '));
    if (options.chunked)
        arguments.append(QStringLiteral("--chunked"));
    return arguments;
}
