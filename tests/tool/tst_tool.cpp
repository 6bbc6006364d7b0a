// The lydevice tool run as a process: each command once, against its built-in simulator or, for
// simulate, as the device of another run; then its exit codes on bad usage and device failures,
// and the cause each failure message names.
// What the commands print is read back as JSON and compared with the simulator's catalogue.

#include "Catalogue.h"
#include "DeviceSimulator.h"
#include "Waiting.h"

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
const QDateTime dayStart = SimulatorOptions().spanStart;
const QDateTime dayEnd = dayStart.addDays(1);

// Long enough for a run under the sanitizers; a hang fails with the command that hung.
constexpr int RunLimitMs = 10000;

// Devices of the exitCodes rows besides a simulator with a fault armed (a FaultKind).
constexpr int NoDevice = -1; // the tool's built-in simulator, or none
constexpr int ClosedPort = -2;
constexpr int WantsCredentials = -3; // admin:secret

struct Run {
    QString command;
    int exitCode = -1; // -1: did not finish
    QByteArray out;
    QString err;

    QByteArray describe() const
    {
        const QString exit
            = exitCode < 0 ? QStringLiteral("none (crashed, or killed at the limit)") : QString::number(exitCode);
        return QStringLiteral("lydevice %1: exit code %2, standard error: %3").arg(command, exit, err).toUtf8();
    }
};

Catalogue catalogueOf(DeviceKind kind)
{
    SimulatorOptions options;
    options.kind = kind;
    return Catalogue(options);
}

QJsonObject parseObject(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

QString timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

} // namespace

class TestTool : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void searchVideo();
    void readVideo();
    void pictureCommands();
    void simulate();
    void exitCodes_data();
    void exitCodes();

private:
    std::unique_ptr<QProcess> start(const QStringList &arguments)
    {
        auto process = std::make_unique<QProcess>();
        process->setWorkingDirectory(workDir->path());
        process->start(QStringLiteral(LYDEVICE_TOOL), arguments);
        return process;
    }
    // Runs the tool with the event loop running, so that a simulator of this process answers it.
    Run run(const QStringList &arguments)
    {
        const std::unique_ptr<QProcess> process = start(arguments);
        Run result;
        result.command = arguments.join(QLatin1Char(' '));
        if (!waitUntil([&]() { return process->state() == QProcess::NotRunning; }, RunLimitMs))
            process->kill();
        process->waitForFinished();
        if (process->exitStatus() == QProcess::NormalExit)
            result.exitCode = process->exitCode();
        result.out = process->readAllStandardOutput();
        result.err = QString::fromUtf8(process->readAllStandardError());
        return result;
    }

    std::unique_ptr<QTemporaryDir> workDir;
};

void TestTool::init()
{
    workDir = std::make_unique<QTemporaryDir>();
    QVERIFY(workDir->isValid());
}

void TestTool::searchVideo()
{
    const Run result = run({ QStringLiteral("search-video"),
        QStringLiteral("--channels"),
        QStringLiteral("0,3"),
        QStringLiteral("--json"),
        QStringLiteral("--timeline"),
        QStringLiteral("timeline.png") });
    QVERIFY2(result.exitCode == 0, result.describe());

    const QVector<Recording> expected
        = catalogueOf(DeviceKind::Recorder).expectedVideoSearch({ 0, 3 }, 0, dayStart, dayEnd);
    const QJsonArray records = parseObject(result.out).value(QStringLiteral("records")).toArray();
    QCOMPARE(records.size(), expected.size());
    for (int i = 0; i < records.size(); ++i) {
        const QJsonObject record = records.at(i).toObject();
        QCOMPARE(record.value(QStringLiteral("start")).toString(), timeText(expected.at(i).start()));
        QCOMPARE(record.value(QStringLiteral("end")).toString(), timeText(expected.at(i).end()));
        QCOMPARE(record.value(QStringLiteral("type")).toInt(), expected.at(i).recorderCode());
    }
    QCOMPARE(QImage(workDir->filePath(QStringLiteral("timeline.png"))).size(), QSize(1200, 400));
}

void TestTool::readVideo()
{
    const Run result
        = run({ QStringLiteral("read-video"), QStringLiteral("-c"), QStringLiteral("0,2"), QStringLiteral("--json") });
    QVERIFY2(result.exitCode == 0, result.describe());

    // One JSON document per line: the batches in order, then the end with the summary.
    const QList<QByteArray> lines = result.out.trimmed().split('\n');
    QHash<int, int> entriesByType;
    for (int i = 0; i < lines.size() - 1; ++i) {
        const QJsonObject batch = parseObject(lines.at(i));
        entriesByType[batch.value(QStringLiteral("type")).toInt()]
            += batch.value(QStringLiteral("records")).toArray().size();
    }
    const QJsonObject end = parseObject(lines.last());
    QVERIFY(end.value(QStringLiteral("end")).toBool());
    // Records of the first channel, tags of both (names in UTF-8), the two event stages.
    const Catalogue catalogue = catalogueOf(DeviceKind::Recorder);
    QCOMPARE(entriesByType.value(0), catalogue.recordInfo(0, dayStart, dayEnd).size());
    QCOMPARE(entriesByType.value(6), catalogue.tags({ 0, 2 }, dayStart, dayEnd).size());
    QVERIFY(result.out.contains(catalogue.tag(2, 0).name.toUtf8()));
    QCOMPARE(entriesByType.value(1), catalogue.events({ 0, 2 }, 2, 0, dayStart, dayEnd).size());
    QCOMPARE(entriesByType.value(2), catalogue.events({ 0, 2 }, 64, 511, dayStart, dayEnd).size());
    QCOMPARE(end.value(QStringLiteral("summary")).toObject().value(QStringLiteral("records")).toInt(),
        entriesByType.value(0) + entriesByType.value(1) + entriesByType.value(2));
}

void TestTool::pictureCommands()
{
    // A camera pages by 30; each command searches first.
    const Catalogue catalogue = catalogueOf(DeviceKind::Camera);
    const QVector<Picture> expected = catalogue.pictures({ 0 }, 2, dayStart, dayEnd);
    const auto names = [](const QByteArray &out) {
        QStringList list;
        for (const QJsonValue &entry : parseObject(out).value(QStringLiteral("entries")).toArray())
            list.append(entry.toObject().value(QStringLiteral("name")).toString());
        return list;
    };
    const auto expectedNames = [&expected](int from) {
        QStringList list;
        for (int i = from; i < from + 30; ++i)
            list.append(expected.at(i).name);
        return list;
    };
    const QStringList camera { QStringLiteral("-d"), QStringLiteral("ipc") };

    Run result = run(QStringList { QStringLiteral("search-picture"), QStringLiteral("--json") } + camera);
    QVERIFY2(result.exitCode == 0, result.describe());
    QCOMPARE(parseObject(result.out).value(QStringLiteral("pictures")).toInt(), expected.size());
    QCOMPARE(names(result.out), expectedNames(0));

    result = run(QStringList { QStringLiteral("read-picture-page"),
                     QStringLiteral("--page"),
                     QStringLiteral("1"),
                     QStringLiteral("--json") }
        + camera);
    QVERIFY2(result.exitCode == 0, result.describe());
    QCOMPARE(names(result.out), expectedNames(30));

    // A picture on another page than the first, written as PNG: the pixels of the device's JPEG.
    result = run(QStringList { QStringLiteral("read-picture"),
                     QStringLiteral("--index"),
                     QStringLiteral("37"),
                     QStringLiteral("-o"),
                     QStringLiteral("picture.png") }
        + camera);
    QVERIFY2(result.exitCode == 0, result.describe());
    const QImage written(workDir->filePath(QStringLiteral("picture.png")), "png");
    QVERIFY(!written.isNull());
    QCOMPARE(written.convertToFormat(QImage::Format_RGB32),
        QImage::fromData(catalogue.jpeg(expected.at(37))).convertToFormat(QImage::Format_RGB32));
}

void TestTool::simulate()
{
    // The simulator the tool starts serves another run with the content of the built-in one.
    const std::unique_ptr<QProcess> simulator(
        start({ QStringLiteral("simulate"), QStringLiteral("--device"), QStringLiteral("ipc") }));
    QByteArray announced;
    const QRegularExpression link(
        QStringLiteral("^ipc p2p 127\\.0\\.0\\.1:(\\d+)$"), QRegularExpression::MultilineOption);
    QVERIFY2(waitUntil(
                 [&]() {
                     announced += simulator->readAllStandardOutput();
                     return link.match(QString::fromUtf8(announced)).hasMatch()
                         || simulator->state() == QProcess::NotRunning;
                 },
                 RunLimitMs),
        "lydevice simulate did not announce its link port");
    const QString port = link.match(QString::fromUtf8(announced)).captured(1);
    QVERIFY2(!port.isEmpty(), announced.constData());

    const Run result = run({ QStringLiteral("search-video"),
        QStringLiteral("-d"),
        QStringLiteral("ipc"),
        QStringLiteral("--host"),
        QStringLiteral("127.0.0.1"),
        QStringLiteral("-p"),
        port,
        QStringLiteral("--transport"),
        QStringLiteral("p2p"),
        QStringLiteral("--json") });
    QVERIFY2(result.exitCode == 0, result.describe());
    QCOMPARE(parseObject(result.out).value(QStringLiteral("records")).toArray().size(),
        catalogueOf(DeviceKind::Camera).expectedVideoSearch({ 0 }, 0, dayStart, dayEnd).size());

    // Ctrl-C ends it.
    QCOMPARE(::kill(static_cast<pid_t>(simulator->processId()), SIGINT), 0);
    QVERIFY2(waitUntil([&]() { return simulator->state() == QProcess::NotRunning; }, RunLimitMs),
        "lydevice simulate did not end on SIGINT");
    QCOMPARE(simulator->exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator->exitCode(), 130);
}

void TestTool::exitCodes_data()
{
    // Device rows run against a simulator of this test: `setup` is a FaultKind armed on `match`
    // or one of the setups above. Standard error must hold `cause`, "%1" the device's port.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("setup");
    QTest::addColumn<QString>("match");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("cause");

    const QString usage = QStringLiteral("Usage:");
    const QStringList searchVideo { QStringLiteral("search-video") };
    QTest::newRow("no command") << QStringList() << NoDevice << QString() << 2 << usage;
    QTest::newRow("bad option value") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("-c"), QStringLiteral("0,64")
    } << NoDevice << QString() << 2 << usage;
    // The search opened a playback session before the failure: the tool closes it on its way out.
    QTest::newRow("device answers with a failure")
        << searchVideo << int(FaultKind::Status500) << QStringLiteral("get.playback.evt_backup_search") << 1
        << QStringLiteral("HTTP status 500 (Internal Server Error) from 127.0.0.1:%1");
    // A recorder over p2p ends a reading of a span without records with (0, 0, empty list).
    QTest::newRow("empty span over p2p") << QStringList { QStringLiteral("read-video"),
        QStringLiteral("--transport"),
        QStringLiteral("p2p"),
        QStringLiteral("--from"),
        QStringLiteral("2031-01-01") } << NoDevice
                                         << QString() << 0 << QString();
    // Over ip the recorder reports it as a failure, which no transport error explains.
    QTest::newRow("empty span over ip") << QStringList {
        QStringLiteral("search-video"), QStringLiteral("--from"), QStringLiteral("2031-01-01")
    } << NoDevice << QString() << 1 << QStringLiteral("the device answered, but with an error");
    QTest::newRow("device does not answer in time")
        << QStringList { QStringLiteral("search-video"), QStringLiteral("--timeout"), QStringLiteral("0.5") }
        << int(FaultKind::Delay) << QStringLiteral("get.playback.evt_backup_search") << 1
        << QStringLiteral("timed out after 0.5 s waiting for search_video from the nvr at 127.0.0.1:%1");
    QTest::newRow("silent device: the transport gives up")
        << QStringList { QStringLiteral("search-video"), QStringLiteral("--reply-timeout"), QStringLiteral("0.3") }
        << int(FaultKind::Delay) << QStringLiteral("*") << 1
        << QStringLiteral("search_video failed on the nvr at 127.0.0.1:%1 over ip: no reply within 0.3 s from "
                          "127.0.0.1:%1");
    QTest::newRow("connection refused") << searchVideo << ClosedPort << QString() << 1
                                        << QStringLiteral("search-video: search_video failed on the nvr at "
                                                          "127.0.0.1:%1 over ip: connection refused by 127.0.0.1:%1");
    QTest::newRow("connection refused over p2p")
        << QStringList { QStringLiteral("read-video"), QStringLiteral("--transport"), QStringLiteral("p2p") }
        << ClosedPort << QString() << 1 << QStringLiteral("general records: connection refused by 127.0.0.1:%1");
    QTest::newRow("credentials refused")
        << QStringList { QStringLiteral("search-video"),
               QStringLiteral("--user"),
               QStringLiteral("admin"),
               QStringLiteral("--password"),
               QStringLiteral("wrong") }
        << WantsCredentials << QString() << 1
        << QStringLiteral("credentials refused (HTTP 401) by 127.0.0.1:%1\nlydevice: the device refused the "
                          "credentials; check --user and --password");
}

void TestTool::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, setup);
    QFETCH(QString, match);
    QFETCH(int, exitCode);
    QFETCH(QString, cause);

    DeviceSimulator device;
    QVERIFY(device.listen());
    const quint16 port = arguments.contains(QLatin1String("p2p")) ? device.p2pPort() : device.httpPort();
    if (setup == ClosedPort)
        device.close();
    else if (setup == WantsCredentials)
        device.setCredentials(QStringLiteral("admin"), QStringLiteral("secret"));
    else if (setup >= 0)
        device.addFault(FaultKind(setup), match, -1, setup == int(FaultKind::Delay) ? 60000 : 0);
    if (setup != NoDevice)
        arguments << QStringLiteral("--host") << QStringLiteral("127.0.0.1") << QStringLiteral("--port")
                  << QString::number(port);
    const Run result = run(arguments);
    QVERIFY2(result.exitCode == exitCode, result.describe());
    QVERIFY2(
        result.err.contains(QString(cause).replace(QLatin1String("%1"), QString::number(port))), result.describe());
    // What the run opened is closed on its way out; not behind a request that hangs, though, which
    // holds the device's queue of requests.
    if (setup >= 0 && FaultKind(setup) != FaultKind::Delay)
        WAIT_FOR(device.openHandles().isEmpty());
}

QTEST_GUILESS_MAIN(TestTool)
#include "tst_tool.moc"
