#include "parse/CameraFileList.h"

#include "parse/RecordFormat.h"

#include <QVector>

namespace lydevice
{

QVariantList recordFileEntries(const QString &pageIndex)
{
    QVariantList entries;
    const QVector<QStringRef> files = pageIndex.splitRef(QLatin1Char(';'), Qt::SkipEmptyParts);
    entries.reserve(files.size());
    for (const QStringRef &file : files)
        entries.append(parseRecordFile(file.toString()));
    return entries;
}

QVariantList recordFileEntries(const QJsonArray &fileList)
{
    QVariantList entries;
    entries.reserve(fileList.size());
    for (const QJsonValue &file : fileList)
        entries.append(parseRecordFile(file.toString()));
    return entries;
}

} // namespace lydevice
