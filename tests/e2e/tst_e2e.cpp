// The library end to end: every export through the real transport stand-ins against simulated
// recorders and cameras on loopback, called the way a host calls them. What comes back is compared
// with the simulator's catalogue, and what a run leaves open on the device with its books.

#include "SimulatedDevice.h"

#include <lyio/lyio.h>

#include <QThread>

#include <algorithm>

using namespace lydevice;
using namespace lydevice::e2e;

namespace
{

const QDateTime spanFrom(QDate(2024, 3, 1), QTime(1, 0));
const QDateTime spanTo(QDate(2024, 3, 1), QTime(20, 30));
const QVector<int> searched { 2, 0 };
// Smart records: their listings on either device hold nothing the search drops, so every page counts.
constexpr RecordVideoType searchedType = RecordVideoType::Alarm;

enum class Call { Search, Reading, PictureSearch, PicturePage, Picture };

// Several pages of every listing: record info of one channel and events of two (pages of 100),
// tags (50), camera files (20), pictures (100 on a recorder, 30 on a camera).
sim::SimulatorOptions deviceOptions(sim::DeviceKind kind)
{
    sim::SimulatorOptions options;
    options.kind = kind;
    options.seed = 5;
    options.channels = 3;
    // No alarm-input, video-loss or tamper records: every listing then ends with records the
    // searches and readings keep, and a page lost at the end shows.
    options.recordsPerType = { { 80, 80, 80, 80, 0, 0, 0 } };
    options.tagsPerChannel = 60;
    options.setPictureCount(30);
    options.pictureSize = QSize(96, 54);
    // The camera answers in chunks of varied sizes, the recorder with Content-Length: both
    // framings reach the library through real sockets.
    options.chunked = kind == sim::DeviceKind::Camera;
    return options;
}

int picturePageSize(sim::DeviceKind kind)
{
    return kind == sim::DeviceKind::Recorder ? 100 : 30;
}

struct Delivery {
    int code;
    RecordVideoType type;
    QVariantList records;
};

// What one call answered. Its callbacks hold it too, so one that comes after its test has ended
// writes where nobody reads instead of into freed memory.
struct Answers {
    int calls = 0; // callbacks, deliveries of a reading included
    bool offMainThread = false; // a callback ran outside the main thread
    int code = 0; // search_video's code, search_picture's count
    QVariantList entries; // search_video's records, read_picture_page's page
    QVector<Delivery> deliveries; // search_video_begin's
    quint64 readingId = 0;
    quint64 size = 0; // read_picture's
    QImage image;

    void note()
    {
        ++calls;
        offMainThread = offMainThread || QThread::currentThread() != qApp->thread();
    }
    // The last delivery of a reading is a failure or the end (type 2 without records).
    bool readingEnded() const
    {
        return !deliveries.isEmpty()
            && (deliveries.last().code == -1
                || (deliveries.last().type == RecordVideoType::Alarm && deliveries.last().records.isEmpty()));
    }
    bool answered(Call call) const
    {
        return call == Call::Reading ? readingEnded() : calls > 0;
    }
    bool failed(Call call) const
    {
        switch (call) {
        case Call::Search:
            return code == -1 && entries.isEmpty();
        case Call::Reading:
            return deliveries.last().code == -1 && deliveries.last().records.isEmpty();
        case Call::PictureSearch:
            return code == -1;
        case Call::PicturePage:
            return entries.isEmpty();
        case Call::Picture:
            return size == 0 && image.isNull();
        }
        return false;
    }
};
using AnswerLog = std::shared_ptr<Answers>;

// Starts `call` on `target` over the searched channels and span; `index` is the page or picture.
AnswerLog start(Call call, const TargetDesc &target, int index = 0)
{
    auto log = std::make_shared<Answers>();
    switch (call) {
    case Call::Search:
        search_video(target,
            searched,
            searchedType,
            StreamType::Main,
            spanFrom,
            spanTo,
            [log](int code, QList<QVariant> records) {
                log->note();
                log->code = code;
                log->entries = records;
            });
        break;
    case Call::Reading:
        log->readingId = search_video_begin(target,
            RecordVideoDesc { searched, RecordVideoType::All, StreamType::Main, spanFrom, spanTo },
            [log](int code, RecordVideoType type, QList<QVariant> records) {
                log->note();
                log->deliveries.append({ code, type, records });
            });
        break;
    case Call::PictureSearch:
        search_picture(target, searched, RecordPictureType::All, spanFrom, spanTo, [log](int count) {
            log->note();
            log->code = count;
        });
        break;
    case Call::PicturePage:
        read_picture_page(target, index, [log](QList<QVariant> entries) {
            log->note();
            log->entries = entries;
        });
        break;
    case Call::Picture:
        read_picture(target, index, [log](quint64 size, const QImage &image) {
            log->note();
            log->size = size;
            log->image = image;
        });
        break;
    }
    return log;
}

// The entries the library should hand its caller for the catalogue's items.
QVariantList videoEntries(const QVector<sim::Recording> &recordings, sim::DeviceKind kind)
{
    QVariantList entries;
    for (const sim::Recording &r : recordings)
        entries.append(QVariantHash {
            { QStringLiteral("type"), kind == sim::DeviceKind::Camera ? r.cameraDigit() : r.recorderCode() },
            { QStringLiteral("start"), r.start() },
            { QStringLiteral("end"), r.end() } });
    return entries;
}

QVariantList recorderReadingEntries(const QVector<sim::Recording> &recordings)
{
    QVariantList entries;
    for (const sim::Recording &r : recordings)
        entries.append(QVariantHash { { QStringLiteral("start"), r.start() },
            { QStringLiteral("end"), r.end() },
            { QStringLiteral("isAnr"), r.type == sim::RecordType::Anr },
            { QStringLiteral("isEvent"), r.type != sim::RecordType::Anr && r.type != sim::RecordType::Continuous } });
    return entries;
}

QVariantList tagEntries(const QVector<sim::Tag> &tags)
{
    QVariantList entries;
    for (const sim::Tag &tag : tags)
        entries.append(QVariantHash { { QStringLiteral("chnid"), tag.channel },
            { QStringLiteral("id"), tag.id },
            { QStringLiteral("index"), tag.index },
            { QStringLiteral("name"), tag.name },
            { QStringLiteral("time"), tag.time() } });
    return entries;
}

QVariantList pictureEntries(const QVector<sim::Picture> &pictures, sim::DeviceKind kind)
{
    QVariantList entries;
    for (const sim::Picture &picture : pictures) {
        QVariantHash entry { { QStringLiteral("name"), picture.name }, { QStringLiteral("time"), picture.time() } };
        if (kind == sim::DeviceKind::Recorder)
            entry.insert(QStringLiteral("channel"), picture.channel);
        entries.append(entry);
    }
    return entries;
}

QString describe(const QVariant &value)
{
    QStringList members;
    const QVariantHash hash = value.toHash();
    for (auto it = hash.cbegin(); it != hash.cend(); ++it)
        members.append(QStringLiteral("%1=%2(%3)").arg(it.key(), it->toString(), QLatin1String(it->typeName())));
    std::sort(members.begin(), members.end());
    return QLatin1Char('{') + members.join(QStringLiteral(", ")) + QLatin1Char('}');
}

// Empty when the lists hold equal entries in the same order, each value of the type the caller
// reads (an int an int, a time a valid time); otherwise the first difference.
QString difference(const QVariantList &actual, const QVariantList &expected)
{
    for (int i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        const QVariantHash got = actual.at(i).toHash(), want = expected.at(i).toHash();
        const bool same = actual.at(i).userType() == QMetaType::QVariantHash && got.size() == want.size()
            && std::all_of(want.keyBegin(), want.keyEnd(), [&](const QString &key) {
                   return got.value(key).userType() == want.value(key).userType() && got.value(key) == want.value(key);
               });
        if (!same)
            return QStringLiteral("entry %1: got %2, want %3").arg(i).arg(describe(actual.at(i)), describe(want));
    }
    if (actual.size() != expected.size())
        return QStringLiteral("got %1 entries, want %2").arg(actual.size()).arg(expected.size());
    return QString();
}

#define COMPARE_ENTRIES(actual, expected)                                                                              \
    do {                                                                                                               \
        const QString difference_ = difference(actual, expected);                                                      \
        QVERIFY2(difference_.isEmpty(), qPrintable(difference_));                                                      \
    } while (false)

} // namespace

Q_DECLARE_METATYPE(Call)

class TestE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void exportsAnswerWhatTheDeviceHolds_data();
    void exportsAnswerWhatTheDeviceHolds();
    void cancelAllLeavesNothingOpen_data();
    void cancelAllLeavesNothingOpen();
    void faultsAnswerInTheFailureForm_data();
    void faultsAnswerInTheFailureForm();
    void callsFromAnotherThread();
};

void TestE2e::initTestCase()
{
    init();
}

void TestE2e::cleanup()
{
    // The library's state is process-wide: leave nothing of a test running into the next.
    cancel_all_record_searching();
    tcp_scheduler_set_default_timeouts(0, 0);
}

void TestE2e::exportsAnswerWhatTheDeviceHolds_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<Call>("call");

    for (const auto kind : { sim::DeviceKind::Recorder, sim::DeviceKind::Camera }) {
        for (const auto transport : { TransportType::Ip, TransportType::P2p }) {
            const char *names[2][2]
                = { { "recorder over http", "recorder over p2p" }, { "camera over http", "camera over p2p" } };
            const char *name = names[int(kind)][int(transport)];
            QTest::addRow("%s, search_video", name) << kind << transport << Call::Search;
            QTest::addRow("%s, search_video_begin", name) << kind << transport << Call::Reading;
            QTest::addRow("%s, pictures", name) << kind << transport << Call::PictureSearch;
        }
    }
}

void TestE2e::exportsAnswerWhatTheDeviceHolds()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(Call, call);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(transport);
    const sim::Catalogue &catalogue = device.catalogue();
    const bool recorder = kind == sim::DeviceKind::Recorder;
    const AnswerLog log = start(call, target);
    lydevice::cleanup(); // leaves running work alone
    WAIT_FOR(log->answered(call));

    if (call == Call::Search) {
        COMPARE_ENTRIES(log->entries,
            videoEntries(catalogue.expectedVideoSearch(searched, int(searchedType), spanFrom, spanTo), kind));
        // A recorder's code is the playback session the search opened, which stays open for the
        // host until the device's next search or cancel-all; the event search is closed. A camera
        // opens nothing and reports 0.
        WAIT_FOR(device.books().openHandles().size() == (recorder ? 1 : 0));
        if (recorder)
            QVERIFY(device.books().isOpen(sim::HandleKind::PlaybackSession, log->code));
        else
            QCOMPARE(log->code, 0);
    } else if (call == Call::Reading) {
        // The stages in order, each in one or more batches, with the code of the first delivery.
        QVector<int> stages;
        QHash<int, QVariantList> records;
        for (const Delivery &delivery : qAsConst(log->deliveries)) {
            QCOMPARE(delivery.code, log->deliveries.first().code);
            if (stages.isEmpty() || stages.last() != int(delivery.type))
                stages.append(int(delivery.type));
            records[int(delivery.type)] += delivery.records;
        }
        QHash<int, QVariantList> expected;
        if (recorder) {
            // Records of the first channel, tags, then the motion and the smart event records.
            QCOMPARE(stages, (QVector<int> { 0, 6, 1, 2 }));
            expected[0] = recorderReadingEntries(catalogue.recordInfo(searched.first(), spanFrom, spanTo));
            expected[6] = tagEntries(catalogue.tags(searched, spanFrom, spanTo));
            expected[1] = recorderReadingEntries(catalogue.events(searched, 2, 0, spanFrom, spanTo));
            expected[2] = recorderReadingEntries(catalogue.events(searched, 64, 511, spanFrom, spanTo));
            // Every delivery carries the playback session the reading holds until it is ended.
            QVERIFY(device.books().isOpen(sim::HandleKind::PlaybackSession, log->deliveries.first().code));
        } else {
            // After its last page: the continuous, motion and smart files, then the motion files
            // and the smart files again.
            QCOMPARE(stages, (QVector<int> { 0, 1, 2 }));
            for (const sim::Recording &file : catalogue.cameraFiles(0, spanFrom, spanTo)) {
                const int stage = file.type == sim::RecordType::Continuous ? 0
                    : file.type == sim::RecordType::Motion                 ? 1
                    : file.type == sim::RecordType::Smart                  ? 2
                                                                           : -1;
                if (stage >= 0)
                    expected[0] += videoEntries({ file }, kind);
                if (stage > 0)
                    expected[stage] += videoEntries({ file }, kind);
            }
            QCOMPARE(log->deliveries.first().code, 0);
        }
        for (const int stage : stages)
            COMPARE_ENTRIES(records.value(stage), expected.value(stage));
        search_video_end(log->readingId);
    } else if (transport == TransportType::Ip) {
        const QVector<sim::Picture> pictures = catalogue.pictures(searched, 2, spanFrom, spanTo);
        const QVariantList entries = pictureEntries(pictures, kind);
        const int pageSize = picturePageSize(kind);
        QCOMPARE(log->code, pictures.size());
        // The search keeps its first page: reading page 0 asks the device nothing.
        const int requests = device.books().requestCount();
        AnswerLog page = start(Call::PicturePage, target, 0);
        WAIT_FOR(page->calls == 1);
        QCOMPARE(device.books().requestCount(), requests);
        COMPARE_ENTRIES(page->entries, entries.mid(0, pageSize));
        const int last = (pictures.size() - 1) / pageSize;
        QVERIFY(last >= 1);
        page = start(Call::PicturePage, target, last);
        WAIT_FOR(page->calls == 1);
        COMPARE_ENTRIES(page->entries, entries.mid(last * pageSize));
        // A picture on another page than the one held.
        const AnswerLog picture = start(Call::Picture, target, pageSize + 1);
        WAIT_FOR(picture->calls == 1);
        const QByteArray jpeg = catalogue.jpeg(pictures.at(pageSize + 1));
        QCOMPARE(picture->size, quint64(jpeg.size()));
        QVERIFY(!picture->image.isNull());
        QCOMPARE(picture->image.convertToFormat(QImage::Format_RGB32),
            QImage::fromData(jpeg).convertToFormat(QImage::Format_RGB32));
    } else {
        // Pictures are searched over HTTP only: every picture call is refused without a request.
        QVERIFY(log->failed(call));
        const AnswerLog page = start(Call::PicturePage, target, 0);
        const AnswerLog picture = start(Call::Picture, target, 0);
        WAIT_FOR(page->calls == 1 && picture->calls == 1);
        QVERIFY(page->failed(Call::PicturePage) && picture->failed(Call::Picture));
        QCOMPARE(device.books().requestCount(), 0);
    }

    const int calls = log->calls;
    cancel_all_record_searching();
    QCOMPARE(device.leftOver(), QString());
    QCOMPARE(log->calls, calls);
    QVERIFY(!log->offMainThread);
}

void TestE2e::cancelAllLeavesNothingOpen_data()
{
    // Cancelled as the device answers `request`: at a page the call holds what its stage opened;
    // at an opening the reply opens something for a call that is gone.
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("request");

    const auto recorder = sim::DeviceKind::Recorder, camera = sim::DeviceKind::Camera;
    const auto http = TransportType::Ip, p2p = TransportType::P2p;
    QTest::newRow("recorder search over http, at an event page")
        << recorder << http << Call::Search << QStringLiteral("get.playback.evt_backup_search_page");
    QTest::newRow("camera search over p2p, at a file page")
        << camera << p2p << Call::Search << QStringLiteral("ipc.55");
    QTest::newRow("recorder reading over p2p, at its opening")
        << recorder << p2p << Call::Reading << QStringLiteral("nvr.25");
    QTest::newRow("recorder reading over p2p, at a tag page")
        << recorder << p2p << Call::Reading << QStringLiteral("nvr.31");
    QTest::newRow("recorder reading over http, at the event search opening")
        << recorder << http << Call::Reading << QStringLiteral("get.playback.evt_backup_search");
    QTest::newRow("camera reading over http, at a file page")
        << camera << http << Call::Reading << QStringLiteral("PBFilePageIndex");
    QTest::newRow("recorder picture read, moving to its page")
        << recorder << http << Call::Picture << QStringLiteral("get.playback.picture_backup_search_page");
    QTest::newRow("camera page read") << camera << http << Call::PicturePage << QStringLiteral("sdexplorer");
}

void TestE2e::cancelAllLeavesNothingOpen()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(Call, call);
    QFETCH(QString, request);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(transport);
    if (call == Call::Picture || call == Call::PicturePage) {
        const AnswerLog search = start(Call::PictureSearch, target);
        WAIT_FOR(search->calls == 1);
    }
    AnswerLog log;
    int callsAtCancel = -1;
    QObject::connect(&device.simulator(),
        &sim::DeviceSimulator::requestServed,
        &device.simulator(),
        [&](const sim::RequestRecord &record) {
            if (record.kind == request && callsAtCancel < 0) {
                callsAtCancel = log->calls;
                cancel_all_record_searching();
            }
        });
    log = start(call, target, call == Call::Picture ? 2 * picturePageSize(kind) + 1 : 2);
    WAIT_FOR(callsAtCancel >= 0);
    QCOMPARE(device.leftOver(), QString());

    // Replies come back in order per device: once a later search has its answer, the cancelled
    // call's late reply has been dropped.
    const AnswerLog later = start(Call::Search, target);
    WAIT_FOR(later->calls == 1);
    QCOMPARE(log->calls, callsAtCancel);
}

void TestE2e::faultsAnswerInTheFailureForm_data()
{
    // The library sees a failed request or a bad answer, whatever went wrong: each kind of fault
    // once, each call once.
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<Call>("call");
    QTest::addColumn<sim::FaultKind>("fault");
    QTest::addColumn<QString>("match");

    const auto recorder = sim::DeviceKind::Recorder, camera = sim::DeviceKind::Camera;
    const auto http = TransportType::Ip, p2p = TransportType::P2p;
    QTest::newRow("search_video, event search refused over p2p")
        << recorder << p2p << Call::Search << sim::FaultKind::Status500 << QStringLiteral("nvr.27");
    QTest::newRow("search_video_begin, file page cut off")
        << camera << http << Call::Reading << sim::FaultKind::TruncatedChunked << QStringLiteral("PBFilePageIndex");
    QTest::newRow("search_picture, malformed answer")
        << recorder << http << Call::PictureSearch << sim::FaultKind::Malformed
        << QStringLiteral("get.playback.picture_backup_search_open");
    QTest::newRow("read_picture_page, connection dropped")
        << camera << http << Call::PicturePage << sim::FaultKind::Drop << QStringLiteral("sdexplorer");
    QTest::newRow("read_picture, answer later than the timeout")
        << recorder << http << Call::Picture << sim::FaultKind::Delay
        << QStringLiteral("get.playback.picture_backup_search_index");
}

void TestE2e::faultsAnswerInTheFailureForm()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(Call, call);
    QFETCH(sim::FaultKind, fault);
    QFETCH(QString, match);

    // HTTP replies later than this fail; the delayed one comes well after it.
    tcp_scheduler_set_default_timeouts(0, 500);
    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(transport);
    if (call == Call::Picture || call == Call::PicturePage) {
        const AnswerLog search = start(Call::PictureSearch, target);
        WAIT_FOR(search->calls == 1);
    }
    // Every matching request fails: LyIO sends a request once more when a kept-alive connection
    // closes before any byte of its reply, so a single dropped connection would go unnoticed.
    device.simulator().addFault(fault, match, -1, fault == sim::FaultKind::Delay ? 2000 : 0);
    const AnswerLog log = start(call, target, 1);
    WAIT_FOR(log->answered(call));
    QVERIFY(log->failed(call));

    device.simulator().clearFaults();
    const int calls = log->calls;
    cancel_all_record_searching();
    QCOMPARE(device.leftOver(), QString());
    const AnswerLog later = start(Call::Search, target);
    WAIT_FOR(later->calls == 1);
    QCOMPARE(log->calls, calls);
}

void TestE2e::callsFromAnotherThread()
{
    // Video on a recorder, pictures on a camera: a device keeps one session, the last stored.
    SimulatedDevice recorder(deviceOptions(sim::DeviceKind::Recorder));
    SimulatedDevice camera(deviceOptions(sim::DeviceKind::Camera));
    QVERIFY(recorder.isReady() && camera.isReady());

    // Every export from another thread: search_video, search_picture and read_picture_page are
    // queued and return at once; search_video_begin and read_picture wait until the main thread
    // has started the work. Each call is answered once, in the main thread. (The page and the
    // picture read may find the picture search still running and be refused.)
    QVector<AnswerLog> logs(5);
    std::unique_ptr<QThread> caller(QThread::create([&]() {
        for (const Call call : { Call::Search, Call::Reading, Call::PictureSearch, Call::PicturePage, Call::Picture }) {
            const bool video = call == Call::Search || call == Call::Reading;
            logs[int(call)] = start(call, (video ? recorder : camera).target(TransportType::Ip));
        }
    }));
    caller->start();
    WAIT_FOR(caller->isFinished());
    const AnswerLog &search = logs[int(Call::Search)], &reading = logs[int(Call::Reading)];
    QVERIFY(reading->readingId != 0);
    WAIT_FOR(std::all_of(logs.cbegin(), logs.cend(), [](const AnswerLog &log) { return log->calls > 0; })
        && reading->readingEnded());
    COMPARE_ENTRIES(search->entries,
        videoEntries(recorder.catalogue().expectedVideoSearch(searched, int(searchedType), spanFrom, spanTo),
            sim::DeviceKind::Recorder));
    QVERIFY(!reading->failed(Call::Reading));
    QCOMPARE(logs[int(Call::PictureSearch)]->code, camera.catalogue().pictures(searched, 2, spanFrom, spanTo).size());
    for (const AnswerLog &log : logs)
        QVERIFY(!log->offMainThread && (log == reading || log->calls == 1));

    // Ending the reading and cancelling from another thread are queued too.
    std::unique_ptr<QThread> closer(QThread::create([&]() {
        search_video_end(reading->readingId);
        cancel_all_record_searching();
    }));
    closer->start();
    WAIT_FOR(closer->isFinished());
    QCOMPARE(recorder.leftOver(), QString());
    QCOMPARE(camera.leftOver(), QString());
}

QTEST_MAIN(TestE2e)
#include "tst_e2e.moc"
