// search_picture, read_picture_page and read_picture end to end, on a simulated recorder and
// camera over HTTP (the only transport with pictures): counts, pages and decoded pictures checked
// against the simulator's catalogue, the page kept by the library checked through the requests the
// device receives, and the picture search session closed by cancel-all.

#include "CatalogueEntries.h"
#include "ExportCalls.h"
#include "SimulatedDevice.h"

#include <QTest>

using namespace lydevice;
using namespace lydevice::e2e;

namespace
{
const QDateTime spanFrom(QDate(2024, 3, 1), QTime(1, 0));
const QDateTime spanTo(QDate(2024, 3, 1), QTime(20, 30));
const QVector<int> searchedChannels { 0, 2 };

// Several pages of pictures of every type: a recorder pages by 100, a camera by 30.
sim::SimulatorOptions deviceOptions(sim::DeviceKind kind)
{
    sim::SimulatorOptions options;
    options.kind = kind;
    options.seed = 9;
    options.channels = 3;
    options.setRecordCount(5);
    options.tagsPerChannel = 0;
    options.setPictureCount(80);
    options.pictureSize = QSize(96, 54);
    return options;
}

int pageSize(sim::DeviceKind kind)
{
    return kind == sim::DeviceKind::Recorder ? 100 : 30;
}

QString pictureSessionRequest(sim::DeviceKind kind)
{
    return kind == sim::DeviceKind::Recorder ? QStringLiteral("get.playback.picture_backup_search_page")
                                             : QStringLiteral("sdexplorer");
}

// The same pixels as the device's JPEG decodes to.
bool samePicture(const QImage &got, const QByteArray &jpeg)
{
    const QImage want = QImage::fromData(jpeg);
    return !got.isNull() && !want.isNull()
        && got.convertToFormat(QImage::Format_RGB32) == want.convertToFormat(QImage::Format_RGB32);
}

// Searches pictures of every type on the device and waits for the count.
int searchAllPictures(const TargetDesc &target)
{
    const auto answer = searchPicture(target, searchedChannels, RecordPictureType::All, spanFrom, spanTo);
    waitUntil([&]() { return answer->calls > 0; });
    return answer->calls == 1 ? answer->count : -2;
}
} // namespace

class TestE2ePictures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void searchPagesAndPictures_data();
    void searchPagesAndPictures();
    void picturesNeedHttp_data();
    void picturesNeedHttp();
    void readWhileAnotherReadRunsIsRefused_data();
    void readWhileAnotherReadRunsIsRefused();
    void cancelAllInTheMiddleOfAPictureRead_data();
    void cancelAllInTheMiddleOfAPictureRead();
    void eachSearchClosesThePreviousSession_data();
    void eachSearchClosesThePreviousSession();
};

void TestE2ePictures::initTestCase()
{
    init();
}

void TestE2ePictures::cleanup()
{
    cancel_all_record_searching();
}

void TestE2ePictures::searchPagesAndPictures_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<int>("pictureType");
    QTest::addColumn<bool>("chunkedWithCredentials");

    for (const sim::DeviceKind kind : { sim::DeviceKind::Recorder, sim::DeviceKind::Camera }) {
        const char *name = kind == sim::DeviceKind::Recorder ? "recorder" : "camera";
        // 5 stands for every value but 0 and 1: pictures of every type.
        for (const int pictureType : { 0, 1, 5 })
            QTest::addRow("%s, picture type %d", name, pictureType) << kind << pictureType << false;
        QTest::addRow("%s, chunked replies and credentials", name) << kind << 5 << true;
    }
}

void TestE2ePictures::searchPagesAndPictures()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(int, pictureType);
    QFETCH(bool, chunkedWithCredentials);

    sim::SimulatorOptions options = deviceOptions(kind);
    const QString user = chunkedWithCredentials ? QStringLiteral("viewer") : QString();
    const QString password = chunkedWithCredentials ? QStringLiteral("pa ss") : QString();
    options.chunked = chunkedWithCredentials;
    options.user = user;
    options.password = password;
    SimulatedDevice device(options, user, password);
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(TransportType::Ip);
    const sim::Catalogue &catalogue = device.catalogue();
    const QVector<sim::Picture> pictures = catalogue.pictures(searchedChannels, pictureType, spanFrom, spanTo);
    const QVector<QVariantList> expectedPages = pages(pictureEntries(pictures, kind), pageSize(kind));
    QVERIFY(expectedPages.size() >= 2);

    const auto found = searchPicture(target, searchedChannels, RecordPictureType(pictureType), spanFrom, spanTo);
    waitUntil([&]() { return found->calls > 0; });
    QCOMPARE(found->calls, 1);
    QCOMPARE(found->count, pictures.size());
    const QVector<sim::HandleRecord> sessions = device.books().openHandles();
    QCOMPARE(sessions.size(), 1);

    // The search kept its first page: reading page 0 asks the device nothing.
    const int requestsAfterSearch = device.books().requestCount();
    const auto first = readPicturePage(target, 0);
    waitUntil([&]() { return first->calls > 0; });
    QCOMPARE(first->calls, 1);
    QCOMPARE(device.books().requestCount(), requestsAfterSearch);
    QString difference = firstDifference(first->entries, expectedPages.first());
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    // Every other page within the session, then page 0 again, now from the device.
    const int pageRequestsBefore = device.books().requestCount(pictureSessionRequest(kind));
    for (int page = 1; page <= expectedPages.size(); ++page) {
        const int index = page % expectedPages.size();
        const auto answer = readPicturePage(target, index);
        waitUntil([&]() { return answer->calls > 0; });
        QCOMPARE(answer->calls, 1);
        difference = firstDifference(answer->entries, expectedPages.at(index));
        QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("page %1: %2").arg(index).arg(difference)));
    }
    QCOMPARE(device.books().requestCount(pictureSessionRequest(kind)) - pageRequestsBefore, expectedPages.size());

    // Pictures on the page held (page 0 now), then on another page, which the read loads and
    // keeps: reading that page afterwards asks the device nothing.
    const int lastPage = expectedPages.size() - 1;
    const int lastIndex = pictures.size() - 1;
    for (const int index : { 1, lastIndex, lastPage * pageSize(kind) }) {
        const auto picture = readPicture(target, index);
        waitUntil([&]() { return picture->calls > 0; });
        QCOMPARE(picture->calls, 1);
        const QByteArray jpeg = catalogue.jpeg(pictures.at(index));
        QCOMPARE(picture->size, quint64(jpeg.size()));
        QVERIFY2(samePicture(picture->image, jpeg), qPrintable(QStringLiteral("picture %1").arg(index)));
    }
    const int requestsAfterPictures = device.books().requestCount();
    const auto held = readPicturePage(target, lastPage);
    waitUntil([&]() { return held->calls > 0; });
    QCOMPARE(device.books().requestCount(), requestsAfterPictures);
    difference = firstDifference(held->entries, expectedPages.last());
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    // Pages beyond the last page but below the picture count exist for the library; the device
    // has no pictures on them.
    const auto beyond = readPicturePage(target, expectedPages.size());
    waitUntil([&]() { return beyond->calls > 0; });
    QCOMPARE(beyond->calls, 1);
    QVERIFY(beyond->entries.isEmpty());
    // Out of range: refused without a request.
    const int requestsBeforeRefusals = device.books().requestCount();
    for (const int page : { -1, int(pictures.size()) }) {
        const auto refused = readPicturePage(target, page);
        waitUntil([&]() { return refused->calls > 0; });
        QCOMPARE(refused->calls, 1);
        QVERIFY(refused->entries.isEmpty());
    }
    QCOMPARE(device.books().requestCount(), requestsBeforeRefusals);

    cancel_all_record_searching();
    QCOMPARE(device.waitForNothingOpen(), QString());
    QVERIFY2(
        device.books().strayCloses().isEmpty(), qPrintable(device.books().strayCloses().join(QStringLiteral(", "))));
}

void TestE2ePictures::picturesNeedHttp_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::newRow("recorder over p2p") << sim::DeviceKind::Recorder;
    QTest::newRow("camera over p2p") << sim::DeviceKind::Camera;
}

void TestE2ePictures::picturesNeedHttp()
{
    QFETCH(sim::DeviceKind, kind);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(TransportType::P2p);
    const auto search = searchPicture(target, searchedChannels, RecordPictureType::All, spanFrom, spanTo);
    const auto page = readPicturePage(target, 1);
    const auto picture = readPicture(target, 0);
    waitUntil([&]() { return search->calls > 0 && page->calls > 0 && picture->calls > 0; });
    QCOMPARE(search->calls, 1);
    QCOMPARE(search->count, -1);
    QCOMPARE(page->calls, 1);
    QVERIFY(page->entries.isEmpty());
    QCOMPARE(picture->calls, 1);
    QCOMPARE(picture->size, quint64(0));
    QVERIFY(picture->image.isNull());
    QCOMPARE(device.books().requestCount(), 0);
}

void TestE2ePictures::readWhileAnotherReadRunsIsRefused_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::newRow("recorder") << sim::DeviceKind::Recorder;
    QTest::newRow("camera") << sim::DeviceKind::Camera;
}

void TestE2ePictures::readWhileAnotherReadRunsIsRefused()
{
    QFETCH(sim::DeviceKind, kind);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(TransportType::Ip);
    QVERIFY(searchAllPictures(target) > 0);

    // One operation per device: the second read, sent while the first runs, is refused.
    const auto running = readPicture(target, pageSize(kind) + 3);
    const auto refusedPicture = readPicture(target, 0);
    const auto refusedPage = readPicturePage(target, 1);
    waitUntil([&]() { return running->calls > 0 && refusedPicture->calls > 0 && refusedPage->calls > 0; });
    QCOMPARE(refusedPicture->calls, 1);
    QCOMPARE(refusedPicture->size, quint64(0));
    QVERIFY(refusedPicture->image.isNull());
    QCOMPARE(refusedPage->calls, 1);
    QVERIFY(refusedPage->entries.isEmpty());
    QCOMPARE(running->calls, 1);
    QVERIFY(!running->image.isNull());

    // Once it has answered, the device is free again.
    const auto next = readPicture(target, 0);
    waitUntil([&]() { return next->calls > 0; });
    QVERIFY(!next->image.isNull());
}

void TestE2ePictures::cancelAllInTheMiddleOfAPictureRead_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<bool>("pictureRead");

    QTest::newRow("recorder, page read") << sim::DeviceKind::Recorder << false;
    QTest::newRow("recorder, picture read moving to another page") << sim::DeviceKind::Recorder << true;
    QTest::newRow("camera, page read") << sim::DeviceKind::Camera << false;
    QTest::newRow("camera, picture read moving to another page") << sim::DeviceKind::Camera << true;
}

void TestE2ePictures::cancelAllInTheMiddleOfAPictureRead()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(bool, pictureRead);

    int cancels = 0;
    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(TransportType::Ip);
    QVERIFY(searchAllPictures(target) > 0);
    const QString pageRequest = pictureSessionRequest(kind);
    QObject::connect(&device.simulator(),
        &sim::DeviceSimulator::requestServed,
        &device.simulator(),
        [&cancels, pageRequest](const sim::RequestRecord &record) {
            if (record.kind == pageRequest && cancels++ == 0)
                cancel_all_record_searching();
        });
    std::shared_ptr<PageAnswer> page;
    std::shared_ptr<PictureAnswer> picture;
    if (pictureRead)
        picture = readPicture(target, 2 * pageSize(kind) + 1);
    else
        page = readPicturePage(target, 2);
    waitUntil([&]() { return cancels > 0; });
    QCOMPARE(cancels, 1);
    // Cancel-all closed the picture search session; the read's late reply is dropped.
    QCOMPARE(device.waitForNothingOpen(), QString());

    // The session stays stored: a later read passes the library's check and finds the session
    // closed on the device, which lists nothing in it.
    const auto after = readPicturePage(target, 1);
    waitUntil([&]() { return after->calls > 0; });
    QCOMPARE(after->calls, 1);
    QVERIFY(after->entries.isEmpty());
    if (pictureRead) {
        // Cancelled while it moved to the picture's page: the picture itself was never asked for.
        QCOMPARE(picture->calls, 0);
        const QString download = kind == sim::DeviceKind::Recorder
            ? QStringLiteral("get.playback.picture_backup_search_index")
            : QStringLiteral("dataloader");
        QCOMPARE(device.books().requestCount(download), 0);
    } else {
        QCOMPARE(page->calls, 0);
    }
}

void TestE2ePictures::eachSearchClosesThePreviousSession_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::newRow("recorder") << sim::DeviceKind::Recorder;
    // A camera holds at most ten picture sessions: a client that leaves them open finds nothing
    // from the eleventh search on.
    QTest::newRow("camera") << sim::DeviceKind::Camera;
}

void TestE2ePictures::eachSearchClosesThePreviousSession()
{
    QFETCH(sim::DeviceKind, kind);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(TransportType::Ip);
    const int expected = device.catalogue().pictures(searchedChannels, 5, spanFrom, spanTo).size();
    for (int search = 0; search < 12; ++search) {
        QCOMPARE(searchAllPictures(target), expected);
        QCOMPARE(device.books().openHandles().size(), 1);
    }
    cancel_all_record_searching();
    QCOMPARE(device.waitForNothingOpen(), QString());
}

QTEST_MAIN(TestE2ePictures)
#include "tst_e2e_pictures.moc"
