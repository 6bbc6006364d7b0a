#include "protocol/IpcProtocolIp.h"

#include "manager/TargetContext.h"
#include "parse/HashAccess.h"
#include "parse/HttpReply.h"
#include "parse/RecordFormat.h"
#include "parse/ReplyParsers.h"
#include "protocol/CameraFiles.h"
#include "protocol/ReplyLimits.h"
#include "protocol/WireFormat.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    // The values of a record file reply, none when it is not good.
    std::optional<QVariantHash> okLinesValues(bool ok, const QVector<QByteArray> &replies)
    {
        const std::optional<QByteArray> body = boundedReplyBody(ok, replies, maxPageReplyBytes);
        if (!body)
            return std::nullopt;
        return parseOkLines(replyText(*body), true).toVariantHash();
    }

    // Column 5 of a row names the search session: a one-character id, "&", the uuid.
    std::optional<CameraSession> sessionColumn(const QVariantList &row)
    {
        constexpr int rowSize = 7;
        constexpr int sessionColumnIndex = 5;
        if (row.size() != rowSize)
            return std::nullopt;
        const QString text = row.at(sessionColumnIndex).toString();
        if (text.size() < 2 || text.at(1) != u'&')
            return std::nullopt;
        const QStringList parts = text.split(u'&', Qt::SkipEmptyParts);
        if (parts.size() != 2)
            return std::nullopt;
        return CameraSession { parts.at(0).toInt(nullptr, 10), parts.at(1) };
    }

    // The camera sends the file as the body of a download reply whose headers name it in a
    // Content-Disposition header: the file is what follows the end of that header block. Some
    // cameras end their headers with bare line feeds.
    std::optional<QByteArray> downloadedFile(const QByteArray &reply)
    {
        const int header = reply.indexOf("Content-Disposition:");
        if (header < 0) {
            qWarning() << "cannot find http header [Content-Disposition]";
            return std::nullopt;
        }
        for (const QByteArray &separator : { QByteArrayLiteral("\r\n\r\n"), QByteArrayLiteral("\n\n") }) {
            const int end = reply.indexOf(separator, header);
            if (end >= 0)
                return reply.mid(end + separator.size());
            qWarning() << "cannot find http header tail: " << separator.toHex();
        }
        return std::nullopt;
    }

} // namespace

IpcProtocolIp::IpcProtocolIp(quint64 handle)
    : handle(handle)
{
}

void IpcProtocolIp::vb(Query query, TCPCommandCallback &&reply) const
{
    sendHttpCommand(handle, QStringLiteral("/vb.htm"), std::move(query), std::move(reply));
}

void IpcProtocolIp::filePageCount(
    const QDateTime &start, const QDateTime &end, int videoType, TCPCommandCallback &&reply) const
{
    vb({ { QStringLiteral("PBStartTimePos"), compactTime(start) },
           { QStringLiteral("PBEndTimePos"), compactTime(end) },
           { QStringLiteral("PBFileTotalPage"), typeMask(videoType) } },
        std::move(reply));
}

void IpcProtocolIp::filePage(const QDateTime &start, const QDateTime &end, int page, TCPCommandCallback &&reply) const
{
    vb({ { QStringLiteral("PBStartTimePos"), compactTime(start) },
           { QStringLiteral("PBEndTimePos"), compactTime(end) },
           { QStringLiteral("PBFilePageIndex"), QString::number(page) } },
        std::move(reply));
}

Query IpcProtocolIp::pictureQuery(
    RecordPictureType type, const QDateTime &start, const QDateTime &end, qint64 first) const
{
    const QString subtype = type == RecordPictureType::Snapshot ? QStringLiteral("0")
        : type == RecordPictureType::Alarm                      ? QStringLiteral("1")
                                                                : QStringLiteral("-1");
    return { { QStringLiteral("page"), QStringLiteral("sdexplorer") },
        { QStringLiteral("use_sid"), QStringLiteral("1") },
        { QStringLiteral("maintype"), QStringLiteral("1") },
        { QStringLiteral("subtype"), subtype },
        { QStringLiteral("time_start"), queryTime(start) },
        { QStringLiteral("time_end"), queryTime(end) },
        { QStringLiteral("iDisplayStart"), QString::number(first) },
        { QStringLiteral("iDisplayLength"), QString::number(picturePageSize) } };
}

void IpcProtocolIp::pictureSearch(RecordPictureType type,
    const QVector<int> &,
    const QDateTime &start,
    const QDateTime &end,
    TCPCommandCallback &&reply) const
{
    vb(pictureQuery(type, start, end, 0), std::move(reply));
}

void IpcProtocolIp::picturePage(const TargetContext &context, int page, TCPCommandCallback &&reply) const
{
    // Within the search held for us: its span, its type and its session.
    const CameraSession session = sessionFrom<CameraSession>(context.session);
    Query query = pictureQuery(
        context.type.value<RecordPictureType>(), context.start, context.end, qint64(page) * picturePageSize);
    query.append({ QStringLiteral("sid"), QString::number(session.id) });
    query.append({ QStringLiteral("uuid"), session.uuid });
    vb(std::move(query), std::move(reply));
}

void IpcProtocolIp::picture(
    const TargetContext &context, const QVariantHash &entry, int index, TCPCommandCallback &&reply) const
{
    const CameraSession session = sessionFrom<CameraSession>(context.session);
    sendHttpCommand(handle,
        QStringLiteral("/dataloader.cgi"),
        { { QStringLiteral("dw"), QStringLiteral("sd") },
            { QStringLiteral("filename"), hashString(entry, QStringLiteral("name")) },
            { QStringLiteral("time_start"), queryTime(context.start) },
            { QStringLiteral("time_end"), queryTime(context.end) },
            { QStringLiteral("index"), QString::number(index) },
            { QStringLiteral("sid"), QString::number(session.id) },
            { QStringLiteral("uuid"), session.uuid } },
        std::move(reply));
}

void IpcProtocolIp::closeSession(const CameraSession &session) const
{
    sendHttpCommand(handle,
        QStringLiteral("/vb.htm"),
        { { QStringLiteral("closelyfshandle"), QString::number(session.id) + QLatin1Char(';') + session.uuid } });
}

std::optional<int> IpcProtocolIp::filePageCount(bool ok, const QVector<QByteArray> &replies)
{
    const std::optional<QVariantHash> values = okLinesValues(ok, replies);
    if (!values)
        return std::nullopt;
    return hashTruncated(*values, QStringLiteral("pbfiletotalpage"));
}

std::optional<QVariantList> IpcProtocolIp::filePage(bool ok, const QVector<QByteArray> &replies)
{
    const std::optional<QVariantHash> values = okLinesValues(ok, replies);
    if (!values)
        return std::nullopt;
    return recordFileEntries(hashString(*values, QStringLiteral("pbfilepageindex")));
}

IpcProtocolIp::PictureList IpcProtocolIp::pictureList(bool ok, const QVector<QByteArray> &replies)
{
    PictureList list;
    std::optional<QByteArray> body = boundedReplyBody(ok, replies, maxPageReplyBytes);
    list.good = body.has_value();
    if (!list.good)
        return list;
    // Cameras start the list with a member "sEcho" that has no value, which is no JSON.
    body->replace(QByteArrayLiteral("{\"sEcho\": ,"), QByteArrayLiteral("{"));
    const QVariantHash values = parseJsonObject(replyText(*body)).toVariantHash();
    // A list that does not parse reads as a total of 0.
    list.total = hashTruncated(values, QStringLiteral("iTotalRecords"));
    const QVariant rows = values.value(QStringLiteral("aaData"));
    if (rows.userType() == QMetaType::QVariantList)
        list.rows = variantList(rows);
    if (!list.rows.isEmpty())
        list.session = sessionColumn(variantList(list.rows.first()));
    return list;
}

QVariantList IpcProtocolIp::pictureEntries(const QVariantList &rows)
{
    const int count = entryCount(rows.size());
    QVariantList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QVariantList row = variantList(rows.at(i));
        entries.append(QVariantHash {
            { QStringLiteral("name"), row.value(0).toString() },
            { QStringLiteral("time"), row.size() > 1 ? parseDeviceTime(row.at(1).toString()) : QDateTime() },
        });
    }
    return entries;
}

std::optional<OpenedPictureSearch> IpcProtocolIp::openedPictureSearch(bool ok, const QVector<QByteArray> &replies)
{
    const PictureList list = pictureList(ok, replies);
    if (list.total <= 0 || !list.session)
        return std::nullopt;
    return OpenedPictureSearch { QVariant::fromValue(*list.session),
        list.total,
        pictureEntries(list.rows),
        { { QStringLiteral("sum"), list.total } } };
}

std::optional<QVariantList> IpcProtocolIp::pageEntries(bool ok, const QVector<QByteArray> &replies)
{
    // Only the rows count here: the total and the session were taken by the search.
    const PictureList list = pictureList(ok, replies);
    if (!list.good)
        return std::nullopt;
    return pictureEntries(list.rows);
}

std::optional<QByteArray> IpcProtocolIp::pictureBytes(bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies))
        return std::nullopt;
    // Cut from the reply as received: the camera sends the file unchunked.
    return downloadedFile(firstReply(replies));
}

} // namespace lydevice
