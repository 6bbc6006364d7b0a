// The pure parsers and formats between the library and the devices: raw HTTP replies, reply
// bodies, typed hash reads and the wire formats of dates, masks and record files.

#include <lydevice/lydevice.h>
#include <parse/HashAccess.h>
#include <parse/HttpReply.h>
#include <parse/RecordFormat.h>
#include <parse/ReplyParsers.h>

#include <QJsonDocument>
#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

#include <limits>

using namespace lydevice;

namespace
{

QJsonObject json(const char *text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

QString zeros(int count)
{
    return QString(count, u'0');
}

QDateTime localTime(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

// Invalid date-times do not compare equal to each other, so validity is compared first.
bool sameTime(const QDateTime &a, const QDateTime &b)
{
    return a.isValid() == b.isValid() && (!a.isValid() || (a == b && a.timeSpec() == b.timeSpec()));
}

const QByteArray chunkedHead = QByteArrayLiteral("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");

} // namespace

class TestParsers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void statusCode_data();
    void statusCode();
    void replyBody_data();
    void replyBody();
    void truncatedChunkedReplyGivesPrefixOfBody();

    void jsonObject_data();
    void jsonObject();
    void okLines_data();
    void okLines();
    void keyValueText_data();
    void keyValueText();
    void pictureListRepair_data();
    void pictureListRepair();

    void hashInt_data();
    void hashInt();
    void hashTruncated_data();
    void hashTruncated();
    void hashImage();

    void channelMask_data();
    void channelMask();
    void codesForRecordType_data();
    void codesForRecordType();
    void wireTimes();
    void deviceTimeAgreesWithFormatParser_data();
    void deviceTimeAgreesWithFormatParser();
    void recordFile_data();
    void recordFile();
};

void TestParsers::initTestCase()
{
    // A host locale with its own digits must not leak into what goes on the wire.
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
}

void TestParsers::statusCode_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("code");

    QTest::newRow("version 1.1, 200") << QStringLiteral("HTTP/1.1 200 OK\r\n\r\n") << 200;
    QTest::newRow("version 1.0, 404") << QStringLiteral("HTTP/1.0 404 Not Found\r\n\r\n") << 404;
    QTest::newRow("206 is read, not judged") << QStringLiteral("HTTP/1.1 206 Partial\r\n") << 206;
    QTest::newRow("no blank after the digits") << QStringLiteral("HTTP/1.1 200\r\n") << -1;
    QTest::newRow("letters in the code") << QStringLiteral("HTTP/1.1 2x0 OK\r\n") << -1;
    QTest::newRow("empty code") << QStringLiteral("HTTP/1.1  OK\r\n") << -1;
    QTest::newRow("version 2.0") << QStringLiteral("HTTP/2.0 200 OK\r\n") << -1;
    QTest::newRow("version 1.2") << QStringLiteral("HTTP/1.2 200 OK\r\n") << -1;
    QTest::newRow("text before the version") << QStringLiteral(" HTTP/1.1 200 OK\r\n") << -1;
    QTest::newRow("code beyond 32 bits") << QStringLiteral("HTTP/1.1 4294967496 OK\r\n") << -1;
    QTest::newRow("leading zeros") << QStringLiteral("HTTP/1.1 0200 OK\r\n") << 200;
    QTest::newRow("cut after the version") << QStringLiteral("HTTP/1.1") << -1;
    QTest::newRow("cut in the code") << QStringLiteral("HTTP/1.1 20") << -1;
    QTest::newRow("empty") << QString() << -1;
}

void TestParsers::statusCode()
{
    QFETCH(QString, reply);
    QFETCH(int, code);
    QCOMPARE(httpStatusCode(reply), code);
}

void TestParsers::replyBody_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("plain body after headers")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << QByteArray("hello");
    QTest::newRow("version 1.0") << QByteArray("HTTP/1.0 200 OK\r\n\r\nhello") << QByteArray("hello");
    QTest::newRow("status 500 has no body") << QByteArray("HTTP/1.1 500 Internal Error\r\n\r\nboom") << QByteArray();
    QTest::newRow("status 206 has no body") << QByteArray("HTTP/1.1 206 Partial Content\r\n\r\nabc") << QByteArray();
    QTest::newRow("reason in other letter case") << QByteArray("HTTP/1.1 200 ok\r\n\r\nhello") << QByteArray();
    QTest::newRow("no end of headers") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n") << QByteArray();
    QTest::newRow("status line only, no line break") << QByteArray("HTTP/1.1 200 OK") << QByteArray();

    QTest::newRow("two chunks joined") << chunkedHead + "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"
                                       << QByteArray("hello world");
    QTest::newRow("lower- and upper-case hex sizes") << chunkedHead + "a\r\n0123456789\r\nA\r\nabcdefghij\r\n0\r\n\r\n"
                                                     << QByteArray("0123456789abcdefghij");
    QTest::newRow("chunk holding line breaks") << chunkedHead + "4\r\na\r\nb\r\n0\r\n\r\n" << QByteArray("a\r\nb");
    QTest::newRow("size with leading zero ends decoding") << chunkedHead + "5\r\nhello\r\n06\r\n world\r\n0\r\n\r\n"
                                                          << QByteArray("hello");
    QTest::newRow("first size with leading zero is still read") << chunkedHead + "05\r\nhello\r\n0\r\n\r\n"
                                                                << QByteArray("hello");
    QTest::newRow("trailer after last chunk ignored")
        << chunkedHead + "3\r\nabc\r\n0\r\nX-Trailer: 1\r\n\r\n3\r\nxyz\r\n"
        << QByteArray("abc");
    QTest::newRow("chunk extension reads as size 0") << chunkedHead + "3;ext=1\r\n\r\n3\r\nabc\r\n0\r\n\r\n"
                                                     << QByteArray("abc");
    QTest::newRow("chunked header with empty body") << chunkedHead << QByteArray();
    QTest::newRow("body only the last chunk") << chunkedHead + "0\r\n\r\n" << QByteArray();
    QTest::newRow("data ends before last chunk") << chunkedHead + "3\r\nabc\r\n" << QByteArray("abc");
    QTest::newRow("chunk shorter than its size") << chunkedHead + "10\r\nabc" << QByteArray("abc");
    QTest::newRow("size line without line break") << chunkedHead + "3\r\nabc\r\n5" << QByteArray("abc");
    QTest::newRow("huge size takes what is there") << chunkedHead + "7fffffffffffffff\r\nabc\r\n0\r\n\r\n"
                                                   << QByteArray("abc\r\n0\r\n\r\n");
    QTest::newRow("size beyond 64 bits reads as 0")
        << chunkedHead + "fffffffffffffffffffff\r\n\r\n3\r\nabc\r\n0\r\n\r\n"
        << QByteArray("abc");
    QTest::newRow("negative size reads as 0") << chunkedHead + "-3\r\n\r\n3\r\nabc\r\n0\r\n\r\n" << QByteArray("abc");
    QTest::newRow("chunked marker is case-sensitive")
        << QByteArray("HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n")
        << QByteArray("3\r\nabc\r\n0\r\n\r\n");
    QTest::newRow("chunked marker on a non-200 reply")
        << QByteArray("HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n")
        << QByteArray();
}

void TestParsers::replyBody()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, body);
    QCOMPARE(httpReplyBody(reply), body);
}

// A reply cut anywhere gives at most what the whole reply gives, never more and never other bytes.
void TestParsers::truncatedChunkedReplyGivesPrefixOfBody()
{
    const QByteArray full = chunkedHead + "5\r\nhello\r\n1a\r\n abcdefghijklmnopqrstuvwxy\r\n1\r\nZ\r\n0\r\n\r\n";
    const QByteArray wholeBody = httpReplyBody(full);
    QCOMPARE(wholeBody, QByteArray("hello abcdefghijklmnopqrstuvwxyZ"));
    for (int cut = 0; cut <= full.size(); ++cut) {
        // A copy, so that AddressSanitizer sees any read past the cut.
        const QByteArray part(full.constData(), cut);
        const QByteArray body = httpReplyBody(part);
        QVERIFY2(wholeBody.startsWith(body), qPrintable(QStringLiteral("cut at %1").arg(cut)));
        if (cut >= full.size() - 5)
            QCOMPARE(body, wholeBody);
    }
}

void TestParsers::jsonObject_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QJsonObject>("object");
    QTest::addColumn<bool>("warns");

    QTest::newRow("object") << QStringLiteral("{\"a\": 1, \"b\": \"x\"}") << json("{\"a\":1,\"b\":\"x\"}") << false;
    QTest::newRow("utf-8 text") << QStringLiteral("{\"n\": \"\u00e9\"}") << json("{\"n\":\"\xc3\xa9\"}") << false;
    QTest::newRow("array gives empty object, no warning") << QStringLiteral("[1, 2]") << QJsonObject() << false;
    QTest::newRow("valueless sEcho fails") << QStringLiteral("{\"sEcho\": ,\"a\": 1}") << QJsonObject() << true;
    QTest::newRow("valueless sEcho parses after repair")
        << QString::fromUtf8(repairPictureList(QByteArrayLiteral("{\"sEcho\": ,\"a\": 1}"))) << json("{\"a\":1}")
        << false;
    QTest::newRow("truncated object fails") << QStringLiteral("{\"a\": 1") << QJsonObject() << true;
    QTest::newRow("empty text fails") << QString() << QJsonObject() << true;
}

void TestParsers::jsonObject()
{
    QFETCH(QString, text);
    QFETCH(QJsonObject, object);
    QFETCH(bool, warns);
    if (warns) {
        QTest::ignoreMessage(QtWarningMsg, "failure in parsing json string!");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^original string: ")));
    }
    QCOMPARE(parseJsonObject(text), object);
}

void TestParsers::okLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QJsonObject>("object");

    const QString twoLines = QStringLiteral("OK a=1\r\nOK b=x\r\n");
    QTest::newRow("numeric: number and string") << twoLines << true << json("{\"a\":1,\"b\":\"x\"}");
    QTest::newRow("not numeric: both strings") << twoLines << false << json("{\"a\":\"1\",\"b\":\"x\"}");
    QTest::newRow("nan stays text") << QStringLiteral("OK f=nan") << true << json("{\"f\":\"nan\"}");
    QTest::newRow("empty value stays text") << QStringLiteral("OK a=") << true << json("{\"a\":\"\"}");
    QTest::newRow("further = stay in value") << QStringLiteral("OK a=b=c") << false << json("{\"a\":\"b=c\"}");
    QTest::newRow("word without = is empty member") << QStringLiteral("OK ready\n") << true << json("{\"ready\":\"\"}");
    QTest::newRow("empty lines and lone CR or LF dropped")
        << QStringLiteral("\r\n\nOK a=1\r\rOK b=2\n\n") << true << json("{\"a\":1,\"b\":2}");
    QTest::newRow("later key overwrites") << QStringLiteral("OK a=1\nOK a=2") << true << json("{\"a\":2}");
    QTest::newRow("last line without line break counts") << QStringLiteral("OK a=1") << true << json("{\"a\":1}");
    QTest::newRow("second line without prefix empties all")
        << QStringLiteral("OK a=1\r\nb=2\r\n") << true << QJsonObject();
    QTest::newRow("prefix is case-sensitive") << QStringLiteral("ok a=1") << true << QJsonObject();
    QTest::newRow("empty text") << QString() << true << QJsonObject();
}

void TestParsers::okLines()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QFETCH(QJsonObject, object);
    QCOMPARE(parseOkLines(text, numeric), object);
}

void TestParsers::keyValueText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QJsonObject>("object");

    QTest::newRow("last pair without line break dropped") << QStringLiteral("a=1\r\nb=2") << true << json("{\"a\":1}");
    QTest::newRow("last pair with line break kept")
        << QStringLiteral("a=1\r\nb=2\r\n") << true << json("{\"a\":1,\"b\":2}");
    QTest::newRow("not numeric keeps strings") << QStringLiteral("a=1\n") << false << json("{\"a\":\"1\"}");
    QTest::newRow("second = dropped") << QStringLiteral("a=b=c\n") << false << json("{\"a\":\"bc\"}");
    QTest::newRow("empty key stores nothing") << QStringLiteral("=5\nb=1\n") << true << json("{\"b\":1}");
    QTest::newRow("empty value is empty string") << QStringLiteral("a=\n") << true << json("{\"a\":\"\"}");
    QTest::newRow("key without = has empty value") << QStringLiteral("flag\n") << true << json("{\"flag\":\"\"}");
    QTest::newRow("later key overwrites") << QStringLiteral("a=1\na=2\n") << true << json("{\"a\":2}");
    QTest::newRow("empty text") << QString() << true << QJsonObject();
    QTest::newRow("numbers in every spelling")
        << QStringLiteral("a=-12\nb=007\nc=1.5\nd=+3\ne=12345678901\nf=x1\ng=-\n") << true
        << json("{\"a\":-12,\"b\":7,\"c\":1.5,\"d\":3,\"e\":12345678901,\"f\":\"x1\",\"g\":\"-\"}");
}

void TestParsers::keyValueText()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QFETCH(QJsonObject, object);
    QCOMPARE(parseKeyValueText(text, numeric), object);
    QCOMPARE(parseKeyValueHash(text, numeric), object.toVariantHash());
}

void TestParsers::pictureListRepair_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("repaired");

    QTest::newRow("valueless sEcho removed") << QByteArray("{\"sEcho\": ,\"n\":1}") << QByteArray("{\"n\":1}");
    QTest::newRow("sEcho with a value untouched")
        << QByteArray("{\"sEcho\": 1,\"n\":1}") << QByteArray("{\"sEcho\": 1,\"n\":1}");
    QTest::newRow("other spacing untouched")
        << QByteArray("{\"sEcho\":,\"n\":1}") << QByteArray("{\"sEcho\":,\"n\":1}");
    QTest::newRow("cut before the comma untouched") << QByteArray("{\"sEcho\": ") << QByteArray("{\"sEcho\": ");
}

void TestParsers::pictureListRepair()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, repaired);
    QCOMPARE(repairPictureList(body), repaired);
}

void TestParsers::hashInt_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("int") << QVariant(42) << 42;
    QTest::newRow("RecordVideoType") << QVariant::fromValue(RecordVideoType::Smart) << 4;
    QTest::newRow("StreamType") << QVariant::fromValue(StreamType::Sub) << 1;
    QTest::newRow("RecordPictureType") << QVariant::fromValue(RecordPictureType::All) << 2;
    QTest::newRow("enum outside the named values") << QVariant::fromValue(static_cast<RecordVideoType>(-7)) << -7;
    QTest::newRow("numeric text") << QVariant(QStringLiteral("12")) << 12;
    QTest::newRow("JSON number as double") << QVariant(12.0) << 12;
    QTest::newRow("double rounds") << QVariant(3.6) << 4;
    QTest::newRow("double beyond 32 bits") << QVariant(1e300) << 0;
    QTest::newRow("nan") << QVariant(std::numeric_limits<double>::quiet_NaN()) << 0;
    QTest::newRow("unsigned beyond 32 bits") << QVariant(~qulonglong(0)) << 0;
    QTest::newRow("text beyond 32 bits") << QVariant(QStringLiteral("3000000000")) << 0;
    QTest::newRow("missing key") << QVariant() << 0;
}

void TestParsers::hashInt()
{
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    QVariantHash hash;
    if (value.isValid())
        hash.insert(QStringLiteral("k"), value);
    QCOMPARE(lydevice::hashInt(hash, QStringLiteral("k")), expected);
}

void TestParsers::hashTruncated_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("positive toward zero") << QVariant(3.9) << 3;
    QTest::newRow("negative toward zero") << QVariant(-3.9) << -3;
    QTest::newRow("numeric text") << QVariant(QStringLiteral("16.7")) << 16;
    QTest::newRow("int max fits") << QVariant(2147483647.9) << 2147483647;
    QTest::newRow("beyond 32 bits") << QVariant(3e9) << 0;
    QTest::newRow("nan") << QVariant(std::numeric_limits<double>::quiet_NaN()) << 0;
    QTest::newRow("missing key") << QVariant() << 0;
}

void TestParsers::hashTruncated()
{
    QFETCH(QVariant, value);
    QFETCH(int, expected);
    QVariantHash hash;
    if (value.isValid())
        hash.insert(QStringLiteral("k"), value);
    QCOMPARE(lydevice::hashTruncated(hash, QStringLiteral("k")), expected);
}

void TestParsers::hashImage()
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QVariantHash hash { { QStringLiteral("image"), image }, { QStringLiteral("text"), QStringLiteral("x") } };
    QCOMPARE(lydevice::hashImage(hash, QStringLiteral("image")), image);
    QVERIFY(lydevice::hashImage(hash, QStringLiteral("text")).isNull());
    QVERIFY(lydevice::hashImage(hash, QStringLiteral("missing")).isNull());
}

void TestParsers::channelMask_data()
{
    QTest::addColumn<QVector<int>>("channels");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QVector<int>>("rejected");

    QTest::newRow("channels 0 and 3") << QVector<int> { 0, 3 } << QStringLiteral("1001") + zeros(60) << QVector<int>();
    QTest::newRow("no channel") << QVector<int>() << zeros(64) << QVector<int>();
    QTest::newRow("last channel") << QVector<int> { 63 } << zeros(63) + QStringLiteral("1") << QVector<int>();
    QTest::newRow("duplicates") << QVector<int> { 2, 2 } << QStringLiteral("001") + zeros(61) << QVector<int>();
    QTest::newRow("out of range left out")
        << QVector<int> { -1, 1, 64, 100000 } << QStringLiteral("01") + zeros(62) << QVector<int> { -1, 64, 100000 };
}

void TestParsers::channelMask()
{
    QFETCH(QVector<int>, channels);
    QFETCH(QString, mask);
    QFETCH(QVector<int>, rejected);
    for (const int channel : rejected) {
        const QByteArray message = "channel out of range, left out of the mask: " + QByteArray::number(channel);
        QTest::ignoreMessage(QtWarningMsg, message.constData());
    }
    QCOMPARE(lydevice::channelMask(channels), mask);
}

void TestParsers::codesForRecordType_data()
{
    QTest::addColumn<int>("videoType");
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("subType");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("typeCode");

    QTest::newRow("0 all") << 0 << 2 << 0 << QStringLiteral("35") << 1;
    QTest::newRow("1 general") << 1 << 2 << 0 << QStringLiteral("2") << 2;
    QTest::newRow("2 alarm") << 2 << 64 << 511 << QStringLiteral("32") << 5;
    QTest::newRow("3 motion") << 3 << 128 << 16 << QStringLiteral("128") << 6;
    QTest::newRow("4 smart") << 4 << 128 << 2 << QStringLiteral("256") << 7;
    QTest::newRow("5 sensor") << 5 << 128 << 1 << QStringLiteral("64") << 4;
    QTest::newRow("6 takes the defaults") << 6 << 2 << 0 << QStringLiteral("484") << 0;
    QTest::newRow("negative takes the defaults") << -1 << 2 << 0 << QStringLiteral("484") << 0;
}

void TestParsers::codesForRecordType()
{
    QFETCH(int, videoType);
    QFETCH(int, event);
    QFETCH(int, subType);
    QFETCH(QString, mask);
    QFETCH(int, typeCode);
    const EventCodes codes = eventCodes(videoType);
    QCOMPARE(codes.event, event);
    QCOMPARE(codes.subType, subType);
    QCOMPARE(typeMask(videoType), mask);
    QCOMPARE(recordTypeCode(videoType), typeCode);
}

void TestParsers::wireTimes()
{
    const QDateTime time = localTime(2024, 3, 5, 7, 8, 9);
    QCOMPARE(queryTime(time), QStringLiteral("2024-03-05%2007:08:09"));
    QCOMPARE(plainTime(time), QStringLiteral("2024-03-05 07:08:09"));
    QCOMPARE(compactTime(time), QStringLiteral("20240305070809"));
    QVERIFY(sameTime(parseDeviceTime(QStringLiteral("2024-03-05 07:08:09")), time));
    QVERIFY(!parseDeviceTime(QStringLiteral("2024-03-05T07:08:09")).isValid());
    QCOMPARE(timeObject(time), json("{\"year\":2024,\"month\":3,\"day\":5,\"hour\":7,\"minute\":8,\"second\":9}"));
    // The object takes the fields as the time holds them, without converting to local time.
    const QDateTime utc(QDate(2024, 12, 31), QTime(23, 59, 58), Qt::UTC);
    QCOMPARE(timeObject(utc).value(QStringLiteral("hour")).toInt(), 23);
    QCOMPARE(streamFlag(1), QStringLiteral("1"));
    QCOMPARE(streamFlag(2), QStringLiteral("0"));
    QCOMPARE(streamFlagNumber(1), 1);
    QCOMPARE(streamFlagNumber(-1), 0);
}

void TestParsers::deviceTimeAgreesWithFormatParser_data()
{
    // Well-formed texts are read by hand; the result must be what Qt's format parser makes of
    // them, also around daylight-saving switches (a missing and a repeated hour).
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");
    for (const char *text : { "2024-03-05 07:08:09",
             "1999-12-31 23:59:59",
             "2024-02-29 00:00:00",
             "2023-02-29 00:00:00",
             "2024-13-01 00:00:00",
             "2024-03-05 24:00:00",
             "2024-03-05 07:60:09",
             "0000-01-01 00:00:00",
             "2024-03-05 07:08:0x",
             "2024-03-05 07:08:9",
             "2024-03-05  7:08:09",
             "2024/03/05 07:08:09",
             "",
             "2024-03-05 07:08:09 " })
        QTest::newRow(text) << QByteArray() << QString::fromLatin1(text);
    for (const char *text : { "2024-03-31 01:59:59",
             "2024-03-31 02:30:00",
             "2024-03-31 03:00:00",
             "2024-10-27 01:30:00",
             "2024-10-27 02:30:00",
             "2024-10-27 03:00:00" })
        QTest::newRow(qPrintable(QStringLiteral("Europe/Berlin ") + QLatin1String(text)))
            << QByteArray("Europe/Berlin") << QString::fromLatin1(text);
    QTest::newRow("half-hour switch") << QByteArray("Australia/Lord_Howe") << QStringLiteral("2024-04-07 01:45:00");
}

void TestParsers::deviceTimeAgreesWithFormatParser()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, text);
    const QByteArray oldZone = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    if (!zone.isEmpty())
        qputenv("TZ", zone);
    const QDateTime expected = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QDateTime parsed = parseDeviceTime(text);
    if (hadZone)
        qputenv("TZ", oldZone);
    else
        qunsetenv("TZ");
    QCOMPARE(parsed.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(parsed, expected);
        QCOMPARE(parsed.timeSpec(), Qt::LocalTime);
    }
}

void TestParsers::recordFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("type");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("end");

    const QDateTime start = localTime(2024, 3, 5, 7, 8, 9);
    QTest::newRow("valid") << QStringLiteral("120240305070809_600") << 1 << start << start.addSecs(600);
    QTest::newRow("separator is any character")
        << QStringLiteral("520240305070809x5") << 5 << start << start.addSecs(5);
    QTest::newRow("no duration") << QStringLiteral("120240305070809_") << 1 << start << start;
    QTest::newRow("duration no number") << QStringLiteral("120240305070809_ab") << 1 << start << start;
    QTest::newRow("duration beyond 32 bits") << QStringLiteral("120240305070809_99999999999") << 1 << start << start;
    QTest::newRow("negative duration") << QStringLiteral("120240305070809_-60") << 1 << start << start;
    QTest::newRow("duration over a year bounded")
        << QStringLiteral("120240305070809_2000000000") << 1 << start << start.addSecs(366 * 24 * 3600);
    QTest::newRow("cut in the date") << QStringLiteral("1202403") << 1 << QDateTime() << QDateTime();
    QTest::newRow("no such month") << QStringLiteral("120241305070809_1") << 1 << QDateTime() << QDateTime();
    QTest::newRow("empty") << QString() << 0 << QDateTime() << QDateTime();
}

void TestParsers::recordFile()
{
    QFETCH(QString, file);
    QFETCH(int, type);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, end);
    const QVariantHash entry = parseRecordFile(file);
    QCOMPARE(entry.size(), 3);
    QCOMPARE(entry.value(QStringLiteral("type")).toInt(), type);
    QVERIFY(sameTime(entry.value(QStringLiteral("start")).toDateTime(), start));
    QVERIFY(sameTime(entry.value(QStringLiteral("end")).toDateTime(), end));
}

QTEST_GUILESS_MAIN(TestParsers)

#include "tst_parsers.moc"
