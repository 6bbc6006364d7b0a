// The incremental readers behind search_video_begin on recorders and cameras over HTTP and P2P:
// stages and their deliveries, the failure of each stage, what ending a reader closes on the
// device in each state, replies that come after the end, and a reader ended from its own callback.

#include "Scenario.h"

#include <QtTest>

using namespace lydevice::test;

namespace
{

// One row per transport named after the device: "nvr ip p2p" adds a row over each.
void rows(const char *name,
    const char *targets,
    const char *script,
    const char *calls,
    const char *routes,
    const char *answers,
    const QStringList &checks = {})
{
    const QStringList words = QString::fromLatin1(targets).split(QLatin1Char(' '));
    for (const QString &transport : words.mid(1)) {
        const QByteArray target = (words.first() + QLatin1Char(' ') + transport).toLatin1();
        const QByteArray row = QByteArray(name) + " over " + transport.toLatin1();
        scenarioRow(row.constData(), target.constData(), script, calls, routes, answers, checks);
    }
}

} // namespace

class TestReaders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reading_data();
    void reading();
};

void TestReaders::reading_data()
{
    scenarioColumns();
    // clang-format off
    // Recorder: general records in one batch (type 0), tags per reply (6), event stages 1 and 2 per
    // reply, then the end; the session is the code of every delivery and is stopped at the end,
    // after the tag and event searches still open.
    rows("recorder: every stage in one reply", "nvr ip p2p", "info 2/2/7; tags 1/1/3; event 1/1/4; event 1/1/5", "begin; idle; end",
        "info tags tagClose:3 event eventClose:4 event eventClose:5 stop:7", "b7:0:0-1 b7:6:2 b7:1:3 b7:2:4 b7:2:");
    rows("recorder: general records over three pages, nothing else", "nvr ip p2p", "info 2/5/7; page 2; page 1; tags 0; event 0; event 0",
        "begin; idle; end", "info page page tags event event stop:7", "b7:0:0-4 b7:2:");
    rows("recorder: tag and event pages", "nvr ip p2p", "info 1/1/7; tags 1/3/3; tagPage 0; tagPage 2; event 1/2/4; eventPage 1; event 2/2/5",
        "begin; idle; end", "info tags tagPage tagPage event eventPage eventClose:4 event tagClose:3 eventClose:5 stop:7",
        "b7:0:0 b7:6:1 b7:6: b7:6:2-3 b7:1:4 b7:1:5 b7:2:6-7 b7:2:");
    rows("recorder: session 0 is a session", "nvr ip p2p", "info 1/1/0; tags 0; event 0; event 0", "begin; idle; end",
        "info tags event event stop:0", "b0:0:0 b0:2:");
    rows("recorder: event handle 0 is a handle", "nvr ip p2p", "info 1/1/7; tags 0; event 1/1/0; event 0", "begin; idle; end",
        "info tags event eventClose:0 event stop:7", "b7:0:0 b7:1:1 b7:2:");
    rows("recorder: no channel fails later and asks nothing", "nvr ip p2p", "", "begin ch=; idle; end", "", "b-1:0:");

    // Each stage failing: the failure is the last delivery, with the type of the stage.
    rows("recorder: record info fails", "nvr ip p2p", "info fail", "begin; idle; end", "info", "b-1:0:");
    rows("recorder: record info with status 500", "nvr ip", "info http500", "begin; idle; end", "info", "b-1:0:");
    rows("recorder: no general records fails", "nvr ip", "info 0/0/7", "begin; idle; end", "info", "b-1:0:");
    rows("recorder: no general records ends empty", "nvr p2p", "info 0/0/7", "begin; idle; end", "info", "b0:0:");
    rows("recorder: record-info page fails", "nvr ip p2p", "info 2/4/7; page fail", "begin; idle; end", "info page stop:7", "b-1:0:");
    rows("recorder: record-info page without records fails", "nvr ip", "info 2/4/7; page 0", "begin; idle; end", "info page stop:7", "b-1:0:");
    rows("recorder: record-info page without records ends empty", "nvr p2p", "info 2/4/7; page 0", "begin; idle; end", "info page stop:7", "b0:0:");
    rows("recorder: tag search fails", "nvr ip p2p", "info 1/1/7; tags fail", "begin; idle; end", "info tags stop:7", "b7:0:0 b-1:0:");
    rows("recorder: tag page fails", "nvr ip p2p", "info 1/1/7; tags 1/2/3; tagPage fail", "begin; idle; end",
        "info tags tagPage tagClose:3 stop:7", "b7:0:0 b7:6:1 b-1:0:");
    rows("recorder: event stage 1 fails", "nvr ip p2p", "info 1/1/7; tags 0; event fail", "begin; idle; end",
        "info tags event stop:7", "b7:0:0 b-1:1:");
    rows("recorder: event stage 1 page without records fails", "nvr ip p2p", "info 1/1/7; tags 0; event 1/3/4; eventPage 0",
        "begin; idle; end", "info tags event eventPage eventClose:4 stop:7", "b7:0:0 b7:1:1 b-1:1:");
    rows("recorder: event stage 2 page fails", "nvr ip p2p", "info 1/1/7; tags 0; event 0; event 1/2/5; eventPage fail",
        "begin; idle; end", "info tags event event eventPage eventClose:5 stop:7", "b7:0:0 b7:2:1 b-1:2:");

    // How each transport reads the replies.
    rows("recorder: res -1 skips event stage 1 without its records", "nvr p2p", "info 1/1/7; tags 0; event 5/5/4 res=\"-1\"; event 0",
        "begin", "info tags event event", "b7:0:0 b7:2:");
    rows("recorder: res -1 in event stage 2 ends the reading", "nvr p2p", "info 1/1/7; tags 0; event 0; event 5/5/4 res=-1",
        "begin", "info tags event event", "b7:0:0 b7:2:");
    rows("recorder: event search without r.cnt counts as empty", "nvr p2p", "info 1/1/7; tags 0; event 2/2/4 r.cnt=; event 0",
        "begin", "info tags event event", "b7:0:0 b7:2:");
    rows("recorder: record-info count is text, 2.5 reads as none", "nvr p2p", "info 2/2/7 cnt=2.5", "begin", "info", "b0:0:");
    rows("recorder: tag page count is a number, tag handle truncated", "nvr p2p",
        "info 1/1/7; tags 1/3/3 sid=3.7; tagPage 2 cnt=\"2.9\"; event 0; event 0", "begin; idle; end",
        "info tags tagPage event event tagClose:3 stop:7", "b7:0:0 b7:6:1 b7:6:2-3 b7:2:");
    rows("recorder: tag search count is text, 1.0 reads as none", "nvr ip", "info 1/1/7; tags 1/1/3 cnt=\"1.0\"; event 0; event 0",
        "begin", "info tags event event", "b7:0:0 b7:2:");
    rows("recorder: a record key without a number names record 0, one outside the count none", "nvr ip",
        "info 2/2/7 startTime0= startTimeX=\"2024-03-05 07:00:00\" startTime7=\"x\" endTime-1=\"x\"; tags 0; event 0; event 0",
        "begin", "info tags event event", "b7:0:0-1 b7:2:");
    rows("recorder: a count beyond what a reply can hold is cut", "nvr ip", "info 1/1/7; tags 0; event 0/0/4 cnt=2147483647; event 0",
        "begin", "info tags event eventClose:4 event", "b7:0:0 b7:1:?*10000 b7:2:");

    // The requests of every stage.
    const char *stages = "info 1/3/7; page 1; page 1; tags 1/3/3; tagPage 1; tagPage 1; event 1/3/4; eventPage 1; eventPage 1; event 1/1/5";
    const char *stageRoutes = "info page page tags tagPage tagPage event eventPage eventPage eventClose:4 event tagClose:3 eventClose:5 stop:7";
    const char *stageAnswers = "b7:0:0-2 b7:6:3 b7:6:4 b7:6:5 b7:1:6 b7:1:7 b7:1:8 b7:2:9 b7:2:";
    rows("recorder: requests", "nvr ip", stages, "begin; idle; end", stageRoutes, stageAnswers, wire({
        "info=action=get.playback.recordinfo&chnid=3&stream=1&startTime=$QS&endTime=$QE&all=1",
        "page=action=get.playback.recordinfo_page&sid=7&page=2", "page#2.page=3", "tagPage#2.npage=3", "eventPage#2.page=3",
        "tags=action=get.playback.tags_search_open&chnMaskl=$MASK&enType=1&startTime=$QS&endTime=$QE",
        "tagPage=action=get.playback.tags_search_page&sid=3&npage=2",
        "tagClose=action=get.playback.tags_search_close&cnt=1&sid0=3",
        "event=action=get.playback.evt_backup_search&chnmaskl=$MASK&num=1&event=2&subType=0&stream=1&ahead=0&delay=0&startTime=$QS&endTime=$QE",
        "event#2.event=64", "event#2.subType=511",
        "eventPage=action=get.playback.evt_backup_search_page&sid=4&page=2",
        "eventClose=action=get.playback.evt_backup_search_close&sid=4",
        "stop=action=set.playback.stop_batch&cnt=1&sid[0]=7&close=1" }));
    rows("recorder: requests", "nvr p2p", stages, "begin; idle; end", stageRoutes, stageAnswers, wire({
        R"(info={"r.chnid":3,"r.endTime":"$PE","r.startTime":"$PS","r.stream":1})",
        R"(page={"r.page":2,"r.sid":7})", "page#2.r.page=3", "tagPage#2.npage=3", "eventPage#2.r.page=3",
        R"(tags={"chnMaskl":"$MASK","enType":1,"endTime":"$QE","startTime":"$QS"})",
        R"(tagPage={"npage":2,"sid":3})",
        R"(tagClose={"cnt":1,"sid0":3})",
        R"(event={"r.ahead":"0","r.chnmaskl":"$MASK","r.delay":"0","r.endTime":"$PE","r.event":"2","r.num":"1","r.startTime":"$PS","r.stream":"1","r.subType":"0"})",
        R"(event#2.r.event="64")", R"(event#2.r.subType="511")",
        R"(eventPage={"r.page":2,"r.sid":"4"})",
        R"(eventClose={"r.sid":"4"})",
        R"(stop={"r.close":1,"r.cnt":1,"r.sid[0]":7})" }));
    rows("recorder: stream 2 asks the main stream", "nvr ip", "info fail", "begin stream=2", "info", "b-1:0:", wire({ "info.stream=0" }));
    rows("recorder: stream 2 asks the main stream", "nvr p2p", "info fail", "begin stream=2", "info", "b-1:0:", wire({ "info.r.stream=0" }));

    // Replies after the end: what a reply opened is closed; anything else is dropped.
    rows("recorder: late record info", "nvr ip p2p", "info 2/2/7 held", "begin; idle; end; release", "info stop:7", "");
    rows("recorder: late record info without records", "nvr ip p2p", "info 0/0/7 held", "begin; idle; end; release", "info", "");
    rows("recorder: late record-info page", "nvr ip p2p", "info 1/2/7; page 1 held", "begin; idle; end; release", "info page stop:7", "");
    rows("recorder: late tag search", "nvr ip p2p", "info 1/1/7; tags 1/2/3 held", "begin; idle; end; release",
        "info tags stop:7 tagClose:3", "b7:0:0");
    rows("recorder: late tag search without tags", "nvr ip p2p", "info 1/1/7; tags 0/0/3 held", "begin; idle; end; release",
        "info tags stop:7", "b7:0:0");
    rows("recorder: late tag page", "nvr ip p2p", "info 1/1/7; tags 1/2/3; tagPage 1 held", "begin; idle; end; release",
        "info tags tagPage tagClose:3 stop:7", "b7:0:0 b7:6:1");
    rows("recorder: late event search", "nvr ip p2p", "info 1/1/7; tags 0; event 1/1/4; event 1/1/5 held", "begin; idle; end; release",
        "info tags event eventClose:4 event stop:7 eventClose:5", "b7:0:0 b7:1:1");
    rows("recorder: late event search without records", "nvr ip p2p", "info 1/1/7; tags 0; event 0/0/4 held", "begin; idle; end; release",
        "info tags event stop:7", "b7:0:0");
    rows("recorder: late event page", "nvr ip p2p", "info 1/1/7; tags 0; event 1/2/4; eventPage 1 held", "begin; idle; end; release",
        "info tags event eventPage eventClose:4 stop:7", "b7:0:0 b7:1:1");
    rows("recorder: late event search refused with res -1", "nvr p2p", "info 1/1/7; tags 0; event 1/1/4 res=\"-1\" held",
        "begin; idle; end; release", "info tags event stop:7 eventClose:4", "b7:0:0");

    // Ended from inside a delivery: nothing more is delivered or asked, what is open is closed.
    const char *tagged = "info 1/1/7; tags 1/2/3; tagPage 1; event 0; event 1/1/4";
    rows("recorder: ended in the general batch", "nvr ip p2p", tagged, "begin endAt=1", "info stop:7", "b7:0:0");
    rows("recorder: ended in the first tag batch", "nvr ip p2p", tagged, "begin endAt=2", "info tags tagClose:3 stop:7", "b7:0:0 b7:6:1");
    rows("recorder: ended in the last tag batch", "nvr ip p2p", tagged, "begin endAt=3", "info tags tagPage tagClose:3 stop:7",
        "b7:0:0 b7:6:1 b7:6:2");
    rows("recorder: ended in an event batch", "nvr ip p2p", tagged, "begin endAt=4",
        "info tags tagPage event event tagClose:3 eventClose:4 stop:7", "b7:0:0 b7:6:1 b7:6:2 b7:2:3");
    rows("recorder: ended in the end delivery", "nvr ip p2p", tagged, "begin endAt=5",
        "info tags tagPage event event tagClose:3 eventClose:4 stop:7", "b7:0:0 b7:6:1 b7:6:2 b7:2:3 b7:2:");

    // Camera: every page first; then all kept files (types 1, 2, 5 in that order), type 2 files as
    // type 1, type 5 files as type 2, and the end. Ending sends nothing.
    rows("camera: kept types over four pages, one empty", "ipc ip p2p", "count 4; files 4 2 6; files; files 7 1 x; files 5",
        "begin; idle; end", "count files files files files", "b0:0:4,1,5 b0:1:1 b0:2:5 b0:2:");
    rows("camera: no type 5, no batch of its own", "ipc ip p2p", "count 1; files 2", "begin", "count files", "b0:0:0 b0:1:0 b0:2:");
    rows("camera: nothing kept still ends", "ipc ip p2p", "count 1; files 4", "begin", "count files", "b0:0: b0:2:");
    rows("camera: negative page count reads page 1 only", "ipc ip p2p", "count -2; files 1; files 2", "begin", "count files", "b0:0:0 b0:2:");
    rows("camera: page count 1.5 reads one page", "ipc ip p2p", "count 1.5; files 1; files 2", "begin", "count files", "b0:0:0 b0:2:");
    rows("camera: page count 0 fails", "ipc ip p2p", "count 0", "begin", "count", "b-1:0:");
    rows("camera: page count missing fails", "ipc ip p2p", "count", "begin", "count", "b-1:0:");
    rows("camera: page count request fails", "ipc ip p2p", "count fail", "begin", "count", "b-1:0:");
    rows("camera: page count with status 404 fails", "ipc ip", "count http404", "begin", "count", "b-1:0:");
    rows("camera: a later page fails", "ipc ip p2p", "count 3; files 1 2; files fail", "begin", "count files files", "b-1:0:");
    rows("camera: requests, type 0", "ipc ip", "count 2; files 1; files 2", "begin type=0", "count files files", "b0:0:0-1 b0:1:1 b0:2:",
        wire({ "count=PBStartTimePos=$CS&PBEndTimePos=$CE&PBFileTotalPage=35",
        "files=PBStartTimePos=$CS&PBEndTimePos=$CE&PBFilePageIndex=1", "files#2.PBFilePageIndex=2" }));
    rows("camera: requests, type 9", "ipc ip", "count 1; files 1", "begin type=9", "count files", "b0:0:0 b0:2:",
        wire({ "count.PBFileTotalPage=484" }));
    rows("camera: requests, type 5", "ipc p2p", "count 2; files 1; files 2", "begin type=5", "count files files", "b0:0:0-1 b0:1:1 b0:2:",
        wire({ R"(count={"end_time":$OE,"start_time":$OS})", R"(files={"end_time":$OE,"page":1,"start_time":$OS,"type":0})",
        "files#2.page=2" }));
    const char *camera = "count 2; files 1 2; files 5";
    rows("camera: ended while page 2 is on its way", "ipc ip p2p", "count 2; files 1 2; files 5 held", "begin; idle; end; release",
        "count files files", "");
    rows("camera: ended in the first batch", "ipc ip p2p", camera, "begin endAt=1", "count files files", "b0:0:0-2");
    rows("camera: ended in the type 1 batch", "ipc ip p2p", camera, "begin endAt=2", "count files files", "b0:0:0-2 b0:1:1");
    rows("camera: ended in the type 2 batch", "ipc ip p2p", camera, "begin endAt=3", "count files files", "b0:0:0-2 b0:1:1 b0:2:2");
    // clang-format on
}

void TestReaders::reading()
{
    verifyScenario();
}

QTEST_GUILESS_MAIN(TestReaders)
#include "tst_readers.moc"
