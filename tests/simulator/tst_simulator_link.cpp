// The simulator over the P2P link: the members and JSON types of every command's reply, paging,
// the books, independent frames and the injected faults.

#include "DeviceSimulator.h"
#include "RawLinkClient.h"
#include "WallTime.h"

#include <QJsonArray>
#include <QTest>
#include <QUrl>

using namespace lydevice::sim;

namespace
{
const QDateTime spanFrom(QDate(2024, 3, 1), QTime(1, 0));
const QDateTime spanTo(QDate(2024, 3, 1), QTime(20, 30));

SimulatorOptions options(DeviceKind kind)
{
    SimulatorOptions options;
    options.kind = kind;
    options.seed = 11;
    options.channels = 2;
    options.setRecordCount(150);
    return options;
}

// A simulator listening on free ports and a client with its link up.
struct Rig {
    explicit Rig(DeviceKind kind)
        : device(options(kind))
        , listening(device.listen())
        , link(device.p2pPort())
    {
        listening = listening && link.connectToDevice();
    }
    DeviceSimulator device;
    bool listening;
    RawLinkClient link;
};

QJsonObject timeObject(const QDateTime &time)
{
    return QJsonObject { { QStringLiteral("year"), time.date().year() },
        { QStringLiteral("month"), time.date().month() },
        { QStringLiteral("day"), time.date().day() },
        { QStringLiteral("hour"), time.time().hour() },
        { QStringLiteral("minute"), time.time().minute() },
        { QStringLiteral("second"), time.time().second() } };
}

// The camera's span members.
QJsonObject cameraSpan()
{
    return { { QStringLiteral("start_time"), timeObject(spanFrom) },
        { QStringLiteral("end_time"), timeObject(spanTo) } };
}

QString s(const char *text)
{
    return QString::fromLatin1(text);
}

QStringList names(const char *spaced)
{
    return s(spaced).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QJsonValue t(const char *text)
{
    return QJsonValue(s(text));
}

QJsonObject json(std::initializer_list<std::pair<const char *, QJsonValue>> members)
{
    QJsonObject object;
    for (const auto &member : members)
        object.insert(s(member.first), member.second);
    return object;
}

QJsonValue sidValue(int sid, bool asText)
{
    return asText ? QJsonValue(QString::number(sid)) : QJsonValue(sid);
}

} // namespace

class TestSimulatorLink : public QObject
{
    Q_OBJECT

private slots:
    void recorderSearches_data();
    void recorderSearches();
    void cameraFiles();
    void framesAreAnsweredIndependently();
    void faults_data();
    void faults();
    void requestsTheDeviceDoesNotKnow();
};

void TestSimulatorLink::recorderSearches_data()
{
    QTest::addColumn<int>("openCommand");
    QTest::addColumn<QJsonObject>("openRequest");
    QTest::addColumn<QStringList>("textKeys"); // JSON strings in the opening reply
    QTest::addColumn<QStringList>("numberKeys"); // JSON numbers in the opening reply
    QTest::addColumn<QString>("sidKey");
    QTest::addColumn<QString>("countKey");
    QTest::addColumn<int>("pageCommand");
    QTest::addColumn<QString>("pageSidKey");
    QTest::addColumn<bool>("pageSidText");
    QTest::addColumn<QString>("pageKey");
    QTest::addColumn<QString>("pageCountKey");
    QTest::addColumn<bool>("pageCountText");
    QTest::addColumn<int>("closeCommand");
    QTest::addColumn<QJsonObject>("closeRequest"); // without the handle
    QTest::addColumn<QString>("closeSidKey");
    QTest::addColumn<bool>("closeSidText");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("itemKey"); // "%1" for the index within a reply
    QTest::addColumn<QStringList>("expected"); // the itemKey values of every item, in order

    const Catalogue catalogue(options(DeviceKind::Recorder));
    const QString from = walltime::dashed(walltime::fromDateTime(spanFrom));
    const QString to = walltime::dashed(walltime::fromDateTime(spanTo));
    const auto starts = [](const QVector<Recording> &records) {
        QStringList list;
        for (const Recording &record : records)
            list.append(walltime::dashed(record.startSeconds));
        return list;
    };
    QStringList tagNames;
    for (const Tag &tag : catalogue.tags({ 0, 1 }, spanFrom, spanTo))
        tagNames.append(QString::fromLatin1(QUrl::toPercentEncoding(tag.name)));

    const QJsonValue f(from), u(to);
    QTest::newRow("record info 25, pages 26, stop 17")
        << 25 << json({ { "r.chnid", 1 }, { "r.stream", 0 }, { "r.startTime", f }, { "r.endTime", u } })
        << names("cnt sid allCnt res r[0].startTime r[0].recordType") << QStringList() << s("sid") << s("cnt") << 26
        << s("r.sid") << false << s("r.page") << s("cnt") << true << 17 << json({ { "r.cnt", 1 }, { "r.close", 1 } })
        << s("r.sid[0]") << false << int(HandleKind::PlaybackSession) << s("r[%1].startTime")
        << starts(catalogue.recordInfo(1, spanFrom, spanTo));
    QTest::newRow("events 27 (values as text), pages 28, close 18")
        << 27
        << json({ { "r.chnmaskl", t("11") },
               { "r.num", t("1") },
               { "r.event", t("64") },
               { "r.subType", t("511") },
               { "r.stream", t("0") },
               { "r.ahead", t("0") },
               { "r.delay", t("0") },
               { "r.startTime", f },
               { "r.endTime", u } })
        << names("r.cnt r.sid r.allCnt r[0].recordType") << QStringList() << s("r.sid") << s("r.cnt") << 28
        << s("r.sid") << true << s("r.page") << s("r.cnt") << false << 18 << QJsonObject() << s("r.sid") << true
        << int(HandleKind::EventSearch) << s("r[%1].startTime")
        << starts(catalogue.events({ 0, 1 }, 64, 511, spanFrom, spanTo));
    QTest::newRow("events 27 (values as numbers)")
        << 27
        << json({ { "r.chnmaskl", t("01") },
               { "r.num", 1 },
               { "r.event", 128 },
               { "r.subType", 16 },
               { "r.stream", 0 },
               { "r.ahead", 0 },
               { "r.delay", 0 },
               { "r.startTime", f },
               { "r.endTime", u } })
        << names("r.cnt r.sid r.allCnt") << QStringList() << s("r.sid") << s("r.cnt") << 28 << s("r.sid") << true
        << s("r.page") << s("r.cnt") << false << 18 << QJsonObject() << s("r.sid") << false
        << int(HandleKind::EventSearch) << s("r[%1].startTime")
        << starts(catalogue.events({ 1 }, 128, 16, spanFrom, spanTo));
    QTest::newRow("tags 29 (times with %20), pages 31, close 30")
        << 29
        << json({ { "chnMaskl", t("11") },
               { "enType", 0 },
               { "startTime", QString(from).replace(QLatin1Char(' '), QLatin1String("%20")) },
               { "endTime", QString(to).replace(QLatin1Char(' '), QLatin1String("%20")) } })
        << names("cnt chnid0 id0 index0 name0 time0") << names("sid allCnt") << s("sid") << s("cnt") << 31 << s("sid")
        << false << s("npage") << s("cnt") << false << 30 << json({ { "cnt", 1 } }) << s("sid0") << false
        << int(HandleKind::TagSearch) << s("name%1") << tagNames;
}

void TestSimulatorLink::recorderSearches()
{
    QFETCH(int, openCommand);
    QFETCH(QJsonObject, openRequest);
    QFETCH(QStringList, textKeys);
    QFETCH(QStringList, numberKeys);
    QFETCH(QString, sidKey);
    QFETCH(QString, countKey);
    QFETCH(int, pageCommand);
    QFETCH(QString, pageSidKey);
    QFETCH(bool, pageSidText);
    QFETCH(QString, pageKey);
    QFETCH(QString, pageCountKey);
    QFETCH(bool, pageCountText);
    QFETCH(int, closeCommand);
    QFETCH(QJsonObject, closeRequest);
    QFETCH(QString, closeSidKey);
    QFETCH(bool, closeSidText);
    QFETCH(int, kind);
    QFETCH(QString, itemKey);
    QFETCH(QStringList, expected);

    Rig rig(DeviceKind::Recorder);
    QVERIFY(rig.listening);
    RawLinkClient &link = rig.link;
    DeviceSimulator &device = rig.device;

    const QJsonObject open = link.call(QStringLiteral("nvr"), openCommand, openRequest);
    for (const QString &key : textKeys)
        QVERIFY2(open.value(key).isString(), qPrintable(key));
    for (const QString &key : numberKeys)
        QVERIFY2(open.value(key).isDouble(), qPrintable(key));
    const int sid = open.value(sidKey).toVariant().toInt();
    QVERIFY(device.books().isOpen(static_cast<HandleKind>(kind), sid));
    const int pageSize = open.value(countKey).toVariant().toInt();
    QVERIFY2(expected.size() > pageSize, "the row should need more than one page");

    QStringList served;
    const auto collect = [&](const QJsonObject &reply, int count) {
        for (int i = 0; i < count; ++i)
            served.append(reply.value(itemKey.arg(i)).toString());
    };
    collect(open, pageSize);
    for (int page = 2; served.size() < expected.size() && page < 100; ++page) {
        const QJsonObject reply = link.call(QStringLiteral("nvr"),
            pageCommand,
            QJsonObject { { pageSidKey, sidValue(sid, pageSidText) }, { pageKey, page } });
        QCOMPARE(reply.value(pageCountKey).isString(), pageCountText);
        collect(reply, reply.value(pageCountKey).toVariant().toInt());
    }
    QCOMPARE(served, expected);

    closeRequest.insert(closeSidKey, sidValue(sid, closeSidText));
    QCOMPARE(link.call(QStringLiteral("nvr"), closeCommand, closeRequest).value(QLatin1String("res")).toString(),
        QStringLiteral("0"));
    QVERIFY(device.openHandles().isEmpty());
    QVERIFY(device.books().strayCloses().isEmpty());
}

void TestSimulatorLink::cameraFiles()
{
    Rig rig(DeviceKind::Camera);
    QVERIFY(rig.listening);
    QStringList expected;
    for (const Recording &record : rig.device.catalogue().cameraFiles(0, spanFrom, spanTo))
        expected.append(record.cameraFileString());

    const QJsonObject count = rig.link.call(QStringLiteral("ipc"), 9, cameraSpan());
    QVERIFY(count.value(QLatin1String("total_page")).isDouble());
    const int pages = count.value(QLatin1String("total_page")).toInt();
    QCOMPARE(pages, (expected.size() + 19) / 20);
    QStringList served;
    for (int page = 1; page <= pages; ++page) {
        QJsonObject request = cameraSpan();
        request.insert(QStringLiteral("page"), page);
        request.insert(QStringLiteral("type"), 0);
        for (const QJsonValue &file :
            rig.link.call(QStringLiteral("ipc"), 55, request).value(QLatin1String("file_list")).toArray())
            served.append(file.toString());
    }
    QCOMPARE(served, expected);

    // A time object with a day beyond the month finds nothing.
    QJsonObject start = timeObject(spanFrom);
    start.insert(QStringLiteral("day"), 31);
    start.insert(QStringLiteral("month"), 2);
    QJsonObject wrong = cameraSpan();
    wrong.insert(QStringLiteral("start_time"), start);
    QCOMPARE(rig.link.call(QStringLiteral("ipc"), 9, wrong).value(QLatin1String("total_page")).toInt(), 0);
}

void TestSimulatorLink::framesAreAnsweredIndependently()
{
    Rig rig(DeviceKind::Recorder);
    QVERIFY(rig.listening);
    rig.device.addFault(FaultKind::Delay, QStringLiteral("nvr.27"), 1, 300);
    const QString from = walltime::dashed(walltime::fromDateTime(spanFrom));
    const QString to = walltime::dashed(walltime::fromDateTime(spanTo));
    const int slow = rig.link.send(QStringLiteral("nvr"),
        27,
        json({ { "r.chnmaskl", t("1") },
            { "r.event", t("2") },
            { "r.subType", t("0") },
            { "r.startTime", from },
            { "r.endTime", to } }));
    const int fast = rig.link.send(QStringLiteral("nvr"),
        25,
        json({ { "r.chnid", 0 }, { "r.stream", 0 }, { "r.startTime", from }, { "r.endTime", to } }));
    QVERIFY(!rig.link.waitFrame(slow).isEmpty());
    QCOMPARE(rig.link.frames.size(), 2);
    QCOMPARE(rig.link.frames.at(0).value(QLatin1String("id")).toInt(), fast);
    QCOMPARE(rig.link.frames.at(1).value(QLatin1String("id")).toInt(), slow);
    QVERIFY(
        rig.link.frames.at(1).value(QLatin1String("reply")).toObject().value(QLatin1String("r.cnt")).toString().toInt()
        > 0);
}

void TestSimulatorLink::faults_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("status 500") << int(FaultKind::Status500);
    QTest::newRow("dropped link") << int(FaultKind::Drop);
    QTest::newRow("malformed reply") << int(FaultKind::Malformed);
    QTest::newRow("truncated frame") << int(FaultKind::TruncatedChunked);
}

void TestSimulatorLink::faults()
{
    QFETCH(int, kind);
    const FaultKind fault = static_cast<FaultKind>(kind);
    Rig rig(DeviceKind::Camera);
    QVERIFY(rig.listening);
    rig.device.addFault(fault, QStringLiteral("ipc.9"), 1);

    const int id = rig.link.send(QStringLiteral("ipc"), 9, cameraSpan());
    if (fault == FaultKind::Status500) {
        const QJsonObject reply = rig.link.waitFrame(id).value(QLatin1String("reply")).toObject();
        QCOMPARE(reply.value(QLatin1String("res")).toString(), QStringLiteral("-1"));
        QVERIFY(!reply.contains(QLatin1String("total_page")));
    } else if (fault == FaultKind::Malformed) {
        QVERIFY(!rig.link.waitFrame(id).value(QLatin1String("reply")).isObject());
    } else {
        // A dropped link closes with nothing sent; a truncated frame leaves part of a line.
        QVERIFY(rig.link.waitForClose());
        QVERIFY(rig.link.frames.isEmpty());
        QCOMPARE(rig.link.pending.isEmpty(), fault == FaultKind::Drop);
    }
    QCOMPARE(rig.device.books().requests(QStringLiteral("ipc.9")).constLast().fault, FaultInjector::kindName(fault));

    // The next command is answered.
    if (rig.link.socket.state() != QAbstractSocket::ConnectedState) {
        rig.link.socket.abort();
        QVERIFY(rig.link.connectToDevice());
    }
    QVERIFY(rig.link.call(QStringLiteral("ipc"), 9, cameraSpan()).value(QLatin1String("total_page")).toInt() > 0);
}

void TestSimulatorLink::requestsTheDeviceDoesNotKnow()
{
    Rig rig(DeviceKind::Recorder);
    QVERIFY(rig.listening);
    const auto res = [&](const char *kind, int command, const QJsonObject &request) {
        return rig.link.call(s(kind), command, request).value(QLatin1String("res")).toString();
    };
    // A camera command to a recorder, an unknown command, a frame without id, a line of no JSON.
    QCOMPARE(res("ipc", 9, {}), QStringLiteral("-1"));
    QCOMPARE(res("nvr", 99, {}), QStringLiteral("-1"));
    rig.link.socket.write("{\"kind\":\"nvr\",\"command\":25}\nnot json\n");
    QCOMPARE(res("nvr", 18, json({ { "r.sid", t("12345") } })), QStringLiteral("-1"));
    QCOMPARE(rig.link.frames.size(), 3);
    QCOMPARE(rig.device.books().strayCloses(), QStringList { QStringLiteral("event-search 12345") });
}

QTEST_GUILESS_MAIN(TestSimulatorLink)
#include "tst_simulator_link.moc"
