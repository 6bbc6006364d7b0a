#include "operation/PictureEntries.h"

#include "manager/RecordSession.h"
#include "manager/TargetContext.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    // How many entries of a reply we read: what it claims, but never more than a page could hold.
    int cappedCount(qint64 count)
    {
        if (count <= 0)
            return 0;
        if (count > maxPicturesPerReply) {
            qWarning() << "too many pictures in one reply. count: " << count;
            return maxPicturesPerReply;
        }
        return int(count);
    }

    QVariantHash pictureEntry(const QString &name, const QDateTime &time)
    {
        return QVariantHash { { QStringLiteral("name"), name }, { QStringLiteral("time"), time } };
    }

} // namespace

QVariantList recorderPictureEntries(int count, const QVariantHash &reply)
{
    const int entries = cappedCount(count);
    QVariantList result;
    result.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        const QString n = QString::number(i);
        QVariantHash entry = pictureEntry(hashString(reply, QLatin1String("pts") + n),
            parseDeviceTime(hashString(reply, QLatin1String("pTime") + n)));
        entry.insert(QStringLiteral("channel"), hashTextInt(reply, QLatin1String("chnid") + n));
        result.append(entry);
    }
    return result;
}

QVariantList cameraPictureEntries(const QVariantList &rows)
{
    const int entries = cappedCount(rows.size());
    QVariantList result;
    result.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        const QVariantList row = rows.at(i).toList();
        const QString name = row.size() > 0 ? row.at(0).toString() : QString();
        const QDateTime time = row.size() > 1 ? parseDeviceTime(row.at(1).toString()) : QDateTime();
        result.append(pictureEntry(name, time));
    }
    return result;
}

QString cameraPictureSubtype(RecordPictureType type)
{
    switch (type) {
    case RecordPictureType::Snapshot:
        return QStringLiteral("0");
    case RecordPictureType::Alarm:
        return QStringLiteral("1");
    default:
        return QStringLiteral("-1");
    }
}

Query cameraPictureListQuery(RecordPictureType type, const QDateTime &start, const QDateTime &end, qint64 displayStart)
{
    return { { QStringLiteral("page"), QStringLiteral("sdexplorer") },
        { QStringLiteral("use_sid"), QStringLiteral("1") },
        { QStringLiteral("maintype"), QStringLiteral("1") },
        { QStringLiteral("subtype"), cameraPictureSubtype(type) },
        { QStringLiteral("time_start"), queryTime(start) },
        { QStringLiteral("time_end"), queryTime(end) },
        { QStringLiteral("iDisplayStart"), QString::number(displayStart) },
        { QStringLiteral("iDisplayLength"), QString::number(cameraPicturePageSize) } };
}

void requestCameraPicturePage(quint64 handle, const TargetContext &context, int page, TCPCommandCallback &&callback)
{
    // The camera pages by what we ask for; the session names the search it keeps for us.
    const CameraSession session = sessionFrom<CameraSession>(context.session);
    Query query = cameraPictureListQuery(
        context.type.value<RecordPictureType>(), context.start, context.end, qint64(page) * cameraPicturePageSize);
    query.append({ QStringLiteral("sid"), QString::number(session.id) });
    query.append({ QStringLiteral("uuid"), session.uuid });
    sendHttpCommand(handle, QStringLiteral("/vb.htm"), std::move(query), std::move(callback));
}

void requestRecorderPicturePage(quint64 handle, const TargetContext &context, int page, TCPCommandCallback &&callback)
{
    // The recorder counts its pages from 1.
    const RecorderSession session = sessionFrom<RecorderSession>(context.session);
    sendHttpCommand(handle,
        QStringLiteral("/sdk.cgi"),
        { { QStringLiteral("action"), QStringLiteral("get.playback.picture_backup_search_page") },
            { QStringLiteral("sid"), QString::number(session.sid) },
            { QStringLiteral("page"), QString::number(qint64(page) + 1) } },
        std::move(callback));
}

QVariantList cameraPicturePage(const QVector<QByteArray> &replies)
{
    // Only the rows count here: the total and the session were taken by the search.
    return cameraPictureEntries(hashList(pictureListReply(replies), QStringLiteral("aaData")));
}

QVariantList recorderPicturePage(const QVector<QByteArray> &replies)
{
    const QVariantHash reply = keyValueReply(replies, false);
    return recorderPictureEntries(hashTextInt(reply, QStringLiteral("cnt")), reply);
}

std::optional<QVariantHash> heldPicture(const TargetContext &context, int pictureIndex, int pageSize)
{
    const int position = pictureIndex >= 0 ? pictureIndex % pageSize : -1;
    if (position < 0 || position >= context.pictureList.size()) {
        qWarning() << "picture is not existing. index: " << pictureIndex;
        return std::nullopt;
    }
    return context.pictureList.at(position).toHash();
}

} // namespace lydevice
