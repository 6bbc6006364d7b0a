#include "CommandLine.h"

#include "EntryFormat.h"
#include "FaultInjector.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>

#include <cmath>
#include <limits>

namespace
{

struct CommandInfo {
    const char *name;
    ToolCommand command;
    const char *summary;
    const char *description;
};

const CommandInfo commands[] = {
    { "search-video",
        ToolCommand::SearchVideo,
        "Search recorded video and print every record found at once.",
        "Searches recorded video by channels, record type, stream and time span and prints every record found, "
        "with the span the records cover." },
    { "read-video",
        ToolCommand::ReadVideo,
        "Read recorded video batch by batch, as the device delivers it.",
        "Reads the recordings of a device incrementally: general records, tags and event records, each batch "
        "printed as it arrives. On a terminal, progress is shown on standard error." },
    { "search-picture",
        ToolCommand::SearchPicture,
        "Search captured pictures; print how many and the first page.",
        "Searches captured pictures by channels, picture type and time span, and prints how many were found and "
        "the first page of them. Pictures are searched over ip only." },
    { "read-picture-page",
        ToolCommand::ReadPicturePage,
        "Search captured pictures and print one page of them.",
        "Searches captured pictures as search-picture does, then prints page --page of the result (pages hold "
        "30 pictures on a camera, 100 on a recorder)." },
    { "read-picture",
        ToolCommand::ReadPicture,
        "Search captured pictures and write one of them to a file.",
        "Searches captured pictures as search-picture does, then fetches picture --index of the result, decodes "
        "it and writes it to --output (the format follows the file name's extension)." },
    { "simulate",
        ToolCommand::Simulate,
        "Run the device simulator in the foreground.",
        "Plays a network video recorder (nvr) or an IP camera (ipc) over HTTP and over the P2P link, with "
        "synthetic content that follows from the seed. Prints the ports it listens on and runs until Ctrl-C." },
};

const CommandInfo *findCommand(const QString &name)
{
    for (const CommandInfo &info : commands) {
        if (name == QLatin1String(info.name))
            return &info;
    }
    return nullptr;
}

bool isVideo(ToolCommand command)
{
    return command == ToolCommand::SearchVideo || command == ToolCommand::ReadVideo;
}

// Reads a whole number within [low, high] into `value`, which keeps its value when the option is not given.
template <typename Number>
bool readNumber(
    const QCommandLineParser &parser, const QString &name, qint64 low, qint64 high, Number *value, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const qint64 number = parser.value(name).trimmed().toLongLong(&ok);
    if (!ok || number < low || number > high) {
        *error = QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(low)
                     .arg(high)
                     .arg(parser.value(name));
        return false;
    }
    *value = static_cast<Number>(number);
    return true;
}

// Seconds from `low` to a day, fractions allowed, into milliseconds; kept when not given.
bool readSeconds(const QCommandLineParser &parser, const QString &name, double low, int *ms, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const double seconds = parser.value(name).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < low || seconds > 86400) {
        *error = QStringLiteral("--%1 wants seconds from %2 to 86400, not \"%3\"")
                     .arg(name)
                     .arg(low)
                     .arg(parser.value(name));
        return false;
    }
    // At least a millisecond, so that a tiny timeout is not read as "for ever".
    *ms = seconds == 0 ? 0 : qMax(1, static_cast<int>(std::lround(seconds * 1000)));
    return true;
}

// --device, for the device to talk to and for the simulated one.
bool readDeviceKind(const QCommandLineParser &parser, ToolOptions *options, QString *error)
{
    const QString device = parser.value(QStringLiteral("device")).toLower();
    if (device == QLatin1String("ipc")) {
        options->deviceType = lydevice::DeviceType::IPC;
    } else if (!device.isEmpty() && device != QLatin1String("nvr")) {
        *error = QStringLiteral("--device is nvr or ipc, not \"%1\"").arg(parser.value(QStringLiteral("device")));
        return false;
    }
    options->simulator.kind = options->deviceType == lydevice::DeviceType::IPC ? lydevice::sim::DeviceKind::Camera
                                                                               : lydevice::sim::DeviceKind::Recorder;
    return true;
}

// "0,3", "0-3" or a mix; channels 0 to 63, each kept once, in the order given.
bool readChannels(const QString &text, QVector<int> *channels, QString *error)
{
    QVector<int> list;
    const auto addChannel = [&list](int channel) {
        if (!list.contains(channel))
            list.append(channel);
    };
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &rawPart : parts) {
        const QString part = rawPart.trimmed();
        const int dash = part.indexOf(QLatin1Char('-'), 1);
        bool okFirst = false, okLast = false;
        const int first = (dash < 0 ? part : part.left(dash)).trimmed().toInt(&okFirst);
        const int last = dash < 0 ? first : part.mid(dash + 1).trimmed().toInt(&okLast);
        if (dash < 0)
            okLast = okFirst;
        if (!okFirst || !okLast || first < 0 || last > 63 || first > last) {
            *error = QStringLiteral("--channels wants channel numbers from 0 to 63 such as \"0,3\" or \"0-3\", not "
                                    "\"%1\"")
                         .arg(text);
            return false;
        }
        for (int channel = first; channel <= last; ++channel)
            addChannel(channel);
    }
    *channels = list;
    return true;
}

// A record or picture type by name or by number (the devices tell the numbers apart; any other
// number takes the device's default).
bool readType(const QString &text, bool video, int *type, QString *error)
{
    const QString name = text.trimmed().toLower();
    const int named = entryformat::typeNames(video).indexOf(name);
    bool ok = named >= 0;
    const int number = ok ? named : name.toInt(&ok);
    if (ok && number >= 0) {
        *type = number;
        return true;
    }
    *error = video
        ? QStringLiteral("--type wants a record type: all, general, alarm, motion, smart, sensor or a "
                         "number, not \"%1\"")
              .arg(text)
        : QStringLiteral("--type wants a picture type: snapshot, alarm, all or a number, not \"%1\"").arg(text);
    return false;
}

// Local date-times: "2024-03-01 08:00:00", "2024-03-01T08:00", "2024-03-01" (midnight), ...
bool readDateTime(const QString &text, QDateTime *dateTime)
{
    static const char *const formats[] = {
        "yyyy-MM-dd HH:mm:ss",
        "yyyy-MM-ddTHH:mm:ss",
        "yyyy-MM-dd HH:mm",
        "yyyy-MM-ddTHH:mm",
        "yyyy-MM-dd",
    };
    const QString trimmed = text.trimmed();
    for (const char *format : formats) {
        const QDateTime parsed = QDateTime::fromString(trimmed, QLatin1String(format));
        if (parsed.isValid()) {
            *dateTime = parsed;
            return true;
        }
    }
    return false;
}

void addOption(QCommandLineParser &parser, const QStringList &names, const QString &description, const char *value)
{
    if (value)
        parser.addOption(QCommandLineOption(names, description, QLatin1String(value)));
    else
        parser.addOption(QCommandLineOption(names, description));
}

void addOption(QCommandLineParser &parser, const char *name, const char *description, const char *value = nullptr)
{
    addOption(parser, QStringList { QLatin1String(name) }, QLatin1String(description), value);
}

void addSimulateOptions(QCommandLineParser &parser)
{
    addOption(parser,
        QStringList { QStringLiteral("d"), QStringLiteral("device") },
        QStringLiteral("The device to play: nvr or ipc (default nvr)."),
        "kind");
    addOption(parser, "listen", "Address to listen on (default 127.0.0.1).", "address");
    addOption(parser,
        QStringList { QStringLiteral("p"), QStringLiteral("port") },
        QStringLiteral("HTTP port; 0 picks a free one (default 0)."),
        "port");
    addOption(parser, "p2p-port", "P2P link port; 0 picks a free one (default 0).", "port");
    addOption(parser, "seed", "Seed of the content (default 1).", "n");
    addOption(parser, "channel-count", "Channels of the recorder, 1 to 64 (default 4).", "n");
    addOption(parser, "records", "Recordings of each type per channel (default 30).", "n");
    addOption(parser, "tags", "Tags per channel (default 60).", "n");
    addOption(parser, "pictures", "Pictures of each type per channel (default 40).", "n");
    addOption(parser, "user", "Ask for HTTP Basic credentials with this user.", "user");
    addOption(parser, "password", "The password for --user.", "password");
    addOption(parser,
        "fault",
        "Arm a fault, KIND:MATCH[:COUNT[:DELAYMS]]; kinds: delay, status500, drop, malformed, truncated; "
        "MATCH an action, PBFileTotalPage, PBFilePageIndex, sdexplorer, closelyfshandle, dataloader, "
        "nvr.N, ipc.N or *. May be repeated.",
        "fault");
}

void addDeviceOptions(QCommandLineParser &parser)
{
    addOption(parser,
        QStringList { QStringLiteral("d"), QStringLiteral("device") },
        QStringLiteral("Kind of device: nvr (network video recorder) or ipc (IP camera); default nvr."),
        "kind");
    addOption(parser, "transport", "How to reach the device: ip (HTTP) or p2p (P2P link); default ip.", "transport");
    addOption(parser,
        "host",
        "Address of the device. Without it the tool starts a simulated device in-process on a free "
        "loopback port and runs against it.",
        "host");
    addOption(parser,
        QStringList { QStringLiteral("p"), QStringLiteral("port") },
        QStringLiteral("Port of the device (HTTP default 80; required with --host over p2p)."),
        "port");
    addOption(parser, "user", "User name for the device's HTTP authorization.", "user");
    addOption(parser, "password", "Password for --user.", "password");
    addOption(parser,
        QStringList { QStringLiteral("c"), QStringLiteral("channels") },
        QStringLiteral("Channels to search, e.g. \"0,3\" or \"0-3\" (default 0)."),
        "list");
}

void addSearchOptions(QCommandLineParser &parser, ToolCommand command)
{
    if (isVideo(command)) {
        addOption(parser,
            "type",
            "Record type: all, general, alarm, motion, smart, sensor or a number (default all).",
            "type");
        addOption(parser, "stream", "Stream: main or sub, or 0 or 1 (default main).", "stream");
    } else {
        addOption(parser, "type", "Picture type: snapshot, alarm, all or a number (default all).", "type");
    }
    addOption(parser,
        "from",
        "Start of the span, local time: \"yyyy-MM-dd HH:mm:ss\", \"yyyy-MM-dd HH:mm\" or \"yyyy-MM-dd\" "
        "(default: the first day of the simulator's content, 2024-03-01).",
        "time");
    addOption(parser, "to", "End of the span, local time (default: one day after --from).", "time");
    if (command == ToolCommand::ReadPicturePage)
        addOption(parser, "page", "Page to read, from 0 (default 0).", "n");
    if (command == ToolCommand::ReadPicture) {
        addOption(parser, "index", "Picture to fetch, from 0 over the whole result (default 0).", "n");
        addOption(parser,
            QStringList { QStringLiteral("o"), QStringLiteral("output") },
            QStringLiteral("Image file to write (default picture-<index>.png)."),
            "file");
    }
}

void addReportOptions(QCommandLineParser &parser, ToolCommand command)
{
    if (isVideo(command)) {
        addOption(parser,
            "timeline",
            "Also draw what was found as a PNG picture: a time axis over the span, one lane per kind of "
            "record.",
            "file.png");
        addOption(parser, "timeline-size", "Size of the timeline picture (default 1200x400).", "WxH");
    }
    addOption(parser,
        "json",
        command == ToolCommand::ReadVideo ? "Print one JSON document per line: one per batch, then a summary."
                                          : "Print one JSON document instead of the table.");
    addOption(parser, "timeout", "Give up after this many seconds (default 30; 0 waits for ever).", "seconds");
    addOption(parser,
        "reply-timeout",
        "Over ip, give up on each reply of the device after this many seconds (default 30).",
        "seconds");
    addOption(parser,
        QStringList { QStringLiteral("v"), QStringLiteral("verbose") },
        QStringLiteral("Show the library's log messages on standard error."),
        nullptr);
}

void addOptions(QCommandLineParser &parser, ToolCommand command)
{
    if (command == ToolCommand::Simulate) {
        addSimulateOptions(parser);
    } else {
        addDeviceOptions(parser);
        addSearchOptions(parser, command);
        addReportOptions(parser, command);
    }
}

// The help text of QCommandLineParser with our own usage line.
QString helpText(const QCommandLineParser &parser, const QString &command)
{
    QString text = parser.helpText();
    const int firstLineEnd = text.indexOf(QLatin1Char('\n'));
    text = firstLineEnd < 0 ? QString() : text.mid(firstLineEnd + 1);
    return QStringLiteral("Usage: lydevice %1 [options]\n").arg(command) + text;
}

// --from and --to. The default span is the first day of the simulator's content, so that the tool
// finds something with no arguments at all; with one end given, the span is a day.
bool readSpan(const QCommandLineParser &parser, ToolOptions *options, QString *error)
{
    const lydevice::sim::SimulatorOptions simulator;
    const bool hasFrom = parser.isSet(QStringLiteral("from"));
    const bool hasTo = parser.isSet(QStringLiteral("to"));
    if (hasFrom && !readDateTime(parser.value(QStringLiteral("from")), &options->from)) {
        *error = QStringLiteral("--from wants a local date-time such as \"2024-03-01 08:00:00\", not \"%1\"")
                     .arg(parser.value(QStringLiteral("from")));
        return false;
    }
    if (hasTo && !readDateTime(parser.value(QStringLiteral("to")), &options->to)) {
        *error = QStringLiteral("--to wants a local date-time such as \"2024-03-01 18:00:00\", not \"%1\"")
                     .arg(parser.value(QStringLiteral("to")));
        return false;
    }
    if (!hasFrom && !hasTo) {
        options->from = simulator.spanStart;
        options->to = simulator.spanStart.addSecs(qMin<qint64>(simulator.spanSeconds, 86400));
    } else if (!hasTo) {
        options->to = options->from.addDays(1);
    } else if (!hasFrom) {
        options->from = options->to.addDays(-1);
    }
    if (options->from >= options->to) {
        *error = QStringLiteral("--from must come before --to");
        return false;
    }
    return true;
}

CommandLine::Result help(const QString &text)
{
    CommandLine::Result result;
    result.kind = CommandLine::Result::Help;
    result.text = text;
    return result;
}

CommandLine::Result error(const QString &message, const QString &usage)
{
    CommandLine::Result result;
    result.kind = CommandLine::Result::Error;
    result.text = QStringLiteral("lydevice: %1\n\n%2").arg(message, usage);
    return result;
}

} // namespace

QString CommandLine::overview()
{
    QString text = QStringLiteral(
        "Usage: lydevice <command> [options]\n"
        "Finds and fetches recorded video and captured pictures on network video recorders (nvr) and IP cameras "
        "(ipc).\nWithout --host it runs against a simulated device started inside the tool.\n\nCommands:\n");
    for (const CommandInfo &info : commands)
        text += QStringLiteral("  %1%2\n").arg(QLatin1String(info.name), -20).arg(QLatin1String(info.summary));
    text += QStringLiteral("\nRun \"lydevice <command> --help\" for the options of a command.\n");
    return text;
}

CommandLine::Result CommandLine::parse(const QStringList &arguments) const
{
    const QString name = arguments.value(1);
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help"))
        return help(overview());
    if (name == QLatin1String("--version"))
        return help(QStringLiteral("lydevice %1\n").arg(QCoreApplication::applicationVersion()));
    if (name.isEmpty())
        return error(QStringLiteral("no command given"), overview());
    if (!findCommand(name))
        return error(QStringLiteral("unknown command \"%1\"").arg(name), overview());
    return parseCommand(name, arguments);
}

CommandLine::Result CommandLine::parseCommand(const QString &name, const QStringList &arguments) const
{
    const CommandInfo *info = findCommand(name);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QLatin1String(info->description));
    const QCommandLineOption helpOption(
        QStringList { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Displays this help."));
    parser.addOption(helpOption);
    addOptions(parser, info->command);
    const QString usage = helpText(parser, name);

    // The subcommand stands where QCommandLineParser expects the program name.
    QStringList rest = arguments.mid(2);
    rest.prepend(arguments.value(0));
    if (!parser.parse(rest))
        return error(parser.errorText(), usage);
    if (parser.isSet(helpOption))
        return help(usage);
    if (!parser.positionalArguments().isEmpty())
        return error(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst()), usage);

    Result result;
    result.kind = Result::Run;
    result.options.command = info->command;
    result.options.commandName = name;
    QString message;
    const bool ok = info->command == ToolCommand::Simulate
        ? readSimulateOptions(parser, &result.options, &message)
        : readDeviceOptions(parser, &result.options, &message) && readSearchOptions(parser, &result.options, &message)
            && readReportOptions(parser, &result.options, &message);
    if (!ok)
        return error(message, usage);
    return result;
}

bool CommandLine::readDeviceOptions(const QCommandLineParser &parser, ToolOptions *options, QString *error)
{
    if (!readDeviceKind(parser, options, error))
        return false;
    const QString transport = parser.value(QStringLiteral("transport")).toLower();
    if (transport == QLatin1String("p2p")) {
        options->transport = lydevice::TransportType::P2p;
    } else if (!transport.isEmpty() && transport != QLatin1String("ip")) {
        *error = QStringLiteral("--transport is ip or p2p, not \"%1\"").arg(parser.value(QStringLiteral("transport")));
        return false;
    }
    options->host = parser.value(QStringLiteral("host")).trimmed();
    if (parser.isSet(QStringLiteral("host")) && options->host.isEmpty()) {
        *error = QStringLiteral("--host wants an address");
        return false;
    }
    if (!readNumber(parser, QStringLiteral("port"), 1, 65535, &options->port, error))
        return false;
    if (options->port != 0 && options->host.isEmpty()) {
        *error = QStringLiteral("--port needs --host; without --host the tool runs its own simulator");
        return false;
    }
    if (options->port == 0 && !options->host.isEmpty()) {
        if (options->transport == lydevice::TransportType::P2p) {
            *error = QStringLiteral("--port is required with --host over p2p");
            return false;
        }
        options->port = 80;
    }
    options->user = parser.value(QStringLiteral("user"));
    options->password = parser.value(QStringLiteral("password"));
    if (!isVideo(options->command) && options->transport == lydevice::TransportType::P2p) {
        *error = QStringLiteral("pictures are searched and read over ip only; leave out --transport p2p");
        return false;
    }
    return true;
}

bool CommandLine::readSearchOptions(const QCommandLineParser &parser, ToolOptions *options, QString *error)
{
    const bool video = isVideo(options->command);
    if (parser.isSet(QStringLiteral("channels"))
        && !readChannels(parser.value(QStringLiteral("channels")), &options->channels, error))
        return false;
    options->recordType
        = video ? static_cast<int>(lydevice::RecordVideoType::All) : static_cast<int>(lydevice::RecordPictureType::All);
    if (parser.isSet(QStringLiteral("type"))
        && !readType(parser.value(QStringLiteral("type")), video, &options->recordType, error))
        return false;
    if (video && parser.isSet(QStringLiteral("stream"))) {
        const QString stream = parser.value(QStringLiteral("stream")).trimmed().toLower();
        if (stream == QLatin1String("main") || stream == QLatin1String("0")) {
            options->stream = static_cast<int>(lydevice::StreamType::Main);
        } else if (stream == QLatin1String("sub") || stream == QLatin1String("1")) {
            options->stream = static_cast<int>(lydevice::StreamType::Sub);
        } else {
            *error = QStringLiteral("--stream is main, sub, 0 or 1, not \"%1\"")
                         .arg(parser.value(QStringLiteral("stream")));
            return false;
        }
    }

    if (!readSpan(parser, options, error))
        return false;
    const int most = std::numeric_limits<int>::max();
    if (options->command == ToolCommand::ReadPicturePage
        && !readNumber(parser, QStringLiteral("page"), 0, most, &options->page, error))
        return false;
    if (options->command == ToolCommand::ReadPicture) {
        if (!readNumber(parser, QStringLiteral("index"), 0, most, &options->index, error))
            return false;
        options->output = parser.isSet(QStringLiteral("output")) ? parser.value(QStringLiteral("output"))
                                                                 : QStringLiteral("picture-%1.png").arg(options->index);
        if (options->output.isEmpty()) {
            *error = QStringLiteral("--output wants a file name");
            return false;
        }
    }
    return true;
}

bool CommandLine::readReportOptions(const QCommandLineParser &parser, ToolOptions *options, QString *error)
{
    options->json = parser.isSet(QStringLiteral("json"));
    options->verbose = parser.isSet(QStringLiteral("verbose"));
    if (!readSeconds(parser, QStringLiteral("timeout"), 0, &options->timeoutMs, error)
        || !readSeconds(parser, QStringLiteral("reply-timeout"), 0.001, &options->replyTimeoutMs, error))
        return false;
    if (options->replyTimeoutMs > 0 && options->transport == lydevice::TransportType::P2p) {
        *error = QStringLiteral("--reply-timeout is for ip; over p2p the library gives each command its own");
        return false;
    }
    if (!isVideo(options->command))
        return true;
    options->timelinePath = parser.value(QStringLiteral("timeline"));
    if (parser.isSet(QStringLiteral("timeline")) && options->timelinePath.isEmpty()) {
        *error = QStringLiteral("--timeline wants a file name");
        return false;
    }
    if (parser.isSet(QStringLiteral("timeline-size"))) {
        const QString text = parser.value(QStringLiteral("timeline-size")).trimmed().toLower();
        const QStringList parts = text.split(QLatin1Char('x'));
        bool okWidth = false, okHeight = false;
        const int width = parts.value(0).toInt(&okWidth);
        const int height = parts.value(1).toInt(&okHeight);
        if (parts.size() != 2 || !okWidth || !okHeight || width < 320 || width > 8000 || height < 160
            || height > 8000) {
            *error = QStringLiteral("--timeline-size wants WIDTHxHEIGHT from 320x160 to 8000x8000, not \"%1\"")
                         .arg(parser.value(QStringLiteral("timeline-size")));
            return false;
        }
        options->timelineSize = QSize(width, height);
    }
    return true;
}

bool CommandLine::readSimulateOptions(const QCommandLineParser &parser, ToolOptions *options, QString *error)
{
    if (!readDeviceKind(parser, options, error))
        return false;
    if (parser.isSet(QStringLiteral("listen"))) {
        options->listenAddress = parser.value(QStringLiteral("listen")).trimmed();
        if (QHostAddress(options->listenAddress).isNull()) {
            *error = QStringLiteral("--listen wants an IP address, not \"%1\"").arg(options->listenAddress);
            return false;
        }
    }
    lydevice::sim::SimulatorOptions &simulator = options->simulator;
    int records = simulator.recordsPerType[0];
    int pictures = simulator.picturesPerType[0];
    const int most = lydevice::sim::kMaxRecordsPerSequence;
    if (!readNumber(parser, QStringLiteral("port"), 0, 65535, &options->port, error)
        || !readNumber(parser, QStringLiteral("p2p-port"), 0, 65535, &options->p2pPort, error)
        || !readNumber(parser, QStringLiteral("seed"), 0, std::numeric_limits<qint64>::max(), &simulator.seed, error)
        || !readNumber(
            parser, QStringLiteral("channel-count"), 1, lydevice::sim::kMaxChannels, &simulator.channels, error)
        || !readNumber(parser, QStringLiteral("records"), 0, most, &records, error)
        || !readNumber(parser, QStringLiteral("tags"), 0, most, &simulator.tagsPerChannel, error)
        || !readNumber(parser, QStringLiteral("pictures"), 0, most, &pictures, error))
        return false;
    simulator.setRecordCount(records);
    simulator.setPictureCount(pictures);
    simulator.user = parser.value(QStringLiteral("user"));
    simulator.password = parser.value(QStringLiteral("password"));
    const QStringList faults = parser.values(QStringLiteral("fault"));
    for (const QString &text : faults) {
        lydevice::sim::FaultRule rule;
        // simulate refuses a negative delay, which the device would take as none.
        if (!lydevice::sim::FaultInjector::ruleFromText(text, &rule) || rule.delayMs < 0) {
            *error = QStringLiteral("--fault wants KIND:MATCH[:COUNT[:DELAYMS]], not \"%1\"").arg(text);
            return false;
        }
        simulator.faults.append(rule);
    }
    return true;
}
