// The camera readers behind search_video_begin, over HTTP and P2P, driven through the record
// manager against the scripted fake device: the page rules, the sorting of files by record type,
// the deliveries after the last page, failures, and a reader ended while it reads.

#include "FakeDevice.h"

#include "manager/RecordManager.h"

#include <lydevice/lydevice.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace lydevice;
using namespace lydevice::test;

Q_DECLARE_METATYPE(lydevice::TransportType)

namespace
{

const QString pageCountRoute[] = { QStringLiteral("PBFileTotalPage"), QStringLiteral("ipc:9") };
const QString pageRoute[] = { QStringLiteral("PBFilePageIndex"), QStringLiteral("ipc:55") };

int index(TransportType transport)
{
    return transport == TransportType::Ip ? 0 : 1;
}

// A file of the given record type digit ("?" gives a string the camera would never send),
// starting at 07:08:09 and lasting 600 s.
QString recordFile(const QString &type)
{
    return type == QLatin1String("?") ? QStringLiteral("garbage") : type + QStringLiteral("20240305070809_600");
}

// The page count as the camera answers: a number, "" for a reply without it, "fail" for a
// failed transport call, "404" for an HTTP error status.
void answerPageCount(TransportType transport, const QString &count)
{
    FakeDevice &device = FakeDevice::instance();
    const QString route = pageCountRoute[index(transport)];
    if (transport == TransportType::Ip) {
        if (count == QLatin1String("fail"))
            device.http(route, HttpAnswer::failure());
        else if (count == QLatin1String("404"))
            device.http(route, HttpAnswer::status(404));
        else if (count.isEmpty())
            device.http(route, HttpAnswer::body(okLines({ { QStringLiteral("other"), 1 } })));
        else
            device.http(route, HttpAnswer::body(okLines({ { QStringLiteral("pbfiletotalpage"), count } })));
    } else {
        if (count == QLatin1String("fail"))
            device.p2p(route, P2pAnswer::failure());
        else if (count.isEmpty())
            device.p2p(route, P2pAnswer::object({}));
        else
            device.p2p(route, P2pAnswer::object({ { QStringLiteral("total_page"), count.toDouble() } }));
    }
}

// A page as the type digits of its files separated by blanks; "x" is a failed call.
void answerPage(TransportType transport, const QString &page, bool held = false)
{
    FakeDevice &device = FakeDevice::instance();
    const QString route = pageRoute[index(transport)];
    QStringList files;
    for (const QString &type : page.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        files << recordFile(type);
    if (transport == TransportType::Ip) {
        HttpAnswer answer = page == QLatin1String("x")
            ? HttpAnswer::failure()
            : HttpAnswer::body(
                okLines({ { QStringLiteral("pbfilepageindex"), files.join(QLatin1Char(';')) + QLatin1Char(';') } }));
        device.http(route, held ? answer.hold() : answer);
    } else {
        P2pAnswer answer = page == QLatin1String("x")
            ? P2pAnswer::failure()
            : P2pAnswer::object({ { QStringLiteral("file_list"), QJsonArray::fromStringList(files) } });
        device.p2p(route, held ? answer.hold() : answer);
    }
}

// The page numbers asked for, in order.
QString requestedPages(TransportType transport)
{
    QStringList pages;
    const FakeDevice &device = FakeDevice::instance();
    if (transport == TransportType::Ip) {
        for (const HttpRequest &request : device.httpRequests(pageRoute[0]))
            pages << request.value(QStringLiteral("PBFilePageIndex"));
    } else {
        for (const P2pRequest &request : device.p2pRequests(pageRoute[1]))
            pages << QString::number(request.request.value(QStringLiteral("page")).toInt());
    }
    return pages.join(QLatin1Char(' '));
}

// Deliveries as "code:type:digits", the digits being the record types of the entries in order.
struct Deliveries {
    QStringList words;
    std::function<void()> also;

    SearchVideoCallbackV2 callback()
    {
        return [this](int code, RecordVideoType type, QList<QVariant> records) {
            QString types;
            for (const QVariant &record : records) {
                const QVariantHash entry = record.toHash();
                types += QString::number(entry.value(QStringLiteral("type")).toInt());
                // Every delivered file is the one of recordFile: 07:08:09 plus 600 s.
                QCOMPARE(
                    entry.value(QStringLiteral("start")).toDateTime(), QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)));
                QCOMPARE(
                    entry.value(QStringLiteral("end")).toDateTime(), QDateTime(QDate(2024, 3, 5), QTime(7, 18, 9)));
            }
            words << QStringLiteral("%1:%2:").arg(code).arg(int(type)) + types;
            if (also)
                also();
        };
    }
    QString text() const
    {
        return words.join(QLatin1Char(' '));
    }
};

TargetDesc camera(TransportType transport, quint64 handle)
{
    TargetDesc target;
    target.deviceType = DeviceType::IPC;
    target.transport = transport;
    target.handle = handle;
    return target;
}

RecordVideoDesc searchDesc(RecordVideoType videoType = RecordVideoType::All)
{
    RecordVideoDesc desc;
    desc.channel = { 0 };
    desc.videoType = videoType;
    desc.start = QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9));
    desc.end = QDateTime(QDate(2024, 3, 5), QTime(23, 59, 59));
    return desc;
}

const char *transportName(TransportType transport)
{
    return transport == TransportType::Ip ? "Ip" : "P2p";
}

} // namespace

class TestCameraReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        FakeDevice::instance().reset();
    }

    void reading_data();
    void reading();
    void requests_data();
    void requests();
    void endedInsideDelivery_data();
    void endedInsideDelivery();
};

void TestCameraReaders::reading_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QString>("pageCount");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QString>("deliveries");
    QTest::addColumn<QString>("requested");

    const auto add = [](const char *name,
                         QVector<TransportType> transports,
                         const char *pageCount,
                         std::initializer_list<const char *> pages,
                         const char *deliveries,
                         const char *requested) {
        QStringList pageList;
        for (const char *page : pages)
            pageList << QString::fromLatin1(page);
        for (const TransportType transport : transports)
            QTest::addRow("%s over %s", name, transportName(transport))
                << transport << QString::fromLatin1(pageCount) << pageList << QString::fromLatin1(deliveries)
                << QString::fromLatin1(requested);
    };
    const QVector<TransportType> both { TransportType::Ip, TransportType::P2p };

    // Deliveries come after the last page: all kept files, then types 2 and 5 on their own; types
    // 4, 6, 7 and unreadable files are dropped.
    add("kept types over four pages, one empty",
        both,
        "4",
        { "4 1 6", "", "7 ? 2", "5" },
        "0:0:125 0:1:2 0:2:5 0:2:",
        "1 2 3 4");
    add("no type 5: no subset of its own", both, "1", { "2" }, "0:0:2 0:1:2 0:2:", "1");
    add("nothing kept still ends", both, "1", { "4" }, "0:0: 0:2:", "1");
    add("negative page count reads page 1 only", both, "-2", { "1", "2" }, "0:0:1 0:2:", "1");
    add("page count 1.5 reads one page", both, "1.5", { "1", "2" }, "0:0:1 0:2:", "1");

    // A failure is the only delivery, whatever was read before.
    add("page count 0", both, "0", {}, "-1:0:", "");
    add("page count missing", both, "", {}, "-1:0:", "");
    add("page count request fails", both, "fail", {}, "-1:0:", "");
    add("page count with status 404", { TransportType::Ip }, "404", {}, "-1:0:", "");
    add("a later page fails", both, "3", { "1 2", "x" }, "-1:0:", "1 2");
}

void TestCameraReaders::reading()
{
    QFETCH(TransportType, transport);
    QFETCH(QString, pageCount);
    QFETCH(QStringList, pages);
    QFETCH(QString, deliveries);
    QFETCH(QString, requested);

    answerPageCount(transport, pageCount);
    for (const QString &page : pages)
        answerPage(transport, page);

    RecordManager manager;
    Deliveries got;
    const quint64 id = manager.searchVideoBegin(camera(transport, 0x8101), searchDesc(), got.callback());
    QVERIFY(id != 0);
    QVERIFY(got.words.isEmpty());
    QVERIFY(FakeDevice::instance().waitIdle());
    QCOMPARE(got.text(), deliveries);
    QCOMPARE(requestedPages(transport), requested);

    // A camera holds nothing open: ending sends nothing.
    const int sent = FakeDevice::instance().sent().size();
    manager.searchVideoEnd(id);
    QCOMPARE(FakeDevice::instance().sent().size(), sent);
    QCOMPARE(got.text(), deliveries);
}

void TestCameraReaders::requests_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<RecordVideoType>("videoType");
    QTest::addColumn<QString>("pageCountRequest");
    QTest::addColumn<QString>("pageRequest");

    // Over HTTP the requested type picks the page count's type mask; over P2P it plays no part.
    const QString span = QStringLiteral("PBStartTimePos=20240305070809&PBEndTimePos=20240305235959");
    QTest::newRow("Ip, all records") << TransportType::Ip << RecordVideoType::All
                                     << span + QStringLiteral("&PBFileTotalPage=35")
                                     << span + QStringLiteral("&PBFilePageIndex=1");
    QTest::newRow("Ip, unknown type") << TransportType::Ip << RecordVideoType(9)
                                      << span + QStringLiteral("&PBFileTotalPage=484")
                                      << span + QStringLiteral("&PBFilePageIndex=1");
    const QString times
        = QStringLiteral(R"("end_time":{"day":5,"hour":23,"minute":59,"month":3,"second":59,"year":2024},)"
                         R"("start_time":{"day":5,"hour":7,"minute":8,"month":3,"second":9,"year":2024})");
    QTest::newRow("P2p, sensor records")
        << TransportType::P2p << RecordVideoType::Sensor << QLatin1Char('{') + times + QLatin1Char('}')
        << QStringLiteral(R"({"end_time":{"day":5,"hour":23,"minute":59,"month":3,"second":59,"year":2024},"page":1,)"
                          R"("start_time":{"day":5,"hour":7,"minute":8,"month":3,"second":9,"year":2024},"type":0})");
}

void TestCameraReaders::requests()
{
    QFETCH(TransportType, transport);
    QFETCH(RecordVideoType, videoType);
    QFETCH(QString, pageCountRequest);
    QFETCH(QString, pageRequest);

    answerPageCount(transport, QStringLiteral("1"));
    answerPage(transport, QStringLiteral("1"));
    RecordManager manager;
    const quint64 id = manager.searchVideoBegin(camera(transport, 0x8201), searchDesc(videoType), {});
    QVERIFY(FakeDevice::instance().waitIdle());
    manager.searchVideoEnd(id);

    QStringList sent;
    if (transport == TransportType::Ip) {
        for (const HttpRequest &request : FakeDevice::instance().httpRequests()) {
            QCOMPARE(request.path, QStringLiteral("/vb.htm"));
            QCOMPARE(request.target, quint64(0x8201));
            QStringList pairs;
            for (const auto &pair : request.query)
                pairs << pair.first + QLatin1Char('=') + pair.second;
            sent << pairs.join(QLatin1Char('&'));
        }
    } else {
        for (const P2pRequest &request : FakeDevice::instance().p2pRequests()) {
            QVERIFY(!request.recorder);
            QCOMPARE(request.handle, 0x8201);
            QCOMPARE(request.timeout, 20);
            sent << QString::fromUtf8(QJsonDocument(request.request).toJson(QJsonDocument::Compact));
        }
    }
    QCOMPARE(sent, (QStringList { pageCountRequest, pageRequest }));
}

void TestCameraReaders::endedInsideDelivery_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<int>("endAt"); // the delivery inside which the caller ends; 0: while page 2 is read
    for (const TransportType transport : { TransportType::Ip, TransportType::P2p }) {
        for (int endAt = 0; endAt <= 4; ++endAt)
            QTest::addRow("delivery %d over %s", endAt, transportName(transport)) << transport << endAt;
    }
}

void TestCameraReaders::endedInsideDelivery()
{
    // The caller may end the search from inside any delivery or while a page is on its way; nothing
    // comes after it, and a page that arrives late is dropped.
    QFETCH(TransportType, transport);
    QFETCH(int, endAt);
    FakeDevice &device = FakeDevice::instance();
    answerPageCount(transport, QStringLiteral("2"));
    answerPage(transport, QStringLiteral("1 2"));
    answerPage(transport, QStringLiteral("5"), endAt == 0);

    RecordManager manager;
    quint64 id = 0;
    Deliveries got;
    got.also = [&]() {
        if (got.words.size() == endAt)
            manager.searchVideoEnd(id);
    };
    id = manager.searchVideoBegin(camera(transport, 0x8401), searchDesc(), got.callback());
    QVERIFY(device.waitIdle());
    if (endAt == 0) {
        QCOMPARE(device.heldCount(), 1);
        manager.searchVideoEnd(id);
        device.releaseHeld();
        QVERIFY(device.waitIdle());
    }
    QCOMPARE(got.words.size(), endAt);
    QCOMPARE(requestedPages(transport), QStringLiteral("1 2"));
}

QTEST_GUILESS_MAIN(TestCameraReaders)
#include "tst_camera_readers.moc"
