// The simulator over HTTP, talked to with hand-written requests: reply formats, paging, the books,
// chunked coding, credentials, keep-alive and the injected faults.

#include "DeviceSimulator.h"
#include "RawHttpClient.h"
#include "WallTime.h"

#include <QElapsedTimer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrl>

using namespace lydevice::sim;

using ItemList = QVector<QHash<QString, QString>>;
Q_DECLARE_METATYPE(ItemList)

namespace
{
const QDateTime spanFrom(QDate(2024, 3, 1), QTime(1, 0));
const QDateTime spanTo(QDate(2024, 3, 1), QTime(20, 30));
const QByteArray spanQuery = "startTime=2024-03-01%2001:00:00&endTime=2024-03-01%2020:30:00";
const QByteArray tagsOpen = "/sdk.cgi?action=get.playback.tags_search_open&chnMaskl=1&enType=0&" + spanQuery;
const QByteArray recordInfo0 = "/sdk.cgi?action=get.playback.recordinfo&chnid=0&stream=0&" + spanQuery;

SimulatorOptions options(DeviceKind kind = DeviceKind::Recorder)
{
    SimulatorOptions options;
    options.kind = kind;
    options.seed = 7;
    options.channels = 3;
    options.setRecordCount(150);
    return options;
}

// A simulator listening on a free port and a client connected to it.
struct Rig {
    explicit Rig(const SimulatorOptions &options)
        : device(options)
        , listening(device.listen())
        , client(device.httpPort())
    {
    }
    DeviceSimulator device;
    bool listening;
    RawHttpClient client;
};

ItemList recordItems(const QVector<Recording> &records)
{
    ItemList items;
    for (const Recording &record : records)
        items.append({ { QStringLiteral("startTime"), walltime::dashed(record.startSeconds) },
            { QStringLiteral("endTime"), walltime::dashed(record.endSeconds) },
            { QStringLiteral("recordType"), QString::number(record.recorderCode()) },
            { QStringLiteral("chnid"), QString::number(record.channel) } });
    return items;
}

// The items of a recorder reply, read back by the keys of `like`.
ItemList readItems(const QHash<QString, QString> &reply, int count, const QHash<QString, QString> &like)
{
    ItemList items;
    for (int i = 0; i < count; ++i) {
        QHash<QString, QString> item;
        for (auto it = like.cbegin(); it != like.cend(); ++it)
            item.insert(it.key(), reply.value(it.key() + QString::number(i), QStringLiteral("<missing>")));
        items.append(item);
    }
    return items;
}

QByteArray sdk(const QByteArray &query)
{
    return "/sdk.cgi?" + query;
}

QByteArray fill(const QByteArray &query, int sid, int page = 0)
{
    return sdk(QString::fromLatin1(query).arg(sid).arg(page).toLatin1());
}

// The camera's picture list, repaired the way its clients repair it.
QJsonObject pictureList(const RawReply &reply)
{
    QByteArray body = reply.body;
    body.replace("{\"sEcho\": ,", "{");
    return QJsonDocument::fromJson(body).object();
}

// The "id&uuid" session of the first row of a picture list.
QString sessionOf(const RawReply &reply)
{
    return pictureList(reply).value(QLatin1String("aaData")).toArray().at(0).toArray().at(5).toString();
}

QByteArray sdexplorer(const QByteArray &extra = QByteArray(), int first = 0)
{
    return "/vb.htm?page=sdexplorer&use_sid=1&maintype=1&subtype=-1&time_start=2024-03-01%2001:00:00"
           "&time_end=2024-03-01%2020:30:00&iDisplayStart="
        + QByteArray::number(first) + "&iDisplayLength=30" + extra;
}
} // namespace

class TestSimulatorHttp : public QObject
{
    Q_OBJECT

private slots:
    void recorderSearchPagesThrough_data();
    void recorderSearchPagesThrough();
    void emptyOrUnreadableSearchOpensNothing_data();
    void emptyOrUnreadableSearchOpensNothing();
    void pictureIndexSendsTheJpegInBase64();
    void cameraFilePages_data();
    void cameraFilePages();
    void cameraPictureSession();
    void cameraSessionIdsAreOneDigit();
    void chunkedRepliesDecodeToThePlainBody();
    void credentials_data();
    void credentials();
    void keepAlive_data();
    void keepAlive();
    void faults_data();
    void faults();
    void closingFromAListener();
};

void TestSimulatorHttp::recorderSearchPagesThrough_data()
{
    QTest::addColumn<QByteArray>("open");
    QTest::addColumn<QByteArray>("pageQuery"); // "%1" for the handle, "%2" for the page
    QTest::addColumn<QByteArray>("closeQuery");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<ItemList>("expected");

    const Catalogue catalogue(options());
    const QByteArray eventOpen = "action=get.playback.evt_backup_search&chnmaskl=101" + QByteArray(61, '0')
        + "&num=1&stream=0&ahead=0&delay=0&" + spanQuery;
    const QByteArray eventPage = "action=get.playback.evt_backup_search_page&sid=%1&page=%2";
    const QByteArray eventClose = "action=get.playback.evt_backup_search_close&sid=%1";

    ItemList tags;
    for (const Tag &tag : catalogue.tags({ 0, 1 }, spanFrom, spanTo))
        tags.append({ { QStringLiteral("chnid"), QString::number(tag.channel) },
            { QStringLiteral("id"), QString::number(tag.id) },
            { QStringLiteral("index"), QString::number(tag.index) },
            { QStringLiteral("name"), QString::fromLatin1(QUrl::toPercentEncoding(tag.name)) },
            { QStringLiteral("time"), walltime::dashed(tag.timeSeconds) } });
    QTest::newRow("record info lists every type of its channel")
        << "action=get.playback.recordinfo&chnid=1&stream=0&" + spanQuery
        << QByteArray("action=get.playback.recordinfo_page&sid=%1&page=%2")
        << QByteArray("action=set.playback.stop_batch&cnt=1&sid[0]=%1&close=1") << int(HandleKind::PlaybackSession)
        << 100 << recordItems(catalogue.recordInfo(1, spanFrom, spanTo));
    QTest::newRow("event 2/0 finds motion on the masked channels")
        << eventOpen + "&event=2&subType=0" << eventPage << eventClose << int(HandleKind::EventSearch) << 100
        << recordItems(catalogue.events({ 0, 2 }, 2, 0, spanFrom, spanTo));
    QTest::newRow("tags in pages of 50, names percent-encoded")
        << "action=get.playback.tags_search_open&chnMaskl=11&enType=0&" + spanQuery
        << QByteArray("action=get.playback.tags_search_page&sid=%1&npage=%2")
        << QByteArray("action=get.playback.tags_search_close&cnt=1&sid0=%1") << int(HandleKind::TagSearch) << 50
        << tags;
}

void TestSimulatorHttp::recorderSearchPagesThrough()
{
    QFETCH(QByteArray, open);
    QFETCH(QByteArray, pageQuery);
    QFETCH(QByteArray, closeQuery);
    QFETCH(int, kind);
    QFETCH(int, pageSize);
    QFETCH(ItemList, expected);
    QVERIFY2(expected.size() > pageSize, "the row should need more than one page");
    Rig rig(options());
    QVERIFY(rig.listening);

    const RawReply first = rig.client.get(sdk(open));
    QVERIFY(first.raw.startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY2(first.body.endsWith("\r\n"), "every pair is followed by a line break");
    QVERIFY(first.body.startsWith("res=0\r\n"));
    const QHash<QString, QString> head = first.keyValues();
    QCOMPARE(head.value(QStringLiteral("allCnt")).toInt(), expected.size());
    QCOMPARE(head.value(QStringLiteral("cnt")).toInt(), pageSize);
    const int sid = head.value(QStringLiteral("sid")).toInt();
    QVERIFY(rig.device.books().isOpen(static_cast<HandleKind>(kind), sid));

    ItemList served = readItems(head, pageSize, expected.first());
    for (int page = 2; served.size() < expected.size(); ++page) {
        QVERIFY(page < 1000);
        const QHash<QString, QString> values = rig.client.get(fill(pageQuery, sid, page)).keyValues();
        const int count = values.value(QStringLiteral("cnt")).toInt();
        QCOMPARE(count, qMin(pageSize, expected.size() - served.size()));
        QVERIFY(!values.contains(QStringLiteral("sid")));
        served += readItems(values, count, expected.first());
    }
    QCOMPARE(served, expected);

    const int lastPage = (expected.size() + pageSize - 1) / pageSize;
    QCOMPARE(rig.client.get(fill(pageQuery, sid, lastPage + 1)).keyValues().value(QStringLiteral("cnt")),
        QStringLiteral("0"));
    QCOMPARE(rig.device.books().handles().constFirst().pagesServed, lastPage);

    QCOMPARE(rig.client.get(fill(closeQuery, sid)).keyValues().value(QStringLiteral("res")), QStringLiteral("0"));
    QVERIFY(rig.device.openHandles().isEmpty());
    QCOMPARE(rig.client.get(fill(closeQuery, sid)).keyValues().value(QStringLiteral("res")), QStringLiteral("-1"));
    QCOMPARE(rig.device.books().strayCloses().size(), 1);
    // A closed handle serves no more pages.
    QCOMPARE(rig.client.get(fill(pageQuery, sid, 1)).body, QByteArray("res=-1\r\ncnt=0\r\n"));
}

void TestSimulatorHttp::emptyOrUnreadableSearchOpensNothing_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("body");
    const QByteArray empty = "res=0\r\nsid=-1\r\ncnt=0\r\nallCnt=0\r\n";
    QTest::newRow("record info before the content") << QByteArray(
        "action=get.playback.recordinfo&chnid=0&stream=0&startTime=2023-01-01%2000:00:00"
        "&endTime=2023-01-02%2000:00:00") << empty;
    QTest::newRow("record info of a channel the recorder lacks")
        << "action=get.playback.recordinfo&chnid=9&stream=0&" + spanQuery << empty;
    QTest::newRow("event code no record type has")
        << "action=get.playback.evt_backup_search&chnmaskl=1&num=1&event=4&subType=0&" + spanQuery << empty;
    QTest::newRow("unreadable time") << QByteArray("action=get.playback.recordinfo&chnid=0&startTime=yesterday"
                                                   "&endTime=2024-03-01%2020:30:00")
                                     << QByteArray("res=-1\r\ncnt=0\r\n");
}

void TestSimulatorHttp::emptyOrUnreadableSearchOpensNothing()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, body);
    Rig rig(options());
    QVERIFY(rig.listening);
    const RawReply reply = rig.client.get(sdk(query));
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.body, body);
    QVERIFY(rig.device.books().handles().isEmpty());
}

void TestSimulatorHttp::pictureIndexSendsTheJpegInBase64()
{
    Rig rig(options());
    QVERIFY(rig.listening);
    const QHash<QString, QString> open = rig.client
                                             .get(sdk("action=get.playback.picture_backup_search_open&" + spanQuery
                                                 + "&mask=001&majorType=32&minorType=0"))
                                             .keyValues();
    const QByteArray sid = open.value(QStringLiteral("sid")).toLatin1();
    const QString pts = open.value(QStringLiteral("pts3"));
    QCOMPARE(open.value(QStringLiteral("chnid3")), QStringLiteral("2"));
    const auto index = [&](char channel) {
        return rig.client
            .get(sdk(QByteArray("action=get.playback.picture_backup_search_index&chnid=") + channel + "&sid=" + sid
                + "&pts=" + pts.toLatin1() + "&base64=1"))
            .body;
    };

    const QByteArray body = index('2');
    const int data = body.indexOf("data=");
    QVERIFY(data > 0);
    QVERIFY2(body.indexOf("\r\n", data) == body.size() - 2, "the data comes last");
    const QByteArray jpeg = QByteArray::fromBase64(body.mid(data + 5).trimmed());
    Picture picture;
    QVERIFY(rig.device.catalogue().findPicture(pts, 2, &picture));
    QCOMPARE(jpeg, rig.device.catalogue().jpeg(picture));
    QVERIFY(body.contains("\nsize=" + QByteArray::number(jpeg.size()) + "\r\n"));
    QCOMPARE(QImage::fromData(jpeg, "JPG").size(), QSize(320, 180));

    // The same picture asked for on another channel, or outside an open search, is not there.
    QVERIFY(!index('1').contains("data="));
    rig.client.get(sdk("action=get.playback.picture_backup_search_close&sid=" + sid));
    QVERIFY(!index('2').contains("data="));
}

void TestSimulatorHttp::cameraFilePages_data()
{
    QTest::addColumn<QByteArray>("mask");
    QTest::addColumn<QStringList>("expected");
    const Catalogue catalogue(options(DeviceKind::Camera));
    const auto files = [&](int mask) {
        QStringList list;
        for (const Recording &record : catalogue.cameraFiles(mask, spanFrom, spanTo))
            list.append(record.cameraFileString());
        return list;
    };
    QTest::newRow("35: continuous, motion and smart") << QByteArray("35") << files(1 | 2 | 32);
    QTest::newRow("0: all") << QByteArray("0") << files(0);
}

void TestSimulatorHttp::cameraFilePages()
{
    QFETCH(QByteArray, mask);
    QFETCH(QStringList, expected);
    Rig rig(options(DeviceKind::Camera));
    QVERIFY(rig.listening);
    const QByteArray span = "/vb.htm?PBStartTimePos=20240301010000&PBEndTimePos=20240301203000";

    const int pages = (expected.size() + 19) / 20;
    QCOMPARE(rig.client.get(span + "&PBFileTotalPage=" + mask).body,
        "OK pbfiletotalpage=" + QByteArray::number(pages) + "\r\n");
    QStringList served;
    for (int page = 1; page <= pages + 1; ++page) {
        const RawReply reply = rig.client.get(span + "&PBFilePageIndex=" + QByteArray::number(page));
        QVERIFY(reply.body.startsWith("OK pbfilepageindex="));
        QVERIFY(reply.body.endsWith(page <= pages ? ";\r\n" : "=\r\n"));
        served += QString::fromLatin1(reply.body.mid(19).trimmed()).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    QCOMPARE(served, expected);
}

void TestSimulatorHttp::cameraPictureSession()
{
    Rig rig(options(DeviceKind::Camera));
    QVERIFY(rig.listening);
    rig.device.setChunked(true); // the lists come chunked, picture downloads never do
    const QVector<Picture> expected = rig.device.catalogue().pictures({}, 7, spanFrom, spanTo);
    QVERIFY(expected.size() > 60);

    const RawReply first = rig.client.get(sdexplorer());
    QVERIFY(first.body.startsWith("{\"sEcho\": ,\"iTotalRecords\":"));
    const QJsonObject list = pictureList(first);
    QCOMPARE(list.value(QLatin1String("iTotalRecords")).toInt(), expected.size());
    const QJsonArray rows = list.value(QLatin1String("aaData")).toArray();
    QCOMPARE(rows.size(), 30);
    const QJsonArray row = rows.at(0).toArray();
    QCOMPARE(row.size(), 7);
    QCOMPARE(row.at(0).toString(), expected.at(0).name);
    QCOMPARE(row.at(1).toString(), walltime::dashed(expected.at(0).timeSeconds));
    const QString session = row.at(5).toString();
    QCOMPARE(session.indexOf(QLatin1Char('&')), 1);
    const QString id = session.left(1), uuid = session.mid(2);
    QCOMPARE(uuid.size(), 36);

    const QByteArray sessionQuery = "&sid=" + id.toLatin1() + "&uuid=" + uuid.toLatin1();
    const QJsonArray page2
        = pictureList(rig.client.get(sdexplorer(sessionQuery, 60))).value(QLatin1String("aaData")).toArray();
    QCOMPARE(page2.at(0).toArray().at(0).toString(), expected.at(60).name);
    QCOMPARE(rig.device.openHandles().size(), 1);

    const QByteArray download = "/dataloader.cgi?dw=sd&filename=" + expected.at(61).name.toLatin1()
        + "&time_start=2024-03-01%2001:00:00&time_end=2024-03-01%2020:30:00" + sessionQuery + "&index=";
    const RawReply picture = rig.client.get(download + "61");
    QCOMPARE(picture.status, 200);
    QCOMPARE(picture.header("content-length").toInt(), picture.body.size());
    QVERIFY(picture.header("transfer-encoding").isEmpty());
    QVERIFY(picture.raw.contains(
        "\r\nContent-Disposition: attachment; filename=" + expected.at(61).name.toLatin1() + "\r\n"));
    QCOMPARE(picture.body, rig.device.catalogue().jpeg(expected.at(61)));
    // The index names the picture within the search: a wrong one is refused.
    QCOMPARE(rig.client.get(download + "62").status, 404);

    const QByteArray close = "/vb.htm?closelyfshandle=" + id.toLatin1() + ";" + uuid.toLatin1();
    QVERIFY(rig.client.get(close).body.startsWith("OK closelyfshandle="));
    QVERIFY(rig.device.openHandles().isEmpty());
    QCOMPARE(rig.client.get(close).body, QByteArray("NG closelyfshandle\r\n"));
    QCOMPARE(rig.device.books().strayCloses().size(), 1);
    QCOMPARE(
        pictureList(rig.client.get(sdexplorer(sessionQuery, 60))).value(QLatin1String("iTotalRecords")).toInt(), 0);
}

void TestSimulatorHttp::cameraSessionIdsAreOneDigit()
{
    Rig rig(options(DeviceKind::Camera));
    QVERIFY(rig.listening);
    QStringList sessions;
    for (int i = 0; i < 10; ++i)
        sessions.append(sessionOf(rig.client.get(sdexplorer())));
    QCOMPARE(sessions.first().left(2), QStringLiteral("1&"));
    QCOMPARE(sessions.last().left(2), QStringLiteral("0&"));
    // Out of handles: the eleventh search finds nothing and opens nothing.
    QCOMPARE(pictureList(rig.client.get(sdexplorer())).value(QLatin1String("iTotalRecords")).toInt(), 0);
    QCOMPARE(rig.device.openHandles().size(), 10);
    // A freed digit is used again, with a new uuid.
    rig.client.get("/vb.htm?closelyfshandle=" + sessions.at(3).toLatin1().replace('&', ';'));
    const QString again = sessionOf(rig.client.get(sdexplorer()));
    QCOMPARE(again.left(2), sessions.at(3).left(2));
    QVERIFY(again != sessions.at(3));
}

void TestSimulatorHttp::chunkedRepliesDecodeToThePlainBody()
{
    Rig rig(options());
    QVERIFY(rig.listening);
    const RawReply plain = rig.client.get(recordInfo0);
    rig.device.setChunked(true, { 1, 16, 300, 5 });
    const RawReply chunked = rig.client.get(recordInfo0);
    QVERIFY(chunked.complete);
    QVERIFY(chunked.raw.contains("\r\nTransfer-Encoding: chunked\r\n"));
    QVERIFY(!chunked.raw.contains("Content-Length"));
    QVERIFY(chunked.raw.endsWith("\r\n0\r\n\r\n"));
    QVERIFY(chunked.chunkSizes.contains(1) && chunked.chunkSizes.contains(16) && chunked.chunkSizes.contains(300));
    // Same content, a new session.
    QCOMPARE(QString::fromLatin1(chunked.body).section(QLatin1String("cnt="), 1),
        QString::fromLatin1(plain.body).section(QLatin1String("cnt="), 1));
    // No chunk-size line but the last begins with "0": sizes are written without leading zeros.
    const QByteArray body = chunked.raw.mid(chunked.raw.indexOf("\r\n\r\n") + 4);
    int at = 0, zeroLines = 0;
    for (int size : chunked.chunkSizes) {
        zeroLines += body.at(at) == '0' ? 1 : 0;
        at = body.indexOf("\r\n", at) + 2 + size + 2;
    }
    QCOMPARE(zeroLines, 0);
}

void TestSimulatorHttp::credentials_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<int>("status");
    QTest::newRow("none") << QByteArray() << 401;
    QTest::newRow("wrong password") << "Authorization: Basic " + QByteArray("admin:guess").toBase64() + "\r\n" << 401;
    QTest::newRow("right") << "Authorization: Basic " + QByteArray("admin:s3cret").toBase64() + "\r\n" << 200;
}

void TestSimulatorHttp::credentials()
{
    QFETCH(QByteArray, headers);
    QFETCH(int, status);
    Rig rig(options());
    QVERIFY(rig.listening);
    rig.device.setCredentials(QStringLiteral("admin"), QStringLiteral("s3cret"));
    rig.device.addFault(FaultKind::Status500, QStringLiteral("*"), 1); // faults apply only to authorized requests
    const RawReply reply = rig.client.get(recordInfo0, headers);
    if (status == 401) {
        QCOMPARE(reply.status, 401);
        QVERIFY(reply.header("www-authenticate").startsWith("Basic realm="));
        QVERIFY(rig.device.books().handles().isEmpty());
    } else {
        QCOMPARE(reply.status, 500);
        QCOMPARE(rig.client.get(recordInfo0, headers).status, 200);
        QCOMPARE(rig.device.openHandles().size(), 1);
    }
}

void TestSimulatorHttp::keepAlive_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("connection");
    QTest::addColumn<bool>("deviceKeepsAlive");
    QTest::addColumn<bool>("kept");
    QTest::newRow("1.1 keeps by default") << QByteArray("HTTP/1.1") << QByteArray() << true << true;
    QTest::newRow("1.1 asking to close") << QByteArray("HTTP/1.1") << QByteArray("Connection: close\r\n") << true
                                         << false;
    QTest::newRow("1.0 closes by default") << QByteArray("HTTP/1.0") << QByteArray() << true << false;
    QTest::newRow("1.0 asking to keep") << QByteArray("HTTP/1.0") << QByteArray("Connection: keep-alive\r\n") << true
                                        << true;
    QTest::newRow("device that closes always") << QByteArray("HTTP/1.1") << QByteArray() << false << false;
}

void TestSimulatorHttp::keepAlive()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, connection);
    QFETCH(bool, deviceKeepsAlive);
    QFETCH(bool, kept);
    Rig rig(options());
    QVERIFY(rig.listening);
    rig.device.setKeepAlive(deviceKeepsAlive);
    const QByteArray request = "GET " + tagsOpen + " " + version + "\r\nHost: x\r\n" + connection + "\r\n";
    // Two requests in one write: the second waits for the first, and is answered only if the first
    // kept the connection.
    const RawReply reply = rig.client.exchange(request + request);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.header("connection"), kept ? QByteArray("keep-alive") : QByteArray("close"));
    if (kept) {
        QTRY_COMPARE(rig.device.books().requestCount(), 2);
        QVERIFY(rig.client.isConnected());
    } else {
        QVERIFY(rig.client.waitForClose());
        QCOMPARE(rig.device.books().requestCount(), 1);
    }
}

void TestSimulatorHttp::faults_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("delay") << int(FaultKind::Delay);
    QTest::newRow("status 500") << int(FaultKind::Status500);
    QTest::newRow("dropped connection") << int(FaultKind::Drop);
    QTest::newRow("malformed body") << int(FaultKind::Malformed);
    QTest::newRow("truncated chunked body") << int(FaultKind::TruncatedChunked);
}

void TestSimulatorHttp::faults()
{
    QFETCH(int, kind);
    const FaultKind fault = static_cast<FaultKind>(kind);
    Rig rig(options());
    QVERIFY(rig.listening);
    rig.device.addFault(fault, QStringLiteral("get.playback.evt_backup_search"), 1, 300);
    const QByteArray events
        = sdk("action=get.playback.evt_backup_search&chnmaskl=1&num=1&event=2&subType=0&stream=0&ahead=0&delay=0&"
            + spanQuery);

    // Other requests are not touched.
    QCOMPARE(rig.client.get(tagsOpen).status, 200);
    QVERIFY(rig.device.books().requests().constLast().fault.isEmpty());

    QElapsedTimer timer;
    timer.start();
    const RawReply reply = rig.client.get(events);
    switch (fault) {
    case FaultKind::Delay:
        QVERIFY(timer.elapsed() >= 290);
        QCOMPARE(reply.status, 200);
        QCOMPARE(rig.device.books().openHandles(HandleKind::EventSearch).size(), 1);
        break;
    case FaultKind::Status500:
        QVERIFY(reply.raw.startsWith("HTTP/1.1 500 Internal Server Error\r\n"));
        break;
    case FaultKind::Drop:
        QVERIFY(reply.raw.isEmpty());
        QVERIFY(reply.closed);
        break;
    case FaultKind::Malformed:
        QCOMPARE(reply.status, 200);
        QVERIFY(!reply.body.contains("res="));
        QVERIFY(
            !reply.keyValues().value(QStringLiteral("cnt")).contains(QRegularExpression(QStringLiteral("^[0-9]+$"))));
        break;
    case FaultKind::TruncatedChunked:
        QVERIFY(reply.raw.contains("\r\nTransfer-Encoding: chunked\r\n"));
        QVERIFY(!reply.complete);
        QVERIFY(reply.closed);
        break;
    }
    if (fault != FaultKind::Delay)
        QVERIFY2(
            rig.device.books().openHandles(HandleKind::EventSearch).isEmpty(), "a faulty request reaches no device");
    QCOMPARE(rig.device.books().requests(QStringLiteral("get.playback.evt_backup_search")).constLast().fault,
        FaultInjector::kindName(fault));

    // The fault was for one request only.
    const RawReply next = rig.client.get(events);
    QCOMPARE(next.status, 200);
    QVERIFY(rig.device.books().requests().constLast().fault.isEmpty());
    QVERIFY(next.keyValues().value(QStringLiteral("cnt")).toInt() > 0);
}

void TestSimulatorHttp::closingFromAListener()
{
    Rig rig(options());
    QVERIFY(rig.listening);
    connect(&rig.device, &DeviceSimulator::requestServed, &rig.device, &DeviceSimulator::close);
    QCOMPARE(rig.client.get(tagsOpen).status, 200);
    QVERIFY(rig.client.waitForClose());
    QCOMPARE(rig.device.openHandles().size(), 1); // the device keeps its state; only the connections go
}

QTEST_GUILESS_MAIN(TestSimulatorHttp)
#include "tst_simulator_http.moc"
