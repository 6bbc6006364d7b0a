// The record manager: thread hand-over of the exports, refusals, device contexts, the
// one-operation-per-device rule, the run/done contract, cancel-all and the session closers.

#include "FakeDevice.h"

#include "manager/RecordManager.h"
#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "operation/RecordOperation.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <lydevice/lydevice.h>

#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace lydevice;
using namespace lydevice::test;

namespace
{

TargetDesc makeTarget(DeviceType device, TransportType transport, quint64 handle)
{
    TargetDesc target;
    target.deviceType = device;
    target.transport = transport;
    target.handle = handle;
    return target;
}

// Stands in for a real operation: sends one request through the fake device and completes with
// what the test decides.
class ScriptedOperation : public RecordOperation
{
public:
    ScriptedOperation(RecordManagerPrivate *owner, const TargetDesc &target, int *destroyed = nullptr)
        : RecordOperation(owner, target, RecordKind::Video)
        , destroyed(destroyed)
    {
    }
    ~ScriptedOperation() override
    {
        if (destroyed)
            ++*destroyed;
    }

    void run(const QVariantHash &params, Completion completion) override
    {
        received = params;
        done = std::move(completion);
        if (completeInsideRun) {
            complete(done, true);
            return;
        }
        sendHttpCommand(target.handle,
            QStringLiteral("/sdk.cgi"),
            { { QStringLiteral("action"), QStringLiteral("test.step") } },
            bindHttpReply(this, &ScriptedOperation::onReply));
    }

    void onReply(bool ok, const QVector<QByteArray> &)
    {
        ++replies;
        complete(done, ok, { { QStringLiteral("sid"), 42 }, { QStringLiteral("data"), QVariantList { 1, 2 } } });
    }

    Completion done;
    QVariantHash received;
    bool completeInsideRun = false;
    int replies = 0;
    int *destroyed = nullptr;
};

} // namespace

class TestManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        FakeDevice::instance().reset();
    }

    void exportsHandOverFromWorkerThread();
    void blockingExportsAnswerBeforeReturning();
    void requestsWithoutOperationAnswerAtOnce_data();
    void requestsWithoutOperationAnswerAtOnce();
    void pictureReadsNeedSession();
    void pageReadsAnswerFromMemoryOrRefuse_data();
    void pageReadsAnswerFromMemoryOrRefuse();
    void searchReplacesContextWhole();
    void liveOperationRefusesReadsButNotSearches();
    void completionCallsBackThenDestroys();
    void operationCompletingInsideRunIsNotKept();
    void cancelAllDropsOperationsAndLateReplies();
    void cancelAllClosesEverySearchedSessionInOrder();
    void closersSendPerDeviceAndTransport_data();
    void closersSendPerDeviceAndTransport();
    void unknownReaderIdIsLogged();
    void emptyCallbacksAreHarmless();
};

void TestManager::exportsHandOverFromWorkerThread()
{
    lydevice::init();
    // A device kind without any operation class: the manager answers the failure form at once,
    // in the main thread, whichever thread called.
    const TargetDesc target = makeTarget(DeviceType(2), TransportType::Ip, 0x5001);
    QThread *const mainThread = QThread::currentThread();
    QThread *calledIn = nullptr;
    std::atomic<int> calls { 0 };
    std::atomic<int> callsWhenReturned { -1 };
    int code = 0;
    QThread *worker = QThread::create([&]() {
        search_video(target,
            { 0 },
            RecordVideoType::All,
            StreamType::Main,
            QDateTime::currentDateTime(),
            QDateTime::currentDateTime(),
            [&](int result, QList<QVariant> records) {
                ++calls;
                code = result;
                calledIn = QThread::currentThread();
                QVERIFY(records.isEmpty());
            });
        callsWhenReturned = calls.load();
    });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    // Queued: nothing had run when the export returned.
    QCOMPARE(callsWhenReturned.load(), 0);
    QTRY_COMPARE(calls.load(), 1);
    QCOMPARE(code, -1);
    QCOMPARE(calledIn, mainThread);
    QVERIFY(FakeDevice::instance().waitIdle());
    QCOMPARE(calls.load(), 1);
}

void TestManager::blockingExportsAnswerBeforeReturning()
{
    const TargetDesc noSession = makeTarget(DeviceType::NVR, TransportType::Ip, 0x5002);
    const TargetDesc noReader = makeTarget(DeviceType::NVR, TransportType(2), 0x5003);
    QThread *const mainThread = QThread::currentThread();
    QVector<QThread *> pictureThreads;
    QVector<QThread *> readerThreads;
    quint64 id = 1;
    bool pictureAnsweredBeforeReturn = false;
    int readerCode = 0;

    QThread *worker = QThread::create([&]() {
        read_picture(noSession, 3, [&](quint64 size, const QImage &image) {
            pictureThreads << QThread::currentThread();
            QCOMPARE(size, quint64(0));
            QVERIFY(image.isNull());
        });
        pictureAnsweredBeforeReturn = pictureThreads.size() == 1;
        id = search_video_begin(noReader, RecordVideoDesc(), [&](int code, RecordVideoType, QList<QVariant>) {
            readerThreads << QThread::currentThread();
            readerCode = code;
        });
    });
    worker->start();
    // The worker blocks on the main thread: keep its event loop turning.
    QTRY_VERIFY_WITH_TIMEOUT(worker->isFinished(), 5000);
    delete worker;
    QVERIFY(pictureAnsweredBeforeReturn);
    QCOMPARE(pictureThreads, QVector<QThread *> { mainThread });
    QCOMPARE(id, quint64(0));
    QCOMPARE(readerThreads, QVector<QThread *> { mainThread });
    QCOMPARE(readerCode, -1);
}

void TestManager::requestsWithoutOperationAnswerAtOnce_data()
{
    QTest::addColumn<TargetDesc>("target");
    QTest::newRow("device kind out of range") << makeTarget(DeviceType(2), TransportType::Ip, 0x5101);
    QTest::newRow("transport out of range") << makeTarget(DeviceType::NVR, TransportType(2), 0x5102);
}

void TestManager::requestsWithoutOperationAnswerAtOnce()
{
    QFETCH(TargetDesc, target);
    RecordManager manager;
    const QDateTime start(QDate(2024, 3, 5), QTime(0, 0));
    const QDateTime end = start.addDays(1);

    QVector<int> videoCodes;
    manager.searchVideo(
        target, { 0 }, RecordVideoType::All, StreamType::Main, start, end, [&](int code, QList<QVariant> list) {
            videoCodes << code;
            QVERIFY(list.isEmpty());
        });
    QCOMPARE(videoCodes, QVector<int> { -1 });

    QVector<int> pictureCounts;
    manager.searchPicture(
        target, { 0 }, RecordPictureType::Snapshot, start, end, [&](int count) { pictureCounts << count; });
    QCOMPARE(pictureCounts, QVector<int> { -1 });

    QVector<int> deliveries;
    const quint64 id = manager.searchVideoBegin(target,
        RecordVideoDesc(),
        [&](int code, RecordVideoType type, QList<QVariant> list) { deliveries << code << int(type) << list.size(); });
    QCOMPARE(id, quint64(0));
    QCOMPARE(deliveries, (QVector<int> { -1, 0, 0 }));

    // Refused at once: nothing was sent, and nothing arrives later.
    QVERIFY(FakeDevice::instance().waitIdle());
    QCOMPARE(videoCodes.size(), 1);
    QCOMPARE(pictureCounts.size(), 1);
    QCOMPARE(deliveries.size(), 3);
    QVERIFY(FakeDevice::instance().sent().isEmpty());
}

void TestManager::pictureReadsNeedSession()
{
    RecordManager manager;
    const TargetDesc target = makeTarget(DeviceType::NVR, TransportType::Ip, 0x5201);

    QTest::ignoreMessage(QtWarningMsg, "we need session to read picture page");
    int pageCalls = 0;
    manager.readPicturePage(target, 0, [&](QVariantList list) {
        ++pageCalls;
        QVERIFY(list.isEmpty());
    });
    QCOMPARE(pageCalls, 1);

    QTest::ignoreMessage(QtWarningMsg, "we need session to search picture");
    int pictureCalls = 0;
    manager.readPicture(target, 0, [&](quint64 size, const QImage &image) {
        ++pictureCalls;
        QCOMPARE(size, quint64(0));
        QVERIFY(image.isNull());
    });
    QCOMPARE(pictureCalls, 1);

    // A context without a stored session is refused the same way.
    manager.d_func()->contexts.insert(target.handle, TargetContext());
    QTest::ignoreMessage(QtWarningMsg, "we need session to read picture page");
    manager.readPicturePage(target, 1, [&](QVariantList) { ++pageCalls; });
    QCOMPARE(pageCalls, 2);
    QVERIFY(FakeDevice::instance().sent().isEmpty());
}

void TestManager::pageReadsAnswerFromMemoryOrRefuse_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("fromMemory");
    QTest::addColumn<QString>("warning");
    // The context holds page 2 of a search that found 5 pictures: page indexes are checked
    // against the picture total, not a page count.
    QTest::newRow("held page served from memory") << 2 << true << QString();
    QTest::newRow("negative page") << -1 << false << QStringLiteral("page is not existing. page:  -1");
    QTest::newRow("page equal to the picture total") << 5 << false << QStringLiteral("page is not existing. page:  5");
    QTest::newRow("page far beyond") << 1000 << false << QStringLiteral("page is not existing. page:  1000");
}

void TestManager::pageReadsAnswerFromMemoryOrRefuse()
{
    QFETCH(int, page);
    QFETCH(bool, fromMemory);
    QFETCH(QString, warning);
    RecordManager manager;
    const TargetDesc target = makeTarget(DeviceType::IPC, TransportType::Ip, 0x5301);
    TargetContext context;
    context.session = QVariant::fromValue(CameraSession { 3, QStringLiteral("u") });
    context.pictureTotal = 5;
    context.currentPage = 2;
    context.pictureList = { QVariantHash { { QStringLiteral("name"), QStringLiteral("held") } } };
    manager.d_func()->contexts.insert(target.handle, context);

    if (fromMemory)
        QTest::ignoreMessage(QtInfoMsg, "we already have current page");
    else
        QTest::ignoreMessage(QtWarningMsg, warning.toUtf8().constData());
    QVector<QVariantList> answers;
    manager.readPicturePage(target, page, [&](QVariantList list) { answers << list; });
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers.first(), fromMemory ? context.pictureList : QVariantList());
    QVERIFY(FakeDevice::instance().sent().isEmpty());
}

void TestManager::searchReplacesContextWhole()
{
    RecordManager manager;
    RecordManagerPrivate *d = manager.d_func();
    const TargetDesc target = makeTarget(DeviceType(2), TransportType::Ip, 0x5401);
    const QDateTime start(QDate(2024, 3, 5), QTime(7, 8, 9));
    const QDateTime end = start.addSecs(3600);

    TargetContext old;
    old.session = QVariant::fromValue(RecorderSession { 9, 1 });
    old.operationAlive = true;
    old.pictureTotal = 70;
    old.currentPage = 2;
    old.pictureList = { 1 };
    d->contexts.insert(target.handle, old);

    manager.searchVideo(
        target, { 0, 3 }, RecordVideoType::Smart, StreamType::Sub, start, end, [](int, QList<QVariant>) {});
    TargetContext video = d->contexts.value(target.handle);
    QCOMPARE(video.start, start);
    QCOMPARE(video.end, end);
    QCOMPARE(video.streamType, 1);
    QCOMPARE(video.type.value<RecordVideoType>(), RecordVideoType::Smart);
    QCOMPARE(video.channel, (QVector<int> { 0, 3 }));
    QVERIFY(!video.session.isValid());
    QVERIFY(!video.operationAlive);
    QVERIFY(video.pictureList.isEmpty());
    QCOMPARE(video.pictureTotal, 0);
    QCOMPARE(video.currentPage, 0);

    manager.searchPicture(target, { 5 }, RecordPictureType::Alarm, end, end.addDays(1), [](int) {});
    const TargetContext picture = d->contexts.value(target.handle);
    QCOMPARE(picture.streamType, 0);
    QCOMPARE(picture.type.value<RecordPictureType>(), RecordPictureType::Alarm);
    QCOMPARE(picture.channel, QVector<int> { 5 });
    QCOMPARE(picture.start, end);
    // Every search is listed for cancel-all, duplicates kept.
    QCOMPARE(d->targets.size(), 2);
}

void TestManager::liveOperationRefusesReadsButNotSearches()
{
    RecordManager manager;
    RecordManagerPrivate *d = manager.d_func();
    const TargetDesc target = makeTarget(DeviceType::IPC, TransportType::Ip, 0x5501);
    TargetContext context;
    context.session = QVariant::fromValue(CameraSession { 1, QStringLiteral("u") });
    context.pictureTotal = 100;
    d->contexts.insert(target.handle, context);

    FakeDevice::instance().http(QStringLiteral("test.step"), HttpAnswer::body("x").hold());
    auto operation = QSharedPointer<ScriptedOperation>::create(d, target);
    QVERIFY(d->isOperationAlive(target));
    d->startOperation({}, operation, [](bool, const QVariantHash &) {});

    QTest::ignoreMessage(QtWarningMsg, "cannot start operation since there is an another operation alive");
    QVector<QVariantList> pages;
    manager.readPicturePage(target, 1, [&](QVariantList list) { pages << list; });
    QCOMPARE(pages, QVector<QVariantList> { QVariantList() });

    QTest::ignoreMessage(QtWarningMsg, "cannot start operation since there is an another operation alive");
    int pictures = 0;
    manager.readPicture(target, 1, [&](quint64 size, const QImage &image) {
        ++pictures;
        QCOMPARE(size, quint64(0));
        QVERIFY(image.isNull());
    });
    QCOMPARE(pictures, 1);

    // A new search replaces the context with the flag clear; the old operation still runs and
    // clears the flag of the new context when it ends.
    operation.reset();
    const TargetDesc sameDeviceNoOperation = makeTarget(DeviceType(2), TransportType::Ip, target.handle);
    manager.searchPicture(sameDeviceNoOperation, { 0 }, RecordPictureType::Snapshot, {}, {}, [](int) {});
    QVERIFY(!d->isOperationAlive(target));
    d->setOperationAlive(target, true);
    FakeDevice::instance().releaseHeld();
    QVERIFY(FakeDevice::instance().waitIdle());
    QVERIFY(d->operations.isEmpty());
    QVERIFY(!d->isOperationAlive(target));
}

void TestManager::completionCallsBackThenDestroys()
{
    RecordManager manager;
    RecordManagerPrivate *d = manager.d_func();
    const TargetDesc target = makeTarget(DeviceType::NVR, TransportType::Ip, 0x5601);
    d->contexts.insert(target.handle, TargetContext());
    FakeDevice::instance().http(QStringLiteral("test.step"), HttpAnswer::body("x"));

    int destroyed = 0;
    auto operation = QSharedPointer<ScriptedOperation>::create(d, target, &destroyed);
    QPointer<ScriptedOperation> watch(operation.data());
    const QVariantHash params { { QStringLiteral("page"), 4 } };
    QVector<int> order;
    d->startOperation(params, operation, [&](bool ok, const QVariantHash &result) {
        QVERIFY(ok);
        QCOMPARE(result.value(QStringLiteral("sid")).toInt(), 42);
        // Called back before the operation is dropped.
        QVERIFY(watch);
        QCOMPARE(d->operations.size(), 1);
        order << 1;
    });
    QCOMPARE(operation->received, params);
    operation.reset(); // the manager's list is the only owner now
    QCOMPARE(d->operations.size(), 1);
    QVERIFY(FakeDevice::instance().waitIdle());
    QCOMPARE(order, QVector<int> { 1 });
    QCOMPARE(destroyed, 1);
    QVERIFY(d->operations.isEmpty());
    QVERIFY(!d->isOperationAlive(target));
}

void TestManager::operationCompletingInsideRunIsNotKept()
{
    RecordManager manager;
    RecordManagerPrivate *d = manager.d_func();
    const TargetDesc target = makeTarget(DeviceType::NVR, TransportType::Ip, 0x5701);
    int destroyed = 0;
    int calls = 0;
    {
        auto operation = QSharedPointer<ScriptedOperation>::create(d, target, &destroyed);
        operation->completeInsideRun = true;
        d->startOperation({}, operation, [&](bool, const QVariantHash &) { ++calls; });
    }
    QCOMPARE(calls, 1);
    QCOMPARE(destroyed, 1);
    QVERIFY(d->operations.isEmpty());
}

void TestManager::cancelAllDropsOperationsAndLateReplies()
{
    RecordManager manager;
    RecordManagerPrivate *d = manager.d_func();
    const TargetDesc target = makeTarget(DeviceType::IPC, TransportType::P2p, 0x5801);
    d->contexts.insert(target.handle, TargetContext());
    FakeDevice::instance().http(QStringLiteral("test.step"), HttpAnswer::body("x").hold());

    int destroyed = 0;
    int calls = 0;
    d->startOperation({},
        QSharedPointer<ScriptedOperation>::create(d, target, &destroyed),
        [&](bool, const QVariantHash &) { ++calls; });
    QCOMPARE(d->operations.size(), 1);
    manager.cancelAllRecordSearching();
    QCOMPARE(destroyed, 1);
    QVERIFY(d->operations.isEmpty());
    QVERIFY(!d->isOperationAlive(target));

    // The reply that was outstanding arrives after the operation is gone: dropped.
    FakeDevice::instance().releaseHeld();
    QVERIFY(FakeDevice::instance().waitIdle());
    QCOMPARE(calls, 0);
}

void TestManager::cancelAllClosesEverySearchedSessionInOrder()
{
    RecordManager manager;
    RecordManagerPrivate *d = manager.d_func();
    auto &device = FakeDevice::instance();
    const TargetDesc recorder = makeTarget(DeviceType::NVR, TransportType::Ip, 0x5901);
    const TargetDesc camera = makeTarget(DeviceType::IPC, TransportType::Ip, 0x5902);
    // Searches whose operations cannot start still replace the contexts and list the devices.
    const TargetDesc unknownRecorder = makeTarget(DeviceType::NVR, TransportType(2), recorder.handle);
    const TargetDesc unknownCamera = makeTarget(DeviceType::IPC, TransportType(2), camera.handle);

    manager.searchVideo(
        unknownRecorder, { 0 }, RecordVideoType::All, StreamType::Main, {}, {}, [](int, QList<QVariant>) {});
    manager.searchPicture(unknownCamera, { 0 }, RecordPictureType::Snapshot, {}, {}, [](int) {});
    manager.searchVideo(
        unknownRecorder, { 0 }, RecordVideoType::All, StreamType::Main, {}, {}, [](int, QList<QVariant>) {});
    d->setSession(recorder, QVariant::fromValue(RecorderSession { 17, 0 }));
    d->setSession(camera, QVariant::fromValue(CameraSession { 4, QStringLiteral("abc") }));
    // Reach the closers with the real transports of each device.
    d->targets = { recorder, camera, recorder };
    device.reset();

    manager.cancelAllRecordSearching();
    const QVector<HttpRequest> sent = device.httpRequests();
    QCOMPARE(device.routes(),
        (QStringList { QStringLiteral("set.playback.stop_batch"),
            QStringLiteral("closelyfshandle"),
            QStringLiteral("set.playback.stop_batch") }));
    QCOMPARE(sent.at(0).value(QStringLiteral("sid[0]")), QStringLiteral("17"));
    QCOMPARE(sent.at(1).value(QStringLiteral("closelyfshandle")), QStringLiteral("4;abc"));
    QCOMPARE(sent.at(1).target, camera.handle);
    // Sessions stay stored; the list is emptied, so a second cancel sends nothing.
    QVERIFY(d->context(recorder).session.isValid());
    device.reset();
    manager.cancelAllRecordSearching();
    QVERIFY(device.sent().isEmpty());
}

void TestManager::closersSendPerDeviceAndTransport_data()
{
    QTest::addColumn<TargetDesc>("target");
    QTest::addColumn<QVariant>("session");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("route");
    QTest::addColumn<QStringList>("query");
    QTest::addColumn<QJsonObject>("command");

    const TargetDesc nvrIp = makeTarget(DeviceType::NVR, TransportType::Ip, 0x6001);
    const TargetDesc nvrP2p = makeTarget(DeviceType::NVR, TransportType::P2p, 0x6002);
    const TargetDesc ipcIp = makeTarget(DeviceType::IPC, TransportType::Ip, 0x6003);
    const TargetDesc ipcP2p = makeTarget(DeviceType::IPC, TransportType::P2p, 0x6004);
    const QVariant video = QVariant::fromValue(RecorderSession { 12, 0 });
    const QVariant picture = QVariant::fromValue(RecorderSession { 13, 1 });
    const QVariant camera = QVariant::fromValue(CameraSession { 7, QStringLiteral("5f1e") });
    const QVariant foreign = QVariant(QStringLiteral("not a session"));

    QTest::newRow("recorder playback over HTTP")
        << nvrIp << video << QString() << QStringLiteral("set.playback.stop_batch")
        << QStringList { QStringLiteral("action=set.playback.stop_batch"),
               QStringLiteral("cnt=1"),
               QStringLiteral("sid[0]=12"),
               QStringLiteral("close=1") }
        << QJsonObject();
    QTest::newRow("recorder picture search over HTTP")
        << nvrIp << picture << QString() << QStringLiteral("get.playback.picture_backup_search_close")
        << QStringList { QStringLiteral("action=get.playback.picture_backup_search_close"), QStringLiteral("sid=13") }
        << QJsonObject();
    QTest::newRow("recorder session of unknown kind") << nvrIp << QVariant::fromValue(RecorderSession { 14, 5 })
                                                      << QString() << QString() << QStringList() << QJsonObject();
    QTest::newRow("recorder without session over HTTP")
        << nvrIp << QVariant() << QStringLiteral("session is not valid") << QString() << QStringList() << QJsonObject();
    QTest::newRow("foreign variant closes session 0")
        << nvrIp << foreign << QString() << QStringLiteral("set.playback.stop_batch")
        << QStringList { QStringLiteral("action=set.playback.stop_batch"),
               QStringLiteral("cnt=1"),
               QStringLiteral("sid[0]=0"),
               QStringLiteral("close=1") }
        << QJsonObject();
    QTest::newRow("recorder playback over P2P")
        << nvrP2p << video << QString() << QStringLiteral("nvr:17") << QStringList()
        << QJsonObject {
               { QStringLiteral("r.cnt"), 1 }, { QStringLiteral("r.close"), 1 }, { QStringLiteral("r.sid[0]"), 12 }
           };
    QTest::newRow("recorder picture search over P2P stays open")
        << nvrP2p << picture << QString() << QString() << QStringList() << QJsonObject();
    QTest::newRow("recorder without session over P2P") << nvrP2p << QVariant() << QStringLiteral("session is not valid")
                                                       << QString() << QStringList() << QJsonObject();
    QTest::newRow("camera over HTTP") << ipcIp << camera << QString() << QStringLiteral("closelyfshandle")
                                      << QStringList { QStringLiteral("closelyfshandle=7;5f1e") } << QJsonObject();
    QTest::newRow("camera without session") << ipcIp << QVariant() << QStringLiteral("session is not valid, skip")
                                            << QString() << QStringList() << QJsonObject();
    QTest::newRow("foreign variant closes camera handle 0")
        << ipcIp << foreign << QString() << QStringLiteral("closelyfshandle")
        << QStringList { QStringLiteral("closelyfshandle=0;") } << QJsonObject();
    QTest::newRow("camera over P2P closes nothing")
        << ipcP2p << camera << QString() << QString() << QStringList() << QJsonObject();
    QTest::newRow("camera over P2P without session logs nothing")
        << ipcP2p << QVariant() << QString() << QString() << QStringList() << QJsonObject();
}

void TestManager::closersSendPerDeviceAndTransport()
{
    QFETCH(TargetDesc, target);
    QFETCH(QVariant, session);
    QFETCH(QString, warning);
    QFETCH(QString, route);
    QFETCH(QStringList, query);
    QFETCH(QJsonObject, command);

    RecordManager manager;
    RecordManagerPrivate *d = manager.d_func();
    TargetContext context;
    context.session = session;
    d->contexts.insert(target.handle, context);

    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, warning.toUtf8().constData());
    d->closeSession(target);

    auto &device = FakeDevice::instance();
    if (route.isEmpty()) {
        QVERIFY(device.sent().isEmpty());
        return;
    }
    QCOMPARE(device.sent().size(), 1);
    const SentRequest sent = device.sent().first();
    QCOMPARE(sent.route(), route);
    if (sent.isHttp) {
        QCOMPARE(sent.http.target, target.handle);
        QStringList pairs;
        for (const auto &pair : sent.http.query)
            pairs << pair.first + QLatin1Char('=') + pair.second;
        QCOMPARE(pairs, query);
    } else {
        QCOMPARE(sent.p2p.handle, int(target.handle));
        QCOMPARE(sent.p2p.request, command);
        QCOMPARE(sent.p2p.timeout, 20);
    }
    // Fire-and-forget: a failed close changes nothing and nobody waits for it.
    QVERIFY(device.waitIdle());
    QCOMPARE(d->context(target).session, session);
}

void TestManager::unknownReaderIdIsLogged()
{
    RecordManager manager;
    QTest::ignoreMessage(QtWarningMsg, "cannot find record reader[ 12345 ]");
    manager.searchVideoEnd(12345);
}

void TestManager::emptyCallbacksAreHarmless()
{
    // Hosts are expected to pass callables; an empty one is answered into nothing, not a crash.
    const TargetDesc target = makeTarget(DeviceType(2), TransportType::Ip, 0x6101);
    lydevice::init();
    search_video(target, { 0 }, RecordVideoType::All, StreamType::Main, {}, {}, nullptr);
    search_picture(target, { 0 }, RecordPictureType::Snapshot, {}, {}, nullptr);
    QTest::ignoreMessage(QtWarningMsg, "we need session to read picture page");
    read_picture_page(target, 0, nullptr);
    QTest::ignoreMessage(QtWarningMsg, "we need session to search picture");
    read_picture(target, 0, nullptr);
    QCOMPARE(search_video_begin(target, RecordVideoDesc(), nullptr), quint64(0));
    cleanup();
}

QTEST_MAIN(TestManager)
#include "tst_manager.moc"
