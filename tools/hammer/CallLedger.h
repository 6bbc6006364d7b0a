#pragma once

#include <lydevice/lydevice.h>

#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

// The library's exports, as the ledger counts them.
enum class Export {
    Init,
    Cleanup,
    CancelAll,
    SearchVideo,
    SearchVideoBegin,
    SearchVideoEnd,
    SearchPicture,
    ReadPicturePage,
    ReadPicture,
};
constexpr int kExportCount = 9;
const char *exportName(Export what);

// What became of a call with a callback.
enum class Fate {
    Open, // answers may still come, and some are owed
    Answered, // its answer, or the last delivery of its reading, came: nothing more may come
    Ended, // a reading the tool ended with search_video_end before its last delivery
    Cancelled, // a cancel covered it before its answer
};

// One call with a callback. Its callback holds it; the ledger holds it while it is open.
struct CallRecord {
    quint64 serial = 0;
    Export what = Export::SearchVideo;
    int worker = 0;
    int epoch = 0; // cancels posted before it (see CallGate)
    lydevice::TargetDesc target;
    bool mustFail = false; // the call cannot start: its answer must be the failure form
    std::atomic<int> total { -1 }; // what the answer of a picture search said
    // Under the ledger's lock:
    int callbacks = 0;
    Fate fate = Fate::Open;
    quint64 readingId = 0;
};
using CallPtr = std::shared_ptr<CallRecord>;

// Counts every call and callback and checks each callback against the library's promises: on the
// main thread, at most once per call (for a reading, nothing after its last delivery), nothing
// after search_video_end or a cancel that covered the call, the failure form where a call cannot
// start. Calls are opened by the workers; callbacks and the marks of ends and cancels come in the
// main thread, in the order it ran them.
class CallLedger
{
public:
    struct Row {
        qint64 calls = 0;
        qint64 answered = 0;
        qint64 callbacks = 0;
        qint64 failures = 0; // callbacks in the failure form
        qint64 cancelled = 0;
        qint64 ended = 0;
        qint64 unanswered = 0;
    };

    explicit CallLedger(int workers);

    // A call with a callback, about to be made.
    CallPtr open(Export what, int worker, int epoch, const lydevice::TargetDesc &target, bool mustFail);
    // A call without a callback.
    void counted(Export what);
    // One callback of `call`: in its failure form or not, and whether nothing may follow it.
    void answered(const CallPtr &call, bool failure, bool last);
    // What search_video_begin returned for `call`.
    void begun(const CallPtr &call, quint64 id);
    // Main thread: cancel number `number` or the tool's search_video_end of `reading` has just run.
    void cancelRan(int number);
    void endRan(const CallPtr &reading);
    void violation(const QString &text, qint64 count = 1);

    bool isOpen(const CallPtr &call) const;
    int openCount(int worker) const;
    int openTotal() const;
    // Counts every open call as unanswered and names the first few as violations; returns how many.
    int reportUnanswered();

    std::array<Row, kExportCount> rows() const;
    qint64 violationCount() const;
    QStringList violationSamples() const;

    static QString describe(const CallRecord &call);

private:
    void retire(CallRecord &call, Fate fate);
    void violationLocked(const QString &text, qint64 count = 1);

    mutable std::mutex lock;
    quint64 lastSerial = 0;
    std::unordered_map<quint64, CallPtr> live;
    std::vector<int> openPerWorker;
    std::array<Row, kExportCount> table {};
    qint64 violations = 0;
    QStringList samples;
};
