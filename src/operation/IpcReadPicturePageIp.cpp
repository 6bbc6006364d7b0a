#include "operation/IpcReadPicturePageIp.h"

#include "manager/RecordManagerPrivate.h"
#include "operation/PictureEntries.h"
#include "parse/HashAccess.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

namespace lydevice
{

IpcReadPicturePageIp::~IpcReadPicturePageIp() = default;

void IpcReadPicturePageIp::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    pageIndex = hashInt(params, QStringLiteral("page"));
    requestCameraPicturePage(
        target.handle, owner->context(target), pageIndex, bindHttpReply(this, &IpcReadPicturePageIp::onPageReply));
}

void IpcReadPicturePageIp::onPageReply(bool ok, const QVector<QByteArray> &replies)
{
    // A failed read keeps the page held before.
    if (!httpReplyGood(ok, replies)) {
        complete(done, false);
        return;
    }
    const QVariantList entries = cameraPicturePage(replies);
    owner->setPage(target, owner->context(target).pictureTotal, pageIndex, entries);
    complete(done, true, { { QStringLiteral("data"), entries } });
}

} // namespace lydevice
