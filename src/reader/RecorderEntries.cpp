#include "reader/RecorderEntries.h"

#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"

#include <QByteArray>
#include <QDebug>
#include <QVector>

#include <algorithm>

namespace lydevice
{

namespace
{

    // The recorder reports ANR records with type 16 and plain recording with type 1; every other
    // type was recorded for an event.
    constexpr int anrRecordType = 16;
    constexpr int plainRecordType = 1;

    void setRecordType(QVariantHash &entry, int recordType)
    {
        entry.insert(QStringLiteral("isAnr"), recordType == anrRecordType);
        entry.insert(QStringLiteral("isEvent"), recordType != anrRecordType && recordType != plainRecordType);
    }

    int boundedCount(int cnt)
    {
        return qBound(0, cnt, maxRecordsPerRecorderReply);
    }

    // The index written after a key prefix ("startTime12" gives 12). Text that is no number reads as
    // record 0; a number too large for an index gives -1, which names no record.
    int keyIndex(const QString &key, int prefixLength)
    {
        const QStringRef rest = key.midRef(prefixLength);
        bool ok = false;
        const int index = rest.toInt(&ok, 10);
        if (ok)
            return index;
        const bool digits
            = !rest.isEmpty() && std::all_of(rest.cbegin(), rest.cend(), [](QChar c) { return c.isDigit(); });
        return digits ? -1 : 0;
    }

} // namespace

int recorderReplyCount(int count)
{
    if (count < 0 || count > maxRecordsPerRecorderReply)
        qWarning() << "record count out of range, cut:" << count;
    return boundedCount(count);
}

QVariantList buildRecordEntries(const QVariantHash &reply, int cnt)
{
    const QString startPrefix = QStringLiteral("startTime");
    const QString endPrefix = QStringLiteral("endTime");
    const QString typePrefix = QStringLiteral("recordType");

    QVector<QVariantHash> entries(boundedCount(cnt));
    for (auto it = reply.cbegin(); it != reply.cend(); ++it) {
        const QString &key = it.key();
        // The recorder numbers the records of each reply from 0; anything else names no entry.
        const auto entryFor = [&](int prefixLength) -> QVariantHash * {
            const int index = keyIndex(key, prefixLength);
            return index >= 0 && index < entries.size() ? &entries[index] : nullptr;
        };
        if (key.startsWith(startPrefix)) {
            if (QVariantHash *entry = entryFor(startPrefix.size()))
                entry->insert(QStringLiteral("start"), parseDeviceTime(it.value().toString()));
        } else if (key.startsWith(endPrefix)) {
            if (QVariantHash *entry = entryFor(endPrefix.size()))
                entry->insert(QStringLiteral("end"), parseDeviceTime(it.value().toString()));
        } else if (key.startsWith(typePrefix)) {
            if (QVariantHash *entry = entryFor(typePrefix.size()))
                setRecordType(*entry, hashTruncated(reply, key));
        }
    }

    QVariantList list;
    list.reserve(entries.size());
    for (const QVariantHash &entry : qAsConst(entries))
        list.append(entry);
    return list;
}

QVariantList buildRecordEntriesP2p(const QVariantHash &reply, int cnt)
{
    const int count = boundedCount(cnt);
    QVariantList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString prefix = QStringLiteral("r[") + QString::number(i) + QStringLiteral("].");
        QVariantHash entry;
        entry.insert(QStringLiteral("start"), parseDeviceTime(hashString(reply, prefix + QStringLiteral("startTime"))));
        entry.insert(QStringLiteral("end"), parseDeviceTime(hashString(reply, prefix + QStringLiteral("endTime"))));
        setRecordType(entry, hashTextInt(reply, prefix + QStringLiteral("recordType")));
        list.append(entry);
    }
    return list;
}

QVariantList buildTagEntries(const QVariantHash &reply, int cnt)
{
    const int count = boundedCount(cnt);
    QVariantList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString index = QString::number(i);
        // Tag names are user text; the recorder sends their UTF-8 bytes percent-encoded.
        const QByteArray name
            = QByteArray::fromPercentEncoding(hashString(reply, QStringLiteral("name") + index).toUtf8());
        QVariantHash entry;
        entry.insert(QStringLiteral("chnid"), hashTextInt(reply, QStringLiteral("chnid") + index));
        entry.insert(QStringLiteral("id"), hashTextInt(reply, QStringLiteral("id") + index));
        entry.insert(QStringLiteral("index"), hashTextInt(reply, QStringLiteral("index") + index));
        entry.insert(QStringLiteral("name"), QString::fromUtf8(name));
        entry.insert(QStringLiteral("time"), parseDeviceTime(hashString(reply, QStringLiteral("time") + index)));
        list.append(entry);
    }
    return list;
}

} // namespace lydevice
