// search_video on recorders and cameras over HTTP and P2P, driven through the manager against the
// scripted fake device: paging, failure points, request formats, session handling and teardown.

#include "FakeDevice.h"

#include <manager/RecordManager.h>
#include <manager/RecordManagerPrivate.h>
#include <manager/RecordSession.h>
#include <transport/DeviceCommand.h>

#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

using namespace lydevice;
using namespace lydevice::test;

namespace
{

// Short string literals for the many request keys and values below.
QString operator""_q(const char *text, std::size_t size)
{
    return QString::fromUtf8(text, int(size));
}

struct HttpStep {
    QString route;
    HttpAnswer answer;
};
struct P2pStep {
    QString route;
    P2pAnswer answer;
};
// The answers a row scripts; the transport under test is the one with steps.
struct Script {
    QVector<HttpStep> http;
    QVector<P2pStep> p2p;
};

Script overHttp(const QVector<HttpStep> &steps)
{
    return Script { steps, {} };
}

Script overP2p(const QVector<P2pStep> &steps)
{
    return Script { {}, steps };
}

// What the caller of search_video was told.
struct Outcome {
    int calls = 0;
    int code = 0;
    QVariantList records;
};

const QDateTime spanStart(QDate(2024, 3, 5), QTime(7, 8, 9));
const QDateTime spanEnd(QDate(2024, 3, 6), QTime(23, 0, 1));

// Recorder routes.
const QString info = QStringLiteral("get.playback.recordinfo");
const QString infoPage = QStringLiteral("get.playback.recordinfo_page");
const QString eventSearch = QStringLiteral("get.playback.evt_backup_search");
const QString eventPage = QStringLiteral("get.playback.evt_backup_search_page");
const QString eventClose = QStringLiteral("get.playback.evt_backup_search_close");
const QString stopBatch = QStringLiteral("set.playback.stop_batch");
const QString p2pStop = QStringLiteral("nvr:17");
const QString p2pClose = QStringLiteral("nvr:18");
const QString p2pInfo = QStringLiteral("nvr:25");
const QString p2pEvent = QStringLiteral("nvr:27");
const QString p2pPage = QStringLiteral("nvr:28");
// Camera routes.
const QString totalPage = QStringLiteral("PBFileTotalPage");
const QString filePage = QStringLiteral("PBFilePageIndex");
const QString camCount = QStringLiteral("ipc:9");
const QString camPage = QStringLiteral("ipc:55");

constexpr int sessionId = 7;
constexpr int eventHandle = 31;
const QString closeWarning = QStringLiteral("close event handle:  31");

// Record n of a search starts n minutes into the span, so the order of the delivered records
// shows whether pages were joined in order.
QDateTime recordStart(int n)
{
    return spanStart.addSecs(60 * n);
}

QString deviceTime(const QDateTime &time)
{
    return QLocale::c().toString(time, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

HttpAnswer recordInfo(int count, int allCount)
{
    return HttpAnswer::body(kv({ { "cnt"_q, count }, { "allCnt"_q, allCount }, { "sid"_q, sessionId } }));
}

HttpAnswer countOnly(int count)
{
    return HttpAnswer::body(kv({ { "cnt"_q, count } }));
}

// An event reply of `count` records of 30 seconds, numbered from `first`.
HttpAnswer eventReply(int count, int first)
{
    QList<QPair<QString, QVariant>> pairs { { "cnt"_q, count }, { "sid"_q, eventHandle } };
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        pairs.append({ QStringLiteral("recordType") + n, (first + i) % 8 });
        pairs.append({ QStringLiteral("startTime") + n, deviceTime(recordStart(first + i)) });
        pairs.append({ QStringLiteral("endTime") + n, deviceTime(recordStart(first + i).addSecs(30)) });
    }
    return HttpAnswer::body(kv(pairs));
}

// The same over P2P; counts, ids and types as decimal strings or as numbers.
P2pAnswer p2pEventReply(int count, int first, bool asText, QJsonObject extra = {})
{
    const auto number = [asText](int value) { return asText ? QJsonValue(QString::number(value)) : QJsonValue(value); };
    extra.insert(QStringLiteral("r.cnt"), number(count));
    extra.insert(QStringLiteral("r.sid"), number(eventHandle));
    for (int i = 0; i < count; ++i) {
        const QString key = QStringLiteral("r[%1].").arg(i);
        extra.insert(key + QLatin1String("recordType"), number((first + i) % 8));
        extra.insert(key + QLatin1String("startTime"), deviceTime(recordStart(first + i)));
        extra.insert(key + QLatin1String("endTime"), deviceTime(recordStart(first + i).addSecs(30)));
    }
    return P2pAnswer::object(extra);
}

P2pAnswer p2pInfoReply(const QJsonValue &count)
{
    QJsonObject reply { { "allCnt"_q, 500 }, { "sid"_q, sessionId } };
    if (!count.isUndefined())
        reply.insert(QStringLiteral("cnt"), count);
    return P2pAnswer::object(reply);
}

// A camera file string: type digit, start of record n, separator, 600 seconds.
QString cameraFile(int type, int n)
{
    return QString::number(type) + QLocale::c().toString(recordStart(n), QStringLiteral("yyyyMMddHHmmss"))
        + QLatin1String("_600");
}

// A camera page of files (type, n).
HttpAnswer cameraPage(std::initializer_list<std::pair<int, int>> files)
{
    QString list;
    for (const auto &file : files)
        list += cameraFile(file.first, file.second) + QLatin1Char(';');
    return HttpAnswer::body(okLines({ { "pbfilepageindex"_q, list } }));
}

P2pAnswer cameraP2pPage(std::initializer_list<std::pair<int, int>> files)
{
    QJsonArray list;
    for (const auto &file : files)
        list.append(cameraFile(file.first, file.second));
    return P2pAnswer::object({ { "file_list"_q, list } });
}

HttpAnswer cameraCount(const QVariant &pages)
{
    return HttpAnswer::body(okLines({ { "pbfiletotalpage"_q, pages } }));
}

P2pAnswer cameraP2pCount(const QJsonValue &count)
{
    return P2pAnswer::object({ { "total_page"_q, count } });
}

// The page numbers asked for on a route, in order.
QVector<int> pagesAsked(const QString &route, const QString &key)
{
    QVector<int> pages;
    for (const HttpRequest &request : FakeDevice::instance().httpRequests(route))
        pages << request.value(key).toInt();
    for (const P2pRequest &request : FakeDevice::instance().p2pRequests(route))
        pages << request.request.value(key).toInt(-1);
    return pages;
}

QVector<int> pagesFrom(int first, int count)
{
    QVector<int> pages;
    for (int i = 0; i < count; ++i)
        pages << first + i;
    return pages;
}

} // namespace

Q_DECLARE_METATYPE(lydevice::DeviceType)
Q_DECLARE_METATYPE(lydevice::TransportType)
Q_DECLARE_METATYPE(Script)

class TestVideoSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void recorderFlow_data();
    void recorderFlow();
    void recorderHttpRequests();
    void recorderP2pRequests();
    void recorderWithoutChannelFailsLater_data();
    void recorderWithoutChannelFailsLater();
    void secondSearchClosesThePlaybackSessionFirst_data();
    void secondSearchClosesThePlaybackSessionFirst();

    void cameraFlow_data();
    void cameraFlow();
    void cameraRequests();
    void endlessCameraPagingIsBounded();

    void cancelAllDuringSearch_data();
    void cancelAllDuringSearch();
    void lateOpeningReplyIsClosed_data();
    void lateOpeningReplyIsClosed();

private:
    TargetDesc newTarget(DeviceType device, TransportType transport);
    std::shared_ptr<Outcome> search(const TargetDesc &target,
        const QVector<int> &channels = { 3, 0 },
        RecordVideoType type = RecordVideoType::All,
        StreamType stream = StreamType::Main);
    // Scripts the answers and starts a search on a new target of the scripted transport.
    std::shared_ptr<Outcome> run(DeviceType device,
        const Script &steps,
        RecordVideoType type = RecordVideoType::All,
        TargetDesc *target = nullptr);
    RecorderSession storedSession(const TargetDesc &target) const;

    std::unique_ptr<RecordManager> manager;
    quint64 nextHandle = 0x500000000ull;
};

void TestVideoSearch::initTestCase()
{
    // A host locale with its own digits must not leak into what goes on the wire.
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
}

void TestVideoSearch::init()
{
    FakeDevice::instance().reset();
    manager = std::make_unique<RecordManager>();
}

void TestVideoSearch::cleanup()
{
    manager.reset();
    FakeDevice::instance().reset();
}

TargetDesc TestVideoSearch::newTarget(DeviceType device, TransportType transport)
{
    TargetDesc target;
    target.deviceType = device;
    target.transport = transport;
    target.handle = ++nextHandle;
    return target;
}

std::shared_ptr<Outcome> TestVideoSearch::search(
    const TargetDesc &target, const QVector<int> &channels, RecordVideoType type, StreamType stream)
{
    auto outcome = std::make_shared<Outcome>();
    manager->searchVideo(
        target, channels, type, stream, spanStart, spanEnd, [outcome](int code, QList<QVariant> records) {
            ++outcome->calls;
            outcome->code = code;
            outcome->records = records;
        });
    return outcome;
}

std::shared_ptr<Outcome> TestVideoSearch::run(
    DeviceType device, const Script &steps, RecordVideoType type, TargetDesc *target)
{
    for (const HttpStep &step : steps.http)
        FakeDevice::instance().http(step.route, step.answer);
    for (const P2pStep &step : steps.p2p)
        FakeDevice::instance().p2p(step.route, step.answer);
    const TargetDesc made = newTarget(device, steps.p2p.isEmpty() ? TransportType::Ip : TransportType::P2p);
    if (target)
        *target = made;
    return search(made, device == DeviceType::NVR ? QVector<int> { 3, 0 } : QVector<int> { 0 }, type);
}

RecorderSession TestVideoSearch::storedSession(const TargetDesc &target) const
{
    const QVariant session = manager->d_func()->context(target).session;
    return session.isValid() ? session.value<RecorderSession>() : RecorderSession { -1, -1 };
}

void TestVideoSearch::recorderFlow_data()
{
    QTest::addColumn<Script>("steps");
    QTest::addColumn<QStringList>("routes");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("records");
    QTest::addColumn<QJsonValue>("closedHandle"); // over P2P; undefined: no close sent
    QTest::addColumn<QString>("warning");

    const QJsonValue none(QJsonValue::Undefined);
    const QJsonValue text(QStringLiteral("31"));
    const QJsonValue number(eventHandle);
    const QJsonObject refused { { "res"_q, "-1"_q } };

    // Record-info paging over HTTP: only the counts matter, and only reaching exactly 0 ends it.
    QTest::newRow("http: cnt equal to allCnt, 99 records close at once")
        << overHttp({ { info, recordInfo(5, 5) }, { eventSearch, eventReply(99, 0) } })
        << QStringList { info, eventSearch, eventClose } << sessionId << 99 << none << QString();
    QTest::newRow("http: allCnt 250 in replies of 100, 100, 50 reads record-info pages 2 and 3")
        << overHttp({ { info, recordInfo(100, 250) },
               { infoPage, countOnly(100) },
               { infoPage, countOnly(50) },
               { eventSearch, eventReply(3, 0) } })
        << QStringList { info, infoPage, infoPage, eventSearch, eventClose } << sessionId << 3 << none << QString();
    QTest::newRow("http: missing allCnt runs below zero until an empty page fails")
        << overHttp({ { info, HttpAnswer::body(kv({ { "cnt"_q, 50 }, { "sid"_q, sessionId } })) },
               { infoPage, countOnly(20) },
               { infoPage, countOnly(0) } })
        << QStringList { info, infoPage, infoPage } << -1 << 0 << none << QString();
    QTest::newRow("http: empty record info fails before a session exists")
        << overHttp({ { info, recordInfo(0, 0) } }) << QStringList { info } << -1 << 0 << none << QString();
    // Event paging: a reply of 100 or more asks for the next page; any shorter one ends it.
    QTest::newRow("http: pages of 100 ask for the next until a short one, joined in order")
        << overHttp({ { info, recordInfo(1, 1) },
               { eventSearch, eventReply(100, 0) },
               { eventPage, eventReply(100, 100) },
               { eventPage, eventReply(42, 200) } })
        << QStringList { info, eventSearch, eventPage, eventPage, eventClose } << sessionId << 242 << none << QString();
    QTest::newRow("http: empty first event reply fails and closes nothing")
        << overHttp({ { info, recordInfo(1, 1) }, { eventSearch, eventReply(0, 0) } })
        << QStringList { info, eventSearch } << -1 << 0 << none << QString();
    QTest::newRow("http: a count beyond the per-reply cap is cut")
        << overHttp({ { info, recordInfo(1, 1) }, { eventSearch, countOnly(20000) }, { eventPage, countOnly(0) } })
        << QStringList { info, eventSearch, eventPage, eventClose } << sessionId << 10000 << none << QString();
    // Every step fails on a transport failure or a status other than 200.
    QTest::newRow("http: transport failure at record info")
        << overHttp({ { info, HttpAnswer::failure() } }) << QStringList { info } << -1 << 0 << none << QString();
    QTest::newRow("http: status 404 at a record-info page")
        << overHttp({ { info, recordInfo(100, 200) }, { infoPage, HttpAnswer::status(404, kv({ { "cnt"_q, 100 } })) } })
        << QStringList { info, infoPage } << -1 << 0 << none << QString();
    QTest::newRow("http: transport failure at the event search")
        << overHttp({ { info, recordInfo(1, 1) }, { eventSearch, HttpAnswer::failure() } })
        << QStringList { info, eventSearch } << -1 << 0 << none << QString();
    QTest::newRow("http: status 500 at an event page: the destructor closes the handle")
        << overHttp({ { info, recordInfo(1, 1) },
               { eventSearch, eventReply(100, 0) },
               { eventPage, HttpAnswer::status(500) } })
        << QStringList { info, eventSearch, eventPage, eventClose } << -1 << 0 << none << closeWarning;

    QTest::newRow("p2p: allCnt above cnt still goes straight to the event search")
        << overP2p({ { p2pInfo, p2pInfoReply(10) }, { p2pEvent, p2pEventReply(3, 0, false) } })
        << QStringList { p2pInfo, p2pEvent, p2pClose } << sessionId << 3 << text << QString();
    QTest::newRow("p2p: record-info cnt with a fraction reads 0 and fails")
        << overP2p({ { p2pInfo, p2pInfoReply(2.5) } }) << QStringList { p2pInfo } << -1 << 0 << none << QString();
    // Counts come as strings or numbers; 100 records ask for page 2. The close after a page
    // carries the handle as a number, after the first reply as a string.
    QTest::newRow("p2p: counts as strings page on") << overP2p({ { p2pInfo, p2pInfoReply(QStringLiteral("10")) },
        { p2pEvent, p2pEventReply(100, 0, true) },
        { p2pPage, p2pEventReply(0, 100, true) } }) << QStringList { p2pInfo, p2pEvent, p2pPage, p2pClose }
                                                    << sessionId << 100 << number << QString();
    QTest::newRow("p2p: counts as numbers page on") << overP2p({ { p2pInfo, p2pInfoReply(10) },
        { p2pEvent, p2pEventReply(100, 0, false) },
        { p2pPage, p2pEventReply(100, 100, false) },
        { p2pPage, p2pEventReply(5, 200, false) } }) << QStringList { p2pInfo, p2pEvent, p2pPage, p2pPage, p2pClose }
                                                    << sessionId << 205 << number << QString();
    QTest::newRow("p2p: empty first event reply succeeds and closes its handle")
        << overP2p({ { p2pInfo, p2pInfoReply(10) }, { p2pEvent, p2pEventReply(0, 0, false) } })
        << QStringList { p2pInfo, p2pEvent, p2pClose } << sessionId << 0 << text << QString();
    // "res" = "-1" refuses the first event reply, whatever it carries; pages are not checked.
    QTest::newRow("p2p: res -1 fails despite records")
        << overP2p({ { p2pInfo, p2pInfoReply(10) }, { p2pEvent, p2pEventReply(3, 0, false, refused) } })
        << QStringList { p2pInfo, p2pEvent } << -1 << 0 << none << QString();
    QTest::newRow("p2p: res -1 on a page is not checked")
        << overP2p({ { p2pInfo, p2pInfoReply(10) },
               { p2pEvent, p2pEventReply(100, 0, false) },
               { p2pPage, p2pEventReply(1, 100, false, refused) } })
        << QStringList { p2pInfo, p2pEvent, p2pPage, p2pClose } << sessionId << 101 << number << QString();
    QTest::newRow("p2p: transport failure at record info")
        << overP2p({ { p2pInfo, P2pAnswer::failure() } }) << QStringList { p2pInfo } << -1 << 0 << none << QString();
    QTest::newRow("p2p: transport failure at the event search")
        << overP2p({ { p2pInfo, p2pInfoReply(10) }, { p2pEvent, P2pAnswer::failure() } })
        << QStringList { p2pInfo, p2pEvent } << -1 << 0 << none << QString();
    QTest::newRow("p2p: transport failure at a page: the destructor closes the handle as a string")
        << overP2p({ { p2pInfo, p2pInfoReply(10) },
               { p2pEvent, p2pEventReply(100, 0, false) },
               { p2pPage, P2pAnswer::failure() } })
        << QStringList { p2pInfo, p2pEvent, p2pPage, p2pClose } << -1 << 0 << text << closeWarning;
}

void TestVideoSearch::recorderFlow()
{
    QFETCH(Script, steps);
    QFETCH(QStringList, routes);
    QFETCH(int, code);
    QFETCH(int, records);
    QFETCH(QJsonValue, closedHandle);
    QFETCH(QString, warning);

    auto &device = FakeDevice::instance();
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    TargetDesc target;
    const auto outcome = run(DeviceType::NVR, steps, RecordVideoType::All, &target);
    QVERIFY(device.waitIdle());

    QCOMPARE(device.routes(), routes);
    QCOMPARE(outcome->calls, 1);
    QCOMPARE(outcome->code, code);
    QCOMPARE(outcome->records.size(), records);
    QVERIFY(manager->d_func()->operations.isEmpty());
    // The playback session is kept from the moment the record info is accepted.
    QCOMPARE(storedSession(target).sid, routes.size() > 1 ? sessionId : -1);
    // Pages are asked for from 2 on, one after another.
    for (const auto &route : { qMakePair(infoPage, "page"_q), { eventPage, "page"_q }, { p2pPage, "r.page"_q } }) {
        const QVector<int> pages = pagesAsked(route.first, route.second);
        QCOMPARE(pages, pagesFrom(2, pages.size()));
    }
    for (const P2pRequest &page : device.p2pRequests(p2pPage))
        QCOMPARE(page.request.value(QStringLiteral("r.sid")), QJsonValue(QStringLiteral("31")));
    const QVector<P2pRequest> closes = device.p2pRequests(p2pClose);
    QCOMPARE(closes.size(), closedHandle.isUndefined() ? 0 : 1);
    if (!closes.isEmpty())
        QCOMPARE(closes.first().request, QJsonObject({ { QStringLiteral("r.sid"), closedHandle } }));
    if (records == 10000)
        return; // the capped reply carries counts only
    for (int n = 0; n < outcome->records.size(); ++n) {
        const QVariantHash record = outcome->records.at(n).toHash();
        QCOMPARE(record.value(QStringLiteral("type")), QVariant(n % 8));
        QCOMPARE(record.value(QStringLiteral("start")).toDateTime(), recordStart(n));
        QCOMPARE(record.value(QStringLiteral("end")).toDateTime(), recordStart(n).addSecs(30));
    }
}

void TestVideoSearch::recorderHttpRequests()
{
    auto &device = FakeDevice::instance();
    for (const HttpStep &step : QVector<HttpStep> { { info, recordInfo(100, 101) },
             { infoPage, countOnly(1) },
             { eventSearch, eventReply(100, 0) },
             { eventPage, eventReply(2, 100) } })
        device.http(step.route, step.answer);
    const TargetDesc target = newTarget(DeviceType::NVR, TransportType::Ip);
    QTest::ignoreMessage(QtWarningMsg, "nvr playback session created. session:  7");
    // Channel 70 cannot be in the mask; the mask is still 64 characters.
    search(target, { 3, 0, 70 }, RecordVideoType::Motion, StreamType::Sub);
    QVERIFY(device.waitIdle());

    using Pairs = QVector<QPair<QString, QString>>;
    const QVector<HttpRequest> requests = device.httpRequests();
    QCOMPARE(requests.size(), 5);
    for (const HttpRequest &request : requests) {
        QCOMPARE(request.target, target.handle);
        QCOMPARE(request.path, QStringLiteral("/sdk.cgi"));
    }
    QCOMPARE(requests.at(0).query,
        (Pairs { { "action"_q, info },
            { "chnid"_q, "3"_q },
            { "stream"_q, "1"_q },
            { "startTime"_q, "2024-03-05%2007:08:09"_q },
            { "endTime"_q, "2024-03-06%2023:00:01"_q } }));
    QCOMPARE(requests.at(1).query, (Pairs { { "action"_q, infoPage }, { "sid"_q, "7"_q }, { "page"_q, "2"_q } }));
    QCOMPARE(requests.at(2).query,
        (Pairs { { "action"_q, eventSearch },
            { "chnmaskl"_q, QStringLiteral("1001") + QString(60, u'0') },
            { "num"_q, "1"_q },
            { "event"_q, "128"_q },
            { "subType"_q, "16"_q },
            { "stream"_q, "1"_q },
            { "ahead"_q, "0"_q },
            { "delay"_q, "0"_q },
            { "startTime"_q, "2024-03-05%2007:08:09"_q },
            { "endTime"_q, "2024-03-06%2023:00:01"_q } }));
    QCOMPARE(requests.at(3).query, (Pairs { { "action"_q, eventPage }, { "sid"_q, "31"_q }, { "page"_q, "2"_q } }));
    QCOMPARE(requests.at(4).query, (Pairs { { "action"_q, eventClose }, { "sid"_q, "31"_q } }));
    QCOMPARE(storedSession(target).recordType, int(RecordKind::Video));
}

void TestVideoSearch::recorderP2pRequests()
{
    auto &device = FakeDevice::instance();
    device.p2p(p2pInfo, p2pInfoReply(10));
    device.p2p(p2pEvent, p2pEventReply(100, 0, false));
    device.p2p(p2pPage, p2pEventReply(0, 100, false));
    TargetDesc target = newTarget(DeviceType::NVR, TransportType::P2p);
    target.handle = 0x700000005ull; // the SDK sees the low 32 bits
    QTest::ignoreMessage(QtWarningMsg, "nvr playback session created. session:  7");
    search(target, { 5, 1 }, RecordVideoType::Sensor, StreamType::Sub);
    QVERIFY(device.waitIdle());

    const QVector<P2pRequest> requests = device.p2pRequests();
    QCOMPARE(requests.size(), 4);
    for (const P2pRequest &request : requests) {
        QCOMPARE(request.handle, 5);
        QCOMPARE(request.timeout, 20);
        QVERIFY(request.recorder);
    }
    QCOMPARE(requests.at(0).request,
        QJsonObject({ { "r.chnid"_q, 5 },
            { "r.stream"_q, 1 },
            { "r.startTime"_q, "2024-03-05 07:08:09"_q },
            { "r.endTime"_q, "2024-03-06 23:00:01"_q } }));
    QCOMPARE(requests.at(1).request,
        QJsonObject({ { "r.chnmaskl"_q, QStringLiteral("01000100") + QString(56, u'0') },
            { "r.num"_q, 1 },
            { "r.event"_q, 128 },
            { "r.subType"_q, 1 },
            { "r.stream"_q, 1 },
            { "r.ahead"_q, 0 },
            { "r.delay"_q, 0 },
            { "r.startTime"_q, "2024-03-05 07:08:09"_q },
            { "r.endTime"_q, "2024-03-06 23:00:01"_q } }));
    QCOMPARE(requests.at(2).request, QJsonObject({ { "r.sid"_q, "31"_q }, { "r.page"_q, 2 } }));
    QCOMPARE(storedSession(target).recordType, int(RecordKind::Video));
}

void TestVideoSearch::recorderWithoutChannelFailsLater_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::newRow("http") << TransportType::Ip;
    QTest::newRow("p2p") << TransportType::P2p;
}

void TestVideoSearch::recorderWithoutChannelFailsLater()
{
    QFETCH(TransportType, transport);

    const TargetDesc target = newTarget(DeviceType::NVR, transport);
    const auto outcome = search(target, {});
    QCOMPARE(outcome->calls, 0); // never from inside the call
    QTRY_COMPARE(outcome->calls, 1);
    QCOMPARE(outcome->code, -1);
    QVERIFY(outcome->records.isEmpty());
    QVERIFY(FakeDevice::instance().sent().isEmpty());
    QVERIFY(manager->d_func()->operations.isEmpty());
    QVERIFY(!manager->d_func()->isOperationAlive(target));
}

void TestVideoSearch::secondSearchClosesThePlaybackSessionFirst_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QStringList>("routes");

    QTest::newRow("http") << TransportType::Ip << QStringList { info, eventSearch, eventClose, stopBatch, info };
    QTest::newRow("p2p") << TransportType::P2p << QStringList { p2pInfo, p2pEvent, p2pClose, p2pStop, p2pInfo };
}

void TestVideoSearch::secondSearchClosesThePlaybackSessionFirst()
{
    QFETCH(TransportType, transport);
    QFETCH(QStringList, routes);

    auto &device = FakeDevice::instance();
    device.http(info, recordInfo(1, 1));
    device.http(eventSearch, eventReply(1, 0));
    device.p2p(p2pInfo, p2pInfoReply(1));
    device.p2p(p2pEvent, p2pEventReply(1, 0, false));
    const TargetDesc target = newTarget(DeviceType::NVR, transport);
    const auto first = search(target);
    QVERIFY(device.waitIdle());
    QCOMPARE(first->code, sessionId);

    const auto second = search(target);
    QVERIFY(device.waitIdle());
    QCOMPARE(device.routes(), routes);
    if (transport == TransportType::Ip)
        QCOMPARE(device.httpRequests(stopBatch).first().value(QStringLiteral("sid[0]")), QStringLiteral("7"));
    else
        QCOMPARE(device.p2pRequests(p2pStop).first().request.value(QStringLiteral("r.sid[0]")), QJsonValue(sessionId));
    QCOMPARE(second->calls, 1);
    QCOMPARE(second->code, -1); // nothing scripted for it
}

void TestVideoSearch::cameraFlow_data()
{
    QTest::addColumn<RecordVideoType>("type");
    QTest::addColumn<Script>("steps");
    QTest::addColumn<QVector<int>>("pages");
    QTest::addColumn<int>("code");
    QTest::addColumn<QVector<int>>("kept"); // numbers of the records delivered, in order

    using Pages = QVector<int>;
    const RecordVideoType all = RecordVideoType::All;
    QTest::newRow("http: no pages is an empty success")
        << all << overHttp({ { totalPage, cameraCount(0) } }) << Pages() << 0 << Pages();
    QTest::newRow("http: all pages in order, filtered at the end: type 0 keeps type 1")
        << all
        << overHttp({ { totalPage, cameraCount(3) },
               { filePage, cameraPage({ { 1, 0 }, { 2, 1 } }) },
               { filePage, cameraPage({ { 1, 2 }, { 1, 3 } }) },
               { filePage, cameraPage({ { 5, 4 }, { 1, 5 } }) } })
        << Pages { 1, 2, 3 } << 0 << Pages { 0, 2, 3, 5 };
    QTest::newRow("http: type outside 0 to 5 keeps type 0")
        << RecordVideoType(9)
        << overHttp({ { totalPage, cameraCount(1) }, { filePage, cameraPage({ { 0, 0 }, { 1, 1 }, { 0, 2 } }) } })
        << Pages { 1 } << 0 << Pages { 0, 2 };
    QTest::newRow("http: negative page count reads page 1 only")
        << all << overHttp({ { totalPage, cameraCount(-4) }, { filePage, cameraPage({ { 1, 0 } }) } }) << Pages { 1 }
        << 0 << Pages { 0 };
    QTest::newRow("http: page count with a fraction is truncated")
        << all
        << overHttp({ { totalPage, cameraCount(QStringLiteral("2.9")) },
               { filePage, cameraPage({ { 1, 0 } }) },
               { filePage, cameraPage({ { 1, 1 } }) } })
        << Pages { 1, 2 } << 0 << Pages { 0, 1 };
    QTest::newRow("http: page without a file list adds nothing and the search goes on")
        << all
        << overHttp({ { totalPage, cameraCount(2) },
               { filePage, HttpAnswer::body(okLines({ { "other"_q, 1 } })) },
               { filePage, cameraPage({ { 1, 1 } }) } })
        << Pages { 1, 2 } << 0 << Pages { 1 };
    QTest::newRow("http: transport failure at the page count")
        << all << overHttp({ { totalPage, HttpAnswer::failure() } }) << Pages() << -1 << Pages();
    QTest::newRow("http: status 500 at page 2") << all
                                                << overHttp({ { totalPage, cameraCount(3) },
                                                       { filePage, cameraPage({ { 1, 0 } }) },
                                                       { filePage, HttpAnswer::status(500) } })
                                                << Pages { 1, 2 } << -1 << Pages();

    // Over P2P an empty or unreadable page count is a failure.
    QTest::newRow("p2p: total_page 0 fails")
        << all << overP2p({ { camCount, cameraP2pCount(0) } }) << Pages() << -1 << Pages();
    QTest::newRow("p2p: total_page as a string fails")
        << all << overP2p({ { camCount, cameraP2pCount(QStringLiteral("2")) } }) << Pages() << -1 << Pages();
    QTest::newRow("p2p: total_page with a fraction fails")
        << all << overP2p({ { camCount, cameraP2pCount(1.5) } }) << Pages() << -1 << Pages();
    QTest::newRow("p2p: two pages in order, the requested type filtered at the end")
        << RecordVideoType::Alarm
        << overP2p({ { camCount, cameraP2pCount(2) },
               { camPage, cameraP2pPage({ { 5, 0 }, { 1, 1 } }) },
               { camPage, cameraP2pPage({ { 5, 2 } }) } })
        << Pages { 1, 2 } << 0 << Pages { 0, 2 };
    QTest::newRow("p2p: negative page count reads page 1 only")
        << all << overP2p({ { camCount, cameraP2pCount(-1) }, { camPage, cameraP2pPage({ { 1, 0 } }) } }) << Pages { 1 }
        << 0 << Pages { 0 };
    QTest::newRow("p2p: page without file_list adds nothing and the search goes on")
        << RecordVideoType::General
        << overP2p({ { camCount, cameraP2pCount(2) },
               { camPage, P2pAnswer::object({}) },
               { camPage, cameraP2pPage({ { 2, 1 } }) } })
        << Pages { 1, 2 } << 0 << Pages { 1 };
    QTest::newRow("p2p: transport failure at page 2") << all
                                                      << overP2p({ { camCount, cameraP2pCount(2) },
                                                             { camPage, cameraP2pPage({ { 1, 0 } }) },
                                                             { camPage, P2pAnswer::failure() } })
                                                      << Pages { 1, 2 } << -1 << Pages();
}

void TestVideoSearch::cameraFlow()
{
    QFETCH(RecordVideoType, type);
    QFETCH(Script, steps);
    QFETCH(QVector<int>, pages);
    QFETCH(int, code);
    QFETCH(QVector<int>, kept);

    auto &device = FakeDevice::instance();
    const auto outcome = run(DeviceType::IPC, steps, type);
    QVERIFY(device.waitIdle());

    QCOMPARE(device.httpRequests(totalPage).size() + device.p2pRequests(camCount).size(), 1);
    QCOMPARE(pagesAsked(filePage, filePage) + pagesAsked(camPage, QStringLiteral("page")), pages);
    QCOMPARE(outcome->calls, 1);
    QCOMPARE(outcome->code, code);
    QCOMPARE(outcome->records.size(), kept.size());
    for (int i = 0; i < kept.size(); ++i) {
        const QVariantHash record = outcome->records.at(i).toHash();
        QCOMPARE(record.value(QStringLiteral("start")).toDateTime(), recordStart(kept.at(i)));
        QCOMPARE(record.value(QStringLiteral("end")).toDateTime(), recordStart(kept.at(i)).addSecs(600));
    }
    QVERIFY(manager->d_func()->operations.isEmpty());
}

// The type outside the table asks the camera over HTTP for its fallback mask, over P2P for every type.
void TestVideoSearch::cameraRequests()
{
    auto &device = FakeDevice::instance();
    device.http(totalPage, cameraCount(1));
    device.http(filePage, cameraPage({}));
    device.p2p(camCount, cameraP2pCount(1));
    device.p2p(camPage, cameraP2pPage({}));
    const TargetDesc ip = newTarget(DeviceType::IPC, TransportType::Ip);
    TargetDesc p2p = newTarget(DeviceType::IPC, TransportType::P2p);
    p2p.handle = 0x900000009ull;
    search(ip, { 0 }, RecordVideoType(9));
    search(p2p, { 0 }, RecordVideoType(9));
    QVERIFY(device.waitIdle());

    using Pairs = QVector<QPair<QString, QString>>;
    const QVector<HttpRequest> requests = device.httpRequests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).path, QStringLiteral("/vb.htm"));
    QCOMPARE(requests.at(0).target, ip.handle);
    const Pairs span { { "PBStartTimePos"_q, "20240305070809"_q }, { "PBEndTimePos"_q, "20240306230001"_q } };
    QCOMPARE(requests.at(0).query, (span + Pairs { { "PBFileTotalPage"_q, "484"_q } }));
    QCOMPARE(requests.at(1).query, (span + Pairs { { "PBFilePageIndex"_q, "1"_q } }));

    const QJsonObject start {
        { "year"_q, 2024 }, { "month"_q, 3 }, { "day"_q, 5 }, { "hour"_q, 7 }, { "minute"_q, 8 }, { "second"_q, 9 }
    };
    const QJsonObject end {
        { "year"_q, 2024 }, { "month"_q, 3 }, { "day"_q, 6 }, { "hour"_q, 23 }, { "minute"_q, 0 }, { "second"_q, 1 }
    };
    const QVector<P2pRequest> commands = device.p2pRequests();
    QCOMPARE(commands.size(), 2);
    for (const P2pRequest &command : commands) {
        QVERIFY(!command.recorder);
        QCOMPARE(command.handle, 9);
        QCOMPARE(command.timeout, 20);
    }
    QCOMPARE(commands.at(0).request, QJsonObject({ { "start_time"_q, start }, { "end_time"_q, end } }));
    QCOMPARE(commands.at(1).request,
        QJsonObject({ { "start_time"_q, start }, { "end_time"_q, end }, { "page"_q, 1 }, { "type"_q, 0 } }));
}

// A camera that reports an enormous page count is not followed to the end of it.
void TestVideoSearch::endlessCameraPagingIsBounded()
{
    auto &device = FakeDevice::instance();
    device.p2p(camCount, cameraP2pCount(2147483647));
    device.setP2pHandler([](const P2pRequest &) { return std::optional<P2pAnswer>(cameraP2pPage({})); });
    const auto outcome = search(newTarget(DeviceType::IPC, TransportType::P2p));
    QVERIFY(device.waitIdle(120000));
    QCOMPARE(outcome->calls, 1);
    QCOMPARE(outcome->code, 0);
    QCOMPARE(device.p2pRequests(camPage).size(), 100000);
}

void TestVideoSearch::cancelAllDuringSearch_data()
{
    QTest::addColumn<DeviceType>("device");
    QTest::addColumn<Script>("steps");
    QTest::addColumn<QStringList>("routes"); // all requests, including those of the cancel
    QTest::addColumn<QString>("warning");

    // Outstanding opening replies are in lateOpeningReplyIsClosed.
    QTest::newRow("recorder over http, event page outstanding: handle and session closed")
        << DeviceType::NVR
        << overHttp({ { info, recordInfo(1, 1) },
               { eventSearch, eventReply(100, 0) },
               { eventPage, eventReply(1, 100).hold() } })
        << QStringList { info, eventSearch, eventPage, eventClose, stopBatch } << closeWarning;
    QTest::newRow("recorder over p2p, event page outstanding: handle and session closed")
        << DeviceType::NVR
        << overP2p({ { p2pInfo, p2pInfoReply(1) },
               { p2pEvent, p2pEventReply(100, 0, false) },
               { p2pPage, p2pEventReply(1, 100, false).hold() } })
        << QStringList { p2pInfo, p2pEvent, p2pPage, p2pClose, p2pStop } << closeWarning;
    QTest::newRow("camera over http, page outstanding")
        << DeviceType::IPC << overHttp({ { totalPage, cameraCount(2) }, { filePage, cameraPage({ { 1, 0 } }).hold() } })
        << QStringList { totalPage, filePage } << QStringLiteral("session is not valid, skip");
    QTest::newRow("camera over p2p, page count outstanding")
        << DeviceType::IPC << overP2p({ { camCount, cameraP2pCount(1).hold() } }) << QStringList { camCount }
        << QString();
}

void TestVideoSearch::cancelAllDuringSearch()
{
    QFETCH(DeviceType, device);
    QFETCH(Script, steps);
    QFETCH(QStringList, routes);
    QFETCH(QString, warning);

    auto &fake = FakeDevice::instance();
    TargetDesc target;
    const auto outcome = run(device, steps, RecordVideoType::All, &target);
    QVERIFY(fake.waitIdle());
    QCOMPARE(fake.heldCount(), 1);

    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    manager->cancelAllRecordSearching();
    QVERIFY(manager->d_func()->operations.isEmpty());
    QVERIFY(!manager->d_func()->isOperationAlive(target));

    // The late reply finds the operation gone: no callback, nothing more sent.
    fake.releaseHeld();
    QVERIFY(fake.waitIdle());
    QCOMPARE(outcome->calls, 0);
    QCOMPARE(fake.routes(), routes);
}

void TestVideoSearch::lateOpeningReplyIsClosed_data()
{
    QTest::addColumn<Script>("steps");
    QTest::addColumn<QStringList>("routes"); // all requests, including the cancel's and the late close
    QTest::addColumn<Query>("httpClose"); // the last request, when the late reply is closed over HTTP
    QTest::addColumn<QJsonObject>("p2pClose"); // the same over P2P

    const Query stop { { "action"_q, stopBatch }, { "cnt"_q, "1"_q }, { "sid[0]"_q, "7"_q }, { "close"_q, "1"_q } };
    const Query close { { "action"_q, eventClose }, { "sid"_q, "31"_q } };
    const QJsonObject none;

    QTest::newRow("http record info opened the playback session: stopped")
        << overHttp({ { info, recordInfo(1, 1).hold() } }) << QStringList { info, stopBatch } << stop << none;
    // The cancel stops the stored playback session; the late reply's event search is closed after.
    QTest::newRow("http event search opened: closed")
        << overHttp({ { info, recordInfo(1, 1) }, { eventSearch, eventReply(3, 0).hold() } })
        << QStringList { info, eventSearch, stopBatch, eventClose } << close << none;
    QTest::newRow("http event search with status 500 opened nothing")
        << overHttp({ { info, recordInfo(1, 1) }, { eventSearch, HttpAnswer::status(500).hold() } })
        << QStringList { info, eventSearch, stopBatch } << Query() << none;

    QTest::newRow("p2p record info opened the playback session: stopped")
        << overP2p({ { p2pInfo, p2pInfoReply(QStringLiteral("2")).hold() } }) << QStringList { p2pInfo, p2pStop }
        << Query() << QJsonObject { { "r.cnt"_q, 1 }, { "r.close"_q, 1 }, { "r.sid[0]"_q, sessionId } };
    QTest::newRow("p2p event search without records is open all the same: closed")
        << overP2p({ { p2pInfo, p2pInfoReply(1) }, { p2pEvent, p2pEventReply(0, 0, false).hold() } })
        << QStringList { p2pInfo, p2pEvent, p2pStop, p2pClose } << Query() << QJsonObject { { "r.sid"_q, "31"_q } };
    QTest::newRow("p2p event search refused with res -1 opened nothing") << overP2p(
        { { p2pInfo, p2pInfoReply(1) }, { p2pEvent, p2pEventReply(3, 0, false, { { "res"_q, "-1"_q } }).hold() } })
                                                                         << QStringList { p2pInfo, p2pEvent, p2pStop }
                                                                         << Query() << none;
}

// A reply that opened something on the recorder and comes after a cancel-all has destroyed the
// operation: what it opened is closed all the same.
void TestVideoSearch::lateOpeningReplyIsClosed()
{
    QFETCH(Script, steps);
    QFETCH(QStringList, routes);
    QFETCH(Query, httpClose);
    QFETCH(QJsonObject, p2pClose);

    auto &fake = FakeDevice::instance();
    const auto outcome = run(DeviceType::NVR, steps);
    QVERIFY(fake.waitIdle());
    QCOMPARE(fake.heldCount(), 1);
    manager->cancelAllRecordSearching();

    if (!httpClose.isEmpty() || !p2pClose.isEmpty())
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("^close handle opened by a late reply: ")));
    fake.releaseHeld();
    QVERIFY(fake.waitIdle());
    QCOMPARE(outcome->calls, 0);
    QCOMPARE(fake.routes(), routes);
    const SentRequest &last = fake.sent().last();
    if (!httpClose.isEmpty()) {
        QCOMPARE(last.http.path, QStringLiteral("/sdk.cgi"));
        QCOMPARE(last.http.query, httpClose);
    }
    if (!p2pClose.isEmpty())
        QCOMPARE(last.p2p.request, p2pClose);
}

QTEST_GUILESS_MAIN(TestVideoSearch)

#include "tst_video_search.moc"
