#include "operation/NvrReadPictureIp.h"

#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "operation/PictureEntries.h"
#include "parse/HashAccess.h"
#include "parse/HttpReply.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <QDebug>
#include <QImage>

namespace lydevice
{

NvrReadPictureIp::~NvrReadPictureIp() = default;

void NvrReadPictureIp::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    pictureIndex = hashInt(params, QStringLiteral("index"));
    if (pictureIndex < 0) {
        // No page holds it: fail without asking the recorder (and never inside run()).
        qWarning() << "picture is not existing. index: " << pictureIndex;
        failLater(this->done);
        return;
    }
    const int page = pictureIndex / recorderPicturePageSize;
    if (page == owner->context(target).currentPage)
        requestPicture();
    else
        moveToPage(page);
}

void NvrReadPictureIp::moveToPage(int page)
{
    qDebug() << "move to page: " << page;
    requestRecorderPicturePage(
        target.handle, owner->context(target), page, bindHttpReply(this, &NvrReadPictureIp::onMovedPage, page));
}

void NvrReadPictureIp::onMovedPage(int page, bool ok, const QVector<QByteArray> &replies)
{
    if (!ok)
        qWarning() << "failure in reading next page. page: " << page;
    if (!httpReplyGood(ok, replies)) {
        complete(done, false);
        return;
    }
    owner->setPage(target, owner->context(target).pictureTotal, page, recorderPicturePage(replies));
    requestPicture();
}

void NvrReadPictureIp::requestPicture()
{
    const TargetContext &context = owner->context(target);
    const std::optional<QVariantHash> entry = heldPicture(context, pictureIndex, recorderPicturePageSize);
    if (!entry) {
        failLater(done);
        return;
    }
    const RecorderSession session = sessionFrom<RecorderSession>(context.session);
    sendHttpCommand(target.handle,
        QStringLiteral("/sdk.cgi"),
        { { QStringLiteral("action"), QStringLiteral("get.playback.picture_backup_search_index") },
            { QStringLiteral("chnid"), QString::number(hashInt(*entry, QStringLiteral("channel"))) },
            { QStringLiteral("sid"), QString::number(session.sid) },
            { QStringLiteral("pts"), hashString(*entry, QStringLiteral("name")) },
            { QStringLiteral("base64"), QStringLiteral("1") } },
        bindHttpReply(this, &NvrReadPictureIp::onPictureReply));
}

void NvrReadPictureIp::onPictureReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!ok)
        qWarning() << "failure in reading picture";
    if (!httpReplyGood(ok, replies)) {
        complete(done, false);
        return;
    }
    // The picture is the last value of the reply: everything after the first "data=", base64
    // text that may end in a line break (the decoder skips what is not base64).
    const QByteArray body = httpReplyBody(firstReply(replies));
    const QByteArray marker = QByteArrayLiteral("data=");
    const int at = body.indexOf(marker);
    if (at < 0) {
        qWarning() << "cannot find picture data in reply";
        complete(done, false);
        return;
    }
    const QByteArray picture = QByteArray::fromBase64(body.mid(at + marker.size()));
    complete(done,
        true,
        { { QStringLiteral("data"), QImage::fromData(picture) }, { QStringLiteral("size"), int(picture.size()) } });
}

} // namespace lydevice
