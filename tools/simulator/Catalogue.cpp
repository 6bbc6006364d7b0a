#include "Catalogue.h"

#include "WallTime.h"

namespace lydevice::sim
{

namespace
{
    // Families of the seeded hash, one per kind of item.
    enum Family : quint64 { RecordingFamily = 1, TagFamily = 2, PictureFamily = 3, NameFamily = 4 };

    constexpr qint64 kMaxSpanSeconds = 100LL * 366 * 86400;

    quint64 mix(quint64 x)
    {
        x += 0x9e3779b97f4a7c15ULL;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
        return x ^ (x >> 31);
    }

    // Words the tag names are made of: each carries letters outside ASCII.
    const char *const tagWords[] = {
        "Café",
        "Übergabe",
        "Straße",
        "出入口",
        "駐車場",
        "Склад",
        "Κάμερα",
        "Señal",
        "Tür offen",
        "Größe",
    };
    constexpr int kTagWordCount = sizeof(tagWords) / sizeof(tagWords[0]);

    int clampCount(int count)
    {
        return qBound(0, count, kMaxRecordsPerSequence);
    }

    // Reads the decimal digits text[at, at + count); -1 when one is no digit.
    qint64 digits(const QString &text, int at, int count)
    {
        if (at < 0 || count <= 0 || count > 18 || at + count > text.size())
            return -1;
        qint64 value = 0;
        for (int i = at; i < at + count; ++i) {
            const ushort c = text.at(i).unicode();
            if (c < '0' || c > '9')
                return -1;
            value = value * 10 + (c - '0');
        }
        return value;
    }
} // namespace

QDateTime Recording::start() const
{
    return walltime::toDateTime(startSeconds);
}

QDateTime Recording::end() const
{
    return walltime::toDateTime(endSeconds);
}

int Recording::recorderCode() const
{
    return recorderTypeCode(type);
}

int Recording::cameraDigit() const
{
    return cameraTypeDigit(type);
}

QString Recording::cameraFileString() const
{
    QByteArray out;
    out.append(static_cast<char>('0' + cameraDigit()));
    walltime::appendCompact(out, startSeconds);
    out.append('_');
    out.append(QByteArray::number(endSeconds - startSeconds));
    return QString::fromLatin1(out);
}

bool Recording::operator==(const Recording &other) const
{
    return channel == other.channel && type == other.type && index == other.index && startSeconds == other.startSeconds
        && endSeconds == other.endSeconds;
}

QDateTime Tag::time() const
{
    return walltime::toDateTime(timeSeconds);
}

bool Tag::operator==(const Tag &other) const
{
    return channel == other.channel && index == other.index && id == other.id && name == other.name
        && timeSeconds == other.timeSeconds;
}

QDateTime Picture::time() const
{
    return walltime::toDateTime(timeSeconds);
}

bool Picture::operator==(const Picture &other) const
{
    return channel == other.channel && type == other.type && index == other.index && timeSeconds == other.timeSeconds
        && name == other.name;
}

Catalogue::Catalogue(const SimulatorOptions &options)
    : deviceKind(options.kind)
    , seed(options.seed)
    , channels(options.kind == DeviceKind::Camera ? 1 : qBound(1, options.channels, kMaxChannels))
    , spanStart(walltime::fromDateTime(options.spanStart))
    , spanLength(qBound<qint64>(1, options.spanSeconds, kMaxSpanSeconds))
    , tagsPerChannel(clampCount(options.tagsPerChannel))
    , renderer(options.pictureSize, options.jpegQuality)
{
    for (int i = 0; i < kRecordTypeCount; ++i)
        recordCounts[i] = clampCount(options.recordsPerType[i]);
    for (int i = 0; i < kPictureTypeCount; ++i)
        pictureCounts[i] = clampCount(options.picturesPerType[i]);
}

qint64 Catalogue::slotOffset(qint64 index, qint64 count) const
{
    // index <= 10^6 and the span <= about 3.2 * 10^9 seconds: the product fits easily.
    return count > 0 ? index * spanLength / count : 0;
}

quint64 Catalogue::hash(quint64 family, quint64 sequence, quint64 index) const
{
    return mix(seed ^ mix(family * 0x100000001b3ULL ^ mix(sequence * 0x51ed27ULL ^ mix(index))));
}

void Catalogue::recordingTimes(int channel, int type, int index, qint64 *start, qint64 *end) const
{
    const int count = recordCounts[type];
    const qint64 slot = slotOffset(index, count);
    const qint64 width = slotOffset(index + 1, count) - slot;
    const quint64 h = hash(RecordingFamily, static_cast<quint64>(channel * 16 + type), static_cast<quint64>(index));
    // Jitter below a quarter of the slot and a length of half to three quarters of it keep both the
    // starts and the ends of a sequence in order, which the searches rely on.
    const qint64 jitter = static_cast<qint64>(h % static_cast<quint64>(qMax<qint64>(1, width / 4)));
    const qint64 length
        = qMax<qint64>(1, width / 2 + static_cast<qint64>((h >> 24) % static_cast<quint64>(width / 4 + 1)));
    *start = spanStart + slot + jitter;
    *end = *start + length;
}

qint64 Catalogue::instantTime(quint64 family, int channel, int type, int index, int count) const
{
    const qint64 slot = slotOffset(index, count);
    const qint64 width = slotOffset(index + 1, count) - slot;
    const quint64 h = hash(family, static_cast<quint64>(channel * 16 + type), static_cast<quint64>(index));
    return spanStart + slot + static_cast<qint64>(h % static_cast<quint64>(qMax<qint64>(1, width / 2)));
}

template <typename Predicate> int Catalogue::lowerBound(int count, Predicate &&reached)
{
    int low = 0, high = count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (reached(middle))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

int Catalogue::recordingCount(RecordType type) const
{
    const int index = static_cast<int>(type);
    return index >= 0 && index < kRecordTypeCount ? recordCounts[index] : 0;
}

Recording Catalogue::recording(int channel, RecordType type, int index) const
{
    Recording result;
    result.channel = channel;
    result.type = type;
    result.index = index;
    recordingTimes(channel, static_cast<int>(type), index, &result.startSeconds, &result.endSeconds);
    return result;
}

int Catalogue::tagCount() const
{
    return tagsPerChannel;
}

Tag Catalogue::tag(int channel, int index) const
{
    Tag result;
    result.channel = channel;
    result.index = index;
    result.id = channel * kMaxRecordsPerSequence + index + 1;
    result.timeSeconds = instantTime(TagFamily, channel, 0, index, tagsPerChannel);
    const quint64 h = hash(NameFamily, static_cast<quint64>(channel), static_cast<quint64>(index));
    result.name = QString::fromUtf8(tagWords[h % kTagWordCount]) + QLatin1Char(' ') + QString::number(index + 1);
    return result;
}

int Catalogue::pictureCount(PictureType type) const
{
    const int index = static_cast<int>(type);
    return index >= 0 && index < kPictureTypeCount ? pictureCounts[index] : 0;
}

Picture Catalogue::picture(int channel, PictureType type, int index) const
{
    Picture result;
    result.channel = channel;
    result.type = type;
    result.index = index;
    result.timeSeconds = instantTime(PictureFamily, channel, static_cast<int>(type), index, pictureCount(type));
    result.name = pictureName(channel, type, index, result.timeSeconds);
    return result;
}

QString Catalogue::pictureName(int, PictureType type, int index, qint64 time) const
{
    const QString tail
        = QString::number(static_cast<int>(type)) + QStringLiteral("%1").arg(index, 7, 10, QLatin1Char('0'));
    if (deviceKind == DeviceKind::Camera)
        return walltime::compact(time) + QLatin1Char('_') + tail + QLatin1String(".jpg");
    return QString::number(time) + tail;
}

bool Catalogue::findPicture(const QString &name, int channel, Picture *found) const
{
    qint64 type = -1, index = -1;
    if (deviceKind == DeviceKind::Camera) {
        // yyyyMMddHHmmss_TIIIIIII.jpg
        if (name.size() != 27 || name.at(14) != QLatin1Char('_') || !name.endsWith(QLatin1String(".jpg")))
            return false;
        type = digits(name, 15, 1);
        index = digits(name, 16, 7);
        channel = 0;
    } else {
        if (name.size() < 9)
            return false;
        type = digits(name, name.size() - 8, 1);
        index = digits(name, name.size() - 7, 7);
    }
    if (type < 0 || type >= kPictureTypeCount || index < 0 || channel < 0 || channel >= channels)
        return false;
    const PictureType pictureType = static_cast<PictureType>(type);
    if (index >= pictureCount(pictureType))
        return false;
    const Picture candidate = picture(channel, pictureType, static_cast<int>(index));
    if (candidate.name != name)
        return false;
    *found = candidate;
    return true;
}

void Catalogue::appendRecordingRange(Listing &listing, int channel, RecordType type, qint64 start, qint64 end) const
{
    const int t = static_cast<int>(type);
    const int count = recordCounts[t];
    const int first = lowerBound(count, [&](int i) {
        qint64 s, e;
        recordingTimes(channel, t, i, &s, &e);
        return e >= start;
    });
    const int after = lowerBound(count, [&](int i) {
        qint64 s, e;
        recordingTimes(channel, t, i, &s, &e);
        return s > end;
    });
    listing.append(channel, t, first, after - first);
}

void Catalogue::appendInstantRange(
    Listing &listing, quint64 family, int channel, int type, int count, qint64 start, qint64 end) const
{
    const int first = lowerBound(count, [&](int i) { return instantTime(family, channel, type, i, count) >= start; });
    const int after = lowerBound(count, [&](int i) { return instantTime(family, channel, type, i, count) > end; });
    listing.append(channel, type, first, after - first);
}

Listing Catalogue::recordInfoListing(int channel, qint64 start, qint64 end) const
{
    Listing listing;
    if (channel < 0 || channel >= channels)
        return listing;
    for (int t = 0; t < kRecordTypeCount; ++t)
        appendRecordingRange(listing, channel, static_cast<RecordType>(t), start, end);
    return listing;
}

Listing Catalogue::eventListing(quint64 channelMask, int event, int subType, qint64 start, qint64 end) const
{
    Listing listing;
    for (int channel = 0; channel < channels; ++channel) {
        if (!(channelMask & (quint64(1) << channel)))
            continue;
        for (int t = 0; t < kRecordTypeCount; ++t) {
            const RecordType type = static_cast<RecordType>(t);
            if (!(recorderEventCode(type) & event))
                continue;
            if (subType > 0 && !(recorderSubTypeBits(type) & subType))
                continue;
            appendRecordingRange(listing, channel, type, start, end);
        }
    }
    return listing;
}

Listing Catalogue::cameraFileListing(int typeMask, qint64 start, qint64 end) const
{
    Listing listing;
    for (int t = 0; t < kRecordTypeCount; ++t) {
        const RecordType type = static_cast<RecordType>(t);
        if (typeMask == 0 || (cameraMaskBit(type) & typeMask))
            appendRecordingRange(listing, 0, type, start, end);
    }
    return listing;
}

Listing Catalogue::tagListing(quint64 channelMask, qint64 start, qint64 end) const
{
    Listing listing;
    for (int channel = 0; channel < channels; ++channel) {
        if (channelMask & (quint64(1) << channel))
            appendInstantRange(listing, TagFamily, channel, 0, tagsPerChannel, start, end);
    }
    return listing;
}

Listing Catalogue::recorderPictureListing(quint64 channelMask, int majorType, qint64 start, qint64 end) const
{
    Listing listing;
    for (int channel = 0; channel < channels; ++channel) {
        if (!(channelMask & (quint64(1) << channel)))
            continue;
        for (int t = 0; t < kPictureTypeCount; ++t) {
            if (recorderPictureBit(static_cast<PictureType>(t)) & majorType)
                appendInstantRange(listing, PictureFamily, channel, t, pictureCounts[t], start, end);
        }
    }
    return listing;
}

Listing Catalogue::cameraPictureListing(int subtype, qint64 start, qint64 end) const
{
    Listing listing;
    for (int t = 0; t < kPictureTypeCount; ++t) {
        if (subtype < 0 || cameraPictureSubtype(static_cast<PictureType>(t)) == subtype)
            appendInstantRange(listing, PictureFamily, 0, t, pictureCounts[t], start, end);
    }
    return listing;
}

QVector<Recording> Catalogue::recordings(const Listing &listing, int offset, int count) const
{
    QVector<Recording> out;
    if (count < 0)
        count = listing.size();
    out.reserve(qBound(0, qMin(count, listing.size() - offset), listing.size()));
    listing.visit(offset, count, [&](int channel, int type, int index) {
        out.append(recording(channel, static_cast<RecordType>(type), index));
    });
    return out;
}

QVector<Tag> Catalogue::tags(const Listing &listing, int offset, int count) const
{
    QVector<Tag> out;
    if (count < 0)
        count = listing.size();
    listing.visit(offset, count, [&](int channel, int, int index) { out.append(tag(channel, index)); });
    return out;
}

QVector<Picture> Catalogue::pictures(const Listing &listing, int offset, int count) const
{
    QVector<Picture> out;
    if (count < 0)
        count = listing.size();
    listing.visit(offset, count, [&](int channel, int type, int index) {
        out.append(picture(channel, static_cast<PictureType>(type), index));
    });
    return out;
}

QVector<Recording> Catalogue::recordInfo(int channel, const QDateTime &start, const QDateTime &end) const
{
    return recordings(recordInfoListing(channel, walltime::fromDateTime(start), walltime::fromDateTime(end)));
}

QVector<Recording> Catalogue::events(
    const QVector<int> &channelList, int event, int subType, const QDateTime &start, const QDateTime &end) const
{
    return recordings(eventListing(
        channelMask(channelList), event, subType, walltime::fromDateTime(start), walltime::fromDateTime(end)));
}

QVector<Recording> Catalogue::cameraFiles(int typeMask, const QDateTime &start, const QDateTime &end) const
{
    return recordings(cameraFileListing(typeMask, walltime::fromDateTime(start), walltime::fromDateTime(end)));
}

QVector<Tag> Catalogue::tags(const QVector<int> &channelList, const QDateTime &start, const QDateTime &end) const
{
    return tags(tagListing(channelMask(channelList), walltime::fromDateTime(start), walltime::fromDateTime(end)));
}

QVector<Recording> Catalogue::expectedVideoSearch(
    const QVector<int> &channelList, int videoType, const QDateTime &start, const QDateTime &end) const
{
    if (deviceKind == DeviceKind::Recorder) {
        // The event and subType a client sends for each type.
        switch (videoType) {
        case 2:
            return events(channelList, 64, 511, start, end);
        case 3:
            return events(channelList, 128, 16, start, end);
        case 4:
            return events(channelList, 128, 2, start, end);
        case 5:
            return events(channelList, 128, 1, start, end);
        default:
            return events(channelList, 2, 0, start, end);
        }
    }
    // The type digit a client keeps for each type.
    static const int digitOfVideoType[6] = { 1, 2, 5, 6, 7, 4 };
    const int digit = videoType >= 0 && videoType < 6 ? digitOfVideoType[videoType] : 0;
    for (int t = 0; t < kRecordTypeCount; ++t) {
        if (cameraTypeDigit(static_cast<RecordType>(t)) == digit)
            return cameraFiles(cameraMaskBit(static_cast<RecordType>(t)), start, end);
    }
    return {};
}

QVector<Picture> Catalogue::pictures(
    const QVector<int> &channelList, int pictureType, const QDateTime &start, const QDateTime &end) const
{
    const qint64 from = walltime::fromDateTime(start), to = walltime::fromDateTime(end);
    if (deviceKind == DeviceKind::Camera)
        return pictures(cameraPictureListing(pictureType == 0 ? 0 : pictureType == 1 ? 1 : -1, from, to));
    const int major = pictureType == 0 ? 32 : pictureType == 1 ? 512 : 568;
    return pictures(recorderPictureListing(channelMask(channelList), major, from, to));
}

QByteArray Catalogue::jpeg(const Picture &picture) const
{
    return renderer.encode(image(picture));
}

QImage Catalogue::image(const Picture &picture) const
{
    const QString caption = QStringLiteral("CH %1").arg(picture.channel, 2, 10, QLatin1Char('0'));
    const quint64 variation = hash(PictureFamily,
        static_cast<quint64>(picture.channel * 16 + static_cast<int>(picture.type)),
        static_cast<quint64>(picture.index));
    return renderer.render(caption, walltime::dashed(picture.timeSeconds), variation);
}

quint64 Catalogue::channelMask(const QVector<int> &channelList)
{
    quint64 mask = 0;
    for (int channel : channelList) {
        if (channel >= 0 && channel < kMaxChannels)
            mask |= quint64(1) << channel;
    }
    return mask;
}

quint64 Catalogue::parseChannelMask(const QString &text)
{
    quint64 mask = 0;
    const int n = qMin(text.size(), kMaxChannels);
    for (int i = 0; i < n; ++i) {
        if (text.at(i) == QLatin1Char('1'))
            mask |= quint64(1) << i;
    }
    return mask;
}

} // namespace lydevice::sim
