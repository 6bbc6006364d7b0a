// The lydevice tool run as a process: each subcommand against its built-in simulator and against
// a simulator started here (for faults, delays and the simulate subcommand), its output read back
// and its exit codes checked.

#include "Catalogue.h"
#include "DeviceSimulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace lydevice::sim;

namespace
{

// The tool's default span: the first day of the simulator's content.
const QDateTime defaultFrom = SimulatorOptions().spanStart;
const QDateTime defaultTo = defaultFrom.addDays(1);

struct ToolRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
    qint64 elapsedMs = 0;
};

SimulatorOptions optionsOf(DeviceKind kind)
{
    SimulatorOptions options;
    options.kind = kind;
    return options;
}

QString timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QJsonObject parseObject(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qWarning() << "not a JSON object:" << error.errorString() << text.left(400);
    return document.object();
}

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int countColour(const QImage &image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
    }
    return count;
}

} // namespace

class ToolTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void searchVideoFindsTheDeviceRecords_data();
    void searchVideoFindsTheDeviceRecords();
    void searchVideoPrintsAnAlignedTable();
    void readVideoDeliversBatches_data();
    void readVideoDeliversBatches();
    void readVideoPrintsEachBatch();
    void pictureCommands_data();
    void pictureCommands();
    void timelinePicture_data();
    void timelinePicture();

    void badUsage_data();
    void badUsage();
    void help_data();
    void help();
    void deviceFault_data();
    void deviceFault();
    void timeout_data();
    void timeout();
    void interruptCancelsTheReading();
    void simulateServesAnotherRun();

private:
    // Runs the tool and waits for it with the event loop running, so that a simulator of this
    // process answers meanwhile.
    ToolRun run(const QStringList &arguments, int limitMs = 60000);
    std::unique_ptr<QProcess> start(const QStringList &arguments);

    QScopedPointer<QTemporaryDir> workDir;
};

void ToolTest::init()
{
    workDir.reset(new QTemporaryDir);
    QVERIFY(workDir->isValid());
}

std::unique_ptr<QProcess> ToolTest::start(const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(QStringLiteral(LYDEVICE_TOOL));
    process->setArguments(arguments);
    process->setWorkingDirectory(workDir->path());
    process->start();
    return process;
}

ToolRun ToolTest::run(const QStringList &arguments, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    const std::unique_ptr<QProcess> process = start(arguments);
    ToolRun result;
    result.finished = QTest::qWaitFor([&process]() { return process->state() == QProcess::NotRunning; }, limitMs);
    if (!result.finished) {
        process->kill();
        process->waitForFinished();
    }
    result.elapsedMs = clock.elapsed();
    result.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    result.out = QString::fromUtf8(process->readAllStandardOutput());
    result.err = QString::fromUtf8(process->readAllStandardError());
    return result;
}

void ToolTest::searchVideoFindsTheDeviceRecords_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("transport");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typeArgument");
    QTest::addColumn<QVector<int>>("channels");

    QTest::newRow("recorder over ip, all types, two channels") << "nvr"
                                                               << "ip" << 0 << "all" << QVector<int> { 0, 3 };
    QTest::newRow("recorder over p2p, all types, two channels") << "nvr"
                                                                << "p2p" << 0 << "0" << QVector<int> { 0, 3 };
    QTest::newRow("recorder over ip, type by name") << "nvr"
                                                    << "ip" << 2 << "alarm" << QVector<int> { 1 };
    QTest::newRow("recorder over p2p, type by number") << "nvr"
                                                       << "p2p" << 5 << "5" << QVector<int> { 2 };
    QTest::newRow("camera over ip") << "ipc"
                                    << "ip" << 0 << "all" << QVector<int> { 0 };
    QTest::newRow("camera over p2p") << "ipc"
                                     << "p2p" << 0 << "all" << QVector<int> { 0 };
    QTest::newRow("camera over ip, one type") << "ipc"
                                              << "ip" << 1 << "general" << QVector<int> { 0 };
}

void ToolTest::searchVideoFindsTheDeviceRecords()
{
    QFETCH(QString, device);
    QFETCH(QString, transport);
    QFETCH(int, type);
    QFETCH(QString, typeArgument);
    QFETCH(QVector<int>, channels);

    QStringList channelList;
    for (int channel : channels)
        channelList.append(QString::number(channel));
    const ToolRun result = run({ QStringLiteral("search-video"),
        QStringLiteral("--device"),
        device,
        QStringLiteral("--transport"),
        transport,
        QStringLiteral("--type"),
        typeArgument,
        QStringLiteral("--channels"),
        channelList.join(QLatin1Char(',')),
        QStringLiteral("--json") });
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);

    const bool camera = device == QLatin1String("ipc");
    const Catalogue catalogue(optionsOf(camera ? DeviceKind::Camera : DeviceKind::Recorder));
    const QVector<Recording> expected = catalogue.expectedVideoSearch(channels, type, defaultFrom, defaultTo);
    QVERIFY(!expected.isEmpty());

    const QJsonObject document = parseObject(result.out);
    QCOMPARE(document.value(QStringLiteral("command")).toString(), QStringLiteral("search-video"));
    QCOMPARE(
        document.value(QStringLiteral("device")).toObject().value(QStringLiteral("builtInSimulator")).toBool(), true);
    QCOMPARE(document.value(QStringLiteral("request")).toObject().value(QStringLiteral("type")).toInt(), type);
    const QJsonArray records = document.value(QStringLiteral("records")).toArray();
    QCOMPARE(records.size(), expected.size());
    QCOMPARE(
        document.value(QStringLiteral("summary")).toObject().value(QStringLiteral("records")).toInt(), expected.size());
    for (int i = 0; i < records.size(); ++i) {
        const QJsonObject record = records.at(i).toObject();
        QCOMPARE(record.value(QStringLiteral("start")).toString(), timeText(expected.at(i).start()));
        QCOMPARE(record.value(QStringLiteral("end")).toString(), timeText(expected.at(i).end()));
        QCOMPARE(record.value(QStringLiteral("type")).toInt(),
            camera ? expected.at(i).cameraDigit() : expected.at(i).recorderCode());
    }
    // A camera has no playback session; a recorder reports the one the search opened.
    if (camera)
        QCOMPARE(document.value(QStringLiteral("code")).toInt(), 0);
    else
        QVERIFY(document.value(QStringLiteral("code")).toInt() > 0);
}

void ToolTest::searchVideoPrintsAnAlignedTable()
{
    // No arguments at all: the recorder simulator, channel 0, its first day.
    const ToolRun result = run({ QStringLiteral("search-video") });
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));

    const QStringList output = lines(result.out);
    int header = -1;
    for (int i = 0; i < output.size(); ++i) {
        if (output.at(i).contains(QLatin1String("start")) && output.at(i).contains(QLatin1String("duration")))
            header = i;
    }
    QVERIFY(header >= 0);
    const int startColumn = output.at(header).indexOf(QLatin1String("start"));
    const int endColumn = output.at(header).indexOf(QLatin1String("end"));
    const QRegularExpression row(QStringLiteral("^\\s*\\d+\\s+\\d+\\s+\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  "));
    int rows = 0;
    for (int i = header + 2; i < output.size() && row.match(output.at(i)).hasMatch(); ++i) {
        const QString &line = output.at(i);
        QCOMPARE(line.indexOf(QLatin1String("2024-"), 0), startColumn);
        QCOMPARE(line.indexOf(QLatin1String("2024-"), startColumn + 1), endColumn);
        ++rows;
    }
    const Catalogue catalogue(optionsOf(DeviceKind::Recorder));
    const int expected = catalogue.expectedVideoSearch({ 0 }, 0, defaultFrom, defaultTo).size();
    QCOMPARE(rows, expected);
    const QRegularExpression summary(
        QStringLiteral("^(\\d+) records found \\(session \\d+\\); they cover \\d+:\\d\\d:\\d\\d of the 24:00:00 "
                       "searched \\(\\d+\\.\\d%\\), from .* to .*; elapsed \\d+\\.\\d\\d s$"));
    const QRegularExpressionMatch match = summary.match(output.constLast());
    QVERIFY2(match.hasMatch(), qPrintable(output.constLast()));
    QCOMPARE(match.captured(1).toInt(), expected);
}

void ToolTest::readVideoDeliversBatches_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("transport");

    QTest::newRow("recorder over ip") << "nvr"
                                      << "ip";
    QTest::newRow("recorder over p2p") << "nvr"
                                       << "p2p";
    QTest::newRow("camera over ip") << "ipc"
                                    << "ip";
    QTest::newRow("camera over p2p") << "ipc"
                                     << "p2p";
}

void ToolTest::readVideoDeliversBatches()
{
    QFETCH(QString, device);
    QFETCH(QString, transport);

    const ToolRun result = run({ QStringLiteral("read-video"),
        QStringLiteral("-d"),
        device,
        QStringLiteral("--transport"),
        transport,
        QStringLiteral("-c"),
        QStringLiteral("0,2"),
        QStringLiteral("--json") });
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);

    // One JSON document per line: the batches in order, then the end with the summary.
    const QStringList output = lines(result.out);
    QVERIFY(output.size() >= 2);
    QHash<int, int> entriesByType;
    for (int i = 0; i < output.size() - 1; ++i) {
        const QJsonObject batch = parseObject(output.at(i));
        QCOMPARE(batch.value(QStringLiteral("batch")).toInt(), i + 1);
        const int entries = batch.value(QStringLiteral("records")).toArray().size();
        QVERIFY(entries > 0);
        entriesByType[batch.value(QStringLiteral("type")).toInt()] += entries;
    }
    const QJsonObject end = parseObject(output.constLast());
    QCOMPARE(end.value(QStringLiteral("end")).toBool(), true);
    const QJsonObject summary = end.value(QStringLiteral("summary")).toObject();
    QCOMPARE(summary.value(QStringLiteral("batches")).toInt(), output.size() - 1);

    const bool camera = device == QLatin1String("ipc");
    const Catalogue catalogue(optionsOf(camera ? DeviceKind::Camera : DeviceKind::Recorder));
    if (camera) {
        // All files of the types the camera reader keeps (1, 2 and 5), then the 2s and the 5s again.
        const QVector<Recording> files = catalogue.cameraFiles(35, defaultFrom, defaultTo);
        QCOMPARE(entriesByType.value(0), files.size());
        QCOMPARE(summary.value(QStringLiteral("records")).toInt(), files.size());
        QVERIFY(entriesByType.value(1) > 0);
        QVERIFY(entriesByType.value(2) > 0);
    } else {
        // General records of the first channel, tags of both, the two event stages.
        QCOMPARE(entriesByType.value(0), catalogue.recordInfo(0, defaultFrom, defaultTo).size());
        QCOMPARE(entriesByType.value(6), catalogue.tags({ 0, 2 }, defaultFrom, defaultTo).size());
        QCOMPARE(summary.value(QStringLiteral("tags")).toInt(), entriesByType.value(6));
        QCOMPARE(entriesByType.value(1), catalogue.events({ 0, 2 }, 2, 0, defaultFrom, defaultTo).size());
        QCOMPARE(entriesByType.value(2), catalogue.events({ 0, 2 }, 64, 511, defaultFrom, defaultTo).size());
        QCOMPARE(summary.value(QStringLiteral("records")).toInt(),
            entriesByType.value(0) + entriesByType.value(1) + entriesByType.value(2));
    }
}

void ToolTest::readVideoPrintsEachBatch()
{
    const ToolRun result = run({ QStringLiteral("read-video") });
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 0);
    // Standard error is no terminal here: no progress on it.
    QVERIFY2(result.err.isEmpty(), qPrintable(result.err));

    const QStringList output = lines(result.out);
    QStringList batchLines;
    for (const QString &line : output) {
        if (line.startsWith(QLatin1String("batch ")))
            batchLines.append(line);
    }
    QCOMPARE(batchLines.size(), 5); // general records, two pages of tags, two event stages
    QVERIFY(batchLines.at(0).startsWith(QLatin1String("batch 1: general records (type 0)")));
    QVERIFY(batchLines.at(1).startsWith(QLatin1String("batch 2: tags (type 6)")));
    // Tag names hold non-ASCII letters; they come through as UTF-8.
    const Catalogue catalogue(optionsOf(DeviceKind::Recorder));
    QVERIFY(result.out.contains(catalogue.tag(0, 0).name));
    QVERIFY2(QRegularExpression(QStringLiteral("^5 batches: \\d+ records found \\(.*\\) and \\d+ tags; they cover "))
                 .match(output.constLast())
                 .hasMatch(),
        qPrintable(output.constLast()));
}

void ToolTest::pictureCommands_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("pageSize");

    QTest::newRow("recorder") << "nvr" << 100;
    QTest::newRow("camera") << "ipc" << 30;
}

void ToolTest::pictureCommands()
{
    QFETCH(QString, device);
    QFETCH(int, pageSize);

    const bool camera = device == QLatin1String("ipc");
    const Catalogue catalogue(optionsOf(camera ? DeviceKind::Camera : DeviceKind::Recorder));
    const QVector<Picture> expected = catalogue.pictures({ 0 }, 2, defaultFrom, defaultTo);
    QVERIFY(expected.size() > pageSize);
    const auto names = [](const QJsonArray &entries) {
        QStringList list;
        for (const QJsonValue &entry : entries)
            list.append(entry.toObject().value(QStringLiteral("name")).toString());
        return list;
    };
    const auto expectedNames = [&expected](int from, int count) {
        QStringList list;
        for (int i = from; i < from + count && i < expected.size(); ++i)
            list.append(expected.at(i).name);
        return list;
    };

    ToolRun result = run({ QStringLiteral("search-picture"), QStringLiteral("-d"), device, QStringLiteral("--json") });
    QCOMPARE(result.exitCode, 0);
    QJsonObject document = parseObject(result.out);
    QCOMPARE(document.value(QStringLiteral("pictures")).toInt(), expected.size());
    QCOMPARE(document.value(QStringLiteral("pageSize")).toInt(), pageSize);
    QCOMPARE(names(document.value(QStringLiteral("entries")).toArray()), expectedNames(0, pageSize));

    result = run({ QStringLiteral("read-picture-page"),
        QStringLiteral("-d"),
        device,
        QStringLiteral("--page"),
        QStringLiteral("1"),
        QStringLiteral("--json") });
    QCOMPARE(result.exitCode, 0);
    document = parseObject(result.out);
    QCOMPARE(document.value(QStringLiteral("page")).toInt(), 1);
    QCOMPARE(document.value(QStringLiteral("firstIndex")).toInt(), pageSize);
    QCOMPARE(names(document.value(QStringLiteral("entries")).toArray()), expectedNames(pageSize, pageSize));

    // A picture on another page than the first, written as PNG: the same pixels as the device's JPEG.
    const int index = pageSize + 7;
    result = run({ QStringLiteral("read-picture"),
        QStringLiteral("-d"),
        device,
        QStringLiteral("--index"),
        QString::number(index),
        QStringLiteral("-o"),
        QStringLiteral("picture.png") });
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains(QStringLiteral("picture %1 of %2: 320x180").arg(index).arg(expected.size())),
        qPrintable(result.out));
    const QImage written(workDir->filePath(QStringLiteral("picture.png")), "png");
    QVERIFY(!written.isNull());
    const QImage original = QImage::fromData(catalogue.jpeg(expected.at(index)));
    QCOMPARE(written.convertToFormat(QImage::Format_RGB32), original.convertToFormat(QImage::Format_RGB32));

    // A page and a picture beyond the result: the device cannot serve them.
    result = run({ QStringLiteral("read-picture-page"),
        QStringLiteral("-d"),
        device,
        QStringLiteral("--page"),
        QString::number((expected.size() + pageSize - 1) / pageSize) });
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QLatin1String("does not exist")), qPrintable(result.err));
    result = run({ QStringLiteral("read-picture"),
        QStringLiteral("-d"),
        device,
        QStringLiteral("--index"),
        QString::number(expected.size()) });
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QLatin1String("does not exist")), qPrintable(result.err));
}

void ToolTest::timelinePicture_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QVector<QRgb>>("colours");

    // The lanes take the palette in order: first lane blue, second red, third green.
    QTest::newRow("search-video, default size")
        << QStringList { QStringLiteral("search-video") } << QSize(1200, 400) << QVector<QRgb> { 0x1f77b4 };
    QTest::newRow("search-video on a camera, given size") << QStringList { QStringLiteral("search-video"),
        QStringLiteral("-d"),
        QStringLiteral("ipc"),
        QStringLiteral("--timeline-size"),
        QStringLiteral("800x300") } << QSize(800, 300) << QVector<QRgb> { 0x1f77b4 };
    QTest::newRow("read-video: records, tags and events")
        << QStringList { QStringLiteral("read-video"), QStringLiteral("--timeline-size"), QStringLiteral("640x480") }
        << QSize(640, 480) << QVector<QRgb> { 0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e };
}

void ToolTest::timelinePicture()
{
    QFETCH(QStringList, arguments);
    QFETCH(QSize, size);
    QFETCH(QVector<QRgb>, colours);

    const ToolRun result = run(arguments << QStringLiteral("--timeline") << QStringLiteral("timeline.png"));
    QCOMPARE(result.exitCode, 0);
    const QImage image(workDir->filePath(QStringLiteral("timeline.png")), "png");
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), size);
    for (const QRgb colour : colours)
        QVERIFY2(countColour(image, colour) > 100, qPrintable(QString::number(colour, 16)));
}

void ToolTest::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("no command") << QStringList() << "no command given";
    QTest::newRow("unknown command") << QStringList { QStringLiteral("frobnicate") } << "unknown command";
    QTest::newRow("unknown option") << QStringList { QStringLiteral("search-video"), QStringLiteral("--bogus") }
                                    << "Unknown option";
    QTest::newRow("option without its value")
        << QStringList { QStringLiteral("search-video"), QStringLiteral("--from") } << "Missing value";
    QTest::newRow("stray argument") << QStringList { QStringLiteral("search-video"), QStringLiteral("now") }
                                    << "unexpected argument";
    QTest::newRow("unknown device kind") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("-d"), QStringLiteral("dvr")
    } << "--device is nvr or ipc";
    QTest::newRow("unknown transport") << QStringList {
        QStringLiteral("read-video"), QStringLiteral("--transport"), QStringLiteral("udp")
    } << "--transport is ip or p2p";
    QTest::newRow("channels not numbers")
        << QStringList { QStringLiteral("search-video"), QStringLiteral("-c"), QStringLiteral("a,b") } << "--channels";
    QTest::newRow("channel beyond 63") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("-c"), QStringLiteral("0,64")
    } << "--channels";
    QTest::newRow("unknown record type") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("--type"), QStringLiteral("fast")
    } << "--type wants a record type";
    QTest::newRow("record type for pictures")
        << QStringList { QStringLiteral("search-picture"), QStringLiteral("--type"), QStringLiteral("motion") }
        << "--type wants a picture type";
    QTest::newRow("unknown stream") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("--stream"), QStringLiteral("third")
    } << "--stream";
    QTest::newRow("unreadable time") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("--from"), QStringLiteral("yesterday")
    } << "--from wants a local date-time";
    QTest::newRow("span backwards") << QStringList { QStringLiteral("read-video"),
        QStringLiteral("--from"),
        QStringLiteral("2024-03-02"),
        QStringLiteral("--to"),
        QStringLiteral("2024-03-01 12:00") }
                                    << "--from must come before --to";
    QTest::newRow("negative timeout") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("--timeout"), QStringLiteral("-1")
    } << "--timeout";
    QTest::newRow("port without host") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("-p"), QStringLiteral("8080")
    } << "--port needs --host";
    QTest::newRow("p2p host without port") << QStringList { QStringLiteral("read-video"),
        QStringLiteral("--host"),
        QStringLiteral("127.0.0.1"),
        QStringLiteral("--transport"),
        QStringLiteral("p2p") } << "--port is required";
    QTest::newRow("pictures over p2p") << QStringList {
        QStringLiteral("read-picture"), QStringLiteral("--transport"), QStringLiteral("p2p")
    } << "over ip only";
    QTest::newRow("negative page") << QStringList {
        QStringLiteral("read-picture-page"), QStringLiteral("--page"), QStringLiteral("-1")
    } << "--page";
    QTest::newRow("page on the wrong command")
        << QStringList { QStringLiteral("read-picture"), QStringLiteral("--page"), QStringLiteral("1") }
        << "Unknown option";
    QTest::newRow("tiny timeline") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("--timeline-size"), QStringLiteral("10x10")
    } << "--timeline-size";
    QTest::newRow("unknown simulator fault")
        << QStringList { QStringLiteral("simulate"), QStringLiteral("--fault"), QStringLiteral("explode:*") }
        << "--fault";
}

void ToolTest::badUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const ToolRun result = run(arguments);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.startsWith(QLatin1String("lydevice: ")), qPrintable(result.err));
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QVERIFY2(result.err.contains(QLatin1String("Usage: lydevice ")), qPrintable(result.err));
}

void ToolTest::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("usage");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("the tool") << QStringList { QStringLiteral("--help") } << "Usage: lydevice <command> [options]"
                              << "read-picture-page";
    const char *const commands[][2] = {
        { "search-video", "--timeline" },
        { "read-video", "--timeline" },
        { "search-picture", "--channels" },
        { "read-picture-page", "--page" },
        { "read-picture", "--output" },
        { "simulate", "--fault" },
    };
    for (const auto &command : commands) {
        QTest::newRow(command[0]) << QStringList { QLatin1String(command[0]), QStringLiteral("--help") }
                                  << QStringLiteral("Usage: lydevice %1 [options]").arg(QLatin1String(command[0]))
                                  << QString::fromLatin1(command[1]);
    }
}

void ToolTest::help()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);
    QFETCH(QString, mentions);

    const ToolRun result = run(arguments);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.startsWith(usage), qPrintable(result.out));
    QVERIFY(result.out.contains(mentions));
    QVERIFY(result.err.isEmpty());
}

void ToolTest::deviceFault_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("match");
    QTest::addColumn<QString>("message");

    const QStringList searchVideo { QStringLiteral("search-video") };
    QTest::newRow("recorder event search answers 500")
        << "nvr" << searchVideo << int(FaultKind::Status500) << "get.playback.evt_backup_search"
        << "search_video failed";
    QTest::newRow("camera file page answers 500")
        << "ipc" << searchVideo << int(FaultKind::Status500) << "PBFilePageIndex"
        << "search_video failed";
    QTest::newRow("camera page count cut off over p2p")
        << "ipc" << QStringList { QStringLiteral("read-video"), QStringLiteral("--transport"), QStringLiteral("p2p") }
        << int(FaultKind::TruncatedChunked) << "ipc.9"
        << "search_video_begin failed";
    QTest::newRow("recorder tag search dropped") << "nvr" << QStringList { QStringLiteral("read-video") }
                                                 << int(FaultKind::Drop) << "get.playback.tags_search_open"
                                                 << "search_video_begin failed";
    QTest::newRow("recorder link closes")
        << "nvr" << QStringList { QStringLiteral("read-video"), QStringLiteral("--transport"), QStringLiteral("p2p") }
        << int(FaultKind::Drop) << "*"
        << "search_video_begin failed";
    QTest::newRow("recorder picture search answers 500")
        << "nvr" << QStringList { QStringLiteral("search-picture") } << int(FaultKind::Status500)
        << "get.playback.picture_backup_search_open"
        << "search_picture failed";
    QTest::newRow("recorder picture page answers 500")
        << "nvr" << QStringList { QStringLiteral("read-picture-page"), QStringLiteral("--page"), QStringLiteral("1") }
        << int(FaultKind::Status500) << "get.playback.picture_backup_search_page"
        << "read_picture_page failed";
    QTest::newRow("camera picture download cut off")
        << "ipc" << QStringList { QStringLiteral("read-picture"), QStringLiteral("--index"), QStringLiteral("3") }
        << int(FaultKind::Drop) << "dataloader"
        << "read_picture failed";
}

void ToolTest::deviceFault()
{
    QFETCH(QString, device);
    QFETCH(QStringList, arguments);
    QFETCH(int, fault);
    QFETCH(QString, match);
    QFETCH(QString, message);

    const bool camera = device == QLatin1String("ipc");
    DeviceSimulator simulator(optionsOf(camera ? DeviceKind::Camera : DeviceKind::Recorder));
    QVERIFY(simulator.listen());
    simulator.addFault(static_cast<FaultKind>(fault), match);
    const bool p2p = arguments.contains(QStringLiteral("p2p"));
    const quint16 port = p2p ? simulator.p2pPort() : simulator.httpPort();

    const ToolRun result
        = run(arguments << QStringLiteral("-d") << device << QStringLiteral("--host") << QStringLiteral("127.0.0.1")
                        << QStringLiteral("--port") << QString::number(port));
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    // The message names the device.
    QVERIFY2(result.err.contains(QStringLiteral("127.0.0.1:%1").arg(port)), qPrintable(result.err));
    // What the run opened on the device before the fault is closed again.
    QTRY_VERIFY(simulator.openHandles().isEmpty());
}

void ToolTest::timeout_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("match");
    QTest::addColumn<QString>("waitingFor");

    QTest::newRow("recorder video search")
        << "nvr" << QStringList { QStringLiteral("search-video") } << "get.playback.recordinfo"
        << "search_video";
    QTest::newRow("reading after the first batch")
        << "nvr" << QStringList { QStringLiteral("read-video") } << "get.playback.tags_search_open"
        << "search_video_begin (after 1 batch)";
    QTest::newRow("camera picture download") << "ipc" << QStringList { QStringLiteral("read-picture") } << "dataloader"
                                             << "read_picture";
}

void ToolTest::timeout()
{
    QFETCH(QString, device);
    QFETCH(QStringList, arguments);
    QFETCH(QString, match);
    QFETCH(QString, waitingFor);

    DeviceSimulator simulator(optionsOf(device == QLatin1String("ipc") ? DeviceKind::Camera : DeviceKind::Recorder));
    QVERIFY(simulator.listen());
    // Far longer than the tool waits, and than the transport's own reply timeout.
    simulator.addFault(FaultKind::Delay, match, -1, 120000);

    const ToolRun result
        = run(arguments << QStringLiteral("-d") << device << QStringLiteral("--host") << QStringLiteral("127.0.0.1")
                        << QStringLiteral("--port") << QString::number(simulator.httpPort())
                        << QStringLiteral("--timeout") << QStringLiteral("0.5"));
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QStringLiteral("timed out after 0.5 s waiting for %1 from the %2 at 127.0.0.1:%3")
                                     .arg(waitingFor, device)
                                     .arg(simulator.httpPort())),
        qPrintable(result.err));
    QVERIFY2(result.elapsedMs < 20000, qPrintable(QString::number(result.elapsedMs)));
}

void ToolTest::interruptCancelsTheReading()
{
    DeviceSimulator simulator(optionsOf(DeviceKind::Recorder));
    QVERIFY(simulator.listen());
    // The reading stops after its first batch, waiting for the tag search.
    simulator.addFault(FaultKind::Delay, QStringLiteral("get.playback.tags_search_open"), -1, 120000);

    const std::unique_ptr<QProcess> process(start({ QStringLiteral("read-video"),
        QStringLiteral("--host"),
        QStringLiteral("127.0.0.1"),
        QStringLiteral("--port"),
        QString::number(simulator.httpPort()),
        QStringLiteral("--timeout"),
        QStringLiteral("0") }));
    QByteArray out;
    QVERIFY(QTest::qWaitFor(
        [&]() {
            out += process->readAllStandardOutput();
            return out.contains("batch 1: general records") || process->state() == QProcess::NotRunning;
        },
        60000));
    QCOMPARE(process->state(), QProcess::Running);
    QVERIFY(process->processId() > 0);
    QCOMPARE(::kill(static_cast<pid_t>(process->processId()), SIGINT), 0);
    QVERIFY(QTest::qWaitFor([&]() { return process->state() == QProcess::NotRunning; }, 20000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 130);
    QVERIFY(QString::fromUtf8(process->readAllStandardError()).contains(QLatin1String("lydevice: interrupted")));
}

void ToolTest::simulateServesAnotherRun()
{
    const std::unique_ptr<QProcess> simulate(
        start({ QStringLiteral("simulate"), QStringLiteral("--device"), QStringLiteral("ipc") }));
    QByteArray announced;
    QVERIFY(QTest::qWaitFor(
        [&]() {
            announced += simulate->readAllStandardOutput();
            return announced.count('\n') >= 2 || simulate->state() == QProcess::NotRunning;
        },
        60000));
    const QRegularExpressionMatch http
        = QRegularExpression(QStringLiteral("^ipc http 127\\.0\\.0\\.1:(\\d+)$"), QRegularExpression::MultilineOption)
              .match(QString::fromUtf8(announced));
    const QRegularExpressionMatch p2p
        = QRegularExpression(QStringLiteral("^ipc p2p 127\\.0\\.0\\.1:(\\d+)$"), QRegularExpression::MultilineOption)
              .match(QString::fromUtf8(announced));
    QVERIFY2(http.hasMatch() && p2p.hasMatch(), announced.constData());

    // The same content as the built-in simulator: the same records, over both transports.
    const auto records = [this](const QStringList &arguments) {
        const ToolRun result = run(
            QStringList {
                QStringLiteral("search-video"), QStringLiteral("-d"), QStringLiteral("ipc"), QStringLiteral("--json") }
            + arguments);
        return result.exitCode == 0 ? parseObject(result.out).value(QStringLiteral("records")).toArray() : QJsonArray();
    };
    const QJsonArray builtIn = records({});
    QVERIFY(!builtIn.isEmpty());
    QCOMPARE(records({ QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), http.captured(1) }),
        builtIn);
    QCOMPARE(records({ QStringLiteral("--host"),
                 QStringLiteral("127.0.0.1"),
                 QStringLiteral("-p"),
                 p2p.captured(1),
                 QStringLiteral("--transport"),
                 QStringLiteral("p2p") }),
        builtIn);

    // Ctrl-C ends it.
    QCOMPARE(simulate->state(), QProcess::Running);
    QCOMPARE(::kill(static_cast<pid_t>(simulate->processId()), SIGINT), 0);
    QVERIFY(QTest::qWaitFor([&]() { return simulate->state() == QProcess::NotRunning; }, 20000));
    QCOMPARE(simulate->exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulate->exitCode(), 130);
}

QTEST_GUILESS_MAIN(ToolTest)
#include "tst_tool.moc"
