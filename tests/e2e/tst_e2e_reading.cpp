// search_video_begin and search_video_end end to end, on the four reader kinds (recorder and
// camera, over HTTP and P2P): the batch sequence checked against the simulator's catalogue, and
// what an ended or cancelled reader leaves open on the device.

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
const QVector<int> searchedChannels { 2, 0 };

// Several pages in every stage: record info of one channel (pages of 100), tags of two channels
// (pages of 50), events of two channels (pages of 100), camera files (pages of 20).
sim::SimulatorOptions deviceOptions(sim::DeviceKind kind)
{
    sim::SimulatorOptions options;
    options.kind = kind;
    options.seed = 5;
    options.channels = 3;
    options.setRecordCount(80);
    options.tagsPerChannel = 60;
    options.setPictureCount(0);
    return options;
}

struct Batch {
    RecordVideoType type;
    QVariantList records;
};

// The deliveries a full reading makes, codes aside.
QVector<Batch> expectedBatches(const sim::Catalogue &catalogue, TransportType transport, int videoType)
{
    QVector<Batch> batches;
    if (catalogue.kind() == sim::DeviceKind::Recorder) {
        // General records of the first channel at once, then one batch per reply of the tag
        // search and of the two event stages (motion, then smart records), then the end.
        batches.append({ RecordVideoType::All,
            recorderReadingEntries(catalogue.recordInfo(searchedChannels.first(), spanFrom, spanTo)) });
        for (const QVariantList &page : pages(tagEntries(catalogue.tags(searchedChannels, spanFrom, spanTo)), 50))
            batches.append({ RecordVideoType::Tag, page });
        const auto events = [&](int event, int subType) {
            return recorderReadingEntries(catalogue.events(searchedChannels, event, subType, spanFrom, spanTo));
        };
        for (const QVariantList &page : pages(events(2, 0), 100))
            batches.append({ RecordVideoType::General, page });
        for (const QVariantList &page : pages(events(64, 511), 100))
            batches.append({ RecordVideoType::Alarm, page });
    } else {
        // A camera delivers after its last page: every kept file, then the files of digit 2 and
        // those of digit 5 when there are any. Over HTTP it lists the files of the type mask of
        // the video type, over the link every file.
        static const int maskOfVideoType[6] = { 35, 2, 32, 128, 256, 64 };
        const int mask = transport == TransportType::P2p ? 0
            : videoType >= 0 && videoType < 6            ? maskOfVideoType[videoType]
                                                         : 484;
        QVector<sim::Recording> byDigit[3];
        for (const sim::Recording &file : catalogue.cameraFiles(mask, spanFrom, spanTo)) {
            const int digit = file.cameraDigit();
            if (digit == 1 || digit == 2 || digit == 5)
                byDigit[digit == 1 ? 0 : digit == 2 ? 1 : 2].append(file);
        }
        batches.append({ RecordVideoType::All,
            videoSearchEntries(byDigit[0] + byDigit[1] + byDigit[2], sim::DeviceKind::Camera) });
        if (!byDigit[1].isEmpty())
            batches.append({ RecordVideoType::General, videoSearchEntries(byDigit[1], sim::DeviceKind::Camera) });
        if (!byDigit[2].isEmpty())
            batches.append({ RecordVideoType::Alarm, videoSearchEntries(byDigit[2], sim::DeviceKind::Camera) });
    }
    batches.append({ RecordVideoType::Alarm, QVariantList() });
    return batches;
}

QString describeTypes(const QVector<Delivery> &deliveries)
{
    QStringList types;
    for (const Delivery &delivery : deliveries)
        types.append(
            QStringLiteral("%1:%2/%3").arg(delivery.code).arg(int(delivery.type)).arg(delivery.records.size()));
    return types.join(QLatin1Char(' '));
}

// A later search of the same device, answered: replies come back in order per device, so every
// reply sent before it has been handled (or dropped) by then.
bool replyBarrier(const TargetDesc &target)
{
    const auto later = searchVideo(target, searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    return waitUntil([&later]() { return later->calls > 0; });
}
} // namespace

class TestE2eReading : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void readingDeliversTheCatalogueInBatches_data();
    void readingDeliversTheCatalogueInBatches();
    void endBeforeTheFirstReply_data();
    void endBeforeTheFirstReply();
    void cancelAllInTheMiddleOfAReading_data();
    void cancelAllInTheMiddleOfAReading();
    void twoReadersOfOneDeviceRunIndependently();
    void beginFromAnotherThread();
    void cleanupExportLeavesRunningWorkAlone();
};

void TestE2eReading::initTestCase()
{
    init();
}

void TestE2eReading::cleanup()
{
    cancel_all_record_searching();
}

void TestE2eReading::readingDeliversTheCatalogueInBatches_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<int>("videoType");

    QTest::newRow("recorder over http") << sim::DeviceKind::Recorder << TransportType::Ip << 0;
    QTest::newRow("recorder over http reads every stage whatever the type")
        << sim::DeviceKind::Recorder << TransportType::Ip << 5;
    QTest::newRow("recorder over p2p") << sim::DeviceKind::Recorder << TransportType::P2p << 0;
    QTest::newRow("camera over http") << sim::DeviceKind::Camera << TransportType::Ip << 0;
    QTest::newRow("camera over http, smart files only") << sim::DeviceKind::Camera << TransportType::Ip << 2;
    QTest::newRow("camera over http, motion files only") << sim::DeviceKind::Camera << TransportType::Ip << 1;
    QTest::newRow("camera over p2p") << sim::DeviceKind::Camera << TransportType::P2p << 0;
    QTest::newRow("camera over p2p lists every type whatever the type")
        << sim::DeviceKind::Camera << TransportType::P2p << 4;
}

void TestE2eReading::readingDeliversTheCatalogueInBatches()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(int, videoType);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const QVector<Batch> expected = expectedBatches(device.catalogue(), transport, videoType);

    const auto reading
        = beginReading(device.target(transport), searchedChannels, RecordVideoType(videoType), spanFrom, spanTo);
    QVERIFY(reading->id != 0);
    QVERIFY(reading->deliveries.isEmpty());
    waitUntil([&]() { return reading->finished(); });
    QVERIFY(reading->finished());

    const QVector<Delivery> &got = reading->deliveries;
    QVERIFY2(got.size() == expected.size(), qPrintable(describeTypes(got)));
    // Every delivery of a recorder carries the playback session that its reading opened and
    // keeps open until the reader is ended; a camera opens nothing and reports 0.
    const int code = got.first().code;
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got.at(i).code, code);
        QCOMPARE(got.at(i).type, expected.at(i).type);
        const QString difference = firstDifference(got.at(i).records, expected.at(i).records);
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("delivery %1: %2").arg(i).arg(difference)));
    }
    if (kind == sim::DeviceKind::Recorder) {
        QVERIFY(device.books().isOpen(sim::HandleKind::PlaybackSession, code));
    } else {
        QCOMPARE(code, 0);
        QVERIFY(device.books().openHandles().isEmpty());
    }

    search_video_end(reading->id);
    QCOMPARE(device.waitForNothingOpen(), QString());
    QVERIFY2(
        device.books().strayCloses().isEmpty(), qPrintable(device.books().strayCloses().join(QStringLiteral(", "))));
    QCOMPARE(reading->deliveries.size(), expected.size());
}

void TestE2eReading::endBeforeTheFirstReply_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QString>("firstRequest");

    QTest::newRow("recorder over http") << sim::DeviceKind::Recorder << TransportType::Ip
                                        << QStringLiteral("get.playback.recordinfo");
    QTest::newRow("recorder over p2p") << sim::DeviceKind::Recorder << TransportType::P2p << QStringLiteral("nvr.25");
    QTest::newRow("camera over http") << sim::DeviceKind::Camera << TransportType::Ip
                                      << QStringLiteral("PBFileTotalPage");
    QTest::newRow("camera over p2p") << sim::DeviceKind::Camera << TransportType::P2p << QStringLiteral("ipc.9");
}

void TestE2eReading::endBeforeTheFirstReply()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(QString, firstRequest);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const auto reading
        = beginReading(device.target(transport), searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    search_video_end(reading->id);

    // The first request went out and the device acted on it (a recorder opened a playback
    // session); the reply finds the reader gone and closes what it opened.
    waitUntil([&]() { return device.books().requestCount(firstRequest) == 1; });
    QCOMPARE(device.books().requestCount(firstRequest), 1);
    QCOMPARE(device.waitForNothingOpen(), QString());
    QVERIFY(replyBarrier(device.target(transport)));
    QVERIFY2(reading->deliveries.isEmpty(), qPrintable(describeTypes(reading->deliveries)));
}

void TestE2eReading::cancelAllInTheMiddleOfAReading_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QString>("request");

    // Cancelled as the device answers `request`: for a page, the reader holds what the stage
    // opened; for an opening request, the reply opens something for a reader that is gone.
    const sim::DeviceKind recorder = sim::DeviceKind::Recorder, camera = sim::DeviceKind::Camera;
    const TransportType http = TransportType::Ip, p2p = TransportType::P2p;
    QTest::newRow("recorder over http, record-info page")
        << recorder << http << QStringLiteral("get.playback.recordinfo_page");
    QTest::newRow("recorder over http, tag search opening")
        << recorder << http << QStringLiteral("get.playback.tags_search_open");
    QTest::newRow("recorder over http, tag page")
        << recorder << http << QStringLiteral("get.playback.tags_search_page");
    QTest::newRow("recorder over http, event search opening")
        << recorder << http << QStringLiteral("get.playback.evt_backup_search");
    QTest::newRow("recorder over http, event page")
        << recorder << http << QStringLiteral("get.playback.evt_backup_search_page");
    QTest::newRow("recorder over p2p, record-info opening") << recorder << p2p << QStringLiteral("nvr.25");
    QTest::newRow("recorder over p2p, record-info page") << recorder << p2p << QStringLiteral("nvr.26");
    QTest::newRow("recorder over p2p, tag search opening") << recorder << p2p << QStringLiteral("nvr.29");
    QTest::newRow("recorder over p2p, tag page") << recorder << p2p << QStringLiteral("nvr.31");
    QTest::newRow("recorder over p2p, event search opening") << recorder << p2p << QStringLiteral("nvr.27");
    QTest::newRow("recorder over p2p, event page") << recorder << p2p << QStringLiteral("nvr.28");
    QTest::newRow("camera over http, file page") << camera << http << QStringLiteral("PBFilePageIndex");
    QTest::newRow("camera over p2p, file page") << camera << p2p << QStringLiteral("ipc.55");
}

void TestE2eReading::cancelAllInTheMiddleOfAReading()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(QString, request);

    std::shared_ptr<Reading> reading;
    int deliveriesAtCancel = -1;
    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    QObject::connect(&device.simulator(),
        &sim::DeviceSimulator::requestServed,
        &device.simulator(),
        [&](const sim::RequestRecord &record) {
            if (record.kind == request && deliveriesAtCancel < 0) {
                deliveriesAtCancel = reading->deliveries.size();
                cancel_all_record_searching();
            }
        });
    reading = beginReading(device.target(transport), searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    waitUntil([&]() { return deliveriesAtCancel >= 0; });
    QVERIFY(deliveriesAtCancel >= 0);

    QCOMPARE(device.waitForNothingOpen(), QString());
    QVERIFY(replyBarrier(device.target(transport)));
    QCOMPARE(reading->deliveries.size(), deliveriesAtCancel);
    QVERIFY2(
        device.books().strayCloses().isEmpty(), qPrintable(device.books().strayCloses().join(QStringLiteral(", "))));
    // The reader is gone: ending it again finds nothing and changes nothing.
    search_video_end(reading->id);
}

void TestE2eReading::twoReadersOfOneDeviceRunIndependently()
{
    SimulatedDevice device(deviceOptions(sim::DeviceKind::Recorder));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(TransportType::Ip);
    const auto first = beginReading(target, searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    const auto second = beginReading(target, searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    QVERIFY(first->id != second->id);
    waitUntil([&]() { return first->finished() && second->finished(); });
    QVERIFY(first->finished() && second->finished());

    const QVector<Batch> expected = expectedBatches(device.catalogue(), TransportType::Ip, 0);
    for (const auto &reading : { first, second }) {
        QCOMPARE(reading->failures(), 0);
        QCOMPARE(reading->deliveries.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY(firstDifference(reading->deliveries.at(i).records, expected.at(i).records).isEmpty());
    }
    // Each has a playback session of its own.
    QVERIFY(first->deliveries.first().code != second->deliveries.first().code);

    search_video_end(first->id);
    waitUntil(
        [&]() { return !device.books().isOpen(sim::HandleKind::PlaybackSession, first->deliveries.first().code); });
    QVERIFY(!device.books().isOpen(sim::HandleKind::PlaybackSession, first->deliveries.first().code));
    QVERIFY(device.books().isOpen(sim::HandleKind::PlaybackSession, second->deliveries.first().code));
    search_video_end(second->id);
    QCOMPARE(device.waitForNothingOpen(), QString());
}

void TestE2eReading::beginFromAnotherThread()
{
    SimulatedDevice device(deviceOptions(sim::DeviceKind::Camera));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(TransportType::P2p);

    // search_video_begin from another thread waits until the main thread has created the reader
    // and returns its id; the deliveries come in the main thread.
    QThread *const mainThread = QThread::currentThread();
    auto reading = std::make_shared<Reading>();
    auto inMainThread = std::make_shared<bool>(true);
    std::unique_ptr<QThread> caller(QThread::create([reading, inMainThread, target, mainThread]() {
        RecordVideoDesc desc;
        desc.channel = searchedChannels;
        desc.start = spanFrom;
        desc.end = spanTo;
        reading->id = search_video_begin(
            target, desc, [reading, inMainThread, mainThread](int code, RecordVideoType type, QList<QVariant> records) {
                *inMainThread = *inMainThread && QThread::currentThread() == mainThread;
                reading->deliveries.append(Delivery { code, type, records });
            });
    }));
    caller->start();
    // The main thread keeps its event loop running while the caller waits for it.
    waitUntil([&]() { return caller->isFinished(); });
    QVERIFY(caller->isFinished());
    QVERIFY(reading->id != 0);
    waitUntil([&]() { return reading->finished(); });
    QVERIFY(*inMainThread);
    const QVector<Batch> expected = expectedBatches(device.catalogue(), TransportType::P2p, 0);
    QCOMPARE(reading->deliveries.size(), expected.size());
    QCOMPARE(reading->failures(), 0);
    search_video_end(reading->id);
}

void TestE2eReading::cleanupExportLeavesRunningWorkAlone()
{
    SimulatedDevice device(deviceOptions(sim::DeviceKind::Recorder));
    QVERIFY(device.isReady());
    const auto reading
        = beginReading(device.target(TransportType::Ip), searchedChannels, RecordVideoType::All, spanFrom, spanTo);
    lydevice::cleanup();
    waitUntil([&]() { return reading->finished(); });
    QVERIFY(reading->finished());
    QCOMPARE(reading->failures(), 0);
    QCOMPARE(reading->deliveries.size(), expectedBatches(device.catalogue(), TransportType::Ip, 0).size());
    search_video_end(reading->id);
    QCOMPARE(device.waitForNothingOpen(), QString());
}

QTEST_MAIN(TestE2eReading)
#include "tst_e2e_reading.moc"
