#pragma once

#include "Listing.h"
#include "PictureRenderer.h"
#include "SimulatorOptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QVector>

namespace lydevice::sim
{

// One recording. Times are wall-clock seconds (WallTime.h); start() and end() give them as local
// QDateTime values, equal to what a client reads from the device's time texts.
struct Recording {
    int channel = 0;
    RecordType type = RecordType::Continuous;
    int index = 0; // position in the sequence of its channel and type
    qint64 startSeconds = 0;
    qint64 endSeconds = 0;

    QDateTime start() const;
    QDateTime end() const;
    int recorderCode() const; // "recordType" in recorder replies
    int cameraDigit() const; // type digit of the camera's file string
    // The camera's description of the file: type digit, "yyyyMMddHHmmss", "_", duration in seconds.
    QString cameraFileString() const;
    bool operator==(const Recording &other) const;
};

struct Tag {
    int channel = 0;
    int index = 0; // position on its channel, sent as "index"
    int id = 0; // unique on the device, sent as "id"
    QString name; // always holds non-ASCII letters; sent percent-encoded as UTF-8
    qint64 timeSeconds = 0;

    QDateTime time() const;
    bool operator==(const Tag &other) const;
};

struct Picture {
    int channel = 0;
    PictureType type = PictureType::Timed;
    int index = 0;
    qint64 timeSeconds = 0;
    // Recorder: the "pts", 18 digits (seconds, type digit, 7-digit index). Camera: the file name
    // "yyyyMMddHHmmss_<type digit><7-digit index>.jpg".
    QString name;

    QDateTime time() const;
    bool operator==(const Picture &other) const;
};

// The device's content, generated on demand from the options: nothing is stored per item, so a
// device of hundreds of thousands of recordings costs no memory. Each channel holds one sequence
// per record type, one of tags and one per picture type; the items of a sequence are spread
// evenly over the span, in time order, with seeded jitter.
//
// Listings are the searches the device serves, in the order it serves them: channel by channel,
// within a channel type by type (RecordType / PictureType order), within a type by time. A
// recording is in a span when it overlaps it (start <= span end and end >= span start); a tag or
// picture when its time lies within the span, both ends included.
class Catalogue
{
public:
    explicit Catalogue(const SimulatorOptions &options);

    DeviceKind kind() const
    {
        return deviceKind;
    }
    // Recorder: the configured channels (1 to 64); camera: 1.
    int channelCount() const
    {
        return channels;
    }
    qint64 spanStartSeconds() const
    {
        return spanStart;
    }
    qint64 spanEndSeconds() const
    {
        return spanStart + spanLength;
    }

    // Items by position in their sequence.
    int recordingCount(RecordType type) const;
    Recording recording(int channel, RecordType type, int index) const;
    int tagCount() const;
    Tag tag(int channel, int index) const;
    int pictureCount(PictureType type) const;
    Picture picture(int channel, PictureType type, int index) const;
    // Finds a picture by the name the device gave it (on a recorder together with its channel).
    bool findPicture(const QString &name, int channel, Picture *found) const;

    // What the device serves (times in wall-clock seconds; a channel mask has bit c for channel c).
    Listing recordInfoListing(int channel, qint64 start, qint64 end) const;
    Listing eventListing(quint64 channelMask, int event, int subType, qint64 start, qint64 end) const;
    Listing cameraFileListing(int typeMask, qint64 start, qint64 end) const;
    Listing tagListing(quint64 channelMask, qint64 start, qint64 end) const;
    Listing recorderPictureListing(quint64 channelMask, int majorType, qint64 start, qint64 end) const;
    Listing cameraPictureListing(int subtype, qint64 start, qint64 end) const;

    QVector<Recording> recordings(const Listing &listing, int offset = 0, int count = -1) const;
    QVector<Tag> tags(const Listing &listing, int offset = 0, int count = -1) const;
    QVector<Picture> pictures(const Listing &listing, int offset = 0, int count = -1) const;

    // For tests: whole searches, in served order.
    QVector<Recording> recordInfo(int channel, const QDateTime &start, const QDateTime &end) const;
    QVector<Recording> events(
        const QVector<int> &channels, int event, int subType, const QDateTime &start, const QDateTime &end) const;
    QVector<Recording> cameraFiles(int typeMask, const QDateTime &start, const QDateTime &end) const;
    QVector<Tag> tags(const QVector<int> &channels, const QDateTime &start, const QDateTime &end) const;
    // The recordings a client's video search for `videoType` (0 to 5, any other value its
    // default) should report: on a recorder the event search that the type stands for, on a camera
    // the files of the type's digit (channels are not used).
    QVector<Recording> expectedVideoSearch(
        const QVector<int> &channels, int videoType, const QDateTime &start, const QDateTime &end) const;
    // The pictures a client's picture search for `pictureType` (0, 1, any other value: all) finds,
    // in the order of the device's pages (channels are not used on a camera).
    QVector<Picture> pictures(
        const QVector<int> &channels, int pictureType, const QDateTime &start, const QDateTime &end) const;

    // The picture as the device sends it, and decoded.
    QByteArray jpeg(const Picture &picture) const;
    QImage image(const Picture &picture) const;

    static quint64 channelMask(const QVector<int> &channels);
    // Reads a mask of "0" and "1" characters, position c for channel c (at most 64 read).
    static quint64 parseChannelMask(const QString &mask);

private:
    qint64 slotOffset(qint64 index, qint64 count) const;
    quint64 hash(quint64 family, quint64 sequence, quint64 index) const;
    // Start and end of item `index` of a recording sequence; time of an instant (tag, picture).
    void recordingTimes(int channel, int type, int index, qint64 *start, qint64 *end) const;
    qint64 instantTime(quint64 family, int channel, int type, int index, int count) const;
    // First index of the sequence whose predicate turns true; the predicate is monotone.
    template <typename Predicate> static int lowerBound(int count, Predicate &&reached);
    void appendRecordingRange(Listing &listing, int channel, RecordType type, qint64 start, qint64 end) const;
    void appendInstantRange(
        Listing &listing, quint64 family, int channel, int type, int count, qint64 start, qint64 end) const;
    QString pictureName(int channel, PictureType type, int index, qint64 time) const;

    DeviceKind deviceKind;
    quint64 seed;
    int channels;
    qint64 spanStart;
    qint64 spanLength;
    std::array<int, kRecordTypeCount> recordCounts;
    int tagsPerChannel;
    std::array<int, kPictureTypeCount> pictureCounts;
    PictureRenderer renderer;
};

} // namespace lydevice::sim
