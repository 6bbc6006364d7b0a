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
struct HttpScript {
    QVector<HttpStep> steps;
};

struct P2pStep {
    QString route;
    P2pAnswer answer;
};
struct P2pScript {
    QVector<P2pStep> steps;
};

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

// Record n of a search starts n minutes into the span and lasts 30 seconds, so the order of the
// delivered records shows whether pages were joined in order.
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
    return HttpAnswer::body(kv({ { QStringLiteral("cnt"), count },
        { QStringLiteral("allCnt"), allCount },
        { QStringLiteral("sid"), sessionId } }));
}

HttpAnswer countOnly(int count)
{
    return HttpAnswer::body(kv({ { QStringLiteral("cnt"), count } }));
}

// An event reply of `count` records, numbered from `first`.
HttpAnswer eventReply(int count, int first)
{
    QList<QPair<QString, QVariant>> pairs { { QStringLiteral("cnt"), count }, { QStringLiteral("sid"), eventHandle } };
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
    QJsonObject reply { { QStringLiteral("allCnt"), 500 }, { QStringLiteral("sid"), sessionId } };
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

// A camera HTTP page of files (type, n).
HttpAnswer cameraPage(std::initializer_list<std::pair<int, int>> files)
{
    QString list;
    for (const auto &file : files)
        list += cameraFile(file.first, file.second) + QLatin1Char(';');
    return HttpAnswer::body(okLines({ { QStringLiteral("pbfilepageindex"), list } }));
}

P2pAnswer cameraP2pPage(std::initializer_list<std::pair<int, int>> files)
{
    QJsonArray list;
    for (const auto &file : files)
        list.append(cameraFile(file.first, file.second));
    return P2pAnswer::object({ { QStringLiteral("file_list"), list } });
}

P2pAnswer cameraP2pCount(const QJsonValue &count)
{
    return P2pAnswer::object({ { QStringLiteral("total_page"), count } });
}

QStringList pageValues(const QVector<HttpRequest> &requests, const QString &key)
{
    QStringList values;
    for (const HttpRequest &request : requests)
        values << request.value(key);
    return values;
}

QStringList numbersFrom(int first, int count)
{
    QStringList numbers;
    for (int i = 0; i < count; ++i)
        numbers << QString::number(first + i);
    return numbers;
}

QVector<int> pagesFrom(int first, int count)
{
    QVector<int> pages;
    for (int i = 0; i < count; ++i)
        pages << first + i;
    return pages;
}

QVector<int> p2pPages(const QVector<P2pRequest> &requests, const QString &key)
{
    QVector<int> pages;
    for (const P2pRequest &request : requests)
        pages << request.request.value(key).toInt(-1);
    return pages;
}

} // namespace

Q_DECLARE_METATYPE(lydevice::DeviceType)
Q_DECLARE_METATYPE(lydevice::TransportType)
Q_DECLARE_METATYPE(HttpScript)
Q_DECLARE_METATYPE(P2pScript)

class TestVideoSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void recorderHttpFlow_data();
    void recorderHttpFlow();
    void recorderHttpRequests();
    void recorderP2pFlow_data();
    void recorderP2pFlow();
    void recorderP2pRequests();
    void recorderWithoutChannelFailsLater_data();
    void recorderWithoutChannelFailsLater();
    void secondSearchClosesThePlaybackSessionFirst_data();
    void secondSearchClosesThePlaybackSessionFirst();

    void cameraHttpFlow_data();
    void cameraHttpFlow();
    void cameraP2pFlow_data();
    void cameraP2pFlow();
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
    void script(const HttpScript &steps);
    void script(const P2pScript &steps);
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

void TestVideoSearch::script(const HttpScript &steps)
{
    for (const HttpStep &step : steps.steps)
        FakeDevice::instance().http(step.route, step.answer);
}

void TestVideoSearch::script(const P2pScript &steps)
{
    for (const P2pStep &step : steps.steps)
        FakeDevice::instance().p2p(step.route, step.answer);
}

RecorderSession TestVideoSearch::storedSession(const TargetDesc &target) const
{
    const QVariant session = manager->d_func()->context(target).session;
    return session.isValid() ? session.value<RecorderSession>() : RecorderSession { -1, -1 };
}

void TestVideoSearch::recorderHttpFlow_data()
{
    QTest::addColumn<HttpScript>("steps");
    QTest::addColumn<QStringList>("routes");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("sessionStored");
    QTest::addColumn<QString>("warning");

    // Record-info paging: only the counts matter, and only reaching exactly 0 ends it.
    QTest::newRow("cnt equal to allCnt goes straight to the event search")
        << HttpScript { { { info, recordInfo(5, 5) }, { eventSearch, eventReply(3, 0) } } }
        << QStringList { info, eventSearch, eventClose } << sessionId << 3 << true << QString();
    QTest::newRow("allCnt 250 in replies of 100, 100, 50 reads record-info pages 2 and 3")
        << HttpScript { { { info, recordInfo(100, 250) },
               { infoPage, countOnly(100) },
               { infoPage, countOnly(50) },
               { eventSearch, eventReply(99, 0) } } }
        << QStringList { info, infoPage, infoPage, eventSearch, eventClose } << sessionId << 99 << true << QString();
    QTest::newRow("missing allCnt runs below zero until an empty page fails")
        << HttpScript { { { info, HttpAnswer::body(kv({ { "cnt"_q, 50 }, { "sid"_q, sessionId } })) },
               { infoPage, countOnly(20) },
               { infoPage, countOnly(0) } } }
        << QStringList { info, infoPage, infoPage } << -1 << 0 << true << QString();
    QTest::newRow("empty record info fails before a session exists")
        << HttpScript { { { info, recordInfo(0, 0) } } } << QStringList { info } << -1 << 0 << false << QString();

    // Event paging: a reply of 100 or more asks for the next page; any shorter one ends it.
    QTest::newRow("99 records close at once")
        << HttpScript { { { info, recordInfo(1, 1) }, { eventSearch, eventReply(99, 0) } } }
        << QStringList { info, eventSearch, eventClose } << sessionId << 99 << true << QString();
    QTest::newRow("exactly 100 records ask for page 2, an empty page 2 ends it")
        << HttpScript { { { info, recordInfo(1, 1) },
               { eventSearch, eventReply(100, 0) },
               { eventPage, eventReply(0, 100) } } }
        << QStringList { info, eventSearch, eventPage, eventClose } << sessionId << 100 << true << QString();
    QTest::newRow("full pages go on until a short one, joined in order") << HttpScript { { { info, recordInfo(1, 1) },
        { eventSearch, eventReply(100, 0) },
        { eventPage, eventReply(100, 100) },
        { eventPage, eventReply(42, 200) } } } << QStringList { info, eventSearch, eventPage, eventPage, eventClose }
                                                                         << sessionId << 242 << true << QString();
    QTest::newRow("empty first event reply fails and closes nothing")
        << HttpScript { { { info, recordInfo(1, 1) }, { eventSearch, eventReply(0, 0) } } }
        << QStringList { info, eventSearch } << -1 << 0 << true << QString();
    QTest::newRow("a count beyond the per-reply cap is cut")
        << HttpScript { { { info, recordInfo(1, 1) }, { eventSearch, countOnly(20000) }, { eventPage, countOnly(0) } } }
        << QStringList { info, eventSearch, eventPage, eventClose } << sessionId << 10000 << true << QString();

    // Every step fails on a transport failure or a status other than 200.
    QTest::newRow("transport failure at record info")
        << HttpScript { { { info, HttpAnswer::failure() } } } << QStringList { info } << -1 << 0 << false << QString();
    QTest::newRow("status 404 at a record-info page") << HttpScript { { { info, recordInfo(100, 200) },
        { infoPage, HttpAnswer::status(404, kv({ { "cnt"_q, 100 } })) } } }
                                                      << QStringList { info, infoPage } << -1 << 0 << true << QString();
    QTest::newRow("transport failure at the event search")
        << HttpScript { { { info, recordInfo(1, 1) }, { eventSearch, HttpAnswer::failure() } } }
        << QStringList { info, eventSearch } << -1 << 0 << true << QString();
    QTest::newRow("status 500 at an event page: the destructor closes the handle")
        << HttpScript { { { info, recordInfo(1, 1) },
               { eventSearch, eventReply(100, 0) },
               { eventPage, HttpAnswer::status(500) } } }
        << QStringList { info, eventSearch, eventPage, eventClose } << -1 << 0 << true
        << QStringLiteral("close event handle:  31");
}

void TestVideoSearch::recorderHttpFlow()
{
    QFETCH(HttpScript, steps);
    QFETCH(QStringList, routes);
    QFETCH(int, code);
    QFETCH(int, records);
    QFETCH(bool, sessionStored);
    QFETCH(QString, warning);

    auto &device = FakeDevice::instance();
    script(steps);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    const TargetDesc target = newTarget(DeviceType::NVR, TransportType::Ip);
    const auto outcome = search(target);
    QVERIFY(device.waitIdle());

    QCOMPARE(device.routes(), routes);
    QCOMPARE(outcome->calls, 1);
    QCOMPARE(outcome->code, code);
    QCOMPARE(outcome->records.size(), records);
    QVERIFY(manager->d_func()->operations.isEmpty());
    QCOMPARE(storedSession(target).sid, sessionStored ? sessionId : -1);
    // Pages are asked for from 2 on, one after another.
    QCOMPARE(pageValues(device.httpRequests(infoPage), QStringLiteral("page")),
        numbersFrom(2, device.httpRequests(infoPage).size()));
    QCOMPARE(pageValues(device.httpRequests(eventPage), QStringLiteral("page")),
        numbersFrom(2, device.httpRequests(eventPage).size()));
    if (records == 10000)
        return; // the capped reply carries counts only
    for (int n = 0; n < outcome->records.size(); ++n)
        QCOMPARE(outcome->records.at(n).toHash().value(QStringLiteral("start")).toDateTime(), recordStart(n));
}

void TestVideoSearch::recorderHttpRequests()
{
    auto &device = FakeDevice::instance();
    script(HttpScript { { { info, recordInfo(100, 101) },
        { infoPage, countOnly(1) },
        { eventSearch, eventReply(100, 0) },
        { eventPage, eventReply(2, 100) } } });
    const TargetDesc target = newTarget(DeviceType::NVR, TransportType::Ip);
    QTest::ignoreMessage(QtWarningMsg, "nvr playback session created. session:  7");
    // Channel 70 cannot be in the mask; the mask is still 64 characters.
    const auto outcome = search(target, { 3, 0, 70 }, RecordVideoType::Motion, StreamType::Sub);
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
    const QString mask = QStringLiteral("1001") + QString(60, u'0');
    QCOMPARE(requests.at(2).query,
        (Pairs { { "action"_q, eventSearch },
            { "chnmaskl"_q, mask },
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

    QCOMPARE(outcome->code, sessionId);
    QCOMPARE(outcome->records.size(), 102);
    const QVariantHash last = outcome->records.last().toHash();
    QCOMPARE(last.value(QStringLiteral("type")), QVariant(101 % 8));
    QCOMPARE(last.value(QStringLiteral("start")).toDateTime(), recordStart(101));
    QCOMPARE(last.value(QStringLiteral("end")).toDateTime(), recordStart(101).addSecs(30));
    QCOMPARE(storedSession(target).recordType, int(RecordKind::Video));
}

void TestVideoSearch::recorderP2pFlow_data()
{
    QTest::addColumn<P2pScript>("steps");
    QTest::addColumn<QStringList>("routes");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("records");
    QTest::addColumn<QJsonValue>("closedHandle"); // undefined: no close sent
    QTest::addColumn<QString>("warning");

    const QJsonValue none(QJsonValue::Undefined);
    const QJsonValue text(QStringLiteral("31"));
    const QJsonValue number(eventHandle);
    const QJsonObject refused { { QStringLiteral("res"), QStringLiteral("-1") } };

    QTest::newRow("allCnt above cnt still goes straight to the event search")
        << P2pScript { { { p2pInfo, p2pInfoReply(10) }, { p2pEvent, p2pEventReply(3, 0, false) } } }
        << QStringList { p2pInfo, p2pEvent, p2pClose } << sessionId << 3 << text << QString();
    QTest::newRow("record-info cnt 0 fails")
        << P2pScript { { { p2pInfo, p2pInfoReply(0) } } } << QStringList { p2pInfo } << -1 << 0 << none << QString();
    QTest::newRow("record-info without cnt fails") << P2pScript { { { p2pInfo, p2pInfoReply(QJsonValue::Undefined) } } }
                                                   << QStringList { p2pInfo } << -1 << 0 << none << QString();
    QTest::newRow("record-info cnt with a fraction reads 0 and fails")
        << P2pScript { { { p2pInfo, p2pInfoReply(2.5) } } } << QStringList { p2pInfo } << -1 << 0 << none << QString();

    // Counts come as strings or numbers; 100 records ask for page 2. The close after a page
    // carries the handle as a number, after the first reply as a string.
    QTest::newRow("counts as strings page on")
        << P2pScript { { { p2pInfo, p2pInfoReply(QStringLiteral("10")) },
               { p2pEvent, p2pEventReply(100, 0, true) },
               { p2pPage, p2pEventReply(0, 100, true) } } }
        << QStringList { p2pInfo, p2pEvent, p2pPage, p2pClose } << sessionId << 100 << number << QString();
    QTest::newRow("counts as numbers page on")
        << P2pScript { { { p2pInfo, p2pInfoReply(10) },
               { p2pEvent, p2pEventReply(100, 0, false) },
               { p2pPage, p2pEventReply(100, 100, false) },
               { p2pPage, p2pEventReply(5, 200, false) } } }
        << QStringList { p2pInfo, p2pEvent, p2pPage, p2pPage, p2pClose } << sessionId << 205 << number << QString();
    QTest::newRow("empty first event reply succeeds and closes its handle")
        << P2pScript { { { p2pInfo, p2pInfoReply(10) }, { p2pEvent, p2pEventReply(0, 0, false) } } }
        << QStringList { p2pInfo, p2pEvent, p2pClose } << sessionId << 0 << text << QString();

    // "res" = "-1" refuses the first event reply, whatever it carries.
    QTest::newRow("res -1 fails despite records")
        << P2pScript { { { p2pInfo, p2pInfoReply(10) }, { p2pEvent, p2pEventReply(3, 0, false, refused) } } }
        << QStringList { p2pInfo, p2pEvent } << -1 << 0 << none << QString();
    QTest::newRow("res -1 as a number fails too") << P2pScript { { { p2pInfo, p2pInfoReply(10) },
        { p2pEvent, p2pEventReply(3, 0, false, { { QStringLiteral("res"), -1 } }) } } }
                                                  << QStringList { p2pInfo, p2pEvent } << -1 << 0 << none << QString();
    QTest::newRow("res of another value is ignored")
        << P2pScript { { { p2pInfo, p2pInfoReply(10) },
               { p2pEvent, p2pEventReply(3, 0, false, { { QStringLiteral("res"), QStringLiteral("0") } }) } } }
        << QStringList { p2pInfo, p2pEvent, p2pClose } << sessionId << 3 << text << QString();
    QTest::newRow("res -1 on a page is not checked")
        << P2pScript { { { p2pInfo, p2pInfoReply(10) },
               { p2pEvent, p2pEventReply(100, 0, false) },
               { p2pPage, p2pEventReply(1, 100, false, refused) } } }
        << QStringList { p2pInfo, p2pEvent, p2pPage, p2pClose } << sessionId << 101 << number << QString();

    QTest::newRow("transport failure at record info") << P2pScript { { { p2pInfo, P2pAnswer::failure() } } }
                                                      << QStringList { p2pInfo } << -1 << 0 << none << QString();
    QTest::newRow("transport failure at the event search")
        << P2pScript { { { p2pInfo, p2pInfoReply(10) }, { p2pEvent, P2pAnswer::failure() } } }
        << QStringList { p2pInfo, p2pEvent } << -1 << 0 << none << QString();
    QTest::newRow("transport failure at a page: the destructor closes the handle as a string")
        << P2pScript { { { p2pInfo, p2pInfoReply(10) },
               { p2pEvent, p2pEventReply(100, 0, false) },
               { p2pPage, P2pAnswer::failure() } } }
        << QStringList { p2pInfo, p2pEvent, p2pPage, p2pClose } << -1 << 0 << text
        << QStringLiteral("close event handle:  31");
}

void TestVideoSearch::recorderP2pFlow()
{
    QFETCH(P2pScript, steps);
    QFETCH(QStringList, routes);
    QFETCH(int, code);
    QFETCH(int, records);
    QFETCH(QJsonValue, closedHandle);
    QFETCH(QString, warning);

    auto &device = FakeDevice::instance();
    script(steps);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    const TargetDesc target = newTarget(DeviceType::NVR, TransportType::P2p);
    const auto outcome = search(target);
    QVERIFY(device.waitIdle());

    QCOMPARE(device.routes(), routes);
    QCOMPARE(outcome->calls, 1);
    QCOMPARE(outcome->code, code);
    QCOMPARE(outcome->records.size(), records);
    QVERIFY(manager->d_func()->operations.isEmpty());
    const QVector<P2pRequest> closes = device.p2pRequests(p2pClose);
    QCOMPARE(closes.size(), closedHandle.isUndefined() ? 0 : 1);
    if (!closes.isEmpty())
        QCOMPARE(closes.first().request, QJsonObject({ { QStringLiteral("r.sid"), closedHandle } }));
    const QVector<P2pRequest> pages = device.p2pRequests(p2pPage);
    QCOMPARE(p2pPages(pages, QStringLiteral("r.page")), pagesFrom(2, pages.size()));
    for (const P2pRequest &page : pages)
        QCOMPARE(page.request.value(QStringLiteral("r.sid")), QJsonValue(QStringLiteral("31")));
    for (int n = 0; n < outcome->records.size(); ++n) {
        const QVariantHash record = outcome->records.at(n).toHash();
        QCOMPARE(record.value(QStringLiteral("type")), QVariant(n % 8));
        QCOMPARE(record.value(QStringLiteral("start")).toDateTime(), recordStart(n));
    }
}

void TestVideoSearch::recorderP2pRequests()
{
    auto &device = FakeDevice::instance();
    script(P2pScript { { { p2pInfo, p2pInfoReply(10) },
        { p2pEvent, p2pEventReply(100, 0, false) },
        { p2pPage, p2pEventReply(0, 100, false) } } });
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
    QCOMPARE(storedSession(target).sid, sessionId);
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

    const auto outcome = search(newTarget(DeviceType::NVR, transport), {});
    QCOMPARE(outcome->calls, 0); // never from inside the call
    QTRY_COMPARE(outcome->calls, 1);
    QCOMPARE(outcome->code, -1);
    QVERIFY(outcome->records.isEmpty());
    QVERIFY(FakeDevice::instance().sent().isEmpty());
    QVERIFY(manager->d_func()->operations.isEmpty());
    QVERIFY(!manager->d_func()->isOperationAlive(newTarget(DeviceType::NVR, transport)));
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
    if (transport == TransportType::Ip) {
        QCOMPARE(device.httpRequests(stopBatch).first().value(QStringLiteral("sid[0]")), QStringLiteral("7"));
    } else {
        QCOMPARE(device.p2pRequests(p2pStop).first().request.value(QStringLiteral("r.sid[0]")), QJsonValue(sessionId));
    }
    QCOMPARE(second->calls, 1);
    QCOMPARE(second->code, -1); // nothing scripted for it
}

void TestVideoSearch::cameraHttpFlow_data()
{
    QTest::addColumn<RecordVideoType>("type");
    QTest::addColumn<HttpScript>("steps");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<int>("code");
    QTest::addColumn<QVector<int>>("kept"); // numbers of the records delivered, in order

    const auto count = [](const QVariant &pages) {
        return HttpAnswer::body(okLines({ { QStringLiteral("pbfiletotalpage"), pages } }));
    };

    QTest::newRow("no pages is an empty success") << RecordVideoType::All << HttpScript { { { totalPage, count(0) } } }
                                                  << QStringLiteral("35") << QStringList() << 0 << QVector<int>();
    QTest::newRow("all pages in order, filtered at the end: type 0 keeps type 1")
        << RecordVideoType::All
        << HttpScript { { { totalPage, count(3) },
               { filePage, cameraPage({ { 1, 0 }, { 2, 1 } }) },
               { filePage, cameraPage({ { 1, 2 }, { 1, 3 } }) },
               { filePage, cameraPage({ { 5, 4 }, { 1, 5 } }) } } }
        << QStringLiteral("35") << QStringList { "1"_q, "2"_q, "3"_q } << 0 << QVector<int> { 0, 2, 3, 5 };
    QTest::newRow("type outside 0 to 5 asks with 484 and keeps type 0")
        << RecordVideoType(9)
        << HttpScript { { { totalPage, count(1) }, { filePage, cameraPage({ { 0, 0 }, { 1, 1 }, { 0, 2 } }) } } }
        << QStringLiteral("484") << QStringList { "1"_q } << 0 << QVector<int> { 0, 2 };
    QTest::newRow("motion keeps type 6") << RecordVideoType::Motion
                                         << HttpScript { { { totalPage, count(1) },
                                                { filePage, cameraPage({ { 6, 0 }, { 1, 1 } }) } } }
                                         << QStringLiteral("128") << QStringList { "1"_q } << 0 << QVector<int> { 0 };
    QTest::newRow("negative page count reads page 1 only")
        << RecordVideoType::All << HttpScript { { { totalPage, count(-4) }, { filePage, cameraPage({ { 1, 0 } }) } } }
        << QStringLiteral("35") << QStringList { "1"_q } << 0 << QVector<int> { 0 };
    QTest::newRow("page count with a fraction is truncated")
        << RecordVideoType::All
        << HttpScript { { { totalPage, count(QStringLiteral("2.9")) },
               { filePage, cameraPage({ { 1, 0 } }) },
               { filePage, cameraPage({ { 1, 1 } }) } } }
        << QStringLiteral("35") << QStringList { "1"_q, "2"_q } << 0 << QVector<int> { 0, 1 };
    QTest::newRow("reply without OK lines reads as no pages")
        << RecordVideoType::All << HttpScript { { { totalPage, HttpAnswer::body("pbfiletotalpage=3\r\n") } } }
        << QStringLiteral("35") << QStringList() << 0 << QVector<int>();
    QTest::newRow("page without a file list adds nothing and the search goes on")
        << RecordVideoType::All
        << HttpScript { { { totalPage, count(3) },
               { filePage, HttpAnswer::body(okLines({ { QStringLiteral("other"), 1 } })) },
               { filePage, HttpAnswer::body(okLines({ { QStringLiteral("pbfilepageindex"), QString() } })) },
               { filePage, cameraPage({ { 1, 2 } }) } } }
        << QStringLiteral("35") << QStringList { "1"_q, "2"_q, "3"_q } << 0 << QVector<int> { 2 };

    QTest::newRow("transport failure at the page count")
        << RecordVideoType::All << HttpScript { { { totalPage, HttpAnswer::failure() } } } << QStringLiteral("35")
        << QStringList() << -1 << QVector<int>();
    QTest::newRow("status 500 at page 2")
        << RecordVideoType::All
        << HttpScript { { { totalPage, count(3) },
               { filePage, cameraPage({ { 1, 0 } }) },
               { filePage, HttpAnswer::status(500) } } }
        << QStringLiteral("35") << QStringList { "1"_q, "2"_q } << -1 << QVector<int>();
}

void TestVideoSearch::cameraHttpFlow()
{
    QFETCH(RecordVideoType, type);
    QFETCH(HttpScript, steps);
    QFETCH(QString, mask);
    QFETCH(QStringList, pages);
    QFETCH(int, code);
    QFETCH(QVector<int>, kept);

    auto &device = FakeDevice::instance();
    script(steps);
    const auto outcome = search(newTarget(DeviceType::IPC, TransportType::Ip), { 0 }, type);
    QVERIFY(device.waitIdle());

    QCOMPARE(device.httpRequests(totalPage).size(), 1);
    QCOMPARE(device.httpRequests(totalPage).first().value(totalPage), mask);
    QCOMPARE(pageValues(device.httpRequests(filePage), filePage), pages);
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

void TestVideoSearch::cameraP2pFlow_data()
{
    QTest::addColumn<RecordVideoType>("type");
    QTest::addColumn<P2pScript>("steps");
    QTest::addColumn<QVector<int>>("pages");
    QTest::addColumn<int>("code");
    QTest::addColumn<QVector<int>>("kept");

    // Over P2P an empty or unreadable page count is a failure.
    QTest::newRow("total_page 0 fails") << RecordVideoType::All << P2pScript { { { camCount, cameraP2pCount(0) } } }
                                        << QVector<int>() << -1 << QVector<int>();
    QTest::newRow("missing total_page fails")
        << RecordVideoType::All << P2pScript { { { camCount, P2pAnswer::object({}) } } } << QVector<int>() << -1
        << QVector<int>();
    QTest::newRow("total_page as a string fails")
        << RecordVideoType::All << P2pScript { { { camCount, cameraP2pCount(QStringLiteral("2")) } } } << QVector<int>()
        << -1 << QVector<int>();
    QTest::newRow("total_page with a fraction fails")
        << RecordVideoType::All << P2pScript { { { camCount, cameraP2pCount(1.5) } } } << QVector<int>() << -1
        << QVector<int>();

    QTest::newRow("two pages in order, the requested type filtered at the end")
        << RecordVideoType::Alarm
        << P2pScript { { { camCount, cameraP2pCount(2) },
               { camPage, cameraP2pPage({ { 5, 0 }, { 1, 1 } }) },
               { camPage, cameraP2pPage({ { 5, 2 } }) } } }
        << QVector<int> { 1, 2 } << 0 << QVector<int> { 0, 2 };
    QTest::newRow("negative page count reads page 1 only")
        << RecordVideoType::All
        << P2pScript { { { camCount, cameraP2pCount(-1) }, { camPage, cameraP2pPage({ { 1, 0 } }) } } }
        << QVector<int> { 1 } << 0 << QVector<int> { 0 };
    QTest::newRow("page without file_list adds nothing and the search goes on")
        << RecordVideoType::General
        << P2pScript { { { camCount, cameraP2pCount(2) },
               { camPage, P2pAnswer::object({}) },
               { camPage, cameraP2pPage({ { 2, 1 } }) } } }
        << QVector<int> { 1, 2 } << 0 << QVector<int> { 1 };
    QTest::newRow("transport failure at page 2") << RecordVideoType::All
                                                 << P2pScript { { { camCount, cameraP2pCount(2) },
                                                        { camPage, cameraP2pPage({ { 1, 0 } }) },
                                                        { camPage, P2pAnswer::failure() } } }
                                                 << QVector<int> { 1, 2 } << -1 << QVector<int>();
}

void TestVideoSearch::cameraP2pFlow()
{
    QFETCH(RecordVideoType, type);
    QFETCH(P2pScript, steps);
    QFETCH(QVector<int>, pages);
    QFETCH(int, code);
    QFETCH(QVector<int>, kept);

    auto &device = FakeDevice::instance();
    script(steps);
    const auto outcome = search(newTarget(DeviceType::IPC, TransportType::P2p), { 0 }, type);
    QVERIFY(device.waitIdle());

    QCOMPARE(device.p2pRequests(camCount).size(), 1);
    const QVector<P2pRequest> pageRequests = device.p2pRequests(camPage);
    QCOMPARE(p2pPages(pageRequests, QStringLiteral("page")), pages);
    for (const P2pRequest &request : pageRequests) // the camera is asked for every type
        QCOMPARE(request.request.value(QStringLiteral("type")), QJsonValue(0));
    QCOMPARE(outcome->calls, 1);
    QCOMPARE(outcome->code, code);
    QCOMPARE(outcome->records.size(), kept.size());
    for (int i = 0; i < kept.size(); ++i) {
        const QVariantHash record = outcome->records.at(i).toHash();
        QCOMPARE(record.value(QStringLiteral("start")).toDateTime(), recordStart(kept.at(i)));
    }
    QVERIFY(manager->d_func()->operations.isEmpty());
}

void TestVideoSearch::cameraRequests()
{
    auto &device = FakeDevice::instance();
    device.http(totalPage, HttpAnswer::body(okLines({ { QStringLiteral("pbfiletotalpage"), 1 } })));
    device.http(filePage, cameraPage({}));
    device.p2p(camCount, cameraP2pCount(1));
    device.p2p(camPage, cameraP2pPage({}));
    const TargetDesc http = newTarget(DeviceType::IPC, TransportType::Ip);
    TargetDesc p2p = newTarget(DeviceType::IPC, TransportType::P2p);
    p2p.handle = 0x900000009ull;
    search(http, { 0 }, RecordVideoType::Smart);
    search(p2p, { 0 }, RecordVideoType::Smart);
    QVERIFY(device.waitIdle());

    using Pairs = QVector<QPair<QString, QString>>;
    const QVector<HttpRequest> requests = device.httpRequests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).path, QStringLiteral("/vb.htm"));
    QCOMPARE(requests.at(0).target, http.handle);
    QCOMPARE(requests.at(0).query,
        (Pairs { { "PBStartTimePos"_q, "20240305070809"_q },
            { "PBEndTimePos"_q, "20240306230001"_q },
            { "PBFileTotalPage"_q, "256"_q } }));
    QCOMPARE(requests.at(1).query,
        (Pairs { { "PBStartTimePos"_q, "20240305070809"_q },
            { "PBEndTimePos"_q, "20240306230001"_q },
            { "PBFilePageIndex"_q, "1"_q } }));

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
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<HttpScript>("httpSteps");
    QTest::addColumn<P2pScript>("p2pSteps");
    QTest::addColumn<QStringList>("routes"); // all requests, including those of the cancel
    QTest::addColumn<QString>("warning");

    // Outstanding opening replies are in lateOpeningReplyIsClosed.
    QTest::newRow("recorder over http, event page outstanding: handle and session closed")
        << DeviceType::NVR << TransportType::Ip
        << HttpScript { { { info, recordInfo(1, 1) },
               { eventSearch, eventReply(100, 0) },
               { eventPage, eventReply(1, 100).hold() } } }
        << P2pScript() << QStringList { info, eventSearch, eventPage, eventClose, stopBatch }
        << QStringLiteral("close event handle:  31");
    QTest::newRow("recorder over p2p, event page outstanding: handle and session closed")
        << DeviceType::NVR << TransportType::P2p << HttpScript()
        << P2pScript { { { p2pInfo, p2pInfoReply(1) },
               { p2pEvent, p2pEventReply(100, 0, false) },
               { p2pPage, p2pEventReply(1, 100, false).hold() } } }
        << QStringList { p2pInfo, p2pEvent, p2pPage, p2pClose, p2pStop } << QStringLiteral("close event handle:  31");
    QTest::newRow("camera over http, page outstanding")
        << DeviceType::IPC << TransportType::Ip
        << HttpScript { { { totalPage, HttpAnswer::body(okLines({ { QStringLiteral("pbfiletotalpage"), 2 } })) },
               { filePage, cameraPage({ { 1, 0 } }).hold() } } }
        << P2pScript() << QStringList { totalPage, filePage } << QStringLiteral("session is not valid, skip");
    QTest::newRow("camera over p2p, page count outstanding")
        << DeviceType::IPC << TransportType::P2p << HttpScript()
        << P2pScript { { { camCount, cameraP2pCount(1).hold() } } } << QStringList { camCount } << QString();
}

void TestVideoSearch::cancelAllDuringSearch()
{
    QFETCH(DeviceType, device);
    QFETCH(TransportType, transport);
    QFETCH(HttpScript, httpSteps);
    QFETCH(P2pScript, p2pSteps);
    QFETCH(QStringList, routes);
    QFETCH(QString, warning);

    auto &fake = FakeDevice::instance();
    script(httpSteps);
    script(p2pSteps);
    const TargetDesc target = newTarget(device, transport);
    const auto outcome = search(target);
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
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<HttpScript>("httpSteps");
    QTest::addColumn<P2pScript>("p2pSteps");
    QTest::addColumn<QStringList>("routes"); // all requests, including the cancel's and the late close
    QTest::addColumn<Query>("httpClose"); // the last request, when the late reply is closed over HTTP
    QTest::addColumn<QJsonObject>("p2pClose"); // the same over P2P

    const Query stop { { "action"_q, stopBatch }, { "cnt"_q, "1"_q }, { "sid[0]"_q, "7"_q }, { "close"_q, "1"_q } };
    const Query close { { "action"_q, eventClose }, { "sid"_q, "31"_q } };
    const QJsonObject none;

    QTest::newRow("http record info opened the playback session: stopped")
        << TransportType::Ip << HttpScript { { { info, recordInfo(1, 1).hold() } } } << P2pScript()
        << QStringList { info, stopBatch } << stop << none;
    QTest::newRow("http record info with cnt 0 opened nothing")
        << TransportType::Ip << HttpScript { { { info, recordInfo(0, 0).hold() } } } << P2pScript()
        << QStringList { info } << Query() << none;
    // The cancel stops the stored playback session; the late reply's event search is closed after.
    QTest::newRow("http event search opened: closed")
        << TransportType::Ip << HttpScript { { { info, recordInfo(1, 1) }, { eventSearch, eventReply(3, 0).hold() } } }
        << P2pScript() << QStringList { info, eventSearch, stopBatch, eventClose } << close << none;
    QTest::newRow("http event search with status 500 opened nothing")
        << TransportType::Ip
        << HttpScript { { { info, recordInfo(1, 1) }, { eventSearch, HttpAnswer::status(500).hold() } } } << P2pScript()
        << QStringList { info, eventSearch, stopBatch } << Query() << none;

    QTest::newRow("p2p record info opened the playback session: stopped")
        << TransportType::P2p << HttpScript() << P2pScript { { { p2pInfo, p2pInfoReply(QStringLiteral("2")).hold() } } }
        << QStringList { p2pInfo, p2pStop } << Query()
        << QJsonObject { { "r.cnt"_q, 1 }, { "r.close"_q, 1 }, { "r.sid[0]"_q, sessionId } };
    QTest::newRow("p2p record info failure opened nothing")
        << TransportType::P2p << HttpScript() << P2pScript { { { p2pInfo, P2pAnswer::failure().hold() } } }
        << QStringList { p2pInfo } << Query() << none;
    QTest::newRow("p2p event search without records is open all the same: closed")
        << TransportType::P2p << HttpScript()
        << P2pScript { { { p2pInfo, p2pInfoReply(1) }, { p2pEvent, p2pEventReply(0, 0, false).hold() } } }
        << QStringList { p2pInfo, p2pEvent, p2pStop, p2pClose } << Query() << QJsonObject { { "r.sid"_q, "31"_q } };
    QTest::newRow("p2p event search refused with res -1 opened nothing")
        << TransportType::P2p << HttpScript()
        << P2pScript { { { p2pInfo, p2pInfoReply(1) },
               { p2pEvent, p2pEventReply(3, 0, false, { { "res"_q, "-1"_q } }).hold() } } }
        << QStringList { p2pInfo, p2pEvent, p2pStop } << Query() << none;
}

// A reply that opened something on the recorder and comes after a cancel-all has destroyed the
// operation: what it opened is closed all the same.
void TestVideoSearch::lateOpeningReplyIsClosed()
{
    QFETCH(TransportType, transport);
    QFETCH(HttpScript, httpSteps);
    QFETCH(P2pScript, p2pSteps);
    QFETCH(QStringList, routes);
    QFETCH(Query, httpClose);
    QFETCH(QJsonObject, p2pClose);

    auto &fake = FakeDevice::instance();
    script(httpSteps);
    script(p2pSteps);
    const auto outcome = search(newTarget(DeviceType::NVR, transport));
    QVERIFY(fake.waitIdle());
    QCOMPARE(fake.heldCount(), 1);
    manager->cancelAllRecordSearching();

    const bool closes = !httpClose.isEmpty() || !p2pClose.isEmpty();
    if (closes)
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
