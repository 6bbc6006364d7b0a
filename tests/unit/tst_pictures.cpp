// search_picture, read_picture_page and read_picture on recorders and cameras over HTTP: the
// requests, the session and page a search leaves for the reads, the camera download and the
// recorder's base64 reply, and the reads that cannot go on.

#include "Scenario.h"

#include <QtTest>

using namespace lydevice::test;

class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pictures_data();
    void pictures();
};

void TestPictures::pictures_data()
{
    scenarioColumns();
    const auto row = [](auto... cells) { scenarioRow(cells...); };
    const QString zeros(63, QLatin1Char('0'));
    // clang-format off
    // Searches: the first page and the session are kept; a failed search keeps nothing.
    row("recorder: search, first page held", "nvr ip", "picOpen 2/250/77", "pictures; idle; page 0", "picOpen", "s250 !p0-1", wire({
        "picOpen=action=get.playback.picture_backup_search_open&startTime=$QS&endTime=$QE&mask=$MASK&majorType=32&minorType=0" }));
    row("recorder: a picture without its keys is still listed", "nvr ip", "picOpen 2/250/77 pts1= pTime1= chnid1=",
        "pictures; idle; page 0", "picOpen", "s250 !p0,?");
    row("recorder: alarm pictures of no channel", "nvr ip", "picOpen fail", "pictures type=1 ch=", "picOpen", "s-1",
        QStringList { QStringLiteral("picOpen.mask=0") + zeros, QStringLiteral("picOpen.majorType=512"), QStringLiteral("picOpen.minorType=-1") });
    row("recorder: other type, channels outside the mask left out", "nvr ip", "picOpen http404", "pictures type=7 ch=-1,63,64",
        "picOpen", "s-1", QStringList { QStringLiteral("picOpen.mask=") + zeros + QLatin1Char('1'), QStringLiteral("picOpen.majorType=568"),
        QStringLiteral("picOpen.minorType=0") });
    row("recorder: no pictures fails although allCnt is not 0", "nvr ip", "picOpen 0/250/5", "pictures; idle; page 1",
        "picOpen", "s-1 !p");
    row("camera: search, first page held", "ipc ip", "list 30/45", "pictures; idle; page 0", "list", "s45 !p0-29", wire({
        "list=page=sdexplorer&use_sid=1&maintype=1&subtype=0&time_start=$QS&time_end=$QE&iDisplayStart=0&iDisplayLength=30" }));
    row("camera: other type", "ipc ip", "list 2/45", "pictures type=5", "list", "s45", wire({ "list.subtype=-1" }));
    row("camera: total with a fraction is truncated", "ipc ip", "list 2/45 iTotalRecords=45.9", "pictures type=1", "list", "s45",
        wire({ "list.subtype=1" }));
    row("camera: sEcho with a value parses", "ipc ip", "list 2/45 sEcho=1", "pictures", "list", "s45");
    row("camera: rows too short for a name or a time", "ipc ip", "list 1/45 ragged; download png", "pictures; idle; page 0; read 2",
        "list download", "s45 !p0,?*4 rpng:pic", wire({ "download.filename=only-a-name" }));
    row("camera: two-character session id fails", "ipc ip", "list 2/45 session=\"13&u\"", "pictures", "list", "s-1");
    row("camera: empty uuid fails", "ipc ip", "list 2/45 session=\"3&\"", "pictures", "list", "s-1");
    row("camera: session without & fails", "ipc ip", "list 2/45 session=\"3-u\"", "pictures", "list", "s-1");
    row("camera: first row of six values fails", "ipc ip", "list 2/45 cols=6", "pictures", "list", "s-1");
    row("camera: first row of eight values fails", "ipc ip", "list 2/45 cols=8", "pictures", "list", "s-1");
    row("camera: total 0 fails", "ipc ip", "list 30/0", "pictures", "list", "s-1");
    row("camera: total without rows fails", "ipc ip", "list 0/45", "pictures", "list", "s-1");
    row("camera: rows that are no list fail", "ipc ip", "list 0/45 aaData=\"3&x\"", "pictures", "list", "s-1");
    row("camera: body that is no JSON fails", "ipc ip", "list junk", "pictures", "list", "s-1");
    row("camera: status 500 fails", "ipc ip", "list http500", "pictures", "list", "s-1");

    // Page reads: a page read becomes the page held; a failed one keeps the page held before.
    row("camera: page 2 from picture 60 within the session, then held", "ipc ip", "list 30/45; list 5/45@60",
        "pictures; idle; page 2; idle; page 2", "list list", "s45 p60-64 !p60-64", wire({
        "list#2=page=sdexplorer&use_sid=1&maintype=1&subtype=0&time_start=$QS&time_end=$QE&iDisplayStart=60&iDisplayLength=30&sid=3&uuid=5f2c-uuid" }));
    row("recorder: page 4 asks for page 5", "nvr ip", "picOpen 100/550/77; picPage 3/550/77@400", "pictures; idle; page 4",
        "picOpen picPage", "s550 p400-402", wire({ "picPage=action=get.playback.picture_backup_search_page&sid=77&page=5" }));
    row("recorder: a page without pictures is an empty page", "nvr ip", "picOpen 100/250/77; picPage 0",
        "pictures; idle; page 3; idle; page 3", "picOpen picPage", "s250 p !p");
    row("camera: a list that does not parse is an empty page", "ipc ip", "list 30/45; list junk", "pictures; idle; page 1",
        "list list", "s45 p");
    row("camera: transport failure keeps the page held", "ipc ip", "list 30/45; list fail", "pictures; idle; page 1; idle; page 0",
        "list list", "s45 p !p0-29");
    row("recorder: status 500 keeps the page held", "nvr ip", "picOpen 100/250/77; picPage http500",
        "pictures; idle; page 2; idle; page 0", "picOpen picPage", "s250 p !p0-99");
    row("recorder: pages are bounded by the picture total", "nvr ip", "picOpen 100/250/77", "pictures; idle; page 250; page -1; page 249",
        "picOpen picPage", "s250 !p !p p");

    // Picture reads: the page of the picture first when another page is held.
    row("camera: a picture claiming more pixels than any camera takes is not decoded", "ipc ip", "list 30/45; download wide",
        "pictures; idle; read 0", "list download", "s45 rwide:null");
    row("camera: 65 with page 2 held", "ipc ip", "list 30/45; list 30/45@60; download jpeg", "pictures; idle; page 2; idle; read 65",
        "list list download", "s45 p60-89 rjpeg:40x24", wire({
        "download=dw=sd&filename=IMG_65.jpg&time_start=$QS&time_end=$QE&index=65&sid=3&uuid=5f2c-uuid" }));
    row("camera: 65 with page 0 held reads page 2 first, which stays held", "ipc ip", "list 30/45; list 30/45@60; download png",
        "pictures; idle; read 65; idle; page 2", "list list download", "s45 rpng:pic !p60-89", wire({ "list#2.iDisplayStart=60" }));
    row("recorder: 250 with page 0 held reads page 3 first", "nvr ip", "picOpen 100/300/77; picPage 100/300/77@200; picIndex jpeg",
        "pictures; idle; read 250", "picOpen picPage picIndex", "s300 rjpeg:40x24", wire({ "picPage.page=3",
        "picIndex=action=get.playback.picture_backup_search_index&chnid=1&sid=77&pts=1709280000250&base64=1" }));
    row("recorder: 99 on the page held, base64 in a chunked body", "nvr ip", "picOpen 100/250/77; picIndex png chunked",
        "pictures; idle; read 99", "picOpen picIndex", "s250 rpng:pic", wire({ "picIndex.pts=1709280000099", "picIndex.chnid=5" }));
    row("camera: picture 0, headers ending in bare line feeds", "ipc ip", "list 30/45; download png lf", "pictures; idle; read 0",
        "list download", "s45 rpng:pic");
    row("camera: headers before Content-Disposition are dropped", "ipc ip", "list 30/45; download png pre", "pictures; idle; read 3",
        "list download", "s45 rpng:pic");
    row("camera: bytes that are no picture", "ipc ip", "list 30/45; download junk", "pictures; idle; read 3",
        "list download", "s45 rjunk:null");
    row("camera: no Content-Disposition", "ipc ip", "list 30/45; download jpeg nocd", "pictures; idle; read 3",
        "list download", "s45 r0:null");
    row("camera: headers that never end", "ipc ip", "list 30/45; download noend", "pictures; idle; read 3", "list download", "s45 r0:null");
    row("camera: status 404", "ipc ip", "list 30/45; download http404", "pictures; idle; read 3", "list download", "s45 r0:null");
    row("recorder: bytes that are no picture, data= first", "nvr ip", "picOpen 100/250/77; picIndex junk bare", "pictures; idle; read 3",
        "picOpen picIndex", "s250 rjunk:null");
    row("recorder: no data= in the reply", "nvr ip", "picOpen 100/250/77; picIndex nodata", "pictures; idle; read 3",
        "picOpen picIndex", "s250 r0:null");
    row("recorder: status 500", "nvr ip", "picOpen 100/250/77; picIndex http500", "pictures; idle; read 3",
        "picOpen picIndex", "s250 r0:null");
    row("recorder: transport failure", "nvr ip", "picOpen 100/250/77; picIndex fail", "pictures; idle; read 3",
        "picOpen picIndex", "s250 r0:null");
    row("camera: index past the pictures of the page held", "ipc ip", "list 2/45", "pictures; idle; read 5", "list", "s45 r0:null");
    row("recorder: negative index", "nvr ip", "picOpen 10/250/77", "pictures; idle; read -250", "picOpen", "s250 r0:null");
    row("camera: the page read on the way lacks the picture and stays held", "ipc ip", "list 2/45; list 5/45@30",
        "pictures; idle; read 40; idle; page 1", "list list", "s45 r0:null !p30-34");
    row("camera: the page step fails, the page held stays", "ipc ip", "list 2/45; list fail", "pictures; idle; read 40; idle; page 0",
        "list list", "s45 r0:null !p0-1");
    row("recorder: the page step fails", "nvr ip", "picOpen 10/250/77; picPage fail", "pictures; idle; read 150",
        "picOpen picPage", "s250 r0:null");

    // One operation per device: reads while a read runs are refused at once.
    row("recorder: reads refused while a read runs", "nvr ip", "picOpen 100/250/77; picIndex png held; picIndex png",
        "pictures; idle; read 3; read 4; page 1; release; read 4", "picOpen picIndex picIndex", "s250 !r0:null !p rpng:pic rpng:pic");
    row("camera: reads refused while a read runs", "ipc ip", "list 30/45; download png held; download png",
        "pictures; idle; read 3; read 4; page 1; release; read 4", "list download download", "s45 !r0:null !p rpng:pic rpng:pic");

    // Cancel-all: the late reply of a read changes nothing; that of a search closes what it opened.
    row("recorder: cancel during a page read", "nvr ip", "picOpen 100/250/77; picPage 100/250/77@100 held",
        "pictures; idle; page 1; cancel; release; page 0", "picOpen picPage picClose:77", "s250 !p0-99");
    row("recorder: cancel during a picture read", "nvr ip", "picOpen 100/250/77; picIndex png held",
        "pictures; idle; read 3; cancel; release; page 0", "picOpen picIndex picClose:77", "s250 !p0-99");
    row("recorder: cancel while the page of a picture is read", "nvr ip", "picOpen 100/250/77; picPage 100/250/77@100 held",
        "pictures; idle; read 103; cancel; release; page 0", "picOpen picPage picClose:77", "s250 !p0-99");
    row("camera: cancel while the page of a picture is read", "ipc ip", "list 30/45; list 30/45@30 held",
        "pictures; idle; read 33; cancel; release; page 0", "list list close:3;5f2c-uuid", "s45 !p0-29");
    row("recorder: late search reply", "nvr ip", "picOpen 2/250/77 held", "pictures; cancel; release", "picOpen picClose:77", "");
    row("recorder: late search reply without pictures opened nothing", "nvr ip", "picOpen 0/250/5 held", "pictures; cancel; release",
        "picOpen", "");
    row("camera: late search reply", "ipc ip", "list 30/45 held", "pictures; cancel; release", "list close:3;5f2c-uuid", "");
    row("camera: late search reply with a broken session names nothing", "ipc ip", "list 2/45 session=\"13&u\" held",
        "pictures; cancel; release", "list", "");
    // clang-format on
}

void TestPictures::pictures()
{
    verifyScenario();
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
