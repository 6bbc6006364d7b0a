// search_video end to end: LyDevice through the real transport stand-ins against simulated
// recorders and cameras on loopback. What a search reports is checked against the simulator's
// catalogue (every record found, none invented), and what it leaves open against the device's
// books.

#include "CatalogueEntries.h"
#include "ExportCalls.h"
#include "SimulatedDevice.h"

#include <QTest>
#include <QThread>

using namespace lydevice;
using namespace lydevice::e2e;

namespace
{
const QDateTime spanFrom(QDate(2024, 3, 1), QTime(1, 0));
const QDateTime spanTo(QDate(2024, 3, 1), QTime(20, 30));
const QVector<int> searchedChannels { 0, 2 };

// Enough records for several pages of every search: record info of one channel, events of two
// channels, camera files of one type.
sim::SimulatorOptions deviceOptions(sim::DeviceKind kind)
{
    sim::SimulatorOptions options;
    options.kind = kind;
    options.seed = 3;
    options.channels = 3;
    options.setRecordCount(80);
    options.tagsPerChannel = 0;
    options.setPictureCount(0);
    return options;
}

QVariantList expectedVideo(const sim::Catalogue &catalogue, int videoType)
{
    return videoSearchEntries(
        catalogue.expectedVideoSearch(searchedChannels, videoType, spanFrom, spanTo), catalogue.kind());
}

// The playback sessions a recorder holds open (a camera's video search opens none).
QVector<int> openSessions(SimulatedDevice &device)
{
    QVector<int> ids;
    for (const sim::HandleRecord &handle : device.books().openHandles(sim::HandleKind::PlaybackSession))
        ids.append(handle.id);
    return ids;
}
} // namespace

class TestE2eVideo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void searchFindsTheCatalogue_data();
    void searchFindsTheCatalogue();
    void framingCredentialsAndConnections_data();
    void framingCredentialsAndConnections();
    void nextSearchClosesThePreviousSession_data();
    void nextSearchClosesThePreviousSession();
    void cancelAllInTheMiddleOfASearch_data();
    void cancelAllInTheMiddleOfASearch();
    void callsFromAnotherThreadAnswerInTheMainThread();
    void channelListsReachTheMask_data();
    void channelListsReachTheMask();
};

void TestE2eVideo::initTestCase()
{
    init();
}

void TestE2eVideo::cleanup()
{
    // The manager is one process-wide object: leave nothing of a test running into the next.
    cancel_all_record_searching();
}

void TestE2eVideo::searchFindsTheCatalogue_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<int>("videoType");

    const struct {
        sim::DeviceKind kind;
        TransportType transport;
        const char *name;
    } targets[] = { { sim::DeviceKind::Recorder, TransportType::Ip, "recorder over http" },
        { sim::DeviceKind::Recorder, TransportType::P2p, "recorder over p2p" },
        { sim::DeviceKind::Camera, TransportType::Ip, "camera over http" },
        { sim::DeviceKind::Camera, TransportType::P2p, "camera over p2p" } };
    // 7 stands for every value outside 0 to 5: each device's default.
    for (const auto &target : targets) {
        for (const int videoType : { 0, 1, 2, 3, 4, 5, 7 })
            QTest::addRow("%s, video type %d", target.name, videoType) << target.kind << target.transport << videoType;
    }
}

void TestE2eVideo::searchFindsTheCatalogue()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(int, videoType);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const QVariantList expected = expectedVideo(device.catalogue(), videoType);
    QVERIFY(!expected.isEmpty());

    const auto answer
        = searchVideo(device.target(transport), searchedChannels, RecordVideoType(videoType), spanFrom, spanTo);
    waitUntil([&]() { return answer->calls == 1; });
    QCOMPARE(answer->calls, 1);
    const QString difference = firstDifference(answer->records, expected);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    if (kind == sim::DeviceKind::Recorder) {
        // The code is the playback session the search opened, which stays open for the host
        // until the next search of the device or cancel-all. The event search is closed (the
        // close is sent as the answer is given, not waited for).
        waitUntil([&]() { return device.books().openHandles().size() == 1; });
        QCOMPARE(device.books().openHandles().size(), 1);
        QCOMPARE(openSessions(device), QVector<int> { answer->code });
    } else {
        QCOMPARE(answer->code, 0);
        QVERIFY(device.books().openHandles().isEmpty());
    }
    cancel_all_record_searching();
    QCOMPARE(device.waitForNothingOpen(), QString());
    QVERIFY2(
        device.books().strayCloses().isEmpty(), qPrintable(device.books().strayCloses().join(QStringLiteral(", "))));
    QCOMPARE(answer->calls, 1);
}

void TestE2eVideo::framingCredentialsAndConnections_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<QVector<int>>("chunkSizes");
    QTest::addColumn<bool>("keepAlive");
    QTest::addColumn<QString>("deviceUser");
    QTest::addColumn<QString>("devicePassword");
    QTest::addColumn<QString>("clientUser");
    QTest::addColumn<QString>("clientPassword");
    QTest::addColumn<bool>("found");

    const QString none;
    const QString user = QStringLiteral("operator");
    const QString password = QStringLiteral("s3cr\u00e9t:&=");
    for (const sim::DeviceKind kind : { sim::DeviceKind::Recorder, sim::DeviceKind::Camera }) {
        const char *name = kind == sim::DeviceKind::Recorder ? "recorder" : "camera";
        QTest::addRow("%s: chunks of varied sizes", name)
            << kind << true << QVector<int>() << true << none << none << none << none << true;
        QTest::addRow("%s: chunks of one byte", name)
            << kind << true << QVector<int> { 1 } << true << none << none << none << none << true;
        QTest::addRow("%s: chunks larger than any reply", name)
            << kind << true << QVector<int> { 1 << 20 } << true << none << none << none << none << true;
        QTest::addRow("%s: connection closed after every reply", name)
            << kind << false << QVector<int>() << false << none << none << none << none << true;
        QTest::addRow("%s: basic credentials", name)
            << kind << false << QVector<int>() << true << user << password << user << password << true;
        QTest::addRow("%s: credentials, chunked, no keep-alive", name)
            << kind << true << QVector<int>() << false << user << password << user << password << true;
        QTest::addRow("%s: wrong password refused", name)
            << kind << false << QVector<int>() << true << user << password << user << QStringLiteral("secret") << false;
        QTest::addRow("%s: no credentials refused", name)
            << kind << false << QVector<int>() << true << user << password << none << none << false;
    }
}

void TestE2eVideo::framingCredentialsAndConnections()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(bool, chunked);
    QFETCH(QVector<int>, chunkSizes);
    QFETCH(bool, keepAlive);
    QFETCH(QString, deviceUser);
    QFETCH(QString, devicePassword);
    QFETCH(QString, clientUser);
    QFETCH(QString, clientPassword);
    QFETCH(bool, found);

    sim::SimulatorOptions options = deviceOptions(kind);
    options.chunked = chunked;
    if (!chunkSizes.isEmpty())
        options.chunkSizes = chunkSizes;
    options.keepAlive = keepAlive;
    options.user = deviceUser;
    options.password = devicePassword;
    SimulatedDevice device(options, clientUser, clientPassword);
    QVERIFY(device.isReady());

    const auto answer
        = searchVideo(device.target(TransportType::Ip), searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    waitUntil([&]() { return answer->calls == 1; });
    QCOMPARE(answer->calls, 1);
    if (found) {
        const QString difference = firstDifference(answer->records, expectedVideo(device.catalogue(), 0));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QVERIFY(answer->code >= 0);
    } else {
        QCOMPARE(answer->code, -1);
        QVERIFY(answer->records.isEmpty());
        // The device answered 401 and acted on nothing.
        QVERIFY(device.books().handles().isEmpty());
    }
    cancel_all_record_searching();
    QCOMPARE(device.waitForNothingOpen(), QString());
}

void TestE2eVideo::nextSearchClosesThePreviousSession_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::newRow("over http") << TransportType::Ip;
    QTest::newRow("over p2p") << TransportType::P2p;
}

void TestE2eVideo::nextSearchClosesThePreviousSession()
{
    QFETCH(TransportType, transport);

    SimulatedDevice device(deviceOptions(sim::DeviceKind::Recorder));
    QVERIFY(device.isReady());
    const auto first = searchVideo(device.target(transport), searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    waitUntil([&]() { return first->calls == 1; });
    QCOMPARE(first->calls, 1);
    QCOMPARE(openSessions(device), QVector<int> { first->code });

    const auto second
        = searchVideo(device.target(transport), searchedChannels, RecordVideoType::Alarm, spanFrom, spanTo);
    waitUntil([&]() { return second->calls == 1; });
    QCOMPARE(second->calls, 1);
    QVERIFY(second->code != first->code);
    const QString difference = firstDifference(second->records, expectedVideo(device.catalogue(), 2));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The first session was stopped before the second search went out.
    QCOMPARE(openSessions(device), QVector<int> { second->code });

    cancel_all_record_searching();
    QCOMPARE(device.waitForNothingOpen(), QString());
}

void TestE2eVideo::cancelAllInTheMiddleOfASearch_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QString>("pageRequest");

    QTest::newRow("recorder over http, during the event pages")
        << sim::DeviceKind::Recorder << TransportType::Ip << QStringLiteral("get.playback.evt_backup_search_page");
    QTest::newRow("recorder over http, during the record-info pages")
        << sim::DeviceKind::Recorder << TransportType::Ip << QStringLiteral("get.playback.recordinfo_page");
    QTest::newRow("recorder over p2p, during the event pages")
        << sim::DeviceKind::Recorder << TransportType::P2p << QStringLiteral("nvr.28");
    QTest::newRow("camera over http, during the file pages")
        << sim::DeviceKind::Camera << TransportType::Ip << QStringLiteral("PBFilePageIndex");
    QTest::newRow("camera over p2p, during the file pages")
        << sim::DeviceKind::Camera << TransportType::P2p << QStringLiteral("ipc.55");
}

void TestE2eVideo::cancelAllInTheMiddleOfASearch()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(QString, pageRequest);

    // Cancel as the device answers the first page request: the search has read its opening
    // replies and holds what they opened, and the page's reply is on its way.
    int cancels = 0;
    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    QObject::connect(&device.simulator(),
        &sim::DeviceSimulator::requestServed,
        &device.simulator(),
        [&cancels, pageRequest](const sim::RequestRecord &record) {
            if (record.kind == pageRequest && cancels++ == 0)
                cancel_all_record_searching();
        });
    const auto cancelled
        = searchVideo(device.target(transport), searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    waitUntil([&]() { return cancels == 1; });
    QCOMPARE(cancels, 1);

    // The cancelled search's handles are closed; its late reply is dropped.
    QCOMPARE(device.waitForNothingOpen(), QString());
    // Replies come back in order per device: once a later search has its answer, the cancelled
    // search's reply has been dropped.
    const auto later = searchVideo(device.target(transport), searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    waitUntil([&]() { return later->calls == 1; });
    QCOMPARE(later->calls, 1);
    QCOMPARE(cancelled->calls, 0);
    const QString difference = firstDifference(later->records, expectedVideo(device.catalogue(), 0));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    cancel_all_record_searching();
    QCOMPARE(device.waitForNothingOpen(), QString());
}

void TestE2eVideo::callsFromAnotherThreadAnswerInTheMainThread()
{
    SimulatedDevice device(deviceOptions(sim::DeviceKind::Recorder));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(TransportType::Ip);

    struct Seen {
        int calls = 0;
        bool inMainThread = false;
        QVariantList records;
    };
    auto seen = std::make_shared<Seen>();
    QThread *const mainThread = QThread::currentThread();
    std::unique_ptr<QThread> caller(QThread::create([seen, target, mainThread]() {
        search_video(target,
            searchedChannels,
            RecordVideoType::All,
            StreamType::Main,
            spanFrom,
            spanTo,
            [seen, mainThread](int, QList<QVariant> records) {
                ++seen->calls;
                seen->inMainThread = QThread::currentThread() == mainThread;
                seen->records = records;
            });
    }));
    caller->start();
    QVERIFY(caller->wait(answerTimeoutMs));
    waitUntil([&]() { return seen->calls == 1; });
    QCOMPARE(seen->calls, 1);
    QVERIFY(seen->inMainThread);
    const QString difference = firstDifference(seen->records, expectedVideo(device.catalogue(), 0));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestE2eVideo::channelListsReachTheMask_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QVector<int>>("channels");

    QVector<int> every;
    for (int channel = 63; channel >= 0; --channel)
        every.append(channel);
    for (const TransportType transport : { TransportType::Ip, TransportType::P2p }) {
        const char *name = transport == TransportType::Ip ? "http" : "p2p";
        QTest::addRow("%s, the highest channel", name) << transport << QVector<int> { 63 };
        QTest::addRow("%s, channels out of order", name) << transport << QVector<int> { 40, 7, 23 };
        QTest::addRow("%s, all 64 channels", name) << transport << every;
    }
}

void TestE2eVideo::channelListsReachTheMask()
{
    QFETCH(TransportType, transport);
    QFETCH(QVector<int>, channels);

    sim::SimulatorOptions options = deviceOptions(sim::DeviceKind::Recorder);
    options.channels = 64;
    options.setRecordCount(4);
    SimulatedDevice device(options);
    QVERIFY(device.isReady());
    const QVector<sim::Recording> recordings = device.catalogue().expectedVideoSearch(channels, 0, spanFrom, spanTo);
    QVERIFY(!recordings.isEmpty());

    const auto answer = searchVideo(device.target(transport), channels, RecordVideoType::All, spanFrom, spanTo);
    waitUntil([&]() { return answer->calls == 1; });
    QCOMPARE(answer->calls, 1);
    const QString difference
        = firstDifference(answer->records, videoSearchEntries(recordings, sim::DeviceKind::Recorder));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

QTEST_MAIN(TestE2eVideo)
#include "tst_e2e_video.moc"
