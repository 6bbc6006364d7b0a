#include "operation/IpcReadPictureIp.h"

#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "operation/PictureEntries.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <QDebug>
#include <QImage>

#include <optional>

namespace lydevice
{

namespace
{

    // The camera sends the file as the body of a download reply whose headers name it in a
    // Content-Disposition header. Gives the bytes after the end of the header block that follows that
    // header, or none (with the warnings) when the reply cannot be cut apart. Some cameras end their
    // headers with bare line feeds.
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

IpcReadPictureIp::~IpcReadPictureIp() = default;

void IpcReadPictureIp::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    pictureIndex = hashInt(params, QStringLiteral("index"));
    if (pictureIndex < 0) {
        // No page holds it: fail without asking the camera (and never inside run()).
        qWarning() << "picture is not existing. index: " << pictureIndex;
        failLater(this->done);
        return;
    }
    const int page = pictureIndex / cameraPicturePageSize;
    if (page == owner->context(target).currentPage)
        requestPicture();
    else
        moveToPage(page);
}

void IpcReadPictureIp::moveToPage(int page)
{
    qDebug() << "move to page: " << page;
    requestCameraPicturePage(
        target.handle, owner->context(target), page, bindHttpReply(this, &IpcReadPictureIp::onMovedPage, page));
}

void IpcReadPictureIp::onMovedPage(int page, bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        complete(done, false);
        return;
    }
    owner->setPage(target, owner->context(target).pictureTotal, page, cameraPicturePage(replies));
    requestPicture();
}

void IpcReadPictureIp::requestPicture()
{
    const TargetContext &context = owner->context(target);
    const std::optional<QVariantHash> entry = heldPicture(context, pictureIndex, cameraPicturePageSize);
    if (!entry) {
        failLater(done);
        return;
    }
    const CameraSession session = sessionFrom<CameraSession>(context.session);
    sendHttpCommand(target.handle,
        QStringLiteral("/dataloader.cgi"),
        { { QStringLiteral("dw"), QStringLiteral("sd") },
            { QStringLiteral("filename"), hashString(*entry, QStringLiteral("name")) },
            { QStringLiteral("time_start"), queryTime(context.start) },
            { QStringLiteral("time_end"), queryTime(context.end) },
            { QStringLiteral("index"), QString::number(pictureIndex) },
            { QStringLiteral("sid"), QString::number(session.id) },
            { QStringLiteral("uuid"), session.uuid } },
        bindHttpReply(this, &IpcReadPictureIp::onPictureReply));
}

void IpcReadPictureIp::onPictureReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        complete(done, false);
        return;
    }
    // The download is cut from the reply as received: the camera sends the file unchunked.
    const std::optional<QByteArray> file = downloadedFile(firstReply(replies));
    if (!file) {
        complete(done, false, { { QStringLiteral("data"), QImage() } });
        return;
    }
    complete(done,
        true,
        { { QStringLiteral("data"), QImage::fromData(*file) }, { QStringLiteral("size"), int(file->size()) } });
}

} // namespace lydevice
