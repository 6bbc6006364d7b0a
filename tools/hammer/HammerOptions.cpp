#include "HammerOptions.h"

#include <QCommandLineParser>

namespace
{

QCommandLineOption valueOption(const char *name, const char *description, const char *valueName = "n")
{
    return QCommandLineOption(QLatin1String(name), QLatin1String(description), QLatin1String(valueName));
}

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Calls every export of LyDevice from many threads at once with random arguments against simulated "
        "recorders and cameras, counts every callback and checks the library's promises about them. "
        "--soak also samples the process's memory and file descriptors."));
    parser.addHelpOption();
    parser.addOption(valueOption("seconds", "How long to call (default 20)."));
    parser.addOption(valueOption("threads", "Worker threads calling (default 8)."));
    parser.addOption(valueOption("seed",
        "Seed of each worker's calls and arguments, of the faults and of the devices' content (default 1). How the "
        "threads interleave is not repeatable."));
    parser.addOption(valueOption("devices", "Simulated recorders, and as many cameras (default 2)."));
    parser.addOption(valueOption("cancel-every", "A worker cancels everything once in N calls (default 400)."));
    parser.addOption(valueOption("max-open",
        "Calls of one worker waiting for their answers at once (default 6). With --threads 1 --max-open 1 no two "
        "calls of a device overlap."));
    parser.addOption(QCommandLineOption(QStringLiteral("no-faults"), QStringLiteral("Arm no faults.")));
    parser.addOption(valueOption("drain", "Longest wait for the answers still owed at the end (default 30 s)."));
    parser.addOption(QCommandLineOption(QStringLiteral("soak"),
        QStringLiteral("Sample resident memory and open descriptors; the devices run in child processes.")));
    parser.addOption(valueOption("sample", "Soak: seconds between samples (default 5)."));
    parser.addOption(valueOption("warmup", "Soak: seconds before the first compared sample (default 60)."));
    parser.addOption(valueOption("rss-growth", "Soak: resident growth allowed after warm-up, MB (default 16)."));
    parser.addOption(valueOption("fd-growth", "Soak: descriptor growth allowed after warm-up (default 4)."));
    parser.addOption(
        valueOption("simulator", "Soak: the lydevice-simulator executable (default: the built one).", "path"));
    parser.addOption(QCommandLineOption(QStringLiteral("verbose"), QStringLiteral("Print the library's log.")));
}

// Reads option `name` into `value` when it is given; false with `error` set when it is not a
// number from `low` to `high`.
template <typename Number>
bool readNumber(
    const QCommandLineParser &parser, const char *name, qint64 low, qint64 high, Number *value, QString *error)
{
    const QString key = QLatin1String(name);
    if (!parser.isSet(key))
        return true;
    bool ok = false;
    const qint64 read = parser.value(key).toLongLong(&ok);
    if (!ok || read < low || read > high) {
        *error = QStringLiteral("--%1 wants a number from %2 to %3").arg(key).arg(low).arg(high);
        return false;
    }
    *value = Number(read);
    return true;
}

bool readNumbers(const QCommandLineParser &parser, HammerOptions *options, QString *error)
{
    return readNumber(parser, "seconds", 1, 7 * 86400, &options->seconds, error)
        && readNumber(parser, "threads", 1, 64, &options->threads, error)
        && readNumber(parser, "seed", 0, Q_INT64_C(0x7fffffffffffffff), &options->seed, error)
        && readNumber(parser, "devices", 1, 16, &options->devices, error)
        && readNumber(parser, "cancel-every", 1, 1000000, &options->cancelEvery, error)
        && readNumber(parser, "max-open", 1, 1000, &options->maxOpen, error)
        && readNumber(parser, "drain", 1, 3600, &options->drainSeconds, error)
        && readNumber(parser, "sample", 1, 3600, &options->sampleSeconds, error)
        && readNumber(parser, "warmup", 0, 86400, &options->warmupSeconds, error)
        && readNumber(parser, "rss-growth", 0, 1 << 20, &options->rssGrowthLimitMb, error)
        && readNumber(parser, "fd-growth", 0, 1 << 20, &options->fdGrowthLimit, error);
}

} // namespace

bool parseHammerOptions(const QStringList &arguments, HammerOptions *options, QString *error, bool *help)
{
    QCommandLineParser parser;
    addOptions(parser);
    *help = false;
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *help = true;
        *error = parser.helpText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }
    options->faults = !parser.isSet(QStringLiteral("no-faults"));
    options->soak = parser.isSet(QStringLiteral("soak"));
    options->verbose = parser.isSet(QStringLiteral("verbose"));
    if (parser.isSet(QStringLiteral("simulator")))
        options->simulatorProgram = parser.value(QStringLiteral("simulator"));
    return readNumbers(parser, options, error);
}
