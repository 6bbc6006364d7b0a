// Picture reads of recorders and cameras over HTTP, driven through the record manager against the
// scripted fake device: which page and picture requests go out, how the camera download and the
// recorder's base64 reply become an image, and what happens to reads that cannot go on.

#include "PictureFixtures.h"

#include <QImageReader>
#include <QRegularExpression>
#include <QtTest>

using namespace lydevice;
using namespace lydevice::test;

namespace
{

const QString searchOpen = QStringLiteral("get.playback.picture_backup_search_open");
const QString searchPage = QStringLiteral("get.playback.picture_backup_search_page");
const QString searchIndex = QStringLiteral("get.playback.picture_backup_search_index");
const QString listRoute = QStringLiteral("sdexplorer");
const QString download = QStringLiteral("dataloader");

QString pageRoute(bool recorder)
{
    return recorder ? searchPage : listRoute;
}

QString pictureRoute(bool recorder)
{
    return recorder ? searchIndex : download;
}

int pageSize(bool recorder)
{
    return recorder ? 100 : 30;
}

HttpAnswer fullPage(bool recorder, int page)
{
    return HttpAnswer::body(recorder ? recorderPage(77, 250, page * 100, 100) : cameraList(45, page * 30, 30));
}

QByteArray downloadHead(const QByteArray &lineEnd)
{
    return "HTTP/1.1 200 OK" + lineEnd + "Content-Type: image/jpeg" + lineEnd
        + "Content-Disposition: attachment; filename=\"IMG.jpg\"" + lineEnd + lineEnd;
}

HttpAnswer pictureAnswer(bool recorder, const QByteArray &picture)
{
    if (recorder)
        return HttpAnswer::body("result=0\r\ndata=" + picture.toBase64() + "\r\n");
    return HttpAnswer::raw200(downloadHead("\r\n") + picture);
}

// Loads `page` into the context the way a caller would, with a page read.
bool holdPage(RecordManager &manager, const TargetDesc &target, int page)
{
    if (page == contextOf(manager, target).currentPage)
        return true;
    FakeDevice::instance().http(pageRoute(isRecorder(target)), fullPage(isRecorder(target), page));
    const AnswersPtr answers = readPicturePage(manager, target, page);
    return FakeDevice::instance().waitIdle() && answers->calls == 1 && contextOf(manager, target).currentPage == page;
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

    void pictureOnPage_data();
    void pictureOnPage();
    void pictureReply_data();
    void pictureReply();
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

void TestPictureRead::pictureOnPage_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<int>("heldPage");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("pageRequest"); // the page value sent, "" without a page request
    QTest::addColumn<QStringList>("pictureQuery");

    const auto cameraQuery = [](int index) {
        return QStringList { QStringLiteral("dw=sd"),
            QStringLiteral("filename=") + pictureName(false, index),
            QStringLiteral("time_start=2024-03-01%2008:00:00"),
            QStringLiteral("time_end=2024-03-01%2018:30:05"),
            QStringLiteral("index=%1").arg(index),
            QStringLiteral("sid=3"),
            QStringLiteral("uuid=5f2c9e1a-uuid") };
    };
    const auto recorderQuery = [](int index) {
        return QStringList { QStringLiteral("action=") + searchIndex,
            QStringLiteral("chnid=%1").arg(pictureChannel(index)),
            QStringLiteral("sid=77"),
            QStringLiteral("pts=") + pictureName(true, index),
            QStringLiteral("base64=1") };
    };

    QTest::newRow("camera 65 with page 2 held: no page request") << false << 2 << 65 << QString() << cameraQuery(65);
    QTest::newRow("camera 65 with page 0 held: page 2 first")
        << false << 0 << 65 << QStringLiteral("60") << cameraQuery(65);
    QTest::newRow("camera 29, last of the first page") << false << 0 << 29 << QString() << cameraQuery(29);
    QTest::newRow("camera 30 with page 2 held: page 1 first")
        << false << 2 << 30 << QStringLiteral("30") << cameraQuery(30);
    QTest::newRow("recorder 250 with page 2 held: no page request")
        << true << 2 << 250 << QString() << recorderQuery(250);
    QTest::newRow("recorder 250 with page 0 held: page 3 first")
        << true << 0 << 250 << QStringLiteral("3") << recorderQuery(250);
    QTest::newRow("recorder 99, last of the first page") << true << 0 << 99 << QString() << recorderQuery(99);
    QTest::newRow("recorder 100: page 2 first") << true << 0 << 100 << QStringLiteral("2") << recorderQuery(100);
}

void TestPictureRead::pictureOnPage()
{
    QFETCH(bool, recorder);
    QFETCH(int, heldPage);
    QFETCH(int, index);
    QFETCH(QString, pageRequest);
    QFETCH(QStringList, pictureQuery);

    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = recorder ? newRecorder() : newCamera();
    QVERIFY(openSearch(manager, target));
    QVERIFY(holdPage(manager, target, heldPage));

    const int page = index / pageSize(recorder);
    const int from = device.sent().size();
    if (!pageRequest.isEmpty()) {
        device.http(pageRoute(recorder), fullPage(recorder, page));
        QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("move to page:  %1").arg(page)));
    }
    const QByteArray jpeg = encodedPicture("JPEG");
    device.http(pictureRoute(recorder), pictureAnswer(recorder, jpeg));
    const AnswersPtr answers = readPicture(manager, target, index);
    QCOMPARE(answers->calls, 0);
    QVERIFY(device.waitIdle());
    QCOMPARE(answers->calls, 1);

    QStringList routes { pictureRoute(recorder) };
    if (!pageRequest.isEmpty()) {
        routes.prepend(pageRoute(recorder));
        const HttpRequest pageSent = device.httpRequests().at(from);
        QCOMPARE(pageSent.value(recorder ? QStringLiteral("page") : QStringLiteral("iDisplayStart")), pageRequest);
    }
    QCOMPARE(routesFrom(from), routes);
    const HttpRequest pictureSent = device.httpRequests().last();
    QCOMPARE(pictureSent.path, recorder ? QStringLiteral("/sdk.cgi") : QStringLiteral("/dataloader.cgi"));
    QCOMPARE(queryPairs(pictureSent), pictureQuery);

    // The page loaded on the way stays held; the total is untouched.
    QCOMPARE(contextOf(manager, target).currentPage, page);
    QCOMPARE(contextOf(manager, target).pictureTotal, recorder ? 250 : 45);
    QCOMPARE(answers->size, quint64(jpeg.size()));
    QCOMPARE(answers->image.size(), samplePicture().size());
}

void TestPictureRead::pictureReply_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<HttpAnswer>("answer");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<bool>("exact"); // a lossless picture decodes to exactly what was drawn
    QTest::addColumn<QStringList>("warnings");

    const QStringList none;
    const QByteArray jpeg = encodedPicture("JPEG");
    const QByteArray png = encodedPicture("PNG");
    const QByteArray garbage("these bytes are no picture");
    const QString crlfTail = QStringLiteral("cannot find http header tail:  \"0d0a0d0a\"");

    QTest::newRow("camera JPEG after CRLF end of headers")
        << false << HttpAnswer::raw200(downloadHead("\r\n") + jpeg) << int(jpeg.size()) << true << false << none;
    QTest::newRow("camera PNG after bare LF end of headers: one warning")
        << false
        << HttpAnswer::raw200("HTTP/1.1 200 OK\r\nContent-Type: image/png\nContent-Disposition: x.png\n\n" + png)
        << int(png.size()) << true << true << QStringList { crlfTail };
    QTest::newRow("camera headers before Content-Disposition are dropped")
        << false << HttpAnswer::raw200("HTTP/1.1 200 OK\r\nX-A: 1\r\n\r\nContent-Disposition: y\r\n\r\n" + png)
        << int(png.size()) << true << true << none;
    QTest::newRow("camera bytes that are no picture: size, null image")
        << false << HttpAnswer::raw200(downloadHead("\r\n") + garbage) << int(garbage.size()) << false << false << none;
    QTest::newRow("camera without Content-Disposition")
        << false << HttpAnswer::raw200("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + jpeg) << 0 << false
        << false << QStringList { QStringLiteral("cannot find http header [Content-Disposition]") };
    QTest::newRow("camera headers that never end")
        << false << HttpAnswer::raw200("HTTP/1.1 200 OK\r\nContent-Disposition: attachment\r\n") << 0 << false << false
        << QStringList { crlfTail, QStringLiteral("cannot find http header tail:  \"0a0a\"") };
    QTest::newRow("camera status 404") << false << HttpAnswer::status(404, downloadHead("\r\n") + jpeg) << 0 << false
                                       << false << none;
    QTest::newRow("camera transport failure") << false << HttpAnswer::failure() << 0 << false << false << none;

    QTest::newRow("recorder base64 JPEG after other values, line break after")
        << true << HttpAnswer::body("result=0\r\nchnid=2\r\ndata=" + jpeg.toBase64() + "\r\n") << int(jpeg.size())
        << true << false << none;
    QTest::newRow("recorder base64 PNG in a chunked body")
        << true << HttpAnswer::chunked("data=" + png.toBase64(), 64) << int(png.size()) << true << true << none;
    QTest::newRow("recorder bytes that are no picture: size, null image")
        << true << HttpAnswer::body("data=" + garbage.toBase64() + "\r\n") << int(garbage.size()) << false << false
        << none;
    QTest::newRow("recorder reply without data=")
        << true << HttpAnswer::body("result=-1\r\n") << 0 << false << false
        << QStringList { QStringLiteral("cannot find picture data in reply") };
    QTest::newRow("recorder status 500") << true << HttpAnswer::status(500, "data=" + jpeg.toBase64()) << 0 << false
                                         << false << none;
    QTest::newRow("recorder transport failure") << true << HttpAnswer::failure() << 0 << false << false
                                                << QStringList { QStringLiteral("failure in reading picture") };
}

void TestPictureRead::pictureReply()
{
    QFETCH(bool, recorder);
    QFETCH(HttpAnswer, answer);
    QFETCH(int, size);
    QFETCH(bool, decodes);
    QFETCH(bool, exact);
    QFETCH(QStringList, warnings);

    RecordManager manager;
    const TargetDesc target = recorder ? newRecorder() : newCamera();
    QVERIFY(openSearch(manager, target));
    FakeDevice::instance().http(pictureRoute(recorder), answer);
    expectWarnings(warnings);
    const AnswersPtr answers = readPicture(manager, target, 3);
    QVERIFY(FakeDevice::instance().waitIdle());
    QCOMPARE(answers->calls, 1);
    QCOMPARE(answers->size, quint64(size));
    QCOMPARE(answers->image.isNull(), !decodes);
    if (decodes)
        QCOMPARE(answers->image.size(), samplePicture().size());
    if (exact)
        QCOMPARE(answers->image.convertToFormat(QImage::Format_RGB32), samplePicture());
}

void TestPictureRead::readWithoutPicture_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<HttpAnswer>("search");
    QTest::addColumn<int>("index");
    QTest::addColumn<HttpAnswer>("pageAnswer");
    QTest::addColumn<QStringList>("routes");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<int>("heldPage");

    const HttpAnswer unused = HttpAnswer::failure();
    const HttpAnswer recorderSearch = HttpAnswer::body(recorderPage(77, 250, 0, 10));
    const HttpAnswer cameraSearch = HttpAnswer::body(cameraList(45, 0, 2));
    const QStringList noRequest;

    QTest::newRow("camera index past the entries of the held page")
        << false << cameraSearch << 5 << unused << noRequest
        << QStringList { QStringLiteral("picture is not existing. index:  5") } << 0;
    QTest::newRow("recorder index past the entries of the held page")
        << true << recorderSearch << 50 << unused << noRequest
        << QStringList { QStringLiteral("picture is not existing. index:  50") } << 0;
    QTest::newRow("camera negative index")
        << false << cameraSearch << -1 << unused << noRequest
        << QStringList { QStringLiteral("picture is not existing. index:  -1") } << 0;
    QTest::newRow("recorder negative index of another page")
        << true << recorderSearch << -250 << unused << noRequest
        << QStringList { QStringLiteral("picture is not existing. index:  -250") } << 0;
    QTest::newRow("camera page loaded on the way lacks the picture: page kept")
        << false << cameraSearch << 40 << HttpAnswer::body(cameraList(45, 30, 5)) << QStringList { listRoute }
        << QStringList { QStringLiteral("picture is not existing. index:  40") } << 1;
    QTest::newRow("camera page step fails: held page unchanged")
        << false << cameraSearch << 40 << HttpAnswer::failure() << QStringList { listRoute } << QStringList() << 0;
    QTest::newRow("recorder page step fails with a warning")
        << true << recorderSearch << 150 << HttpAnswer::failure() << QStringList { searchPage }
        << QStringList { QStringLiteral("failure in reading next page. page:  1") } << 0;
    QTest::newRow("recorder page step with status 500")
        << true << recorderSearch << 150 << HttpAnswer::status(500, recorderPage(77, 250, 100, 100))
        << QStringList { searchPage } << QStringList() << 0;
}

void TestPictureRead::readWithoutPicture()
{
    QFETCH(bool, recorder);
    QFETCH(HttpAnswer, search);
    QFETCH(int, index);
    QFETCH(HttpAnswer, pageAnswer);
    QFETCH(QStringList, routes);
    QFETCH(QStringList, warnings);
    QFETCH(int, heldPage);

    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = recorder ? newRecorder() : newCamera();
    device.http(recorder ? searchOpen : listRoute, search);
    searchPicture(manager, target);
    QVERIFY(device.waitIdle());
    const QVariantList firstPage = contextOf(manager, target).pictureList;
    QVERIFY(!firstPage.isEmpty());

    const int from = device.sent().size();
    if (!routes.isEmpty())
        device.http(pageRoute(recorder), pageAnswer);
    expectWarnings(warnings);
    const AnswersPtr answers = readPicture(manager, target, index);
    QCOMPARE(answers->calls, 0); // even a read that asks nothing answers later
    QTRY_COMPARE(answers->calls, 1);
    QVERIFY(device.waitIdle());
    QCOMPARE(answers->calls, 1);
    QCOMPARE(answers->size, quint64(0));
    QVERIFY(answers->image.isNull());
    QCOMPARE(routesFrom(from), routes);
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
    const TargetDesc target = recorder ? newRecorder() : newCamera();
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
    QCOMPARE(third->calls, 1);
    QCOMPARE(third->size, quint64(png.size()));
}

void TestPictureRead::cancelDropsLateReply_data()
{
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<QString>("request"); // "search", "page", "picture", "picture page"

    for (const bool recorder : { true, false }) {
        const char *device = recorder ? "recorder" : "camera";
        for (const char *request : { "search", "page", "picture", "picture page" })
            QTest::addRow("%s %s", device, request) << recorder << QString::fromLatin1(request);
    }
}

void TestPictureRead::cancelDropsLateReply()
{
    QFETCH(bool, recorder);
    QFETCH(QString, request);

    auto &device = FakeDevice::instance();
    RecordManager manager;
    const TargetDesc target = recorder ? newRecorder() : newCamera();
    AnswersPtr answers;
    if (request == QLatin1String("search")) {
        device.http(recorder ? searchOpen : listRoute, fullPage(recorder, 0).hold());
        answers = searchPicture(manager, target);
    } else {
        QVERIFY(openSearch(manager, target));
        if (request == QLatin1String("page")) {
            device.http(pageRoute(recorder), fullPage(recorder, 1).hold());
            answers = readPicturePage(manager, target, 1);
        } else if (request == QLatin1String("picture")) {
            device.http(pictureRoute(recorder), pictureAnswer(recorder, encodedPicture("PNG")).hold());
            answers = readPicture(manager, target, 3);
        } else {
            device.http(pageRoute(recorder), fullPage(recorder, 1).hold());
            answers = readPicture(manager, target, pageSize(recorder) + 3);
        }
    }
    QCOMPARE(device.heldCount(), 1);
    const TargetContext before = contextOf(manager, target);

    if (request == QLatin1String("search")) // the search never stored a session to close
        QTest::ignoreMessage(QtWarningMsg, recorder ? "session is not valid" : "session is not valid, skip");
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
#include "tst_pictureread.moc"
