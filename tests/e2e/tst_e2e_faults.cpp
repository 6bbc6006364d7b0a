// Every fault the simulator can inject (a reply later than the timeout, status 500 or a refusal
// over the link, a dropped connection, a malformed body, a truncated chunked body), on the
// requests of every export, recorder and camera, HTTP and P2P: each call is answered once,
// through its callback's failure form (or what the device's documented behaviour makes of the
// fault), never left hanging, and the device is left with nothing open after cancel-all.

#include "ExportCalls.h"
#include "SimulatedDevice.h"

#include <lyio/lyio.h>

#include <QTest>

#include <algorithm>

using namespace lydevice;
using namespace lydevice::e2e;

namespace
{
const QDateTime spanFrom(QDate(2024, 3, 1), QTime(1, 0));
const QDateTime spanTo(QDate(2024, 3, 1), QTime(20, 30));
const QVector<int> searchedChannels { 0, 1 };
// HTTP replies later than this fail; the delayed ones come well after it.
constexpr int replyTimeoutMs = 500;
constexpr int delayMs = 4 * replyTimeoutMs;

enum class Call { Search, Reading, PictureSearch, PicturePage, Picture };

sim::SimulatorOptions deviceOptions(sim::DeviceKind kind)
{
    sim::SimulatorOptions options;
    options.kind = kind;
    options.seed = 13;
    options.channels = 2;
    options.setRecordCount(70);
    options.tagsPerChannel = 40;
    options.setPictureCount(20);
    options.pictureSize = QSize(64, 36);
    return options;
}

// Searches pictures of every type and waits for the count.
int searchAllPictures(const TargetDesc &target)
{
    const auto answer = searchPicture(target, searchedChannels, RecordPictureType::All, spanFrom, spanTo);
    waitUntil([&]() { return answer->calls > 0; });
    return answer->calls == 1 ? answer->count : -2;
}
} // namespace

Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(lydevice::sim::FaultKind)

class TestE2eFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void faultIsAnsweredOnce_data();
    void faultIsAnsweredOnce();
};

void TestE2eFaults::initTestCase()
{
    init();
    tcp_scheduler_set_default_timeouts(replyTimeoutMs, replyTimeoutMs);
}

void TestE2eFaults::cleanupTestCase()
{
    tcp_scheduler_set_default_timeouts(0, 0);
}

void TestE2eFaults::cleanup()
{
    cancel_all_record_searching();
}

void TestE2eFaults::faultIsAnsweredOnce_data()
{
    QTest::addColumn<sim::DeviceKind>("kind");
    QTest::addColumn<TransportType>("transport");
    QTest::addColumn<Call>("call");
    QTest::addColumn<sim::FaultKind>("fault");
    QTest::addColumn<QString>("match");
    // search_video: the code (-1 for the failure form, with no records); readers: the code and
    // type of the delivery that ends the reading. Other calls have one failure form each.
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("type");

    const sim::DeviceKind recorder = sim::DeviceKind::Recorder, camera = sim::DeviceKind::Camera;
    const TransportType http = TransportType::Ip, p2p = TransportType::P2p;
    using F = sim::FaultKind;
    const auto row = [](const char *name,
                         sim::DeviceKind kind,
                         TransportType transport,
                         Call call,
                         sim::FaultKind fault,
                         const char *match,
                         int code = -1,
                         int type = 0) {
        QTest::newRow(name) << kind << transport << call << fault << QString::fromLatin1(match) << code << type;
    };

    // search_video
    const Call search = Call::Search;
    row("recorder http search, record info 500", recorder, http, search, F::Status500, "get.playback.recordinfo");
    row("recorder http search, record-info page dropped",
        recorder,
        http,
        search,
        F::Drop,
        "get.playback.recordinfo_page");
    row("recorder http search, event search malformed",
        recorder,
        http,
        search,
        F::Malformed,
        "get.playback.evt_backup_search");
    row("recorder http search, event page truncated",
        recorder,
        http,
        search,
        F::TruncatedChunked,
        "get.playback.evt_backup_search_page");
    row("recorder http search, event page beyond the timeout",
        recorder,
        http,
        search,
        F::Delay,
        "get.playback.evt_backup_search_page");
    row("recorder p2p search, record info refused", recorder, p2p, search, F::Status500, "nvr.25");
    row("recorder p2p search, event search refused", recorder, p2p, search, F::Status500, "nvr.27");
    row("recorder p2p search, link dropped at the event search", recorder, p2p, search, F::Drop, "nvr.27");
    row("recorder p2p search, event page malformed", recorder, p2p, search, F::Malformed, "nvr.28");
    row("recorder p2p search, event page truncated", recorder, p2p, search, F::TruncatedChunked, "nvr.28");
    row("camera http search, page count 500", camera, http, search, F::Status500, "PBFileTotalPage");
    row("camera http search, page count beyond the timeout", camera, http, search, F::Delay, "PBFileTotalPage");
    row("camera http search, file page dropped", camera, http, search, F::Drop, "PBFilePageIndex");
    row("camera http search, file page truncated", camera, http, search, F::TruncatedChunked, "PBFilePageIndex");
    // A camera answer without its "OK " lines reads as a span without recordings.
    row("camera http search, malformed page count reads as nothing found",
        camera,
        http,
        search,
        F::Malformed,
        "PBFileTotalPage",
        0);
    row("camera p2p search, page count refused", camera, p2p, search, F::Status500, "ipc.9");
    row("camera p2p search, page count malformed", camera, p2p, search, F::Malformed, "ipc.9");
    row("camera p2p search, file page dropped", camera, p2p, search, F::Drop, "ipc.55");
    row("camera p2p search, file page truncated", camera, p2p, search, F::TruncatedChunked, "ipc.55");

    // search_video_begin: the failure delivery names the stage that failed.
    const Call reading = Call::Reading;
    row("recorder http reading, record info 500", recorder, http, reading, F::Status500, "get.playback.recordinfo");
    row("recorder http reading, record info malformed",
        recorder,
        http,
        reading,
        F::Malformed,
        "get.playback.recordinfo");
    row("recorder http reading, tag search dropped", recorder, http, reading, F::Drop, "get.playback.tags_search_open");
    row("recorder http reading, tag page beyond the timeout",
        recorder,
        http,
        reading,
        F::Delay,
        "get.playback.tags_search_page");
    row("recorder http reading, event search truncated",
        recorder,
        http,
        reading,
        F::TruncatedChunked,
        "get.playback.evt_backup_search",
        -1,
        1);
    row("recorder http reading, event page 500",
        recorder,
        http,
        reading,
        F::Status500,
        "get.playback.evt_backup_search_page",
        -1,
        1);
    // Over the link a recorder that refuses the record info is taken for an empty span: code 0.
    row("recorder p2p reading, refused record info reads as an empty span",
        recorder,
        p2p,
        reading,
        F::Status500,
        "nvr.25",
        0);
    row("recorder p2p reading, link dropped at the record info", recorder, p2p, reading, F::Drop, "nvr.25");
    row("recorder p2p reading, tag search malformed", recorder, p2p, reading, F::Malformed, "nvr.29");
    row("recorder p2p reading, tag page truncated", recorder, p2p, reading, F::TruncatedChunked, "nvr.31");
    row("recorder p2p reading, event page dropped", recorder, p2p, reading, F::Drop, "nvr.28", -1, 1);
    row("camera http reading, page count 500", camera, http, reading, F::Status500, "PBFileTotalPage");
    row("camera http reading, page count malformed", camera, http, reading, F::Malformed, "PBFileTotalPage");
    row("camera http reading, file page beyond the timeout", camera, http, reading, F::Delay, "PBFilePageIndex");
    row("camera http reading, file page dropped", camera, http, reading, F::Drop, "PBFilePageIndex");
    row("camera http reading, file page truncated", camera, http, reading, F::TruncatedChunked, "PBFilePageIndex");
    row("camera p2p reading, page count refused", camera, p2p, reading, F::Status500, "ipc.9");
    row("camera p2p reading, page count truncated", camera, p2p, reading, F::TruncatedChunked, "ipc.9");
    row("camera p2p reading, file page malformed", camera, p2p, reading, F::Malformed, "ipc.55");
    row("camera p2p reading, file page dropped", camera, p2p, reading, F::Drop, "ipc.55");

    // search_picture, read_picture_page and read_picture (HTTP only).
    const struct {
        sim::DeviceKind kind;
        Call call;
        const char *match;
        const char *name;
    } pictureRequests[] = {
        { recorder, Call::PictureSearch, "get.playback.picture_backup_search_open", "recorder picture search" },
        { recorder, Call::PicturePage, "get.playback.picture_backup_search_page", "recorder page read" },
        { recorder, Call::Picture, "get.playback.picture_backup_search_index", "recorder picture read" },
        { camera, Call::PictureSearch, "sdexplorer", "camera picture search" },
        { camera, Call::PicturePage, "sdexplorer", "camera page read" },
        { camera, Call::Picture, "dataloader", "camera picture read" },
    };
    const struct {
        sim::FaultKind fault;
        const char *name;
    } faults[] = { { F::Delay, "beyond the timeout" },
        { F::Status500, "500" },
        { F::Drop, "dropped" },
        { F::Malformed, "malformed" },
        { F::TruncatedChunked, "truncated" } };
    for (const auto &request : pictureRequests) {
        for (const auto &fault : faults) {
            QTest::addRow("%s, %s", request.name, fault.name)
                << request.kind << http << request.call << fault.fault << QString::fromLatin1(request.match) << -1 << 0;
        }
    }
}

void TestE2eFaults::faultIsAnsweredOnce()
{
    QFETCH(sim::DeviceKind, kind);
    QFETCH(TransportType, transport);
    QFETCH(Call, call);
    QFETCH(sim::FaultKind, fault);
    QFETCH(QString, match);
    QFETCH(int, code);
    QFETCH(int, type);

    SimulatedDevice device(deviceOptions(kind));
    QVERIFY(device.isReady());
    const TargetDesc target = device.target(transport);
    if (call == Call::PicturePage || call == Call::Picture)
        QVERIFY(searchAllPictures(target) > 0);
    // Every matching request fails: LyIO sends a request once more when a kept-alive connection
    // closes before any byte of its reply, so a single dropped connection would go unnoticed.
    device.simulator().addFault(fault, match, -1, fault == sim::FaultKind::Delay ? delayMs : 0);

    std::function<int()> countAnswers;
    switch (call) {
    case Call::Search: {
        const auto answer = searchVideo(target, searchedChannels, RecordVideoType::All, spanFrom, spanTo);
        waitUntil([&]() { return answer->calls > 0; });
        QCOMPARE(answer->code, code);
        QVERIFY(answer->records.isEmpty());
        countAnswers = [answer]() { return answer->calls; };
        break;
    }
    case Call::Reading: {
        const auto reading = beginReading(target, searchedChannels, RecordVideoType::All, spanFrom, spanTo);
        const auto ended = [reading]() {
            return !reading->deliveries.isEmpty() && reading->deliveries.last().records.isEmpty()
                && reading->deliveries.last().type != RecordVideoType::Tag;
        };
        waitUntil(ended);
        QVERIFY(ended());
        QCOMPARE(reading->deliveries.last().code, code);
        QCOMPARE(int(reading->deliveries.last().type), type);
        // Batches may come before the delivery that ends the reading, none after it.
        countAnswers = [reading]() {
            return int(std::count_if(reading->deliveries.cbegin(), reading->deliveries.cend(), [](const Delivery &d) {
                return d.records.isEmpty() && d.type != RecordVideoType::Tag;
            }));
        };
        break;
    }
    case Call::PictureSearch: {
        const auto answer = searchPicture(target, searchedChannels, RecordPictureType::All, spanFrom, spanTo);
        waitUntil([&]() { return answer->calls > 0; });
        QCOMPARE(answer->count, -1);
        countAnswers = [answer]() { return answer->calls; };
        break;
    }
    case Call::PicturePage: {
        const auto answer = readPicturePage(target, 1);
        waitUntil([&]() { return answer->calls > 0; });
        QVERIFY(answer->entries.isEmpty());
        countAnswers = [answer]() { return answer->calls; };
        break;
    }
    case Call::Picture: {
        const auto answer = readPicture(target, 1);
        waitUntil([&]() { return answer->calls > 0; });
        QCOMPARE(answer->size, quint64(0));
        QVERIFY(answer->image.isNull());
        countAnswers = [answer]() { return answer->calls; };
        break;
    }
    }
    QCOMPARE(countAnswers(), 1);
    // The fault took effect on the request it names. (A delayed request is booked only when
    // answered, and the client gave up on it before.)
    if (fault != sim::FaultKind::Delay) {
        const QVector<sim::RequestRecord> requests = device.books().requests(match);
        QVERIFY(std::any_of(requests.cbegin(), requests.cend(), [](const sim::RequestRecord &request) {
            return !request.fault.isEmpty();
        }));
    }

    device.simulator().clearFaults();
    cancel_all_record_searching();
    QCOMPARE(device.waitForNothingOpen(), QString());
    QVERIFY2(
        device.books().strayCloses().isEmpty(), qPrintable(device.books().strayCloses().join(QStringLiteral(", "))));
    QCOMPARE(countAnswers(), 1);
}

QTEST_MAIN(TestE2eFaults)
#include "tst_e2e_faults.moc"
