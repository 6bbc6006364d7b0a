// The recorder readers behind search_video_begin, over HTTP and P2P, driven through the record
// manager against the scripted fake device: the stage sequence and its deliveries, the failure
// of each stage, what the destructor closes in each state, replies that come after the reader is
// gone, and the points where the P2P recorder behaves differently. Also the entry builders.

#include "FakeDevice.h"

#include "manager/RecordManager.h"
#include "reader/RecordReaderNvr.h"
#include "reader/RecorderEntries.h"

#include <lydevice/lydevice.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <algorithm>
#include <climits>
#include <optional>

using namespace lydevice;
using namespace lydevice::test;

namespace
{

// The recorder requests, named by what they do: a test names them in short words.
struct StepRoute {
    const char *word;
    const char *http;
    int p2p;
};
const StepRoute stepRoutes[] = { { "info", "get.playback.recordinfo", 25 },
    { "page", "get.playback.recordinfo_page", 26 },
    { "tags", "get.playback.tags_search_open", 29 },
    { "tagPage", "get.playback.tags_search_page", 31 },
    { "tagClose", "get.playback.tags_search_close", 30 },
    { "event", "get.playback.evt_backup_search", 27 },
    { "eventPage", "get.playback.evt_backup_search_page", 28 },
    { "eventClose", "get.playback.evt_backup_search_close", 18 },
    { "stop", "set.playback.stop_batch", 17 } };

QString route(TransportType transport, const QString &step)
{
    for (const StepRoute &known : stepRoutes) {
        if (step == QLatin1String(known.word))
            return transport == TransportType::Ip ? QString::fromLatin1(known.http)
                                                  : QStringLiteral("nvr:") + QString::number(known.p2p);
    }
    return QString();
}

bool isOpening(const QString &step)
{
    return step == QLatin1String("info") || step == QLatin1String("tags") || step == QLatin1String("event");
}

// One scripted recorder answer. The reply carries `cnt` generated entries; `overrides` replaces
// members of the generated reply (an invalid value removes the member).
struct Answer {
    QString step;
    bool ok = true;
    int status = 200;
    int cnt = 0;
    int total = 0;
    int sid = 0;
    QVariantMap overrides;
    bool held = false;
};

// A script in a few words, one answer per ";"-separated part: the request word ("info", "page",
// "tags", "tagPage", "event", "eventPage"), then cnt/total/sid (or cnt alone), and any of "fail"
// (the transport fails), "http500" (status 500), "held" (kept back until released) and
// member=value (replaces a member of the reply by a number, a "quoted" text, or nothing).
QVector<Answer> parseScript(const QString &script)
{
    QVector<Answer> answers;
    for (const QString &part : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList words = part.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        Answer answer;
        answer.step = words.value(0);
        for (const QString &word : words.mid(1)) {
            if (word == QLatin1String("fail")) {
                answer.ok = false;
            } else if (word == QLatin1String("http500")) {
                answer.status = 500;
            } else if (word == QLatin1String("held")) {
                answer.held = true;
            } else if (word.contains(QLatin1Char('='))) {
                const QString value = word.section(QLatin1Char('='), 1);
                answer.overrides.insert(word.section(QLatin1Char('='), 0, 0),
                    value.isEmpty()                          ? QVariant()
                        : value.startsWith(QLatin1Char('"')) ? QVariant(value.mid(1, value.size() - 2))
                                                             : QVariant(value.toDouble()));
            } else {
                const QStringList counts = word.split(QLatin1Char('/'));
                answer.cnt = counts.value(0).toInt();
                answer.total = counts.value(1).toInt();
                answer.sid = counts.value(2).toInt();
            }
        }
        answers << answer;
    }
    return answers;
}

// Generated entries: record i starts at 07:i:00 and lasts 30 s, with record types cycling through
// 1 (plain), 16 (ANR) and 5 (event); tag i is named "标签 i", percent-encoded as the recorder sends.
const int recordTypes[] = { 1, 16, 5 };

QDateTime at(int hour, int minute, int second)
{
    return QDateTime(QDate(2024, 3, 5), QTime(hour, minute, second));
}

QString deviceTime(int hour, int minute, int second)
{
    return at(hour, minute, second).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString tagName(int i)
{
    return QStringLiteral("标签 ") + QString::number(i);
}

using Members = QList<QPair<QString, QVariant>>;

Members entryMembers(const QString &step, int cnt, TransportType transport)
{
    Members members;
    const auto add = [&](const QString &key, const QVariant &value) { members << qMakePair(key, value); };
    for (int i = 0; i < cnt; ++i) {
        const QString n = QString::number(i);
        if (step.startsWith(QLatin1String("tag"))) {
            add(QStringLiteral("chnid") + n, QString::number(i % 4));
            add(QStringLiteral("id") + n, QString::number(100 + i));
            add(QStringLiteral("index") + n, n);
            add(QStringLiteral("name") + n, QString::fromLatin1(tagName(i).toUtf8().toPercentEncoding()));
            add(QStringLiteral("time") + n, deviceTime(8, 0, i));
        } else if (transport == TransportType::Ip) {
            add(QStringLiteral("startTime") + n, deviceTime(7, i, 0));
            add(QStringLiteral("endTime") + n, deviceTime(7, i, 30));
            add(QStringLiteral("recordType") + n, recordTypes[i % 3]);
        } else {
            const QString prefix = QStringLiteral("r[") + n + QStringLiteral("].");
            add(prefix + QStringLiteral("startTime"), deviceTime(7, i, 0));
            add(prefix + QStringLiteral("endTime"), deviceTime(7, i, 30));
            add(prefix + QStringLiteral("recordType"), QString::number(recordTypes[i % 3]));
        }
    }
    return members;
}

QByteArray httpBody(const Answer &answer)
{
    Members members { { QStringLiteral("cnt"), answer.cnt } };
    if (isOpening(answer.step))
        members << qMakePair(QStringLiteral("allCnt"), QVariant(answer.total))
                << qMakePair(QStringLiteral("sid"), QVariant(answer.sid));
    members << entryMembers(answer.step, answer.cnt, TransportType::Ip);
    for (auto it = answer.overrides.cbegin(); it != answer.overrides.cend(); ++it) {
        const auto same = [&](const QPair<QString, QVariant> &member) { return member.first == it.key(); };
        members.erase(std::remove_if(members.begin(), members.end(), same), members.end());
        if (it.value().isValid())
            members << qMakePair(it.key(), it.value());
    }
    return kv(members);
}

// Over P2P the recorder writes the counts of the openings and the record-info page as decimal
// text and those of the tag and event pages as numbers; the tag search alone writes its handle
// and total as numbers. The event search nests its members under "r.".
QJsonObject p2pReply(const Answer &answer)
{
    const auto value
        = [](int number, bool text) { return text ? QJsonValue(QString::number(number)) : QJsonValue(number); };
    const QString prefix = answer.step.startsWith(QLatin1String("event")) ? QStringLiteral("r.") : QString();
    const bool tags = answer.step == QLatin1String("tags");
    QJsonObject reply { { prefix + QStringLiteral("cnt"),
        value(answer.cnt, isOpening(answer.step) || answer.step == QLatin1String("page")) } };
    if (isOpening(answer.step)) {
        reply.insert(prefix + QStringLiteral("sid"), value(answer.sid, !tags));
        reply.insert(prefix + QStringLiteral("allCnt"), value(answer.total, !tags));
    }
    for (const auto &member : entryMembers(answer.step, answer.cnt, TransportType::P2p))
        reply.insert(member.first, QJsonValue::fromVariant(member.second));
    for (auto it = answer.overrides.cbegin(); it != answer.overrides.cend(); ++it) {
        if (it.value().isValid())
            reply.insert(it.key(), QJsonValue::fromVariant(it.value()));
        else
            reply.remove(it.key());
    }
    return reply;
}

void install(TransportType transport, const QString &script)
{
    FakeDevice &device = FakeDevice::instance();
    for (const Answer &answer : parseScript(script)) {
        if (transport == TransportType::Ip) {
            HttpAnswer http = !answer.ok ? HttpAnswer::failure()
                : answer.status != 200   ? HttpAnswer::status(answer.status)
                                         : HttpAnswer::body(httpBody(answer));
            device.http(route(transport, answer.step), answer.held ? http.hold() : http);
        } else {
            const P2pAnswer p2p = answer.ok ? P2pAnswer::object(p2pReply(answer)) : P2pAnswer::failure();
            device.p2p(route(transport, answer.step), answer.held ? p2p.hold() : p2p);
        }
    }
}

// The requests sent, as step words; a close names the handle it closes ("tagClose:3").
QString describe(TransportType transport, const QVector<SentRequest> &sent)
{
    QStringList words;
    for (const SentRequest &request : sent) {
        QString word = request.route();
        for (const StepRoute &known : stepRoutes) {
            if (route(transport, QLatin1String(known.word)) == request.route())
                word = QLatin1String(known.word);
        }
        const auto closed = [&](const char *httpKey, const char *p2pKey) {
            return transport == TransportType::Ip
                ? request.http.value(QLatin1String(httpKey))
                : request.p2p.request.value(QLatin1String(p2pKey)).toVariant().toString();
        };
        if (word == QLatin1String("tagClose"))
            word += QLatin1Char(':') + closed("sid0", "sid0");
        else if (word == QLatin1String("eventClose"))
            word += QLatin1Char(':') + closed("sid", "r.sid");
        else if (word == QLatin1String("stop"))
            word += QLatin1Char(':') + closed("sid[0]", "r.sid[0]");
        words << word;
    }
    return words.join(QLatin1Char(' '));
}

// The warnings that closing logs, derived from the described closes: the tag close is logged
// over HTTP only.
QStringList closeWarnings(TransportType transport, const QString &closes)
{
    QStringList warnings;
    for (const QString &close : closes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString handle = close.section(QLatin1Char(':'), 1);
        if (close.startsWith(QLatin1String("tagClose")) && transport == TransportType::Ip)
            warnings << QStringLiteral("close tag handle:  ") + handle;
        else if (close.startsWith(QLatin1String("eventClose")))
            warnings << QStringLiteral("close event handle:  ") + handle;
        else if (close.startsWith(QLatin1String("stop")))
            warnings << QStringLiteral("delete session id:  ") + handle;
    }
    return warnings;
}

QStringList *loggedWarnings = nullptr;

void logWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg && loggedWarnings)
        loggedWarnings->append(message);
}

// Deliveries as "code:type:count" words.
struct Deliveries {
    QStringList words;
    QVector<QVariantList> records;
    std::function<void()> also;

    SearchVideoCallbackV2 callback()
    {
        return [this](int code, RecordVideoType type, QList<QVariant> list) {
            words << QStringLiteral("%1:%2:%3").arg(code).arg(int(type)).arg(list.size());
            records << list;
            if (also)
                also();
        };
    }
    QString text() const
    {
        return words.join(QLatin1Char(' '));
    }
};

TargetDesc recorder(TransportType transport, quint64 handle)
{
    TargetDesc target;
    target.deviceType = DeviceType::NVR;
    target.transport = transport;
    target.handle = handle;
    return target;
}

RecordVideoDesc searchDesc(QVector<int> channels = { 3, 0 })
{
    RecordVideoDesc desc;
    desc.channel = std::move(channels);
    desc.videoType = RecordVideoType::Motion; // not used: every reading runs all four stages
    desc.streamType = StreamType::Sub;
    desc.start = at(7, 8, 9);
    desc.end = at(23, 59, 59);
    return desc;
}

const QVector<TransportType> Both { TransportType::Ip, TransportType::P2p };
const QVector<TransportType> IpOnly { TransportType::Ip };
const QVector<TransportType> P2pOnly { TransportType::P2p };

// Adds one row per transport, named "<name> over <transport>"; texts become QString cells.
template <typename T> T cell(T value)
{
    return value;
}

QString cell(const char *text)
{
    return QString::fromUtf8(text);
}

template <typename... Values> void addRows(const char *name, const QVector<TransportType> &transports, Values... values)
{
    for (const TransportType transport : transports) {
        QTestData &row = QTest::addRow("%s over %s", name, transport == TransportType::Ip ? "Ip" : "P2p") << transport;
        ((row << cell(values)), ...);
    }
}

} // namespace

Q_DECLARE_METATYPE(lydevice::TransportType)

class TestRecorderReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        FakeDevice::instance().reset();
    }

    void reading_data();
    void reading();
    void deliveredEntries_data();
    void deliveredEntries();
    void requests_data();
    void requests();
    void replyAfterEnd_data();
    void replyAfterEnd();
    void endedInsideDelivery_data();
    void endedInsideDelivery();
    void emptyChannelListFailsLater_data();
    void emptyChannelListFailsLater();
    void twoReadersOnOneDevice();
    void endlessPagesAreBounded();

    void recordEntries_data();
    void recordEntries();
    void absurdCountsAreCut();
    void tagEntries_data();
    void tagEntries();
};

void TestRecorderReaders::reading_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("deliveries"); // "code:type:count" per delivery
    QTest::addColumn<QString>("requests"); // sent while reading
    QTest::addColumn<QString>("closes"); // sent by search_video_end afterwards
    QTest::addColumn<QString>("info"); // an info line that must be logged, or none

    // clang-format off
    // Complete readings; the closes are the destructor's in each state it can be left in.
    addRows("every stage in one reply, event handle left open", Both,
        "info 2/2/7; tags 1/1/3; event 1/1/4; event 1/1/5",
        "7:0:2 7:6:1 7:1:1 7:2:1 7:2:0", "info tags tagClose:3 event eventClose:4 event", "eventClose:5 stop:7", "");
    addRows("general records over three pages, nothing else", Both,
        "info 2/5/7; page 2; page 1; tags 0; event 0; event 0",
        "7:0:5 7:2:0", "info page page tags event event", "stop:7", "tag not found");
    addRows("tag and event pages, tag and event handles left open", Both,
        "info 1/1/7; tags 1/3/3; tagPage 0; tagPage 2; event 1/2/4; eventPage 1; event 2/2/5",
        "7:0:1 7:6:1 7:6:0 7:6:2 7:1:1 7:1:1 7:2:2 7:2:0",
        "info tags tagPage tagPage event eventPage eventClose:4 event", "tagClose:3 eventClose:5 stop:7", "");
    addRows("tag pages, no events: tag handle left open", Both,
        "info 1/1/7; tags 1/2/3; tagPage 1; event 0; event 0",
        "7:0:1 7:6:1 7:6:1 7:2:0", "info tags tagPage event event", "tagClose:3 stop:7", "no more records for [ 2 ]");
    addRows("session 0 is a session", Both,
        "info 1/1/0; tags 0; event 0; event 0", "0:0:1 0:2:0", "info tags event event", "stop:0", "");

    // Each stage failing: the failure is the last delivery and nothing more is sent.
    addRows("record info fails", Both, "info fail", "-1:0:0", "info", "", "");
    addRows("record info with status 500", IpOnly, "info http500", "-1:0:0", "info", "", "");
    addRows("record info without records", IpOnly, "info 0/0/7", "-1:0:0", "info", "", "no more records for [ 0 ]");
    addRows("record info page fails", Both, "info 2/4/7; page fail", "-1:0:0", "info page", "stop:7", "");
    addRows("record info page without records", IpOnly, "info 2/4/7; page 0", "-1:0:0", "info page", "stop:7", "");
    addRows("tag search fails", Both, "info 1/1/7; tags fail", "7:0:1 -1:0:0", "info tags", "stop:7", "");
    addRows("tag page fails", Both, "info 1/1/7; tags 1/2/3; tagPage fail",
        "7:0:1 7:6:1 -1:0:0", "info tags tagPage", "tagClose:3 stop:7", "");
    addRows("event stage 1 search fails", Both, "info 1/1/7; tags 0; event fail",
        "7:0:1 -1:1:0", "info tags event", "stop:7", "");
    addRows("event stage 1 page without records", Both, "info 1/1/7; tags 0; event 1/3/4; eventPage 0",
        "7:0:1 7:1:1 -1:1:0", "info tags event eventPage", "eventClose:4 stop:7", "");
    addRows("event stage 2 page fails", Both, "info 1/1/7; tags 0; event 0; event 1/2/5; eventPage fail",
        "7:0:1 7:2:1 -1:2:0", "info tags event event eventPage", "eventClose:5 stop:7", "");

    // Where the P2P recorder differs, and how each transport reads counts and handles.
    addRows("empty general stage delivers code 0", P2pOnly, "info 0/0/7", "0:0:0", "info", "", "");
    addRows("empty general page delivers code 0", P2pOnly, "info 2/4/7; page 0", "0:0:0", "info page", "stop:7", "");
    addRows("res -1 skips event stage 1 without its records", P2pOnly,
        "info 1/1/7; tags 0; event 5/5/4 res=\"-1\"; event 0", "7:0:1 7:2:0", "info tags event event", "stop:7",
        "res = -1, but we can't be sure this is a failed command return or there's no video");
    addRows("res -1 in event stage 2 ends the reading", P2pOnly,
        "info 1/1/7; tags 0; event 0; event 5/5/4 res=-1", "7:0:1 7:2:0", "info tags event event", "stop:7", "");
    addRows("event search without r.cnt counts as empty", P2pOnly,
        "info 1/1/7; tags 0; event 2/2/4 r.cnt=; event 0", "7:0:1 7:2:0", "info tags event event", "stop:7", "");
    addRows("record info count is text: 2.5 reads as no records", P2pOnly,
        "info 2/2/7 cnt=2.5", "0:0:0", "info", "", "");
    addRows("tag page count is a number: \"2.9\" reads 2, tag handle 3.7 reads 3", P2pOnly,
        "info 1/1/7; tags 1/3/3 sid=3.7; tagPage 2 cnt=\"2.9\"; event 0; event 0",
        "7:0:1 7:6:1 7:6:2 7:2:0", "info tags tagPage event event", "tagClose:3 stop:7", "");
    addRows("tag search reply is text: count 1.0 reads as no tags", IpOnly,
        "info 1/1/7; tags 1/1/3 cnt=\"1.0\"; event 0; event 0", "7:0:1 7:2:0", "info tags event event", "stop:7",
        "tag not found");
    // clang-format on
}

void TestRecorderReaders::reading()
{
    QFETCH(TransportType, transport);
    QFETCH(QString, script);
    QFETCH(QString, deliveries);
    QFETCH(QString, requests);
    QFETCH(QString, closes);
    QFETCH(QString, info);

    FakeDevice &device = FakeDevice::instance();
    install(transport, script);
    if (!info.isEmpty())
        QTest::ignoreMessage(QtInfoMsg, info.toUtf8().constData());

    RecordManager manager;
    Deliveries got;
    const quint64 id = manager.searchVideoBegin(recorder(transport, 0x7101), searchDesc(), got.callback());
    QVERIFY(id != 0);
    QVERIFY(got.words.isEmpty());
    QVERIFY(device.waitIdle());
    QCOMPARE(got.text(), deliveries);
    QCOMPARE(describe(transport, device.sent()), requests);

    const int sentBefore = device.sent().size();
    QStringList warnings;
    loggedWarnings = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler(&logWarning);
    manager.searchVideoEnd(id);
    const bool idle = device.waitIdle();
    qInstallMessageHandler(previous);
    loggedWarnings = nullptr;
    QVERIFY(idle);
    QCOMPARE(describe(transport, device.sent().mid(sentBefore)), closes);
    QCOMPARE(warnings, closeWarnings(transport, closes));
    QCOMPARE(got.text(), deliveries);
}

void TestRecorderReaders::deliveredEntries_data()
{
    QTest::addColumn<TransportType>("transport");
    addRows("entries", Both);
}

void TestRecorderReaders::deliveredEntries()
{
    QFETCH(TransportType, transport);
    // Three general records over two pages (types 1, 16, 5), two tags, two event records.
    install(transport, QStringLiteral("info 2/3/7; page 1; tags 2/2/3; event 2/2/4; event 0"));

    RecordManager manager;
    Deliveries got;
    const quint64 id = manager.searchVideoBegin(recorder(transport, 0x7201), searchDesc(), got.callback());
    QVERIFY(FakeDevice::instance().waitIdle());
    QCOMPARE(got.text(), QStringLiteral("7:0:3 7:6:2 7:1:2 7:2:0"));

    const auto record = [](int minute, bool anr) {
        return QVariant(QVariantHash { { QStringLiteral("start"), at(7, minute, 0) },
            { QStringLiteral("end"), at(7, minute, 30) },
            { QStringLiteral("isAnr"), anr },
            { QStringLiteral("isEvent"), false } });
    };
    const auto tag = [](int i) {
        return QVariant(QVariantHash { { QStringLiteral("chnid"), i },
            { QStringLiteral("id"), 100 + i },
            { QStringLiteral("index"), i },
            { QStringLiteral("name"), tagName(i) },
            { QStringLiteral("time"), at(8, 0, i) } });
    };
    // The page numbers its records from 0 again.
    QCOMPARE(got.records.at(0), (QVariantList { record(0, false), record(1, true), record(0, false) }));
    QCOMPARE(got.records.at(1), (QVariantList { tag(0), tag(1) }));
    QCOMPARE(got.records.at(2), (QVariantList { record(0, false), record(1, true) }));
    manager.searchVideoEnd(id);
}

void TestRecorderReaders::requests_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("expected"); // HTTP: the query in order; P2P: the compact JSON object

    // Channels 3 and 0.
    const QString mask = QStringLiteral("1001") + QString(60, QLatin1Char('0'));
    const auto row = [mask](TransportType transport, const char *step, const char *expected) {
        QTest::addRow("%s over %s", step, transport == TransportType::Ip ? "Ip" : "P2p")
            << transport << QString::fromLatin1(step)
            << QString::fromLatin1(expected).replace(QLatin1String("MASK"), mask);
    };
    const TransportType ip = TransportType::Ip;
    const TransportType p2p = TransportType::P2p;

    // The record-info search names only the first channel; the masks cover all of them.
    row(ip,
        "info",
        "action=get.playback.recordinfo&chnid=3&stream=1&startTime=2024-03-05%2007:08:09&endTime=2024-03-05%2023:59:59&"
        "all=1");
    row(ip, "page", "action=get.playback.recordinfo_page&sid=7&page=2");
    row(ip,
        "tags",
        "action=get.playback.tags_search_open&chnMaskl=MASK&enType=1&startTime=2024-03-05%2007:08:09&endTime=2024-03-"
        "05%"
        "2023:59:59");
    row(ip, "tagPage", "action=get.playback.tags_search_page&sid=3&npage=2");
    row(ip, "tagClose", "action=get.playback.tags_search_close&cnt=1&sid0=3");
    row(ip,
        "event",
        "action=get.playback.evt_backup_search&chnmaskl=MASK&num=1&event=2&subType=0&stream=1&ahead=0&delay=0"
        "&startTime=2024-03-05%2007:08:09&endTime=2024-03-05%2023:59:59");
    row(ip, "eventPage", "action=get.playback.evt_backup_search_page&sid=4&page=2");
    row(ip, "eventClose", "action=get.playback.evt_backup_search_close&sid=4");
    row(ip, "stop", "action=set.playback.stop_batch&cnt=1&sid[0]=7&close=1");

    // Over P2P: the record-info search takes numbers, the event search text throughout, and only
    // the tag search writes its times with %20.
    row(p2p,
        "info",
        R"({"r.chnid":3,"r.endTime":"2024-03-05 23:59:59","r.startTime":"2024-03-05 07:08:09","r.stream":1})");
    row(p2p, "page", R"({"r.page":2,"r.sid":7})");
    row(p2p,
        "tags",
        R"({"chnMaskl":"MASK","enType":1,"endTime":"2024-03-05%2023:59:59","startTime":"2024-03-05%2007:08:09"})");
    row(p2p, "tagPage", R"({"npage":2,"sid":3})");
    row(p2p, "tagClose", R"({"cnt":1,"sid0":3})");
    row(p2p,
        "event",
        R"({"r.ahead":"0","r.chnmaskl":"MASK","r.delay":"0","r.endTime":"2024-03-05 23:59:59","r.event":"2",)"
        R"("r.num":"1","r.startTime":"2024-03-05 07:08:09","r.stream":"1","r.subType":"0"})");
    row(p2p, "eventPage", R"({"r.page":2,"r.sid":"4"})");
    row(p2p, "eventClose", R"({"r.sid":"4"})");
    row(p2p, "stop", R"({"r.close":1,"r.cnt":1,"r.sid[0]":7})");
}

void TestRecorderReaders::requests()
{
    QFETCH(TransportType, transport);
    QFETCH(QString, step);
    QFETCH(QString, expected);

    FakeDevice &device = FakeDevice::instance();
    install(
        transport, QStringLiteral("info 1/2/7; page 1; tags 1/2/3; tagPage 1; event 1/2/4; eventPage 1; event 1/1/5"));
    RecordManager manager;
    const quint64 id = manager.searchVideoBegin(recorder(transport, 0x7301), searchDesc(), {});
    QVERIFY(device.waitIdle());
    manager.searchVideoEnd(id);

    const QString name = route(transport, step);
    if (transport == TransportType::Ip) {
        const QVector<HttpRequest> sent = device.httpRequests(name);
        QVERIFY(!sent.isEmpty());
        QCOMPARE(sent.first().path, QStringLiteral("/sdk.cgi"));
        QStringList pairs;
        for (const auto &pair : sent.first().query)
            pairs << pair.first + QLatin1Char('=') + pair.second;
        QCOMPARE(pairs.join(QLatin1Char('&')), expected);
        QCOMPARE(sent.first().target, quint64(0x7301));
    } else {
        const QVector<P2pRequest> sent = device.p2pRequests(name);
        QVERIFY(!sent.isEmpty());
        QCOMPARE(QString::fromUtf8(QJsonDocument(sent.first().request).toJson(QJsonDocument::Compact)), expected);
        QCOMPARE(sent.first().handle, 0x7301);
        QCOMPARE(sent.first().timeout, 20);
    }
}

void TestRecorderReaders::replyAfterEnd_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<QString>("script"); // the last answer is held until the reader is gone
    QTest::addColumn<QString>("closes"); // by search_video_end
    QTest::addColumn<QString>("late"); // sent when the held reply arrives

    // A reply that opened something closes it; any other reply is dropped.
    // clang-format off
    addRows("record info with records", Both, "info 2/2/7 held", "", "stop:7");
    addRows("record info without records", Both, "info 0/0/7 held", "", "");
    addRows("record info failed", Both, "info fail held", "", "");
    addRows("record info page", Both, "info 1/2/7; page 1 held", "stop:7", "");
    addRows("tag search with tags", Both, "info 1/1/7; tags 1/2/3 held", "stop:7", "tagClose:3");
    addRows("tag search without tags", Both, "info 1/1/7; tags 0/0/3 held", "stop:7", "");
    addRows("tag page", Both, "info 1/1/7; tags 1/2/3; tagPage 1 held", "tagClose:3 stop:7", "");
    addRows("event search with records", Both, "info 1/1/7; tags 0; event 1/1/4; event 1/1/5 held", "stop:7",
        "eventClose:5");
    addRows("event search without records", Both, "info 1/1/7; tags 0; event 0/0/4 held", "stop:7", "");
    addRows("event page", Both, "info 1/1/7; tags 0; event 1/2/4; eventPage 1 held", "eventClose:4 stop:7", "");
    addRows("event search with res -1 and records", P2pOnly, "info 1/1/7; tags 0; event 1/1/4 res=\"-1\" held",
        "stop:7", "eventClose:4");
    // clang-format on
}

void TestRecorderReaders::replyAfterEnd()
{
    QFETCH(TransportType, transport);
    QFETCH(QString, script);
    QFETCH(QString, closes);
    QFETCH(QString, late);

    FakeDevice &device = FakeDevice::instance();
    install(transport, script);
    RecordManager manager;
    Deliveries got;
    const quint64 id = manager.searchVideoBegin(recorder(transport, 0x7401), searchDesc(), got.callback());
    QVERIFY(device.waitIdle());
    QCOMPARE(device.heldCount(), 1);
    const int deliveredBefore = got.words.size();

    int sent = device.sent().size();
    manager.searchVideoEnd(id);
    QCOMPARE(describe(transport, device.sent().mid(sent)), closes);

    sent = device.sent().size();
    device.releaseHeld();
    QVERIFY(device.waitIdle());
    QCOMPARE(describe(transport, device.sent().mid(sent)), late);
    QCOMPARE(got.words.size(), deliveredBefore);
}

void TestRecorderReaders::endedInsideDelivery_data()
{
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<int>("endAt"); // the delivery inside which the caller ends the search
    QTest::addColumn<QString>("closes");

    addRows("general batch", Both, 1, "stop:7");
    addRows("first tag batch", Both, 2, "tagClose:3 stop:7");
    addRows("last tag batch", Both, 3, "tagClose:3 stop:7");
    addRows("event stage 2 batch", Both, 4, "tagClose:3 eventClose:4 stop:7");
    addRows("the end", Both, 5, "tagClose:3 eventClose:4 stop:7");
}

void TestRecorderReaders::endedInsideDelivery()
{
    QFETCH(TransportType, transport);
    QFETCH(int, endAt);
    QFETCH(QString, closes);

    FakeDevice &device = FakeDevice::instance();
    install(transport, QStringLiteral("info 1/1/7; tags 1/2/3; tagPage 1; event 0; event 1/1/4"));
    RecordManager manager;
    quint64 id = 0;
    int sentAtEnd = -1;
    Deliveries got;
    got.also = [&]() {
        if (got.words.size() == endAt) {
            sentAtEnd = device.sent().size();
            manager.searchVideoEnd(id);
        }
    };
    id = manager.searchVideoBegin(recorder(transport, 0x7501), searchDesc(), got.callback());
    QVERIFY(device.waitIdle());

    QCOMPARE(got.words.size(), endAt);
    QVERIFY(sentAtEnd >= 0);
    QCOMPARE(describe(transport, device.sent().mid(sentAtEnd)), closes);
}

void TestRecorderReaders::emptyChannelListFailsLater_data()
{
    QTest::addColumn<TransportType>("transport");
    addRows("no channel", Both);
}

void TestRecorderReaders::emptyChannelListFailsLater()
{
    QFETCH(TransportType, transport);
    QTest::ignoreMessage(QtWarningMsg, "no channel to search");
    RecordManager manager;
    Deliveries got;
    const quint64 id = manager.searchVideoBegin(recorder(transport, 0x7601), searchDesc({}), got.callback());
    QVERIFY(id != 0);
    QVERIFY(got.words.isEmpty());
    QTRY_COMPARE(got.text(), QStringLiteral("-1:0:0"));
    QVERIFY(FakeDevice::instance().waitIdle());
    manager.searchVideoEnd(id);
    QCOMPARE(got.text(), QStringLiteral("-1:0:0"));
    QVERIFY(FakeDevice::instance().sent().isEmpty());
}

void TestRecorderReaders::twoReadersOnOneDevice()
{
    // The device answers the two readers' requests in the order they come; each reader keeps its
    // own session and its own callback.
    FakeDevice &device = FakeDevice::instance();
    install(TransportType::Ip,
        QStringLiteral("info 1/1/7; info 2/2/8; tags 0; tags 0; event 0; event 0; event 0; event 0"));
    RecordManager manager;
    Deliveries first;
    Deliveries second;
    const TargetDesc target = recorder(TransportType::Ip, 0x7701);
    const quint64 firstId = manager.searchVideoBegin(target, searchDesc(), first.callback());
    const quint64 secondId = manager.searchVideoBegin(target, searchDesc(), second.callback());
    QVERIFY(firstId != secondId);
    QVERIFY(device.waitIdle());
    QCOMPARE(first.text(), QStringLiteral("7:0:1 7:2:0"));
    QCOMPARE(second.text(), QStringLiteral("8:0:2 8:2:0"));

    int sent = device.sent().size();
    manager.searchVideoEnd(secondId);
    QCOMPARE(describe(TransportType::Ip, device.sent().mid(sent)), QStringLiteral("stop:8"));
    sent = device.sent().size();
    manager.cancelAllRecordSearching();
    QCOMPARE(describe(TransportType::Ip, device.sent().mid(sent)), QStringLiteral("stop:7"));
}

void TestRecorderReaders::endlessPagesAreBounded()
{
    // A recorder that announces more records than it ever sends: every page holds one record.
    FakeDevice &device = FakeDevice::instance();
    install(TransportType::Ip, QStringLiteral("info 1/2147483647/7"));
    int pages = 0;
    int lastPage = 0;
    device.setHttpHandler([&](const HttpRequest &request) -> std::optional<HttpAnswer> {
        if (request.route() != route(TransportType::Ip, QStringLiteral("page")))
            return {};
        ++pages;
        lastPage = request.value(QStringLiteral("page")).toInt();
        return HttpAnswer::body(QByteArrayLiteral("cnt=1\r\n"));
    });
    QTest::ignoreMessage(QtWarningMsg,
        QStringLiteral("too many pages, reading stopped at page %1")
            .arg(RecordReaderNvr::maxPages + 1)
            .toUtf8()
            .constData());

    RecordManager manager;
    Deliveries got;
    manager.searchVideoBegin(recorder(TransportType::Ip, 0x7801), searchDesc(), got.callback());
    QVERIFY(device.waitIdle(120000));
    QCOMPARE(got.text(), QStringLiteral("-1:0:0"));
    QCOMPARE(pages, RecordReaderNvr::maxPages - 1);
    QCOMPARE(lastPage, RecordReaderNvr::maxPages);
}

// Entries in short: "{member=value,...}" per entry, members sorted, times as HH:mm:ss or "-" when
// invalid, booleans as 0 or 1.
QString summary(const QVariantList &entries)
{
    QStringList texts;
    for (const QVariant &entry : entries) {
        const QVariantHash members = entry.toHash();
        QStringList keys = members.keys();
        keys.sort();
        QStringList parts;
        for (const QString &key : keys) {
            const QVariant value = members.value(key);
            const QString text = value.userType() == QMetaType::QDateTime
                ? (value.toDateTime().isValid() ? value.toDateTime().toString(QStringLiteral("HH:mm:ss"))
                                                : QStringLiteral("-"))
                : QString::number(value.toInt());
            parts << key + QLatin1Char('=') + text;
        }
        texts << QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
    }
    return texts.join(QLatin1Char(' '));
}

void TestRecorderReaders::recordEntries_data()
{
    QTest::addColumn<bool>("p2p");
    QTest::addColumn<QVariantHash>("reply");
    QTest::addColumn<int>("cnt");
    QTest::addColumn<QString>("expected");

    const QString seven = QStringLiteral("2024-03-05 07:00:00");
    const auto members = [](std::initializer_list<std::pair<const char *, QVariant>> pairs) {
        QVariantHash hash;
        for (const auto &pair : pairs)
            hash.insert(QString::fromLatin1(pair.first), pair.second);
        return hash;
    };
    QTest::newRow("record types 1, 16 and others, fractions truncated")
        << false
        << members({ { "recordType0", 1.0 }, { "recordType1", 16.0 }, { "recordType2", 2.0 }, { "recordType3", 16.9 } })
        << 4 << QStringLiteral("{isAnr=0,isEvent=0} {isAnr=1,isEvent=0} {isAnr=0,isEvent=1} {isAnr=1,isEvent=0}");
    QTest::newRow("indices outside 0 to cnt - 1 are ignored") << false
                                                              << members({ { "startTime1", seven },
                                                                     { "startTime2", seven },
                                                                     { "startTime-1", seven },
                                                                     { "endTime99999999999", seven } })
                                                              << 2 << QStringLiteral("{} {start=07:00:00}");
    QTest::newRow("an index that is no number names record 0")
        << false << members({ { "startTimeX", seven } }) << 1 << QStringLiteral("{start=07:00:00}");
    QTest::newRow("other keys are ignored, unreadable times invalid")
        << false << members({ { "StartTime0", seven }, { "endTime0", QStringLiteral("noon") } }) << 1
        << QStringLiteral("{end=-}");
    QTest::newRow("negative count") << false << members({ { "recordType0", 1.0 } }) << -3 << QString();
    QTest::newRow("p2p: every entry has all members, types as text")
        << true
        << members({ { "r[0].recordType", QStringLiteral("16") },
               { "r[0].startTime", seven },
               { "r[1].recordType", QStringLiteral("1") },
               { "r[2].recordType", QStringLiteral("x") } })
        << 3
        << QStringLiteral("{end=-,isAnr=1,isEvent=0,start=07:00:00} {end=-,isAnr=0,isEvent=0,start=-} "
                          "{end=-,isAnr=0,isEvent=1,start=-}");
}

void TestRecorderReaders::recordEntries()
{
    QFETCH(bool, p2p);
    QFETCH(QVariantHash, reply);
    QFETCH(int, cnt);
    QFETCH(QString, expected);

    QCOMPARE(summary(p2p ? buildRecordEntriesP2p(reply, cnt) : buildRecordEntries(reply, cnt)), expected);
}

void TestRecorderReaders::absurdCountsAreCut()
{
    QTest::ignoreMessage(QtWarningMsg, "record count out of range, cut: 2147483647");
    QCOMPARE(recorderReplyCount(INT_MAX), maxRecordsPerRecorderReply);
    QTest::ignoreMessage(QtWarningMsg, "record count out of range, cut: -5");
    QCOMPARE(recorderReplyCount(-5), 0);
    QCOMPARE(buildRecordEntries({}, INT_MAX).size(), maxRecordsPerRecorderReply);
    QCOMPARE(buildRecordEntriesP2p({}, INT_MAX).size(), maxRecordsPerRecorderReply);
    QCOMPARE(buildTagEntries({}, INT_MAX).size(), maxRecordsPerRecorderReply);
}

void TestRecorderReaders::tagEntries_data()
{
    QTest::addColumn<QString>("encoded");
    QTest::addColumn<QString>("name");

    // Upper-case percent-encoded UTF-8 comes through deliveredEntries.
    QTest::newRow("lower-case hex digits") << QStringLiteral("caf%c3%a9") << QStringLiteral("café");
    QTest::newRow("a lone % stays") << QStringLiteral("100%") << QStringLiteral("100%");
    QTest::newRow("broken UTF-8 is replaced, not dropped") << QStringLiteral("a%FFb") << QStringLiteral("a\uFFFDb");
}

void TestRecorderReaders::tagEntries()
{
    QFETCH(QString, encoded);
    QFETCH(QString, name);

    const QVariantHash reply { { QStringLiteral("chnid0"), QStringLiteral("5") },
        { QStringLiteral("id0"), 12.0 },
        { QStringLiteral("index0"), QStringLiteral("x") },
        { QStringLiteral("name0"), encoded },
        { QStringLiteral("time0"), QStringLiteral("2024-03-05 08:00:01") } };
    const QVariantList entries = buildTagEntries(reply, 1);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().toHash(),
        (QVariantHash { { QStringLiteral("chnid"), 5 },
            { QStringLiteral("id"), 12 },
            { QStringLiteral("index"), 0 },
            { QStringLiteral("name"), name },
            { QStringLiteral("time"), at(8, 0, 1) } }));
}

QTEST_GUILESS_MAIN(TestRecorderReaders)
#include "tst_recorder_readers.moc"
