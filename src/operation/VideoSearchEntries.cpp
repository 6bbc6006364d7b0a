#include "operation/VideoSearchEntries.h"

#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"

#include <QDebug>

#include <cmath>

namespace lydevice
{

namespace
{

    // A recorder reply of this many records or more is one page of a longer result.
    constexpr int eventPageSize = 100;

    // The member of record i in a recorder's event reply: "startTime3" over HTTP, "r[3].startTime"
    // over P2P.
    QString httpKey(const char *name, int index)
    {
        return QLatin1String(name) + QString::number(index);
    }

    QString p2pKey(const char *name, int index)
    {
        return QLatin1String("r[") + QString::number(index) + QLatin1String("].") + QLatin1String(name);
    }

    using KeyOf = QString (*)(const char *name, int index);
    using TypeReader = int (*)(const QVariantHash &hash, const QString &key);

    QVariantList recorderEntries(const QVariantHash &reply, int count, KeyOf key, TypeReader readType)
    {
        // Grows with the records actually built; the count itself comes from the device.
        QVariantList entries;
        const int bounded = boundedRecordCount(count);
        for (int i = 0; i < bounded; ++i) {
            entries.append(videoRecordEntry(readType(reply, key("recordType", i)),
                parseDeviceTime(hashString(reply, key("startTime", i))),
                parseDeviceTime(hashString(reply, key("endTime", i)))));
        }
        return entries;
    }

} // namespace

int boundedRecordCount(int count)
{
    if (count > maxRecordsPerReply) {
        qWarning() << "too many records in one reply, reading the first" << maxRecordsPerReply << "of" << count;
        return maxRecordsPerReply;
    }
    return qMax(count, 0);
}

QVariantList recorderHttpEntries(const QVariantHash &reply, int count)
{
    return recorderEntries(reply, count, httpKey, hashTruncated);
}

QVariantList recorderP2pEntries(const QVariantHash &reply, int count)
{
    // The type comes as a number or as a decimal string.
    return recorderEntries(reply, count, p2pKey, hashTextInt);
}

bool wantsNextEventPage(int count, int pageIndex)
{
    if (count < eventPageSize)
        return false;
    if (pageIndex + 1 >= maxSearchPages) {
        qWarning() << "event search page limit reached, ending the search at page" << pageIndex + 1;
        return false;
    }
    return true;
}

QVariantList boundedPage(QVariantList entries)
{
    if (entries.size() > maxRecordsPerReply) {
        qWarning() << "too many record files on one page, keeping the first" << maxRecordsPerReply << "of"
                   << entries.size();
        entries.erase(entries.begin() + maxRecordsPerReply, entries.end());
    }
    return entries;
}

bool isLastCameraPage(int pageIndex, int totalPages)
{
    const int next = pageIndex + 1;
    if (next == totalPages)
        return true;
    if (totalPages < 0) {
        qWarning() << "negative page count, reading page 1 only:" << totalPages;
        return true;
    }
    if (next >= maxSearchPages) {
        qWarning() << "record file page limit reached, ending the search at page" << next << "of" << totalPages;
        return true;
    }
    return false;
}

QVariantList cameraEntriesOfType(const QVariantList &entries, int videoType)
{
    const int wanted = recordTypeCode(videoType);
    QVariantList kept;
    for (const QVariant &entry : entries) {
        if (hashInt(entry.toHash(), QStringLiteral("type")) == wanted)
            kept.append(entry);
    }
    return kept;
}

int jsonWholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (!(number >= -2147483648.0 && number <= 2147483647.0) || std::trunc(number) != number)
        return 0;
    return int(number);
}

} // namespace lydevice
