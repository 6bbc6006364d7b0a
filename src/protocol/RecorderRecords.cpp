#include "protocol/RecorderRecords.h"

#include "parse/HashAccess.h"
#include "parse/HttpReply.h"
#include "parse/RecordFormat.h"
#include "protocol/ReplyLimits.h"

namespace lydevice
{

namespace
{

    // ANR records (recorded while the network was down) have type 16, plain recording type 1;
    // every other type was recorded for an event.
    constexpr int anrRecordType = 16;
    constexpr int plainRecordType = 1;

} // namespace

EventCodes eventCodes(int videoType)
{
    switch (videoType) {
    case 2:
        return { 64, 511 };
    case 3:
        return { 128, 16 };
    case 4:
        return { 128, 2 };
    case 5:
        return { 128, 1 };
    default:
        return {};
    }
}

QDateTime RecordTime::toDateTime() const
{
    return usual ? QDateTime(date, time, Qt::LocalTime) : parseDeviceTime(text);
}

void appendVideoEntries(const RecorderRecords &records, QVariantList &entries)
{
    const auto dateTime = [](const std::optional<RecordTime> &time) { return time ? time->toDateTime() : QDateTime(); };
    for (const RecorderRecord &record : records)
        entries.append(videoRecordEntry(record.type.value_or(0), dateTime(record.start), dateTime(record.end)));
}

QVariantList readerEntries(const RecorderRecords &records)
{
    QVariantList entries;
    entries.reserve(records.size());
    for (const RecorderRecord &record : records) {
        QVariantHash entry;
        if (record.start)
            entry.insert(QStringLiteral("start"), record.start->toDateTime());
        if (record.end)
            entry.insert(QStringLiteral("end"), record.end->toDateTime());
        if (record.type) {
            entry.insert(QStringLiteral("isAnr"), *record.type == anrRecordType);
            entry.insert(QStringLiteral("isEvent"), *record.type != anrRecordType && *record.type != plainRecordType);
        }
        entries.append(entry);
    }
    return entries;
}

QVariantList tagEntries(const RecorderReply &reply)
{
    const int count = entryCount(reply.count);
    QVariantList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString index = QString::number(i);
        const auto text = [&](const char *key) { return hashString(reply.values, QLatin1String(key) + index); };
        // Tag names are user text; the recorder sends their UTF-8 bytes percent-encoded.
        const QByteArray name = QByteArray::fromPercentEncoding(text("name").toUtf8());
        entries.append(QVariantHash {
            { QStringLiteral("chnid"), text("chnid").toInt() },
            { QStringLiteral("id"), text("id").toInt() },
            { QStringLiteral("index"), text("index").toInt() },
            { QStringLiteral("name"), replyText(name) },
            { QStringLiteral("time"), parseDeviceTime(text("time")) },
        });
    }
    return entries;
}

} // namespace lydevice
