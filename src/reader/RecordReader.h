#pragma once

#include <lydevice/lydevice.h>

#include <QObject>
#include <QVariantList>

namespace lydevice
{

// Base of the incremental video readers behind search_video_begin.
//
// A reader reads one device in stages, one request outstanding at a time, and hands each batch
// to the caller's callback. It ends with the end delivery (type 2, empty list) or a failure
// delivery (code -1), after which it sends and delivers nothing more and waits, idle, for the
// manager to destroy it (search_video_end, cancel-all). Its destructor closes what it holds open
// on the device; nothing is delivered during or after destruction.
class RecordReader : public QObject
{
public:
    explicit RecordReader(const TargetDesc &target);
    ~RecordReader() override;

    // Keeps the search and the callback and sends the first request; called once, right after
    // construction.
    void startReading(RecordVideoDesc desc, SearchVideoCallbackV2 callback);

protected:
    // The first request of the reading.
    virtual void start() = 0;

    // One call of the callback. Returns false when the reader must not go on: it was destroyed
    // during the call (the caller may end the search from inside its callback), or it has already
    // ended. The caller must then return at once without touching any member.
    bool deliver(int code, RecordVideoType type, const QVariantList &records);
    // The end delivery (code, 2, empty list); nothing is delivered afterwards.
    void deliverEnd(int code);
    // The failure delivery (code, type, empty list); nothing is delivered afterwards.
    void deliverFailure(RecordVideoType type, int code = -1);
    // A failure delivery from the event loop, for a search that cannot even send its first
    // request: the caller receives the reader id before any delivery.
    void deliverFailureLater(RecordVideoType type);
    // True after the end or a failure delivery.
    bool hasEnded() const;

    TargetDesc target;
    RecordVideoDesc desc;
    SearchVideoCallbackV2 callback;

private:
    void deliverLast(int code, RecordVideoType type);

    bool ended = false;
};

} // namespace lydevice
