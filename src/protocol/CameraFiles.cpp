#include "protocol/CameraFiles.h"

#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "protocol/ReplyLimits.h"

#include <QDebug>
#include <QVector>

namespace lydevice
{

QString typeMask(int videoType)
{
    switch (videoType) {
    case 0:
        return QStringLiteral("35");
    case 1:
        return QStringLiteral("2");
    case 2:
        return QStringLiteral("32");
    case 3:
        return QStringLiteral("128");
    case 4:
        return QStringLiteral("256");
    case 5:
        return QStringLiteral("64");
    default:
        return QStringLiteral("484");
    }
}

int recordTypeCode(int videoType)
{
    switch (videoType) {
    case 0:
        return 1;
    case 1:
        return 2;
    case 2:
        return 5;
    case 3:
        return 6;
    case 4:
        return 7;
    case 5:
        return 4;
    default:
        return 0;
    }
}

QVariantList recordFileEntries(const QString &files)
{
    const QList<QStringView> parts = QStringView(files).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    const int count = entryCount(parts.size());
    QVariantList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i)
        entries.append(parseRecordFile(parts.at(i).toString()));
    return entries;
}

QVariantList recordFileEntries(const QJsonArray &files)
{
    const int count = entryCount(files.size());
    QVariantList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i)
        entries.append(parseRecordFile(files.at(i).toString()));
    return entries;
}

QVariantList entriesOfType(const QVariantList &entries, int videoType)
{
    const int wanted = recordTypeCode(videoType);
    QVariantList kept;
    for (const QVariant &entry : entries) {
        if (hashInt(entry.toHash(), QStringLiteral("type")) == wanted)
            kept.append(entry);
    }
    return kept;
}

bool moreFilePages(int page, int totalPages)
{
    if (totalPages < 0) {
        qWarning() << "negative page count, reading page 1 only:" << totalPages;
        return false;
    }
    if (page < totalPages && page >= maxSearchPages) {
        qWarning() << "record file page limit reached, ending the search at page" << page << "of" << totalPages;
        return false;
    }
    return page < totalPages;
}

} // namespace lydevice
