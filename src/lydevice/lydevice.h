#pragma once

// LyDevice: finds and fetches recorded material (video records and captured pictures) on IP
// cameras and network video recorders.
//
// Threading
// - The library needs an application object (QCoreApplication or a subclass) and runs all its
//   work in that object's thread, the main thread. Call init() there before any other function;
//   after that every function may be called from any thread. A call made while there is no
//   application object is answered at once, in its failure form, with a warning.
// - All work runs in the main thread; every callback is called there, at most once per call
//   (the callback of search_video_begin once per delivered batch).
// - search_video, search_video_end, search_picture, read_picture_page and
//   cancel_all_record_searching return at once when called from another thread; the work is
//   queued to the main thread. search_video_begin and read_picture called from another thread
//   block until the main thread has started the work; never call them from a thread the main
//   thread is itself waiting on.
//
// How a reading (search_video_begin) ends. Its last delivery is exactly one of:
// - the end: (code, 2, empty list); a batch of type 2 is never empty, so an empty list with type 2
//   is always the end;
// - a failure: (-1, type of the stage that failed, empty list);
// - for a recorder over P2P whose span has no general records: (0, 0, empty list). (A camera's
//   first batch (0, 0, ...) may be empty too; for a camera it is followed by the end.)
// A reading also ends, without a further delivery, when search_video_end or
// cancel_all_record_searching ends it. Either way, end it with search_video_end(id) to release it;
// its id is never given to another reading.
//
// Failure forms (nothing is thrown, nothing is reported by return value)
// - search_video: (-1, empty list)
// - search_video_begin: a delivery (-1, type of the failed stage, empty list); when the request
//   cannot start at all, the function returns 0 and delivers (-1, 0, empty list) once
// - search_picture: -1
// - read_picture_page: empty list
// - read_picture: (0, null image)
// A request that cannot start (another operation for the device is still running, or the
// device kind and transport have no such operation) is answered at once, in the failure form.

#include <lydevice/lydevice_export.h>

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QVariant>
#include <QVector>

#include <functional>

namespace lydevice
{

enum class DeviceType : qint32 {
    IPC = 0, // IP camera
    NVR = 1, // network video recorder
};

enum class TransportType : qint32 {
    Ip = 0, // HTTP requests through the TCP command scheduler
    P2p = 1, // JSON commands through the peer-to-peer SDK
};

// Kind of video record. The devices tell 0 to 5 apart; any other value takes each device's
// default. Incremental readers deliver 0 (general records), 1 and 2 (event stages) and 6 (tags).
enum class RecordVideoType : qint32 {
    All = 0,
    General = 1,
    Alarm = 2,
    Motion = 3,
    Smart = 4,
    Sensor = 5,
    Tag = 6,
};

// 1 asks for the sub stream; every other value for the main stream.
enum class StreamType : qint32 {
    Main = 0,
    Sub = 1,
};

// Kind of captured picture. The devices tell 0 and 1 apart; any other value takes each device's
// default.
enum class RecordPictureType : qint32 {
    Snapshot = 0,
    Alarm = 1,
    All = 2,
};

// Names one device and the way to reach it. `handle` is the device's connection handle in the
// transport layer; two targets with the same handle are the same device.
struct TargetDesc {
    DeviceType deviceType = DeviceType::IPC;
    TransportType transport = TransportType::Ip;
    quint64 handle = ~quint64(0);
};

// The request of an incremental video search.
struct RecordVideoDesc {
    QVector<int> channel;
    RecordVideoType videoType = RecordVideoType::All;
    StreamType streamType = StreamType::Main;
    QDateTime start;
    QDateTime end;
};

// (session id or 0, records). Each record is a QVariantHash: "type" int, "start" and "end"
// QDateTime.
using SearchVideoCallback = std::function<void(int code, QList<QVariant> records)>;
// One batch of an incremental search: (session id or 0, batch type, records). See above for the
// deliveries that end a reading.
using SearchVideoCallbackV2 = std::function<void(int code, RecordVideoType type, QList<QVariant> records)>;
// (number of picture bytes received, decoded picture; null when the bytes do not decode).
using ReadPictureCallback = std::function<void(quint64 size, const QImage &image)>;

// Builds the library's manager. Call it in the main thread before anything else.
LYDEVICE_EXPORT void init();
// Does nothing; the library cleans up when it is unloaded.
LYDEVICE_EXPORT void cleanup();
// Ends every search and reading at once (their callbacks are not called any more) and closes the
// playback sessions of every device searched since the previous call.
LYDEVICE_EXPORT void cancel_all_record_searching();

LYDEVICE_EXPORT void search_video(TargetDesc target,
    QVector<int> channel,
    RecordVideoType videoType,
    StreamType streamType,
    QDateTime start,
    QDateTime end,
    SearchVideoCallback callback);

// Starts an incremental video search and returns its id (never 0 for a started search, never
// reused). The callback is called once per batch until one of the last deliveries listed above.
LYDEVICE_EXPORT quint64 search_video_begin(TargetDesc target, RecordVideoDesc desc, SearchVideoCallbackV2 callback);
// Ends the incremental search with this id and closes what it holds open on the device. An id that
// names no live reading (already ended, or cancelled) is ignored with a warning.
LYDEVICE_EXPORT void search_video_end(quint64 id);

// Searches captured pictures; the callback receives how many were found (-1 on failure).
LYDEVICE_EXPORT void search_picture(TargetDesc target,
    QVector<int> channel,
    RecordPictureType pictureType,
    QDateTime start,
    QDateTime end,
    std::function<void(int)> callback);
// Reads page idx (from 0) of the last picture search of the target. Each entry is a QVariantHash
// with "name" (string) and "time" (QDateTime), and for recorders "channel" (int).
LYDEVICE_EXPORT void read_picture_page(TargetDesc target, int idx, std::function<void(QList<QVariant>)> callback);
// Reads picture idx (from 0, in the whole result) of the last picture search of the target.
LYDEVICE_EXPORT void read_picture(TargetDesc target, int idx, ReadPictureCallback callback);

} // namespace lydevice

Q_DECLARE_METATYPE(lydevice::TargetDesc)
Q_DECLARE_METATYPE(lydevice::RecordVideoDesc)
Q_DECLARE_METATYPE(lydevice::RecordVideoType)
Q_DECLARE_METATYPE(lydevice::StreamType)
Q_DECLARE_METATYPE(lydevice::RecordPictureType)
Q_DECLARE_METATYPE(lydevice::SearchVideoCallback)
Q_DECLARE_METATYPE(lydevice::SearchVideoCallbackV2)
