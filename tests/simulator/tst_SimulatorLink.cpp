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

QJsonObject timeObject(const QDateTime &time)
{
    return QJsonObject { { QStringLiteral("year"), time.date().year() },
        { QStringLiteral("month"), time.date().month() },
        { QStringLiteral("day"), time.date().day() },
        { QStringLiteral("hour"), time.time().hour() },
        { QStringLiteral("minute"), time.time().minute() },
        { QStringLiteral("second"), time.time().second() } };
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

    DeviceSimulator device(options(DeviceKind::Recorder));
    QVERIFY(device.listen());
    RawLinkClient link(device.p2pPort());
    QVERIFY(link.connectToDevice());

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
    DeviceSimulator device(options(DeviceKind::Camera));
    QVERIFY(device.listen());
    RawLinkClient link(device.p2pPort());
    QVERIFY(link.connectToDevice());
    const QJsonObject span { { QStringLiteral("start_time"), timeObject(spanFrom) },
        { QStringLiteral("end_time"), timeObject(spanTo) } };
    QStringList expected;
    for (const Recording &record : device.catalogue().cameraFiles(0, spanFrom, spanTo))
        expected.append(record.cameraFileString());

    const QJsonObject count = link.call(QStringLiteral("ipc"), 9, span);
    QVERIFY(count.value(QLatin1String("total_page")).isDouble());
    const int pages = count.value(QLatin1String("total_page")).toInt();
    QCOMPARE(pages, (expected.size() + 19) / 20);
    QStringList served;
    for (int page = 1; page <= pages; ++page) {
        QJsonObject request = span;
        request.insert(QStringLiteral("page"), page);
        request.insert(QStringLiteral("type"), 0);
        for (const QJsonValue &file :
            link.call(QStringLiteral("ipc"), 55, request).value(QLatin1String("file_list")).toArray())
            served.append(file.toString());
    }
    QCOMPARE(served, expected);

    // A time object with a day beyond the month finds nothing.
    QJsonObject wrong = span;
    QJsonObject start = timeObject(spanFrom);
    start.insert(QStringLiteral("day"), 31);
    start.insert(QStringLiteral("month"), 2);
    wrong.insert(QStringLiteral("start_time"), start);
    QCOMPARE(link.call(QStringLiteral("ipc"), 9, wrong).value(QLatin1String("total_page")).toInt(), 0);
}

void TestSimulatorLink::framesAreAnsweredIndependently()
{
    DeviceSimulator device(options(DeviceKind::Recorder));
    device.addFault(FaultKind::Delay, QStringLiteral("nvr.27"), 1, 300);
    QVERIFY(device.listen());
    RawLinkClient link(device.p2pPort());
    QVERIFY(link.connectToDevice());
    const QString from = walltime::dashed(walltime::fromDateTime(spanFrom));
    const QString to = walltime::dashed(walltime::fromDateTime(spanTo));
    const int slow = link.send(QStringLiteral("nvr"),
        27,
        json({ { "r.chnmaskl", t("1") },
            { "r.event", t("2") },
            { "r.subType", t("0") },
            { "r.startTime", from },
            { "r.endTime", to } }));
    const int fast = link.send(QStringLiteral("nvr"),
        25,
        json({ { "r.chnid", 0 }, { "r.stream", 0 }, { "r.startTime", from }, { "r.endTime", to } }));
    QVERIFY(!link.waitFrame(slow).isEmpty());
    QCOMPARE(link.frames.size(), 2);
    QCOMPARE(link.frames.at(0).value(QLatin1String("id")).toInt(), fast);
    QCOMPARE(link.frames.at(1).value(QLatin1String("id")).toInt(), slow);
    QVERIFY(link.frames.at(1).value(QLatin1String("reply")).toObject().value(QLatin1String("r.cnt")).toString().toInt()
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
    DeviceSimulator device(options(DeviceKind::Camera));
    device.addFault(fault, QStringLiteral("ipc.9"), 1);
    QVERIFY(device.listen());
    RawLinkClient link(device.p2pPort());
    QVERIFY(link.connectToDevice());
    const QJsonObject span { { QStringLiteral("start_time"), timeObject(spanFrom) },
        { QStringLiteral("end_time"), timeObject(spanTo) } };

    const int id = link.send(QStringLiteral("ipc"), 9, span);
    switch (fault) {
    case FaultKind::Status500: {
        const QJsonObject reply = link.waitFrame(id).value(QLatin1String("reply")).toObject();
        QCOMPARE(reply.value(QLatin1String("res")).toString(), QStringLiteral("-1"));
        QVERIFY(!reply.contains(QLatin1String("total_page")));
        break;
    }
    case FaultKind::Malformed:
        QVERIFY(!link.waitFrame(id).value(QLatin1String("reply")).isObject());
        break;
    case FaultKind::Drop:
        QVERIFY(link.waitForClose());
        QVERIFY(link.frames.isEmpty());
        QVERIFY(link.pending.isEmpty());
        break;
    case FaultKind::TruncatedChunked:
        QVERIFY(link.waitForClose());
        QVERIFY(link.frames.isEmpty());
        QVERIFY(!link.pending.isEmpty());
        break;
    case FaultKind::Delay:
        break;
    }
    QCOMPARE(device.books().requests(QStringLiteral("ipc.9")).constLast().fault, FaultInjector::kindName(fault));

    // The next command is answered.
    if (link.socket.state() != QAbstractSocket::ConnectedState) {
        link.socket.abort();
        QVERIFY(link.connectToDevice());
    }
    QVERIFY(link.call(QStringLiteral("ipc"), 9, span).value(QLatin1String("total_page")).toInt() > 0);
}

void TestSimulatorLink::requestsTheDeviceDoesNotKnow()
{
    DeviceSimulator device(options(DeviceKind::Recorder));
    QVERIFY(device.listen());
    RawLinkClient link(device.p2pPort());
    QVERIFY(link.connectToDevice());
    // A camera command to a recorder, an unknown command, a frame without id, a line of no JSON.
    QCOMPARE(link.call(QStringLiteral("ipc"), 9, QJsonObject()).value(QLatin1String("res")).toString(),
        QStringLiteral("-1"));
    QCOMPARE(link.call(QStringLiteral("nvr"), 99, QJsonObject()).value(QLatin1String("res")).toString(),
        QStringLiteral("-1"));
    link.socket.write("{\"kind\":\"nvr\",\"command\":25}\nnot json\n");
    QCOMPARE(
        link.call(QStringLiteral("nvr"), 18, json({ { "r.sid", t("12345") } })).value(QLatin1String("res")).toString(),
        QStringLiteral("-1"));
    QCOMPARE(link.frames.size(), 3);
    QCOMPARE(device.books().strayCloses(), QStringList { QStringLiteral("event-search 12345") });
}

QTEST_GUILESS_MAIN(TestSimulatorLink)
#include "tst_SimulatorLink.moc"
