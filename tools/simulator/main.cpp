// lydevice-simulator: plays a recorder, a camera or both on loopback until it is killed.

#include "DeviceSimulator.h"
#include "WallTime.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <limits>
#include <memory>
#include <vector>

using namespace lydevice::sim;

namespace
{
// One device to play, and the options that name its ports.
struct Plan {
    DeviceKind kind;
    const char *name;
    const char *httpOption;
    const char *p2pOption;
};

// Prints a complaint about the command line; false, so that readers can return it.
bool complain(const QString &message)
{
    QTextStream(stderr) << "lydevice-simulator: " << message << "\n";
    return false;
}

// Reads --name into `value` when it is given; outside [low, high] it complains.
template <typename Number>
bool readNumber(const QCommandLineParser &parser, const char *name, qint64 low, qint64 high, Number *value)
{
    if (!parser.isSet(QLatin1String(name)))
        return true;
    bool ok = false;
    const qint64 number = parser.value(QLatin1String(name)).toLongLong(&ok);
    if (!ok || number < low || number > high)
        return complain(
            QStringLiteral("--%1 wants a number from %2 to %3").arg(QLatin1String(name)).arg(low).arg(high));
    *value = static_cast<Number>(number);
    return true;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Plays a network video recorder (nvr), an IP camera (ipc) or both over HTTP and over the P2P link, "
        "with synthetic content that follows from the seed. Prints the ports it listens on and runs until killed."));
    parser.addHelpOption();
    const auto add = [&parser](const char *name, const char *description, const char *valueName = nullptr) {
        parser.addOption(valueName
                ? QCommandLineOption(QLatin1String(name), QLatin1String(description), QLatin1String(valueName))
                : QCommandLineOption(QLatin1String(name), QLatin1String(description)));
    };
    add("kind", "nvr, ipc or both (default nvr).", "kind");
    add("listen", "Address to listen on (default 127.0.0.1).", "address");
    add("http-port", "HTTP port of the recorder, or of the camera alone; 0 picks a free one.", "port");
    add("p2p-port", "P2P link port, likewise.", "port");
    add("camera-http-port", "HTTP port of the camera with --kind both.", "port");
    add("camera-p2p-port", "P2P link port of the camera with --kind both.", "port");
    add("seed", "Seed of the content (default 1).", "n");
    add("channels", "Recorder channels, 1 to 64 (default 4).", "n");
    add("records", "Recordings of each type per channel (default 30).", "n");
    add("records-of",
        "Recordings of one type per channel, TYPE=N; types: continuous, anr, motion, smart, alarm-input, "
        "video-loss, tamper. May be repeated.",
        "type=n");
    add("tags", "Tags per channel (default 60).", "n");
    add("pictures", "Pictures of each type per channel (default 40).", "n");
    add("span-start", "Start of the content, \"yyyy-MM-dd HH:mm:ss\" (default 2024-03-01 00:00:00).", "time");
    add("span-seconds", "Length of the content in seconds (default 86400).", "n");
    add("chunked", "Send HTTP replies in chunked transfer coding.");
    add("no-keep-alive", "Close every HTTP connection after its reply.");
    add("user", "Ask for HTTP Basic credentials with this user.", "user");
    add("password", "The password for --user.", "password");
    add("fault",
        "Arm a fault, KIND:MATCH[:COUNT[:DELAYMS]]; kinds: delay, status500, drop, malformed, truncated; MATCH an "
        "action, PBFileTotalPage, PBFilePageIndex, sdexplorer, closelyfshandle, dataloader, nvr.N, ipc.N or *. "
        "May be repeated.",
        "fault");
    add("verbose", "Print every request served.");
}

// The devices --kind asks for.
bool readPlans(const QCommandLineParser &parser, std::vector<Plan> *plans)
{
    const Plan recorder { DeviceKind::Recorder, "nvr", "http-port", "p2p-port" };
    const QString kind
        = parser.isSet(QStringLiteral("kind")) ? parser.value(QStringLiteral("kind")) : QStringLiteral("nvr");
    if (kind == QLatin1String("nvr"))
        *plans = { recorder };
    else if (kind == QLatin1String("ipc"))
        *plans = { { DeviceKind::Camera, "ipc", "http-port", "p2p-port" } };
    else if (kind == QLatin1String("both"))
        *plans = { recorder, { DeviceKind::Camera, "ipc", "camera-http-port", "camera-p2p-port" } };
    else
        return complain(QStringLiteral("--kind is nvr, ipc or both"));
    return true;
}

// --records-of TYPE=N, after --records, so that it overrides the count of its type.
bool readRecordsOf(const QCommandLineParser &parser, SimulatorOptions *options)
{
    for (const QString &entry : parser.values(QStringLiteral("records-of"))) {
        const int equals = entry.indexOf(QLatin1Char('='));
        RecordType type;
        bool ok = false;
        const int count = equals > 0 ? entry.mid(equals + 1).toInt(&ok) : 0;
        if (equals <= 0 || !recordTypeFromName(entry.left(equals), &type) || !ok || count < 0
            || count > kMaxRecordsPerSequence)
            return complain(QStringLiteral("--records-of wants TYPE=N, not %1").arg(entry));
        options->recordsPerType[static_cast<int>(type)] = count;
    }
    return true;
}

bool readSpanStart(const QCommandLineParser &parser, SimulatorOptions *options)
{
    if (!parser.isSet(QStringLiteral("span-start")))
        return true;
    qint64 seconds = 0;
    if (!walltime::parse(parser.value(QStringLiteral("span-start")), &seconds))
        return complain(QStringLiteral("--span-start wants \"yyyy-MM-dd HH:mm:ss\""));
    options->spanStart = walltime::toDateTime(seconds);
    return true;
}

// What the device holds; complains about the first option it cannot read.
bool readContent(const QCommandLineParser &parser, SimulatorOptions *options)
{
    int records = options->recordsPerType[0];
    int pictures = options->picturesPerType[0];
    if (!readNumber(parser, "seed", 0, std::numeric_limits<qint64>::max(), &options->seed)
        || !readNumber(parser, "channels", 1, kMaxChannels, &options->channels)
        || !readNumber(parser, "records", 0, kMaxRecordsPerSequence, &records))
        return false;
    options->setRecordCount(records);
    if (!readRecordsOf(parser, options)
        || !readNumber(parser, "tags", 0, kMaxRecordsPerSequence, &options->tagsPerChannel)
        || !readNumber(parser, "pictures", 0, kMaxRecordsPerSequence, &pictures)
        || !readNumber(parser, "span-seconds", 1, 100LL * 365 * 86400, &options->spanSeconds)
        || !readSpanStart(parser, options))
        return false;
    options->setPictureCount(pictures);
    return true;
}

// How the device answers: transfer coding, connections, credentials and faults.
bool readBehaviour(const QCommandLineParser &parser, SimulatorOptions *options)
{
    options->chunked = parser.isSet(QStringLiteral("chunked"));
    options->keepAlive = !parser.isSet(QStringLiteral("no-keep-alive"));
    options->user = parser.value(QStringLiteral("user"));
    options->password = parser.value(QStringLiteral("password"));
    for (const QString &text : parser.values(QStringLiteral("fault"))) {
        FaultRule rule;
        if (!FaultInjector::ruleFromText(text, &rule))
            return complain(QStringLiteral("--fault wants KIND:MATCH[:COUNT[:DELAYMS]], not %1").arg(text));
        options->faults.append(rule);
    }
    return true;
}

bool readAddress(const QCommandLineParser &parser, QHostAddress *address)
{
    address->setAddress(
        parser.isSet(QStringLiteral("listen")) ? parser.value(QStringLiteral("listen")) : QStringLiteral("127.0.0.1"));
    return !address->isNull() || complain(QStringLiteral("--listen wants an IP address"));
}

// Starts the device of `plan` and prints where it listens; the exit code when it cannot.
int startDevice(const QCommandLineParser &parser,
    const Plan &plan,
    SimulatorOptions options,
    const QHostAddress &address,
    std::vector<std::unique_ptr<DeviceSimulator>> &devices)
{
    quint16 httpPort = 0, p2pPort = 0;
    if (!readNumber(parser, plan.httpOption, 0, 65535, &httpPort)
        || !readNumber(parser, plan.p2pOption, 0, 65535, &p2pPort))
        return 2;
    options.kind = plan.kind;
    devices.push_back(std::make_unique<DeviceSimulator>(options));
    DeviceSimulator &device = *devices.back();
    const QString name = QLatin1String(plan.name);
    if (!device.listen(address, httpPort, p2pPort)) {
        complain(QStringLiteral("%1 cannot listen: %2").arg(name, device.errorString()));
        return 1;
    }
    if (parser.isSet(QStringLiteral("verbose"))) {
        QObject::connect(&device, &DeviceSimulator::requestServed, &device, [name](const RequestRecord &record) {
            QTextStream line(stdout);
            line << name << (record.overLink ? " p2p " : " http ") << record.kind << " status " << record.status
                 << (record.fault.isEmpty() ? QString() : QStringLiteral(" fault ") + record.fault) << "\n";
        });
    }
    QTextStream out(stdout);
    out << name << " http " << address.toString() << ":" << device.httpPort() << "\n";
    out << name << " p2p " << address.toString() << ":" << device.p2pPort() << "\n";
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lydevice-simulator"));
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);

    std::vector<Plan> plans;
    SimulatorOptions options;
    QHostAddress address;
    if (!readPlans(parser, &plans) || !readContent(parser, &options) || !readBehaviour(parser, &options)
        || !readAddress(parser, &address))
        return 2;
    std::vector<std::unique_ptr<DeviceSimulator>> devices;
    for (const Plan &plan : plans) {
        if (const int failure = startDevice(parser, plan, options, address, devices))
            return failure;
    }
    return app.exec();
}
