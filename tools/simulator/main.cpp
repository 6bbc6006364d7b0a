// lydevice-simulator: plays a recorder, a camera or both on loopback until it is killed.

#include "DeviceSimulator.h"
#include "WallTime.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <memory>
#include <vector>

using namespace lydevice::sim;

namespace
{
bool readInt(const QCommandLineParser &parser, const QString &name, qint64 low, qint64 high, qint64 *value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const qint64 number = parser.value(name).toLongLong(&ok);
    if (!ok || number < low || number > high) {
        QTextStream(stderr) << "lydevice-simulator: --" << name << " wants a number from " << low << " to " << high
                            << "\n";
        return false;
    }
    *value = number;
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lydevice-simulator"));

    QCommandLineParser parser;
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
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    SimulatorOptions options;
    qint64 number = 0;

    const QString kind
        = parser.isSet(QStringLiteral("kind")) ? parser.value(QStringLiteral("kind")) : QStringLiteral("nvr");
    if (kind != QLatin1String("nvr") && kind != QLatin1String("ipc") && kind != QLatin1String("both")) {
        err << "lydevice-simulator: --kind is nvr, ipc or both\n";
        return 2;
    }
    number = 1;
    if (!readInt(parser, QStringLiteral("seed"), 0, std::numeric_limits<qint64>::max(), &number))
        return 2;
    options.seed = static_cast<quint64>(number);
    number = options.channels;
    if (!readInt(parser, QStringLiteral("channels"), 1, kMaxChannels, &number))
        return 2;
    options.channels = static_cast<int>(number);
    number = 30;
    if (!readInt(parser, QStringLiteral("records"), 0, kMaxRecordsPerSequence, &number))
        return 2;
    options.setRecordCount(static_cast<int>(number));
    for (const QString &entry : parser.values(QStringLiteral("records-of"))) {
        const int equals = entry.indexOf(QLatin1Char('='));
        RecordType type;
        bool ok = false;
        const int count = equals > 0 ? entry.mid(equals + 1).toInt(&ok) : 0;
        if (equals <= 0 || !recordTypeFromName(entry.left(equals), &type) || !ok || count < 0
            || count > kMaxRecordsPerSequence) {
            err << "lydevice-simulator: --records-of wants TYPE=N, not " << entry << "\n";
            return 2;
        }
        options.recordsPerType[static_cast<int>(type)] = count;
    }
    number = options.tagsPerChannel;
    if (!readInt(parser, QStringLiteral("tags"), 0, kMaxRecordsPerSequence, &number))
        return 2;
    options.tagsPerChannel = static_cast<int>(number);
    number = 40;
    if (!readInt(parser, QStringLiteral("pictures"), 0, kMaxRecordsPerSequence, &number))
        return 2;
    options.setPictureCount(static_cast<int>(number));
    number = options.spanSeconds;
    if (!readInt(parser, QStringLiteral("span-seconds"), 1, 100LL * 365 * 86400, &number))
        return 2;
    options.spanSeconds = number;
    if (parser.isSet(QStringLiteral("span-start"))) {
        qint64 seconds = 0;
        if (!walltime::parse(parser.value(QStringLiteral("span-start")), &seconds)) {
            err << "lydevice-simulator: --span-start wants \"yyyy-MM-dd HH:mm:ss\"\n";
            return 2;
        }
        options.spanStart = walltime::toDateTime(seconds);
    }
    options.chunked = parser.isSet(QStringLiteral("chunked"));
    options.keepAlive = !parser.isSet(QStringLiteral("no-keep-alive"));
    options.user = parser.value(QStringLiteral("user"));
    options.password = parser.value(QStringLiteral("password"));
    for (const QString &text : parser.values(QStringLiteral("fault"))) {
        FaultRule rule;
        if (!FaultInjector::ruleFromText(text, &rule)) {
            err << "lydevice-simulator: --fault wants KIND:MATCH[:COUNT[:DELAYMS]], not " << text << "\n";
            return 2;
        }
        options.faults.append(rule);
    }

    const QHostAddress address(
        parser.isSet(QStringLiteral("listen")) ? parser.value(QStringLiteral("listen")) : QStringLiteral("127.0.0.1"));
    if (address.isNull()) {
        err << "lydevice-simulator: --listen wants an IP address\n";
        return 2;
    }
    struct Plan {
        DeviceKind kind;
        const char *name;
        QString httpOption;
        QString p2pOption;
    };
    std::vector<Plan> plans;
    if (kind != QLatin1String("ipc"))
        plans.push_back({ DeviceKind::Recorder, "nvr", QStringLiteral("http-port"), QStringLiteral("p2p-port") });
    if (kind == QLatin1String("ipc"))
        plans.push_back({ DeviceKind::Camera, "ipc", QStringLiteral("http-port"), QStringLiteral("p2p-port") });
    if (kind == QLatin1String("both"))
        plans.push_back(
            { DeviceKind::Camera, "ipc", QStringLiteral("camera-http-port"), QStringLiteral("camera-p2p-port") });

    const bool verbose = parser.isSet(QStringLiteral("verbose"));
    std::vector<std::unique_ptr<DeviceSimulator>> devices;
    for (const Plan &plan : plans) {
        qint64 httpPort = 0, p2pPort = 0;
        if (!readInt(parser, plan.httpOption, 0, 65535, &httpPort)
            || !readInt(parser, plan.p2pOption, 0, 65535, &p2pPort))
            return 2;
        SimulatorOptions deviceOptions = options;
        deviceOptions.kind = plan.kind;
        devices.push_back(std::make_unique<DeviceSimulator>(deviceOptions));
        DeviceSimulator &device = *devices.back();
        if (!device.listen(address, static_cast<quint16>(httpPort), static_cast<quint16>(p2pPort))) {
            err << "lydevice-simulator: " << plan.name << " cannot listen: " << device.errorString() << "\n";
            return 1;
        }
        if (verbose) {
            const QString name = QLatin1String(plan.name);
            QObject::connect(&device, &DeviceSimulator::requestServed, &app, [name](const RequestRecord &record) {
                QTextStream line(stdout);
                line << name << (record.overLink ? " p2p " : " http ") << record.kind << " status " << record.status
                     << (record.fault.isEmpty() ? QString() : QStringLiteral(" fault ") + record.fault) << "\n";
            });
        }
        out << plan.name << " http " << address.toString() << ":" << device.httpPort() << "\n";
        out << plan.name << " p2p " << address.toString() << ":" << device.p2pPort() << "\n";
    }
    out.flush();
    return app.exec();
}
