// Picture searches and page reads of recorders and cameras over HTTP, driven through the record
// manager against the scripted fake device: what goes on the wire, what a reply makes of the
// device's context, and which replies fail.

#include "PictureFixtures.h"

#include <manager/RecordSession.h>

#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

using namespace lydevice;
using namespace lydevice::test;

namespace
{

const QString wireStart = QStringLiteral("2024-03-01%2008:00:00");
const QString wireEnd = QStringLiteral("2024-03-01%2018:30:05");
const QStringList recorderClose { QStringLiteral("action=get.playback.picture_backup_search_close"),
    QStringLiteral("sid=77") };
const QStringList cameraClose { QStringLiteral("closelyfshandle=3;5f2c9e1a-uuid") };

QStringList cameraListQuery(const QString &subtype, int displayStart)
{
    return { QStringLiteral("page=sdexplorer"),
        QStringLiteral("use_sid=1"),
        QStringLiteral("maintype=1"),
        QStringLiteral("subtype=") + subtype,
        QStringLiteral("time_start=") + wireStart,
        QStringLiteral("time_end=") + wireEnd,
        QStringLiteral("iDisplayStart=%1").arg(displayStart),
        QStringLiteral("iDisplayLength=30") };
}

void expectWarnings(const QStringList &warnings)
{
    for (const QString &warning : warnings)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
}

// Invalid date-times do not compare equal to each other, so validity is compared first.
bool sameTime(const QDateTime &a, const QDateTime &b)
{
    return a.isValid() == b.isValid() && (!a.isValid() || a == b);
}

HttpAnswer cameraBody(const QJsonArray &rows, int total = 45)
{
    return HttpAnswer::body(cameraList(total, rows));
}

HttpAnswer recorderCnt0()
{
    return HttpAnswer::body(
        kv({ { QStringLiteral("cnt"), 0 }, { QStringLiteral("sid"), 5 }, { QStringLiteral("allCnt"), 250 } }));
}

} // namespace

class TestPictureSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void searchRequest_data();
    void searchRequest();
    void searchReply_data();
    void searchReply();
    void searchEntries_data();
    void searchEntries();

    void pageRead_data();
    void pageRead();

    void nextSearchClosesSession_data();
    void nextSearchClosesSession();
    void lateOpenReplyIsClosed_data();
    void lateOpenReplyIsClosed();
};

void TestPictureSearch::initTestCase()
{
    // A host locale with its own digits must not leak into what goes on the wire.
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
}

void TestPictureSearch::init()
{
    FakeDevice::instance().reset();
}

void TestPictureSearch::searchRequest_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVector<int>>("channels");
    QTest::addColumn<QStringList>("query");
    QTest::addColumn<QStringList>("warnings");

    const auto recorderQuery = [](std::initializer_list<int> ones, int major, int minor) {
        QString mask(64, u'0');
        for (const int channel : ones)
            mask[channel] = u'1';
        return QStringList { QStringLiteral("action=") + searchOpen,
            QStringLiteral("startTime=") + wireStart,
            QStringLiteral("endTime=") + wireEnd,
            QStringLiteral("mask=") + mask,
            QStringLiteral("majorType=%1").arg(major),
            QStringLiteral("minorType=%1").arg(minor) };
    };
    QTest::newRow("recorder snapshots of channels 0 and 3")
        << true << 0 << QVector<int> { 0, 3 } << recorderQuery({ 0, 3 }, 32, 0) << QStringList();
    QTest::newRow("recorder alarm pictures of no channel")
        << true << 1 << QVector<int>() << recorderQuery({}, 512, -1) << QStringList();
    QTest::newRow("recorder other type, channels outside the mask left out")
        << true << 7 << QVector<int> { -1, 63, 64 } << recorderQuery({ 63 }, 568, 0)
        << QStringList { QStringLiteral("out of range.*-1"), QStringLiteral("out of range.*64") };
    QTest::newRow("camera snapshots") << false << 0 << QVector<int> { 2 } << cameraListQuery(QStringLiteral("0"), 0)
                                      << QStringList();
    QTest::newRow("camera other type") << false << 5 << QVector<int>() << cameraListQuery(QStringLiteral("-1"), 0)
                                       << QStringList();
}

void TestPictureSearch::searchRequest()
{
    QFETCH(bool, recorder);
    QFETCH(int, type);
    QFETCH(QVector<int>, channels);
    QFETCH(QStringList, query);
    QFETCH(QStringList, warnings);

    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    expectWarnings(warnings);
    searchPicture(manager, target, RecordPictureType(type), channels);

    const QVector<HttpRequest> sent = FakeDevice::instance().httpRequests();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().target, target.handle);
    QCOMPARE(sent.first().path, recorder ? QStringLiteral("/sdk.cgi") : QStringLiteral("/vb.htm"));
    QCOMPARE(queryPairs(sent.first()), query);
}

void TestPictureSearch::searchReply_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<HttpAnswer>("answer");
    QTest::addColumn<int>("sum"); // -1: the search fails
    QTest::addColumn<int>("sessionId");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QStringList>("warnings");

    const auto fails = [](const char *name, bool recorder, const HttpAnswer &answer, const QStringList &warnings = {}) {
        QTest::newRow(name) << recorder << answer << -1 << 0 << 0 << warnings;
    };
    QTest::newRow("recorder: two pictures of 250")
        << true << HttpAnswer::body(recorderPage(77, 250, 0, 2)) << 250 << 77 << 2 << QStringList();
    fails("recorder: cnt 0 fails although allCnt is not", true, recorderCnt0());
    fails("recorder: transport failure",
        true,
        HttpAnswer::failure(),
        { QStringLiteral("^failure in reading first page$") });
    fails("recorder: status 404", true, HttpAnswer::status(404, recorderPage(77, 250, 0, 2)));

    QTest::newRow("camera: 45 pictures, first page of 30")
        << false << HttpAnswer::body(cameraList(45, 0, 30)) << 45 << 3 << 30 << QStringList();
    QTest::newRow("camera: fractional total is truncated")
        << false << HttpAnswer::body(cameraList(45, 0, 2).replace("\"iTotalRecords\":45", "\"iTotalRecords\":45.9"))
        << 45 << 3 << 2 << QStringList();
    QTest::newRow("camera: sEcho with a value parses as it is")
        << false << HttpAnswer::body(cameraList(45, 0, 2).replace("{\"sEcho\": ,", "{\"sEcho\": 1,")) << 45 << 3 << 2
        << QStringList();
    fails("camera: two-character id fails",
        false,
        HttpAnswer::body(cameraList(45, 0, 2, QStringLiteral("13&5f2c9e1a-uuid"))));
    fails("camera: empty uuid fails", false, HttpAnswer::body(cameraList(45, 0, 2, QStringLiteral("3&"))));
    fails("camera: session without & fails",
        false,
        HttpAnswer::body(cameraList(45, 0, 2, QStringLiteral("3-5f2c9e1a-uuid"))));
    QJsonArray sixValues = cameraRow(0);
    sixValues.removeLast();
    QJsonArray eightValues = cameraRow(0);
    eightValues.append(QStringLiteral("extra"));
    fails("camera: first row of six values fails", false, cameraBody({ sixValues, cameraRow(1) }));
    fails("camera: first row of eight values fails", false, cameraBody({ eightValues, cameraRow(1) }));
    fails("camera: total 0 fails", false, HttpAnswer::body(cameraList(0, 0, 30)));
    fails("camera: total without rows fails", false, cameraBody(QJsonArray()));
    fails("camera: rows that are no list fail",
        false,
        HttpAnswer::body("{\"sEcho\": ,\"iTotalRecords\":45,\"aaData\":\"3&x\"}"));
    fails("camera: body that is no JSON fails",
        false,
        HttpAnswer::body("<html>busy</html>"),
        { QStringLiteral("^failure in parsing json string!$"), QStringLiteral("^original string: ") });
    fails("camera: status 500", false, HttpAnswer::status(500, cameraList(45, 0, 30)));
}

void TestPictureSearch::searchReply()
{
    QFETCH(bool, recorder);
    QFETCH(HttpAnswer, answer);
    QFETCH(int, sum);
    QFETCH(int, sessionId);
    QFETCH(int, entries);
    QFETCH(QStringList, warnings);

    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    FakeDevice::instance().http(recorder ? searchOpen : listRoute, answer);
    expectWarnings(warnings);
    const AnswersPtr answers = searchPicture(manager, target);
    QCOMPARE(answers->calls, 0); // never inside the call
    QVERIFY(FakeDevice::instance().waitIdle());
    QCOMPARE(answers->calls, 1);
    QCOMPARE(answers->sum, sum);

    // Nothing of a failed search is kept.
    const TargetContext &context = contextOf(manager, target);
    QCOMPARE(context.session.isValid(), sum >= 0);
    QCOMPARE(context.pictureTotal, qMax(sum, 0));
    QCOMPARE(context.pictureList.size(), entries);
    if (sum < 0)
        return;
    if (recorder) {
        QVERIFY(context.session.canConvert<RecorderSession>());
        QCOMPARE(sessionFrom<RecorderSession>(context.session).sid, sessionId);
        QCOMPARE(sessionFrom<RecorderSession>(context.session).recordType, int(RecordKind::Picture));
    } else {
        QVERIFY(context.session.canConvert<CameraSession>());
        QCOMPARE(sessionFrom<CameraSession>(context.session).id, sessionId);
        QCOMPARE(sessionFrom<CameraSession>(context.session).uuid, QStringLiteral("5f2c9e1a-uuid"));
    }
    QCOMPARE(context.currentPage, 0);
}

void TestPictureSearch::searchEntries_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<HttpAnswer>("answer");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<QDateTime>>("times");
    QTest::addColumn<QVector<int>>("channels");

    QTest::newRow("recorder: pts, time and channel of each picture")
        << true << HttpAnswer::body(recorderPage(5, 3, 10, 2))
        << QStringList { pictureName(true, 10), pictureName(true, 11) }
        << QList<QDateTime> { pictureTime(10), pictureTime(11) }
        << QVector<int> { pictureChannel(10), pictureChannel(11) };
    // The second picture has none of its keys; the first has a time out of pattern.
    QTest::newRow("recorder: bad time is invalid; missing keys give empty name, invalid time, channel 0")
        << true
        << HttpAnswer::body(kv({ { QStringLiteral("cnt"), 2 },
               { QStringLiteral("sid"), 5 },
               { QStringLiteral("allCnt"), 2 },
               { QStringLiteral("pts0"), QStringLiteral("p0") },
               { QStringLiteral("pTime0"), QStringLiteral("2024/03/01 08:00:00") },
               { QStringLiteral("chnid0"), 4 } }))
        << QStringList { QStringLiteral("p0"), QString() } << QList<QDateTime> { QDateTime(), QDateTime() }
        << QVector<int> { 4, 0 };
    QTest::newRow("camera: short rows give an empty name and an invalid time")
        << false
        << cameraBody(QJsonArray { cameraRow(0),
               QJsonArray(),
               QJsonArray { QStringLiteral("only-a-name") },
               QJsonArray { 42, QStringLiteral("yesterday") },
               QStringLiteral("no row at all") })
        << QStringList { pictureName(false, 0),
               QString(),
               QStringLiteral("only-a-name"),
               QStringLiteral("42"),
               QString() }
        << QList<QDateTime> { pictureTime(0), QDateTime(), QDateTime(), QDateTime(), QDateTime() } << QVector<int>();
}

void TestPictureSearch::searchEntries()
{
    QFETCH(bool, recorder);
    QFETCH(HttpAnswer, answer);
    QFETCH(QStringList, names);
    QFETCH(QList<QDateTime>, times);
    QFETCH(QVector<int>, channels);

    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    FakeDevice::instance().http(recorder ? searchOpen : listRoute, answer);
    searchPicture(manager, target);
    QVERIFY(FakeDevice::instance().waitIdle());

    const QVariantList list = contextOf(manager, target).pictureList;
    QCOMPARE(list.size(), names.size());
    for (int i = 0; i < list.size(); ++i) {
        const QVariantHash entry = list.at(i).toHash();
        QCOMPARE(entry.value(QStringLiteral("name")).toString(), names.at(i));
        QCOMPARE(entry.value(QStringLiteral("time")).userType(), int(QMetaType::QDateTime));
        QVERIFY2(sameTime(entry.value(QStringLiteral("time")).toDateTime(), times.at(i)), qPrintable(names.at(i)));
        if (recorder)
            QCOMPARE(entry.value(QStringLiteral("channel")), QVariant(channels.at(i)));
        else
            QVERIFY(!entry.contains(QStringLiteral("channel")));
    }
}

void TestPictureSearch::pageRead_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<int>("page");
    QTest::addColumn<HttpAnswer>("answer");
    QTest::addColumn<QStringList>("query");
    QTest::addColumn<int>("entries"); // -1: the read fails
    QTest::addColumn<QStringList>("warnings");

    const QStringList recorderPage5 {
        QStringLiteral("action=") + searchPage, QStringLiteral("sid=77"), QStringLiteral("page=5")
    };
    const QStringList cameraPage2 = cameraListQuery(QStringLiteral("0"), 60)
        << QStringLiteral("sid=3") << QStringLiteral("uuid=5f2c9e1a-uuid");

    QTest::newRow("camera page 2 asks from 60 within the open session")
        << false << 2 << HttpAnswer::body(cameraList(45, 60, 5)) << cameraPage2 << 5 << QStringList();
    QTest::newRow("recorder page 4 asks for page 5")
        << true << 4 << HttpAnswer::body(recorderPage(77, 250, 400, 3)) << recorderPage5 << 3 << QStringList();
    QTest::newRow("recorder page with cnt 0 is an empty page")
        << true << 3 << HttpAnswer::body(kv({ { QStringLiteral("cnt"), 0 } })) << QStringList() << 0 << QStringList();
    QTest::newRow("camera list that does not parse is an empty page")
        << false << 1 << HttpAnswer::body("{\"sEcho\": 1 2}") << QStringList() << 0
        << QStringList { QStringLiteral("^failure in parsing json string!$"), QStringLiteral("^original string: ") };
    QTest::newRow("camera transport failure keeps the held page")
        << false << 1 << HttpAnswer::failure() << QStringList() << -1 << QStringList();
    QTest::newRow("recorder status 500 keeps the held page")
        << true << 2 << HttpAnswer::status(500, recorderPage(77, 250, 200, 100)) << QStringList() << -1
        << QStringList();
    // Answered from the context, without a request.
    QTest::newRow("recorder page 0 after the search is the page held")
        << true << 0 << HttpAnswer() << QStringList() << 100 << QStringList();
    QTest::newRow("camera page 0 after the search is the page held")
        << false << 0 << HttpAnswer() << QStringList() << 30 << QStringList();
    QTest::newRow("recorder page equal to the picture total")
        << true << 250 << HttpAnswer() << QStringList() << -1
        << QStringList { QStringLiteral("^page is not existing. page:  250$") };
    QTest::newRow("negative page") << false << -1 << HttpAnswer() << QStringList() << -1
                                   << QStringList { QStringLiteral("^page is not existing. page:  -1$") };
}

void TestPictureSearch::pageRead()
{
    QFETCH(bool, recorder);
    QFETCH(int, page);
    QFETCH(HttpAnswer, answer);
    QFETCH(QStringList, query);
    QFETCH(int, entries);
    QFETCH(QStringList, warnings);

    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    QVERIFY(openSearch(manager, target));
    const QVariantList firstPage = contextOf(manager, target).pictureList;
    QCOMPARE(firstPage.size(), recorder ? 100 : 30);

    const int from = device.sent().size();
    const bool asks = page > 0 && page < (recorder ? 250 : 45);
    if (asks)
        device.http(recorder ? searchPage : listRoute, answer);
    if (page == 0)
        QTest::ignoreMessage(QtInfoMsg, "we already have current page");
    expectWarnings(warnings);
    const AnswersPtr answers = readPicturePage(manager, target, page);
    // Only a page already known is answered at once.
    QCOMPARE(answers->calls, asks ? 0 : 1);
    QVERIFY(device.waitIdle());
    QCOMPARE(answers->calls, 1);
    QCOMPARE(routesFrom(from), asks ? QStringList(recorder ? searchPage : listRoute) : QStringList());
    if (!query.isEmpty())
        QCOMPARE(queryPairs(device.httpRequests().at(from)), query);

    const TargetContext &context = contextOf(manager, target);
    QCOMPARE(context.pictureTotal, recorder ? 250 : 45);
    QCOMPARE(answers->page.size(), qMax(entries, 0));
    QCOMPARE(context.currentPage, entries < 0 ? 0 : page);
    QCOMPARE(context.pictureList, entries < 0 ? firstPage : answers->page);
    for (int i = 0; i < entries; ++i)
        QCOMPARE(answers->page.at(i).toHash().value(QStringLiteral("name")).toString(),
            pictureName(recorder, page * firstPage.size() + i));
}

void TestPictureSearch::nextSearchClosesSession_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<bool>("byCancel");

    QTest::newRow("recorder, next search") << true << false;
    QTest::newRow("recorder, cancel-all") << true << true;
    QTest::newRow("camera, next search") << false << false;
    QTest::newRow("camera, cancel-all") << false << true;
}

void TestPictureSearch::nextSearchClosesSession()
{
    QFETCH(bool, recorder);
    QFETCH(bool, byCancel);

    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    QVERIFY(openSearch(manager, target));
    const int from = FakeDevice::instance().sent().size();
    if (byCancel) {
        manager.cancelAllRecordSearching();
    } else {
        // The second search itself is not answered.
        if (recorder)
            QTest::ignoreMessage(QtWarningMsg, "failure in reading first page");
        searchPicture(manager, target);
    }

    QStringList routes { recorder ? QStringLiteral("get.playback.picture_backup_search_close")
                                  : QStringLiteral("closelyfshandle") };
    if (!byCancel)
        routes << (recorder ? searchOpen : listRoute);
    QCOMPARE(routesFrom(from), routes);
    QCOMPARE(queryPairs(FakeDevice::instance().httpRequests().at(from)), recorder ? recorderClose : cameraClose);
    QVERIFY(FakeDevice::instance().waitIdle());
}

void TestPictureSearch::lateOpenReplyIsClosed_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<HttpAnswer>("answer");
    QTest::addColumn<QStringList>("close"); // the close sent after the late reply; empty: none

    QTest::newRow("recorder search opened: closed")
        << true << HttpAnswer::body(recorderPage(77, 250, 0, 2)) << recorderClose;
    QTest::newRow("recorder cnt 0 opened nothing") << true << recorderCnt0() << QStringList();
    QTest::newRow("camera search opened: closed") << false << HttpAnswer::body(cameraList(45, 0, 30)) << cameraClose;
    QTest::newRow("camera malformed session column names nothing to close")
        << false << HttpAnswer::body(cameraList(45, 0, 2, QStringLiteral("13&5f2c9e1a-uuid"))) << QStringList();
}

// A cancel-all destroys the search while its reply is on the way; the search that reply opened is
// closed all the same, since it never becomes the device's session.
void TestPictureSearch::lateOpenReplyIsClosed()
{
    QFETCH(bool, recorder);
    QFETCH(HttpAnswer, answer);
    QFETCH(QStringList, close);

    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    device.http(recorder ? searchOpen : listRoute, answer.hold());
    const AnswersPtr answers = searchPicture(manager, target);
    QVERIFY(device.waitIdle());
    QCOMPARE(device.heldCount(), 1);
    manager.cancelAllRecordSearching();
    const int from = device.sent().size();

    if (!close.isEmpty())
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("^close handle opened by a late reply: ")));
    device.releaseHeld();
    QVERIFY(device.waitIdle());
    QCOMPARE(answers->calls, 0);
    QCOMPARE(routesFrom(from).size(), close.isEmpty() ? 0 : 1);
    if (!close.isEmpty()) {
        const HttpRequest request = device.httpRequests().last();
        QCOMPARE(request.path, recorder ? QStringLiteral("/sdk.cgi") : QStringLiteral("/vb.htm"));
        QCOMPARE(request.target, target.handle);
        QCOMPARE(queryPairs(request), close);
    }
}

QTEST_MAIN(TestPictureSearch)
#include "tst_picture_search.moc"
