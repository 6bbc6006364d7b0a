// Picture reads of recorders and cameras over HTTP, driven through the record manager against the
// scripted fake device: which page and picture requests go out, how the camera download and the
// recorder's base64 reply become an image, and what happens to reads that cannot go on.

#include "PictureFixtures.h"

#include <QImageReader>
#include <QtTest>

using namespace lydevice;
using namespace lydevice::test;

namespace
{

QString pageRoute(bool recorder)
{
    return recorder ? searchPage : listRoute;
}

QString pictureRoute(bool recorder)
{
    return recorder ? searchIndex : QStringLiteral("dataloader");
}

HttpAnswer fullPage(bool recorder, int page)
{
    return HttpAnswer::body(recorder ? recorderPage(77, 250, page * 100, 100) : cameraList(45, page * 30, 30));
}

const QByteArray downloadHead("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                              "Content-Disposition: attachment; filename=\"IMG.jpg\"\r\n\r\n");

HttpAnswer pictureAnswer(bool recorder, const QByteArray &picture)
{
    if (recorder)
        return HttpAnswer::body("result=0\r\ndata=" + picture.toBase64() + "\r\n");
    return HttpAnswer::raw200(downloadHead + picture);
}

void expectWarnings(const QStringList &warnings)
{
    for (const QString &warning : warnings)
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
}

} // namespace

class TestPictureRead : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void pictureRead_data();
    void pictureRead();
    void readWithoutPicture_data();
    void readWithoutPicture();

    void secondReadRefusedWhileFirstRuns_data();
    void secondReadRefusedWhileFirstRuns();
    void cancelDropsLateReply_data();
    void cancelDropsLateReply();
};

void TestPictureRead::initTestCase()
{
    // The pictures the tests make must decode here, as they must in a host application.
    QVERIFY(QImageReader::supportedImageFormats().contains("jpeg"));
    QVERIFY(QImageReader::supportedImageFormats().contains("png"));
    QVERIFY(!encodedPicture("JPEG").isEmpty());
    QVERIFY(!encodedPicture("PNG").isEmpty());
}

void TestPictureRead::init()
{
    FakeDevice::instance().reset();
}

void TestPictureRead::pictureRead_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<int>("heldPage");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("pageRequest"); // the page value sent, "" without a page request
    QTest::addColumn<HttpAnswer>("answer");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("decodes"); // 0: null image, 1: the drawn size, 2: exactly what was drawn (lossless)
    QTest::addColumn<QStringList>("warnings");

    const QByteArray jpeg = encodedPicture("JPEG");
    const QByteArray png = encodedPicture("PNG");
    const QByteArray garbage("these bytes are no picture");
    const QString crlfTail = QStringLiteral("cannot find http header tail:  \"0d0a0d0a\"");
    const auto jpegAt = [&](const char *name, bool recorder, int heldPage, int index, const QString &pageRequest) {
        QTest::newRow(name) << recorder << heldPage << index << pageRequest << pictureAnswer(recorder, jpeg)
                            << int(jpeg.size()) << 1 << QStringList();
    };

    jpegAt("camera 65 with page 2 held: no page request", false, 2, 65, QString());
    jpegAt("camera 65 with page 0 held: page 2 first", false, 0, 65, QStringLiteral("60"));
    jpegAt("recorder 250 with page 0 held: page 3 first", true, 0, 250, QStringLiteral("3"));
    jpegAt("recorder 99, last of the first page", true, 0, 99, QString());

    const QStringList none;
    QTest::newRow("camera PNG after bare LF end of headers: one warning")
        << false << 0 << 3 << QString()
        << HttpAnswer::raw200("HTTP/1.1 200 OK\r\nContent-Type: image/png\nContent-Disposition: x.png\n\n" + png)
        << int(png.size()) << 2 << QStringList { crlfTail };
    QTest::newRow("camera headers before Content-Disposition are dropped")
        << false << 0 << 3 << QString()
        << HttpAnswer::raw200("HTTP/1.1 200 OK\r\nX-A: 1\r\n\r\nContent-Disposition: y\r\n\r\n" + png)
        << int(png.size()) << 2 << none;
    QTest::newRow("camera bytes that are no picture: size, null image")
        << false << 0 << 3 << QString() << HttpAnswer::raw200(downloadHead + garbage) << int(garbage.size()) << 0
        << none;
    QTest::newRow("camera without Content-Disposition")
        << false << 0 << 3 << QString()
        << HttpAnswer::raw200("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + jpeg) << 0 << 0
        << QStringList { QStringLiteral("cannot find http header [Content-Disposition]") };
    QTest::newRow("camera headers that never end")
        << false << 0 << 3 << QString() << HttpAnswer::raw200("HTTP/1.1 200 OK\r\nContent-Disposition: attachment\r\n")
        << 0 << 0 << QStringList { crlfTail, QStringLiteral("cannot find http header tail:  \"0a0a\"") };
    QTest::newRow("camera status 404") << false << 0 << 3 << QString() << HttpAnswer::status(404, downloadHead + jpeg)
                                       << 0 << 0 << none;
    QTest::newRow("recorder base64 JPEG after other values, line break after")
        << true << 0 << 3 << QString() << HttpAnswer::body("result=0\r\nchnid=2\r\ndata=" + jpeg.toBase64() + "\r\n")
        << int(jpeg.size()) << 1 << none;
    QTest::newRow("recorder base64 PNG in a chunked body")
        << true << 0 << 3 << QString() << HttpAnswer::chunked("data=" + png.toBase64(), 64) << int(png.size()) << 2
        << none;
    QTest::newRow("recorder bytes that are no picture: size, null image")
        << true << 0 << 3 << QString() << HttpAnswer::body("data=" + garbage.toBase64() + "\r\n") << int(garbage.size())
        << 0 << none;
    QTest::newRow("recorder reply without data=")
        << true << 0 << 3 << QString() << HttpAnswer::body("result=-1\r\n") << 0 << 0
        << QStringList { QStringLiteral("cannot find picture data in reply") };
    QTest::newRow("recorder status 500") << true << 0 << 3 << QString()
                                         << HttpAnswer::status(500, "data=" + jpeg.toBase64()) << 0 << 0 << none;
    QTest::newRow("recorder transport failure") << true << 0 << 3 << QString() << HttpAnswer::failure() << 0 << 0
                                                << QStringList { QStringLiteral("failure in reading picture") };
}

void TestPictureRead::pictureRead()
{
    QFETCH(bool, recorder);
    QFETCH(int, heldPage);
    QFETCH(int, index);
    QFETCH(QString, pageRequest);
    QFETCH(HttpAnswer, answer);
    QFETCH(int, size);
    QFETCH(int, decodes);
    QFETCH(QStringList, warnings);

    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    QVERIFY(openSearch(manager, target));
    if (heldPage != 0) {
        device.http(pageRoute(recorder), fullPage(recorder, heldPage));
        readPicturePage(manager, target, heldPage);
        QVERIFY(device.waitIdle());
        QCOMPARE(contextOf(manager, target).currentPage, heldPage);
    }

    const int page = index / (recorder ? 100 : 30);
    const int from = device.sent().size();
    if (!pageRequest.isEmpty()) {
        device.http(pageRoute(recorder), fullPage(recorder, page));
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("move to page:  %1").arg(page)));
    }
    device.http(pictureRoute(recorder), answer);
    expectWarnings(warnings);
    const AnswersPtr answers = readPicture(manager, target, index);
    QCOMPARE(answers->calls, 0);
    QVERIFY(device.waitIdle());
    QCOMPARE(answers->calls, 1);

    // The page request first, then the picture named by its place on the page and its whole index.
    QStringList routes { pictureRoute(recorder) };
    if (!pageRequest.isEmpty()) {
        routes.prepend(pageRoute(recorder));
        const HttpRequest pageSent = device.httpRequests().at(from);
        QCOMPARE(pageSent.value(recorder ? QStringLiteral("page") : QStringLiteral("iDisplayStart")), pageRequest);
    }
    QCOMPARE(routesFrom(from), routes);
    const HttpRequest pictureSent = device.httpRequests().last();
    QCOMPARE(pictureSent.path, recorder ? QStringLiteral("/sdk.cgi") : QStringLiteral("/dataloader.cgi"));
    const QStringList query = recorder ? QStringList { QStringLiteral("action=") + searchIndex,
        QStringLiteral("chnid=%1").arg(pictureChannel(index)),
        QStringLiteral("sid=77"),
        QStringLiteral("pts=") + pictureName(true, index),
        QStringLiteral("base64=1") }
                                       : QStringList { QStringLiteral("dw=sd"),
                                             QStringLiteral("filename=") + pictureName(false, index),
                                             QStringLiteral("time_start=2024-03-01%2008:00:00"),
                                             QStringLiteral("time_end=2024-03-01%2018:30:05"),
                                             QStringLiteral("index=%1").arg(index),
                                             QStringLiteral("sid=3"),
                                             QStringLiteral("uuid=5f2c9e1a-uuid") };
    QCOMPARE(queryPairs(pictureSent), query);

    // The page loaded on the way stays held; the total is untouched.
    QCOMPARE(contextOf(manager, target).currentPage, page);
    QCOMPARE(contextOf(manager, target).pictureTotal, recorder ? 250 : 45);
    QCOMPARE(answers->size, quint64(size));
    QCOMPARE(answers->image.isNull(), decodes == 0);
    if (decodes > 0)
        QCOMPARE(answers->image.size(), samplePicture().size());
    if (decodes > 1)
        QCOMPARE(answers->image.convertToFormat(QImage::Format_RGB32), samplePicture());
}

void TestPictureRead::readWithoutPicture_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<int>("index");
    QTest::addColumn<HttpAnswer>("pageAnswer"); // failure() with pageStep false: no page request
    QTest::addColumn<bool>("pageStep");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("heldPage");

    QTest::newRow("camera index past the entries of the held page")
        << false << 5 << HttpAnswer::failure() << false << QStringLiteral("picture is not existing. index:  5") << 0;
    QTest::newRow("recorder negative index of another page")
        << true << -250 << HttpAnswer::failure() << false << QStringLiteral("picture is not existing. index:  -250")
        << 0;
    QTest::newRow("camera page loaded on the way lacks the picture: page kept")
        << false << 40 << HttpAnswer::body(cameraList(45, 30, 5)) << true
        << QStringLiteral("picture is not existing. index:  40") << 1;
    QTest::newRow("camera page step fails: held page unchanged")
        << false << 40 << HttpAnswer::failure() << true << QString() << 0;
    QTest::newRow("recorder page step fails with a warning")
        << true << 150 << HttpAnswer::failure() << true << QStringLiteral("failure in reading next page. page:  1")
        << 0;
}

void TestPictureRead::readWithoutPicture()
{
    QFETCH(bool, recorder);
    QFETCH(int, index);
    QFETCH(HttpAnswer, pageAnswer);
    QFETCH(bool, pageStep);
    QFETCH(QString, warning);
    QFETCH(int, heldPage);

    // A short first page, so that the held page has places without an entry.
    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    device.http(recorder ? searchOpen : listRoute,
        HttpAnswer::body(recorder ? recorderPage(77, 250, 0, 10) : cameraList(45, 0, 2)));
    searchPicture(manager, target);
    QVERIFY(device.waitIdle());
    const QVariantList firstPage = contextOf(manager, target).pictureList;
    QVERIFY(!firstPage.isEmpty());

    const int from = device.sent().size();
    if (pageStep)
        device.http(pageRoute(recorder), pageAnswer);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    const AnswersPtr answers = readPicture(manager, target, index);
    QCOMPARE(answers->calls, 0); // even a read that asks nothing answers later
    QTRY_COMPARE(answers->calls, 1);
    QVERIFY(device.waitIdle());
    QCOMPARE(answers->calls, 1);
    QCOMPARE(answers->size, quint64(0));
    QVERIFY(answers->image.isNull());
    QCOMPARE(routesFrom(from), pageStep ? QStringList(pageRoute(recorder)) : QStringList());
    QCOMPARE(contextOf(manager, target).currentPage, heldPage);
    if (heldPage == 0)
        QCOMPARE(contextOf(manager, target).pictureList, firstPage);
}

void TestPictureRead::secondReadRefusedWhileFirstRuns_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::newRow("recorder") << true;
    QTest::newRow("camera") << false;
}

void TestPictureRead::secondReadRefusedWhileFirstRuns()
{
    QFETCH(bool, recorder);

    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    QVERIFY(openSearch(manager, target));
    const QByteArray png = encodedPicture("PNG");
    device.http(pictureRoute(recorder), pictureAnswer(recorder, png).hold());
    const AnswersPtr first = readPicture(manager, target, 3);
    QCOMPARE(device.heldCount(), 1);

    const char *busy = "cannot start operation since there is an another operation alive";
    QTest::ignoreMessage(QtWarningMsg, busy);
    const AnswersPtr second = readPicture(manager, target, 4);
    QTest::ignoreMessage(QtWarningMsg, busy);
    const AnswersPtr page = readPicturePage(manager, target, 1);
    // Refused at once, in the failure forms, with nothing sent.
    QCOMPARE(second->calls, 1);
    QCOMPARE(second->size, quint64(0));
    QVERIFY(second->image.isNull());
    QCOMPARE(page->calls, 1);
    QVERIFY(page->page.isEmpty());
    QCOMPARE(device.sent().size(), 2);

    device.releaseHeld();
    QVERIFY(device.waitIdle());
    QCOMPARE(first->calls, 1);
    QCOMPARE(first->size, quint64(png.size()));
    QVERIFY(!first->image.isNull());

    // The device is free again.
    device.http(pictureRoute(recorder), pictureAnswer(recorder, png));
    const AnswersPtr third = readPicture(manager, target, 4);
    QVERIFY(device.waitIdle());
    QCOMPARE(third->size, quint64(png.size()));
}

void TestPictureRead::cancelDropsLateReply_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<QString>("request"); // "page", "picture", "picture page"

    for (const bool recorder : { true, false }) {
        for (const char *request : { "page", "picture", "picture page" })
            QTest::addRow("%s %s", recorder ? "recorder" : "camera", request)
                << recorder << QString::fromLatin1(request);
    }
}

// A late search reply is the search test's concern; here the held page and picture reads.
void TestPictureRead::cancelDropsLateReply()
{
    QFETCH(bool, recorder);
    QFETCH(QString, request);

    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = newTarget(recorder);
    QVERIFY(openSearch(manager, target));
    AnswersPtr answers;
    if (request == QLatin1String("page")) {
        device.http(pageRoute(recorder), fullPage(recorder, 1).hold());
        answers = readPicturePage(manager, target, 1);
    } else if (request == QLatin1String("picture")) {
        device.http(pictureRoute(recorder), pictureAnswer(recorder, encodedPicture("PNG")).hold());
        answers = readPicture(manager, target, 3);
    } else {
        device.http(pageRoute(recorder), fullPage(recorder, 1).hold());
        answers = readPicture(manager, target, (recorder ? 100 : 30) + 3);
    }
    QCOMPARE(device.heldCount(), 1);
    const TargetContext before = contextOf(manager, target);

    manager.cancelAllRecordSearching();
    device.releaseHeld();
    QVERIFY(device.waitIdle());
    QCOMPARE(answers->calls, 0);
    // The late reply changed nothing and sent nothing more.
    const TargetContext &after = contextOf(manager, target);
    QCOMPARE(after.session.isValid(), before.session.isValid());
    QCOMPARE(after.currentPage, before.currentPage);
    QCOMPARE(after.pictureList, before.pictureList);
    QVERIFY(!device.routes().contains(pictureRoute(recorder)) || request == QLatin1String("picture"));
}

QTEST_MAIN(TestPictureRead)
#include "tst_picture_read.moc"
