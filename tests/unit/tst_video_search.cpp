// search_video on recorders and cameras over HTTP and P2P: the requests in order with their key
// values, the paging rules, what each device kind reports for an empty span, the failure forms,
// and what a cancel-all and late replies leave open on the device.

#include "Scenario.h"

#include <QtTest>

using namespace lydevice::test;

class TestVideoSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void search_data();
    void search();
};

void TestVideoSearch::search_data()
{
    scenarioColumns();
    const auto row = [](auto... cells) { scenarioRow(cells...); };
    // clang-format off
    // Recorder over HTTP: record-info pages by their counts (only reaching exactly 0 goes on), then
    // the event search over all channels, a page after each reply of 100, and the close.
    row("recorder http: 99 records close at once", "nvr ip", "info 5/5/7; event 99/99/31", "video type=3 ch=3,0,70",
        "info event eventClose:31", "v7:5-103", wire({
        "info=action=get.playback.recordinfo&chnid=3&stream=1&startTime=$QS&endTime=$QE",
        "event=action=get.playback.evt_backup_search&chnmaskl=$MASK&num=1&event=128&subType=16&stream=1&ahead=0&delay=0&startTime=$QS&endTime=$QE",
        "eventClose=action=get.playback.evt_backup_search_close&sid=31" }));
    row("recorder http: record-info pages until allCnt is reached", "nvr ip", "info 100/250/7; page 100; page 50; event 3/3/31", "video",
        "info page page event eventClose:31", "v7:250-252", wire({
        "page=action=get.playback.recordinfo_page&sid=7&page=2", "page#2.page=3", "event.event=2", "event.subType=0" }));
    row("recorder http: without allCnt the count runs below 0 until an empty page", "nvr ip", "info 50/0/7 allCnt=; page 20; page 0", "video",
        "info page page", "v-1:");
    row("recorder http: empty span fails and keeps no session", "nvr ip", "info 0/0/7", "video; idle; cancel", "info", "v-1:");
    row("recorder http: event pages joined in order, stream 2 asks the main stream", "nvr ip",
        "info 1/1/7; event 100/0/31; eventPage 100; eventPage 42", "video type=2 stream=2",
        "info event eventPage eventPage eventClose:31", "v7:1-242", wire({ "info.stream=0", "event.stream=0", "event.event=64",
        "event.subType=511", "eventPage=action=get.playback.evt_backup_search_page&sid=31&page=2", "eventPage#2.page=3" }));
    row("recorder http: a record time not in the pattern is invalid", "nvr ip", "info 1/1/7; event 2/2/31 startTime0=\"2024/03/05 07:01:00\"",
        "video", "info event eventClose:31", "v7:?,2");
    row("recorder http: no event records fails, nothing to close", "nvr ip", "info 1/1/7; event 0/0/31", "video type=4",
        "info event", "v-1:", wire({ "event.event=128", "event.subType=2" }));
    row("recorder http: a count beyond what a reply can hold is cut", "nvr ip", "info 1/1/7; event 0/0/31 cnt=20000; eventPage 0",
        "video type=9", "info event eventPage eventClose:31", "v7:?*10000", wire({ "event.event=2", "event.subType=0" }));
    row("recorder http: transport failure at record info", "nvr ip", "info fail", "video", "info", "v-1:");
    row("recorder http: a reply longer than a list may be fails unread", "nvr ip", "info 1/1/7; event 1/1/31 oversized", "video",
        "info event", "v-1:");
    row("recorder http: status 404 at a record-info page keeps the session", "nvr ip", "info 100/200/7; page http404",
        "video; idle; cancel", "info page stop:7", "v-1:");
    row("recorder http: transport failure at the event search", "nvr ip", "info 1/1/7; event fail", "video type=1",
        "info event", "v-1:", wire({ "event.event=2" }));
    row("recorder http: status 500 at an event page closes the handle, 0 too", "nvr ip", "info 1/1/7; event 100/0/0; eventPage http500",
        "video", "info event eventPage eventClose:0", "v-1:");
    row("recorder http: no channel fails later and asks nothing", "nvr ip", "", "video ch=", "", "v-1:");

    // Recorder over P2P: no record-info paging, counts as text or numbers, "res" -1 refuses the
    // event search, an empty event search succeeds; the handle goes as text except after a page.
    row("recorder p2p: allCnt above cnt goes straight to the event search", "nvr p2p", "info 3/10/7; event 3/3/31", "video type=5",
        "info event eventClose:31", "v7:3-5", wire({
        R"(info={"r.chnid":3,"r.endTime":"$PE","r.startTime":"$PS","r.stream":1})",
        R"(event={"r.ahead":0,"r.chnmaskl":"$MASK","r.delay":0,"r.endTime":"$PE","r.event":128,"r.num":1,"r.startTime":"$PS","r.stream":1,"r.subType":1})",
        R"(eventClose.r.sid="31")" }));
    row("recorder p2p: counts as text, 100 records ask for page 2", "nvr p2p", "info 1/1/7; event 100/100/31; eventPage 0", "video",
        "info event eventPage eventClose:31", "v7:1-100", wire({ R"(eventPage={"r.page":2,"r.sid":"31"})", "eventClose.r.sid=31" }));
    row("recorder p2p: counts as numbers", "nvr p2p", "info 1/1/7 cnt=1 sid=7; event 3/3/31 r.cnt=3 r.sid=31", "video",
        "info event eventClose:31", "v7:1-3");
    row("recorder p2p: no event records is an empty success", "nvr p2p", "info 1/1/7; event 0/0/31", "video",
        "info event eventClose:31", "v7:");
    row("recorder p2p: res -1 fails despite records", "nvr p2p", "info 1/1/7; event 3/3/31 res=\"-1\"", "video", "info event", "v-1:");
    row("recorder p2p: res -1 on a page is not read", "nvr p2p", "info 1/1/7; event 100/100/31; eventPage 1 res=\"-1\"", "video",
        "info event eventPage eventClose:31", "v7:1-101");
    row("recorder p2p: record-info count with a fraction reads 0", "nvr p2p", "info 2/2/7 cnt=2.5", "video", "info", "v-1:");
    row("recorder p2p: transport failure at record info", "nvr p2p", "info fail", "video", "info", "v-1:");
    row("recorder p2p: transport failure at a page closes the handle as text", "nvr p2p", "info 1/1/7; event 100/100/31; eventPage fail",
        "video", "info event eventPage eventClose:31", "v-1:", wire({ R"(eventClose.r.sid="31")" }));
    row("recorder p2p: no channel fails later and asks nothing", "nvr p2p", "", "video ch=", "", "v-1:");

    // Cancel-all: no answer; the event handle is closed, then the session; a late opening reply
    // closes what it opened.
    row("recorder http: cancel during an event page", "nvr ip", "info 1/1/7; event 100/100/31; eventPage 1 held",
        "video; idle; cancel; release", "info event eventPage eventClose:31 stop:7", "");
    row("recorder p2p: cancel during an event page", "nvr p2p", "info 1/1/7; event 100/100/31; eventPage 1 held",
        "video; idle; cancel; release", "info event eventPage eventClose:31 stop:7", "");
    row("recorder http: late record info", "nvr ip", "info 1/1/7 held", "video; cancel; release", "info stop:7", "");
    row("recorder http: late empty record info opened nothing", "nvr ip", "info 0/0/7 held", "video; cancel; release", "info", "");
    row("recorder http: late event search", "nvr ip", "info 1/1/7; event 3/3/31 held", "video; idle; cancel; release",
        "info event stop:7 eventClose:31", "");
    row("recorder http: late event search with status 500 opened nothing", "nvr ip", "info 1/1/7; event http500 held",
        "video; idle; cancel; release", "info event stop:7", "");
    row("recorder p2p: late record info", "nvr p2p", "info 2/2/7 held", "video; cancel; release", "info stop:7", "");
    row("recorder p2p: late empty record info opened nothing", "nvr p2p", "info 0/0/7 held", "video; cancel; release", "info", "");
    row("recorder p2p: late event search without records is open all the same", "nvr p2p", "info 1/1/7; event 0/0/31 held",
        "video; idle; cancel; release", "info event stop:7 eventClose:31", "", wire({ R"(eventClose.r.sid="31")" }));
    row("recorder p2p: late event search refused with res -1 opened nothing", "nvr p2p", "info 1/1/7; event 3/3/31 res=\"-1\" held",
        "video; idle; cancel; release", "info event stop:7", "");
    row("camera http: cancel during a page", "ipc ip", "count 2; files 1 held", "video; idle; cancel; release", "count files", "");
    row("camera p2p: cancel during the page count", "ipc p2p", "count 1 held", "video; cancel; release", "count", "");

    // Camera over HTTP: the type picks the mask of the page count and the type code kept at the end.
    const char *allTypes = "count 1; files 1 2 5 6 7 4 0";
    row("camera http: type 0 asks 35, keeps 1", "ipc ip", allTypes, "video type=0", "count files", "v0:0", wire({
        "count=PBStartTimePos=$CS&PBEndTimePos=$CE&PBFileTotalPage=35", "files=PBStartTimePos=$CS&PBEndTimePos=$CE&PBFilePageIndex=1" }));
    row("camera http: type 1 asks 2, keeps 2", "ipc ip", allTypes, "video type=1", "count files", "v0:1", wire({ "count.PBFileTotalPage=2" }));
    row("camera http: type 2 asks 32, keeps 5", "ipc ip", allTypes, "video type=2", "count files", "v0:2", wire({ "count.PBFileTotalPage=32" }));
    row("camera http: type 3 asks 128, keeps 6", "ipc ip", allTypes, "video type=3", "count files", "v0:3", wire({ "count.PBFileTotalPage=128" }));
    row("camera http: type 4 asks 256, keeps 7", "ipc ip", allTypes, "video type=4", "count files", "v0:4", wire({ "count.PBFileTotalPage=256" }));
    row("camera http: type 5 asks 64, keeps 4", "ipc ip", allTypes, "video type=5", "count files", "v0:5", wire({ "count.PBFileTotalPage=64" }));
    row("camera http: type 9 asks 484, keeps 0", "ipc ip", allTypes, "video type=9", "count files", "v0:6", wire({ "count.PBFileTotalPage=484" }));
    row("camera http: all pages in order, filtered at the end", "ipc ip", "count 3; files 1 2; files 1 1; files 5 1", "video",
        "count files files files", "v0:0,2-3,5", wire({ "files#3.PBFilePageIndex=3" }));
    row("camera http: no pages is an empty success", "ipc ip", "count 0", "video", "count", "v0:");
    row("camera http: negative page count reads page 1 only", "ipc ip", "count -4; files 1", "video", "count files", "v0:0");
    row("camera http: page count with a fraction is truncated", "ipc ip", "count 2.9; files 1; files 1", "video",
        "count files files", "v0:0-1");
    row("camera http: a page without a file list adds nothing", "ipc ip", "count 2; files other=1 pbfilepageindex=; files 1", "video",
        "count files files", "v0:0");
    row("camera http: file strings with any separator; broken ones are no records", "ipc ip",
        "count 1; files pbfilepageindex=\"120240305070100_600;120240305070200x600;120240305070300_99999999999;1202403;;120241305070000_1;\"",
        "video", "count files", "v0:1-2,?*3");
    row("camera http: transport failure at the page count", "ipc ip", "count fail", "video", "count", "v-1:");
    row("camera http: status 500 at page 2", "ipc ip", "count 3; files 1; files http500", "video", "count files files", "v-1:");

    // Camera over P2P: no type mask (type 0 is asked), and an empty or unreadable count fails.
    row("camera p2p: pages in order, the type filtered at the end", "ipc p2p", "count 2; files 5 1; files 5", "video type=2",
        "count files files", "v0:0,2", wire({ R"(count={"end_time":$OE,"start_time":$OS})",
        R"(files={"end_time":$OE,"page":1,"start_time":$OS,"type":0})", "files#2.page=2" }));
    row("camera p2p: page count 0 fails", "ipc p2p", "count 0", "video", "count", "v-1:");
    row("camera p2p: page count as text fails", "ipc p2p", "count total_page=\"2\"", "video", "count", "v-1:");
    row("camera p2p: page count with a fraction fails", "ipc p2p", "count 1.5", "video", "count", "v-1:");
    row("camera p2p: negative page count reads page 1 only", "ipc p2p", "count -1; files 1", "video", "count files", "v0:0");
    row("camera p2p: a page without file_list adds nothing", "ipc p2p", "count 2; files file_list=; files 2", "video type=1",
        "count files files", "v0:0");
    row("camera p2p: transport failure at page 2", "ipc p2p", "count 2; files 1; files fail", "video", "count files files", "v-1:");
    // clang-format on
}

void TestVideoSearch::search()
{
    verifyScenario();
}

QTEST_GUILESS_MAIN(TestVideoSearch)
#include "tst_video_search.moc"
