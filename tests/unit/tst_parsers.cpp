// The pure reply parsers: raw HTTP replies, the three body forms, typed reads from hashes.

#include <parse/HashAccess.h>
#include <parse/HttpReply.h>
#include <parse/ReplyParsers.h>
#include <protocol/RecordReplyReading.h>

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QtTest>

#include <limits>

using namespace lydevice;

namespace
{

const QByteArray chunkedHead("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");

// A recorder record reply made of random lines: most replies plain, as recorders send them, the
// others with every odd kind of line.
QByteArray randomRecordReply(QRandomGenerator &random)
{
    const auto pick = [&](std::initializer_list<const char *> items) {
        return QByteArray(items.begin()[random.bounded(int(items.size()))]);
    };
    const bool odd = random.bounded(4) == 0;
    QByteArray body;
    const int lines = random.bounded(40);
    for (int i = 0; i < lines; ++i) {
        const QByteArray index = odd && random.bounded(4) == 0
            ? pick({ "07", "", "x", "-1", "1234567890123" })
            : QByteArray::number(random.bounded(random.bounded(20) ? 12 : 100000));
        const QByteArray key = random.bounded(6) == 0 ? pick({ "cnt", "sid", "allCnt", "", "other", "cnt2" })
                                                      : pick({ "startTime", "endTime", "recordType" }) + index;
        QByteArray value = random.bounded(3) == 0
            ? pick({ "12",
                "-3",
                "100",
                "12.7",
                "1e2",
                "",
                "nan",
                "+5",
                " 7",
                "abc",
                "2024-02-30 10:00:00",
                "2a24-03-05 07:01:00",
                "2024-3-5 7:1:0",
                "2147483648" })
            : QDateTime(QDate(2024, 3, 5), QTime(random.bounded(24), random.bounded(60), random.bounded(60)))
                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                  .toLatin1();
        if (odd && random.bounded(8) == 0)
            value += pick({ "=b", "\xc3\xa9", "\r", "x" }) + QByteArray(1, '\0');
        body += key + (random.bounded(20) ? "=" : "") + value + (random.bounded(2) ? "\r\n" : "\n");
    }
    return random.bounded(5) ? body : body + "cnt=5";
}

} // namespace

class TestParsers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void httpReply_data();
    void httpReply();
    void cutChunkedReplyGivesPrefixOfBody();
    void bodyParsers_data();
    void bodyParsers();
    void hashAccess_data();
    void hashAccess();
    void recordReplyReadersAgree();
};

void TestParsers::httpReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    // clang-format off
    QTest::newRow("1.1, 200 with Content-Length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << 200 << QByteArray("hello");
    QTest::newRow("1.0, 200") << QByteArray("HTTP/1.0 200 OK\r\n\r\nhello") << 200 << QByteArray("hello");
    QTest::newRow("1.0, 404 has no body") << QByteArray("HTTP/1.0 404 Not Found\r\n\r\nboom") << 404 << QByteArray();
    QTest::newRow("206 is read, has no body") << QByteArray("HTTP/1.1 206 Partial\r\n\r\nabc") << 206 << QByteArray();
    QTest::newRow("reason in other letter case has no body") << QByteArray("HTTP/1.1 200 ok\r\n\r\nhello") << 200 << QByteArray();
    QTest::newRow("leading zeros in the code") << QByteArray("HTTP/1.1 0200 OK\r\n\r\nx") << 200 << QByteArray();
    QTest::newRow("no blank after the code") << QByteArray("HTTP/1.1 200\r\n\r\nx") << -1 << QByteArray();
    QTest::newRow("letters in the code") << QByteArray("HTTP/1.1 2x0 OK\r\n\r\nx") << -1 << QByteArray();
    QTest::newRow("version 1.2") << QByteArray("HTTP/1.2 200 OK\r\n\r\nx") << -1 << QByteArray();
    QTest::newRow("text before the version") << QByteArray(" HTTP/1.1 200 OK\r\n\r\nx") << -1 << QByteArray();
    QTest::newRow("code beyond 32 bits") << QByteArray("HTTP/1.1 4294967496 OK\r\n\r\nx") << -1 << QByteArray();
    QTest::newRow("cut in the code") << QByteArray("HTTP/1.1 20") << -1 << QByteArray();
    QTest::newRow("empty") << QByteArray() << -1 << QByteArray();
    QTest::newRow("no end of headers") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n") << 200 << QByteArray();
    QTest::newRow("status line only") << QByteArray("HTTP/1.1 200 OK") << 200 << QByteArray();
    QTest::newRow("two chunks joined") << chunkedHead + "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n" << 200 << QByteArray("hello world");
    QTest::newRow("lower- and upper-case hex sizes") << chunkedHead + "a\r\n0123456789\r\nA\r\nabcdefghij\r\n0\r\n\r\n" << 200 << QByteArray("0123456789abcdefghij");
    QTest::newRow("chunk holding line breaks") << chunkedHead + "4\r\na\r\nb\r\n0\r\n\r\n" << 200 << QByteArray("a\r\nb");
    QTest::newRow("size with leading zero ends decoding") << chunkedHead + "5\r\nhello\r\n06\r\n world\r\n0\r\n\r\n" << 200 << QByteArray("hello");
    QTest::newRow("first size with leading zero is still read") << chunkedHead + "05\r\nhello\r\n0\r\n\r\n" << 200 << QByteArray("hello");
    QTest::newRow("trailer after the last chunk ignored") << chunkedHead + "3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n3\r\nxyz\r\n" << 200 << QByteArray("abc");
    QTest::newRow("chunk extension reads as size 0") << chunkedHead + "3;ext=1\r\n\r\n3\r\nabc\r\n0\r\n\r\n" << 200 << QByteArray("abc");
    QTest::newRow("chunked header with empty body") << chunkedHead << 200 << QByteArray();
    QTest::newRow("body only the last chunk") << chunkedHead + "0\r\n\r\n" << 200 << QByteArray();
    QTest::newRow("data ends before the last chunk") << chunkedHead + "3\r\nabc\r\n" << 200 << QByteArray("abc");
    QTest::newRow("chunk shorter than its size") << chunkedHead + "10\r\nabc" << 200 << QByteArray("abc");
    QTest::newRow("size line without line break") << chunkedHead + "3\r\nabc\r\n5" << 200 << QByteArray("abc");
    QTest::newRow("huge size takes what is there") << chunkedHead + "7fffffffffffffff\r\nabc\r\n0\r\n\r\n" << 200 << QByteArray("abc\r\n0\r\n\r\n");
    QTest::newRow("size beyond 64 bits reads as 0") << chunkedHead + "fffffffffffffffffffff\r\n\r\n3\r\nabc\r\n0\r\n\r\n" << 200 << QByteArray("abc");
    QTest::newRow("negative size reads as 0") << chunkedHead + "-3\r\n\r\n3\r\nabc\r\n0\r\n\r\n" << 200 << QByteArray("abc");
    QTest::newRow("chunked marker is case-sensitive") << QByteArray("HTTP/1.1 200 OK\r\ntransfer-encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n") << 200 << QByteArray("3\r\nabc\r\n0\r\n\r\n");
    QTest::newRow("chunked marker on a 404") << QByteArray("HTTP/1.1 404 Not Found\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n") << 404 << QByteArray();
    // clang-format on
}

void TestParsers::httpReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QCOMPARE(httpStatusCode(QString::fromUtf8(reply)), status);
    QCOMPARE(httpReplyBody(reply), body);
}

// A reply cut anywhere gives at most what the whole reply gives, never other bytes.
void TestParsers::cutChunkedReplyGivesPrefixOfBody()
{
    const QByteArray full = chunkedHead + "5\r\nhello\r\n1a\r\n abcdefghijklmnopqrstuvwxy\r\n1\r\nZ\r\n0\r\n\r\n";
    const QByteArray whole = httpReplyBody(full);
    QCOMPARE(whole, QByteArray("hello abcdefghijklmnopqrstuvwxyZ"));
    for (int cut = 0; cut <= full.size(); ++cut) {
        const QByteArray part(full.constData(), cut); // a copy, so that AddressSanitizer sees reads past the cut
        const QByteArray body = httpReplyBody(part);
        QVERIFY2(whole.startsWith(body), qPrintable(QStringLiteral("cut at %1").arg(cut)));
        if (cut >= full.size() - 5)
            QCOMPARE(body, whole);
    }
}

void TestParsers::bodyParsers_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QByteArray>("object");

    const auto row = [](const char *name, const char *parser, const char *text, bool numeric, const char *object) {
        QTest::addRow("%s: %s", parser, name)
            << QString::fromLatin1(parser) << QString::fromUtf8(text) << numeric << QByteArray(object);
    };
    // clang-format off
    row("last pair without line break dropped", "kv", "a=1\r\nb=2", true, R"({"a":1})");
    row("last pair with line break kept", "kv", "a=1\r\nb=2\r\n", true, R"({"a":1,"b":2})");
    row("not numeric keeps strings", "kv", "a=1\n", false, R"({"a":"1"})");
    row("second = dropped", "kv", "a=b=c\n", false, R"({"a":"bc"})");
    row("empty key stores nothing", "kv", "=5\nb=1\n", true, R"({"b":1})");
    row("empty value, key without =", "kv", "a=\nflag\n", true, R"({"a":"","flag":""})");
    row("later key overwrites", "kv", "a=1\na=2\n", true, R"({"a":2})");
    row("numbers in every spelling", "kv", "a=-12\nb=007\nc=1.5\nd=+3\ne=12345678901\nf=x1\ng=-\n", true,
        R"({"a":-12,"b":7,"c":1.5,"d":3,"e":12345678901,"f":"x1","g":"-"})");
    row("empty text", "kv", "", true, "{}");
    row("numeric: number and string", "ok", "OK a=1\r\nOK b=x\r\n", true, R"({"a":1,"b":"x"})");
    row("not numeric: both strings", "ok", "OK a=1\r\nOK b=x\r\n", false, R"({"a":"1","b":"x"})");
    row("nan and empty values stay text", "ok", "OK f=nan\nOK a=", true, R"({"f":"nan","a":""})");
    row("further = stay in the value", "ok", "OK a=b=c", false, R"({"a":"b=c"})");
    row("word without = is an empty member", "ok", "OK ready\n", true, R"({"ready":""})");
    row("empty key", "ok", "OK =5", true, R"({"":5})");
    row("empty lines and lone CR or LF dropped", "ok", "\r\n\nOK a=1\r\rOK b=2\n\n", true, R"({"a":1,"b":2})");
    row("later key overwrites, last line counts", "ok", "OK a=1\nOK a=2", true, R"({"a":2})");
    row("second line without prefix empties all", "ok", "OK a=1\r\nb=2\r\n", true, "{}");
    row("prefix is case-sensitive", "ok", "ok a=1", true, "{}");
    row("object", "json", "{\"a\": 1, \"b\": \"é\"}", false, R"({"a":1,"b":"é"})");
    row("array gives an empty object", "json", "[1, 2]", false, "{}");
    row("valueless sEcho fails", "json", "{\"sEcho\": ,\"a\": 1}", false, "{}");
    row("truncated object fails", "json", "{\"a\": 1", false, "{}");
    row("empty text fails", "json", "", false, "{}");
    // clang-format on
}

void TestParsers::bodyParsers()
{
    QFETCH(QString, parser);
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QFETCH(QByteArray, object);
    const QJsonObject parsed = parser == QLatin1String("kv") ? parseKeyValueText(text, numeric)
        : parser == QLatin1String("ok")                      ? parseOkLines(text, numeric)
                                                             : parseJsonObject(text);
    QCOMPARE(parsed, QJsonDocument::fromJson(object).object());
}

void TestParsers::hashAccess_data()
{
    QTest::addColumn<QString>("accessor");
    QTest::addColumn<QVariant>("value"); // invalid: the key is missing
    QTest::addColumn<QVariant>("expected");

    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    const auto row = [](const char *name, const char *accessor, const QVariant &value, const QVariant &expected) {
        QTest::addRow("%s: %s", accessor, name) << QString::fromLatin1(accessor) << value << expected;
    };
    // clang-format off
    row("int", "int", 42, 42);
    row("numeric text", "int", QStringLiteral("12"), 12);
    row("double rounds", "int", 3.6, 4);
    row("float of four bytes rounds too", "int", 2.6f, 3);
    row("double beyond 32 bits", "int", 1e300, 0);
    row("nan", "int", std::numeric_limits<double>::quiet_NaN(), 0);
    row("unsigned beyond 32 bits", "int", ~qulonglong(0), 0);
    row("text beyond 32 bits", "int", QStringLiteral("3000000000"), 0);
    row("missing", "int", QVariant(), 0);
    row("numeric text", "double", QStringLiteral("16.7"), 16.7);
    row("missing", "double", QVariant(), 0.0);
    row("number", "string", 12, QStringLiteral("12"));
    row("date-time", "time", QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)), QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)));
    row("text that is no time", "time", QStringLiteral("noon"), QDateTime());
    row("list", "list", QVariantList { 1, 2 }, QVariantList { 1, 2 });
    row("text is no list", "list", QStringLiteral("x"), QVariantList());
    row("image", "image", image, image);
    row("text is no image", "image", QStringLiteral("x"), QImage());
    row("missing", "image", QVariant(), QImage());
    // clang-format on
}

void TestParsers::hashAccess()
{
    QFETCH(QString, accessor);
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    QVariantHash hash { { QStringLiteral("other"), 1 } };
    if (value.isValid())
        hash.insert(QStringLiteral("k"), value);
    const QString k = QStringLiteral("k");
    const QVariant read = accessor == QLatin1String("int") ? QVariant(hashInt(hash, k))
        : accessor == QLatin1String("double")              ? QVariant(hashDouble(hash, k))
        : accessor == QLatin1String("string")              ? QVariant(hashString(hash, k))
        : accessor == QLatin1String("time")                ? QVariant(hashDateTime(hash, k))
        : accessor == QLatin1String("list")                ? QVariant(hashList(hash, k))
                                                           : QVariant(hashImage(hash, k));
    QCOMPARE(read.userType(), expected.userType());
    if (accessor == QLatin1String("time"))
        QCOMPARE(read.toDateTime().isValid(), expected.toDateTime().isValid());
    QCOMPARE(read, expected);
}

void TestParsers::recordReplyReadersAgree()
{
    // The one-pass reader must give exactly what the general key=value parse gives, or leave the
    // body to it; it must take the plain replies recorders send.
    QVector<QByteArray> bodies { "cnt=2\r\nsid=7\r\nallCnt=9\r\nrecordType0=16\r\nstartTime0=2024-03-05 07:00:00\r\n"
                                 "endTime1=2024-03-05 07:00:30\r\nrecordType1=1\r\n",
        "cnt=1\nstartTime0=2024-03-05 07:00:00\nstartTime0=2024-03-05 08:00:00\nendTime00=x\n",
        "cnt=20000\nrecordType9999=5\n",
        "cnt=-4\nsid=1e3\n",
        "cnt=3\nrecordType2\n=5\n" };
    QRandomGenerator random(20261206);
    for (int i = 0; i < 4000; ++i)
        bodies << randomRecordReply(random);
    int fast = 0;
    const auto same = [](const std::optional<RecordTime> &a, const std::optional<RecordTime> &b) {
        const QDateTime x = a ? a->toDateTime() : QDateTime();
        const QDateTime y = b ? b->toDateTime() : QDateTime();
        return a.has_value() == b.has_value() && x.date() == y.date() && x.time() == y.time()
            && x.timeSpec() == y.timeSpec() && x.isValid() == y.isValid();
    };
    for (const QByteArray &body : qAsConst(bodies)) {
        for (const RecordKeys keys : { RecordKeys::Exact, RecordKeys::Loose }) {
            const std::optional<RecorderReply> quick
                = readRecordReplyFast(std::string_view(body.data(), body.size()), keys);
            if (!quick)
                continue;
            ++fast;
            const RecorderReply general = readRecordReply(body, keys);
            const QByteArray what = body.toPercentEncoding(" =:-.");
            QVERIFY2(quick->count == general.count && quick->handle == general.handle && quick->total == general.total,
                what);
            QCOMPARE(quick->records.size(), general.records.size());
            for (int r = 0; r < general.records.size(); ++r) {
                const RecorderRecord &a = quick->records.at(r);
                const RecorderRecord &b = general.records.at(r);
                QVERIFY2(a.type == b.type && same(a.start, b.start) && same(a.end, b.end), what);
            }
        }
    }
    QVERIFY2(fast > bodies.size(), qPrintable(QStringLiteral("the one-pass reader took %1 readings").arg(fast)));
}

QTEST_GUILESS_MAIN(TestParsers)
#include "tst_parsers.moc"
