#pragma once

// Settings of one simulated device and the names of what it holds.
//
// The simulator plays one recorder or one camera. Its content is synthetic and follows from the
// settings alone (the seed included): two simulators built from equal options hold the same
// recordings, tags and pictures and hand out the same handle numbers in the same order.
//
// Record types. Every recording has one `RecordType`; the table says how each type shows on the
// wire, so that a search by type returns exactly the recordings of the types it names.
//
//   type        recorder "recordType"  recorder event/subType   camera digit  camera mask bit
//   Continuous  1                      (not in event searches)  1             1
//   Anr         16                     (not in event searches)  0             4
//   Motion      2                      event 2, subType bit 1   2             2
//   Smart       64                     event 64, subType 511    5             32
//   AlarmInput  144                    event 128, subType 16    6             128
//   VideoLoss   130                    event 128, subType 2     7             256
//   Tamper      129                    event 128, subType 1     4             64
//
// - A recorder event search with (event, subType) returns the recordings of every type whose
//   event code shares a bit with "event" and, unless "subType" is 0 or negative (any sub type),
//   whose subType bits share a bit with "subType". So (2, 0) gives Motion, (64, 511) Smart,
//   (128, 16) AlarmInput, (128, 2) VideoLoss, (128, 1) Tamper.
// - A recorder record-info search lists every recording of its channel, all types, whether or not
//   the request carries "all" = 1.
// - A camera page-count query ("PBFileTotalPage") names a mask; the camera lists the files whose
//   type bit is in it (mask 0: all types). So "35" lists Continuous, Motion and Smart, "2" Motion,
//   "32" Smart, "128" AlarmInput, "256" VideoLoss, "64" Tamper and "484" Anr, Smart, Tamper,
//   AlarmInput and VideoLoss. Page queries carry no mask: they use the mask of the last page-count
//   query of the same span, or all types. Over the link, "type" 0 means all types, any other
//   value is a mask.
// - So a client's video types 1 to 5 find the same types on both kinds of device (Motion, Smart,
//   AlarmInput, VideoLoss, Tamper); type 0 finds Motion on a recorder (whose event search cannot
//   ask for continuous recording) and Continuous on a camera; other values find Motion on a
//   recorder and Anr on a camera. Catalogue::expectedVideoSearch() gives these lists.
//
// Picture types, likewise:
//
//   type    recorder "majorType" bit  camera "subtype"
//   Timed   32                        0
//   Alarm   512                       1
//   Manual  16                        2
//   Linked  8                         3
//
// - A recorder picture search returns the pictures whose bit is in "majorType" ("minorType" is
//   accepted and not used); a camera "sdexplorer" query the pictures of its "subtype", or all of
//   them for a negative subtype.

#include "FaultInjector.h"

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QVector>

#include <array>

namespace lydevice::sim
{

enum class DeviceKind {
    Recorder, // network video recorder: "/sdk.cgi" and the "nvr" commands
    Camera, // IP camera: "/vb.htm", "/dataloader.cgi" and the "ipc" commands
};

enum class RecordType { Continuous, Anr, Motion, Smart, AlarmInput, VideoLoss, Tamper };
constexpr int kRecordTypeCount = 7;

enum class PictureType { Timed, Alarm, Manual, Linked };
constexpr int kPictureTypeCount = 4;

// Largest number of recordings of one type on one channel, and of channels.
constexpr int kMaxRecordsPerSequence = 1000000;
constexpr int kMaxChannels = 64;

struct SimulatorOptions {
    DeviceKind kind = DeviceKind::Recorder;
    quint64 seed = 1;

    // Content. A recorder has `channels` channels (0 to channels - 1); a camera has one, channel 0.
    int channels = 4;
    // Every recording, tag and picture lies within [spanStart, spanStart + spanSeconds], wall-clock
    // (local) time.
    QDateTime spanStart = QDateTime(QDate(2024, 3, 1), QTime(0, 0));
    qint64 spanSeconds = 86400;
    // Recordings of each type on each channel, indexed by RecordType.
    std::array<int, kRecordTypeCount> recordsPerType { { 30, 30, 30, 30, 30, 30, 30 } };
    int tagsPerChannel = 60;
    // Pictures of each type on each channel, indexed by PictureType.
    std::array<int, kPictureTypeCount> picturesPerType { { 40, 40, 40, 40 } };

    // Paging of the device.
    int recordInfoPageSize = 100;
    int eventPageSize = 100;
    int tagPageSize = 50;
    int recorderPicturePageSize = 100;
    int cameraFilesPerPage = 20;

    // Pictures are drawn at this size and stored as JPEG of this quality.
    QSize pictureSize = QSize(320, 180);
    int jpegQuality = 80;

    // HTTP: answers in chunked transfer coding (chunks of varied sizes), except picture downloads,
    // which a client reads unparsed and so always come with Content-Length.
    bool chunked = false;
    // Chunk sizes, used in turn across replies; an empty list means 1024.
    QVector<int> chunkSizes { 1, 7, 64, 3, 512, 29, 4096, 13 };
    // HTTP: false makes the device close the connection after every reply, whatever the client asks.
    bool keepAlive = true;
    // HTTP Basic credentials; an empty user means no authorization is asked for.
    QString user;
    QString password;

    // Entries kept in the request log (the oldest are dropped beyond it).
    int requestLogLimit = 100000;

    // Faults armed when the simulator starts.
    QVector<FaultRule> faults;

    // Sets the count of every record type.
    void setRecordCount(int perTypePerChannel)
    {
        recordsPerType.fill(perTypePerChannel);
    }
    void setPictureCount(int perTypePerChannel)
    {
        picturesPerType.fill(perTypePerChannel);
    }
};

// Names used by the command-line tool and in messages: "continuous", "anr", "motion", "smart",
// "alarm-input", "video-loss", "tamper"; "timed", "alarm", "manual", "linked".
QString recordTypeName(RecordType type);
bool recordTypeFromName(const QString &name, RecordType *type);
QString pictureTypeName(PictureType type);

// Device codes of a record type (see the table above).
int recorderTypeCode(RecordType type);
int recorderEventCode(RecordType type); // 0: not found by event searches
int recorderSubTypeBits(RecordType type);
int cameraTypeDigit(RecordType type);
int cameraMaskBit(RecordType type);
int recorderPictureBit(PictureType type);
int cameraPictureSubtype(PictureType type);

} // namespace lydevice::sim
