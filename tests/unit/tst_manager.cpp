// The record manager behind the exports: calls from other threads, refusals answered at once, the
// sessions that searches leave on the devices and their closing, cancel-all, and reader ids.

#include "FakeDevice.h"
#include "Scenario.h"

#include <QtTest>

#include <atomic>

using namespace lydevice;
using namespace lydevice::test;

class TestManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void state_data();
    void state();
    void callsFromAnotherThread();
    void emptyCallbacksAreHarmless();
};

void TestManager::initTestCase()
{
    // The process's very first call comes from a worker thread, without init(): the library must
    // still serve from the main thread, now and later. (The fake device first, to outlive it.)
    FakeDevice::instance();
    std::unique_ptr<QThread> worker(QThread::create(
        []() { search_picture(newTarget(QStringLiteral("dev2 ip")), {}, {}, spanStart(), spanEnd(), [](int) {}); }));
    worker->start();
    QTRY_VERIFY2_WITH_TIMEOUT(worker->isFinished(), "the first call from a worker thread to return", 3000);
    int answer = 0;
    search_picture(
        newTarget(QStringLiteral("dev2 ip")), {}, {}, spanStart(), spanEnd(), [&](int count) { answer = count; });
    QCOMPARE(answer, -1); // refused inside the call: the manager lives in this thread
}

void TestManager::state_data()
{
    scenarioColumns();
    // clang-format off
    // Requests that cannot go on are answered at once, in the failure form, and send nothing.
    scenarioRow("device kind out of range", "dev2 ip", "", "video; pictures; begin; page 0; read 0",
        "", "!v-1: !s-1 !b-1:0: !id0 !p !r0:null");
    scenarioRow("transport out of range", "nvr tr2", "", "video; pictures; begin; page 0; read 0",
        "", "!v-1: !s-1 !b-1:0: !id0 !p !r0:null");
    scenarioRow("pictures over P2P", "ipc p2p", "", "pictures; page 0; read 0", "", "!s-1 !p !r0:null");
    scenarioRow("a recorder's video session over P2P is no picture session", "nvr p2p", "info 1/1/7; event 0/0/31",
        "video; idle; read 1; page 1", "info event eventClose:31", "v7: !r0:null !p");
    scenarioRow("no picture search yet", "nvr ip", "", "page 0; read 0", "", "!p !r0:null");

    // A search first closes what the previous search of the device left open, and is never refused.
    scenarioRow("recorder playback session over HTTP", "nvr ip", "info 1/1/7; event 1/1/31; info fail",
        "video; idle; video", "info event eventClose:31 stop:7 info", "v7:1 v-1:",
        { QStringLiteral("stop=action=set.playback.stop_batch&cnt=1&sid[0]=7&close=1") });
    scenarioRow("recorder playback session over P2P", "nvr p2p", "info 1/1/7; event 1/1/31; info fail",
        "video; idle; video", "info event eventClose:31 stop:7 info", "v7:1 v-1:",
        { QStringLiteral(R"(stop={"r.close":1,"r.cnt":1,"r.sid[0]":7})") });
    scenarioRow("recorder picture session", "nvr ip", "picOpen 2/250/77; info fail",
        "pictures; idle; video; idle; page 0", "picOpen picClose:77 info", "s250 v-1: !p",
        { QStringLiteral("picClose=action=get.playback.picture_backup_search_close&sid=77") });
    scenarioRow("camera picture session", "ipc ip", "list 30/45; count 0",
        "pictures; idle; video", "list close:3;5f2c-uuid count", "s45 v0:",
        { QStringLiteral("close=closelyfshandle=3;5f2c-uuid") });
    scenarioRow("a search while the previous one still runs", "nvr ip", "info 1/1/7 held; info fail",
        "video; video; release", "info info event", "v-1: v-1:");
    scenarioRow("two searches that overlap leave one session stored and close the other", "nvr ip",
        "info 1/1/7 held; info 1/1/8; event 1/1/31; event 1/1/32", "video; video; release; cancel",
        "info info event stop:8 event eventClose:31 eventClose:32 stop:7 stop:7", "v8:2 v7:3");

    // Cancel-all ends everything without answers, then closes the sessions of every search since
    // the previous cancel-all; what late replies opened is closed as they come.
    scenarioRow("cancel with a search and a reader waiting", "nvr ip", "info 1/1/5 held; info 1/1/7 held",
        "video; begin; cancel; release", "info info stop:5 stop:7", "");
    scenarioRow("cancel after two searches closes the stored session twice, once", "nvr ip",
        "info 1/1/7; event 1/1/31; info 1/1/8; event 1/1/32", "video; idle; video; idle; cancel; cancel",
        "info event eventClose:31 stop:7 info event eventClose:32 stop:8 stop:8", "v7:1 v8:3");
    scenarioRow("cleanup leaves a running search alone", "nvr ip", "info 1/1/7; event 1/1/31",
        "video; cleanup", "info event eventClose:31", "v7:1");

    // Readers: their own ids, sessions and callbacks; ending twice changes nothing.
    scenarioRow("a stale reading id ends nothing", "nvr ip", "info 1/1/5 held; info 1/1/7; tags 0; event 0; event 0",
        "begin; cancel; begin; end 1; release", "info info tags stop:5 event event", "b7:0:1 b7:2:");
    scenarioRow("two readers on one device", "nvr ip",
        "info 1/1/7; info 2/2/8; tags 0; tags 0; event 0; event 0; event 0; event 0", "begin; begin; idle; end; end; cancel",
        "info info tags tags event event event event stop:8 stop:7", "b7:0:0 b8:0:1-2 b7:2: b8:2:");
    // clang-format on
}

void TestManager::state()
{
    verifyScenario();
}

void TestManager::callsFromAnotherThread()
{
    freshStart();
    FakeDevice &device = FakeDevice::instance();
    const TargetDesc unknown = newTarget(QStringLiteral("dev2 ip"));
    const TargetDesc recorder = newTarget(QStringLiteral("nvr ip"));
    const RecordVideoDesc desc { { 3, 0 }, RecordVideoType::All, StreamType::Main, spanStart(), spanEnd() };
    device.script(false, QStringLiteral("info 1/1/7 held; info 1/1/8 held; tags 0; event 0; event 0"));

    QStringList answers;
    QVector<QThread *> threads;
    std::atomic<int> answered { 0 };
    const auto note = [&](const QString &answer) {
        answers << answer;
        threads << QThread::currentThread();
        ++answered;
    };
    const quint64 first = search_video_begin(recorder, desc, [&](int code, RecordVideoType, QList<QVariant>) {
        note(QStringLiteral("first %1").arg(code));
    });

    // Queued: the main thread waits for the worker, so nothing can run before the calls return.
    int answeredInWorker = -1;
    std::unique_ptr<QThread> worker(QThread::create([&]() {
        search_video(unknown,
            { 0 },
            RecordVideoType::All,
            StreamType::Main,
            spanStart(),
            spanEnd(),
            [&](int code, QList<QVariant>) { note(QStringLiteral("v%1").arg(code)); });
        search_picture(unknown, { 0 }, RecordPictureType::Snapshot, spanStart(), spanEnd(), [&](int count) {
            note(QStringLiteral("s%1").arg(count));
        });
        read_picture_page(
            unknown, 0, [&](QList<QVariant> entries) { note(QStringLiteral("p%1").arg(entries.size())); });
        search_video_end(first);
        answeredInWorker = answered;
    }));
    worker->start();
    QVERIFY(worker->wait(3000));
    QCOMPARE(answeredInWorker, 0);
    QTRY_VERIFY2_WITH_TIMEOUT(answered == 3, "answers of the queued calls", 3000);
    device.releaseHeld(); // the reader was ended: its late reply only stops the session it opened
    WAIT_IDLE();

    // Blocking: the worker waits until the main thread has started the work.
    int answeredAfterRead = -1;
    int answeredAfterBegin = -1;
    quint64 second = 0;
    quint64 none = 1;
    worker.reset(QThread::create([&]() {
        read_picture(unknown, 0, [&](quint64 size, const QImage &) { note(QStringLiteral("r%1").arg(size)); });
        answeredAfterRead = answered;
        second = search_video_begin(recorder, desc, [&](int code, RecordVideoType type, QList<QVariant> records) {
            note(QStringLiteral("b%1:%2:%3").arg(code).arg(int(type)).arg(records.size()));
        });
        none = search_video_begin(unknown, desc, [&](int code, RecordVideoType, QList<QVariant>) {
            note(QStringLiteral("none %1").arg(code));
        });
        answeredAfterBegin = answered;
    }));
    worker->start();
    QTRY_VERIFY2_WITH_TIMEOUT(worker->isFinished(), "the worker's blocking calls to return", 3000);
    QCOMPARE(answeredAfterRead, 4);
    QCOMPARE(answeredAfterBegin, 5);
    QVERIFY(second != 0);
    QCOMPARE(none, quint64(0));
    device.releaseHeld();
    WAIT_IDLE();
    search_video_end(second); // the id from the worker names the reader: its session is stopped

    QCOMPARE(answers.join(QLatin1Char(' ')), QStringLiteral("v-1 s-1 p0 r0 none -1 b8:0:1 b8:2:0"));
    QCOMPARE(threads, QVector<QThread *>(answers.size(), QThread::currentThread()));
    QCOMPARE(device.routes(), QStringLiteral("info stop:7 info tags event event stop:8"));
}

void TestManager::emptyCallbacksAreHarmless()
{
    freshStart();
    const TargetDesc unknown = newTarget(QStringLiteral("dev2 ip"));
    const TargetDesc recorder = newTarget(QStringLiteral("nvr ip"));
    FakeDevice::instance().script(
        false, QStringLiteral("info 1/1/7; event 1/1/31; info 1/1/8; tags 0; event 0; event 0"));
    search_video(unknown, { 0 }, RecordVideoType::All, StreamType::Main, spanStart(), spanEnd(), nullptr);
    search_picture(unknown, { 0 }, RecordPictureType::Snapshot, spanStart(), spanEnd(), nullptr);
    read_picture_page(unknown, 0, nullptr);
    read_picture(unknown, 0, nullptr);
    QCOMPARE(search_video_begin(unknown, {}, nullptr), quint64(0));
    // Answers from the device go nowhere as well.
    search_video(recorder, { 3, 0 }, RecordVideoType::All, StreamType::Main, spanStart(), spanEnd(), nullptr);
    QVERIFY(search_video_begin(
                recorder, { { 3, 0 }, RecordVideoType::All, StreamType::Main, spanStart(), spanEnd() }, nullptr)
        != 0);
    WAIT_IDLE();
    QCOMPARE(FakeDevice::instance().routes(), QStringLiteral("info info event tags eventClose:31 event event"));
}

QTEST_GUILESS_MAIN(TestManager)
#include "tst_manager.moc"
