#include "operation/IpcSearchPictureIp.h"

#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "operation/PictureEntries.h"
#include "parse/HashAccess.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <QDebug>

#include <optional>

namespace lydevice
{

namespace
{

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

    QVariantList listRows(const QVariantHash &reply)
    {
        const QVariant data = reply.value(QStringLiteral("aaData"));
        return data.userType() == QMetaType::QVariantList ? data.toList() : QVariantList();
    }

    // The session of a picture list is that of its first row.
    std::optional<CameraSession> listSession(const QVariantList &rows)
    {
        return rows.isEmpty() ? std::nullopt : sessionColumn(rows.first().toList());
    }

} // namespace

IpcSearchPictureIp::~IpcSearchPictureIp() = default;

void IpcSearchPictureIp::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    sendHttpCommand(target.handle,
        QStringLiteral("/vb.htm"),
        cameraPictureListQuery(params.value(QStringLiteral("type")).value<RecordPictureType>(),
            hashDateTime(params, QStringLiteral("startTime")),
            hashDateTime(params, QStringLiteral("endTime")),
            0),
        // A reply that comes after the operation is gone may still have opened a search session; it is
        // never stored as the device's session, so unless it is closed here the camera keeps it open.
        bindHttpReply(
            this, &IpcSearchPictureIp::onOpenReply, [target = target](bool ok, const QVector<QByteArray> &replies) {
                if (!httpReplyGood(ok, replies))
                    return;
                const QVariantHash reply = pictureListReply(replies);
                if (hashTruncated(reply, QStringLiteral("iTotalRecords")) == 0)
                    return;
                if (const std::optional<CameraSession> session = listSession(listRows(reply))) {
                    qWarning() << "close handle opened by a late reply: " << session->id << session->uuid;
                    closeIpcSessionIp(target, QVariant::fromValue(*session));
                }
            }));
}

void IpcSearchPictureIp::onOpenReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        complete(done, false);
        return;
    }
    const QVariantHash reply = pictureListReply(replies);
    // An unparseable list reads as a total of 0: nothing found, which fails the search.
    const int total = hashTruncated(reply, QStringLiteral("iTotalRecords"));
    if (total <= 0) {
        complete(done, false);
        return;
    }
    // A total without rows gives no session to page with: the search fails too.
    const QVariantList rows = listRows(reply);
    const std::optional<CameraSession> session = listSession(rows);
    if (!session) {
        complete(done, false);
        return;
    }
    owner->setSession(target, QVariant::fromValue(*session));
    owner->setPage(target, total, 0, cameraPictureEntries(rows));
    complete(done, true, { { QStringLiteral("sum"), total } });
}

} // namespace lydevice
