#pragma once

// A scripted device behind the transport functions (a link seam: this library defines
// tcp_scheduler_enqueue_command and lyp2psdk_send_command for the test executables). It records
// every request and answers from a script, later, on the main thread, never inside the sending call.
//
// Requests are named by words, the same over both transports:
//   recorder  info page tags tagPage tagClose event eventPage eventClose stop
//             picOpen picPage picIndex picClose
//   camera    count files list download close
// A script lists answers separated by ";" (outside quotes), used in order per word, once each:
//   "info 2/5/7; page 3; tags 0; event 1/1/4 res=\"-1\" held; eventPage fail"
// After the word come, in any order:
//   numbers   recorder replies "cnt/total/sid", picture lists "cnt/total" with "@first" for the
//             index of their first picture, "count N" the page count, "files 1 2 5" the type
//             digits of the listed files ("x" for a file string that cannot be read);
//   fail      the transport fails; httpNNN: that HTTP status; held: kept back until releaseHeld();
//   key=value sets a member of the reply: a number, a "text", or nothing to remove it (for a
//             camera picture list also session="id&uuid" and cols=N, the values per row);
//   oversized  pads a recorder or camera record reply to 5 MiB; bare: picIndex sends data= alone;
//   png jpeg junk wide  the picture sent by picIndex and download (wide: 20000x1 pixels); download also takes the
//   header
//             variants lf (lines end in bare line feeds), pre (other headers first), nocd (no
//             Content-Disposition) and noend (the headers never end); chunked sends a chunked body;
//             junk as the only word of a camera picture list sends a body that is no JSON.
// Generated records, tags and files are numbered across the script (item k starts k minutes after
// recordBase()); pictures are numbered by their index in the search. Scenario's summary() reads
// these numbers back from what the library delivers. An unscripted request is answered with ok false.

#include <transport/p2p_sdk.h>
#include <transport/tcp_scheduler.h>

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QJsonObject>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace lydevice::test
{

struct SentRequest {
    bool isHttp = true;
    quint64 target = 0; // HTTP: the scheduler's target; P2P: the SDK's handle
    QString path;
    QVector<QPair<QString, QString>> query;
    bool recorder = false;
    int command = 0;
    QJsonObject request;
    int timeout = 0;

    QString route() const; // "/sdk.cgi" action, "/vb.htm" page or last key, "dataloader", "nvr:25"
    QString word() const; // the request's word, or its route when it has none
    // A member: HTTP as sent, P2P as compact JSON (a text quoted); null when absent.
    QString value(const QString &key) const;
    // The whole request: HTTP "k=v&k=v" in sending order, P2P the compact JSON object.
    QString text() const;
};

struct HttpAnswer {
    bool ok = true;
    QByteArray raw;
    bool held = false;

    static HttpAnswer body(const QByteArray &body);
    static HttpAnswer status(int code);
};

struct P2pAnswer {
    bool ok = true;
    QJsonObject reply;
    bool held = false;
};

// Generated content, for reading it back: record k starts k minutes after recordBase() and has the
// type recordType(k); tag k is named tagName(k); picture k was taken at pictureTime(k).
QDateTime recordBase();
int recordType(int item);
QDateTime pictureTime(int index);
// A recorder names picture k by its time stamp in milliseconds, recorderPictureBase + k.
constexpr qint64 recorderPictureBase = 1709280000000;
QString tagName(int index);
QImage samplePicture();
QByteArray encodedPicture(const char *format);
// The bytes a script sends for "png", "jpeg" and "junk".
QByteArray scriptedPicture(const char *kind);

class FakeDevice
{
public:
    static FakeDevice &instance();

    // Forgets the script, the recorded requests, the held answers and the answers still scheduled.
    void reset();
    void script(bool p2p, const QString &script);

    const QVector<SentRequest> &sent() const;
    // The words of the requests sent from `from` on; a close carries what it closes ("stop:7").
    QString routes(int from = 0) const;
    // "word[#n].key=value" or "word[#n]=text" about the n-th request of the word (default the
    // first): empty when it holds, else what was found.
    QString check(const QString &check) const;

    int heldCount() const;
    // Schedules the held answers; they are still delivered later, from the event loop.
    void releaseHeld();
    // Runs the event loop until no scheduled answer is left (held ones do not count). On time-out
    // returns false; pendingRoutes() then names what is still outstanding.
    bool waitIdle(int timeoutMs = 3000);
    QString pendingRoutes() const;

    // Called by the link seam.
    void enqueue(quint64 target, const QVector<TCPCommandDescriptor> &commands, TCPCommandCallback callback);
    void send(
        int handle, bool recorder, int command, const QJsonObject &request, P2PCommandCallback callback, int timeout);

private:
    FakeDevice();
    void deliverLater(const QString &route, bool held, std::function<void()> answer);

    QVector<SentRequest> log;
    QHash<QString, QQueue<HttpAnswer>> httpScript;
    QHash<QString, QQueue<P2pAnswer>> p2pScript;
    QVector<QPair<QString, std::function<void()>>> heldAnswers;
    QStringList scheduled;
    quint64 generation = 0;
    int nextItem = 0;
};

} // namespace lydevice::test

// Waits for the scripted answers; a failure names the routes still outstanding.
#define WAIT_IDLE()                                                                                                    \
    QVERIFY2(lydevice::test::FakeDevice::instance().waitIdle(),                                                        \
        qPrintable(                                                                                                    \
            QStringLiteral("answers still pending: ") + lydevice::test::FakeDevice::instance().pendingRoutes()))
